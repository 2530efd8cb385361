// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DataFolders.h"
#include "support/TestHome.h"
#include "ui/CommandRules.h"
#include "ui/MainWindow.h"
#include "ui/models/ItemNodes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList entries(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list.append(QString::fromUtf8(text));
    return list;
}

// A tree with one node of every kind, looked up by a short name.
class NodeKinds
{
public:
    NodeKinds()
        : devices(QStringLiteral("Devices"))
        , databases(QStringLiteral("Local Databases"))
    {
        device = add(_ItemNode::TypeAndroidDevice, &devices);
        database = add(_ItemNode::TypeLocalDb, &databases);
        deviceChat = add(_ItemNode::TypeChatSession, device);
        databaseChat = add(_ItemNode::TypeChatSession, database);
    }

    const _ItemNode* byName(const QString& name) const
    {
        const QHash<QString, const _ItemNode*> nodes { { QStringLiteral("none"), nullptr },
            { QStringLiteral("devices root"), &devices }, { QStringLiteral("databases root"), &databases },
            { QStringLiteral("device"), device }, { QStringLiteral("database"), database },
            { QStringLiteral("device conversation"), deviceChat },
            { QStringLiteral("database conversation"), databaseChat } };
        return nodes.value(name);
    }

private:
    static _ItemNode* add(int type, _ItemNode* parent)
    {
        auto* node = new _ItemNode(type, QStringLiteral("node"), parent);
        parent->children.append(node);
        return node;
    }

    _RootDeviceItemNode devices;
    _RootLocalDBItemNode databases;
    _ItemNode* device;
    _ItemNode* database;
    _ItemNode* deviceChat;
    _ItemNode* databaseChat;
};

} // namespace

class TestMainWindowCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void enabledActions_data();
    void enabledActions();
    void contextMenus_data();
    void contextMenus();
    void exportPaths_data();
    void exportPaths();
    void databaseFolders_data();
    void databaseFolders();
    void linkedDatabaseFolderIsRemovedAsLink();
};

void TestMainWindowCommands::initTestCase()
{
    useTemporaryHome();
}

void TestMainWindowCommands::enabledActions_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("enabled");

    QTest::newRow("no node") << "none" << 1 << "";
    QTest::newRow("devices root") << "devices root" << 1 << "";
    QTest::newRow("databases root") << "databases root" << 1 << "";
    QTest::newRow("device") << "device" << 1 << "backup export print";
    QTest::newRow("device conversation") << "device conversation" << 1 << "backup export print";
    QTest::newRow("database, no phone") << "database" << 0 << "export print delete";
    QTest::newRow("database, a phone") << "database" << 1 << "transfer export print delete";
    QTest::newRow("database conversation, no phone") << "database conversation" << 0 << "export print delete";
    QTest::newRow("database conversation, two phones")
        << "database conversation" << 2 << "transfer export print delete";
}

void TestMainWindowCommands::enabledActions()
{
    QFETCH(QString, node);
    QFETCH(int, devices);
    QFETCH(QString, enabled);

    const NodeKinds tree;
    const CommandActionStates states = commandActionStates(tree.byName(node), devices);
    QStringList names;
    const std::pair<bool, const char*> actions[] = { { states.backup, "backup" }, { states.transfer, "transfer" },
        { states.exportMessages, "export" }, { states.print, "print" }, { states.remove, "delete" } };
    for (const auto& [on, name] : actions)
        if (on)
            names.append(QLatin1String(name));
    QCOMPARE(names.join(QLatin1Char(' ')), enabled);
}

void TestMainWindowCommands::contextMenus_data()
{
    QTest::addColumn<QString>("menu"); // "tree" or "messages"
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QStringList>("entries"); // text | icon | slot, "(off)" when it can not be chosen

    QTest::newRow("tree: no node") << "tree"
                                   << "none" << 1 << QStringList();
    QTest::newRow("tree: devices root") << "tree"
                                        << "devices root" << 1 << QStringList();
    QTest::newRow("tree: databases root")
        << "tree"
        << "databases root" << 0 << entries({ "Open Database Folder | :res/open_db_folder.png | miOpenDbFolder" });
    QTest::newRow("tree: device") << "tree"
                                  << "device" << 1
                                  << entries({ "Backup SMS to Local Database | :res/backup.png | miBackupAll",
                                         "Export SMS to File | :res/export.png | miExportAll",
                                         "Print SMS | :res/print.png | miPrintAll", "View Cache Files |  | miViewCache",
                                         "Disconnect Device | :res/unmount.png | miUnmoutDevice" });
    QTest::newRow("tree: database without phones")
        << "tree"
        << "database" << 0
        << entries({ "Transfer SMS from Database to Android | :res/db2a.png | miDb2AAll (off)",
               "Export SMS to File | :res/export.png | miExportAll", "Print SMS | :res/print.png | miPrintAll",
               "Delete this Database | :res/delete.png | miDelAll" });
    QTest::newRow("tree: database with a phone")
        << "tree"
        << "database" << 1
        << entries({ "Transfer SMS from Database to Android | :res/db2a.png | miDb2AAll",
               "Export SMS to File | :res/export.png | miExportAll", "Print SMS | :res/print.png | miPrintAll",
               "Delete this Database | :res/delete.png | miDelAll" });
    QTest::newRow("tree: device conversation")
        << "tree"
        << "device conversation" << 1
        << entries({ "Backup SMS with this contact to Local Database | :res/backup.png | miBackupChat",
               "Export SMS with this contact to File | :res/export.png | miExportChat",
               "Print SMS with this contact | :res/print.png | miPrintChat" });
    QTest::newRow("tree: database conversation")
        << "tree"
        << "database conversation" << 0
        << entries({ "Transfer SMS with this contact to Android | :res/db2a.png | miDb2AChat (off)",
               "Export SMS with this contact to File | :res/export.png | miExportChat",
               "Print SMS with this contact | :res/print.png | miPrintChat",
               "Delete SMS with this contact | :res/delete.png | miDelChat" });
    const QStringList fromDevice = entries({ "Backup Selected SMS to Local Database | :res/backup.png | miBackupSel",
        "Export Selected SMS to File | :res/export.png | miExportSel",
        "Print Selected SMS | :res/print.png | miPrintSel" });
    QTest::newRow("messages: device") << "messages"
                                      << "device" << 0 << fromDevice;
    QTest::newRow("messages: device conversation") << "messages"
                                                   << "device conversation" << 0 << fromDevice;
    QTest::newRow("messages: database conversation")
        << "messages"
        << "database conversation" << 1
        << entries({ "Transfer Selected SMS to Android | :res/db2a.png | miDb2ASel",
               "Export Selected SMS to File | :res/export.png | miExportSel",
               "Print Selected SMS | :res/print.png | miPrintSel",
               "Delete Selected SMS | :res/delete.png | miDelSel" });
    QTest::newRow("messages: root") << "messages"
                                    << "databases root" << 1 << QStringList();
    QTest::newRow("messages: no node") << "messages"
                                       << "none" << 1 << QStringList();
}

