// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "ops/ExportFormats.h"
#include "ops/MessageSources.h"
#include "ops/SearchIndexUpdates.h"
#include "store/Sqlite3DB.h"
#include "support/FileBytes.h"
#include "support/MessageRecords.h"
#include "support/NextDialog.h"
#include "support/ReadOnlyPath.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/CommandRules.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SaveFileDialog.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// What each context-menu slot shows, in every menu that offers it.
struct EntryLook
{
    void (MainWindow::*slot)();
    const char* name;
    QByteArray looks;
};
const EntryLook entryLooks[] = {
    { &MainWindow::miOpenDbFolder, "miOpenDbFolder", "&Open Database Folder | :res/open_db_folder.png" },
    { &MainWindow::miBackupAll, "miBackupAll", "&Backup SMS to Local Database | :res/backup.png" },
    { &MainWindow::miExportAll, "miExportAll", "&Export SMS to File | :res/export.png" },
    { &MainWindow::miPrintAll, "miPrintAll", "&Print SMS | :res/print.png" },
    { &MainWindow::miViewCache, "miViewCache", "&View Cache Files | " },
    { &MainWindow::miUnmoutDevice, "miUnmoutDevice", "&Disconnect Device | :res/unmount.png" },
    { &MainWindow::miDb2AAll, "miDb2AAll", "&Transfer SMS from Database to Android | :res/db2a.png" },
    { &MainWindow::miDelAll, "miDelAll", "&Delete this Database | :res/delete.png" },
    { &MainWindow::miBackupChat, "miBackupChat", "&Backup SMS with this contact to Local Database | :res/backup.png" },
    { &MainWindow::miExportChat, "miExportChat", "&Export SMS with this contact to File | :res/export.png" },
    { &MainWindow::miPrintChat, "miPrintChat", "&Print SMS with this contact | :res/print.png" },
    { &MainWindow::miDb2AChat, "miDb2AChat", "&Transfer SMS with this contact to Android | :res/db2a.png" },
    { &MainWindow::miDelChat, "miDelChat", "&Delete SMS with this contact | :res/delete.png" },
    { &MainWindow::miBackupSel, "miBackupSel", "&Backup Selected SMS to Local Database | :res/backup.png" },
    { &MainWindow::miExportSel, "miExportSel", "&Export Selected SMS to File | :res/export.png" },
    { &MainWindow::miPrintSel, "miPrintSel", "&Print Selected SMS | :res/print.png" },
    { &MainWindow::miDb2ASel, "miDb2ASel", "&Transfer Selected SMS to Android | :res/db2a.png" },
    { &MainWindow::miDelSel, "miDelSel", "&Delete Selected SMS | :res/delete.png" },
    { &MainWindow::miReload, "miReload", "&Reload | " },
};

// The slots of the entries, "(off)" marking one that can not be chosen; each entry's text and icon
// are checked against entryLooks, and its slot against the window's meta-object.
QString slotsOf(const QList<CommandEntry>& entries)
{
    QStringList names;
    for (const CommandEntry& entry : entries) {
        const auto look = std::find_if(std::begin(entryLooks), std::end(entryLooks),
            [&entry](const EntryLook& candidate) { return candidate.slot == entry.slot; });
        if (look == std::end(entryLooks)) {
            names.append(QStringLiteral("unknown slot"));
            continue;
        }
        const QString slot = QLatin1String(look->name);
        if (MainWindow::staticMetaObject.indexOfSlot(QByteArray(look->name).append("()").constData()) < 0)
            names.append(QStringLiteral("no such slot ") + slot);
        else if (QStringLiteral("%1 | %2").arg(entry.text, entry.icon).toUtf8() != look->looks)
            names.append(QStringLiteral("looks wrong ") + slot);
        else
            names.append(entry.enabled ? slot : slot + QStringLiteral("(off)"));
    }
    return names.join(QLatin1Char(' '));
}

} // namespace

