// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidMonitor.h"
#include "base/DataFolders.h"
#include "support/AdbTestServer.h"
#include "support/NextDialog.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "tools/common/SyntheticMessages.h"
#include "ui/CommandRules.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SaveFileDialog.h"
#include "ui/dialogs/DataSourceSelForm.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

constexpr int phoneMessages = 40;
// Enough that a backup of them keeps its progress dialog open for a while.
constexpr int busyPhoneMessages = 2000;

void pressButton(QWidget* dialog, const char* name)
{
    emit dialog->findChild<QPushButton*>(QLatin1String(name))->pressed();
}

QStringList choicesOf(QWidget* dialog)
{
    QStringList texts;
    auto* combo = dialog->findChild<QComboBox*>();
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

MainWindowOptions roadOptions()
{
    MainWindowOptions options;
    options.usbTipsDelayMs = 3600 * 1000;
    options.monitorPollIntervalMs = 200;
    return options;
}

SimulatorOptions phoneArguments(const QString& name, const QString& messageFile)
{
    return SimulatorOptions::usb()
        .messages(messageFile)
        .maker(QStringLiteral("Acme"), name)
        .uid(QStringLiteral("uid-") + name)
        .imei(QStringLiteral("imei-") + name)
        .mmc(QStringLiteral("262"));
}

} // namespace

class TestCommandRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { forgetNextDialogs(); }
    void fromPhoneToDatabaseAndBack();
    void deviceReportsWaitForTheCommand_data();
    void deviceReportsWaitForTheCommand();
    void transferSendsNothingThePhoneHolds_data();
    void transferSendsNothingThePhoneHolds();

private:
    // The window's pieces the road goes through.
    _AndroidDeviceItemNode* deviceNode(const QString& model) const;
    _LocalDBItemNode* databaseNode(const QString& name) const;
    void select(_ItemNode* node, int expectedRows);
    QAction* action(const char* name) const;
    int listRows() const;
    // Starts the phone on the test's adb server, opens the window and waits until it shows the
    // phone's messages; the number loaded, or -1.
    int openWindowOnPhone(MainWindow& window, const QString& name);
    // Backs up every message of the current node into the local database of that name.
    void backupTo(const QString& name);
    // Counts the phone nodes that leave and join the tree from now on.
    void countDeviceNodes();

    int m_devicesGone = 0;
    int m_devicesCome = 0;

    MainWindow* m_window = nullptr;
};

void TestCommandRoad::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

_AndroidDeviceItemNode* TestCommandRoad::deviceNode(const QString& model) const
{
    for (_ItemNode* node : m_window->mainModel()->rootDevice()->children) {
        auto* device = static_cast<_AndroidDeviceItemNode*>(node);
        if (device->device.model == model)
            return device;
    }
    return nullptr;
}

_LocalDBItemNode* TestCommandRoad::databaseNode(const QString& name) const
{
    return static_cast<_LocalDBItemNode*>(localDbNamed(*m_window, name));
}

void TestCommandRoad::select(_ItemNode* node, int expectedRows)
{
    auto* tree = m_window->findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    tree->setCurrentIndex(m_window->mainModel()->nodeIndex(node));
    if (expectedRows >= 0)
        QTRY_COMPARE(listRows(), expectedRows);
    m_window->findChild<MyTreeView*>(QStringLiteral("treeViewSMS"))->clearSelection();
}

QAction* TestCommandRoad::action(const char* name) const
{
    return m_window->findChild<QAction*>(QLatin1String(name));
}

int TestCommandRoad::listRows() const
{
    return m_window->smsModel()->rowCount();
}

