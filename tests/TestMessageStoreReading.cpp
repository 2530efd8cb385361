// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TaskReporting.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "support/FileBytes.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>

namespace {

const QString gbMcc = QStringLiteral("234");
const QString addressBookDir = QStringLiteral("file-relay/var/mobile/Library/AddressBook");

// Three conversations (the third without messages) and three correspondents as the phone wrote them:
// a national number with its country, an international one without a country, an alphanumeric sender.
// Message 5 is in conversations 1 and 2; message 4 is of item_type 4.
const char fixture[] = R"(
INSERT INTO chat (ROWID, guid, chat_identifier, display_name, _last) VALUES (1, 'c1', '+447946123456', 'one', 300);
INSERT INTO chat (ROWID, guid, chat_identifier, _last) VALUES (2, 'c2', 'group', 200);
INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (3, 'c3', 'empty');
INSERT INTO handle (ROWID, id, country, service, _ct_name) VALUES (1, '07946 123456', 'gb', 'SMS', 'Stored Name');
INSERT INTO handle (ROWID, id, country, service) VALUES (2, '+1 (555) 010-9999', '', 'SMS');
INSERT INTO handle (ROWID, id, country, service) VALUES (3, 'BANKALERT', 'us', 'SMS');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO chat_handle_join VALUES (2, 2);
INSERT INTO chat_handle_join VALUES (2, 3);
INSERT INTO message (ROWID, guid, text, handle_id, date, is_from_me, country, service)
  VALUES (1, 'm1', 'first', 1, 100, 0, 'de', 'SMS');
INSERT INTO message (ROWID, guid, text, handle_id, date, is_from_me, service)
  VALUES (2, 'm2', 'reply', 1, 300, 1, 'SMS');
INSERT INTO message (ROWID, guid, text, handle_id, date, other_handle) VALUES (3, 'm3', 'to group', 2, 50, 3);
INSERT INTO message (ROWID, guid, text, handle_id, date, item_type) VALUES (4, 'm4', 'hidden', 1, 400, 4);
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (5, 'm5', 'both', 2, 200);
INSERT INTO chat_message_join VALUES (1, 1);
INSERT INTO chat_message_join VALUES (1, 2);
INSERT INTO chat_message_join VALUES (2, 3);
INSERT INTO chat_message_join VALUES (1, 4);
INSERT INTO chat_message_join VALUES (1, 5);
INSERT INTO chat_message_join VALUES (2, 5);
)";

// The same conversations in a layout without chat._last, chat.group_id, the handle's contact columns and the
// later message columns (so no item_type either).
const char oldLayout[] = R"(
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  handle_id INTEGER DEFAULT 0, country TEXT, service TEXT, date INTEGER, is_from_me INTEGER DEFAULT 0);
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER,
  chat_identifier TEXT, display_name TEXT);
CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, handle_id));
CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, PRIMARY KEY (chat_id, message_id));
INSERT INTO chat (ROWID, guid) VALUES (1, 'c1');
INSERT INTO chat (ROWID, guid) VALUES (2, 'c2');
INSERT INTO chat (ROWID, guid) VALUES (3, 'c3');
INSERT INTO handle (ROWID, id, country, service) VALUES (1, '07946 123456', 'gb', 'SMS');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'm1', 'a', 1, 100);
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (2, 'm2', 'b', 1, 900);
INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (3, 'm3', 'c', 1, 500);
INSERT INTO chat_message_join VALUES (1, 1);
INSERT INTO chat_message_join VALUES (1, 2);
INSERT INTO chat_message_join VALUES (2, 3);
)";

// A store as newer phones write it: dates in nanoseconds since 2001, no _last, no logic_hash, and
// columns of their own. %1 is the stored date of the one message.
const char phoneLayout[] = R"(
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, state INTEGER,
  account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, account_login TEXT,
  is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name TEXT, group_id TEXT,
  is_filtered INTEGER DEFAULT 0, last_read_message_timestamp INTEGER DEFAULT 0);
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  handle_id INTEGER DEFAULT 0, service TEXT, date INTEGER, date_read INTEGER, date_delivered INTEGER,
  is_from_me INTEGER DEFAULT 0, item_type INTEGER DEFAULT 0, other_handle INTEGER DEFAULT 0,
  associated_message_guid TEXT);
CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));
CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, message_date INTEGER DEFAULT 0,
  PRIMARY KEY (chat_id, message_id));
INSERT INTO handle (ROWID, id, country, service) VALUES (1, '+447946123456', 'gb', 'SMS');
INSERT INTO chat (ROWID, guid, chat_identifier, service_name) VALUES (1, 'SMS;-;+447946123456', '+447946123456', 'SMS');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, date_delivered)
  VALUES (1, 'm1', 'old', 1, 'SMS', 1, 1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, date_delivered)
  VALUES (2, 'm2', 'new', 1, 'SMS', %1, %1, %1);
INSERT INTO chat_message_join (chat_id, message_id) VALUES (1, 1);
INSERT INTO chat_message_join (chat_id, message_id) VALUES (1, 2);
)";

