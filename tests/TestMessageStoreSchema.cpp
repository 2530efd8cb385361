// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "support/FileBytes.h"
#include "support/ReadOnlyPath.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Thrown.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// "name type default" of every column, in table order.
QStringList columnsOf(Sqlite3DB& db, const QString& table)
{
    QStringList columns;
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA table_info('%1')").arg(table)));
    while (cursor.moveNext()) {
        QString column
            = cursor.getText(QStringLiteral("name")) + QLatin1Char(' ') + cursor.getText(QStringLiteral("type"));
        if (!cursor.isNull(QStringLiteral("dflt_value")))
            column += QStringLiteral(" =") + cursor.getText(QStringLiteral("dflt_value"));
        columns << column;
    }
    return columns;
}

QStringList indexColumns(Sqlite3DB& db, const QString& index)
{
    QStringList columns;
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA index_info('%1')").arg(index)));
    while (cursor.moveNext())
        columns << cursor.getText(QStringLiteral("name"));
    return columns;
}

// A store of the layout before logic_hash, the later message columns, chat.group_id, chat._last and the
// handle's contact columns.
const char oldLayout[] = R"(
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT,
  attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT,
  account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER,
  is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0,
  is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0,
  is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0,
  is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0,
  is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0,
  is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT,
  was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0);
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER,
  state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT,
  account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name TEXT);
CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, handle_id));
CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, PRIMARY KEY (chat_id, message_id));
INSERT INTO handle (ROWID, id, country, service) VALUES (1, '+447946123456', 'gb', 'SMS');
INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (1, 'SMS;-;+447946123456', '+447946123456');
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'g1', 'hello', 1, 100);
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (2, 'g2', 'again', 1, 200);
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO chat_message_join VALUES (1, 1);
INSERT INTO chat_message_join VALUES (1, 2);
)";

// Two conversations, three correspondents, four messages (message 1 is in both conversations) and two
// attachments, the first shared by messages 1 and 2.
const char triggerFixture[] = R"(
INSERT INTO chat (ROWID, guid) VALUES (1, 'c1');
INSERT INTO chat (ROWID, guid) VALUES (2, 'c2');
INSERT INTO handle (ROWID, id, service) VALUES (1, 'h1', 'SMS');
INSERT INTO handle (ROWID, id, service) VALUES (2, 'h2', 'SMS');
INSERT INTO handle (ROWID, id, service) VALUES (3, 'h3', 'SMS');
INSERT INTO message (ROWID, guid, handle_id) VALUES (1, 'm1', 1);
INSERT INTO message (ROWID, guid, handle_id) VALUES (2, 'm2', 1);
INSERT INTO message (ROWID, guid, handle_id) VALUES (3, 'm3', 2);
INSERT INTO message (ROWID, guid, handle_id) VALUES (4, 'm4', 3);
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO chat_handle_join VALUES (2, 2);
INSERT INTO chat_message_join VALUES (1, 1);
INSERT INTO chat_message_join VALUES (1, 2);
INSERT INTO chat_message_join VALUES (2, 3);
INSERT INTO chat_message_join VALUES (2, 1);
INSERT INTO chat_message_join VALUES (2, 4);
INSERT INTO attachment (ROWID, guid) VALUES (1, 'a1');
INSERT INTO attachment (ROWID, guid) VALUES (2, 'a2');
INSERT INTO attachment (ROWID, guid) VALUES (3, 'a3');
INSERT INTO message_attachment_join VALUES (1, 1);
INSERT INTO message_attachment_join VALUES (2, 1);
INSERT INTO message_attachment_join VALUES (3, 2);
)";

// The message clean-up that scans the whole message table, as earlier stores have it.
const char wideCleanUp[] = "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join\n"
                           "BEGIN\n"
                           "    DELETE FROM message WHERE (SELECT 1 from chat_message_join WHERE message_id = "
                           "message.ROWID LIMIT 1) IS NULL;\n"
                           "END;\n";

QString schemaText(Sqlite3DB& db)
{
    Sqlite3Cursor cursor
        = db.queryThrow("select group_concat(type || name || ifnull(sql, ''), ';') from sqlite_master");
    return cursor.moveNext() ? cursor.getText(0) : QString();
}

// Read by a connection that may write: closing it removes the files a write-ahead log leaves.
QString schemaText(const QString& path)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWrite);
    return schemaText(db);
}

} // namespace

