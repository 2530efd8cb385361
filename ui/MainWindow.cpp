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
#include "ops/MessageSources.h"
#include "ops/SearchIndexUpdates.h"
#include "store/CountryLibDb.h"
#include "store/IOS6MessageDb.h"
#include "ui/DeviceFlowController.h"
#include "ui/MainWindowHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/MessageCounter.h"
#include "ui/ProgressForm.h"
#include "ui/StyleSheet.h"
#include "ui/UiLog.h"
#include "ui/WindowSize.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/CountrySelForm.h"
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
    , m_deviceFlow(std::make_unique<DeviceFlowController>(this))
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

    m_counter = new MessageCounter(this);
    connect(m_counter, &MessageCounter::counted, this, [this](const QString& folder, qint64 count) {
        _AbsDBItemNode* node = sourceNodeOf(QDir(folder));
        if (node && node->type == _ItemNode::TypeLocalDb)
            m_modelMain->setMessageCount(node, count);
    });
    // Like the phones that come and go, a phone's conversations wait for the command that runs.
    connect(m_counter, &MessageCounter::conversationsRead, this,
        [this](const QString& folder, const _MsgCollection& chats, const QString& error) {
            m_deviceFlow->runDeviceReport(
                [this, folder, chats, error] { showOfflineConversations(folder, chats, error); });
        });
    listLocalDatabases();
    // The command line may make databases while the window is open.
    auto* databaseWatcher = new QFileSystemWatcher({ localDatabasesDir().absolutePath() }, this);
    connect(databaseWatcher, &QFileSystemWatcher::directoryChanged, this,
        [this] { m_deviceFlow->runDeviceReport([this] { addNewLocalDatabases(); }); });
    listVirtualDevices();
    restoreSettings();
}

MainWindow::~MainWindow()
{
    saveSettings();
    // The monitor's loop reports to this window: it ends while the window is still whole.
    delete m_monitor;
    m_monitor = nullptr;
    // A count still running is stopped rather than waited for.
    delete m_counter;
    m_counter = nullptr;
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
        const auto db = openMessageStore(localDatabaseSource(QDir(folder.absoluteFilePath())));
        countMessages(m_modelMain->addLocalDb(db, folder.fileName()));
    }
}

void MainWindow::countMessages(_AbsDBItemNode* node)
{
    if (node && node->type == _ItemNode::TypeLocalDb)
        m_counter->count(node->db->folder());
}

void MainWindow::listVirtualDevices()
{
    const QDir virtualAndroid(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android")));
    const QFileInfoList folders = virtualAndroid.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& folder : folders) {
        AndroidDevice device;
        device.model = folder.fileName();
        device.uid = folder.absoluteFilePath();
        // The node stands in the tree at once; its conversations come from the counter's thread.
        auto db = QSharedPointer<IOS6MessageDb>::create(QDir(folder.absoluteFilePath()), QString(), true);
        m_modelMain->addAndroidDevice(db, device);
        m_counter->readConversations(QDir(device.uid));
    }
}

void MainWindow::showOfflineConversations(const QString& folder, const _MsgCollection& chats, const QString& error)
{
    _AndroidDeviceItemNode* node = nullptr;
    for (_ItemNode* child : std::as_const(m_modelMain->rootDevice()->children)) {
        if (child->type != _ItemNode::TypeAndroidDevice)
            continue;
        auto* device = static_cast<_AndroidDeviceItemNode*>(child);
        if (QDir::cleanPath(device->device.uid) == folder)
            node = device;
    }
    // A node that has gone, or that a command has given its conversations meanwhile, is left as it is.
    if (!node || !node->children.isEmpty())
        return;
    // A folder that can not be read keeps its node, without conversations.
    if (!error.isEmpty()) {
        showErrorBox(escapeMarkup(error));
        return;
    }
    // The list may show messages read into the node's records since: they are kept, and with them
    // the conversations that reading them read as well.
    if (node->collection.chats().isEmpty() && node->collection.messages().isEmpty())
        node->collection = chats;
    m_modelMain->rebuildConversations(node);
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
    if (node == m_listSource || listShowsEverywhere())
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

MainWindow::CommandScope::CommandScope(MainWindow* window)
    : m_window(window)
{
    m_window->m_deviceFlow->enterCommand();
}

MainWindow::CommandScope::~CommandScope()
{
    m_window->m_deviceFlow->leaveCommand();
}

void MainWindow::androidDeviceConnected(const AdbDevice& adbDevice)
{
    m_deviceFlow->deviceConnected(adbDevice);
}

void MainWindow::androidDeviceDisconnected(QString devId)
{
    m_deviceFlow->deviceDisconnected(devId);
}

void MainWindow::androidDeviceLoad(AndroidDevice device)
{
    const CommandScope scope(this);
    m_deviceFlow->loadDevice(std::move(device));
}

void MainWindow::androidUsbTips()
{
    m_deviceFlow->showUsbTips();
}

void MainWindow::onCheckVersionReadyRead() { }

void MainWindow::onGetAdvLinkRead() { }

void MainWindow::miCheckUpdate() { }