// 2,400 messages in seven conversations, every ninth also in a second conversation, every thirteenth
// of item_type 4, with gaps in the row ids of both the messages and the conversation lists.
const char largeStore[] = R"(
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 7)
  INSERT INTO chat (ROWID, guid, chat_identifier) SELECT i, 'c' || i, '+4479461234' || i FROM n;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 7)
  INSERT INTO handle (ROWID, id, country, service) SELECT i, '+4479461234' || i, 'gb', 'SMS' FROM n;
INSERT INTO chat_handle_join SELECT ROWID, ROWID FROM chat;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2400)
  INSERT INTO message (ROWID, guid, text, handle_id, date, item_type, other_handle, service)
  SELECT i * 3, 'm' || i, 'text ' || i || ' ' || char(20000 + i % 50), i % 7 + 1, i,
    CASE WHEN i % 13 = 0 THEN 4 ELSE 0 END, CASE WHEN i % 5 = 0 THEN (i + 3) % 7 + 1 ELSE 0 END, 'SMS' FROM n;
INSERT INTO chat_message_join (chat_id, message_id) SELECT handle_id, ROWID FROM message;
INSERT INTO chat_message_join (chat_id, message_id)
  SELECT (handle_id + 2) % 7 + 1, ROWID FROM message WHERE ROWID % 27 = 0;
DELETE FROM chat_message_join WHERE rowid % 100 < 20;
)";

// Everything a read leaves in a collection that a reader of it may see, as text lines.
QStringList describe(const _MsgCollection& collection)
{
    QStringList lines;
    for (const _MsgMessage* message : collection.messages()) {
        lines.append(QStringLiteral("m %1 %2 chat=%3 handle=%4 other=%5 %6")
                         .arg(message->rowid)
                         .arg(message->text)
                         .arg(message->chat ? message->chat->rowid : 0)
                         .arg(message->handle ? message->handle->rowid : 0)
                         .arg(message->otherHandle ? message->otherHandle->rowid : 0)
                         .arg(message->country));
    }
    for (const _MsgChat* chat : collection.chats())
        lines.append(QStringLiteral("c %1: %2").arg(chat->rowid).arg(chat->messages.keys().join(QLatin1Char(','))));
    lines.sort();
    return lines;
}

// Sets how reads split for as long as it lives.
class ScopedReadSplit
{
public:
    ScopedReadSplit(int parts, qint64 minRowsPerPart)
        : m_before(IOS6MessageDb::setReadSplit({ parts, minRowsPerPart }))
    {
    }
    ~ScopedReadSplit() { IOS6MessageDb::setReadSplit(m_before); }

private:
    IOS6MessageDb::ReadSplit m_before;
};

} // namespace

class TestMessageStoreReading : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    static std::unique_ptr<IOS6MessageDb> largeStoreAt(const QString& folder)
    {
        auto store = std::make_unique<IOS6MessageDb>(QDir(folder), gbMcc, true);
        store->open();
        runScript(*store, QString::fromLatin1(largeStore));
        return store;
    }

    std::unique_ptr<IOS6MessageDb> fixtureStore(const QString& folder)
    {
        auto store = std::make_unique<IOS6MessageDb>(QDir(folder), gbMcc, true);
        store->open();
        runScript(*store, QString::fromLatin1(fixture));
        return store;
    }

    void writeAddressBook(const QDir& folder, bool complete)
    {
        QVERIFY(folder.mkpath(addressBookDir));
        Sqlite3DB book;
        book.openThrow(
            folder.filePath(addressBookDir + QStringLiteral("/AddressBook.sqlitedb")), Sqlite3DB::ReadWriteCreate);
        QString script = QStringLiteral("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, "
                                        "Middle TEXT); INSERT INTO ABPerson VALUES (1, 'Alice', 'Smith', NULL)");
        if (complete) {
            script += QStringLiteral(";CREATE TABLE ABMultiValue (record_id INTEGER, property INTEGER, value TEXT);"
                                     "INSERT INTO ABMultiValue VALUES (1, 3, '07946 123456');"
                                     "INSERT INTO ABMultiValue VALUES (1, 3, 'bankalert')");
        }
        runScript(book, script);
        book.close();
        Sqlite3DB images;
        images.openThrow(folder.filePath(addressBookDir + QStringLiteral("/AddressBookImages.sqlitedb")),
            Sqlite3DB::ReadWriteCreate);
        runScript(images,
            QStringLiteral("CREATE TABLE ABThumbnailImage (record_id INTEGER, data BLOB);"
                           "INSERT INTO ABThumbnailImage VALUES (1, X'FFD8FFE0')"));
    }

