// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ConfirmButtonRow.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

ConfirmButtonRow addConfirmButtonRow(QDialog* dialog, const QString& okText, const QString& cancelText)
{
    ConfirmButtonRow row;
    row.layoutWidget = new QWidget(dialog);
    row.layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
    row.layoutWidget->setGeometry(10, 90, 401, 41);
    row.horizontalLayout = new QHBoxLayout(row.layoutWidget);
    row.horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    row.horizontalLayout->setContentsMargins(0, 0, 0, 0);
    row.btnOK = new QPushButton(okText, row.layoutWidget);
    row.btnOK->setObjectName(QStringLiteral("btnOK"));
    row.btnClose = new QPushButton(cancelText, row.layoutWidget);
    row.btnClose->setObjectName(QStringLiteral("btnClose"));
    row.horizontalLayout->addWidget(row.btnOK);
    row.horizontalLayout->addWidget(row.btnClose);
    QObject::connect(row.btnClose, &QPushButton::pressed, dialog, &QDialog::reject);
    return row;
}