// Stands in for the desktop's file manager: takes the file addresses the window opens.
class FileManager : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class TestMainWindowCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { takeShownMessageBoxes(); }
    void cleanup() { forgetNextDialogs(); }
    void commandsOfNode_data();
    void commandsOfNode();
    void exportPaths_data();
    void exportPaths();
    void exportFormatRows_data();
    void exportFormatRows();
    void linkedDatabaseFolderIsRemovedAsLink();
    // Ahead of the import test: a dialog answer that test registers and does not use stays pending.
    void countryCancelStopsTheCommand();
    void importXmlFromFileMenu();
    void deleteCommands_data();
    void deleteCommands();
    void deleteActsOnTheListedDatabase_data();
    void deleteActsOnTheListedDatabase();
    void disconnectForgetsTheSelectedDevice();
    void shellCommandsSayWhatIsMissing_data();
    void shellCommandsSayWhatIsMissing();
    void feedbackOpensIssuePage();
};

void TestMainWindowCommands::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

void TestMainWindowCommands::commandsOfNode_data()
{
    QTest::addColumn<int>("node"); // the current node's kind; 0 for none
    QTest::addColumn<int>("parent"); // its parent's kind; 0 for none
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("actions"); // the shared actions enabled
    QTest::addColumn<QString>("tree"); // the tree's context menu
    QTest::addColumn<QString>("list"); // the message list's context menu

    const int device = _ItemNode::TypeAndroidDevice;
    const int database = _ItemNode::TypeLocalDb;
    const int chat = _ItemNode::TypeChatSession;
    const auto row = [](const char* name, int node, int parent, int devices, const char* actions, const char* tree,
                         const char* list) {
        QTest::newRow(name) << node << parent << devices << QString::fromLatin1(actions) << QString::fromLatin1(tree)
                            << QString::fromLatin1(list);
    };
    row("no node", 0, 0, 1, "", "", "");
    row("devices root", _ItemNode::TypeRootDevice, 0, 1, "", "miReload", "");
    row("databases root", _ItemNode::TypeRootLocalDb, 0, 1, "", "miOpenDbFolder", "");
    row("device", device, _ItemNode::TypeRootDevice, 1, "backup export print",
        "miBackupAll miExportAll miPrintAll miViewCache miUnmoutDevice miReload", "miBackupSel miExportSel miPrintSel");
    row("device conversation", chat, device, 1, "backup export print", "miBackupChat miExportChat miPrintChat",
        "miBackupSel miExportSel miPrintSel");
    row("database, no phone", database, _ItemNode::TypeRootLocalDb, 0, "export print delete",
        "miDb2AAll(off) miExportAll miPrintAll miDelAll", "miDb2ASel(off) miExportSel miPrintSel miDelSel");
    row("database, a phone", database, _ItemNode::TypeRootLocalDb, 1, "transfer export print delete",
        "miDb2AAll miExportAll miPrintAll miDelAll", "miDb2ASel miExportSel miPrintSel miDelSel");
    row("database conversation, no phone", chat, database, 0, "export print delete",
        "miDb2AChat(off) miExportChat miPrintChat miDelChat", "miDb2ASel(off) miExportSel miPrintSel miDelSel");
    row("database conversation, two phones", chat, database, 2, "transfer export print delete",
        "miDb2AChat miExportChat miPrintChat miDelChat", "miDb2ASel miExportSel miPrintSel miDelSel");
}

