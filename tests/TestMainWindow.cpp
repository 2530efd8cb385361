// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window offscreen: a phone found by the real adb through the window's own monitor, connected,
// loaded and shown; local databases and offline devices listed at start-up; searches, the sort rule and
// the country dialog.
#include "android/AdbCommands.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidMonitor.h"
#include "base/DataFolders.h"
#include "message/MessageText.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/NextDialog.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/RecordingProgress.h"
#include "support/ScopedEnv.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/SaveFileDialog.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

// What of the tree a person can not reach: every row under an expanded node is met walking down from
// the first row, and the scroll range (a step per row) lets the last of them into view.
QString unreachableRows(QTreeView* view)
{
    // Read before the walk, which lays out what the view still has pending.
    const int scrollRange = view->verticalScrollBar()->maximum();
    const QAbstractItemModel* model = view->model();
    int rows = 0;
    const std::function<void(const QModelIndex&)> count = [&](const QModelIndex& parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            ++rows;
            if (view->isExpanded(model->index(row, 0, parent)))
                count(model->index(row, 0, parent));
        }
    };
    count(QModelIndex());
    int reachable = 0;
    for (QModelIndex index = model->index(0, 0); index.isValid(); index = view->indexBelow(index))
        ++reachable;
    const int expectedRange = std::max(0, rows - std::max(1, view->viewport()->height() / 25));
    if (reachable == rows && scrollRange == expectedRange)
        return QString();
    return QStringLiteral("%1 of %2 rows reachable, scroll range %3 instead of %4")
        .arg(reachable)
        .arg(rows)
        .arg(scrollRange)
        .arg(expectedRange);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { forgetNextDialogs(); }

    void phoneFromPlugToScreen();
    void usbTipsWithoutDevice();
    void directPhoneFromPlugToScreen();
    void databasesAtStartUp();
    void searches_data();
    void searches();
    void sortRule_data();
    void sortRule();
    void countrySelForm_data();
    void countrySelForm();
    void countryPreselectedFromLocale_data();
    void countryPreselectedFromLocale();
    void countryPreselectedFromSim_data();
    void countryPreselectedFromSim();
    void closingStopsOnlyItsOwnAdbServer_data();
    void closingStopsOnlyItsOwnAdbServer();
    void unreadableOfflineDeviceGetsNode();
    void treeStaysWholeAroundCommands_data();
    void treeStaysWholeAroundCommands();
    void datesFitTheirColumn();
    void shortcuts_data();
    void shortcuts();
    void menusHaveMnemonics();
    void keysReachTheCommands();
    void reloadBringsBackADisconnectedPhone();
    void conversationsOpenAtTheirNewestMessage_data();
    void conversationsOpenAtTheirNewestMessage();
    void rememberedAcrossRuns();
    void databaseMadeMeanwhileAppears();

private:
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

    std::unique_ptr<AdbTestServer> m_adb;
};

void TestMainWindow::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
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
    QVERIFY(writeFile(smsDbPath(QDir(databases.filePath(QStringLiteral("Broken")))),
        QByteArray("this is not a database file at all, just text").repeated(100)));
    QVERIFY(writeFile(databases.filePath(QStringLiteral("legacy.db"))));

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
    // Each test starts as a first run; rememberedAcrossRuns checks what one run leaves to the next.
    QFile::remove(settingsFilePath());
    takeShownMessageBoxes();
}

// The monitor reports the phone, the USB sequence connects it, the load fills its cache and the window
// shows it. A phone without a country code is asked for one; a second phone with the same uid replaces
// the node; only unplugging the phone the node was made from removes it.
void TestMainWindow::phoneFromPlugToScreen()
{
    MainWindow window(nullptr, watchingWindowOptions());
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

    const SimulatorOptions common = SimulatorOptions::usb()
                                        .uid(QStringLiteral("same-phone"))
                                        .imei(QStringLiteral("350000000000001"))
                                        .maker(QStringLiteral("Pixelcorp"), QStringLiteral("P7"));
    PhoneSimulatorProcess first;
    QVERIFY2(first.start(SimulatorOptions(common).generate(60).mmc(QString())), qUtf8Printable(first.log()));
    const QString firstSerial = connectDevice(first);
    QVERIFY2(!firstSerial.isEmpty(), qUtf8Printable(first.log()));

    const auto deviceNode = [&] { return deviceNamed(window, QStringLiteral("Pixelcorp P7")); };
    // Generated messages may repeat one another, and the cache keeps a message once.
    const auto shownFrom = [&](const QString& serial, int generated) {
        _AndroidDeviceItemNode* node = deviceNode();
        const int rows = window.smsModel()->rowCount();
        return node && node->device.serial == serial && AbsTreeItemModel::nodeOf(tree->currentIndex()) == node
            && rows == node->collection.messages().size() && rows > generated * 9 / 10 && rows <= generated;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(shownFrom(firstSerial, 60), qUtf8Printable(first.log()), 60000);
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
    QVERIFY2(
        second.start(SimulatorOptions(common).generate(25).mmc(QStringLiteral("262"))), qUtf8Printable(second.log()));
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
    // The list follows the tree's new selection once the tree has finished changing.
    QTRY_COMPARE(listTexts(window), QStringList { QStringLiteral("old times") });
    QCOMPARE(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))->messages(), window.shownMessages());
    QCOMPARE(takeShownMessageBoxes().size(), 0);
}

