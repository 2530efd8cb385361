// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AdbDevice.h"
#include "android/AndroidDevice.h"
#include "message/MsgCollection.h"
#include "ui/DeviceFlowHost.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QSharedPointer>
#include <QString>

#include <functional>
#include <memory>

class AndroidMonitor;
struct CommandEntry;
class DeviceFlowController;
struct ExportSource;
class FilterBar;
class ItemModelMain;
class ItemModelSms;
class MessageCounter;
class MyTreeView;
class QAction;
class QDir;
class QDockWidget;
class QKeySequence;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolBar;
class QToolButton;
class SearchPanel;
class SearchQuery;
class SmsBrowser;
struct StoreRead;
struct SearchIndexHit;
struct SearchSource;
class _AbsDBItemNode;
class _AndroidDeviceItemNode;
class _ItemNode;
class IOS6MessageDb;

// Timings a test shortens; the application uses the defaults.
struct MainWindowOptions
{
    int usbTipsDelayMs = 10000;
    int monitorPollIntervalMs = 3000;
    bool startMonitor = true;
};

// The one top-level window: the device and database tree on the left, the message list above the
// conversation view on the right, the menus, the tool bar and the status bar.
//
// MainWindow.cpp builds the window and its tree; MainWindowSelection.cpp shows what the tree chooses
// and finds contacts and texts; DeviceFlowController brings phones into the tree; MainWindowMenus.cpp
// holds the menus, the tool bar and the context menus, MainWindowCommands.cpp the five commands on
// messages and MainWindowTools.cpp the other commands; MainWindowSearch.cpp and MainWindowFilter.cpp
// the search panel and the filter bar.
class MainWindow : public QMainWindow, public DeviceFlowHost
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr, const MainWindowOptions& options = MainWindowOptions());
    ~MainWindow() override;

    // The messages of the rows selected in the list, in the order the selection model reports them.
    QList<_MsgMessage*> selectedMessages() const;
    // Every message the list holds, in its order.
    QList<_MsgMessage*> shownMessages() const;
    // Every message of the current device or database node, in the list's sort order.
    QList<_MsgMessage*> allMessagesOfSource();
    void showMessages(QList<_MsgMessage*> list);
    void clearMessages();
    // Reads from a node's store into the collection on a worker, under the progress dialog once the
    // read takes more than a moment, so that a large store neither freezes the window nor outlasts
    // Cancel. False when the read failed (the dialog has said why) or was cancelled.
    bool readStore(IOS6MessageDb& db, const _MsgCollection& collection, const StoreRead& read) override;
    // Makes the newest message of the list current (without selecting it) and shows it in the
    // conversation view, so that every conversation opens at its latest message.
    void showNewestMessage();
    // Expands the node and makes it current after the current event.
    void selectNode(_ItemNode* node) override;
    // Removes a device or database node; the message list is emptied first when it shows that node's
    // messages, since the list borrows the node's records.
    void removeSourceNode(_AbsDBItemNode* node) override;
    void removeDeviceNodeByUid(const QString& uid) override;

    QWidget* dialogParent() override { return this; }
    ItemModelMain* mainModel() const override { return m_modelMain; }
    ItemModelSms* smsModel() const { return m_modelSms; }
    AndroidMonitor* monitor() const override { return m_monitor; }

public slots:
    void androidDeviceConnected(const AdbDevice& adbDevice);
    void androidDeviceDisconnected(QString devId);
    void androidDeviceLoad(AndroidDevice device);
    void androidUsbTips();

    void onMainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void searchMessages();
    void searchCotnact();

    // The web services are not built; these exist so that the window's interface is complete.
    void onCheckVersionReadyRead();
    void onGetAdvLinkRead();
    void miCheckUpdate();

    // Commands (MainWindowMenus.cpp, MainWindowCommands.cpp, MainWindowTools.cpp).
    void onMainTreeContextMenu();
    void onSMSContextMenu();
    void miBackup();
    void miBackupSel();
    void miBackupChat();
    void miBackupAll();
    void miExport();
    void miExportSel();
    void miExportChat();
    void miExportAll();
    void miPrint();
    void miPrintSel();
    void miPrintChat();
    void miPrintAll();
    void miDel();
    void miDelSel();
    void miDelChat();
    void miDelAll();
    void miDb2A();
    void miDb2ASel();
    void miDb2AChat();
    void miDb2AAll();
    void miA2A();
    void miA2ASel();
    void miA2AChat();
    void miA2AAll();
    void miConnectWifi();
    void miViewCache();
    void miOpenDbFolder();
    void miClearCache();
    void miUnmoutDevice();
    // Loads the current phone again (every phone adb lists, for the "Devices" root), or reads the
    // current database again; on "Local Databases" it adds the databases made meanwhile.
    void miReload();
    void miHelp();
    void miFeedback();
    void miAbout();
    void miImportXml();

    // Opens the hit's conversation in the tree with the message current in the list and its words
    // marked in the conversation view (MainWindowSearch.cpp).
    void openSearchHit(const SearchSource& source, const SearchIndexHit& hit);

