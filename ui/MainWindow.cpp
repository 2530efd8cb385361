// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include "android/AndroidDevice.h"
#include "app/StyleSheet.h"

MainWindow::MainWindow(QWidget* parent, const MainWindowOptions& options)
    : QMainWindow(parent)
    , m_options(options)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr("Quillbarrow SMS Desk"));
    resize(1000, 680);
    setStyleSheet(appStyleSheet());
}

MainWindow::~MainWindow() = default;

QList<_MsgMessage*> MainWindow::selectedMessages() const
{
    return {};
}
QList<_MsgMessage*> MainWindow::shownMessages() const
{
    return {};
}
QList<_MsgMessage*> MainWindow::allMessagesOfSource()
{
    return {};
}
void MainWindow::showMessages(QList<_MsgMessage*>) { }
void MainWindow::clearMessages() { }
void MainWindow::selectNode(_ItemNode*) { }
void MainWindow::androidDeviceConnected(const AdbDevice&) { }
void MainWindow::androidDeviceDisconnected(QString) { }
void MainWindow::androidDeviceLoad(AndroidDevice) { }
void MainWindow::androidUsbTips() { }
void MainWindow::onMainTreeSelected(const QItemSelection&, const QItemSelection&) { }
void MainWindow::onSMSItemSelected(const QItemSelection&, const QItemSelection&) { }
void MainWindow::onSMSSortIndicatorChanged(int, Qt::SortOrder) { }
void MainWindow::searchMessages() { }
void MainWindow::searchCotnact() { }
void MainWindow::onCheckVersionReadyRead() { }
void MainWindow::onGetAdvLinkRead() { }
void MainWindow::miCheckUpdate() { }
void MainWindow::buildWidgets() { }
void MainWindow::listLocalDatabases() { }
void MainWindow::listVirtualDevices() { }
_ItemNode* MainWindow::currentNode() const
{
    return nullptr;
}
_AbsDBItemNode* MainWindow::currentSourceNode() const
{
    return nullptr;
}
void MainWindow::removeDeviceNodeByUid(const QString&) { }