void TestMainWindowCommands::commandsOfNode()
{
    QFETCH(int, node);
    QFETCH(int, parent);
    QFETCH(int, devices);
    QFETCH(QString, actions);
    QFETCH(QString, tree);
    QFETCH(QString, list);

    _ItemNode parentNode(parent, QStringLiteral("parent"), nullptr);
    const _ItemNode* current = nullptr;
    if (node) {
        parentNode.children.append(new _ItemNode(node, QStringLiteral("node"), parent ? &parentNode : nullptr));
        current = parentNode.children.first();
    }
    const CommandActionStates states = commandActionStates(current, devices);
    QStringList enabled;
    const std::pair<bool, const char*> shared[] = { { states.backup, "backup" }, { states.transfer, "transfer" },
        { states.exportMessages, "export" }, { states.print, "print" }, { states.remove, "delete" } };
    for (const auto& [on, name] : shared)
        if (on)
            enabled.append(QLatin1String(name));
    QCOMPARE(enabled.join(QLatin1Char(' ')), actions);
    QCOMPARE(slotsOf(treeContextEntries(current, devices)), tree);
    QCOMPARE(slotsOf(messageContextEntries(current, devices)), list);
}

// A plain name takes its suffix or folder ending for every row of the table in exportFormatRows.
void TestMainWindowCommands::exportPaths_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("path");

    QTest::newRow("text, own suffix kept") << 0 << "/F/report.log" << 0u << "/F/report.log";
    QTest::newRow("doc, suffix") << 1 << "/F/report.doc" << 0u << "/F/report.doc";
    QTest::newRow("csv, no suffix") << 2 << "/F/sms(20260101-120000)" << 1u << "/F/sms(20260101-120000).csv";
    QTest::newRow("csv, suffix") << 2 << "/F/a.b.csv" << 1u << "/F/a.b.csv";
    QTest::newRow("pdf, suffixes") << 3 << "/F/my.export.pdf" << 2u << "/F/my-pdf";
    QTest::newRow("html, suffixes") << 4 << "/F/my.export.html" << 3u << "/F/my-html";
    QTest::newRow("dotted folder kept") << 3 << "/F.d/my.pdf" << 2u << "/F.d/my-pdf";
    QTest::newRow("pdf, nothing before the dot") << 3 << "/F/.pdf" << 2u << "/F/-pdf";
    QTest::newRow("html, nothing before the dot") << 4 << "/F/.x.html" << 3u << "/F/-html";
    QTest::newRow("xml, suffix") << 5 << "/F/backup.xml" << 4u << "/F/backup.xml";
    QTest::newRow("pdf to hand over") << 6 << "/F/my.pdf" << 2u << "/F/my-pdf";
    QTest::newRow("unknown filter is text") << -1 << "/F/report" << 0u << "/F/report.txt";
}

void TestMainWindowCommands::exportPaths()
{
    QFETCH(int, filter);
    QFETCH(QString, chosen);
    QFETCH(unsigned, format);
    QFETCH(QString, path);

    QCOMPARE(exportFilters().size(), 7);
    const ExportTarget target = exportTarget(chosen, filter);
    QCOMPARE(target.formatCode, format);
    QCOMPARE(target.path, path);
    QCOMPARE(target.evidence, filter == 6);
}

void TestMainWindowCommands::exportFormatRows_data()
{
    QTest::addColumn<int>("row");
    const QList<ExportFormat>& formats = exportFormats();
    for (int row = 0; row < formats.size(); ++row)
        QTest::addRow("%d %s", row, formats.at(row).filter) << row;
}

// Each row of the export-format table is reached from the save dialog by its own filter, and from
// the command line by its --format name, and both lead to the same writer and file names.
void TestMainWindowCommands::exportFormatRows()
{
    QFETCH(int, row);
    const ExportFormat& format = exportFormats().at(row);
    const QString suffix = QLatin1String(format.suffix);

    // The dialog hands back the filter text; the first row with that text is the one it stands for.
    const QStringList filters = exportFilters();
    QCOMPARE(filters.size(), exportFormats().size());
    QCOMPARE(filters.indexOf(filters.at(row)), row);
    QVERIFY2(filters.at(row).endsWith(QStringLiteral("(*%1)").arg(suffix)), qUtf8Printable(filters.at(row)));

    const ExportTarget target = exportTarget(QStringLiteral("/F/name"), row);
    QCOMPARE(target.formatCode, format.code);
    QCOMPARE(target.evidence, format.evidence);
    QCOMPARE(target.path,
        format.folder ? QStringLiteral("/F/name-%1").arg(suffix.mid(1)) : QStringLiteral("/F/name") + suffix);

    const ExportFormat* named
        = exportFormatByName(QString::fromLatin1(format.commandLineName).toUpper(), format.evidence);
    QVERIFY(named);
    QCOMPARE(named->code, format.code);
    QCOMPARE(named->folder, format.folder);
    QVERIFY(exportFormatNames().contains(QLatin1String(format.commandLineName)));
    // The export thread knows the format by its code only: rows sharing a code must write alike.
    const ExportFormat& byCode = exportFormatByCode(format.code);
    QVERIFY(byCode.makeWriter == format.makeWriter);
    QCOMPARE(byCode.folder, format.folder);
    if (format.folder)
        QCOMPARE(QLatin1String(byCode.suffix), suffix);
}