// A phone without the companion app is read directly as soon as it is plugged in: no click, no box,
// and its node says how it was read; unplugging it removes the node.
void TestMainWindow::directPhoneFromPlugToScreen()
{
    MainWindow window(nullptr, watchingWindowOptions());
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));

    PhoneSimulatorProcess phone;
    QVERIFY2(phone.start(SimulatorOptions::usb()
                             .packages(QStringLiteral("android,com.android.phone"))
                             .maker(QStringLiteral("Pixelcorp"), QStringLiteral("D9"))
                             .mmc(QStringLiteral("262"))
                             .generate(40)),
        qUtf8Printable(phone.log()));
    const QString serial = connectDevice(phone);
    QVERIFY2(!serial.isEmpty(), qUtf8Printable(phone.log()));

    const auto deviceNode
        = [&] { return deviceNamed(window, QStringLiteral("Pixelcorp D9 (read directly over USB)")); };
    QTRY_VERIFY2_WITH_TIMEOUT(deviceNode() && AbsTreeItemModel::nodeOf(tree->currentIndex()) == deviceNode()
            && window.smsModel()->rowCount() > 30,
        qUtf8Printable(phone.log()), 60000);
    _AndroidDeviceItemNode* node = deviceNode();
    QVERIFY(node->device.direct);
    QCOMPARE(node->device.mmc, QStringLiteral("262"));
    QVERIFY(!node->children.isEmpty());
    QCOMPARE(window.smsModel()->rowCount(), int(node->collection.messages().size()));
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QVERIFY2(boxes.isEmpty(), qUtf8Printable(boxTexts(boxes).join(QLatin1Char('\n'))));

    m_adb->disconnectDevice(serial);
    QTRY_VERIFY_WITH_TIMEOUT(!deviceNode(), 10000);
}

void TestMainWindow::usbTipsWithoutDevice()
{
    MainWindowOptions options = quietWindowOptions();
    options.usbTipsDelayMs = 10;
    MainWindow window(nullptr, options);
    QList<ShownMessageBox> boxes;
    QTRY_VERIFY((boxes += takeShownMessageBoxes(), !boxes.isEmpty()));
    QTest::qWait(50);
    boxes += takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    const QString tips = boxes.first().text;
    QVERIFY(tips.startsWith(QStringLiteral("<b>Android device not found.</b><br/><br/>")));
    QVERIFY2(tips.contains(QStringLiteral("Tools &gt; Connect Android Phone via WiFi")), qPrintable(tips));
#ifdef Q_OS_WIN
    QVERIFY(tips.contains(QStringLiteral("QuillbarrowDeviceManager.exe\">HERE</a>")));
#else
    // Advice for this system: the udev rule and the plugdev group, no Windows program or driver.
    QVERIFY2(tips.contains(QStringLiteral("plugdev")) && tips.contains(QStringLiteral("udev")), qPrintable(tips));
    QVERIFY(!tips.contains(QStringLiteral(".exe")));
    QVERIFY(!tips.contains(QStringLiteral("USB driver")));
#endif
}

// Database folders are listed by name without being read; the first selection reads one. Offline devices
// are read at start-up. A database that can not be read leaves the tree and the list as they were.
void TestMainWindow::databasesAtStartUp()
{
    MainWindow window(nullptr, quietWindowOptions());
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
    QTRY_COMPARE(childNames(offline), QStringList { QStringLiteral("Dora") });

    _ItemNode* family = localDbNamed(window, QStringLiteral("Family"));
    selectInTree(window, family);
    QCOMPARE(childNames(family),
        QStringList({ QStringLiteral("Carla Berg"), QStringLiteral("Bob Stone"), QStringLiteral("Anna Berg") }));
    QCOMPARE(listTexts(window),
        QStringList({ QStringLiteral("Lunch at noon?"), QStringLiteral("Yes, see you"),
            QStringLiteral("Meeting moved to Friday"), QStringLiteral("Parcel arrived") }));
    QTRY_VERIFY(tree->isExpanded(window.mainModel()->nodeIndex(family)));

    const int rows = window.mainModel()->rowCount(window.mainModel()->nodeIndex(const_cast<_ItemNode*>(databases)));
    for (const QString& name : { QStringLiteral("Broken"), QStringLiteral("alpha") }) {
        selectInTree(window, localDbNamed(window, name));
        QVERIFY(localDbNamed(window, name)->children.isEmpty());
        QCOMPARE(listTexts(window).size(), 4);
        QCOMPARE(window.mainModel()->rowCount(window.mainModel()->nodeIndex(const_cast<_ItemNode*>(databases))), rows);
        QCOMPARE(hasErrorBox(takeShownMessageBoxes()), name == QLatin1String("Broken"));
    }

    selectInTree(window, childNamed(family, QStringLiteral("Anna Berg")));
    QCOMPARE(listTexts(window), QStringList({ QStringLiteral("Lunch at noon?"), QStringLiteral("Yes, see you") }));
    selectInTree(window, offline);
    QCOMPARE(listTexts(window), QStringList { QStringLiteral("old times") });
    selectInTree(window, window.mainModel()->rootLocalDb());
    QCOMPARE(window.smsModel()->rowCount(), 0);
}

