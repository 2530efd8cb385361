// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include "app/StyleSheet.h"

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr("Quillbarrow SMS Desk"));
    resize(1000, 680);
    setStyleSheet(appStyleSheet());
}

MainWindow::~MainWindow() = default;