void TestMainWindowCommands::linkedDatabaseFolderIsRemovedAsLink()
{
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("file-relay")));
    const QString precious = elsewhere.filePath(QStringLiteral("file-relay/sms.db"));
    QVERIFY(writeFile(precious));

    const QString link = localDatabaseFolder(QStringLiteral("Linked"));
    QVERIFY(QFile::link(elsewhere.path(), link));
    removeFolderOrLink(link);
    QVERIFY(!QFileInfo(link).exists() && !QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(precious));
}

// File > "Import SMS from XML Backup...": the open dialog, the database dialog and the country dialog
// answered like a person would, then the import run under the progress dialog.
void TestMainWindowCommands::importXmlFromFileMenu()
{
    QTemporaryDir files;
    const QByteArray backup
        = "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
          "<smses count=\"3\">\n"
          "  <sms address=\"0170 1234567\" date=\"1700000000000\" type=\"1\" body=\"Hallo &#55357;&#56832;\" />\n"
          "  <sms address=\"+491701234567\" date=\"1700000060000\" type=\"2\" body=\"Tschuess\" />\n"
          "  <sms address=\"+441632960000\" date=\"1700000120000\" type=\"1\" body=\"Hi\" />\n"
          "</smses>\n";
    const QString whole = files.filePath(QStringLiteral("sms-old.xml"));
    const QString cut = files.filePath(QStringLiteral("cut.xml"));
    QVERIFY(writeFile(whole, backup) && writeFile(cut, backup.left(backup.indexOf("<sms address=\"+44"))));

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    QAction* importXml = window.findChild<QAction*>(QStringLiteral("actImportXml"));
    QVERIFY(importXml);

    // A database that holds numbers already keeps their country: only a new one asks for it.
    int countryDialogs = 0;
    const auto importInto = [&](const QString& file, const QString& database) {
        setNextSaveFileAnswer(file, QString());
        onNextDialog<LocalDbSelForm>([database](LocalDbSelForm* form) {
            form->findChild<QComboBox*>()->setEditText(database);
            emit form->findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
        });
        onNextDialog<CountrySelForm>([&countryDialogs](CountrySelForm* form) {
            ++countryDialogs;
            form->findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(QStringLiteral("germany"));
            form->findChild<QListWidget*>(QStringLiteral("ltCountries"))->setCurrentRow(0);
            setNextMessageBoxAnswer(QMessageBox::Yes);
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        });
        importXml->trigger();
        return boxTexts(takeShownMessageBoxes()).join(QLatin1Char('\n'));
    };
    const auto databaseNode = [&window](const QString& name) { return localDbNamed(window, name); };

    QVERIFY2(importInto(whole, QStringLiteral("Old")).contains(QLatin1String(": 3 new, 0 already")), "first import");
    _AbsDBItemNode* old = databaseNode(QStringLiteral("Old"));
    QVERIFY(old);
    // The national and the international form of one German number are one conversation.
    QCOMPARE(old->children.size(), 2);
    QCOMPARE(old->collection.messages().size(), 3);
    QVERIFY2(importInto(whole, QStringLiteral("Old")).contains(QLatin1String(": 0 new, 3 already")), "second import");
    QCOMPARE(databaseNode(QStringLiteral("Old"))->collection.messages().size(), 3);

    const QString error = importInto(cut, QStringLiteral("Broken"));
    QVERIFY2(error.contains(QLatin1String("line")), qPrintable(error));
    QVERIFY(!databaseNode(QStringLiteral("Broken")));
    QVERIFY(!QFileInfo::exists(localDatabasesDir().filePath(QStringLiteral("Broken"))));
    QVERIFY(databaseNode(QStringLiteral("Old")));
    QCOMPARE(countryDialogs, 2);
}

