// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/LocalDbSelForm.h"

#include "base/DataFolders.h"
#include "ui/MessageBoxes.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"
#include "ui/dialogs/ConfirmButtonRow.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

LocalDbSelForm::LocalDbSelForm(const QStringList& names, const QString& proposedName, QWidget* parent)
    : QDialog(parent)
    , movable(new WinMovable(this))
{
    setObjectName(QStringLiteral("LocalDbSelForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(423, 156);
    setStyleSheet(appStyleSheet());
    setWindowTitle(tr("选择要备份到哪个数据库"));

    label = new QLabel(tr("选择或输入新的数据库名称:"), this);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(10, 20, 401, 16);
    // The line is laid out for the narrow fonts of some desktops; a wider font is made smaller until it fits.
    QFont labelFont = label->font();
    while (QFontMetrics(labelFont).horizontalAdvance(label->text()) > label->width() && labelFont.pointSizeF() > 6)
        labelFont.setPointSizeF(labelFont.pointSizeF() - 0.5);
    label->setFont(labelFont);

    cbLocalDbNames = new QComboBox(this);
    cbLocalDbNames->setObjectName(QStringLiteral("cbLocalDbNames"));
    cbLocalDbNames->setGeometry(10, 40, 401, 22);
    cbLocalDbNames->setEditable(true);
    // A typed name must stay a typed name, not become a list entry on Enter.
    cbLocalDbNames->setInsertPolicy(QComboBox::NoInsert);
    cbLocalDbNames->setToolTip(tr("选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库."));

    const ConfirmButtonRow buttons = addConfirmButtonRow(this, tr("确定"), tr("取消"));
    layoutWidget = buttons.layoutWidget;
    horizontalLayout = buttons.horizontalLayout;
    btnOK = buttons.btnOK;
    btnClose = buttons.btnClose;

    connect(btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);

    cbLocalDbNames->addItem(QString());
    cbLocalDbNames->addItems(names);
    cbLocalDbNames->setCurrentIndex(-1);
    if (!proposedName.isEmpty())
        cbLocalDbNames->setEditText(proposedName);
}

QString LocalDbSelForm::chooseName()
{
    if (exec() != QDialog::Accepted || m_name.isEmpty())
        return QString();
    return m_name;
}

void LocalDbSelForm::onBtnOkPress()
{
    m_name = cbLocalDbNames->currentText();
    const QString problem = localDbNameProblem(m_name);
    if (!problem.isEmpty()) {
        showWarningBox(problem);
        return;
    }
    accept();
}