private:
    // Held by every command from before its first dialog to its end, and by every connection or load
    // of a phone. While one is held, device reports wait; they run in order once the outermost has
    // ended, so that no node, store or record a command works on goes away under its dialogs or
    // its worker.
    class CommandScope
    {
    public:
        explicit CommandScope(MainWindow* window);
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        MainWindow* m_window;
    };

    // What a command works on, taken before its first dialog: messages and the device or database
    // node they belong to, with that node's store and records held.
    struct CommandMessages
    {
        _AbsDBItemNode* node = nullptr;
        QSharedPointer<IOS6MessageDb> db;
        _MsgCollection records;
        QList<_MsgMessage*> messages;
    };
    static CommandMessages messagesOf(_AbsDBItemNode* node, QList<_MsgMessage*> messages);
    // The selected rows, or every row, of the list, with the node whose messages the list shows.
    CommandMessages selectedOfList() const;
    CommandMessages shownOfList() const;
    // Every message of the current device or database node.
    CommandMessages allOfSource();

    // MainWindow.cpp
    void buildWidgets();
    // The window's size and place, the splitters and the list's sort, as the last run left them.
    void restoreSettings();
    void saveSettings() const;
    void listLocalDatabases();
    // Adds a node for each database folder that has none yet (made by the command line meanwhile).
    void addNewLocalDatabases();
    // Has how many messages a database's store holds counted in the background, for its node's text.
    void countMessages(_AbsDBItemNode* node);
    // Adds a node for each offline phone's cache; its conversations are read in the background.
    void listVirtualDevices();
    // Gives the offline phone of the folder the conversations read for it, or says why none could be read.
    void showOfflineConversations(const QString& folder, const _MsgCollection& chats, const QString& error);
    _ItemNode* currentNode() const;
    // The device or database node that the current node belongs to (itself, or a conversation's parent).
    _AbsDBItemNode* currentSourceNode() const;

    // MainWindowSearch.cpp
    void buildSearchPanel();
    // The device or database node whose store lies in the folder; null when the tree has none.
    _AbsDBItemNode* sourceNodeOf(const QDir& folder) const;
    void highlightInTranscript(const _MsgMessage& message, const SearchQuery& query);
    // Whether a conversation of the source matches the keyword by its names or numbers.
    static std::function<bool(const _ItemNode&)> conversationMatcher(_AbsDBItemNode* source, const QString& keyword);

    // How a read of a store ended.
    enum class StoreReadEnd { Read, Failed, Cancelled };
    // A read as readStore makes it; a quiet one logs a failure instead of showing it, for a caller
    // that names in a box of its own what it left out.
    StoreReadEnd readStoreQuietly(
        IOS6MessageDb& db, const _MsgCollection& collection, const StoreRead& read, bool quiet);

    // MainWindowFilter.cpp
    void buildFilterBar();
    // Whether the filter bar narrows or widens the list: the commands on what is shown then take the
    // list as it is.
    bool listFiltered() const;
    // The messages of the list as the filter bar lets them through.
    QList<_MsgMessage*> filteredForList(QList<_MsgMessage*> list);
    void refilterList();
    // Whether the list shows the messages of every phone and database in the tree.
    bool listShowsEverywhere() const;
    // Every message of every phone and database of the tree; each node's records are held by the
    // window until the list is filled again, so that none goes away while the list shows it.
    QList<_MsgMessage*> messagesEverywhere();
    // Messages of the list when it shows every source: no one node, the commands go store by store.
    CommandMessages everywhereOfList(QList<_MsgMessage*> messages) const;
    // The phones and databases of the tree that hold some of the messages, in the tree's order.
    QList<_AbsDBItemNode*> sourcesHolding(const QList<_MsgMessage*>& messages) const;
    // Where messages of the list of every source come from: the one source, or several with each.
    ExportSource everywhereSource(const QList<_MsgMessage*>& messages) const;
    // Deletes those of the messages that local databases hold, after one question with their total,
    // one database after the other; says which were changed when one of them fails.
    void deleteEverywhere(const QList<_MsgMessage*>& messages);
    // Backup and transfer write into one store from one source: with every source listed they are
    // switched off, saying why.
    void limitCommandsToScope();
    QList<CommandEntry> limitEntriesToScope(QList<CommandEntry> entries) const;
    // The list's context menu while it shows every source.
    static QList<CommandEntry> everywhereListEntries();
    // Whether dates are set in the filter bar: the "All" entries of a node's menu then take the node's
    // messages of those dates rather than all of them.
    bool allTakesDates() const;
    // Narrows all messages of a node to the filter's dates; false, after saying so, when none remain.
    bool limitAllToDates(CommandMessages& all) const;
    // "Delete this Database" with dates set: the database stays, its messages of those dates go.
    void deleteAllOfDates();

    // MainWindowMenus.cpp
    void buildMenus();
    // Enables the five shared command actions for the current tree node.
    void updateCommandActions();
    // The five commands of the families, and what each takes: Chosen is what miX() takes (the
    // selected rows when there are any, else the shown conversation, else all messages of the current
    // device or database); the others are those of miXSel(), miXChat() and miXAll().
    enum class Command { Backup, Transfer, Export, Print, Delete };
    enum class Scope { Chosen, Selection, Conversation, AllOfSource };
    void runCommand(Command command, Scope scope);
    void runChosen(Command command);
    void runOn(Command command, const CommandMessages& input);

    void showContextMenu(const QList<CommandEntry>& entries);
    // Gives the action its shortcut in the whole window and a tool tip that names it.
    void setShortcut(QAction* action, const QKeySequence& keys);

    // MainWindowCommands.cpp
    void backupMessages(const CommandMessages& input);
    void importXmlBackup(const QString& file);
    void transferMessages(const CommandMessages& input);
    void exportMessages(const CommandMessages& input);
    void printMessages(const CommandMessages& input);
    // Deletes messages of the list after asking, and shows what remains.
    void deleteListed(CommandMessages input);
    // Deletes the conversation the list shows (or, with a filter set, its messages the list shows).
    void deleteConversation();
    // Deletes the current database with its folder, after asking.
    void deleteDatabase();
    // The phone or database the messages come from, for the headings of exported and printed pages;
    // with every source listed, those of the sources that hold some of them.
    ExportSource exportSource(const CommandMessages& input) const;
    // Re-reads the node's conversations (and their messages when asked) after a command changed its store.
    void rereadNode(_AbsDBItemNode* node, bool withMessages);
    // Asks for a local database (proposing proposedName) and returns its node, adding a node for a
    // new one (then *added is true); nullptr when the person gave no usable name.
    _AbsDBItemNode* chooseLocalDb(const QString& proposedName, bool* added);
    // Shows the folder in the file manager, or says that there is none (MainWindowTools.cpp).
    void showFolder(const QString& path);

    const MainWindowOptions m_options;

    QSplitter* m_splitter = nullptr;
    QSplitter* m_splitter2 = nullptr;
    QLineEdit* m_txtHandleKeyword = nullptr;
    QToolButton* m_btnSearchHandle = nullptr;
    MyTreeView* m_treeViewDS = nullptr;
    QLineEdit* m_txtSMSKeyword = nullptr;
    QToolButton* m_btnSearchSMS = nullptr;
    MyTreeView* m_treeViewSMS = nullptr;
    QLabel* m_lbChatName = nullptr;
    SmsBrowser* m_txtSMS = nullptr;
    QLabel* m_lbSMSCount = nullptr;
    QLabel* m_linkLabel = nullptr;
    QToolBar* m_mainToolBar = nullptr;
    QDockWidget* m_searchDock = nullptr;
    SearchPanel* m_searchPanel = nullptr;
    FilterBar* m_filterBar = nullptr;

    // The node whose records the message list and the conversation view borrow; null when empty.
    _AbsDBItemNode* m_listSource = nullptr;
    // The records of every node while the list shows every source.
    QList<_MsgCollection> m_everywhereRecords;
    // A tree selection that came while the tree was changing, waiting to be shown once it has changed.
    bool m_treeSelectionQueued = false;
    // A store is being read: a tree selection that comes meanwhile waits until the read has ended.
    bool m_readingStore = false;
    // The device reports, and the commands that hold them back.
    std::unique_ptr<DeviceFlowController> m_deviceFlow;

    ItemModelMain* m_modelMain = nullptr;
    ItemModelSms* m_modelSms = nullptr;
    AndroidMonitor* m_monitor = nullptr;
    MessageCounter* m_counter = nullptr;

    // The five command actions shared by the File menu and the tool bar.
    QAction* m_actBackup = nullptr;
    QAction* m_actDb2A = nullptr;
    QAction* m_actExport = nullptr;
    QAction* m_actPrint = nullptr;
    QAction* m_actDelete = nullptr;
};