void TestMainWindowCommands::deleteCommands_data()
{
    QTest::addColumn<QString>("command"); // what is current when "Delete SMS" runs: selection, conversation, database
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("leftover"); // in the database folder: a hidden file, a file that can not go
    QTest::addColumn<QString>("question"); // %CHAT% stands for the conversation's name
    QTest::addColumn<int>("messagesLeft"); // -1: the database is gone
    QTest::addColumn<QString>("after"); // the box that follows the question

    const QString selection = QStringLiteral(
        "Confirm to delete the selected SMS?<br/><br/>2 SMS will be deleted from Database Family &amp; Co.");
    const QString conversation = QStringLiteral("Confirm to delete SMS with this contact?<br/><br/>5 SMS with %CHAT% "
                                                "will be deleted from Database Family &amp; Co.");
    const QString database = QStringLiteral(
        "Confirm to delete this Database?<br/><br/>Database Family &amp; Co will be deleted with all of its 5 SMS.");
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("selection, no") << "selection" << no << "" << selection << 5 << "";
    QTest::newRow("selection, yes") << "selection" << yes << "" << selection << 3 << "Successfully Deleted 2 SMS.";
    QTest::newRow("conversation, no") << "conversation" << no << "" << conversation << 5 << "";
    QTest::newRow("conversation, yes") << "conversation" << yes << "" << conversation << 0
                                       << "Successfully Deleted 5 SMS.";
    QTest::newRow("database, no") << "database" << no << "" << database << 5 << "";
    QTest::newRow("database, yes") << "database" << yes << "" << database << -1
                                   << "Successfully Deleted Database Family & Co.";
    QTest::newRow("database with hidden files, yes")
        << "database" << yes << "hidden" << database << -1 << "Successfully Deleted Database Family & Co.";
    QTest::newRow("database with a file that can not go, yes")
        << "database" << yes << "stuck" << database << 5 << "Failed to delete Database Family &amp; Co: ";
}

