// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window offscreen: a phone found by the real adb through the window's own monitor, connected,
// loaded and shown; local databases and offline devices listed at start-up; searches, the sort rule and
// the country dialog.
#include "android/AndroidMonitor.h"
#include "app/DataFolders.h"
#include "app/MessageBoxes.h"
#include "message/MessageText.h"
#include "store/ExportMessagesDb.h"
#include "support/AdbTestServer.h"
#include "support/MessageRecords.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "ui/MainWindow.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>

#include <memory>

namespace {

MainWindowOptions quietOptions()
{
    MainWindowOptions options;
    options.startMonitor = false;
    options.usbTipsDelayMs = -1;
    return options;
}

// Writes conversations (name, [(date, text, from me)]) into a new database folder.
struct FixtureMessage
{
    int date;
    QString text;
    bool fromMe;
};

void writeStore(const QDir& folder, const QList<QPair<QString, QList<FixtureMessage>>>& conversations)
{
    MessageRecords records;
    qint64 rowid = 0;
    QList<_MsgMessage*> messages;
    for (const auto& [name, texts] : conversations) {
        ++rowid;
        const QString number = QStringLiteral("+4477009001%1").arg(rowid, 2, 10, QLatin1Char('0'));
        _MsgHandle* handle = records.addHandle(rowid, number, name);
        _MsgChat* chat = records.addChat(rowid, number, { handle }, texts.last().date);
        for (const FixtureMessage& m : texts)
            messages.append(records.addMessage(rowid * 100 + messages.size(), chat, handle, m.date, m.text, m.fromMe));
    }
    ExportMessagesDb store(folder, QString());
    store.begin();
    for (const _MsgMessage* message : std::as_const(messages))
        store.write(*message);
    store.end();
}

QStringList childNames(const _ItemNode* node)
{
    QStringList names;
    for (const _ItemNode* child : node->children)
        names.append(child->name);
    return names;
}

_ItemNode* childNamed(const _ItemNode* node, const QString& name)
{
    for (_ItemNode* child : node->children) {
        if (child->name == name)
            return child;
    }
    return nullptr;
}

QStringList boxTexts(const QList<ShownMessageBox>& boxes)
{
    QStringList texts;
    for (const ShownMessageBox& box : boxes)
        texts.append(box.text);
    return texts;
}

bool hasErrorBox(const QList<ShownMessageBox>& boxes)
{
    for (const ShownMessageBox& box : boxes) {
        if (box.icon == QMessageBox::Critical)
            return true;
    }
    return false;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void windowDescription();
    void phoneFromPlugToScreen();
    void usbTipsWithoutDevice();
    void databasesAtStartUp();
    void searchConversations_data();
    void searchConversations();
    void searchMessages_data();
    void searchMessages();
    void sortRule_data();
    void sortRule();
    void countryFilter_data();
    void countryFilter();
    void countryClosing_data();
    void countryClosing();

private:
    _ItemNode* localDb(MainWindow& window, const QString& name) const
    {
        return childNamed(window.mainModel()->rootLocalDb(), name);
    }
    void select(MainWindow& window, _ItemNode* node) const
    {
        window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"))
            ->setCurrentIndex(window.mainModel()->nodeIndex(node));
    }
    QStringList listTexts(MainWindow& window) const
    {
        QStringList texts;
        for (const _MsgMessage* message : window.shownMessages())
            texts.append(message->text);
        return texts;
    }

    // A window closed just before stopped the adb server; the first connect may meet it going down.
    QString connectDevice(const PhoneSimulatorProcess& phone) const
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const QString serial = m_adb->connectDevice(phone);
            if (!serial.isEmpty())
                return serial;
        }
        return QString();
    }

    QTranslator m_translator;
    std::unique_ptr<AdbTestServer> m_adb;
};

