// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;
class WinMovable;
class _ItemNode;

// Asks which connected phone receives a transfer.
class DataSourceSelForm : public QDialog
{
    Q_OBJECT

public:
    // One phone offered: its icon, its text and the tree node it stands for (borrowed).
    struct Choice
    {
        QString iconPath;
        QString text;
        _ItemNode* node = nullptr;
    };

    explicit DataSourceSelForm(QWidget* parent = nullptr);

    // Runs the dialog; the chosen node, or null when it was cancelled. A single choice comes preselected.
    _ItemNode* selectOne(const QString& title, const QList<Choice>& choices);

public slots:
    void onBtnOkPressed();

private:
    WinMovable* movable;
    QLabel* lbSelDevice;
    QComboBox* cbDevice;
    QWidget* layoutWidget;
    QHBoxLayout* horizontalLayout;
    QPushButton* btnOK;
    QPushButton* btnClose;
};
