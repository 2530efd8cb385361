// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidMonitor.h"
#include "base/DataFolders.h"
#include "base/TaskReporting.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/SearchIndexUpdates.h"
#include "store/CountryLibDb.h"
#include "store/IOS6MessageDb.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/StyleSheet.h"
#include "ui/UiLog.h"
#include "ui/WindowSize.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/dialogs/DeleteConfirmation.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPersistentModelIndex>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {

const QLatin1String usbDebuggingPage("https://www.quillbarrow.com/android/enable-usb-debugging.html");
#ifdef Q_OS_WIN
const QLatin1String usbDriverPage("https://www.quillbarrow.com/android/usb-driver.html");
#endif

// The error box shows rich text; what a store reports is never meant as markup. Quotes stay as they
// are, so that the log keeps the text readable.
QString escapeMarkup(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

void showReadError(const std::exception& error)
{
    showErrorBox(escapeMarkup(exceptionText(error)));
}

QWidget* namedWidget(const char* name, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

template <typename Layout> Layout* namedLayout(const char* name, QWidget* owner)
{
    auto* layout = new Layout(owner);
    layout->setObjectName(QLatin1String(name));
    return layout;
}

QToolButton* searchButton(const char* name, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(QStringLiteral("..."));
    button->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    return button;
}

// The conversation's name with its numbers, as the heading of its transcript; the name alone when
// it is only the number.
QString conversationTitle(const _ChatSessionItemNode& node)
{
    QStringList numbers;
    for (const _MsgChat* chat : node.group) {
        if (!chat->chat_identifier.isEmpty() && chat->chat_identifier != node.name
            && !numbers.contains(chat->chat_identifier))
            numbers.append(chat->chat_identifier);
    }
    if (numbers.isEmpty())
        return node.name;
    return QStringLiteral("%1 (%2)").arg(node.name, numbers.join(QLatin1String(", ")));
}

_AbsDBItemNode* asSourceNode(_ItemNode* node)
{
    if (node && (node->type == _ItemNode::TypeAndroidDevice || node->type == _ItemNode::TypeLocalDb))
        return static_cast<_AbsDBItemNode*>(node);
    return nullptr;
}

// The list's date column is 160 pixels wide, which cuts dates with a two-digit day in wider fonts or
// longer date formats; it is widened to the widest date of the system's format with its icon.
int dateColumnWidth(QTreeView* view)
{
    view->ensurePolished();
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = QSize(ItemModelSms::iconWidth, ItemModelSms::iconWidth);
    int width = 160;
    for (int month = 1; month <= 12; ++month) {
        option.text
            = QLocale::system().toString(QDateTime(QDate(2000, month, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
        const int needed = view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width()
            + (view->rootIsDecorated() ? view->indentation() : 0);
        width = std::max(width, needed);
    }
    return width;
}

} // namespace

MainWindow::MainWindow(QWidget* parent, const MainWindowOptions& options)
    : QMainWindow(parent)
    , m_options(options)
{
    buildWidgets();
    setStyleSheet(appStyleSheet());
    setWindowTitle(tr("Quillbarrow SMS Desk"));

    connect(m_treeViewDS, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(m_treeViewSMS, &MyTreeView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(m_treeViewDS, &MyTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(m_treeViewSMS, &MyTreeView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    connect(m_btnSearchSMS, &QToolButton::pressed, this, &MainWindow::searchMessages);
    connect(m_txtSMSKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);
    connect(m_btnSearchHandle, &QToolButton::pressed, this, &MainWindow::searchCotnact);
    connect(m_txtHandleKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchCotnact);
    m_splitter->setSizes({ 250, 750 });

    m_modelMain = new ItemModelMain(this);
    m_treeViewDS->setModel(m_modelMain);
    m_treeViewDS->expandAll();
    m_modelSms = new ItemModelSms(this);
    m_treeViewSMS->setSortingEnabled(true);
    m_treeViewSMS->header()->setSectionsMovable(false);
    m_treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);
    connect(m_treeViewSMS->header(), &QHeaderView::sortIndicatorChanged, this, &MainWindow::onSMSSortIndicatorChanged);
    m_treeViewSMS->setModel(m_modelSms);
    m_treeViewSMS->setColumnWidth(0, dateColumnWidth(m_treeViewSMS));
    m_treeViewSMS->setColumnWidth(1, 50);
    m_treeViewSMS->setColumnWidth(2, 120);

    buildMenus();
    buildSearchPanel();
    buildFilterBar();

    m_linkLabel = new QLabel(this);
    m_linkLabel->setObjectName(QStringLiteral("lbLink"));
    m_linkLabel->setOpenExternalLinks(true);
    statusBar()->addWidget(m_linkLabel);

    qRegisterMetaType<AdbDevice>("AdbDevice");
    m_monitor = new AndroidMonitor(this, m_options.monitorPollIntervalMs);
    connect(m_monitor, &AndroidMonitor::deviceConnected, this, &MainWindow::androidDeviceConnected);
    connect(m_monitor, &AndroidMonitor::deviceDisconnected, this, &MainWindow::androidDeviceDisconnected);
    if (m_options.startMonitor)
        m_monitor->start();
    if (m_options.usbTipsDelayMs >= 0)
        QTimer::singleShot(m_options.usbTipsDelayMs, this, &MainWindow::androidUsbTips);

    listLocalDatabases();
    // The command line may make databases while the window is open.
    auto* databaseWatcher = new QFileSystemWatcher({ localDatabasesDir().absolutePath() }, this);
    connect(databaseWatcher, &QFileSystemWatcher::directoryChanged, this,
        [this] { runDeviceReport([this] { addNewLocalDatabases(); }); });
    listVirtualDevices();
    restoreSettings();
}

MainWindow::~MainWindow()
{
    saveSettings();
    // The monitor's loop reports to this window: it ends while the window is still whole.
    delete m_monitor;
    m_monitor = nullptr;
}

namespace {

const QLatin1String geometryKey("window/geometry");
const QLatin1String splitterKey("window/splitter");
const QLatin1String splitter2Key("window/splitter2");
const QLatin1String sortColumnKey("list/sortColumn");
const QLatin1String sortOrderKey("list/sortOrder");

} // namespace

void MainWindow::restoreSettings()
{
    const QSettings settings(settingsFilePath(), QSettings::IniFormat);
    restoreGeometry(settings.value(geometryKey).toByteArray());
    m_splitter->restoreState(settings.value(splitterKey).toByteArray());
    m_splitter2->restoreState(settings.value(splitter2Key).toByteArray());
    const int column = settings.value(sortColumnKey, 0).toInt();
    const int order = settings.value(sortOrderKey, int(Qt::AscendingOrder)).toInt();
    if (column >= 0 && column < m_modelSms->columnCount()
        && (order == Qt::AscendingOrder || order == Qt::DescendingOrder))
        m_treeViewSMS->header()->setSortIndicator(column, Qt::SortOrder(order));
}

void MainWindow::saveSettings() const
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.setValue(geometryKey, saveGeometry());
    settings.setValue(splitterKey, m_splitter->saveState());
    settings.setValue(splitter2Key, m_splitter2->saveState());
    settings.setValue(sortColumnKey, m_treeViewSMS->header()->sortIndicatorSection());
    settings.setValue(sortOrderKey, int(m_treeViewSMS->header()->sortIndicatorOrder()));
}

void MainWindow::buildWidgets()
{
    setObjectName(QStringLiteral("MainWindow"));
    // Designed for 1000 x 680, smaller where a small or highly scaled screen has less room.
    resize(firstWindowSize(QSize(1000, 680), screen()->availableGeometry()));

    QWidget* centralWidget = namedWidget("centralWidget", this);
    auto* verticalLayout_4 = namedLayout<QVBoxLayout>("verticalLayout_4", centralWidget);
    verticalLayout_4->setSpacing(0);
    verticalLayout_4->setContentsMargins(11, 11, 11, 11);

    m_splitter = new QSplitter(Qt::Horizontal, centralWidget);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setHandleWidth(1);
    m_splitter->setChildrenCollapsible(false);
    verticalLayout_4->addWidget(m_splitter);

    QWidget* widget_5 = namedWidget("widget_5", m_splitter);
    auto* verticalLayout_3 = namedLayout<QVBoxLayout>("verticalLayout_3", widget_5);
    QWidget* widget_4 = namedWidget("widget_4", widget_5);
    auto* horizontalLayout_2 = namedLayout<QHBoxLayout>("horizontalLayout_2", widget_4);
    m_txtHandleKeyword = new QLineEdit(widget_4);
    m_txtHandleKeyword->setObjectName(QStringLiteral("txtHandleKeyword"));
    horizontalLayout_2->addWidget(m_txtHandleKeyword);
    m_btnSearchHandle = searchButton("btnSearchHandle", widget_4);
    horizontalLayout_2->addWidget(m_btnSearchHandle);
    verticalLayout_3->addWidget(widget_4);
    m_treeViewDS = new MyTreeView(widget_5);
    m_treeViewDS->setObjectName(QStringLiteral("treeViewDS"));
    m_treeViewDS->setFrameShadow(QFrame::Sunken);
    m_treeViewDS->setLineWidth(1);
    m_treeViewDS->setHeaderHidden(true);
    verticalLayout_3->addWidget(m_treeViewDS);
    m_splitter->addWidget(widget_5);

    QWidget* widget = namedWidget("widget", m_splitter);
    auto* verticalLayout_5 = namedLayout<QVBoxLayout>("verticalLayout_5", widget);
    m_splitter2 = new QSplitter(Qt::Vertical, widget);
    m_splitter2->setObjectName(QStringLiteral("splitter_2"));
    verticalLayout_5->addWidget(m_splitter2);
    m_splitter->addWidget(widget);

    QWidget* widget_2 = namedWidget("widget_2", m_splitter2);
    auto* verticalLayout = namedLayout<QVBoxLayout>("verticalLayout", widget_2);
    QWidget* widget_3 = namedWidget("widget_3", widget_2);
    auto* horizontalLayout = namedLayout<QHBoxLayout>("horizontalLayout", widget_3);
    m_txtSMSKeyword = new QLineEdit(widget_3);
    m_txtSMSKeyword->setObjectName(QStringLiteral("txtSMSKeyword"));
    horizontalLayout->addWidget(m_txtSMSKeyword);
    m_btnSearchSMS = searchButton("btnSearchSMS", widget_3);
    horizontalLayout->addWidget(m_btnSearchSMS);
    verticalLayout->addWidget(widget_3);
    m_treeViewSMS = new MyTreeView(widget_2);
    m_treeViewSMS->setObjectName(QStringLiteral("treeViewSMS"));
    m_treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_treeViewSMS->setIndentation(5);
    m_treeViewSMS->setItemsExpandable(false);
    m_treeViewSMS->setDropIndicatorShown(false);
    // Every row is 23 pixels high: the view then never measures rows, which a list of 100,000 needs.
    m_treeViewSMS->setUniformRowHeights(true);
    verticalLayout->addWidget(m_treeViewSMS);
    m_splitter2->addWidget(widget_2);

    QWidget* widget_6 = namedWidget("widget_6", m_splitter2);
    auto* verticalLayout_2 = namedLayout<QVBoxLayout>("verticalLayout_2", widget_6);
    m_lbChatName = new QLabel(tr("Conversations"), widget_6);
    m_lbChatName->setObjectName(QStringLiteral("lbChatName"));
    m_lbChatName->setMinimumHeight(25);
    // Names come from the phone and from address books.
    m_lbChatName->setTextFormat(Qt::PlainText);
    verticalLayout_2->addWidget(m_lbChatName);
    m_txtSMS = new SmsBrowser(widget_6);
    m_txtSMS->setObjectName(QStringLiteral("txtSMS"));
    m_txtSMS->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    verticalLayout_2->addWidget(m_txtSMS);
    m_lbSMSCount = new QLabel(tr("Messages: 0"), widget_6);
    m_lbSMSCount->setObjectName(QStringLiteral("lbSMSCount"));
    m_lbSMSCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout_2->addWidget(m_lbSMSCount);
    m_splitter2->addWidget(widget_6);

    setCentralWidget(centralWidget);

    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    setMenuBar(menuBar);

    m_mainToolBar = new QToolBar(this);
    m_mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_mainToolBar->setMovable(false);
    m_mainToolBar->setFloatable(false);
    m_mainToolBar->setIconSize(QSize(60, 60));
    addToolBar(Qt::TopToolBarArea, m_mainToolBar);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    setStatusBar(bar);
}

_MsgCollection MainWindow::readChats(IOS6MessageDb& db)
{
    _MsgCollection collection;
    db.chats(collection);
    return collection;
}

void MainWindow::listLocalDatabases()
{
    addNewLocalDatabases();
    m_treeViewDS->expand(m_modelMain->nodeIndex(m_modelMain->rootLocalDb()));
}

void MainWindow::addNewLocalDatabases()
{
    QSet<QString> listed;
    for (const _ItemNode* node : std::as_const(m_modelMain->rootLocalDb()->children))
        listed.insert(node->name);
    const QFileInfoList folders = localDatabasesDir().entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& folder : folders) {
        if (listed.contains(folder.fileName()))
            continue;
        auto db = QSharedPointer<IOS6MessageDb>::create(QDir(folder.absoluteFilePath()), QString(), true);
        countMessages(m_modelMain->addLocalDb(db, folder.fileName()));
    }
}

void MainWindow::countMessages(_AbsDBItemNode* node)
{
    if (node && node->type == _ItemNode::TypeLocalDb)
        m_modelMain->setMessageCount(node, storedMessageCount(*node->db));
}

void MainWindow::listVirtualDevices()
{
    const QDir virtualAndroid(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android")));
    const QFileInfoList folders = virtualAndroid.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& folder : folders) {
        AndroidDevice device;
        device.model = folder.fileName();
        device.uid = folder.absoluteFilePath();
        // A folder that can not be read still gets its node, without conversations.
        auto db = QSharedPointer<IOS6MessageDb>::create(QDir(folder.absoluteFilePath()), QString(), true);
        _AndroidDeviceItemNode* node = m_modelMain->addAndroidDevice(db, device);
        try {
            node->collection = readChats(*db);
            m_modelMain->rebuildConversations(node);
        } catch (const std::exception& error) {
            showReadError(error);
        }
    }
}

_ItemNode* MainWindow::currentNode() const
{
    return AbsTreeItemModel::nodeOf(m_treeViewDS->currentIndex());
}

_AbsDBItemNode* MainWindow::currentSourceNode() const
{
    _ItemNode* node = currentNode();
    if (node && node->type == _ItemNode::TypeChatSession)
        node = node->parent;
    return asSourceNode(node);
}

void MainWindow::removeSourceNode(_AbsDBItemNode* node)
{
    if (node == m_listSource)
        clearMessages();
    m_modelMain->removeNode(node);
}

void MainWindow::removeDeviceNodeByUid(const QString& uid)
{
    for (_ItemNode* child : std::as_const(m_modelMain->rootDevice()->children)) {
        if (child->type == _ItemNode::TypeAndroidDevice
            && static_cast<_AndroidDeviceItemNode*>(child)->device.uid == uid) {
            removeSourceNode(static_cast<_AbsDBItemNode*>(child));
            return;
        }
    }
}

QList<_MsgMessage*> MainWindow::selectedMessages() const
{
    QList<_MsgMessage*> messages;
    const QModelIndexList rows = m_treeViewSMS->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : rows) {
        if (auto* message = static_cast<_MsgMessage*>(index.internalPointer()))
            messages.append(message);
    }
    return messages;
}

QList<_MsgMessage*> MainWindow::shownMessages() const
{
    return m_modelSms->messages();
}

QList<_MsgMessage*> MainWindow::allMessagesOfSource()
{
    _AbsDBItemNode* node = currentSourceNode();
    if (!node)
        return {};
    try {
        node->db->messages(node->collection, 0);
    } catch (const std::exception& error) {
        showReadError(error);
        return {};
    }
    QList<_MsgMessage*> messages = node->collection.messages().values();
    sortMessages(messages, m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder);
    return messages;
}

MainWindow::CommandMessages MainWindow::messagesOf(_AbsDBItemNode* node, QList<_MsgMessage*> messages)
{
    if (!node)
        return {};
    return { node, node->db, node->collection, std::move(messages) };
}

MainWindow::CommandMessages MainWindow::selectedOfList() const
{
    return messagesOf(m_listSource, selectedMessages());
}

MainWindow::CommandMessages MainWindow::shownOfList() const
{
    return messagesOf(m_listSource, shownMessages());
}

MainWindow::CommandMessages MainWindow::allOfSource()
{
    QList<_MsgMessage*> messages = allMessagesOfSource();
    return messagesOf(currentSourceNode(), std::move(messages));
}

void MainWindow::showMessages(QList<_MsgMessage*> list)
{
    list = filteredForList(std::move(list));
    sortMessages(list, m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder);
    m_modelSms->setMessages(list);
    m_txtSMS->clear();
    m_txtSMS->setMessages(m_modelSms->messages());
    m_lbSMSCount->setText(tr("Messages: %1").arg(list.size()));
    showNewestMessage();
}

void MainWindow::showNewestMessage()
{
    const int rows = m_modelSms->rowCount();
    if (rows == 0)
        return;
    const int row = m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder ? rows - 1 : 0;
    const QModelIndex newest = m_modelSms->rowIndex(row);
    // Current but not selected: the commands of the File menu and the tool bar keep working on the
    // whole conversation until rows are chosen.
    m_treeViewSMS->selectionModel()->setCurrentIndex(newest, QItemSelectionModel::NoUpdate);
    m_treeViewSMS->scrollTo(newest);
    m_txtSMS->showMessage(row);
}

void MainWindow::clearMessages()
{
    m_listSource = nullptr;
    m_lbChatName->setText(tr("Conversations"));
    m_modelSms->setMessages({});
    m_txtSMS->clear();
    m_txtSMS->setMessages({});
    m_lbSMSCount->setText(tr("Messages: 0"));
}

void MainWindow::selectNode(_ItemNode* node)
{
    const QPersistentModelIndex index(m_modelMain->nodeIndex(node));
    m_treeViewDS->expand(index);
    MyTreeView* view = m_treeViewDS;
    QMetaObject::invokeMethod(
        view,
        [view, index] {
            if (index.isValid())
                view->setCurrentIndex(index);
        },
        Qt::QueuedConnection);
}

MainWindow::CommandScope::CommandScope(MainWindow* window)
    : m_window(window)
{
    ++m_window->m_commandDepth;
}

MainWindow::CommandScope::~CommandScope()
{
    // The reports run from the event loop, once whatever called the command has returned too.
    if (--m_window->m_commandDepth == 0 && !m_window->m_pendingDeviceEvents.isEmpty())
        QMetaObject::invokeMethod(m_window, &MainWindow::runPendingDeviceEvents, Qt::QueuedConnection);
}

void MainWindow::runDeviceReport(std::function<void()> report)
{
    m_pendingDeviceEvents.append(std::move(report));
    runPendingDeviceEvents();
}

void MainWindow::runPendingDeviceEvents()
{
    while (m_commandDepth == 0 && !m_pendingDeviceEvents.isEmpty()) {
        const CommandScope scope(this);
        m_pendingDeviceEvents.takeFirst()();
    }
}

void MainWindow::androidDeviceConnected(const AdbDevice& adbDevice)
{
    runDeviceReport([this, adbDevice] { connectUsbDevice(adbDevice); });
}

void MainWindow::connectUsbDevice(const AdbDevice& adbDevice)
{
    if (!adbDevice.isOnline()) {
        // The listing line comes from the device, and the box shows rich text.
        showWarningBox(QStringLiteral("If you are presented with the pop up to allow debugging with the computer on "
                                      "your Android device screen. Please simply check \"Always allow from this "
                                      "computer\" and then click \"OK\" to finish.<br/>(%1)")
                           .arg(escapeMarkup(adbDevice.line)));
    }
    ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithUSBThread thread(adbDevice.serial, &progress);
    if (runWorkerWithDialog(thread, progress))
        loadDevice(thread.device());
}

void MainWindow::androidDeviceDisconnected(QString devId)
{
    runDeviceReport([this, devId] {
        for (_ItemNode* child : std::as_const(m_modelMain->rootDevice()->children)) {
            if (child->type == _ItemNode::TypeAndroidDevice
                && static_cast<_AndroidDeviceItemNode*>(child)->device.deviceId() == devId) {
                removeSourceNode(static_cast<_AbsDBItemNode*>(child));
                return;
            }
        }
    });
}

void MainWindow::androidDeviceLoad(AndroidDevice device)
{
    const CommandScope scope(this);
    loadDevice(std::move(device));
}

bool MainWindow::checkCountry(AndroidDevice& device)
{
    bool found = false;
    if (!device.mmc.isEmpty()) {
        try {
            CountryLibDb library { QString() };
            library.findByMcc(device.mmc, &found);
        } catch (const std::exception& error) {
            qCWarning(lcUi, "country library not readable: %s", error.what());
        }
    }
    if (found)
        return true;
    showInfoBox(tr("IDS_ANDROID_%1_CANT_READ_MMC_NUMBER"));
    CountrySelForm form(this, device.simCountry);
    if (form.exec() != QDialog::Accepted)
        return false;
    device.mmc = form.code();
    return true;
}

_AndroidDeviceItemNode* MainWindow::loadDevice(AndroidDevice device)
{
    // Nothing is loaded yet, so a cancelled country ends the load and leaves the tree as it was.
    if (!checkCountry(device))
        return nullptr;

    {
        ProgressForm progress(tr("IDS_ANDROID_LOADING_SMS"), this);
        AndroidLoadSMSThread thread(device, &progress);
        if (!runWorkerWithDialog(thread, progress))
            return nullptr;
    }
    updateSearchIndexLater(device.cacheDir());

    try {
        // Read before the tree changes, so that a cache that can not be read leaves the old node.
        auto db = QSharedPointer<IOS6MessageDb>::create(device.cacheDir(), device.mmc, true);
        const _MsgCollection chats = readChats(*db);
        removeDeviceNodeByUid(device.uid);
        _AndroidDeviceItemNode* node = m_modelMain->addAndroidDevice(db, device);
        node->collection = chats;
        node->loadedCacheTime = QFileInfo(db->dbPath()).lastModified();
        m_modelMain->rebuildConversations(node);
        selectNode(node);
        return node;
    } catch (const std::exception& error) {
        showReadError(error);
        return nullptr;
    }
}

void MainWindow::androidUsbTips()
{
    if (!m_monitor->currentKnownSerials().isEmpty())
        return;
    QString tips = QStringLiteral("<b>Android device not found.</b><br/><br/>")
        + QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>")
        + QStringLiteral("* Enable USB debugging on your Android device. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(usbDebuggingPage);
#ifdef Q_OS_WIN
    QString program = QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("QuillbarrowDeviceManager.exe")));
    // "file:///" already ends in the root's slash.
    if (program.startsWith(QLatin1Char('/')))
        program.remove(0, 1);
    tips += QStringLiteral("* Install USB driver software on your computer. <a href=\"%1\">How to</a>?<br/><br/>")
                .arg(usbDriverPage)
        + QStringLiteral("* Click <a href=\"file:///%1\">HERE</a> to run Quillbarrow Device Manager to try "
                         "again.<br/><br/>")
              .arg(escapeMarkup(program));
#else
    // Without a udev rule adb sees the phone only as root, or lists it with "no permissions".
    tips += QStringLiteral("* Allow your user to reach the phone over USB: install the "
                           "android-sdk-platform-tools-common package, whose udev rule gives the plugdev group "
                           "access to Android devices, add yourself to the plugdev group (sudo usermod -aG plugdev "
                           "$USER), log in again and plug the phone in again.<br/><br/>");
#endif
    tips += QStringLiteral("* Or connect without a cable: with the phone and this computer on the same WiFi "
                           "network, choose Tools &gt; Connect Android Phone via WiFi.<br/><br/>");
    showInfoBox(tips);
}

void MainWindow::onMainTreeSelected(const QItemSelection& selected, const QItemSelection&)
{
    // A read error is shown in a box while the view is still handling this selection; phones that
    // come or go meanwhile wait until it has finished with it.
    const CommandScope scope(this);
    updateCommandActions();
    // When the current row is removed, the view selects a neighbour from inside the removal. Reading a
    // store and refilling the list (or a database's conversations) there would change the tree inside its
    // own change; the selection the view ends up with is shown once the tree has changed.
    if (m_modelMain->isChanging()) {
        if (!m_treeSelectionQueued) {
            m_treeSelectionQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_treeSelectionQueued = false;
                    onMainTreeSelected(m_treeViewDS->selectionModel()->selection(), QItemSelection());
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (selected.isEmpty() || selected.first().indexes().isEmpty())
        return;
    _ItemNode* node = AbsTreeItemModel::nodeOf(selected.first().indexes().first());
    if (!node)
        return;

    try {
        switch (node->type) {
        case _ItemNode::TypeLocalDb: {
            auto* dbNode = static_cast<_AbsDBItemNode*>(node);
            if (dbNode->children.isEmpty()) {
                const _MsgCollection chats = readChats(*dbNode->db);
                dbNode->collection = chats;
                m_modelMain->rebuildConversations(dbNode);
                // A database made while the window was open may have been counted before it was written.
                countMessages(dbNode);
                const QPersistentModelIndex index(m_modelMain->nodeIndex(dbNode));
                MyTreeView* view = m_treeViewDS;
                QMetaObject::invokeMethod(
                    view,
                    [view, index] {
                        if (index.isValid())
                            view->expand(index);
                    },
                    Qt::QueuedConnection);
                if (dbNode->children.isEmpty())
                    return;
                dbNode->db->messages(dbNode->collection, 0);
            }
            m_listSource = dbNode;
            m_lbChatName->setText(dbNode->name);
            showMessages(dbNode->collection.messages().values());
            break;
        }
        case _ItemNode::TypeAndroidDevice: {
            auto* dbNode = static_cast<_AbsDBItemNode*>(node);
            dbNode->db->messages(dbNode->collection, 0);
            m_listSource = dbNode;
            m_lbChatName->setText(dbNode->name);
            showMessages(dbNode->collection.messages().values());
            break;
        }
        case _ItemNode::TypeChatSession: {
            auto* chatNode = static_cast<_ChatSessionItemNode*>(node);
            if (chatNode->group.isEmpty()) {
                clearMessages();
                break;
            }
            auto* dbNode = static_cast<_AbsDBItemNode*>(chatNode->parent);
            QList<_MsgMessage*> messages;
            QSet<_MsgMessage*> seen;
            for (_MsgChat* chat : std::as_const(chatNode->group)) {
                dbNode->db->messages(dbNode->collection, chat->rowid);
                for (_MsgMessage* message : std::as_const(chat->messages)) {
                    // A message linked to two conversations of the group is listed once.
                    if (!seen.contains(message)) {
                        seen.insert(message);
                        messages.append(message);
                    }
                }
            }
            m_listSource = dbNode;
            m_lbChatName->setText(conversationTitle(*chatNode));
            showMessages(messages);
            break;
        }
        default:
            clearMessages();
            break;
        }
    } catch (const std::exception& error) {
        showReadError(error);
    }
}

void MainWindow::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    const QModelIndexList indexes = selected.indexes();
    for (const QModelIndex& index : indexes) {
        if (index.internalPointer()) {
            m_txtSMS->showMessage(index.row());
            return;
        }
    }
}

void MainWindow::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder)
{
    if (logicalIndex != 0) {
        // Raises the signal again, for column 0.
        m_treeViewSMS->header()->setSortIndicator(0, Qt::DescendingOrder);
        return;
    }
    showMessages(shownMessages());
}

void MainWindow::searchCotnact()
{
    _ItemNode* node = currentNode();
    if (!node)
        return;
    _ItemNode* parentNode = nullptr;
    qsizetype start = 0;
    if (asSourceNode(node)) {
        parentNode = node;
    } else if (node->type == _ItemNode::TypeChatSession) {
        parentNode = node->parent;
        start = parentNode->children.indexOf(node) + 1;
    } else {
        return;
    }

    const QString keyword = m_txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;

    const auto matches = conversationMatcher(static_cast<_AbsDBItemNode*>(parentNode), keyword);
    const QList<_ItemNode*>& conversations = parentNode->children;
    const qsizetype count = conversations.size();
    for (qsizetype step = 0; step < count; ++step) {
        _ItemNode* candidate = conversations.at((start + step) % count);
        if (matches(*candidate)) {
            m_treeViewDS->expand(m_modelMain->nodeIndex(parentNode));
            m_treeViewDS->setCurrentIndex(m_modelMain->nodeIndex(candidate));
            return;
        }
    }
    showInfoBox(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword));
}

void MainWindow::searchMessages()
{
    const QString keyword = m_txtSMSKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_MsgMessage*>& messages = m_modelSms->messages();
    if (messages.isEmpty()) {
        showInfoBox(tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }

    const QModelIndex current = m_treeViewSMS->currentIndex();
    const qsizetype start = current.isValid() ? current.row() + 1 : 0;
    const qsizetype count = messages.size();
    for (qsizetype step = 0; step < count; ++step) {
        const qsizetype row = (start + step) % count;
        if (messageDisplayText(*messages.at(row), EmojiText::Characters).contains(keyword, Qt::CaseInsensitive)) {
            const QModelIndex hit = m_modelSms->rowIndex(int(row));
            m_treeViewSMS->setCurrentIndex(hit);
            m_treeViewSMS->scrollTo(hit);
            return;
        }
    }
    showInfoBox(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
}

void MainWindow::onCheckVersionReadyRead() { }

void MainWindow::onGetAdvLinkRead() { }

void MainWindow::miCheckUpdate() { }