void TestMainWindow::searches_data()
{
    QTest::addColumn<bool>("inList"); // the message search, else the conversation search
    QTest::addColumn<QString>("from"); // a conversation or a list row; empty: the database node, no current row
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("found"); // the current conversation or list row afterwards
    QTest::addColumn<QString>("box");

    // Family's conversations, newest first: Carla Berg, Bob Stone, Anna Berg. Its list, oldest first:
    // noon, see you, Friday, parcel.
    const auto row
        = [](const char* name, bool inList, const char* from, const char* keyword, const char* found, const char* box) {
              QTest::newRow(name) << inList << QString::fromUtf8(from) << QString::fromUtf8(keyword)
                                  << QString::fromUtf8(found) << QString::fromUtf8(box);
          };
    row("conversation: first hit", false, "", "berg", "Carla Berg", "");
    row("conversation: the next hit", false, "Carla Berg", "BERG", "Anna Berg", "");
    row("conversation: wraps to the first row", false, "Anna Berg", "berg", "Carla Berg", "");
    row("conversation: the only match again", false, "Bob Stone", " stone ", "Bob Stone", "");
    row("conversation: no hit", false, "Bob Stone", "zebra", "Bob Stone", "Find no contact with keyword zebra.");
    row("conversation: accents do not matter", false, "", "BÉRG", "Carla Berg", "");
    row("conversation: a national number", false, "", "07700 900102", "Bob Stone", "");
    row("conversation: an international number", false, "Carla Berg", "+44 7700 900101", "Anna Berg", "");
    row("conversation: blank keyword", false, "", "   ", "Family", "");
    row("message: first hit", true, "", "FRIDAY", "2", "");
    row("message: after the current row", true, "0", "e", "1", "");
    row("message: the only match again", true, "0", "noon", "0", "");
    row("message: wraps past the end", true, "3", "yes", "1", "");
    row("message: no hit", true, "1", "zebra", "1", "Find no SMS with keyword zebra.");
    row("message: empty list", true, "root", "noon", "", "Can't find any SMS.");
}

void TestMainWindow::searches()
{
    QFETCH(bool, inList);
    QFETCH(QString, from);
    QFETCH(QString, keyword);
    QFETCH(QString, found);
    QFETCH(QString, box);

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    _ItemNode* family = localDbNamed(window, QStringLiteral("Family"));
    selectInTree(window, from == QLatin1String("root") ? window.mainModel()->rootLocalDb() : family);
    if (!inList && !from.isEmpty())
        selectInTree(window, childNamed(family, from));
    if (inList && !from.isEmpty() && from != QLatin1String("root"))
        list->setCurrentIndex(window.smsModel()->rowIndex(from.toInt()));
    takeShownMessageBoxes();

    auto* keywordEdit
        = window.findChild<QLineEdit*>(inList ? QStringLiteral("txtSMSKeyword") : QStringLiteral("txtHandleKeyword"));
    keywordEdit->setText(keyword);
    if (inList)
        QTest::keyClick(keywordEdit, Qt::Key_Return);
    else
        QTest::mouseClick(window.findChild<QToolButton*>(QStringLiteral("btnSearchHandle")), Qt::LeftButton);

    if (inList) {
        QCOMPARE(list->currentIndex().isValid() ? QString::number(list->currentIndex().row()) : QString(), found);
        // The conversation view follows the list.
        if (!found.isEmpty())
            QVERIFY(window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"))
                        ->toPlainText()
                        .contains(window.shownMessages().at(found.toInt())->text));
    } else {
        QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex())->name, found);
        if (found != QLatin1String("Family"))
            QCOMPARE(window.smsModel()->rowCount(), found == QLatin1String("Anna Berg") ? 2 : 1);
    }
    QCOMPARE(boxTexts(takeShownMessageBoxes()), box.isEmpty() ? QStringList() : QStringList { box });
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

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectInTree(window, localDbNamed(window, QStringLiteral("Family")));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QHeaderView* header = list->header();
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

void TestMainWindow::countrySelForm_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("mustHave");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer"); // to the confirmation
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("code"); // empty: the dialog stays open

    const QStringList ger { QStringLiteral("Algeria (+213)"), QStringLiteral("Germany (+49)"),
        QStringLiteral("Niger (+227)"), QStringLiteral("Nigeria (+234)") };
    const QString confirm = QStringLiteral("Confirm to select Algeria (+213)?");
    QTest::newRow("ger, Escape does nothing")
        << QStringLiteral("ger") << ger << QStringLiteral("escape") << 0 << QString() << QString();
    QTest::newRow("GER, close request does nothing")
        << QStringLiteral("GER") << ger << QStringLiteral("close") << 0 << QString() << QString();
    QTest::newRow("OK without a choice") << QStringLiteral("(+49)") << QStringList { QStringLiteral("Germany (+49)") }
                                         << QStringLiteral("ok") << 0
                                         << QStringLiteral("Please select a cuntry code first to continue.")
                                         << QString();
    QTest::newRow("no country matches") << QStringLiteral("zzzz") << QStringList() << QStringLiteral("choose") << 0
                                        << QStringLiteral("Please select a cuntry code first to continue.")
                                        << QString();
    QTest::newRow("confirmation refused")
        << QStringLiteral("ger") << ger << QStringLiteral("choose") << int(QMessageBox::No) << confirm << QString();
    QTest::newRow("confirmed") << QStringLiteral("ger") << ger << QStringLiteral("choose") << int(QMessageBox::Yes)
                               << confirm << QStringLiteral("603");
}

