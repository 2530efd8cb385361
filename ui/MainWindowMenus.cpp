// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The menus, the tool bar and the context menus of the main window, and the command families they
// call.
#include "ui/CommandRules.h"
#include "ui/MainWindow.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAction>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QToolBar>

// The families: miX() lets the window choose what the command takes; miXSel(), miXChat() and
// miXAll() each name it. Transfer from a phone (A2A) is the same transfer as from a database.

void MainWindow::miBackup()
{
    runCommand(Command::Backup, Scope::Chosen);
}
void MainWindow::miBackupSel()
{
    runCommand(Command::Backup, Scope::Selection);
}
void MainWindow::miBackupChat()
{
    runCommand(Command::Backup, Scope::Conversation);
}
void MainWindow::miBackupAll()
{
    runCommand(Command::Backup, Scope::AllOfSource);
}
void MainWindow::miExport()
{
    runCommand(Command::Export, Scope::Chosen);
}
void MainWindow::miExportSel()
{
    runCommand(Command::Export, Scope::Selection);
}
void MainWindow::miExportChat()
{
    runCommand(Command::Export, Scope::Conversation);
}
void MainWindow::miExportAll()
{
    runCommand(Command::Export, Scope::AllOfSource);
}
void MainWindow::miPrint()
{
    runCommand(Command::Print, Scope::Chosen);
}
void MainWindow::miPrintSel()
{
    runCommand(Command::Print, Scope::Selection);
}
void MainWindow::miPrintChat()
{
    runCommand(Command::Print, Scope::Conversation);
}
void MainWindow::miPrintAll()
{
    runCommand(Command::Print, Scope::AllOfSource);
}
void MainWindow::miDel()
{
    runCommand(Command::Delete, Scope::Chosen);
}
void MainWindow::miDelSel()
{
    runCommand(Command::Delete, Scope::Selection);
}
void MainWindow::miDelChat()
{
    runCommand(Command::Delete, Scope::Conversation);
}
void MainWindow::miDelAll()
{
    runCommand(Command::Delete, Scope::AllOfSource);
}
void MainWindow::miDb2A()
{
    runCommand(Command::Transfer, Scope::Chosen);
}
void MainWindow::miDb2ASel()
{
    runCommand(Command::Transfer, Scope::Selection);
}
void MainWindow::miDb2AChat()
{
    runCommand(Command::Transfer, Scope::Conversation);
}
void MainWindow::miDb2AAll()
{
    runCommand(Command::Transfer, Scope::AllOfSource);
}
void MainWindow::miA2A()
{
    runCommand(Command::Transfer, Scope::Chosen);
}
void MainWindow::miA2ASel()
{
    runCommand(Command::Transfer, Scope::Selection);
}
void MainWindow::miA2AChat()
{
    runCommand(Command::Transfer, Scope::Conversation);
}
void MainWindow::miA2AAll()
{
    runCommand(Command::Transfer, Scope::AllOfSource);
}

void MainWindow::runCommand(Command command, Scope scope)
{
    switch (scope) {
    case Scope::Chosen:
        runChosen(command);
        return;
    case Scope::Selection:
        runOn(command, selectedOfList());
        return;
    case Scope::Conversation:
        if (command == Command::Delete)
            deleteConversation();
        else
            runOn(command, shownOfList());
        return;
    case Scope::AllOfSource: {
        if (command == Command::Delete) {
            deleteDatabase();
            return;
        }
        // Reading the source may show an error box.
        const CommandScope guard(this);
        CommandMessages all = allOfSource();
        if (limitAllToDates(all) && !all.messages.isEmpty())
            runOn(command, all);
        return;
    }
    }
}

void MainWindow::runChosen(Command command)
{
    if (m_treeViewSMS && m_treeViewSMS->selectionModel() && m_treeViewSMS->selectionModel()->hasSelection()) {
        runCommand(command, Scope::Selection);
        return;
    }
    _ItemNode* node = currentNode();
    if (!node)
        return;
    // A filtered list is what the command takes, whatever the tree has chosen; when it shows nothing
    // there is nothing to take.
    if (listFiltered() && shownMessages().isEmpty())
        return;
    if (listFiltered() && command == Command::Delete)
        deleteListed(shownOfList());
    else if (node->type == _ItemNode::TypeChatSession || listFiltered())
        runCommand(command, Scope::Conversation);
    else
        runCommand(command, Scope::AllOfSource);
}

void MainWindow::runOn(Command command, const CommandMessages& input)
{
    switch (command) {
    case Command::Backup:
        backupMessages(input);
        return;
    case Command::Transfer:
        transferMessages(input);
        return;
    case Command::Export:
        exportMessages(input);
        return;
    case Command::Print:
        printMessages(input);
        return;
    case Command::Delete:
        deleteListed(input);
        return;
    }
}

void MainWindow::onMainTreeContextMenu()
{
    showContextMenu(limitEntriesToScope(treeContextEntries(currentNode(), m_modelMain->countDevices())));
}

void MainWindow::onSMSContextMenu()
{
    showContextMenu(listShowsEverywhere() ? everywhereListEntries()
                                          : messageContextEntries(currentNode(), m_modelMain->countDevices()));
}