// "Delete SMS" through the window on a real database: the question names what goes and how many
// messages and defaults to No; a database is gone whole, hidden files included, or the failure is said.
void TestMainWindowCommands::deleteCommands()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, leftover);
    QFETCH(QString, question);
    QFETCH(int, messagesLeft);
    QFETCH(QString, after);

    const QString name = QStringLiteral("Family & Co");
    const QDir folder(localDatabasesDir().filePath(name));
    // The delete of the row before updates the store's search index on a thread of its own.
    waitForSearchIndexUpdates();
    QVERIFY(removeFolderOrLink(folder.absolutePath(), true));
    {
        MessageRecords records;
        writeMessages(folder, records.addConversation(5));
    }
    std::unique_ptr<ReadOnlyPath> stuck;
    if (leftover == QLatin1String("hidden")) {
        QVERIFY(writeFile(folder.filePath(QStringLiteral(".directory")), "[Desktop Entry]\nIcon=folder-green\n"));
        QVERIFY(folder.mkpath(QStringLiteral("file-relay/.cache")));
    } else if (leftover == QLatin1String("stuck")) {
        QVERIFY(folder.mkpath(QStringLiteral("held")));
        QVERIFY(writeFile(folder.filePath(QStringLiteral("held/note.txt"))));
        stuck = std::make_unique<ReadOnlyPath>(folder.filePath(QStringLiteral("held")));
        if (!stuck->isReadOnly())
            QSKIP("this machine offers no way to keep a file from being removed");
    }

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    const auto databaseNode = [&window, &name] { return localDbNamed(window, name); };
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QVERIFY(databaseNode());
    tree->setCurrentIndex(window.mainModel()->nodeIndex(databaseNode()));
    QCOMPARE(window.shownMessages().size(), 5);
    QCOMPARE(databaseNode()->children.size(), 1);
    const QString chatName = databaseNode()->children.first()->name;
    if (command == QLatin1String("conversation"))
        tree->setCurrentIndex(window.mainModel()->nodeIndex(databaseNode()->children.first()));
    list->clearSelection();
    if (command == QLatin1String("selection"))
        list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(1, 0)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);

    setNextMessageBoxAnswer(QMessageBox::StandardButton(answer));
    window.miDel();

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.first().icon, QMessageBox::Question);
    QCOMPARE(boxes.first().text, QString(question).replace(QStringLiteral("%CHAT%"), chatName.toHtmlEscaped()));
    QCOMPARE(boxes.first().defaultButton, QMessageBox::No);
    QCOMPARE(boxes.size(), after.isEmpty() ? 1 : 2);
    if (!after.isEmpty())
        QVERIFY2(boxes.at(1).text.contains(after), qPrintable(boxes.at(1).text));

    if (messagesLeft < 0) {
        QVERIFY(!databaseNode());
        QVERIFY(!QFileInfo::exists(folder.absolutePath()));
        // Nothing comes back at the next start.
        MainWindow again(nullptr, quietWindowOptions());
        for (const _ItemNode* node : std::as_const(again.mainModel()->rootLocalDb()->children))
            QVERIFY(node->name != name);
    } else if (leftover == QLatin1String("stuck")) {
        // The failure is an error, and the tree keeps the database that is still there in part.
        QCOMPARE(boxes.at(1).icon, QMessageBox::Critical);
        QVERIFY(databaseNode());
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("held/note.txt"))));
    } else {
        QVERIFY(databaseNode());
        QCOMPARE(scalar(folder, QStringLiteral("select count(*) from message")).toInt(), messagesLeft);
        // The tree's count follows the deletion, once it has been counted in the background.
        QTRY_COMPARE(window.mainModel()->nodeIndex(databaseNode()).data().toString(),
            QStringLiteral("%1 (%2)").arg(name).arg(messagesLeft));
    }
    stuck.reset();
    waitForSearchIndexUpdates();
    QVERIFY(removeFolderOrLink(folder.absolutePath(), true));
}

// Cancel in the country dialog ends the command that asked, leaving no trace: a database named for
// an import that never ran, or a phone that never loaded.
void TestMainWindowCommands::countryCancelStopsTheCommand()
{
    QTemporaryDir files;
    const QString backup = files.filePath(QStringLiteral("old.xml"));
    QVERIFY(writeFile(backup,
        "<?xml version='1.0' encoding='UTF-8'?>\n<smses count=\"1\">\n"
        "  <sms address=\"+491701234567\" date=\"1700000000000\" type=\"1\" body=\"Hallo\" />\n</smses>\n"));

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    const int databases = int(window.mainModel()->rootLocalDb()->children.size());
    const auto cancelCountry = [] {
        onNextDialog<CountrySelForm>([](CountrySelForm* form) {
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
        });
    };

    setNextSaveFileAnswer(backup, QString());
    onNextDialog<LocalDbSelForm>([](LocalDbSelForm* form) {
        form->findChild<QComboBox*>()->setEditText(QStringLiteral("Never"));
        emit form->findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
    });
    cancelCountry();
    window.findChild<QAction*>(QStringLiteral("actImportXml"))->trigger();
    QCOMPARE(window.mainModel()->rootLocalDb()->children.size(), databases);
    QVERIFY(!QFileInfo::exists(localDatabasesDir().filePath(QStringLiteral("Never"))));
    QCOMPARE(takeShownMessageBoxes().size(), 0);

    // A phone without a country code: no load starts, so no progress and no error, and no node.
    AndroidDevice device;
    device.serial = QStringLiteral("emulator-5554");
    device.uid = QStringLiteral("uid-without-country");
    device.imei = QStringLiteral("350000000000009");
    cancelCountry();
    window.androidDeviceLoad(device);
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().icon, QMessageBox::Information);
    QCOMPARE(window.mainModel()->countDevices(), 0);
}