void TestMainWindow::countrySelForm()
{
    QFETCH(QString, keyword);
    QFETCH(QStringList, mustHave);
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(QString, box);
    QFETCH(QString, code);

    CountrySelForm form;
    auto* countries = form.findChild<QListWidget*>(QStringLiteral("ltCountries"));
    const auto rows = [countries] {
        QStringList texts;
        for (int row = 0; row < countries->count(); ++row)
            texts.append(countries->item(row)->text());
        return texts;
    };
    const QStringList all = rows();
    QVERIFY(all.size() > 150);
    QStringList sorted = all;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(all, sorted);

    form.findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(keyword);
    QStringList expected;
    for (const QString& text : all) {
        if (text.contains(keyword, Qt::CaseInsensitive))
            expected.append(text);
    }
    QCOMPARE(rows(), expected);
    for (const QString& text : std::as_const(mustHave))
        QVERIFY2(expected.contains(text), qPrintable(text));

    bool stayedOpen = false;
    QTimer::singleShot(0, &form, [&] {
        if (action == QLatin1String("escape"))
            QTest::keyClick(&form, Qt::Key_Escape);
        else if (action == QLatin1String("close"))
            form.close();
        if (action == QLatin1String("choose")) {
            countries->setCurrentRow(0);
            if (answer)
                setNextMessageBoxAnswer(QMessageBox::StandardButton(answer));
        }
        if (action == QLatin1String("ok") || action == QLatin1String("choose"))
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        QTimer::singleShot(50, &form, [&] {
            stayedOpen = form.isVisible();
            form.done(0);
        });
    });
    const int result = form.exec();
    QCOMPARE(boxTexts(takeShownMessageBoxes()), box.isEmpty() ? QStringList() : QStringList { box });
    QCOMPARE(stayedOpen, code.isEmpty());
    QCOMPARE(result, code.isEmpty() ? 0 : 1);
    QCOMPARE(form.code(), code);
}

void TestMainWindow::countryPreselectedFromLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("preselected"); // empty: no row current

    QTest::newRow("Germany") << QStringLiteral("de_DE") << "Germany (+49)";
    QTest::newRow("English of Britain") << QStringLiteral("en_GB") << "United Kingdom (+44)";
    QTest::newRow("German of Austria") << QStringLiteral("de_AT") << "Austria (+43)";
    QTest::newRow("no country") << QStringLiteral("C") << "";
}

// The country of the desktop's locale is current when the dialog opens; the person still confirms it.
void TestMainWindow::countryPreselectedFromLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, preselected);

    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([before] { QLocale::setDefault(before); });
    CountrySelForm form;
    const QListWidgetItem* current = form.findChild<QListWidget*>(QStringLiteral("ltCountries"))->currentItem();
    QCOMPARE(current ? current->text() : QString(), preselected);
    QCOMPARE(form.code(), QString());
}

void TestMainWindow::countryPreselectedFromSim_data()
{
    QTest::addColumn<QString>("simCountry"); // what the phone's getprop prints
    QTest::addColumn<bool>("direct"); // read without the companion
    QTest::addColumn<QString>("preselected");

    const QString uk = QStringLiteral("United Kingdom (+44)");
    const QString locale = QStringLiteral("Austria (+43)");
    QTest::newRow("SIM of Britain") << "gb" << false << uk;
    QTest::newRow("SIM of Britain, read directly") << "gb" << true << uk;
    QTest::newRow("no SIM") << "" << false << locale;
    QTest::newRow("two SIMs") << "de,fr" << false << "Germany (+49)";
    QTest::newRow("first slot empty") << ",fr" << false << "France (+33)";
    QTest::newRow("code of no country") << "zz" << false << locale;
    QTest::newRow("not a code") << "GBR" << true << locale;
}

// A phone without a usable country code has its SIM's country preselected in the country dialog, as
// the USB connection reads it from the phone; the desktop's country stands in where the SIM names none.
void TestMainWindow::countryPreselectedFromSim()
{
    QFETCH(QString, simCountry);
    QFETCH(bool, direct);
    QFETCH(QString, preselected);

    const QLocale before;
    QLocale::setDefault(QLocale(QStringLiteral("de_AT")));
    const auto restore = qScopeGuard([before] { QLocale::setDefault(before); });
    PhoneSimulatorProcess phone;
    SimulatorOptions options
        = SimulatorOptions::usb().mmc(QString()).with({ QStringLiteral("--sim-country"), simCountry });
    if (direct)
        options.packages(QStringLiteral("android,com.android.phone"));
    QVERIFY2(phone.start(options), qUtf8Printable(phone.log()));
    const QString serial = connectDevice(phone);
    QVERIFY2(!serial.isEmpty(), qUtf8Printable(phone.log()));
    const auto unplug = qScopeGuard([&] { m_adb->disconnectDevice(serial); });

    RecordingProgress progress;
    AndroidConnectWithUSBThread thread(serial, &progress);
    thread.start();
    QVERIFY(progress.waitForOutcome(&thread));
    thread.wait();
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(thread.device().direct, direct);
    QCOMPARE(thread.device().mmc, QString());

    CountrySelForm form(nullptr, thread.device().simCountry);
    const QListWidgetItem* current = form.findChild<QListWidget*>(QStringLiteral("ltCountries"))->currentItem();
    QCOMPARE(current ? current->text() : QString(), preselected);
}

void TestMainWindow::closingStopsOnlyItsOwnAdbServer_data()
{
    QTest::addColumn<bool>("runningBefore");
    QTest::newRow("a server of another program stays") << true;
    QTest::newRow("the window's own server goes") << false;
}

// Closing the window must not cut other adb users off: only a server its monitor started is stopped.
void TestMainWindow::closingStopsOnlyItsOwnAdbServer()
{
    QFETCH(bool, runningBefore);

    const quint16 port = runningBefore ? m_adb->port() : freeLocalPort();
    ScopedEnv serverPort("ANDROID_ADB_SERVER_PORT", QByteArray::number(port));
    const auto serverAccepts = [port] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(1000);
    };
    QCOMPARE(serverAccepts(), runningBefore);
    {
        MainWindow window(nullptr, watchingWindowOptions());
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(serverAccepts(), 10000);
        QTest::qWait(300);
        window.close();
    }
    if (runningBefore) {
        QTest::qWait(500);
        QVERIFY(serverAccepts());
        // A server that had to start again would say so on standard error, which fails the listing.
        try {
            listDevices();
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!serverAccepts(), 5000);
    }
}