void TestMainWindow::initTestCase()
{
    useTemporaryHome();
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
    setMessageBoxesScripted(true);

    // Three conversations, newest last: Anna Berg, then Bob Stone, then Carla Berg.
    const QDir databases = localDatabasesDir();
    QVERIFY(databases.mkpath(QStringLiteral("Family")));
    writeStore(QDir(databases.filePath(QStringLiteral("Family"))),
        { { QStringLiteral("Anna Berg"),
              { { 1000, QStringLiteral("Lunch at noon?"), false }, { 1100, QStringLiteral("Yes, see you"), true } } },
            { QStringLiteral("Bob Stone"), { { 2000, QStringLiteral("Meeting moved to Friday"), false } } },
            { QStringLiteral("Carla Berg"), { { 3000, QStringLiteral("Parcel arrived"), false } } } });
    QVERIFY(databases.mkpath(QStringLiteral("alpha")));
    QVERIFY(databases.mkpath(QStringLiteral("Broken/file-relay/var/mobile/Library/SMS")));
    QFile broken(smsDbPath(QDir(databases.filePath(QStringLiteral("Broken")))));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("this is not a database file at all, just text").repeated(100));
    broken.close();
    QFile legacy(databases.filePath(QStringLiteral("legacy.db")));
    QVERIFY(legacy.open(QIODevice::WriteOnly));
    legacy.close();

    const QDir offline(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android/OldPhone")));
    QVERIFY(offline.mkpath(QStringLiteral(".")));
    writeStore(offline, { { QStringLiteral("Dora"), { { 500, QStringLiteral("old times"), false } } } });

    m_adb = std::make_unique<AdbTestServer>();
}

void TestMainWindow::cleanupTestCase()
{
    m_adb.reset();
}

void TestMainWindow::init()
{
    takeShownMessageBoxes();
}