void TestCommandRoad::fromPhoneToDatabaseAndBack()
{
    QTemporaryDir work;
    const QString fileA = work.filePath(QStringLiteral("a.json"));
    const QString fileB = work.filePath(QStringLiteral("b.json"));
    saveMessages(fileA, generateMessages(phoneMessages, 11));

    AdbTestServer adb;
    PhoneSimulatorProcess phoneA;
    QVERIFY2(phoneA.start(phoneArguments(QStringLiteral("Alpha"), fileA)), qUtf8Printable(phoneA.log()));
    const QString serialA = adb.connectDevice(phoneA);
    QVERIFY(!serialA.isEmpty());

    MainWindow window(nullptr, roadOptions());
    m_window = &window;
    window.show();

    // The phone appears and loads.
    QTRY_VERIFY_WITH_TIMEOUT(deviceNode(QStringLiteral("Alpha")), 60000);
    _AndroidDeviceItemNode* alpha = deviceNode(QStringLiteral("Alpha"));
    QVERIFY(!alpha->children.isEmpty());
    select(alpha, phoneMessages);
    takeShownMessageBoxes();

    // Backup of all its messages into a new database, twice: the second stores nothing new.
    for (int run = 0; run < 2; ++run) {
        QString proposed;
        onNextDialog<LocalDbSelForm>([&proposed](LocalDbSelForm* form) {
            auto* names = form->findChild<QComboBox*>();
            proposed = names->currentText();
            names->setEditText(QStringLiteral("Family"));
            pressButton(form, "btnOK");
        });
        QVERIFY(action("actBackup")->isEnabled());
        action("actBackup")->trigger();
        QCOMPARE(proposed, alpha->name + QStringLiteral("_Backup"));
        // The second run finds every message there already and says so.
        QCOMPARE(boxTexts(takeShownMessageBoxes()),
            QStringList { QStringLiteral("Successfully Backup %1 SMS to local Database: %2 new, %3 already there.")
                              .arg(phoneMessages)
                              .arg(run == 0 ? phoneMessages : 0)
                              .arg(run == 0 ? 0 : phoneMessages) });
        QVERIFY(databaseNode(QStringLiteral("Family")));
        QCOMPARE(m_window->mainModel()->rootLocalDb()->children.size(), 1);
        QCOMPARE(databaseNode(QStringLiteral("Family"))->collection.messages().size(), phoneMessages);
    }
    const QDir familyFolder(localDatabasesDir().filePath(QStringLiteral("Family")));
    QCOMPARE(scalar(familyFolder, QStringLiteral("select count(*) from message")).toInt(), phoneMessages);

    // Export of one conversation to CSV with nothing selected: exactly the shown messages.
    _ItemNode* chatA = alpha->children.first();
    select(chatA, -1);
    QTRY_VERIFY(listRows() > 0);
    const int shown = listRows();
    QVERIFY(shown < phoneMessages);
    setNextSaveFileAnswer(work.filePath(QStringLiteral("chat")), exportFilters().at(2));
    action("actExport")->trigger();
    QCOMPARE(takeShownSaveDialogs().size(), 1);
    QCOMPARE(
        boxTexts(takeShownMessageBoxes()), QStringList { QStringLiteral("Successfully exported %1 SMS.").arg(shown) });
    QFile csv(work.filePath(QStringLiteral("chat.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count('\n'), shown + 1); // the header line, then one line per message

    // The same conversation as a PDF file to hand over: its cover page names the phone and the
    // digest of the database the messages were read from.
    select(chatA, shown);
    setNextSaveFileAnswer(work.filePath(QStringLiteral("court")), exportFilters().at(6));
    action("actExport")->trigger();
    QCOMPARE(
        boxTexts(takeShownMessageBoxes()), QStringList { QStringLiteral("Successfully exported %1 SMS.").arg(shown) });
    const QFileInfoList pdfs
        = QDir(work.filePath(QStringLiteral("court-pdf"))).entryInfoList({ QStringLiteral("*.pdf") });
    QCOMPARE(pdfs.size(), 1);
    const auto output = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
    };
    const QString cover = output(QStringLiteral("pdftotext"),
        { QStringLiteral("-l"), QStringLiteral("1"), pdfs.first().filePath(), QStringLiteral("-") })
                              .simplified();
    const QString digest = output(QStringLiteral("sha256sum"), { alpha->db->dbPath() }).section(QLatin1Char(' '), 0, 0);
    QVERIFY2(
        cover.contains(QStringLiteral("Source: the phone %1").arg(alpha->device.displayName())), qPrintable(cover));
    QVERIFY2(cover.contains(QStringLiteral("SHA-256 of the source file: ") + digest), qPrintable(cover));
    QVERIFY2(cover.contains(QStringLiteral("Messages: %1, numbered").arg(shown)), qPrintable(cover));

    // "Delete SMS" on a selection of the database.
    _LocalDBItemNode* family = databaseNode(QStringLiteral("Family"));
    select(family, phoneMessages);
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(2, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setNextMessageBoxAnswer(QMessageBox::Yes);
    QVERIFY(action("actDelete")->isEnabled());
    action("actDelete")->trigger();
    QCOMPARE(boxTexts(takeShownMessageBoxes()).value(0),
        QStringLiteral("Confirm to delete the selected SMS?<br/><br/>3 SMS will be deleted from Database Family."));
    int remaining = phoneMessages - 3;
    QCOMPARE(scalar(familyFolder, QStringLiteral("select count(*) from message")).toInt(), remaining);
    QTRY_COMPARE(listRows(), remaining);

    // ... then on a conversation of the database.
    _ItemNode* chat = family->children.first();
    select(chat, -1);
    QTRY_VERIFY(listRows() > 0);
    const int inChat = listRows();
    const QString chatName = chat->name;
    remaining -= inChat;
    const int conversations = family->children.size();
    setNextMessageBoxAnswer(QMessageBox::Yes);
    action("actDelete")->trigger();
    QCOMPARE(boxTexts(takeShownMessageBoxes()).value(0),
        QStringLiteral("Confirm to delete SMS with this contact?<br/><br/>%1 SMS with %2 will be deleted from "
                       "Database Family.")
            .arg(QString::number(inChat), chatName.toHtmlEscaped()));
    QCOMPARE(family->children.size(), conversations - 1);
    QCOMPARE(scalar(familyFolder, QStringLiteral("select count(*) from message")).toInt(), remaining);
    QCOMPARE(listRows(), 0);

    // A second phone; the transfer never offers the phone the messages come from.
    PhoneSimulatorProcess phoneB;
    QVERIFY2(phoneB.start(phoneArguments(QStringLiteral("Beta"), fileB)), qUtf8Printable(phoneB.log()));
    QVERIFY(!adb.connectDevice(phoneB).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(deviceNode(QStringLiteral("Beta")), 60000);
    alpha = deviceNode(QStringLiteral("Alpha"));
    _AndroidDeviceItemNode* beta = deviceNode(QStringLiteral("Beta"));

    QStringList offered;
    select(alpha, phoneMessages);
    onNextDialog<DataSourceSelForm>([&offered](DataSourceSelForm* form) {
        offered = choicesOf(form);
        pressButton(form, "btnClose");
    });
    window.miA2AAll();
    QCOMPARE(offered, QStringList { beta->name });

    select(family, remaining);
    onNextDialog<DataSourceSelForm>([&offered, beta](DataSourceSelForm* form) {
        offered = choicesOf(form);
        form->findChild<QComboBox*>()->setCurrentIndex(int(offered.indexOf(beta->name)));
        pressButton(form, "btnOK");
    });
    QVERIFY(action("actDb2A")->isEnabled());
    action("actDb2A")->trigger();
    QCOMPARE(offered.size(), 2);
    QCOMPARE(boxTexts(takeShownMessageBoxes()),
        QStringList { QStringLiteral("Successfully Transferred %1 SMS: %1 stored on the phone, 0 already there.")
                          .arg(remaining) });
    QStringList familyTexts;
    for (const _MsgMessage* message : family->collection.messages())
        familyTexts.append(message->text);
    QStringList betaTexts;
    for (const SimMessage& message : loadMessages(fileB))
        betaTexts.append(message.body);
    familyTexts.sort();
    betaTexts.sort();
    QCOMPARE(familyTexts.size(), remaining);
    QCOMPARE(betaTexts, familyTexts);

    // Sent again, every message is on the phone already: nothing is sent, and the text says so.
    select(family, remaining);
    onNextDialog<DataSourceSelForm>([beta](DataSourceSelForm* form) {
        auto* phones = form->findChild<QComboBox*>();
        phones->setCurrentIndex(phones->findText(beta->name));
        pressButton(form, "btnOK");
    });
    action("actDb2A")->trigger();
    QCOMPARE(boxTexts(takeShownMessageBoxes()),
        QStringList { QStringLiteral("Successfully Transferred %1 SMS: 0 stored on the phone, %1 already there.")
                          .arg(remaining) });
    QCOMPARE(loadMessages(fileB).size(), remaining);

    // ... then "Delete SMS" on the database itself: its folder is gone.
    select(family, remaining);
    setNextMessageBoxAnswer(QMessageBox::Yes);
    action("actDelete")->trigger();
    QCOMPARE(boxTexts(takeShownMessageBoxes()),
        (QStringList { QStringLiteral("Confirm to delete this Database?<br/><br/>Database Family will be deleted "
                                      "with all of its %1 SMS.")
                           .arg(remaining),
            QStringLiteral("Successfully Deleted Database Family.") }));
    QVERIFY(!databaseNode(QStringLiteral("Family")));
    QVERIFY(!familyFolder.exists());
    QVERIFY(localDatabasesDir().exists());

    // "Disconnect Device" removes the node. The serial stays known, so the phone comes back only once
    // it has left the adb list and appeared again.
    select(alpha, phoneMessages);
    window.miUnmoutDevice();
    QVERIFY(!deviceNode(QStringLiteral("Alpha")));
    QTest::qWait(1000);
    QVERIFY(!deviceNode(QStringLiteral("Alpha")));
    QVERIFY(deviceNode(QStringLiteral("Beta")));
    adb.disconnectDevice(serialA);
    QTest::qWait(1000);
    QCOMPARE(adb.connectDevice(phoneA), serialA);
    QTRY_VERIFY_WITH_TIMEOUT(deviceNode(QStringLiteral("Alpha")), 60000);
    m_window = nullptr;
}

int TestCommandRoad::openWindowOnPhone(MainWindow& window, const QString& name)
{
    m_window = &window;
    window.show();
    if (!QTest::qWaitFor([&] { return deviceNode(name) && listRows() > 0; }, 60000))
        return -1;
    const int loaded = int(deviceNode(name)->collection.messages().size());
    return QTest::qWaitFor([&] { return listRows() == loaded; }) ? loaded : -1;
}

void TestCommandRoad::backupTo(const QString& name)
{
    onNextDialog<LocalDbSelForm>([name](LocalDbSelForm* form) {
        form->findChild<QComboBox*>()->setEditText(name);
        pressButton(form, "btnOK");
    });
    action("actBackup")->trigger();
}

void TestCommandRoad::countDeviceNodes()
{
    m_devicesGone = 0;
    m_devicesCome = 0;
    ItemModelMain* model = m_window->mainModel();
    connect(model, &QAbstractItemModel::rowsRemoved, m_window, [this, model](const QModelIndex& parent) {
        m_devicesGone += AbsTreeItemModel::nodeOf(parent) == model->rootDevice();
    });
    connect(model, &QAbstractItemModel::rowsInserted, m_window, [this, model](const QModelIndex& parent) {
        m_devicesCome += AbsTreeItemModel::nodeOf(parent) == model->rootDevice();
    });
}

void TestCommandRoad::deviceReportsWaitForTheCommand_data()
{
    QTest::addColumn<QString>("command");

    QTest::newRow("backup progress") << QStringLiteral("backup");
    QTest::newRow("export result box") << QStringLiteral("export");
    QTest::newRow("transfer phone choice") << QStringLiteral("transfer");
    QTest::newRow("print preview") << QStringLiteral("print");
    QTest::newRow("delete confirmation") << QStringLiteral("delete");
}

// The phone is unplugged and plugged in again while a dialog of a command is open. The window
// takes both reports only once the command, its dialogs and its worker have ended, in the order
// they came, and the command works on the messages it was given.
void TestCommandRoad::deviceReportsWaitForTheCommand()
{
    QFETCH(QString, command);
    QDir(localDatabasesDir()).removeRecursively();
    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("gamma.json"));
    saveMessages(file, generateMessages(busyPhoneMessages, 5));

    AdbTestServer adb;
    PhoneSimulatorProcess phone;
    QVERIFY2(phone.start(phoneArguments(QStringLiteral("Gamma"), file)), qUtf8Printable(phone.log()));
    const QString serial = adb.connectDevice(phone);
    QVERIFY(!serial.isEmpty());
    MainWindow window(nullptr, roadOptions());
    const int loaded = openWindowOnPhone(window, QStringLiteral("Gamma"));
    QVERIFY2(loaded > busyPhoneMessages / 2, qUtf8Printable(phone.log()));
    _AndroidDeviceItemNode* gamma = deviceNode(QStringLiteral("Gamma"));
    const QDir family(localDatabasesDir().filePath(QStringLiteral("Family")));
    if (command == QLatin1String("transfer") || command == QLatin1String("delete")) {
        backupTo(QStringLiteral("Family"));
        QCOMPARE(scalar(family, QStringLiteral("select count(*) from message")).toInt(), loaded);
    }
    QVERIFY(!hasErrorBox(takeShownMessageBoxes()));
    countDeviceNodes();

    bool waited = false;
    const auto replug = [&] {
        adb.disconnectDevice(serial);
        QTRY_VERIFY_WITH_TIMEOUT(!window.monitor()->currentKnownSerials().contains(serial), 10000);
        QCOMPARE(adb.connectDevice(phone), serial);
        QTRY_VERIFY_WITH_TIMEOUT(window.monitor()->currentKnownSerials().contains(serial), 10000);
        // Both reports reach the window while the dialog is still open.
        QTest::qWait(300);
        waited = m_devicesGone == 0 && m_devicesCome == 0 && deviceNode(QStringLiteral("Gamma")) == gamma;
    };
    // Answers the next message box, shown for real so that the window's event loop runs under it.
    const auto replugUnderBox = [&](QMessageBox::StandardButton answer) {
        setMessageBoxesScripted(false);
        onNextDialog<QMessageBox>([&replug, answer](QMessageBox* box) {
            replug();
            setMessageBoxesScripted(true);
            box->button(answer)->click();
        });
    };

    if (command == QLatin1String("backup")) {
        onNextDialogShown<ProgressForm>([&replug](ProgressForm*) { replug(); });
        backupTo(QStringLiteral("Backup"));
        QCOMPARE(scalar(QDir(localDatabasesDir().filePath(QStringLiteral("Backup"))),
                     QStringLiteral("select count(*) from message"))
                     .toInt(),
            loaded);
    } else if (command == QLatin1String("export")) {
        setNextSaveFileAnswer(work.filePath(QStringLiteral("all")), exportFilters().at(5));
        replugUnderBox(QMessageBox::Ok);
        action("actExport")->trigger();
        QFile xml(work.filePath(QStringLiteral("all.xml")));
        QVERIFY(xml.open(QIODevice::ReadOnly));
        static const QRegularExpression element(QStringLiteral("<(sms|mms)[ >]"));
        QCOMPARE(int(QString::fromUtf8(xml.readAll()).count(element)), loaded);
    } else if (command == QLatin1String("transfer")) {
        select(databaseNode(QStringLiteral("Family")), loaded);
        onNextDialog<DataSourceSelForm>([&replug](DataSourceSelForm* form) {
            replug();
            pressButton(form, "btnOK");
        });
        action("actDb2A")->trigger();
        // The phone holds them all already: nothing goes twice.
        QCOMPARE(int(loadMessages(file).size()), busyPhoneMessages);
    } else if (command == QLatin1String("print")) {
        auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
        list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(9, 0)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        int pages = 0;
        onNextDialog<QPrintPreviewDialog>([&replug, &pages](QPrintPreviewDialog* dialog) {
            replug();
            // Lays the pages out again from the messages, as printing does.
            auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            preview->updatePreview();
            pages = preview->pageCount();
            dialog->reject();
        });
        action("actPrint")->trigger();
        QVERIFY(pages > 0);
    } else {
        _LocalDBItemNode* database = databaseNode(QStringLiteral("Family"));
        select(database, loaded);
        select(database->children.first(), -1);
        QTRY_VERIFY(listRows() > 0);
        const int shown = listRows();
        const qsizetype conversations = database->children.size();
        replugUnderBox(QMessageBox::Yes);
        action("actDelete")->trigger();
        QCOMPARE(scalar(family, QStringLiteral("select count(*) from message")).toInt(), loaded - shown);
        QCOMPARE(database->children.size(), conversations - 1);
    }
    QVERIFY2(waited, "the tree changed while the command's dialog was open");
    QVERIFY(!hasErrorBox(takeShownMessageBoxes()));

    // Then the node goes and comes back with the phone's load, in that order.
    QCOMPARE(m_devicesGone, 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_devicesGone == 1 && m_devicesCome == 1 && deviceNode(QStringLiteral("Gamma")), 60000);
    QTRY_COMPARE(listRows(), loaded);
    QVERIFY(!hasErrorBox(takeShownMessageBoxes()));
    m_window = nullptr;
}

void TestCommandRoad::transferSendsNothingThePhoneHolds_data()
{
    QTest::addColumn<QString>("cache"); // what happens to the phone's cache before the transfer
    QTest::addColumn<bool>("reload");

    QTest::newRow("as loaded") << QStringLiteral("kept") << false;
    QTest::newRow("Clear Cache files") << QStringLiteral("cleared") << true;
    QTest::newRow("removed by hand") << QStringLiteral("removed") << true;
}

// A backup of the phone goes back to the phone: whatever became of the phone's cache, nothing the
// phone holds is sent again. A cache that is gone makes the transfer load the phone first.
void TestCommandRoad::transferSendsNothingThePhoneHolds()
{
    QFETCH(QString, cache);
    QFETCH(bool, reload);
    QDir(localDatabasesDir()).removeRecursively();
    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("delta.json"));
    saveMessages(file, generateMessages(phoneMessages, 11));

    AdbTestServer adb;
    PhoneSimulatorProcess phone;
    QVERIFY2(phone.start(phoneArguments(QStringLiteral("Delta"), file)), qUtf8Printable(phone.log()));
    QVERIFY(!adb.connectDevice(phone).isEmpty());
    MainWindow window(nullptr, roadOptions());
    QCOMPARE(openWindowOnPhone(window, QStringLiteral("Delta")), phoneMessages);
    backupTo(QStringLiteral("Family"));
    takeShownMessageBoxes();

    if (cache == QLatin1String("cleared")) {
        window.findChild<QAction*>(QStringLiteral("actClearCache"))->trigger();
        QVERIFY(!hasErrorBox(takeShownMessageBoxes()));
    } else if (cache == QLatin1String("removed")) {
        QVERIFY(QDir(dataRootDir().filePath(QStringLiteral("android_cache"))).removeRecursively());
    }
    QVERIFY(!QDir(dataRootDir().filePath(QStringLiteral("android_cache/imei-Delta"))).exists()
        || cache == QLatin1String("kept"));
    countDeviceNodes();

    select(databaseNode(QStringLiteral("Family")), phoneMessages);
    onNextDialog<DataSourceSelForm>([](DataSourceSelForm* form) { pressButton(form, "btnOK"); });
    action("actDb2A")->trigger();
    QVERIFY(!hasErrorBox(takeShownMessageBoxes()));
    QCOMPARE(int(loadMessages(file).size()), phoneMessages);
    QCOMPARE(m_devicesGone, int(reload));
    QCOMPARE(m_devicesCome, int(reload));
    m_window = nullptr;
}

QTEST_MAIN(TestCommandRoad)
#include "TestCommandRoad.moc"
