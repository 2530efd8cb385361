// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "message/MessageText.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/export/pdf/PageHeadings.h"
#include "store/Sqlite3DB.h"
#include "support/NextDialog.h"
#include "support/ReadOnlyPath.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/FilterBar.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SMSPrinter.h"
#include "ui/SaveFileDialog.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString database = QStringLiteral("Filtered");
// A second database and an offline phone, for the list of every source.
const QString otherDatabase = QStringLiteral("Other");
const QString phone = QStringLiteral("OldPhone");

// Local time, as the filter's days are.
int on(int day, int hour, int minute = 0, int second = 0)
{
    return int(QDateTime(QDate(2024, 5, day), QTime(hour, minute, second)).toSecsSinceEpoch() - messageDateOffset);
}

QStringList sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

QStringList textsOf(const QList<_MsgMessage*>& messages)
{
    QStringList texts;
    for (const _MsgMessage* message : messages)
        texts << message->text;
    return sorted(texts);
}

// The message texts ("a1", "c2", "p1", ...) a file holds.
QStringList textsIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { QStringLiteral("no file ") + path };
    QStringList texts;
    static const QRegularExpression word(QStringLiteral("\\b[abcp][0-9]\\b"));
    for (auto match = word.globalMatch(QString::fromUtf8(file.readAll())); match.hasNext();)
        texts << match.next().captured();
    return sorted(texts);
}

// The text of the PDF files under a folder, every run of white space one space; one file to a line.
QString pdfTexts(const QString& folder)
{
    QStringList texts;
    for (QDirIterator files(folder, { QStringLiteral("*.pdf") }, QDir::Files, QDirIterator::Subdirectories);
         files.hasNext();) {
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"), { files.next(), QStringLiteral("-") });
        if (!tool.waitForFinished(30000))
            return QStringLiteral("pdftotext did not finish");
        texts << QString::fromUtf8(tool.readAllStandardOutput()).simplified();
    }
    return texts.join(QLatin1Char('\n'));
}

// A database, a second one and an offline phone, written anew.
void writeStores()
{
    const QDir folder(localDatabasesDir().filePath(database));
    const QDir otherFolder(localDatabasesDir().filePath(otherDatabase));
    const QDir phoneFolder(dataRootDir().filePath(QStringLiteral("virtual_android/") + phone));
    // The index updates that the last row's delete queued write beside the stores.
    waitForSearchIndexUpdates();
    for (const QDir& store : { folder, otherFolder, phoneFolder })
        QVERIFY(removeFolderOrLink(store.absolutePath(), true));
    writeStore(otherFolder,
        { { QStringLiteral("Cai"),
            { { on(2, 8), QStringLiteral("c1"), true }, { on(6, 8), QStringLiteral("c2"), false } } } });
    writeStore(phoneFolder,
        { { QStringLiteral("Ana"),
            { { on(3, 10), QStringLiteral("p1"), false }, { on(7, 10), QStringLiteral("p2"), true } } } });
    writeStore(folder,
        { { QStringLiteral("Ana"),
              { { on(1, 9), QStringLiteral("a1"), false }, { on(2, 0), QStringLiteral("a2"), true },
                  { on(3, 23, 59, 59), QStringLiteral("a3"), false }, { on(4, 0), QStringLiteral("a4"), true } } },
            { QStringLiteral("Ben"),
                { { on(2, 12), QStringLiteral("b1"), false }, { on(5, 12), QStringLiteral("b2"), true } } } });
}

// Makes a read of the folder's store run for ever: a view under the table's name that repeats its
// rows without end.
void makeEndless(const QDir& folder, const QString& table)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadWrite);
    runScript(db,
        QStringLiteral("ALTER TABLE %1 RENAME TO %1_rows; CREATE VIEW %1 AS SELECT t.* FROM (WITH RECURSIVE n(i) AS "
                       "(SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n), %1_rows AS t")
            .arg(table));
}

} // namespace

class TestMainWindowFilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { forgetNextDialogs(); }
    void filterDecidesListAndCommands_data();
    void filterDecidesListAndCommands();
    void endlessStoreLeavesWindowFree_data();
    void endlessStoreLeavesWindowFree();
};

void TestMainWindowFilter::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