void TestMainWindow::windowDescription()
{
    MainWindow window(nullptr, quietOptions());
    window.show();
    QCOMPARE(window.size(), QSize(1000, 680));
    // 250 and 750, scaled to the room the margins and the handle leave.
    const QList<int> sizes = window.findChild<QSplitter*>(QStringLiteral("splitter"))->sizes();
    QVERIFY2(sizes.size() == 2 && qAbs(sizes.at(0) * 3 - sizes.at(1)) <= 3, qPrintable(QString::number(sizes.at(0))));
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillbarrow SMS Desk"));
    for (const char* name :
        { "centralWidget", "widget_5", "widget_4", "widget", "widget_2", "widget_3", "widget_6", "txtHandleKeyword",
            "btnSearchHandle", "txtSMSKeyword", "btnSearchSMS", "lbChatName", "txtSMS", "menuBar", "statusBar" })
        QVERIFY2(window.findChild<QWidget*>(QLatin1String(name)), name);
    QVERIFY(window.findChild<QSplitter*>(QStringLiteral("splitter_2")));
    auto* toolBar = window.findChild<QToolBar*>(QStringLiteral("mainToolBar"));
    QVERIFY(toolBar && !toolBar->isMovable() && !toolBar->isFloatable());
    QCOMPARE(toolBar->iconSize(), QSize(60, 60));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QCOMPARE(list->header()->sortIndicatorSection(), 0);
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(
        QList<int>({ list->columnWidth(0), list->columnWidth(1), list->columnWidth(2) }), QList<int>({ 160, 50, 120 }));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lbSMSCount"))->text(), QStringLiteral("SMS: 0"));
    QVERIFY(window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"))->isHeaderHidden());
}

// The monitor reports the phone, the USB sequence connects it, the load fills its cache and the window
// shows it. A phone without a country code is asked for one; a second phone with the same uid replaces
// the node; only unplugging the phone the node was made from removes it.
void TestMainWindow::phoneFromPlugToScreen()
{
    MainWindowOptions options;
    options.monitorPollIntervalMs = 100;
    options.usbTipsDelayMs = -1;
    MainWindow window(nullptr, options);
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));

    // The country dialog is answered like a person would: filter, pick, OK, confirm.
    QStringList countryDialogs;
    QTimer person;
    connect(&person, &QTimer::timeout, &window, [&] {
        auto* form = window.findChild<CountrySelForm*>();
        if (!form || !form->isVisible())
            return;
        form->findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(QStringLiteral("germany"));
        auto* countries = form->findChild<QListWidget*>(QStringLiteral("ltCountries"));
        countryDialogs.append(countries->count() > 0 ? countries->item(0)->text() : QString());
        countries->setCurrentRow(0);
        setNextMessageBoxAnswer(QMessageBox::Yes);
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    person.start(20);

    const QStringList common { QStringLiteral("--adb-port"), QStringLiteral("0"), QStringLiteral("--port"),
        QStringLiteral("0"), QStringLiteral("--uid"), QStringLiteral("same-phone"), QStringLiteral("--imei"),
        QStringLiteral("350000000000001"), QStringLiteral("--manufacturer"), QStringLiteral("Pixelcorp"),
        QStringLiteral("--model"), QStringLiteral("P7") };
    PhoneSimulatorProcess first;
    QVERIFY2(
        first.start(common
            + QStringList { QStringLiteral("--generate"), QStringLiteral("60"), QStringLiteral("--mmc"), QString() }),
        qUtf8Printable(first.log()));
    const QString firstSerial = connectDevice(first);
    QVERIFY2(!firstSerial.isEmpty(), qUtf8Printable(first.log()));

    const auto deviceNode = [&]() -> _AndroidDeviceItemNode* {
        const auto& devices = window.mainModel()->rootDevice()->children;
        for (_ItemNode* node : devices) {
            if (node->type == _ItemNode::TypeAndroidDevice && node->name == QLatin1String("Pixelcorp P7"))
                return static_cast<_AndroidDeviceItemNode*>(node);
        }
        return nullptr;
    };
    // Generated messages may repeat one another, and the cache keeps a message once.
    const auto shownFrom = [&](const QString& serial, int generated) {
        _AndroidDeviceItemNode* node = deviceNode();
        const int rows = window.smsModel()->rowCount();
        return node && node->device.serial == serial && AbsTreeItemModel::nodeOf(tree->currentIndex()) == node
            && rows == node->collection.messages().size() && rows > generated * 9 / 10 && rows <= generated;
    };
    if (!QTest::qWaitFor([&] { return shownFrom(firstSerial, 60); }, 60000)) {
        qWarning("boxes: %s", qUtf8Printable(boxTexts(takeShownMessageBoxes()).join(QLatin1Char('\n'))));
        qWarning("phone: %s", qUtf8Printable(first.log()));
        qWarning("devices %d rows %d current %s", window.mainModel()->countDevices(), window.smsModel()->rowCount(),
            tree->currentIndex().isValid() ? qUtf8Printable(AbsTreeItemModel::nodeOf(tree->currentIndex())->name)
                                           : "-");
        QFAIL("phone not shown");
    }
    QVERIFY(window.monitor()->currentKnownSerials().contains(firstSerial));

    _AndroidDeviceItemNode* node = deviceNode();
    QCOMPARE(window.mainModel()->countDevices(), 2); // with the offline device
    QCOMPARE(countryDialogs, QStringList { QStringLiteral("Germany (+49)") });
    QCOMPARE(node->device.mmc, QStringLiteral("262"));
    QVERIFY(!node->children.isEmpty());
    QVERIFY(tree->isExpanded(window.mainModel()->nodeIndex(node)));
    const int rows = window.smsModel()->rowCount();
    QCOMPARE(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))->messages(), window.shownMessages());
    QVERIFY(!window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))->toPlainText().isEmpty());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lbSMSCount"))->text(), QStringLiteral("SMS: %1").arg(rows));
    QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QVERIFY2(!hasErrorBox(boxes), qUtf8Printable(boxTexts(boxes).join(QLatin1Char('\n'))));
    QVERIFY(boxTexts(boxes).contains(QStringLiteral(
        "Failed to load country code from your phone. Please click \"OK\" button to select a country code manually.")));

    // A device is known now, so the tips stay away.
    window.androidUsbTips();
    QCOMPARE(takeShownMessageBoxes().size(), 0);

    PhoneSimulatorProcess second;
    QVERIFY2(second.start(common
                 + QStringList { QStringLiteral("--generate"), QStringLiteral("25"), QStringLiteral("--mmc"),
                     QStringLiteral("262") }),
        qUtf8Printable(second.log()));
    const QString secondSerial = connectDevice(second);
    QVERIFY(!secondSerial.isEmpty());
    QTRY_VERIFY2_WITH_TIMEOUT(shownFrom(secondSerial, 25), qUtf8Printable(second.log()), 60000);
    QCOMPARE(window.mainModel()->countDevices(), 2);
    QCOMPARE(countryDialogs.size(), 1);
    boxes = takeShownMessageBoxes();
    QVERIFY2(!hasErrorBox(boxes), qUtf8Printable(boxTexts(boxes).join(QLatin1Char('\n'))));

    m_adb->disconnectDevice(firstSerial);
    QTRY_VERIFY_WITH_TIMEOUT(!window.monitor()->currentKnownSerials().contains(firstSerial), 10000);
    QTest::qWait(300);
    QVERIFY(deviceNode());

    m_adb->disconnectDevice(secondSerial);
    QTRY_VERIFY_WITH_TIMEOUT(!deviceNode(), 10000);
    QCOMPARE(window.mainModel()->countDevices(), 1);
    // The list let go of the phone's messages; it shows the node the tree moved to.
    QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex())->name, QStringLiteral("OldPhone"));
    QCOMPARE(listTexts(window), QStringList { QStringLiteral("old times") });
    QCOMPARE(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))->messages(), window.shownMessages());
    QCOMPARE(takeShownMessageBoxes().size(), 0);
}