void TestMainWindowCommands::deleteActsOnTheListedDatabase_data()
{
    QTest::addColumn<QString>("other"); // the database selected after the listed one
    QTest::addColumn<QString>("store"); // what it holds: "empty", "garbage" or an "endless" read

    QTest::newRow("without conversations") << QStringLiteral("Empty") << QStringLiteral("empty");
    QTest::newRow("unreadable") << QStringLiteral("Unreadable") << QStringLiteral("garbage");
    // Its read runs on a worker under the progress dialog, whose Cancel stops it.
    QTest::newRow("read cancelled") << QStringLiteral("Endless") << QStringLiteral("endless");
}

// A database whose conversations can not be shown leaves the list with the messages of the database
// selected before. "Delete SMS" on rows of that list deletes them from the database they belong to,
// and the other database is left as it was.
void TestMainWindowCommands::deleteActsOnTheListedDatabase()
{
    QFETCH(QString, other);
    QFETCH(QString, store);
    // The delete of the row before updates the store's search index on a thread of its own.
    waitForSearchIndexUpdates();
    const QDir listed(localDatabaseFolder(QStringLiteral("Listed")));
    writeStore(listed,
        { { QStringLiteral("Ann"), { { 100, QStringLiteral("one"), false }, { 200, QStringLiteral("two"), true } } },
            { QStringLiteral("Ben"), { { 300, QStringLiteral("three"), false } } } });
    const QDir otherFolder(localDatabaseFolder(other));
    if (store == QLatin1String("empty")) {
        writeStore(otherFolder, {});
    } else if (store == QLatin1String("endless")) {
        // Counting its messages is quick; reading them, which joins them to their conversations, never ends.
        writeStore(otherFolder, { { QStringLiteral("Eve"), { { 400, QStringLiteral("never shown"), false } } } });
        Sqlite3DB db;
        db.openThrow(smsDbPath(otherFolder), Sqlite3DB::ReadWrite);
        runScript(db,
            QStringLiteral("ALTER TABLE chat_message_join RENAME TO joins; CREATE VIEW chat_message_join AS SELECT j.* "
                           "FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n), "
                           "joins AS j"));
        onNextDialog<ProgressForm>([](ProgressForm* progress) {
            QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        });
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(smsDbPath(otherFolder)).absolutePath()));
        QVERIFY(writeFile(smsDbPath(otherFolder), QByteArray("not a database").repeated(100)));
    }
    const auto otherBytes = [&otherFolder] {
        QFile file(smsDbPath(otherFolder));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray otherBefore = otherBytes();

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    const auto select = [&](const QString& name) { selectInTree(window, localDbNamed(window, name)); };
    select(QStringLiteral("Listed"));
    QCOMPARE(window.shownMessages().size(), 3);
    select(other);
    QCOMPARE(window.shownMessages().size(), 3);
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(1, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    takeShownMessageBoxes();

    setNextMessageBoxAnswer(QMessageBox::Yes);
    window.findChild<QAction*>(QStringLiteral("actDelete"))->trigger();
    for (const ShownMessageBox& box : takeShownMessageBoxes())
        QVERIFY2(box.icon != QMessageBox::Critical, qPrintable(box.text));
    QCOMPARE(storedRows(listed), QStringList { QStringLiteral("three") });
    QCOMPARE(otherBytes(), otherBefore);
    QStringList shown;
    for (const _MsgMessage* message : window.shownMessages())
        shown.append(message->text);
    QCOMPARE(shown, QStringList { QStringLiteral("three") });

    waitForSearchIndexUpdates();
    QVERIFY(QDir(listed).removeRecursively());
    QVERIFY(QDir(otherFolder).removeRecursively());
}

// Offline devices all have the same empty device id; "Disconnect Device" forgets the selected one.
void TestMainWindowCommands::disconnectForgetsTheSelectedDevice()
{
    const QDir offline(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android")));
    const QStringList names { QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third") };
    for (const QString& name : names)
        writeStore(QDir(offline.filePath(name)), { { name, { { 100, name, false } } } });

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    const auto deviceNames = [&window] { return childNames(window.mainModel()->rootDevice()); };
    QCOMPARE(deviceNames(), names);
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    tree->setCurrentIndex(window.mainModel()->nodeIndex(window.mainModel()->rootDevice()->children.at(1)));
    QCOMPARE(window.shownMessages().size(), 1);
    window.miUnmoutDevice();
    QCOMPARE(deviceNames(), (QStringList { QStringLiteral("First"), QStringLiteral("Third") }));
    QVERIFY(QDir(offline.filePath(QStringLiteral("Second"))).exists());
    QVERIFY(QDir(offline).removeRecursively());
}

QTEST_MAIN(TestMainWindowCommands)
#include "TestMainWindowCommands.moc"

void TestMainWindowCommands::shellCommandsSayWhatIsMissing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("handled"); // a program takes file addresses
    QTest::addColumn<QString>("box"); // the start of the box shown; empty for none

    QTest::newRow("database folder, no file manager")
        << QByteArray("miOpenDbFolder") << false << "No file manager is installed to show the folder ";
    QTest::newRow("database folder shown") << QByteArray("miOpenDbFolder") << true << "";
    QTest::newRow("help, no manual beside the program")
        << QByteArray("miHelp") << true << "The manual is not installed.";
    QTest::newRow("feedback, no package metadata")
        << QByteArray("miFeedback") << true << "The package names no page for feedback.";
}

// Folders and pages open through the desktop; where nothing can open them, a box says so instead of
// nothing happening at all.
void TestMainWindowCommands::shellCommandsSayWhatIsMissing()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, handled);
    QFETCH(QString, box);

    // The test platform opens nothing; a handler stands in for a file manager.
    FileManager manager;
    if (handled)
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &manager, "open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); });
    MainWindow window(nullptr, quietWindowOptions());
    QVERIFY(QMetaObject::invokeMethod(&window, command.constData()));
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    if (box.isEmpty()) {
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(manager.opened, QList<QUrl> { QUrl::fromLocalFile(localDatabasesDir().absolutePath()) });
    } else {
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.startsWith(box), qPrintable(boxes.first().text));
    }
}

// Feedback opens the issue page that the package's metadata, as the build makes it, names beside the
// home page; run from the build folder the program finds the metadata in dist/ beside it.
void TestMainWindowCommands::feedbackOpensIssuePage()
{
    const QDir beside(QCoreApplication::applicationDirPath());
    QVERIFY(!beside.exists(QStringLiteral("dist")));
    QVERIFY(beside.mkdir(QStringLiteral("dist")));
    const auto remove = qScopeGuard([beside] { QDir(beside.filePath(QStringLiteral("dist"))).removeRecursively(); });
    QVERIFY(QFile::copy(QStringLiteral(QSMS_BUILT_METAINFO),
        beside.filePath(QStringLiteral("dist/com.quillbarrow.smsdesk.metainfo.xml"))));

    FileManager browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); });
    MainWindow window(nullptr, quietWindowOptions());
    window.miFeedback();
    QCOMPARE(takeShownMessageBoxes().size(), 0);
    QCOMPARE(browser.opened, QList<QUrl> { QUrl(QStringLiteral("https://www.quillbarrow.com/issues/")) });
}