void TestMainWindowFilter::filterDecidesListAndCommands_data()
{
    QTest::addColumn<QString>("node"); // what the tree has chosen: the database, Ana's conversation or the phone
    QTest::addColumn<int>("scope");
    QTest::addColumn<QDate>("from"); // invalid: not ticked
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("deleteCommand");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QString>("failing"); // a database whose store refuses the delete
    // Where the heading above the transcript, and the exported and printed pages, say the messages
    // come from (the heading unchecked when empty).
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("readFrom");

    const int conversation = int(FilterBar::Scope::Conversation);
    const int source = int(FilterBar::Scope::Source);
    const QDate second(2024, 5, 2);
    const QDate third(2024, 5, 3);
    const QString filtered = QStringLiteral("the local database \"Filtered\"");
    const QString other = QStringLiteral("the local database \"Other\"");
    const QString threeNames = QStringLiteral("3 sources: OldPhone, Filtered, Other");
    const QString threeSources = QStringLiteral("3 sources: the phone OldPhone, %1, %2").arg(filtered, other);
    const QString twoSources = QStringLiteral("2 sources: %1, %2").arg(filtered, other);
    const QString named = QStringLiteral("Filtered");
    const QString none;
    // What is shown, the delete command run and what it deletes, as "shown|command|deleted".
    const auto row = [](const char* name, const char* node, int scope, QDate from, QDate to, const char* lists,
                         const QString& header, const QString& readFrom, const QString& failing = QString()) {
        const QStringList parts = QString::fromLatin1(lists).split(QLatin1Char('|'));
        QTest::newRow(name) << QString::fromLatin1(node) << scope << from << to << parts.at(0) << parts.at(1)
                            << parts.at(2) << failing << header << readFrom;
    };
    row("database, two whole days", "database", conversation, second, third, "a2 a3 b1|miDel|a2 a3 b1", named,
        filtered);
    row("database, from a day on", "database", conversation, QDate(2024, 5, 4), QDate(), "a4 b2|miDel|a4 b2", named,
        filtered);
    row("conversation, two whole days", "conversation", conversation, second, third, "a2 a3|miDel|a2 a3", none,
        filtered);
    row("conversation, up to a day", "conversation", conversation, QDate(), second, "a1 a2|miDel|a1 a2", none,
        filtered);
    row("conversation widened to its database", "conversation", source, QDate(), QDate(),
        "a1 a2 a3 a4 b1 b2|miDel|a1 a2 a3 a4 b1 b2", none, filtered);
    row("conversation widened, up to a day", "conversation", source, QDate(), second, "a1 a2 b1|miDel|a1 a2 b1", none,
        filtered);
    // The conversation's own "Delete SMS with this contact" takes only its messages of a widened list.
    row("conversation widened, its own delete", "conversation", source, QDate(), second, "a1 a2 b1|miDelChat|a1 a2",
        none, filtered);
    row("a range with nothing in it", "database", conversation, QDate(2024, 6, 1), QDate(), "|miDel|", none, none);
    // Every phone and database: a phone's messages are listed, exported and printed, and stay on delete.
    const int everywhere = int(FilterBar::Scope::Everywhere);
    row("everywhere, two whole days", "database", everywhere, second, third, "a2 a3 b1 c1 p1|miDel|a2 a3 b1 c1",
        threeNames, threeSources);
    row("everywhere from the phone, every day", "phone", everywhere, QDate(), QDate(),
        "a1 a2 a3 a4 b1 b2 c1 c2 p1 p2|miDel|a1 a2 a3 a4 b1 b2 c1 c2", threeNames, threeSources);
    row("everywhere, the conversation's own delete", "conversation", everywhere, QDate(), second,
        "a1 a2 b1 c1|miDelChat|a1 a2", QStringLiteral("2 sources: Filtered, Other"), twoSources);
    // Messages of one source are named as from that source alone.
    row("everywhere, a day of one database", "phone", everywhere, QDate(2024, 5, 5), QDate(2024, 5, 5), "b2|miDel|b2",
        named, filtered);
    // A database's own "All" entries with dates set take its messages of those dates, and its delete
    // leaves the database with the others.
    row("database's own entries, two whole days", "database", conversation, second, third, "a2 a3 b1|miDelAll|a2 a3 b1",
        named, filtered);
    row("database's own entries, everywhere", "database", everywhere, second, third, "a2 a3 b1 c1 p1|miDelAll|a2 a3 b1",
        threeNames, filtered);
    // The first database loses its messages, the second refuses: the second is named as unchanged.
    row("everywhere, one database refuses", "database", everywhere, second, third, "a2 a3 b1 c1 p1|miDel|a2 a3 b1",
        threeNames, threeSources, otherDatabase);
}