void TestMainWindow::usbTipsWithoutDevice()
{
    MainWindowOptions options = quietOptions();
    options.usbTipsDelayMs = 10;
    MainWindow window(nullptr, options);
    QList<ShownMessageBox> boxes;
    QTRY_VERIFY((boxes += takeShownMessageBoxes(), !boxes.isEmpty()));
    QTest::qWait(50);
    boxes += takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().text.startsWith(QStringLiteral("<b>Android device not found.</b><br/><br/>")));
    QVERIFY(boxes.first().text.contains(QStringLiteral("QuillbarrowDeviceManager.exe\">HERE</a>")));
}

// Database folders are listed by name without being read; the first selection reads one. Offline devices
// are read at start-up. A database that can not be read leaves the tree and the list as they were.
void TestMainWindow::databasesAtStartUp()
{
    MainWindow window(nullptr, quietOptions());
    window.show();
    const _ItemNode* databases = window.mainModel()->rootLocalDb();
    QCOMPARE(childNames(databases),
        QStringList({ QStringLiteral("Broken"), QStringLiteral("Family"), QStringLiteral("alpha") }));
    for (const _ItemNode* node : databases->children)
        QVERIFY(node->children.isEmpty());
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    QVERIFY(tree->isExpanded(window.mainModel()->nodeIndex(const_cast<_ItemNode*>(databases))));

    _ItemNode* offline = childNamed(window.mainModel()->rootDevice(), QStringLiteral("OldPhone"));
    QVERIFY(offline);
    QCOMPARE(childNames(offline), QStringList { QStringLiteral("Dora") });

    _ItemNode* family = localDb(window, QStringLiteral("Family"));
    select(window, family);
    QCOMPARE(childNames(family),
        QStringList({ QStringLiteral("Carla Berg"), QStringLiteral("Bob Stone"), QStringLiteral("Anna Berg") }));
    QCOMPARE(listTexts(window),
        QStringList({ QStringLiteral("Lunch at noon?"), QStringLiteral("Yes, see you"),
            QStringLiteral("Meeting moved to Friday"), QStringLiteral("Parcel arrived") }));
    QTRY_VERIFY(tree->isExpanded(window.mainModel()->nodeIndex(family)));

    const int rows = window.mainModel()->rowCount(window.mainModel()->nodeIndex(const_cast<_ItemNode*>(databases)));
    for (const QString& name : { QStringLiteral("Broken"), QStringLiteral("alpha") }) {
        select(window, localDb(window, name));
        QVERIFY(localDb(window, name)->children.isEmpty());
        QCOMPARE(listTexts(window).size(), 4);
        QCOMPARE(window.mainModel()->rowCount(window.mainModel()->nodeIndex(const_cast<_ItemNode*>(databases))), rows);
        QCOMPARE(hasErrorBox(takeShownMessageBoxes()), name == QLatin1String("Broken"));
    }

    select(window, childNamed(family, QStringLiteral("Anna Berg")));
    QCOMPARE(listTexts(window), QStringList({ QStringLiteral("Lunch at noon?"), QStringLiteral("Yes, see you") }));
    select(window, offline);
    QCOMPARE(listTexts(window), QStringList { QStringLiteral("old times") });
    select(window, window.mainModel()->rootLocalDb());
    QCOMPARE(window.smsModel()->rowCount(), 0);
}

void TestMainWindow::searchConversations_data()
{
    QTest::addColumn<QString>("from"); // empty: the database node
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("found"); // empty: the current node stays
    QTest::addColumn<QString>("box");

    const QString none;
    QTest::newRow("from the database, first hit")
        << none << QStringLiteral("berg") << QStringLiteral("Carla Berg") << none;
    QTest::newRow("from a conversation, the next hit")
        << QStringLiteral("Carla Berg") << QStringLiteral("BERG") << QStringLiteral("Anna Berg") << none;
    QTest::newRow("wraps to the first row")
        << QStringLiteral("Anna Berg") << QStringLiteral("berg") << QStringLiteral("Carla Berg") << none;
    QTest::newRow("the only match is found again")
        << QStringLiteral("Bob Stone") << QStringLiteral(" stone ") << QStringLiteral("Bob Stone") << none;
    QTest::newRow("no hit") << QStringLiteral("Bob Stone") << QStringLiteral("zebra") << QStringLiteral("Bob Stone")
                            << QStringLiteral("Find no contact with keyword zebra.");
    QTest::newRow("blank keyword") << none << QStringLiteral("   ") << QStringLiteral("Family") << none;
}

