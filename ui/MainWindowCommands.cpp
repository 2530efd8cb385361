// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

void MainWindow::onMainTreeContextMenu() { }
void MainWindow::onSMSContextMenu() { }
void MainWindow::miBackup() { }
void MainWindow::miBackupSel() { }
void MainWindow::miBackupChat() { }
void MainWindow::miBackupAll() { }
void MainWindow::miExport() { }
void MainWindow::miExportSel() { }
void MainWindow::miExportChat() { }
void MainWindow::miExportAll() { }
void MainWindow::miPrint() { }
void MainWindow::miPrintSel() { }
void MainWindow::miPrintChat() { }
void MainWindow::miPrintAll() { }
void MainWindow::miDel() { }
void MainWindow::miDelSel() { }
void MainWindow::miDelChat() { }
void MainWindow::miDelAll() { }
void MainWindow::miDb2A() { }
void MainWindow::miDb2ASel() { }
void MainWindow::miDb2AChat() { }
void MainWindow::miDb2AAll() { }
void MainWindow::miA2A() { }
void MainWindow::miA2ASel() { }
void MainWindow::miA2AChat() { }
void MainWindow::miA2AAll() { }
void MainWindow::miConnectWifi() { }
void MainWindow::miViewCache() { }
void MainWindow::miOpenDbFolder() { }
void MainWindow::miClearCache() { }
void MainWindow::miUnmoutDevice() { }
void MainWindow::miHelp() { }
void MainWindow::miFeedback() { }
void MainWindow::miAbout() { }

void MainWindow::buildMenus() { }

void MainWindow::updateCommandActions() { }