// With a date range and a scope set, the list shows exactly those messages, and "Export", "Print" and
// "Delete" on what is shown take exactly those; delete asks with their number and leaves the others.
void TestMainWindowFilter::filterDecidesListAndCommands()
{
    QFETCH(QString, node);
    QFETCH(int, scope);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, shown);
    QFETCH(QString, deleteCommand);
    QFETCH(QString, deleted);
    QFETCH(QString, failing);
    QFETCH(QString, header);
    QFETCH(QString, readFrom);
    const QStringList expected = sorted(shown.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    const QStringList gone = deleted.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // The database's own "All" entries take its messages, not what the list shows of other sources.
    const bool ownEntries = deleteCommand.endsWith(QLatin1String("All"));
    const QStringList taken = ownEntries ? sorted(gone) : expected;

    const QDir folder(localDatabasesDir().filePath(database));
    const QDir otherFolder(localDatabasesDir().filePath(otherDatabase));
    const QDir phoneFolder(dataRootDir().filePath(QStringLiteral("virtual_android/") + phone));
    writeStores();

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* bar = window.findChild<FilterBar*>(QStringLiteral("filterBar"));
    QVERIFY(bar);
    _ItemNode* databaseNode = localDbNamed(window, database);
    QVERIFY(databaseNode);
    tree->setCurrentIndex(window.mainModel()->nodeIndex(databaseNode));
    QCOMPARE(window.shownMessages().size(), 6);
    if (node == QLatin1String("phone")) {
        for (_ItemNode* child : std::as_const(window.mainModel()->rootDevice()->children))
            if (child->name.contains(phone))
                tree->setCurrentIndex(window.mainModel()->nodeIndex(child));
        QCOMPARE(window.shownMessages().size(), 2);
    }
    if (node == QLatin1String("conversation")) {
        for (_ItemNode* child : std::as_const(databaseNode->children))
            if (child->name.contains(QLatin1String("Ana")))
                tree->setCurrentIndex(window.mainModel()->nodeIndex(child));
        QCOMPARE(window.shownMessages().size(), 4);
    }

    bar->setScope(FilterBar::Scope(scope));
    bar->setRange(from, to);
    QCOMPARE(textsOf(window.shownMessages()), expected);
    if (!header.isEmpty())
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("lbChatName"))->text(), header);
    if (FilterBar::Scope(scope) == FilterBar::Scope::Everywhere) {
        // Each row names where it comes from; backup and transfer, which take one source, are off.
        const QHash<QChar, QString> sources { { QLatin1Char('a'), database }, { QLatin1Char('b'), database },
            { QLatin1Char('c'), otherDatabase }, { QLatin1Char('p'), phone } };
        for (int row = 0; row < window.smsModel()->rowCount(); ++row) {
            const QString text = window.shownMessages().at(row)->text;
            const QString contact = window.smsModel()->index(row, ItemModelSms::ContactColumn).data().toString();
            QVERIFY2(contact.startsWith(sources.value(text.at(0))), qPrintable(text + QLatin1Char(' ') + contact));
        }
        for (const char* name : { "actBackup", "actDb2A" }) {
            const auto* action = window.findChild<QAction*>(QLatin1String(name));
            QVERIFY(action && !action->isEnabled());
            QVERIFY(action->toolTip().contains(QLatin1String("every phone and database")));
        }
    }
    // The list keeps the filter when the node is chosen again.
    const QModelIndex current = tree->currentIndex();
    tree->setCurrentIndex(QModelIndex());
    tree->setCurrentIndex(current);
    QCOMPARE(textsOf(window.shownMessages()), expected);

    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("shown.csv"));
    // An answer left unused would be taken by the next row's dialog.
    if (!expected.isEmpty())
        setNextSaveFileAnswer(csv, QStringLiteral("CSV Files(*.csv)"));
    takeShownMessageBoxes();
    ownEntries ? window.miExportAll() : window.miExport();
    const bool asked = !takeShownSaveDialogs().isEmpty();
    QCOMPARE(asked, !expected.isEmpty());
    if (!expected.isEmpty()) {
        QCOMPARE(textsIn(csv), taken);
        // Messages of several sources go to pages to hand over, whose cover pages give each source's digest.
        const bool several = readFrom.contains(QLatin1String(" sources: "));
        QTemporaryDir pdfOut;
        setNextSaveFileAnswer(pdfOut.filePath(QStringLiteral("shown.pdf")),
            several ? QStringLiteral("PDF Files to Hand Over, with Cover Page(*.pdf)")
                    : QStringLiteral("PDF Files(*.pdf)"));
        ownEntries ? window.miExportAll() : window.miExport();
        QCOMPARE(takeShownSaveDialogs().size(), 1);
        // Each conversation's file says where its messages come from.
        const QStringList files = pdfTexts(pdfOut.path()).split(QLatin1Char('\n'));
        for (const QString& text : files) {
            QVERIFY2(text.contains(QStringLiteral("Read from %1 Exported on").arg(readFrom)), qPrintable(text));
            if (!several)
                continue;
            QVERIFY2(text.contains(QStringLiteral("Source: %1 Source file: ").arg(readFrom)), qPrintable(text));
            for (const QDir& store : { folder, otherFolder, phoneFolder }) {
                QFile file(smsDbPath(store));
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
                QVERIFY2(
                    text.contains(QString::fromLatin1(digest)) == readFrom.contains(QFileInfo(store.path()).fileName()),
                    qPrintable(text));
            }
        }
    }

    QStringList printed { QStringLiteral("not printed") };
    PageDocumentInfo printedFrom;
    printedFrom.printed = true;
    onNextDialog<QPrintPreviewDialog>([&window, &printed, &printedFrom](QPrintPreviewDialog* dialog) {
        if (auto* printer = window.findChild<SMSPrinter*>()) {
            printed = textsOf(printer->messages());
            printedFrom.source = printer->source();
        }
        dialog->reject();
    });
    if (!expected.isEmpty()) {
        ownEntries ? window.miPrintAll() : window.miPrint();
        QCOMPARE(printed, taken);
        const QString heading = conversationHeadingText(ConversationSummary(), printedFrom);
        QVERIFY2(heading.contains(QStringLiteral("\nRead from %1\nPrinted on").arg(readFrom)), qPrintable(heading));
    }

    std::unique_ptr<ReadOnlyPath> refusing;
    if (!failing.isEmpty()) {
        refusing = std::make_unique<ReadOnlyPath>(
            QFileInfo(smsDbPath(QDir(localDatabasesDir().filePath(failing)))).absolutePath());
        QVERIFY(refusing->isReadOnly());
    }
    takeShownMessageBoxes();
    setNextMessageBoxAnswer(QMessageBox::Yes);
    QVERIFY(QMetaObject::invokeMethod(&window, deleteCommand.toLatin1().constData()));
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    refusing.reset();
    QStringList left;
    for (const QDir& store : { folder, otherFolder, phoneFolder })
        left += storedRows(store);
    left = sorted(left);
    if (expected.isEmpty()) {
        QVERIFY(boxes.isEmpty());
        QCOMPARE(left.size(), 10);
        return;
    }
    QVERIFY(!boxes.isEmpty());
    // The question counts every message to go, those of a store that then refuses included.
    const qsizetype toGo = gone.size() + (failing.isEmpty() ? 0 : expected.filter(QStringLiteral("c")).size());
    QVERIFY2(boxes.first().text.contains(QStringLiteral("%1 SMS will be deleted").arg(toGo)),
        qPrintable(boxes.first().text));
    QStringList kept;
    for (const char* text : { "a1", "a2", "a3", "a4", "b1", "b2", "c1", "c2", "p1", "p2" })
        if (!gone.contains(QLatin1String(text)))
            kept << QLatin1String(text);
    QCOMPARE(left, kept);
    if (!failing.isEmpty())
        QVERIFY2(boxes.last().text.contains(QStringLiteral("Nothing was deleted from: ") + failing),
            qPrintable(boxes.last().text));
    // The list goes on showing, through the filter, what is left.
    QStringList remaining = expected;
    for (const QString& text : gone)
        remaining.removeAll(text);
    QTRY_COMPARE(textsOf(window.shownMessages()), remaining);
}