// An offline device folder whose store can not be read still stands in the tree, without conversations.
void TestMainWindow::unreadableOfflineDeviceGetsNode()
{
    const QDir folder(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android/Scrambled")));
    QVERIFY(folder.mkpath(QStringLiteral("file-relay/var/mobile/Library/SMS")));
    QVERIFY(writeFile(smsDbPath(folder), QByteArray("not a database").repeated(200)));

    {
        MainWindow window(nullptr, quietWindowOptions());
        const _ItemNode* devices = window.mainModel()->rootDevice();
        QCOMPARE(childNames(devices), (QStringList { QStringLiteral("OldPhone"), QStringLiteral("Scrambled") }));
        QVERIFY(childNamed(devices, QStringLiteral("Scrambled"))->children.isEmpty());
        QTRY_COMPARE(
            childNames(childNamed(devices, QStringLiteral("OldPhone"))), QStringList { QStringLiteral("Dora") });
        QList<ShownMessageBox> boxes;
        QTRY_VERIFY(hasErrorBox(boxes += takeShownMessageBoxes()));
    }
    QVERIFY(QDir(folder).removeRecursively());
}

void TestMainWindow::treeStaysWholeAroundCommands_data()
{
    QTest::addColumn<QString>("current"); // a node, or "node/0" for its newest conversation
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shown"); // the node current afterwards, all of whose messages the list shows

    const QString archive = QStringLiteral("Archive");
    QTest::newRow("import into the database shown") << archive << QStringLiteral("import") << archive;
    QTest::newRow("import into the database of the conversation shown")
        << QStringLiteral("Archive/0") << QStringLiteral("import") << archive;
    QTest::newRow("backup of a conversation into an open database")
        << QStringLiteral("Ada/0") << QStringLiteral("backup") << archive;
    QTest::newRow("disconnecting a device with another below")
        << QStringLiteral("Ada") << QStringLiteral("disconnect") << QStringLiteral("Bea");
}

// Commands that read a node again or remove one, through the real window: the list ends up with every
// message of the node shown, it is never refilled while the tree is in the middle of a change (the view
// moves its selection inside the removal of the current row), and every row of the tree can be reached.
void TestMainWindow::treeStaysWholeAroundCommands()
{
    QFETCH(QString, current);
    QFETCH(QString, command);
    QFETCH(QString, shown);

    const QDir offline(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android")));
    const QMap<QString, QString> folders { { QStringLiteral("Ada"), offline.filePath(QStringLiteral("Ada")) },
        { QStringLiteral("Bea"), offline.filePath(QStringLiteral("Bea")) },
        { QStringLiteral("Archive"), localDatabasesDir().filePath(QStringLiteral("Archive")) } };
    const auto removeFolders = qScopeGuard([&folders] {
        for (const QString& folder : folders)
            QDir(folder).removeRecursively();
    });
    for (const QString& name : folders.keys()) {
        QList<QPair<QString, QList<FixtureMessage>>> conversations;
        for (int i = 0; i < 30; ++i)
            conversations.append({ name + QString::number(i), { { 100 * i, name, false } } });
        writeStore(QDir(folders.value(name)), conversations);
    }
    QTemporaryDir files;
    const QString xml = files.filePath(QStringLiteral("more.xml"));
    QVERIFY(writeFile(xml,
        "<smses count=\"2\"><sms address=\"+491701234567\" date=\"1700000060000\" type=\"2\" body=\"Bye\" />"
        "<sms address=\"+441632960000\" date=\"1700000120000\" type=\"1\" body=\"Hi\" /></smses>"));

    MainWindow window(nullptr, quietWindowOptions());
    QAbstractItemModelTester tester(window.mainModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    int refillsInsideTreeChanges = 0;
    connect(window.smsModel(), &QAbstractItemModel::modelReset, &window,
        [&] { refillsInsideTreeChanges += window.mainModel()->isChanging(); });
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    const auto node = [&window](const QString& path) {
        const QString name = path.section(QLatin1Char('/'), 0, 0);
        _ItemNode* found = childNamed(window.mainModel()->rootDevice(), name);
        found = found ? found : childNamed(window.mainModel()->rootLocalDb(), name);
        return found && path.contains(QLatin1Char('/')) ? found->children.value(0) : found;
    };
    // The database is open and expanded, and so is the device.
    selectInTree(window, node(QStringLiteral("Archive")));
    tree->expand(window.mainModel()->nodeIndex(node(QStringLiteral("Ada"))));
    QTRY_VERIFY(tree->isExpanded(window.mainModel()->nodeIndex(node(QStringLiteral("Archive")))));
    selectInTree(window, node(current));

    const auto chooseArchive = [] {
        onNextDialog<LocalDbSelForm>([](LocalDbSelForm* form) {
            form->findChild<QComboBox*>()->setEditText(QStringLiteral("Archive"));
            emit form->findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
        });
    };
    if (command == QLatin1String("import")) {
        setNextSaveFileAnswer(xml, QString());
        chooseArchive();
        onNextDialog<CountrySelForm>([](CountrySelForm* form) {
            form->findChild<QListWidget*>(QStringLiteral("ltCountries"))->setCurrentRow(0);
            setNextMessageBoxAnswer(QMessageBox::Yes);
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        });
        window.findChild<QAction*>(QStringLiteral("actImportXml"))->trigger();
    } else if (command == QLatin1String("backup")) {
        chooseArchive();
        window.findChild<QAction*>(QStringLiteral("actBackup"))->trigger();
    } else {
        window.miUnmoutDevice();
    }
    QVERIFY(!hasErrorBox(takeShownMessageBoxes()));

    QTRY_COMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex()), node(shown));
    const int stored = scalar(QDir(folders.value(shown)), QStringLiteral("select count(*) from message")).toInt();
    QTRY_COMPARE(window.shownMessages().size(), stored);
    QCOMPARE(refillsInsideTreeChanges, 0);
    QVERIFY2(unreachableRows(tree).isEmpty(), qPrintable(unreachableRows(tree)));
}

void TestMainWindow::datesFitTheirColumn()
{
    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectInTree(window, localDbNamed(window, QStringLiteral("Family")));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QTRY_VERIFY(list->model()->rowCount() > 0);

    // Each row's date with the icon the model gives it, measured as the view lays the cell out, and
    // the widest date of the year with the same icon.
    QList<QPair<QString, QSize>> cells;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
        QVERIFY(!icon.isNull());
        cells.append({ index.data().toString(), icon.deviceIndependentSize().toSize() });
    }
    for (int month = 1; month <= 12; ++month) {
        cells.append(
            { QLocale::system().toString(QDateTime(QDate(2025, month, 28), QTime(23, 58, 58)), QLocale::ShortFormat),
                cells.first().second });
    }
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    for (const auto& [text, iconSize] : std::as_const(cells)) {
        option.text = text;
        option.decorationSize = iconSize;
        const int needed = list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list).width()
            + list->indentation();
        QVERIFY2(
            needed <= list->header()->sectionSize(0), qPrintable(QStringLiteral("%1 needs %2").arg(text).arg(needed)));
    }
}