class TestMessageStoreSchema : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<IOS6MessageDb> m_store;

    // A store made from nothing in a fresh folder, opened.
    std::unique_ptr<IOS6MessageDb> newStore(QTemporaryDir& folder)
    {
        auto store = std::make_unique<IOS6MessageDb>(QDir(folder.path()), QString(), true);
        store->open();
        return store;
    }

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        QVERIFY(!QFile::exists(smsDbPath(QDir(m_folder->path()))));
        m_store = newStore(*m_folder);
        QVERIFY(m_store->isOpen());
        QVERIFY(QFile::exists(smsDbPath(QDir(m_folder->path()))));
    }

    void registeredFunctionsReturnZero()
    {
        Sqlite3Cursor cursor = m_store->queryThrow(
            "select delete_attachment_path('a/b.jpg') as one, before_delete_attachment_path('a', 'b') as two");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getInt(QStringLiteral("one")), 0);
        QCOMPARE(cursor.getInt(QStringLiteral("two")), 0);
        QVERIFY(!cursor.isNull(QStringLiteral("one")));
    }

    void triggers_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("check");
        QTest::addColumn<int>("expected");
        const auto row = [](const char* name, const char* action, const char* check, int expected) {
            QTest::newRow(name) << QString::fromLatin1(action) << QString::fromLatin1(check) << expected;
        };
        // clean_orphaned_handles2 and clean_orphaned_handles
        row("handle named by no join and no message goes",
            "DELETE FROM chat_handle_join WHERE chat_id=2; DELETE FROM message WHERE rowid=3",
            "select count(*) from handle where rowid=2", 0);
        row("handle still in a conversation stays", "DELETE FROM message WHERE rowid=3",
            "select count(*) from handle where rowid=2", 1);
        row("handle of another message stays",
            "DELETE FROM chat_handle_join WHERE chat_id=1; DELETE FROM message WHERE rowid=2",
            "select count(*) from handle where rowid=1", 1);
        row("leaving the last conversation removes the handle",
            "DELETE FROM message WHERE rowid=3; DELETE FROM chat_handle_join WHERE handle_id=2",
            "select count(*) from handle where rowid=2", 0);
        row("leaving a conversation keeps a handle that sends messages",
            "DELETE FROM chat_handle_join WHERE handle_id=2", "select count(*) from handle where rowid=2", 1);
        // clean_orphaned_messages
        row("message without a conversation goes", "DELETE FROM chat_message_join WHERE message_id=3",
            "select count(*) from message where rowid=3", 0);
        row("message in another conversation stays", "DELETE FROM chat_message_join WHERE chat_id=1 and message_id=1",
            "select count(*) from message where rowid=1", 1);
        row("orphaned message takes its handle along",
            "DELETE FROM chat_handle_join WHERE chat_id=2; DELETE FROM chat_message_join WHERE message_id=3",
            "select count(*) from handle where rowid=2", 0);
        row("last join of a message in two conversations takes it",
            "DELETE FROM chat_message_join WHERE chat_id=2 and message_id=1; DELETE FROM chat_message_join WHERE "
            "chat_id=1 and message_id=1",
            "select count(*) from message where rowid=1", 0);
        row("only the message of the removed join row is looked at",
            "INSERT INTO message (ROWID, guid) VALUES (9, 'loose'); DELETE FROM chat_message_join WHERE message_id=4",
            "select count(*) from message where rowid in (4, 9)", 1);
        row("removing a conversation's joins takes only its own messages",
            "DELETE FROM chat_message_join WHERE chat_id=2",
            "select group_concat(rowid, '') from (select rowid from message order by rowid)", 12);
        // clean_orphaned_attachments
        row("attachment used by another message stays", "DELETE FROM message_attachment_join WHERE message_id=1",
            "select count(*) from attachment where rowid=1", 1);
        row("attachment used by nothing goes", "DELETE FROM message_attachment_join WHERE attachment_id=1",
            "select count(*) from attachment where rowid=1", 0);
        row("unjoined attachment untouched", "DELETE FROM message_attachment_join WHERE attachment_id=2",
            "select count(*) from attachment where rowid=3", 1);
        // set_message_has_attachments and clear_message_has_attachments
        row("joined message is marked", "", "select cache_has_attachments from message where rowid=3", 1);
        row("message without attachments is not marked", "", "select cache_has_attachments from message where rowid=4",
            0);
        row("new join marks the message", "INSERT INTO message_attachment_join VALUES (4, 3)",
            "select cache_has_attachments from message where rowid=4", 1);
        row("last join removed clears the mark", "DELETE FROM message_attachment_join WHERE message_id=3",
            "select cache_has_attachments from message where rowid=3", 0);
        row("mark stays while a join is left",
            "INSERT INTO message_attachment_join VALUES (3, 3); DELETE FROM message_attachment_join WHERE message_id=3 "
            "and attachment_id=2",
            "select cache_has_attachments from message where rowid=3", 1);
    }

    void triggers()
    {
        QFETCH(QString, action);
        QFETCH(QString, check);
        QFETCH(int, expected);
        QTemporaryDir folder;
        auto store = newStore(folder);
        runScript(*store, QString::fromLatin1(triggerFixture));
        runScript(*store, action);
        QCOMPARE(scalar(*store, check), qint64(expected));
    }

    void oldLayoutIsUpgradedInPlace()
    {
        QTemporaryDir folder;
        writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout));
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        store.open();

        const QStringList messageColumns = columnsOf(store, QStringLiteral("message"));
        QCOMPARE(messageColumns.size(), 51);
        QCOMPARE(messageColumns.last(), QStringLiteral("logic_hash TEXT"));
        QVERIFY(messageColumns.contains(QStringLiteral("other_handle INTEGER =-1")));
        QVERIFY(messageColumns.contains(QStringLiteral("item_type INTEGER =0")));
        QVERIFY(columnsOf(store, QStringLiteral("chat")).contains(QStringLiteral("group_id TEXT")));
        QCOMPARE(indexColumns(store, QStringLiteral("message_idx_logic_hash")),
            QStringList { QStringLiteral("logic_hash") });

        // Columns the upgrade never adds stay missing, and the column tests say so.
        QVERIFY(!store.chatKeepsLast());
        QVERIFY(!store.handleHasContactName());
        QVERIFY(!store.handleHasContactPhoto());
        QVERIFY(store.messageHasItemType());
        QVERIFY(store.messageHasColumn(QStringLiteral("logic_hash")));
        QVERIFY(store.chatHasColumn(QStringLiteral("group_id")));
        QVERIFY(!store.attachmentHasColumn(QStringLiteral("user_info")));

        QCOMPARE(scalar(store, QStringLiteral("select count(*) from message")), 2);
        QCOMPARE(scalar(store, QStringLiteral("select count(*) from message where logic_hash is null")), 2);
        QCOMPARE(scalar(store, QStringLiteral("select other_handle from message where rowid=2")), -1);
        QCOMPARE(scalar(store, QStringLiteral("select count(*) from chat_message_join")), 2);
        QCOMPARE(scalar(store, QStringLiteral("select count(*) from handle")), 1);
    }

    void upgradeRunsOncePerObject()
    {
        QTemporaryDir folder;
        writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout));
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        store.open();
        QVERIFY(store.tableSql().value(QStringLiteral("chat")).contains(QLatin1String("group_id")));

        // Another connection takes the column away again; opening the same object again does not restore it.
        {
            Sqlite3DB other;
            other.openThrow(store.dbPath(), Sqlite3DB::ReadWrite);
            runScript(other, QStringLiteral("ALTER TABLE chat DROP COLUMN group_id"));
        }
        store.open();
        QVERIFY(!store.tbInfo(QStringLiteral("chat")).contains(QStringLiteral("group_id")));

        IOS6MessageDb again(QDir(folder.path()), QString(), true);
        again.open();
        QVERIFY(again.tbInfo(QStringLiteral("chat")).contains(QStringLiteral("group_id")));
    }

    void noUpgradeWithoutFlag()
    {
        QTemporaryDir folder;
        writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout));
        IOS6MessageDb store(QDir(folder.path()), QString(), false);
        store.open();
        QVERIFY(!store.tbInfo(QStringLiteral("message")).contains(QStringLiteral("logic_hash")));
        QVERIFY(!store.messageHasColumn(QStringLiteral("logic_hash")));
    }

    void failedUpgradeStepReportsAndRetries()
    {
        QTemporaryDir folder;
        // A view cannot take a new column, so the first step fails.
        writeStoreByScript(QDir(folder.path()),
            QStringLiteral("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT);"
                           "CREATE VIEW chat AS SELECT 1 AS ROWID"));
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        const QString text = thrownText([&] { store.open(); });
        const QString failedStep = QStringLiteral("line:1, sql:ALTER TABLE chat ADD COLUMN group_id TEXT;, error:");
        QVERIFY2(text.startsWith(failedStep) && text.size() > failedStep.size(), qPrintable(text));
        QVERIFY(!store.isOpen());
        QVERIFY(QFile::exists(store.dbPath()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.open());
    }

    void wideCleanUpIsNarrowed_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("narrowed");
        QTest::newRow("as earlier stores have it") << QString::fromLatin1(wideCleanUp) << true;
        QTest::newRow("lower case on one line") << QStringLiteral(
            "create trigger clean_orphaned_messages after delete on chat_message_join begin delete from "
            "message where (select 1 from chat_message_join where message_id=message.rowid limit 1) "
            "is null; end") << true;
        QTest::newRow("tabs, quotes, for each row, qualified and reversed") << QStringLiteral(
            "CREATE TRIGGER \"clean_orphaned_messages\" AFTER DELETE ON [chat_message_join] FOR EACH "
            "ROW\n\tBEGIN\n\t\tDELETE   FROM message\n\t\tWHERE ( SELECT 1 FROM chat_message_join WHERE "
            "message.ROWID=chat_message_join.message_id ) IS NULL ;\n\tEND") << true;
        QTest::newRow("another action as well") << QStringLiteral(
            "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join BEGIN DELETE FROM "
            "message WHERE (SELECT 1 from chat_message_join WHERE message_id = message.ROWID LIMIT 1) "
            "IS NULL; DELETE FROM chat WHERE ROWID = old.chat_id; END")
                                                << false;
        QTest::newRow("only some joins") << QStringLiteral(
            "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join WHEN "
            "old.chat_id > 1 BEGIN DELETE FROM message WHERE (SELECT 1 from chat_message_join WHERE "
            "message_id = message.ROWID LIMIT 1) IS NULL; END")
                                         << false;
    }

    void wideCleanUpIsNarrowed()
    {
        QFETCH(QString, trigger);
        QFETCH(bool, narrowed);
        const QString triggerSql
            = QStringLiteral("select sql from sqlite_master where type='trigger' and name='clean_orphaned_messages'");
        QTemporaryDir folder;
        writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout) + trigger);
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        store.open();
        Sqlite3Cursor stored = store.queryThrow(Sqlite3Sql(triggerSql));
        QVERIFY(stored.moveNext());
        Sqlite3Cursor fresh = m_store->queryThrow(Sqlite3Sql(triggerSql));
        QVERIFY(fresh.moveNext());
        QCOMPARE(stored.getText(0), narrowed ? fresh.getText(0) : trigger);
        if (!narrowed)
            return;
        QCOMPARE(indexColumns(store, QStringLiteral("chat_handle_join_idx_handle_id")),
            QStringList { QStringLiteral("handle_id") });
        // A message that never had a conversation is left alone by the removal of another's join.
        runScript(store,
            QStringLiteral("INSERT INTO message (ROWID, guid) VALUES (9, 'loose'); DELETE FROM chat_message_join WHERE "
                           "message_id=2"));
        QCOMPARE(scalar(store,
                     QStringLiteral("select group_concat(rowid, '') from (select rowid from message order by rowid)")),
            19);
    }

    void unreadableFileIsNamed_data()
    {
        QTest::addColumn<QByteArray>("content"); // SQL for a database, otherwise the file's bytes
        QTest::addColumn<bool>("isSql");
        QTest::newRow("no conversation table")
            << QByteArray("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT)") << true;
        QTest::newRow("no tables") << QByteArray("CREATE TABLE other (x)") << true;
        QTest::newRow("not a database") << QByteArray("plain text, not a database at all\n").repeated(64) << false;
    }

    void unreadableFileIsNamed()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, isSql);
        QTemporaryDir folder;
        const QString path = smsDbPath(QDir(folder.path()));
        if (isSql) {
            writeStoreByScript(QDir(folder.path()), QString::fromLatin1(content));
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        QCOMPARE(thrownText([&] { store.open(); }),
            QStringLiteral("The file \"%1\" is not a message database this application can read.")
                .arg(QDir::toNativeSeparators(path)));
        QVERIFY(!store.isOpen());
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void readOnlyStoreIsReadAsItIs_data()
    {
        QTest::addColumn<bool>("complete"); // full schema but without the speed-ups, otherwise the old layout
        QTest::addColumn<bool>("writeAhead");
        QTest::addColumn<bool>("lockFolder"); // the folder instead of the file cannot be written
        QTest::newRow("old layout, file") << false << false << false;
        QTest::newRow("old layout, folder") << false << false << true;
        QTest::newRow("write-ahead, file") << false << true << false;
        QTest::newRow("write-ahead, folder") << false << true << true;
        QTest::newRow("complete store, file") << true << false << false;
        QTest::newRow("complete store, write-ahead folder") << true << true << true;
    }

    void readOnlyStoreIsReadAsItIs()
    {
        QFETCH(bool, complete);
        QFETCH(bool, writeAhead);
        QFETCH(bool, lockFolder);
        QTemporaryDir folder;
        const QString path = smsDbPath(QDir(folder.path()));
        if (complete) {
            newStore(folder).reset();
            Sqlite3DB db;
            db.openThrow(path, Sqlite3DB::ReadWrite);
            runScript(db,
                QStringLiteral("DROP INDEX chat_handle_join_idx_handle_id; DROP TRIGGER clean_orphaned_messages;")
                    + QString::fromLatin1(wideCleanUp) + QString::fromLatin1(triggerFixture));
        } else {
            writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout));
        }
        if (writeAhead) {
            Sqlite3DB db;
            db.openThrow(path, Sqlite3DB::ReadWrite);
            Sqlite3Cursor mode = db.queryThrow("PRAGMA journal_mode=WAL");
            QVERIFY(mode.moveNext());
            QCOMPARE(mode.getText(0), QStringLiteral("wal"));
        }
        const QDir storeDir = QFileInfo(path).dir();
        const QString schema = schemaText(path);
        qint64 messages = 0;
        {
            Sqlite3DB db;
            db.openThrow(path, Sqlite3DB::ReadWrite);
            messages = scalar(db, QStringLiteral("select count(*) from message"));
        }

        QCOMPARE(storeDir.entryList(QDir::Files), QStringList { QStringLiteral("sms.db") });
        ReadOnlyPath readOnly(lockFolder ? storeDir.path() : path);
        if (!readOnly.isReadOnly())
            QSKIP("this machine offers no way to make a path unwritable for this process");
        {
            IOS6MessageDb store(QDir(folder.path()), QString(), true);
            store.open();
            QVERIFY(store.isReadOnly());
            _MsgCollection collection;
            store.messages(collection, 0);
            QVERIFY(collection.chats().size() >= 1);
            QCOMPARE(scalar(store, QStringLiteral("select count(*) from message")), messages);
            QCOMPARE(schemaText(store), schema);
        }
        QCOMPARE(storeDir.entryList(QDir::Files), QStringList { QStringLiteral("sms.db") });
    }

    void completeStoreOpensWhileAnotherWrites()
    {
        QTemporaryDir folder;
        newStore(folder).reset();
        const QString path = smsDbPath(QDir(folder.path()));
        Sqlite3DB writer;
        writer.openThrow(path, Sqlite3DB::ReadWrite);
        runScript(writer,
            QStringLiteral("DROP INDEX chat_handle_join_idx_handle_id; DROP TRIGGER clean_orphaned_messages;")
                + QString::fromLatin1(wideCleanUp));
        const QString schema = schemaText(path);
        writer.beginTran();
        {
            QElapsedTimer timer;
            timer.start();
            IOS6MessageDb store(QDir(folder.path()), QString(), true);
            store.open();
            QVERIFY(!store.isReadOnly());
            QVERIFY2(timer.elapsed() < Sqlite3DB::busyTimeoutMs, "the optional steps waited for the lock");
            _MsgCollection collection;
            store.messages(collection, 0);
        }
        writer.rollbackTran();
        QCOMPARE(schemaText(path), schema);

        // Once the file is free, the next open adds them.
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        store.open();
        QCOMPARE(indexColumns(store, QStringLiteral("chat_handle_join_idx_handle_id")),
            QStringList { QStringLiteral("handle_id") });
        QVERIFY(schemaText(path) != schema);
    }

    void unwritableFolderFailsToCreate()
    {
        QTemporaryDir folder;
        // A file where the store's folder should be makes creation impossible.
        QVERIFY(writeFile(QDir(folder.path()).filePath(QStringLiteral("file-relay"))));
        IOS6MessageDb store(QDir(folder.path()), QString(), true);
        QVERIFY_THROWS_EXCEPTION(std::exception, store.open());
        QVERIFY(!store.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestMessageStoreSchema)
#include "TestMessageStoreSchema.moc"
