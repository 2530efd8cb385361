// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/DataSourceSelForm.h"

#include "ui/MessageBoxes.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"
#include "ui/dialogs/ConfirmButtonRow.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

DataSourceSelForm::DataSourceSelForm(QWidget* parent)
    : QDialog(parent)
    , movable(new WinMovable(this))
{
    setObjectName(QStringLiteral("DataSourceSelForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(421, 152);
    setStyleSheet(appStyleSheet());

    lbSelDevice = new QLabel(tr("IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER"), this);
    lbSelDevice->setObjectName(QStringLiteral("lbSelDevice"));
    lbSelDevice->setGeometry(10, 20, 401, 16);

    cbDevice = new QComboBox(this);
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    cbDevice->setGeometry(10, 50, 401, 22);
    cbDevice->setEditable(false);

    const ConfirmButtonRow buttons = addConfirmButtonRow(this, tr("确定"), tr("取消"));
    layoutWidget = buttons.layoutWidget;
    horizontalLayout = buttons.horizontalLayout;
    btnOK = buttons.btnOK;
    btnClose = buttons.btnClose;

    connect(btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

_ItemNode* DataSourceSelForm::selectOne(const QString& title, const QList<Choice>& choices)
{
    lbSelDevice->setText(title);
    for (const Choice& choice : choices)
        cbDevice->addItem(QIcon(choice.iconPath), choice.text, QVariant::fromValue(static_cast<void*>(choice.node)));
    cbDevice->setCurrentIndex(choices.size() == 1 ? 0 : -1);

    if (exec() != QDialog::Accepted || cbDevice->currentIndex() < 0)
        return nullptr;
    return static_cast<_ItemNode*>(cbDevice->currentData().value<void*>());
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (cbDevice->currentIndex() < 0) {
        showWarningBox(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
        return;
    }
    accept();
}