void MainWindow::showContextMenu(const QList<CommandEntry>& entries)
{
    if (entries.isEmpty())
        return;
    // The entries belong to the current node, which must still be there when one is chosen.
    const CommandScope scope(this);
    QMenu menu(this);
    for (const CommandEntry& entry : entries) {
        QAction* action = menu.addAction(QIcon(entry.icon), entry.text);
        action->setEnabled(entry.enabled);
        connect(action, &QAction::triggered, this, entry.slot);
    }
    menu.exec(QCursor::pos());
}

void MainWindow::buildMenus()
{
    const auto command
        = [this](const QString& icon, const QString& text, const char* name, void (MainWindow::*slot)()) {
              auto* action = new QAction(QIcon(icon), text, this);
              action->setObjectName(QLatin1String(name));
              connect(action, &QAction::triggered, this, slot);
              return action;
          };
    m_actBackup = command(
        QStringLiteral(":res/backup.png"), tr("&Backup SMS to Local Database"), "actBackup", &MainWindow::miBackup);
    m_actDb2A = command(
        QStringLiteral(":res/db2a.png"), tr("&Transfer SMS from Database to Android"), "actDb2A", &MainWindow::miDb2A);
    m_actExport
        = command(QStringLiteral(":res/export.png"), tr("&Export SMS to File"), "actExport", &MainWindow::miExport);
    m_actPrint = command(QStringLiteral(":res/print.png"), tr("&Print SMS"), "actPrint", &MainWindow::miPrint);
    m_actDelete = command(QStringLiteral(":res/delete.png"), tr("&Delete SMS"), "actDelete", &MainWindow::miDel);
    QAction* reload = command(QString(), tr("&Reload"), "actReload", &MainWindow::miReload);
    QAction* importXml
        = command(QString(), tr("&Import SMS from XML Backup..."), "actImportXml", &MainWindow::miImportXml);
    QAction* openDbFolder = command(QStringLiteral(":res/open_db_folder.png"), tr("&Open Database Folder"),
        "actOpenDbFolder", &MainWindow::miOpenDbFolder);
    auto* exit = new QAction(QIcon(QStringLiteral(":res/exit.png")), tr("E&xit"), this);
    exit->setObjectName(QStringLiteral("actExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    setShortcut(m_actBackup, QKeySequence(Qt::CTRL | Qt::Key_B));
    setShortcut(m_actExport, QKeySequence(Qt::CTRL | Qt::Key_E));
    setShortcut(m_actPrint, QKeySequence::Print);
    setShortcut(m_actDelete, QKeySequence::Delete);
    setShortcut(reload, QKeySequence(Qt::Key_F5));
    setShortcut(exit, QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(m_actBackup);
    file->addAction(m_actDb2A);
    file->addSeparator();
    file->addAction(m_actExport);
    file->addAction(m_actPrint);
    file->addAction(m_actDelete);
    file->addSeparator();
    file->addAction(reload);
    file->addAction(importXml);
    file->addAction(openDbFolder);
    file->addAction(exit);

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
#ifdef Q_OS_WIN
    // Elsewhere the package manager keeps the program up to date.
    connect(tools->addAction(tr("Check for &Update")), &QAction::triggered, this, &MainWindow::miCheckUpdate);
#endif
    tools->addAction(command(QString(), tr("&Clear Cache files"), "actClearCache", &MainWindow::miClearCache));
    tools->addAction(
        command(QString(), tr("Connect Android Phone via &WiFi"), "actConnectWifi", &MainWindow::miConnectWifi));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* helpAction = command(QStringLiteral(":res/help.png"), tr("&Help"), "actHelp", &MainWindow::miHelp);
    setShortcut(helpAction, QKeySequence::HelpContents);
    help->addAction(helpAction);
    help->addAction(command(QString(), tr("&Feedback and Support"), "actFeedback", &MainWindow::miFeedback));
    help->addAction(command(QString(), tr("&About"), "actAbout", &MainWindow::miAbout));

    m_mainToolBar->addAction(m_actBackup);
    m_mainToolBar->addAction(m_actDb2A);
    m_mainToolBar->addSeparator();
    m_mainToolBar->addAction(m_actExport);
    m_mainToolBar->addAction(m_actPrint);
    m_mainToolBar->addAction(m_actDelete);

    updateCommandActions();
}

void MainWindow::setShortcut(QAction* action, const QKeySequence& keys)
{
    action->setShortcut(keys);
    // The window's shortcuts work wherever the focus is; the line edits keep Delete, Home and End for
    // their own text.
    action->setShortcutContext(Qt::WindowShortcut);
    QString text = action->text();
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText)));
    // Actions outside the menu bar (the tool bar hides its own) need the window to own them to be reached.
    addAction(action);
}

void MainWindow::updateCommandActions()
{
    if (!m_actBackup)
        return;
    const CommandActionStates states = commandActionStates(currentNode(), m_modelMain->countDevices());
    m_actBackup->setEnabled(states.backup);
    m_actDb2A->setEnabled(states.transfer);
    m_actExport->setEnabled(states.exportMessages);
    m_actPrint->setEnabled(states.print);
    m_actDelete->setEnabled(states.remove);
    limitCommandsToScope();
}