private slots:
    void phoneDates_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<int>("seconds");
        QTest::newRow("seconds") << qint64(568000000) << 568000000;
        QTest::newRow("nanoseconds of 2019") << qint64(568000000123456789) << 568000000;
        QTest::newRow("seconds before 2001") << qint64(-86400) << -86400;
        QTest::newRow("nanoseconds before 2001") << qint64(-86400500000000) << -86401;
        QTest::newRow("just past the range of seconds") << qint64(2147483648) << 2;
        QTest::newRow("nanoseconds after 2069")
            << std::numeric_limits<qint64>::max() << std::numeric_limits<int>::max();
    }

    void phoneDates()
    {
        QFETCH(qint64, stored);
        QFETCH(int, seconds);
        QTemporaryDir folder;
        const QDir dir(folder.path());
        writeStoreByScript(dir, QString::fromLatin1(phoneLayout).arg(stored));
        IOS6MessageDb store(dir, gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        const _MsgMessage* message = collection.message(2);
        QVERIFY(message);
        QCOMPARE(message->date, seconds);
        QCOMPARE(message->date_read, seconds);
        QCOMPARE(message->date_delivered, seconds);
        QCOMPARE(collection.chat(1)->_last, std::max(seconds, 1));
    }

    void initTestCase()
    {
        useTemporaryHome();
        QVERIFY(m_folder.isValid());
        fixtureStore(m_folder.path());
    }

    void chatFieldsReadOnce()
    {
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.chats(collection);
        QCOMPARE(collection.chats().size(), 3);
        QCOMPARE(collection.handles().size(), 3);
        QVERIFY(collection.messages().isEmpty());
        _MsgChat* first = collection.chat(1);
        QCOMPARE(first->guid, QStringLiteral("c1"));
        QCOMPARE(first->chat_identifier, QStringLiteral("+447946123456"));
        QCOMPARE(first->display_name, QStringLiteral("one"));
        QCOMPARE(first->_last, 300);
        QCOMPARE(first->handles.value(QStringLiteral("1")), collection.handle(1));
        QCOMPARE(collection.chat(3)->_last, 0);
        QVERIFY(collection.chat(3)->handles.isEmpty());
        _MsgHandle* handle = collection.handle(2);
        first->display_name = QStringLiteral("changed in memory");
        handle->id = QStringLiteral("changed too");

        store.chats(collection);
        QCOMPARE(collection.chats().size(), 3);
        QCOMPARE(collection.handles().size(), 3);
        QCOMPARE(collection.chat(1), first);
        QCOMPARE(collection.handle(2), handle);
        QCOMPARE(first->display_name, QStringLiteral("changed in memory"));
        QCOMPARE(handle->id, QStringLiteral("changed too"));
        QCOMPARE(collection.chat(2)->handles.size(), 2);
    }

    void correspondentsNormalisedOnReading_data()
    {
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("storedId");
        QTest::newRow("national number with its country")
            << qint64(1) << QStringLiteral("+447946123456") << QStringLiteral("gb") << QStringLiteral("07946 123456");
        QTest::newRow("no country takes the phone's") << qint64(2) << QStringLiteral("+15550109999")
                                                      << QStringLiteral("gb") << QStringLiteral("+1 (555) 010-9999");
        QTest::newRow("sender name") << qint64(3) << QStringLiteral("bankalert") << QStringLiteral("us")
                                     << QStringLiteral("BANKALERT");
    }

    void correspondentsNormalisedOnReading()
    {
        QFETCH(qint64, rowid);
        QFETCH(QString, id);
        QFETCH(QString, country);
        QFETCH(QString, storedId);
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.chats(collection);
        QCOMPARE(collection.handle(rowid)->id, id);
        QCOMPARE(collection.handle(rowid)->country, country);
        Sqlite3Cursor row
            = store.queryThrow(Sqlite3Sql("select id, country from handle where rowid=?").addInt64Param(rowid));
        QVERIFY(row.moveNext());
        QCOMPARE(row.getText(0), storedId);
    }

    void oneConversationOnly()
    {
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 1);
        QCOMPARE(collection.chats().size(), 3);
        QList<qint64> read = collection.messages().keys();
        std::sort(read.begin(), read.end());
        QCOMPARE(read, (QList<qint64> { 1, 2, 5 }));
        QCOMPARE(collection.chat(1)->messages.keys(),
            (QStringList { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5") }));
        QVERIFY(collection.chat(2)->messages.isEmpty());

        // Reading the other conversation into the same collection adds only what is missing.
        _MsgMessage* shared = collection.message(5);
        store.messages(collection, 2);
        QCOMPARE(collection.messages().size(), 4);
        QCOMPARE(collection.message(5), shared);
        QCOMPARE(collection.chat(2)->messages.size(), 2);
    }

    void allConversations()
    {
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QCOMPARE(collection.messages().size(), 4);
        QVERIFY2(!collection.message(4), "item_type 4 is never read");
        QCOMPARE(collection.chat(1)->messages.size(), 3);
        QCOMPARE(collection.chat(2)->messages.size(), 2);
        QVERIFY(collection.chat(3)->messages.isEmpty());

        // One record for the message joined to two conversations, listed in both.
        _MsgMessage* both = collection.message(5);
        QVERIFY(collection.chat(1)->messages.values().contains(both));
        QVERIFY(collection.chat(2)->messages.values().contains(both));
        QVERIFY(both->chat == collection.chat(1) || both->chat == collection.chat(2));
    }

    void messageFieldsAndLinks()
    {
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, -1);
        const _MsgMessage* first = collection.message(1);
        QCOMPARE(first->rowid, 1);
        QCOMPARE(first->readRowId, 1);
        QCOMPARE(first->guid, QStringLiteral("m1"));
        QCOMPARE(first->text, QStringLiteral("first"));
        QCOMPARE(first->date, 100);
        QCOMPARE(first->service, QStringLiteral("SMS"));
        QCOMPARE(first->country, QStringLiteral("de")); // its own country is kept
        QCOMPARE(first->handle, collection.handle(1));
        QCOMPARE(first->chat, collection.chat(1));
        QCOMPARE(first->other_handle, -1);
        QVERIFY(!first->otherHandle);
        QVERIFY(first->attachments.isEmpty());

        const _MsgMessage* reply = collection.message(2);
        QCOMPARE(reply->is_from_me, 1);
        QCOMPARE(reply->country, QStringLiteral("gb")); // taken from the correspondent

        const _MsgMessage* group = collection.message(3);
        QCOMPARE(group->handle, collection.handle(2));
        QCOMPARE(group->otherHandle, collection.handle(3));
        QCOMPARE(group->version, 0);
    }

    // Each row: the rarely set columns of messages 1, 2, ... of one conversation, read in that order,
    // separated by ";", each as "service_center|group_title|is_played|date_played|attributedBody in hex"
    // (empty is NULL).
    void rarelySetColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("a set row between rows of defaults")
            << QStringLiteral("||||;+447700900000|Trip|1|568000000|;||||");
        QTest::newRow("equal rows, then a change, then equal rows")
            << QStringLiteral("+447700900000|Trip|0||;+447700900000|Trip|0||;+447700900001|Trip|0||;"
                              "+447700900001|Trip|0||");
        QTest::newRow("bodies of one length") << QStringLiteral("||||0102;||||0103;||||0102;||||");
        QTest::newRow("a date in nanoseconds equal to one in seconds")
            << QStringLiteral("|||568000000|;|||568000000123456789|;||||");
        QTest::newRow("a flag alone") << QStringLiteral("||1||;||2||;||0||;||1||");
    }

    void rarelySetColumns()
    {
        QFETCH(QString, text);
        const QStringList rows = text.split(QLatin1Char(';'));
        QTemporaryDir folder;
        {
            IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
            store.open();
            runScript(store,
                QStringLiteral("INSERT INTO chat (ROWID, guid) VALUES (1, 'c1');"
                               "INSERT INTO handle (ROWID, id, country, service) VALUES (1, '07946 123456', 'gb', "
                               "'SMS');"));
            for (int i = 0; i < rows.size(); ++i) {
                const QStringList values = rows.at(i).split(QLatin1Char('|'));
                Sqlite3Sql insert("INSERT INTO message (ROWID, guid, text, handle_id, service_center, group_title, "
                                  "is_played, date_played, attributedBody) VALUES (?, ?, 'x', 1, ?, ?, ?, ?, ?)");
                insert.addIntParam(i + 1).addTextParam(QStringLiteral("m%1").arg(i + 1));
                values.at(0).isEmpty() ? insert.addNullParam() : insert.addTextParam(values.at(0));
                values.at(1).isEmpty() ? insert.addNullParam() : insert.addTextParam(values.at(1));
                insert.addIntParam(values.at(2).toInt()).addInt64Param(values.at(3).toLongLong());
                if (values.at(4).isEmpty())
                    insert.addNullParam();
                else
                    insert.addBlobParam(QByteArray::fromHex(values.at(4).toLatin1()));
                store.executeThrow(insert);
                store.executeThrow(Sqlite3Sql("INSERT INTO chat_message_join VALUES (1, ?)").addIntParam(i + 1));
            }
        }

        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QCOMPARE(collection.messages().size(), rows.size());
        const auto check = [&](int i, const _MsgMessage* message) {
            const QStringList values = rows.at(i).split(QLatin1Char('|'));
            const _MsgMessageExtras& extras = message->extras();
            QCOMPARE(extras.service_center, values.at(0));
            QCOMPARE(extras.group_title, values.at(1));
            QCOMPARE(extras.is_played, values.at(2).toInt());
            const qint64 played = values.at(3).toLongLong();
            QCOMPARE(extras.date_played, int(played > std::numeric_limits<int>::max() ? played / 1000000000 : played));
            QCOMPARE(extras.attributedBody, QByteArray::fromHex(values.at(4).toLatin1()));
            QCOMPARE(extras.account_guid, QString());
            QCOMPARE(extras.is_emote, 0);
        };
        for (int i = 0; i < rows.size(); ++i) {
            check(i, collection.message(i + 1));
            // Neighbours of equal values hold one copy.
            if (i > 0 && rows.at(i) == rows.at(i - 1))
                QCOMPARE(&collection.message(i + 1)->extras(), &collection.message(i)->extras());
        }

        // Changing one record's columns leaves every record it shared them with as read.
        _MsgMessage* first = collection.message(1);
        first->editExtras().group_title = QStringLiteral("changed");
        first->editExtras().is_played = 7;
        QCOMPARE(first->extras().group_title, QStringLiteral("changed"));
        for (int i = 1; i < rows.size(); ++i)
            check(i, collection.message(i + 1));
    }

    // A read that fails part of the way (here a row whose date can not be computed) leaves every
    // message it read findable by row id and listed in its conversations, the one joined to two of them
    // once.
    void readStoppedPartWay_data()
    {
        QTest::addColumn<int>("parts");
        QTest::newRow("one connection") << 1;
        // The second part fails on its own connection and again when this thread reads it instead.
        QTest::newRow("in two parts") << 2;
    }

    void readStoppedPartWay()
    {
        QFETCH(int, parts);
        const ScopedReadSplit split(parts, 4);
        QTemporaryDir folder;
        const QDir dir(folder.path());
        writeStoreByScript(dir,
            QStringLiteral(
                "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, country TEXT, service TEXT);"
                "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT, _last INTEGER);"
                "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
                "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, "
                "PRIMARY KEY (chat_id, message_id));"
                "CREATE TABLE message_rows (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, handle_id INTEGER, "
                "date INTEGER);"
                "CREATE VIEW message AS SELECT ROWID AS ROWID, guid, text, handle_id, "
                "CASE WHEN ROWID > 30 THEN abs(-9223372036854775807 - 1) ELSE date END AS date FROM message_rows;"
                "INSERT INTO handle VALUES (1, '+447946123456', 'gb', 'SMS');"
                "INSERT INTO chat VALUES (1, 'c1', '+447946123456', 40), (2, 'c2', 'group', 2);"
                "INSERT INTO chat_handle_join VALUES (1, 1), (2, 1);"
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
                "INSERT INTO message_rows SELECT i, 'm' || i, 'text ' || i, 1, i FROM n;"
                "INSERT INTO chat_message_join SELECT 1, ROWID FROM message_rows;"
                "INSERT INTO chat_message_join VALUES (2, 1), (2, 2);"));
        IOS6MessageDb store(dir, gbMcc, false);
        _MsgCollection collection;
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, store.messages(collection, 0));
        const qsizetype read = collection.messages().size();
        QVERIFY2(read > 0 && read < 40, qPrintable(QString::number(read)));
        QSet<const _MsgMessage*> listed;
        for (const _MsgChat* chat : collection.chats()) {
            for (const _MsgMessage* message : chat->messages) {
                QCOMPARE(collection.message(message->rowid), message);
                QCOMPARE(message->text, QStringLiteral("text %1").arg(message->rowid));
                listed.insert(message);
            }
        }
        QCOMPARE(listed.size(), read);
    }

    void lastComputedWithoutColumn()
    {
        QTemporaryDir folder;
        writeStoreByScript(QDir(folder.path()), QString::fromLatin1(oldLayout));
        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QVERIFY(!store.chatKeepsLast());
        QCOMPARE(collection.chat(1)->_last, 900);
        QCOMPARE(collection.chat(2)->_last, 500);
        QCOMPARE(collection.chat(3)->_last, 0);
        QCOMPARE(collection.messages().size(), 3);
        QCOMPARE(collection.handle(1)->id, QStringLiteral("+447946123456"));
        QVERIFY(collection.handle(1)->_ct_name.isEmpty());
    }

    // The column's default of 0 is not a date: a conversation whose messages are all older than 2001
    // gets its newest date from them, one with a stored date keeps it.
    void lastOfConversationsBefore2001()
    {
        QTemporaryDir folder;
        auto store = fixtureStore(folder.path());
        runScript(*store,
            QStringLiteral("INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (4, 'c4', 'old');"
                           "INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (6, 'm6', 'a', 1, -5000);"
                           "INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (7, 'm7', 'b', 1, -900);"
                           "INSERT INTO chat_message_join VALUES (4, 6);"
                           "INSERT INTO chat_message_join VALUES (4, 7);"));
        _MsgCollection collection;
        store->messages(collection, 0);
        QVERIFY(store->chatKeepsLast());
        QCOMPARE(collection.chat(4)->_last, -900);
        QCOMPARE(collection.chat(1)->_last, 300);
        QCOMPARE(collection.chat(3)->_last, 0);
    }

    // An attachment row is always read; its file only when the stored path, with every link resolved,
    // names a file inside the database folder. %OUT% stands for the absolute path of a file beside the
    // folder; link, when given, is made below file-relay/var/mobile and points at that file (a name
    // ending in .jpg) or at the folder holding it.
    void attachmentFilesStayInsideFolder_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("readable");
        QTest::newRow("inside") << QStringLiteral("~/Library/SMS/Attachments/aa/pic.jpg") << QString() << true;
        QTest::newRow("leading slash inside")
            << QStringLiteral("/var/mobile/Library/SMS/Attachments/aa/pic.jpg") << QString() << true;
        QTest::newRow("absolute outside") << QStringLiteral("%OUT%") << QString() << false;
        QTest::newRow("dot-dot to the outside") << QStringLiteral("../../outside.jpg") << QString() << false;
        QTest::newRow("dot-dot below home") << QStringLiteral("~/../../../../outside.jpg") << QString() << false;
        QTest::newRow("file link") << QStringLiteral("~/Library/SMS/Attachments/link.jpg")
                                   << QStringLiteral("Library/SMS/Attachments/link.jpg") << false;
        QTest::newRow("folder link") << QStringLiteral("~/Library/up/outside.jpg") << QStringLiteral("Library/up")
                                     << false;
        QTest::newRow("missing file") << QStringLiteral("~/Library/SMS/Attachments/none.jpg") << QString() << false;
    }

    void attachmentFilesStayInsideFolder()
    {
        QFETCH(QString, filename);
        QFETCH(QString, link);
        QFETCH(bool, readable);
        QTemporaryDir root;
        const QDir folder(root.filePath(QStringLiteral("db")));
        const QString outside = root.filePath(QStringLiteral("outside.jpg"));
        QVERIFY(writeFile(outside, "secret"));
        const QString inside
            = folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/Attachments/aa/pic.jpg"));
        QVERIFY(QDir().mkpath(QFileInfo(inside).path()));
        QVERIFY(writeFile(inside, "jpeg"));
        if (!link.isEmpty()) {
            const QString at = folder.filePath(QStringLiteral("file-relay/var/mobile/") + link);
            QVERIFY(QDir().mkpath(QFileInfo(at).path()));
            QVERIFY(QFile::link(link.endsWith(QLatin1String(".jpg")) ? outside : root.path(), at));
        }
        filename.replace(QLatin1String("%OUT%"), outside);
        {
            auto store = fixtureStore(folder.path());
            runScript(*store,
                QStringLiteral("INSERT INTO attachment (ROWID, guid, filename, mime_type, transfer_name, total_bytes, "
                               "created_date) VALUES (7, 'a7', '%1', 'image/jpeg', 'pic.jpg', 4, 123);"
                               "INSERT INTO message_attachment_join VALUES (1, 7);")
                    .arg(filename));
        }

        IOS6MessageDb store(folder, gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 1);
        const _MsgMessage* message = collection.message(1);
        QCOMPARE(message->attachments.size(), 1);
        const _MsgAttachment& attachment = message->attachments.first();
        QCOMPARE(attachment.rowid, 7);
        QCOMPARE(attachment.filename, filename);
        QCOMPARE(attachment.transfer_name, QStringLiteral("pic.jpg"));
        QCOMPARE(attachment.created_date, 123);
        QCOMPARE(messageDisplayText(*message), QStringLiteral("first [IMAGE]"));
        QCOMPARE(attachment.sourcePath, readable ? QFileInfo(inside).canonicalFilePath() : QString());
        QCOMPARE(store.attachmentFile(filename), attachment.sourcePath);
        // Messages of other conversations and without attachments have none.
        QVERIFY(collection.message(2)->attachments.isEmpty());
    }

    // The phone's address book names and pictures the correspondents it knows; without one, or with
    // one that can not be read (a warning, nothing more), the names stored with them stay.
    void addressBook_data()
    {
        QTest::addColumn<QString>("book"); // "complete", "broken" or "none"
        QTest::addColumn<QStringList>("names"); // of correspondents 1 to 3
        QTest::addColumn<QByteArray>("photo"); // of correspondent 1

        const QString alice = QStringLiteral("Alice Smith");
        QTest::newRow("names and pictures from the book")
            << "complete" << QStringList { alice, QString(), alice } << QByteArray::fromHex("FFD8FFE0");
        QTest::newRow("without a book") << "none" << QStringList { QStringLiteral("Stored Name"), QString(), QString() }
                                        << QByteArray();
        QTest::newRow("broken book only warns")
            << "broken" << QStringList { QStringLiteral("Stored Name"), QString(), QString() } << QByteArray();
    }

    void addressBook()
    {
        QFETCH(QString, book);
        QFETCH(QStringList, names);
        QFETCH(QByteArray, photo);

        QTemporaryDir folder;
        fixtureStore(folder.path());
        if (book != QLatin1String("none"))
            writeAddressBook(QDir(folder.path()), book == QLatin1String("complete"));
        if (book == QLatin1String("broken")) {
            QTest::ignoreMessage(QtDebugMsg, "rebuild IOSContactsMemDb.");
            QTest::ignoreMessage(QtWarningMsg,
                QRegularExpression(QStringLiteral("^IOS6MessageDb::chats, IOSContactsMemDb error\\. .+")));
        }
        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QCOMPARE(collection.messages().size(), 4);
        QStringList read;
        for (qint64 rowid = 1; rowid <= 3; ++rowid)
            read << collection.handle(rowid)->_ct_name;
        QCOMPARE(read, names);
        QCOMPARE(collection.handle(1)->_photo, photo);
        QVERIFY(collection.handle(2)->_photo.isEmpty());
    }

    void copiesShareRecords()
    {
        IOS6MessageDb store(QDir(m_folder.path()), gbMcc, true);
        _MsgCollection original;
        store.messages(original, 0);
        _MsgCollection copy = original;
        QVERIFY(copy.sharesBodyWith(original));
        QCOMPARE(copy.message(1), original.message(1));

        // Records read through one copy are seen by the other.
        store.messages(copy, 0);
        QCOMPARE(original.messages().size(), 4);

        // Removing a message listed in two conversations leaves no pointer to it behind.
        copy.removeMessage(5);
        QVERIFY(!original.message(5));
        QVERIFY(!original.chat(1)->messages.keys().contains(QStringLiteral("5")));
        QVERIFY(!original.chat(2)->messages.keys().contains(QStringLiteral("5")));

        _MsgMessage* orphan = original.message(1);
        original.removeChat(1);
        QVERIFY(!copy.chat(1));
        QCOMPARE(copy.message(1), orphan);
        QVERIFY(!orphan->chat);
    }

    void addKeepsFirstRecord()
    {
        _MsgCollection collection;
        auto first = std::make_unique<_MsgHandle>();
        first->rowid = 7;
        first->id = QStringLiteral("first");
        _MsgHandle* held = collection.addHandle(std::move(first));
        auto second = std::make_unique<_MsgHandle>();
        second->rowid = 7;
        second->id = QStringLiteral("second");
        QCOMPARE(collection.addHandle(std::move(second)), held);
        QCOMPARE(collection.handle(7)->id, QStringLiteral("first"));
        QCOMPARE(collection.handles().size(), 1);
    }

    // Each row: messages as "rowid:text in hex" ("rowid:NULL" for NULL), all in one conversation, read
    // back as QString::fromUtf8 decodes the stored bytes; the row ids also decide how many records a
    // whole read sets aside ahead. Sharing lists messages ("1,3") whose equal texts share one buffer.
    void textsAndRowIdsReadExactly_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("sharing");
        const auto hex = [](const char* utf8) { return QString::fromLatin1(QByteArray(utf8).toHex()); };
        QTest::newRow("ascii, empty and NULL") << QStringList { QStringLiteral("1:") + hex("See you at 8, ok?"),
            QStringLiteral("2:NULL"), QStringLiteral("3:") }
                                               << QStringList();
        const char longest[] = "A reply of forty-eight bytes, shared when equal.";
        const char longer[] = "A reply of forty-nine bytes, one past the longest";
        QTest::newRow("recurring short texts") << QStringList { QStringLiteral("1:") + hex("Ok"),
            QStringLiteral("2:") + hex("Thanks!"), QStringLiteral("3:") + hex("Ok"), QStringLiteral("4:") + hex("ok"),
            QStringLiteral("5:") + hex("Ok "), QStringLiteral("6:") + hex(longest), QStringLiteral("7:") + hex(longest),
            QStringLiteral("8:") + hex(longer), QStringLiteral("9:") + hex(longer), QStringLiteral("10:") + hex("Ok"),
            QStringLiteral("11:"), QStringLiteral("12:NULL") }
                                               << QStringList { QStringLiteral("1,3,10"), QStringLiteral("6,7") };
        // More distinct texts than the table of recurring ones keeps apart: some take each other's place.
        QStringList many;
        for (int i = 1; i <= 3000; ++i)
            many << QStringLiteral("%1:%2").arg(i).arg(
                QString::fromLatin1(QByteArray("reply ").append(QByteArray::number(i * 7 % 1500)).toHex()));
        QTest::newRow("recurring texts in place of each other") << many << QStringList();
        QTest::newRow("outside ascii, by far and by little")
            << QStringList { QStringLiteral("1:") + hex("Привет! Как дела? Всё хорошо, до встречи"),
                   QStringLiteral("2:") + hex("Grüße aus München"),
                   QStringLiteral("3:") + hex("👍🏽🎉👍🏽🎉👍🏽🎉👍🏽🎉"),
                   QStringLiteral("4:") + hex("ok 👍") }
            << QStringList();
        QTest::newRow("byte-order mark and broken sequences")
            << QStringList { QStringLiteral("1:efbbbf") + hex("Привет, Привет"),
                   QStringLiteral("2:c3ffc0af") + hex("Привет, Привет") + QStringLiteral("e282"),
                   QStringLiteral("3:eda080edb080") + hex("Всё хорошо, Всё хорошо") }
            << QStringList();
        QTest::newRow("row ids far apart") << QStringList { QStringLiteral("1:") + hex("first"),
            QStringLiteral("1099511627776:") + hex("far"), QStringLiteral("-5:") + hex("negative") }
                                           << QStringList();
        QTest::newRow("the widest span of row ids")
            << QStringList { QStringLiteral("-9223372036854775808:") + hex("lowest"),
                   QStringLiteral("9223372036854775807:") + hex("highest") }
            << QStringList();
    }

    void textsAndRowIdsReadExactly()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, sharing);
        QTemporaryDir folder;
        QString script = QStringLiteral("INSERT INTO chat (ROWID, guid) VALUES (1, 'c1');");
        QHash<qint64, QString> texts;
        for (const QString& row : rows) {
            const QStringList parts = row.split(QLatin1Char(':'));
            const qint64 rowid = parts[0].toLongLong();
            const bool null = parts[1] == QLatin1String("NULL");
            const QByteArray bytes = QByteArray::fromHex(parts[1].toLatin1());
            texts.insert(rowid, null ? QString() : QString::fromUtf8(bytes.constData(), bytes.size()));
            script += QStringLiteral("INSERT INTO message (ROWID, guid, text) VALUES (%1, 'm%1', %2);"
                                     "INSERT INTO chat_message_join VALUES (1, %1);")
                          .arg(rowid)
                          .arg(null ? parts[1] : QStringLiteral("CAST(x'%1' AS TEXT)").arg(parts[1]));
        }
        {
            IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
            store.open();
            runScript(store, script);
        }
        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QCOMPARE(collection.messages().size(), texts.size());
        QCOMPARE(collection.chat(1)->messages.size(), texts.size());
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            const _MsgMessage* message = collection.message(it.key());
            QVERIFY2(message, qPrintable(QString::number(it.key())));
            QCOMPARE(message->chat, collection.chat(1));
            QCOMPARE(message->text, it.value());
            QCOMPARE(message->text.isNull(), it.value().isNull());
        }
        for (const QString& group : sharing) {
            const QStringList rowids = group.split(QLatin1Char(','));
            const QChar* buffer = collection.message(rowids[0].toLongLong())->text.constData();
            for (const QString& rowid : rowids)
                QVERIFY2(collection.message(rowid.toLongLong())->text.constData() == buffer, qPrintable(group));
        }
    }

    void readInParts_data()
    {
        QTest::addColumn<int>("parts");
        QTest::addColumn<bool>("unsaved");
        QTest::newRow("two") << 2 << false;
        QTest::newRow("three") << 3 << false;
        QTest::newRow("four, one part without rows") << 4 << false;
        // Another connection would miss what the reader's own transaction has written.
        QTest::newRow("inside a transaction with an unsaved message") << 2 << true;
    }

    // A read split over threads leaves the collection exactly as one connection's read does.
    void readInParts()
    {
        QFETCH(int, parts);
        QFETCH(bool, unsaved);
        QTemporaryDir folder;
        {
            const std::unique_ptr<IOS6MessageDb> store = largeStoreAt(folder.path());
            // The last part's rows are all gone.
            if (parts == 4)
                store->executeThrow("delete from chat_message_join where rowid > (select max(rowid) from "
                                    "chat_message_join) * 3 / 4");
        }
        const auto read = [&folder, unsaved](int parts) {
            const ScopedReadSplit split(parts, 64);
            IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
            if (unsaved) {
                store.beginTransaction();
                store.executeThrow("insert into message (ROWID, guid, text) values (99999, 'new', 'unsaved')");
                store.executeThrow("insert into chat_message_join (chat_id, message_id) values (1, 99999)");
            }
            _MsgCollection collection;
            store.messages(collection, 0);
            store.endTransaction(false);
            return describe(collection);
        };
        const QStringList whole = read(1);
        QVERIFY(whole.size() > 1000);
        QCOMPARE(whole.filter(QStringLiteral("unsaved")).size(), unsaved ? 1 : 0);
        QCOMPARE(read(parts), whole);
    }

    // A cancel reaches the threads of a split read, and what was read before it stays consistent.
    void readInPartsCancelled()
    {
        const ScopedReadSplit split(2, 64);
        QTemporaryDir folder;
        largeStoreAt(folder.path());
        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        store.open();
        std::atomic<bool> cancelled { true };
        const TaskCancelScope scope(&cancelled);
        _MsgCollection collection;
        QVERIFY_THROWS_EXCEPTION(TaskCancelled, store.messages(collection, 0));
        QVERIFY(collection.messages().size() < 2000);
        for (const _MsgChat* chat : collection.chats()) {
            for (const _MsgMessage* message : chat->messages)
                QCOMPARE(collection.message(message->rowid), message);
        }
    }

    void manyMessages()
    {
        const int chatCount = 50;
        const int messageCount = 20000;
        QTemporaryDir folder;
        {
            IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
            store.beginTransaction();
            for (int c = 1; c <= chatCount; ++c) {
                store.executeThrow(Sqlite3Sql("insert into chat (ROWID, guid) values (?, ?)")
                                       .addIntParam(c)
                                       .addTextParam(QStringLiteral("chat%1").arg(c)));
                store.executeThrow(
                    Sqlite3Sql("insert into handle (ROWID, id, country, service) values (?, ?, 'gb', 'SMS')")
                        .addIntParam(c)
                        .addTextParam(QStringLiteral("0791234%1").arg(c, 4, 10, QLatin1Char('0'))));
                store.executeThrow(
                    Sqlite3Sql("insert into chat_handle_join values (?, ?)").addIntParam(c).addIntParam(c));
            }
            for (int m = 1; m <= messageCount; ++m) {
                const int c = m % chatCount + 1;
                store.executeThrow(
                    Sqlite3Sql("insert into message (ROWID, guid, text, handle_id, date, service) values "
                               "(?, ?, ?, ?, ?, 'SMS')")
                        .addIntParam(m)
                        .addTextParam(QStringLiteral("guid-%1").arg(m))
                        .addTextParam(QStringLiteral("message text number %1").arg(m))
                        .addIntParam(c)
                        .addIntParam(m));
                store.executeThrow(
                    Sqlite3Sql("insert into chat_message_join values (?, ?)").addIntParam(c).addIntParam(m));
            }
            store.endTransaction(true);
        }
        IOS6MessageDb store(QDir(folder.path()), gbMcc, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        QCOMPARE(collection.messages().size(), messageCount);
        int listed = 0;
        for (const _MsgChat* chat : collection.chats()) {
            listed += chat->messages.size();
            QCOMPARE(chat->handles.size(), 1);
            // Listed once each, in the order of the row ids' decimal text ("10" before "9").
            QStringList ordered = chat->messages.keys();
            std::sort(ordered.begin(), ordered.end());
            ordered.removeDuplicates();
            QCOMPARE(chat->messages.keys(), ordered);
        }
        QCOMPARE(listed, messageCount);
        // Reading one conversation again lists none of its messages twice.
        store.messages(collection, 7);
        QCOMPARE(collection.chat(7)->messages.size(), messageCount / chatCount);
        const _MsgMessage* last = collection.message(messageCount);
        QCOMPARE(last->text, QStringLiteral("message text number %1").arg(messageCount));
        QCOMPARE(
            last->handle->id, QStringLiteral("+44791234%1").arg(messageCount % chatCount + 1, 4, 10, QLatin1Char('0')));
        // Repeated values share one string buffer instead of one copy per message.
        QVERIFY(collection.message(1)->service.constData() == collection.message(2)->service.constData());
    }
};

QTEST_GUILESS_MAIN(TestMessageStoreReading)
#include "TestMessageStoreReading.moc"
