// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/DataSourceSelForm.h"

#include "app/MessageBoxes.h"
#include "app/StyleSheet.h"
#include "app/WinMovable.h"

#include <QComboBox>
#include <QHBoxLayout>
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

    layoutWidget = new QWidget(this);
    layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
    layoutWidget->setGeometry(10, 90, 401, 41);
    horizontalLayout = new QHBoxLayout(layoutWidget);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    btnOK = new QPushButton(tr("确定"), layoutWidget);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnClose = new QPushButton(tr("取消"), layoutWidget);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    horizontalLayout->addWidget(btnOK);
    horizontalLayout->addWidget(btnClose);

    connect(btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
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