void TestMainWindow::shortcuts_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("keys");

    QTest::newRow("search") << QStringLiteral("actSearchAll") << "Ctrl+F";
    QTest::newRow("print") << QStringLiteral("actPrint") << "Ctrl+P";
    QTest::newRow("export") << QStringLiteral("actExport") << "Ctrl+E";
    QTest::newRow("backup") << QStringLiteral("actBackup") << "Ctrl+B";
    QTest::newRow("delete") << QStringLiteral("actDelete") << "Del";
    QTest::newRow("reload") << QStringLiteral("actReload") << "F5";
    QTest::newRow("exit") << QStringLiteral("actExit") << "Ctrl+Q";
    QTest::newRow("help") << QStringLiteral("actHelp") << "F1";
}

// Each command answers its keys, alone (two actions with the same keys would both stay silent), and
// its tool tip names them.
void TestMainWindow::shortcuts()
{
    QFETCH(QString, action);
    QFETCH(QString, keys);

    MainWindow window(nullptr, quietWindowOptions());
    const QKeySequence sequence(keys);
    auto* command = window.findChild<QAction*>(action);
    QVERIFY(command);
    QCOMPARE(command->shortcut(), sequence);
    QCOMPARE(command->shortcutContext(), Qt::WindowShortcut);
    const QString tip = command->toolTip();
    QVERIFY2(tip.endsWith(QStringLiteral(" (%1)").arg(sequence.toString(QKeySequence::NativeText))), qPrintable(tip));
    QVERIFY2(!tip.contains(QLatin1Char('&')), qPrintable(tip));
    QStringList owners;
    for (const QAction* other : window.findChildren<QAction*>()) {
        if (other->shortcuts().contains(sequence))
            owners.append(other->objectName());
    }
    QCOMPARE(owners, QStringList { action });
}

// Every menu title and entry has a mnemonic, and no two in one menu share its letter.
void TestMainWindow::menusHaveMnemonics()
{
    MainWindow window(nullptr, quietWindowOptions());
    const auto mnemonic = [](const QString& text) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        return key.isEmpty() ? QString() : key.toString();
    };
    const auto problems = [&](const QList<QAction*>& actions) {
        QStringList found;
        QSet<QString> letters;
        for (const QAction* action : actions) {
            if (action->isSeparator())
                continue;
            const QString key = mnemonic(action->text());
            if (key.isEmpty())
                found.append(QStringLiteral("none: ") + action->text());
            else if (letters.contains(key))
                found.append(QStringLiteral("twice: ") + action->text());
            letters.insert(key);
        }
        return found;
    };
    auto* bar = window.findChild<QMenuBar*>(QStringLiteral("menuBar"));
    QStringList found = problems(bar->actions());
    for (const QAction* title : bar->actions())
        found += problems(title->menu()->actions());
    QCOMPARE(found, QStringList());
    QCOMPARE(bar->actions().size(), 3);
}

// Keys pressed in the real window: Ctrl+A selects the whole list, Delete asks before deleting it
// (and edits a search field instead while that has the focus), Ctrl+F opens the search.
void TestMainWindow::keysReachTheCommands()
{
    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    _ItemNode* family = localDbNamed(window, QStringLiteral("Family"));
    selectInTree(window, family);
    QTRY_COMPARE(window.smsModel()->rowCount(), 4);
    selectInTree(window, childNamed(family, QStringLiteral("Anna Berg")));
    QTRY_COMPARE(window.smsModel()->rowCount(), 2);
    takeShownMessageBoxes();

    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(window.selectedMessages().size(), 2);

    setNextMessageBoxAnswer(QMessageBox::No);
    QTest::keyClick(list, Qt::Key_Delete);
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().text.startsWith(QStringLiteral("Confirm to delete the selected SMS?")),
        qPrintable(boxes.first().text));
    const QDir familyFolder(localDatabasesDir().filePath(QStringLiteral("Family")));
    QCOMPARE(scalar(familyFolder, QStringLiteral("select count(*) from message")), QStringLiteral("4"));

    auto* keyword = window.findChild<QLineEdit*>(QStringLiteral("txtSMSKeyword"));
    keyword->setText(QStringLiteral("ab"));
    keyword->setFocus();
    keyword->setCursorPosition(0);
    QTest::keyClick(keyword, Qt::Key_Delete);
    QCOMPARE(keyword->text(), QStringLiteral("b"));
    QCOMPARE(takeShownMessageBoxes().size(), 0);
    keyword->clear();

    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(window.findChild<QWidget*>(QStringLiteral("dockSearch"))->isVisible());
}

