// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;
class WinMovable;

// Asks which local database a backup goes into: an existing one from the list, or a new name.
class LocalDbSelForm : public QDialog
{
    Q_OBJECT

public:
    LocalDbSelForm(const QStringList& names, const QString& proposedName, QWidget* parent = nullptr);

    // Runs the dialog; the name as entered (blanks kept) when accepted, otherwise an empty text.
    QString chooseName();

public slots:
    void onBtnOkPress();

private:
    WinMovable* movable;
    QLabel* label;
    QComboBox* cbLocalDbNames;
    QWidget* layoutWidget;
    QHBoxLayout* horizontalLayout;
    QPushButton* btnOK;
    QPushButton* btnClose;
    QString m_name;
};