void TestMainWindowFilter::endlessStoreLeavesWindowFree_data()
{
    QTest::addColumn<QString>("read"); // "source", "everywhere", "count", "phones" or "confirm"
    QTest::addColumn<QString>("shown"); // the list once the read was cancelled
    QTest::addColumn<QString>("leftOut"); // the sources the error box names

    // A conversation without messages is read at once; the whole database it is widened to never is.
    QTest::newRow("this source") << "source"
                                 << ""
                                 << "";
    QTest::newRow("every source") << "everywhere"
                                  << "a1 a2 a3 a4 b1 b2 p1 p2" << otherDatabase;
    // Counting the messages of a database for the tree's text never ends: the window opens regardless,
    // with the other database counted, and closes without waiting for it.
    QTest::newRow("count at start-up") << "count"
                                       << ""
                                       << "";
    // Reading an offline phone's conversations never ends: the window opens with the phone's node,
    // which stays without conversations, and closes without waiting for the read.
    QTest::newRow("phone cache at start-up") << "phones"
                                             << ""
                                             << "";
    // The question before a database is deleted names its messages, whose count never ends: Cancel
    // on the count's progress dialog ends the command without asking, and nothing is deleted.
    QTest::newRow("count before deleting a database") << "confirm"
                                                      << "a1 a2 a3 a4 b1 b2"
                                                      << "";
}