void TestMainWindowCommands::contextMenus()
{
    QFETCH(QString, menu);
    QFETCH(QString, node);
    QFETCH(int, devices);
    QFETCH(QStringList, entries);

    const NodeKinds tree;
    const QList<CommandEntry> made = menu == QLatin1String("tree") ? treeContextEntries(tree.byName(node), devices)
                                                                   : messageContextEntries(tree.byName(node), devices);
    QStringList texts;
    for (const CommandEntry& entry : made) {
        // Every entry calls a slot the window really has.
        QVERIFY2(
            MainWindow::staticMetaObject.indexOfSlot(QByteArray(entry.slot).append("()").constData()) >= 0, entry.slot);
        texts.append(QStringLiteral("%1 | %2 | %3%4")
                         .arg(entry.text, entry.icon, QLatin1String(entry.slot),
                             entry.enabled ? QString() : QStringLiteral(" (off)")));
    }
    QCOMPARE(texts, entries);
}

void TestMainWindowCommands::exportPaths_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("path");

    QTest::newRow("text, no suffix") << 0 << "/F/report" << 0u << "/F/report.txt";
    QTest::newRow("text, own suffix kept") << 0 << "/F/report.log" << 0u << "/F/report.log";
    QTest::newRow("doc, no suffix") << 1 << "/F/report" << 0u << "/F/report.doc";
    QTest::newRow("doc, suffix") << 1 << "/F/report.doc" << 0u << "/F/report.doc";
    QTest::newRow("csv, no suffix") << 2 << "/F/sms(20260101-120000)" << 1u << "/F/sms(20260101-120000).csv";
    QTest::newRow("csv, suffix") << 2 << "/F/a.b.csv" << 1u << "/F/a.b.csv";
    QTest::newRow("pdf, suffixes") << 3 << "/F/my.export.pdf" << 2u << "/F/my-pdf";
    QTest::newRow("pdf, no suffix") << 3 << "/F/my" << 2u << "/F/my-pdf";
    QTest::newRow("html, suffixes") << 4 << "/F/my.export.html" << 3u << "/F/my-html";
    QTest::newRow("html, no suffix") << 4 << "/F/my" << 3u << "/F/my-html";
    QTest::newRow("dotted folder kept") << 3 << "/F.d/my.pdf" << 2u << "/F.d/my-pdf";
    QTest::newRow("unknown filter is text") << -1 << "/F/report" << 0u << "/F/report.txt";
}

void TestMainWindowCommands::exportPaths()
{
    QFETCH(int, filter);
    QFETCH(QString, chosen);
    QFETCH(unsigned, format);
    QFETCH(QString, path);

    QCOMPARE(exportFilters().size(), 5);
    const ExportTarget target = exportTarget(chosen, filter);
    QCOMPARE(target.formatCode, format);
    QCOMPARE(target.path, path);
}

void TestMainWindowCommands::databaseFolders_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inside"); // a folder directly inside local_databases; otherwise refused

    QTest::newRow("plain") << "Family" << true;
    QTest::newRow("blanks") << " x " << true;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent path") << "../x" << false;
    QTest::newRow("windows parent path") << "..\\x" << false;
    QTest::newRow("absolute") << "/tmp" << false;
    QTest::newRow("drive") << "C:" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindowCommands::databaseFolders()
{
    QFETCH(QString, name);
    QFETCH(bool, inside);

    const QString folder = localDatabaseFolder(name);
    if (!inside) {
        QVERIFY2(folder.isEmpty(), qPrintable(folder));
        return;
    }
    QCOMPARE(QFileInfo(folder).absolutePath(), localDatabasesDir().absolutePath());
    QCOMPARE(QFileInfo(folder).fileName(), name);
}

void TestMainWindowCommands::linkedDatabaseFolderIsRemovedAsLink()
{
    QTemporaryDir elsewhere;
    QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("file-relay")));
    QFile precious(elsewhere.filePath(QStringLiteral("file-relay/sms.db")));
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.close();

    const QString link = localDatabaseFolder(QStringLiteral("Linked"));
    QVERIFY(QFile::link(elsewhere.path(), link));
    removeFolderOrLink(link);
    QVERIFY(!QFileInfo(link).exists() && !QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(precious.fileName()));
}

QTEST_MAIN(TestMainWindowCommands)
#include "TestMainWindowCommands.moc"
