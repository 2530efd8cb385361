// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QGraphicsView;
class QLabel;
class QPushButton;
class WinMovable;

// The product line: picture, name and version, home page and notice.
class AboutUsForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* version = "2.14.11";
    static constexpr const char* homePage = "https://www.quillbarrow.com/";

    explicit AboutUsForm(QWidget* parent = nullptr);

private:
    WinMovable* movable;
    QGraphicsView* picApp;
    QLabel* lbProduct;
    QLabel* lbTitle;
    QLabel* lbHomePage;
    QLabel* lbCopyRight;
    QPushButton* btnOK;
};