// "Disconnect Device" forgets the node, and the monitor never reports the still plugged phone again;
// F5 on "Devices" loads it once more.
void TestMainWindow::reloadBringsBackADisconnectedPhone()
{
    MainWindow window(nullptr, watchingWindowOptions());
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));

    PhoneSimulatorProcess phone;
    QVERIFY2(phone.start(SimulatorOptions::usb()
                             .uid(QStringLiteral("reload-phone"))
                             .imei(QStringLiteral("350000000000077"))
                             .maker(QStringLiteral("Acme"), QStringLiteral("R1"))
                             .generate(30)
                             .mmc(QStringLiteral("262"))),
        qUtf8Printable(phone.log()));
    const QString serial = connectDevice(phone);
    QVERIFY2(!serial.isEmpty(), qUtf8Printable(phone.log()));
    const auto phoneNode
        = [&]() -> _ItemNode* { return childNamed(window.mainModel()->rootDevice(), QStringLiteral("Acme R1")); };
    QTRY_VERIFY2_WITH_TIMEOUT(phoneNode() && !phoneNode()->children.isEmpty(), qUtf8Printable(phone.log()), 60000);

    selectInTree(window, phoneNode());
    QTRY_VERIFY(window.smsModel()->rowCount() > 0);
    window.miUnmoutDevice();
    QVERIFY(!phoneNode());
    QTest::qWait(500);
    QVERIFY(!phoneNode());
    QVERIFY(window.monitor()->currentKnownSerials().contains(serial));

    selectInTree(window, window.mainModel()->rootDevice());
    // The load's progress dialog took the activation with it.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F5);
    QTRY_VERIFY2_WITH_TIMEOUT(phoneNode() && !phoneNode()->children.isEmpty(), qUtf8Printable(phone.log()), 60000);
    QTRY_COMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex()), phoneNode());
    QTRY_VERIFY(window.smsModel()->rowCount() > 0);

    // F5 on the phone itself loads it again, replacing its node.
    QSignalSpy removed(window.mainModel(), &QAbstractItemModel::rowsRemoved);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(
        removed.size() > 0 && phoneNode() && AbsTreeItemModel::nodeOf(tree->currentIndex()) == phoneNode(), 60000);
    QCOMPARE(window.mainModel()->countDevices(), 2); // with the offline device
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QVERIFY2(!hasErrorBox(boxes), qUtf8Printable(boxTexts(boxes).join(QLatin1Char('\n'))));
}

void TestMainWindow::conversationsOpenAtTheirNewestMessage_data()
{
    QTest::addColumn<QStringList>("opened"); // conversations clicked, in order
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("row"); // current row in the list afterwards
    QTest::addColumn<int>("page"); // transcript page afterwards

    QTest::newRow("long conversation") << QStringList { QStringLiteral("Mum") } << true << 119 << 3;
    QTest::newRow("short one after the long one")
        << QStringList { QStringLiteral("Mum"), QStringLiteral("Dad") } << true << 2 << 1;
    QTest::newRow("long one after a short one")
        << QStringList { QStringLiteral("Dad"), QStringLiteral("Mum") } << true << 119 << 3;
    QTest::newRow("newest first") << QStringList { QStringLiteral("Dad"), QStringLiteral("Mum") } << false << 0 << 1;
}