void TestMainWindow::searchConversations()
{
    QFETCH(QString, from);
    QFETCH(QString, keyword);
    QFETCH(QString, found);
    QFETCH(QString, box);

    MainWindow window(nullptr, quietOptions());
    window.show();
    _ItemNode* family = localDb(window, QStringLiteral("Family"));
    select(window, family);
    if (!from.isEmpty())
        select(window, childNamed(family, from));
    takeShownMessageBoxes();

    window.findChild<QLineEdit*>(QStringLiteral("txtHandleKeyword"))->setText(keyword);
    QTest::mouseClick(window.findChild<QToolButton*>(QStringLiteral("btnSearchHandle")), Qt::LeftButton);

    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex())->name, found);
    QCOMPARE(boxTexts(takeShownMessageBoxes()), box.isEmpty() ? QStringList() : QStringList { box });
    if (found != QLatin1String("Family"))
        QCOMPARE(window.smsModel()->rowCount(), found == QLatin1String("Anna Berg") ? 2 : 1);
}

void TestMainWindow::searchMessages_data()
{
    QTest::addColumn<int>("currentRow"); // -1: none
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("foundRow"); // -1: the current row stays
    QTest::addColumn<QString>("box");

    // The list of Family, oldest first: noon, see you, Friday, parcel.
    QTest::newRow("first hit without a current row") << -1 << QStringLiteral("FRIDAY") << 2 << QString();
    QTest::newRow("after the current row") << 0 << QStringLiteral("e") << 1 << QString();
    QTest::newRow("wraps to the only match") << 0 << QStringLiteral("noon") << 0 << QString();
    QTest::newRow("wraps past the end") << 3 << QStringLiteral("yes") << 1 << QString();
    QTest::newRow("no hit") << 1 << QStringLiteral("zebra") << 1 << QStringLiteral("Find no SMS with keyword zebra.");
    QTest::newRow("blank keyword") << 1 << QStringLiteral("  ") << 1 << QString();
    QTest::newRow("empty list") << -2 << QStringLiteral("noon") << -1 << QStringLiteral("Can't find any SMS.");
}

void TestMainWindow::searchMessages()
{
    QFETCH(int, currentRow);
    QFETCH(QString, keyword);
    QFETCH(int, foundRow);
    QFETCH(QString, box);

    MainWindow window(nullptr, quietOptions());
    window.show();
    select(window, currentRow == -2 ? window.mainModel()->rootLocalDb() : localDb(window, QStringLiteral("Family")));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    if (currentRow >= 0)
        list->setCurrentIndex(window.smsModel()->rowIndex(currentRow));
    takeShownMessageBoxes();

    window.findChild<QLineEdit*>(QStringLiteral("txtSMSKeyword"))->setText(keyword);
    QTest::keyClick(window.findChild<QLineEdit*>(QStringLiteral("txtSMSKeyword")), Qt::Key_Return);

    QCOMPARE(list->currentIndex().isValid() ? list->currentIndex().row() : -1, foundRow);
    QCOMPARE(boxTexts(takeShownMessageBoxes()), box.isEmpty() ? QStringList() : QStringList { box });
    // The conversation view follows the list: the hit is on the page it shows.
    if (foundRow >= 0)
        QVERIFY(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))
                    ->toPlainText()
                    .contains(window.shownMessages().at(foundRow)->text));
}

void TestMainWindow::sortRule_data()
{
    QTest::addColumn<QList<int>>("clicks"); // header sections, in order
    QTest::addColumn<Qt::SortOrder>("order"); // of the list, always by date on column 0

    QTest::newRow("contact column") << QList<int> { 2 } << Qt::DescendingOrder;
    QTest::newRow("content column") << QList<int> { 3 } << Qt::DescendingOrder;
    QTest::newRow("date column toggles") << QList<int> { 0 } << Qt::DescendingOrder;
    QTest::newRow("flag, then date") << QList<int> { 1, 0 } << Qt::AscendingOrder;
}

