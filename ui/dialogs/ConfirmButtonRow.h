// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QDialog;
class QHBoxLayout;
class QString;
class QPushButton;
class QWidget;

// The OK and Cancel buttons side by side below the choice of the two target dialogs (database and
// phone). Cancel rejects the dialog; OK is for the dialog to connect to its check.
struct ConfirmButtonRow
{
    QWidget* layoutWidget;
    QHBoxLayout* horizontalLayout;
    QPushButton* btnOK;
    QPushButton* btnClose;
};

ConfirmButtonRow addConfirmButtonRow(QDialog* dialog, const QString& okText, const QString& cancelText);