// Whichever conversation was shown before, the next one opens at its newest message in the list and
// in the transcript, whose heading names the correspondent and the number.
void TestMainWindow::conversationsOpenAtTheirNewestMessage()
{
    QFETCH(QStringList, opened);
    QFETCH(bool, ascending);
    QFETCH(int, row);
    QFETCH(int, page);

    const QDir folder(localDatabasesDir().filePath(QStringLiteral("Kitchen")));
    const auto removeFolder = qScopeGuard([folder] { QDir(folder).removeRecursively(); });
    QList<FixtureMessage> mum;
    for (int i = 1; i <= 120; ++i)
        mum.append({ 10000 + i, QStringLiteral("mum %1").arg(i), i % 2 == 0 });
    writeStore(folder,
        { { QStringLiteral("Mum"), mum },
            { QStringLiteral("Dad"),
                { { 500, QStringLiteral("dad 1"), false }, { 600, QStringLiteral("dad 2"), true },
                    { 700, QStringLiteral("dad 3"), false } } } });

    MainWindow window(nullptr, quietWindowOptions());
    window.resize(1000, 680);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    auto* transcript = window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"));
    list->header()->setSortIndicator(0, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    _ItemNode* kitchen = localDbNamed(window, QStringLiteral("Kitchen"));
    QVERIFY(kitchen);
    QTRY_COMPARE(window.mainModel()->nodeIndex(kitchen).data().toString(), QStringLiteral("Kitchen (123)"));
    selectInTree(window, kitchen);
    QTRY_COMPARE(window.smsModel()->rowCount(), 123);

    for (const QString& name : std::as_const(opened)) {
        // The list was scrolled and a row picked in the conversation before.
        list->setCurrentIndex(window.smsModel()->rowIndex(1));
        list->scrollToTop();
        selectInTree(window, childNamed(kitchen, name));
        QTRY_COMPARE(window.smsModel()->rowCount(), name == QLatin1String("Mum") ? 120 : 3);
    }

    const QString name = opened.last();
    const QString newest = name == QLatin1String("Mum") ? QStringLiteral("mum 120") : QStringLiteral("dad 3");
    QCOMPARE(list->currentIndex().row(), row);
    QCOMPARE(window.shownMessages().at(row)->text, newest);
    QVERIFY(window.selectedMessages().isEmpty());
    QTRY_VERIFY(list->visualRect(list->currentIndex()).intersects(list->viewport()->rect()));
    QCOMPARE(transcript->currentPage(), page);
    QTRY_VERIFY2(
        transcript->cursorRect(transcript->document()->find(newest)).intersects(transcript->viewport()->rect()),
        qPrintable(newest));
    const QString heading = window.findChild<QLabel*>(QStringLiteral("lbChatName"))->text();
    QVERIFY2(heading.startsWith(name + QStringLiteral(" (+4477009001")), qPrintable(heading));
}

// One run leaves its window's size, place, splitters and sort, and the export folder, to the next run
// on the same data folder. An export of one conversation is named for it.
void TestMainWindow::rememberedAcrossRuns()
{
    QTemporaryDir exports;
    QVERIFY(QDir(exports.path()).mkpath(QStringLiteral("chats")));
    const QString folder = QDir(exports.path()).filePath(QStringLiteral("chats"));
    QRect geometry;
    QList<int> sizes;
    QList<int> sizes2;
    {
        MainWindow first(nullptr, quietWindowOptions());
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        first.setGeometry(60, 70, 900, 620);
        auto* splitter = first.findChild<QSplitter*>(QStringLiteral("splitter"));
        auto* splitter2 = first.findChild<QSplitter*>(QStringLiteral("splitter_2"));
        splitter->setSizes({ 320, 540 });
        splitter2->setSizes({ 150, 350 });
        QTRY_COMPARE(first.geometry().size(), QSize(900, 620));
        geometry = first.geometry();
        sizes = splitter->sizes();
        sizes2 = splitter2->sizes();
        first.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"))->header()->setSortIndicator(0, Qt::DescendingOrder);

        selectInTree(first, localDbNamed(first, QStringLiteral("Family")));
        QTRY_COMPARE(first.smsModel()->rowCount(), 4);
        selectInTree(first, childNamed(localDbNamed(first, QStringLiteral("Family")), QStringLiteral("Anna Berg")));
        QTRY_COMPARE(first.smsModel()->rowCount(), 2);
        takeShownSaveDialogs();
        setNextSaveFileAnswer(QDir(folder).filePath(QStringLiteral("anna")), QStringLiteral("Text Files(*.txt)"));
        first.miExport();
        const QList<ShownSaveDialog> dialogs = takeShownSaveDialogs();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY2(dialogs.first().proposedPath.startsWith(QDir::home().filePath(QStringLiteral("sms-Anna Berg("))),
            qPrintable(dialogs.first().proposedPath));
        QVERIFY(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("anna.txt"))));
        takeShownMessageBoxes();
    }

    MainWindow second(nullptr, quietWindowOptions());
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QCOMPARE(second.geometry(), geometry);
    QCOMPARE(second.findChild<QSplitter*>(QStringLiteral("splitter"))->sizes(), sizes);
    QCOMPARE(second.findChild<QSplitter*>(QStringLiteral("splitter_2"))->sizes(), sizes2);
    auto* list = second.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QCOMPARE(list->header()->sortIndicatorOrder(), Qt::DescendingOrder);

    // The whole database: no conversation's name, and the folder of the last export.
    selectInTree(second, localDbNamed(second, QStringLiteral("Family")));
    QTRY_COMPARE(second.smsModel()->rowCount(), 4);
    QCOMPARE(second.shownMessages().first()->text, QStringLiteral("Parcel arrived"));
    setNextSaveFileAnswer(QString(), QString());
    second.miExport();
    const QList<ShownSaveDialog> dialogs = takeShownSaveDialogs();
    QCOMPARE(dialogs.size(), 1);
    QVERIFY2(dialogs.first().proposedPath.startsWith(QDir(folder).filePath(QStringLiteral("sms("))),
        qPrintable(dialogs.first().proposedPath));
}

// A database another program (the command line) makes while the window is open joins the tree.
void TestMainWindow::databaseMadeMeanwhileAppears()
{
    MainWindow window(nullptr, quietWindowOptions());
    const QDir folder(localDatabasesDir().filePath(QStringLiteral("Made Meanwhile")));
    const auto removeFolder = qScopeGuard([folder] { QDir(folder).removeRecursively(); });
    writeStore(folder, { { QStringLiteral("Eve"), { { 900, QStringLiteral("hello"), false } } } });
    QTRY_VERIFY_WITH_TIMEOUT(localDbNamed(window, QStringLiteral("Made Meanwhile")), 10000);
    QCOMPARE(
        window.mainModel()->rootLocalDb()->children.count(localDbNamed(window, QStringLiteral("Made Meanwhile"))), 1);
    selectInTree(window, localDbNamed(window, QStringLiteral("Made Meanwhile")));
    QTRY_COMPARE(listTexts(window), QStringList { QStringLiteral("hello") });
    QTRY_COMPARE(
        window.mainModel()->nodeIndex(localDbNamed(window, QStringLiteral("Made Meanwhile"))).data().toString(),
        QStringLiteral("Made Meanwhile (1)"));
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