void TestMainWindow::sortRule()
{
    QFETCH(QList<int>, clicks);
    QFETCH(Qt::SortOrder, order);

    MainWindow window(nullptr, quietOptions());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    select(window, localDb(window, QStringLiteral("Family")));
    QHeaderView* header = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"))->header();
    for (int section : clicks) {
        const QPoint at(
            header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), order);
    QStringList expected { QStringLiteral("Lunch at noon?"), QStringLiteral("Yes, see you"),
        QStringLiteral("Meeting moved to Friday"), QStringLiteral("Parcel arrived") };
    if (order == Qt::DescendingOrder)
        std::reverse(expected.begin(), expected.end());
    QCOMPARE(listTexts(window), expected);
    QCOMPARE(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))->messages(), window.shownMessages());
}

void TestMainWindow::countryFilter_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("mustHave");

    QTest::newRow("ger") << QStringLiteral("ger")
                         << QStringList { QStringLiteral("Algeria (+213)"), QStringLiteral("Germany (+49)"),
                                QStringLiteral("Niger (+227)"), QStringLiteral("Nigeria (+234)") };
    QTest::newRow("upper case") << QStringLiteral("GER") << QStringList { QStringLiteral("Germany (+49)") };
    QTest::newRow("calling code") << QStringLiteral("(+49)") << QStringList { QStringLiteral("Germany (+49)") };
    QTest::newRow("nothing") << QStringLiteral("zzzz") << QStringList();
}

void TestMainWindow::countryFilter()
{
    QFETCH(QString, keyword);
    QFETCH(QStringList, mustHave);

    CountrySelForm form;
    auto* countries = form.findChild<QListWidget*>(QStringLiteral("ltCountries"));
    QStringList all;
    for (int row = 0; row < countries->count(); ++row)
        all.append(countries->item(row)->text());
    QVERIFY(all.size() > 150);

    form.findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(keyword);
    QStringList shown;
    for (int row = 0; row < countries->count(); ++row)
        shown.append(countries->item(row)->text());
    QStringList expected;
    for (const QString& text : std::as_const(all)) {
        if (text.contains(keyword, Qt::CaseInsensitive))
            expected.append(text);
    }
    QCOMPARE(shown, expected);
    for (const QString& text : std::as_const(mustHave))
        QVERIFY2(shown.contains(text), qPrintable(text));
    QStringList sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(shown, sorted);

    form.findChild<QLineEdit*>(QStringLiteral("txtKW"))->clear();
    QCOMPARE(countries->count(), all.size());
}

void TestMainWindow::countryClosing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer"); // to the confirmation; 0 when none is expected
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("code"); // empty: the dialog stays open

    QTest::newRow("escape does nothing") << QStringLiteral("escape") << 0 << QString() << QString();
    QTest::newRow("close request does nothing") << QStringLiteral("close") << 0 << QString() << QString();
    QTest::newRow("OK without a choice") << QStringLiteral("ok") << 0
                                         << QStringLiteral("Please select a cuntry code first to continue.")
                                         << QString();
    QTest::newRow("confirmation refused") << QStringLiteral("choose") << int(QMessageBox::No)
                                          << QStringLiteral("Confirm to select Germany (+49)?") << QString();
    QTest::newRow("confirmed") << QStringLiteral("choose") << int(QMessageBox::Yes)
                               << QStringLiteral("Confirm to select Germany (+49)?") << QStringLiteral("262");
}

void TestMainWindow::countryClosing()
{
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(QString, box);
    QFETCH(QString, code);

    CountrySelForm form;
    int result = -1;
    QTimer::singleShot(0, &form, [&] {
        if (action == QLatin1String("escape")) {
            QTest::keyClick(&form, Qt::Key_Escape);
        } else if (action == QLatin1String("close")) {
            form.close();
        } else {
            if (action == QLatin1String("choose")) {
                form.findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(QStringLiteral("germany"));
                form.findChild<QListWidget*>(QStringLiteral("ltCountries"))->setCurrentRow(0);
                setNextMessageBoxAnswer(QMessageBox::StandardButton(answer));
            }
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        }
        QTimer::singleShot(50, &form, [&] {
            if (form.isVisible()) {
                result = -2; // still open
                form.done(0);
            }
        });
    });
    const int exec = form.exec();
    QCOMPARE(boxTexts(takeShownMessageBoxes()), box.isEmpty() ? QStringList() : QStringList { box });
    if (code.isEmpty()) {
        QCOMPARE(result, -2);
        QCOMPARE(form.code(), QString());
    } else {
        QCOMPARE(exec, 1);
        QCOMPARE(form.code(), code);
    }
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