// A store whose read never ends holds up neither the window nor its list: the read runs on a worker
// whose progress dialog shows after a moment, and its Cancel gives the window back.
void TestMainWindowFilter::endlessStoreLeavesWindowFree()
{
    QFETCH(QString, read);
    QFETCH(QString, shown);
    QFETCH(QString, leftOut);
    writeStores();
    const QDir folder(localDatabasesDir().filePath(database));
    const QDir otherFolder(localDatabasesDir().filePath(otherDatabase));
    const QDir phoneFolder(dataRootDir().filePath(QStringLiteral("virtual_android/") + phone));
    {
        Sqlite3DB db;
        db.openThrow(smsDbPath(folder), Sqlite3DB::ReadWrite);
        runScript(db,
            QStringLiteral(
                "INSERT INTO chat(guid, chat_identifier, service_name, _last) VALUES ('SMS;-;+447700900999', "
                "'+447700900999', 'SMS', 5e8)"));
    }
    if (read == QLatin1String("count"))
        makeEndless(otherFolder, QStringLiteral("message"));
    else if (read == QLatin1String("everywhere"))
        makeEndless(otherFolder, QStringLiteral("chat_message_join"));
    else if (read == QLatin1String("phones"))
        makeEndless(phoneFolder, QStringLiteral("chat"));

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* bar = window.findChild<FilterBar*>(QStringLiteral("filterBar"));
    const auto nodeText = [&window](const QString& name) {
        return window.mainModel()->nodeIndex(localDbNamed(window, name)).data().toString();
    };
    const _ItemNode* phoneNode = childNamed(window.mainModel()->rootDevice(), phone);
    QVERIFY(phoneNode);
    if (read == QLatin1String("count") || read == QLatin1String("phones")) {
        QTRY_COMPARE(nodeText(database), QStringLiteral("Filtered (6)"));
        if (read == QLatin1String("count")) {
            QCOMPARE(nodeText(otherDatabase), otherDatabase);
            // The phone's conversations fill in beside the count that never ends.
            QTRY_COMPARE(childNames(phoneNode), QStringList { QStringLiteral("Ana") });
        } else {
            QTRY_COMPARE(nodeText(otherDatabase), QStringLiteral("Other (2)"));
            QVERIFY(phoneNode->children.isEmpty());
        }
        return;
    }
    _AbsDBItemNode* databaseNode = localDbNamed(window, database);
    tree->setCurrentIndex(window.mainModel()->nodeIndex(databaseNode));
    QCOMPARE(window.shownMessages().size(), 6);
    if (read == QLatin1String("confirm")) {
        // A count of the store started before it became endless would let the question through.
        QTRY_COMPARE(nodeText(database), QStringLiteral("Filtered (6)"));
        makeEndless(folder, QStringLiteral("message"));
    }
    if (read == QLatin1String("source")) {
        // Every message read from now on runs through the endless rows; a conversation that has none
        // never comes to them.
        makeEndless(folder, QStringLiteral("message"));
        QCOMPARE(databaseNode->children.size(), 3);
        for (_ItemNode* child : std::as_const(databaseNode->children))
            if (static_cast<_ChatSessionItemNode*>(child)->group.first()->messages.isEmpty())
                tree->setCurrentIndex(window.mainModel()->nodeIndex(child));
        QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex())->parent, databaseNode);
        QVERIFY(window.shownMessages().isEmpty());
    }

    bool dialogShown = false;
    onNextDialogShown<ProgressForm>([&dialogShown](ProgressForm* progress) {
        dialogShown = true;
        QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    takeShownMessageBoxes();
    if (read == QLatin1String("confirm"))
        window.miDelAll();
    else
        bar->setScope(read == QLatin1String("source") ? FilterBar::Scope::Source : FilterBar::Scope::Everywhere);
    QVERIFY(dialogShown);
    QCOMPARE(textsOf(window.shownMessages()).join(QLatin1Char(' ')), shown);
    QStringList boxes;
    for (const ShownMessageBox& box : takeShownMessageBoxes())
        boxes << box.text;
    QCOMPARE(boxes.size(), leftOut.isEmpty() ? 0 : 1);
    if (!leftOut.isEmpty())
        QVERIFY2(boxes.first().endsWith(QStringLiteral("The list leaves out what could not be read: %1.").arg(leftOut)),
            qPrintable(boxes.first()));
    QVERIFY(localDbNamed(window, database));
    QVERIFY(QFileInfo::exists(smsDbPath(folder)));
}

QTEST_MAIN(TestMainWindowFilter)
#include "TestMainWindowFilter.moc"
