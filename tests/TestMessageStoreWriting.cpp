// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageIdentity.h"
#include "store/ExportMessagesDb.h"
#include "store/WrittenKeys.h"
#include "support/FileBytes.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Thrown.h"
#include "support/Words.h"

#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <deque>

namespace {

// Records as the loading thread builds them; the deques keep the pointers between them stable.
struct Records
{
    std::deque<_MsgHandle> handles;
    std::deque<_MsgChat> chats;
    std::deque<_MsgMessage> messages;

    _MsgHandle* handle(const QString& id)
    {
        handles.emplace_back();
        _MsgHandle& h = handles.back();
        h.id = id;
        h.country = QStringLiteral("us");
        return &h;
    }

    _MsgChat* chat(const QString& guid, const QList<_MsgHandle*>& members)
    {
        chats.emplace_back();
        _MsgChat& c = chats.back();
        c.guid = guid;
        c.chat_identifier = members.isEmpty() ? guid : members.first()->id;
        for (qsizetype i = 0; i < members.size(); ++i)
            c.handles.insert(QString::number(i + 1), members[i]);
        return &c;
    }

    _MsgMessage* message(_MsgChat* chat, _MsgHandle* from, int date, const QString& text)
    {
        messages.emplace_back();
        _MsgMessage& m = messages.back();
        m.chat = chat;
        m.handle = from;
        m.is_from_me = from ? 0 : 1;
        m.date = date;
        m.text = text;
        m.service = QStringLiteral("SMS");
        m.guid = guidFromBytes(logicHash(m).toUtf8());
        return &m;
    }

    // Message "a" in conversation chat-1 with one attachment, named as a phone names it and copied
    // from the source file.
    _MsgMessage* withAttachment(const QString& filename, const QString& source)
    {
        _MsgMessage* m = message(chat(QStringLiteral("chat-1"), {}), nullptr, 1, QStringLiteral("a"));
        _MsgAttachment a;
        a.guid = QStringLiteral("att");
        a.filename = filename;
        a.sourcePath = source;
        m->attachments.insert(QStringLiteral("1"), a);
        return m;
    }
};

int count(const QDir& folder, const QString& table)
{
    return scalar(folder, QStringLiteral("select count(*) from ") + table).toInt();
}

void writeAll(const QDir& folder, const std::deque<_MsgMessage>& messages)
{
    ExportMessagesDb writer(folder, QStringLiteral("310"));
    writer.begin();
    for (const _MsgMessage& m : messages)
        writer.write(m);
    writer.end();
}

// Creates a store in the layout of an early version: no logic_hash, no later message columns,
// no _last, no contact columns, no display_name or group_id.
void createOldStore(const QDir& folder)
{
    QDir().mkpath(QFileInfo(smsDbPath(folder)).absolutePath());
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadWriteCreate);
    const char* statements[] = {
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT, "
        "replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT, "
        "attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT, "
        "account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, "
        "is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, "
        "is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, "
        "is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
        "is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, "
        "is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, "
        "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
        "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0)",
        "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT, "
        "service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service))",
        "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, "
        "state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, "
        "account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT)",
        "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
        "created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT, "
        "transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0)",
        "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, handle_id))",
        "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, PRIMARY KEY (chat_id, message_id))",
        "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER, "
        "UNIQUE(message_id, attachment_id))",
    };
    for (const char* statement : statements)
        db.executeThrow(Sqlite3Sql(statement));
}

} // namespace

class TestMessageStoreWriting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void logicHashVectors_data();
    void logicHashVectors();
    void guidFromBytesVectors_data();
    void guidFromBytesVectors();

    void loadingTwiceAddsNothing();
    void knownHandleJoinsNewChat();
    void itemTypeFourIsStored();
    void lastAddressedHandleFollowsGroup();
    void duplicatesByKeyOrGuid_data();
    void duplicatesByKeyOrGuid();
    void writtenKeysKeepEveryCandidate();
    void secondRunOnKnownRows_data();
    void secondRunOnKnownRows();
    void chatColumns_data();
    void chatColumns();
    void runsThatStoreNothing_data();
    void runsThatStoreNothing();
    void messageIndexesAfterRun_data();
    void messageIndexesAfterRun();

    void oldStoreFindsByGuid();
    void oldStoreInsertsOnlyExistingColumns();

    void attachmentsInRowidOrder();
    void attachmentKeepsExistingFile();
    void hostileAttachmentPathStaysInside_data();
    void hostileAttachmentPathStaysInside();
    void attachmentNotCopiedThroughLink_data();
    void attachmentNotCopiedThroughLink();

    void failedCommitRollsBack();
    void storesMadeElsewhere_data();
    void storesMadeElsewhere();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_folder;
};

void TestMessageStoreWriting::initTestCase()
{
    useTemporaryHome();
}

void TestMessageStoreWriting::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    QVERIFY(QDir(m_tmp->path()).mkpath(QStringLiteral("store")));
    m_folder = QDir(m_tmp->filePath(QStringLiteral("store")));
}

void TestMessageStoreWriting::cleanup()
{
    m_tmp.reset();
}

// Expected digests were computed independently in the shell with printf and md5sum, e.g.
// printf '+15551234567\x00\x84\xd7\x17\x01Hi therea.pngb.jpg' | md5sum (400000000 = 0x17d78400).
void TestMessageStoreWriting::logicHashVectors_data()
{
    QTest::addColumn<QString>("handleId");
    QTest::addColumn<int>("date");
    QTest::addColumn<int>("isFromMe");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("itemType");
    QTest::addColumn<QStringList>("filenames");
    QTest::addColumn<QString>("expected");

    QTest::newRow("handle, object mark removed, attachment names sorted and lower-cased")
        << QStringLiteral("+15551234567") << 400000000 << 1
        << (QStringLiteral("Hi ") + QChar(0xFFFC) + QStringLiteral("there")) << 0
        << QStringList { QStringLiteral("~/Library/SMS/Attachments/B.JPG"), QStringLiteral("/var/x/a.png"), QString() }
        << QStringLiteral("300fe14c4c2d5c025c1717480d9e082d");
    QTest::newRow("item type set: guid only")
        << QStringLiteral("+15551234567") << 5 << 1 << QStringLiteral("ignored") << 4 << QStringList()
        << QStringLiteral("2c9415725bcf69e28c0ae2b4e89c1b0f");
    QTest::newRow("no handle, negative date, low byte of is_from_me, UTF-8 text")
        << QString() << -1 << 0x101 << QStringLiteral("h\u00e9llo") << 0 << QStringList()
        << QStringLiteral("4788933d2fee5894e4c6a19dc8ece8ca");
    QTest::newRow("backslash separator") << QStringLiteral("+447700900123") << 16 << 0 << QString() << 0
                                         << QStringList { QStringLiteral("C:\\dir\\Pic.GIF") }
                                         << QStringLiteral("659f39af4fdad3d15e5ea05de011a45b");
}

void TestMessageStoreWriting::logicHashVectors()
{
    QFETCH(QString, handleId);
    QFETCH(int, date);
    QFETCH(int, isFromMe);
    QFETCH(QString, text);
    QFETCH(int, itemType);
    QFETCH(QStringList, filenames);
    QFETCH(QString, expected);

    _MsgHandle handle;
    handle.id = handleId;
    _MsgMessage m;
    m.guid = QStringLiteral("ABC-123");
    m.handle = handleId.isEmpty() ? nullptr : &handle;
    m.date = date;
    m.is_from_me = isFromMe;
    m.text = text;
    m.item_type = itemType;
    for (qsizetype i = 0; i < filenames.size(); ++i) {
        _MsgAttachment a;
        a.rowid = i + 1;
        a.filename = filenames[i];
        m.attachments.insert(QString::number(i + 1), a);
    }
    QCOMPARE(logicHash(m), expected);
}

void TestMessageStoreWriting::guidFromBytesVectors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    // printf '' | md5sum; printf 300fe14c4c2d5c025c1717480d9e082d | md5sum
    QTest::newRow("empty") << QByteArray() << QStringLiteral("D41D8CD9-8F00-B204-E980-0998ECF8427E");
    QTest::newRow("guid of a logic hash")
        << QByteArray("300fe14c4c2d5c025c1717480d9e082d") << QStringLiteral("FB1ADB78-3805-F102-2171-9D010864FC4A");
}

void TestMessageStoreWriting::guidFromBytesVectors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(guidFromBytes(bytes), expected);
}

void TestMessageStoreWriting::loadingTwiceAddsNothing()
{
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgHandle* bob = r.handle(QStringLiteral("+15550000002"));
    _MsgChat* single = r.chat(QStringLiteral("SMS;-;+15550000001"), { ann });
    _MsgChat* group = r.chat(QStringLiteral("SMS;+;group-1"), { ann, bob });
    r.message(single, ann, 1000, QStringLiteral("one"));
    r.message(single, nullptr, 1005, QStringLiteral("two"));
    r.message(group, bob, 900, QStringLiteral("three"));
    r.message(group, ann, 800, QStringLiteral("four"));

    writeAll(m_folder, r.messages);
    const QStringList tables = { QStringLiteral("message"), QStringLiteral("chat"), QStringLiteral("handle"),
        QStringLiteral("chat_handle_join"), QStringLiteral("chat_message_join") };
    QList<int> first;
    for (const QString& table : tables)
        first.append(count(m_folder, table));
    QCOMPARE(first, (QList<int> { 4, 2, 2, 3, 4 }));
    const QString lasts = QStringLiteral("select group_concat(_last) from (select _last from chat order by rowid)");
    QCOMPARE(scalar(m_folder, lasts), QStringLiteral("1005,900"));

    // Loading again, with a newer date on a record that is already stored, changes nothing.
    r.messages.front().date_read = 5000;
    writeAll(m_folder, r.messages);
    QList<int> second;
    for (const QString& table : tables)
        second.append(count(m_folder, table));
    QCOMPARE(second, first);
    QCOMPARE(scalar(m_folder, lasts), QStringLiteral("1005,900"));
    QCOMPARE(
        scalar(m_folder, QStringLiteral("select count(*) from message where logic_hash is null")), QStringLiteral("0"));
}

void TestMessageStoreWriting::knownHandleJoinsNewChat()
{
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* first = r.chat(QStringLiteral("chat-1"), { ann });
    r.message(first, ann, 10, QStringLiteral("a"));
    writeAll(m_folder, r.messages);

    // A conversation record without the correspondent in its map: the message's handle joins it.
    Records later;
    _MsgHandle* again = later.handle(QStringLiteral("+15550000001"));
    _MsgChat* second = later.chat(QStringLiteral("chat-2"), {});
    later.message(second, again, 20, QStringLiteral("b"));
    writeAll(m_folder, later.messages);

    QCOMPARE(count(m_folder, QStringLiteral("handle")), 1);
    QCOMPARE(scalar(m_folder,
                 QStringLiteral("select group_concat(c.guid) from chat_handle_join j join chat c on "
                                "c.rowid = j.chat_id")),
        QStringLiteral("chat-1,chat-2"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select handle_id from message where text='b'")),
        scalar(m_folder, QStringLiteral("select rowid from handle")));
}

void TestMessageStoreWriting::itemTypeFourIsStored()
{
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), { ann });
    _MsgMessage* special = r.message(chat, ann, 10, QStringLiteral("a"));
    special->item_type = 4;
    special->guid = QStringLiteral("guid-4");
    writeAll(m_folder, r.messages);
    QCOMPARE(scalar(m_folder, QStringLiteral("select item_type || ':' || logic_hash from message")),
        QStringLiteral("4:") + logicHash(*special));
}

void TestMessageStoreWriting::lastAddressedHandleFollowsGroup()
{
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgHandle* bob = r.handle(QStringLiteral("+15550000002"));
    _MsgChat* group = r.chat(QStringLiteral("group"), { ann, bob });
    _MsgChat* single = r.chat(QStringLiteral("single"), { ann });
    r.message(group, ann, 10, QStringLiteral("a"));
    r.message(group, bob, 11, QStringLiteral("b"));
    r.message(group, nullptr, 12, QStringLiteral("mine"));
    r.message(single, ann, 13, QStringLiteral("c"));
    writeAll(m_folder, r.messages);
    const QString query = QStringLiteral("select ifnull(last_addressed_handle, '-') from chat where guid='%1'");
    QCOMPARE(scalar(m_folder, query.arg(QStringLiteral("group"))), bob->id);
    QCOMPARE(scalar(m_folder, query.arg(QStringLiteral("single"))), QStringLiteral("-"));

    // A message already stored still moves it.
    std::deque<_MsgMessage> known { r.messages.front() };
    writeAll(m_folder, known);
    QCOMPARE(scalar(m_folder, query.arg(QStringLiteral("group"))), ann->id);
    QCOMPARE(count(m_folder, QStringLiteral("message")), 4);
}

void TestMessageStoreWriting::duplicatesByKeyOrGuid_data()
{
    QTest::addColumn<bool>("originalInEarlierRun");
    QTest::addColumn<bool>("sameGuid"); // otherwise the same duplicate key under another guid
    // Messages a run remembers by fingerprint; past that it looks keys up in the store.
    QTest::addColumn<int>("remembered");
    const int all = 1000;
    QTest::newRow("same key, same run") << false << false << all;
    QTest::newRow("same guid, same run") << false << true << all;
    QTest::newRow("same key, earlier run") << true << false << all;
    QTest::newRow("same guid, earlier run") << true << true << all;
    QTest::newRow("same key, same run, past the remembered ones") << false << false << 1;
    QTest::newRow("same guid, same run, past the remembered ones") << false << true << 1;
}

void TestMessageStoreWriting::duplicatesByKeyOrGuid()
{
    QFETCH(bool, originalInEarlierRun);
    QFETCH(bool, sameGuid);
    QFETCH(int, remembered);
    const qsizetype limit = IOS6MessageDb::setRememberedMessagesLimit(remembered);
    const auto restoreLimit = qScopeGuard([limit] { IOS6MessageDb::setRememberedMessagesLimit(limit); });
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), { ann });
    _MsgMessage* original = r.message(chat, ann, 2000, QStringLiteral("original"));
    _MsgMessage twin = *original;
    // Not part of the key: shows which of the two was kept.
    twin.is_read = 1;
    if (sameGuid)
        twin.text = QStringLiteral("another text, another key");
    else
        twin.guid = QStringLiteral("another-guid");
    r.message(chat, ann, 2001, QStringLiteral("unrelated"));

    if (originalInEarlierRun) {
        writeAll(m_folder, r.messages);
        writeAll(m_folder, { twin });
    } else {
        r.messages.push_back(twin);
        writeAll(m_folder, r.messages);
    }
    QCOMPARE(storedRows(m_folder, QStringLiteral("m.text || m.is_read")).join(QLatin1Char(',')),
        QStringLiteral("original0,unrelated0"));
    QCOMPARE(count(m_folder, QStringLiteral("chat_message_join")), 2);
}

void TestMessageStoreWriting::writtenKeysKeepEveryCandidate()
{
    // Two logic_hashes whose fingerprints fold to the same 32 bits, among enough other keys to make
    // the tables grow several times: each row written with either is a candidate afterwards.
    ios6writing::WrittenKeys keys;
    const size_t first = size_t(0x123456789abcdef0ull);
    const size_t twin = size_t(0x9abcdef012345678ull);
    const auto other = [](size_t i) { return size_t(i * 0x9e3779b97f4a7c15ull); };
    QVERIFY(keys.addLogicHash(first, 7));
    QVERIFY(keys.addGuid(0));
    for (size_t i = 1; i <= 5000; ++i) {
        QVERIFY(keys.addLogicHash(other(i), qint64(i) + 100));
        QVERIFY(keys.addGuid(other(i)));
    }
    QVERIFY(keys.addLogicHash(twin, 9));
    std::vector<qint64> rows = keys.logicHashRows(first);
    std::sort(rows.begin(), rows.end());
    QCOMPARE(rows, (std::vector<qint64> { 7, 9 }));
    QCOMPARE(keys.logicHashRows(other(4321)), std::vector<qint64> { 4421 });
    QVERIFY(keys.hasGuid(0));
    for (size_t i = 1; i <= 5000; ++i)
        QVERIFY(keys.hasGuid(other(i)));

    // A row id beyond 32 bits, or a full table, is refused: the run then asks the store.
    QVERIFY(!keys.addLogicHash(1, qint64(1) << 32));
    ios6writing::WrittenKeys full;
    qsizetype added = 0;
    while (full.addGuid(other(size_t(added) + 1)))
        ++added;
    QCOMPARE(added, ios6writing::WrittenKeys::countLimit);
}

void TestMessageStoreWriting::secondRunOnKnownRows_data()
{
    // Messages as "chat:from:date": chat s (Ann alone) or g (Ann and Bob); from a, b or - (me).
    QTest::addColumn<QStringList>("firstRun");
    QTest::addColumn<QStringList>("secondRun");
    QTest::addColumn<QString>("lasts"); // _last of s and g
    QTest::addColumn<QString>("groupLastHandle");
    QTest::addColumn<int>("handleJoins");

    const QStringList seed = words("s:a:1000 g:b:2000");
    QTest::newRow("older messages keep the stored newest date")
        << seed << words("s:a:500 s:-:700 g:a:100") << QStringLiteral("1000,2000") << QStringLiteral("+15550000001")
        << 3;
    QTest::newRow("newest date of the run in any order")
        << seed << words("s:a:1500 s:a:3000 s:-:2500 g:a:1900") << QStringLiteral("3000,2000")
        << QStringLiteral("+15550000001") << 3;
    QTest::newRow("last correspondent changing back within a run")
        << seed << words("g:a:2100 g:b:2200 g:a:2300 g:-:2400") << QStringLiteral("1000,2400")
        << QStringLiteral("+15550000001") << 3;
    QTest::newRow("known messages again move only the last correspondent")
        << (QStringList(seed) << QStringLiteral("g:a:1500")) << words("g:b:2000 s:a:1000")
        << QStringLiteral("1000,2000") << QStringLiteral("+15550000002") << 3;
    QTest::newRow("everything in one run") << QStringList() << words("g:a:5 s:a:7 g:b:9 s:a:3") << QStringLiteral("7,9")
                                           << QStringLiteral("+15550000002") << 3;
}

void TestMessageStoreWriting::secondRunOnKnownRows()
{
    QFETCH(QStringList, firstRun);
    QFETCH(QStringList, secondRun);
    QFETCH(QString, lasts);
    QFETCH(QString, groupLastHandle);
    QFETCH(int, handleJoins);

    // Each run builds its own records, as two loads of a phone do.
    const auto run = [this](const QStringList& entries) {
        Records r;
        _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
        _MsgHandle* bob = r.handle(QStringLiteral("+15550000002"));
        _MsgChat* single = r.chat(QStringLiteral("s"), { ann });
        _MsgChat* group = r.chat(QStringLiteral("g"), { ann, bob });
        for (const QString& entry : entries) {
            const QStringList parts = entry.split(QLatin1Char(':'));
            _MsgHandle* from = parts[1] == QLatin1String("a") ? ann : parts[1] == QLatin1String("b") ? bob : nullptr;
            r.message(parts[0] == QLatin1String("s") ? single : group, from, parts[2].toInt(), entry);
        }
        writeAll(m_folder, r.messages);
    };
    run(firstRun);
    run(secondRun);

    QCOMPARE(
        scalar(m_folder, QStringLiteral("select group_concat(_last) from (select _last from chat order by guid desc)")),
        lasts);
    QCOMPARE(
        scalar(m_folder, QStringLiteral("select last_addressed_handle from chat where guid='g'")), groupLastHandle);
    QCOMPARE(count(m_folder, QStringLiteral("chat_handle_join")), handleJoins);
    QCOMPARE(count(m_folder, QStringLiteral("handle")), 2);
    QCOMPARE(count(m_folder, QStringLiteral("message")),
        int(QSet<QString>(firstRun.begin(), firstRun.end())
                .unite(QSet<QString>(secondRun.begin(), secondRun.end()))
                .size()));
}

void TestMessageStoreWriting::chatColumns_data()
{
    QTest::addColumn<QString>("groupId");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("accountId");
    QTest::addColumn<QString>("expected");
    const QString derived = guidFromBytes(QByteArrayLiteral("chat-1"));
    QTest::newRow("empty group id is derived from the guid")
        << QString() << QString() << QString() << derived + QStringLiteral("|<null>|<null>|iMessage|E:|45|3");
    QTest::newRow("given values are kept") << QStringLiteral("G1") << QStringLiteral("Friends") << QStringLiteral("acc")
                                           << QStringLiteral("G1|Friends|acc|iMessage|E:|45|3");
}

void TestMessageStoreWriting::chatColumns()
{
    QFETCH(QString, groupId);
    QFETCH(QString, displayName);
    QFETCH(QString, accountId);
    QFETCH(QString, expected);
    Records r;
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), {});
    chat->group_id = groupId;
    chat->display_name = displayName;
    chat->account_id = accountId;
    chat->service_name = QStringLiteral("iMessage");
    r.message(chat, nullptr, 1, QStringLiteral("x"));
    writeAll(m_folder, r.messages);
    QCOMPARE(scalar(m_folder,
                 QStringLiteral("select group_id || '|' || ifnull(display_name, '<null>') || '|' || "
                                "ifnull(account_id, '<null>') || '|' || service_name || '|' || "
                                "account_login || '|' || style || '|' || state from chat")),
        expected);
}

// Runs that store nothing: a message without a conversation is skipped, a writer dropped before its
// end keeps nothing, a conversation of a service no phone has fails the run. Nothing is left locked:
// the next run writes.
void TestMessageStoreWriting::runsThatStoreNothing_data()
{
    QTest::addColumn<bool>("inChat");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("error");
    QTest::newRow("message without conversation") << false << QString() << QString();
    QTest::newRow("writer dropped without end") << true << QString() << QString();
    QTest::newRow("invalid service name")
        << true << QStringLiteral("MMS") << QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:MMS");
}

void TestMessageStoreWriting::runsThatStoreNothing()
{
    QFETCH(bool, inChat);
    QFETCH(QString, service);
    QFETCH(QString, error);
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* chat = inChat ? r.chat(QStringLiteral("chat-1"), { ann }) : nullptr;
    const QString validService = chat ? chat->service_name : QString();
    if (!service.isEmpty())
        chat->service_name = service;
    r.message(chat, ann, 1, QStringLiteral("x"));
    {
        ExportMessagesDb writer(m_folder, QString());
        writer.begin();
        QCOMPARE(thrownText([&] { writer.write(r.messages.front()); }), error);
        if (!chat)
            writer.end();
    }
    QCOMPARE(count(m_folder, QStringLiteral("message")), 0);
    QCOMPARE(count(m_folder, QStringLiteral("handle")), 0);
    QCOMPARE(count(m_folder, QStringLiteral("chat")), 0);
    if (chat) {
        chat->service_name = validService;
        writeAll(m_folder, r.messages);
        QCOMPARE(count(m_folder, QStringLiteral("message")), 1);
    }
}

void TestMessageStoreWriting::oldStoreFindsByGuid()
{
    createOldStore(m_folder);
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), { ann });
    _MsgMessage* m = r.message(chat, ann, 10, QStringLiteral("old"));

    IOS6MessageDb db(m_folder, QString(), false);
    QVERIFY(!db.messageHasColumn(QStringLiteral("logic_hash")));
    QVERIFY(!db.chatKeepsLast());
    db.beginTransaction();
    const qint64 chatRowId = db.insertChat(*chat);
    const qint64 handleRowId = db.findHandle(*ann);
    QVERIFY(handleRowId > 0);
    const qint64 messageRowId = db.insertMessage(*m, handleRowId, 0);
    db.joinMessageToChat(chatRowId, messageRowId);
    db.keepNewestDate(chatRowId, m->date);
    QCOMPARE(db.findMessageByLogicHash(logicHash(*m)), qint64(0));
    QCOMPARE(db.findMessageByGuid(m->guid), messageRowId);
    QVERIFY(db.isHandleInChat(chatRowId, handleRowId));
    db.endTransaction(true);
    db.close();

    // The writer upgrades the file; the row written before keeps a NULL key and is found by guid. A new
    // message is stored without touching the missing _last.
    r.message(chat, ann, 20, QStringLiteral("new"));
    writeAll(m_folder, r.messages);
    QCOMPARE(count(m_folder, QStringLiteral("message")), 2);
    QCOMPARE(scalar(m_folder, QStringLiteral("select group_concat(ifnull(logic_hash, 'null')) from message")),
        QStringLiteral("null,") + logicHash(r.messages.back()));
    QCOMPARE(count(m_folder, QStringLiteral("chat_message_join")), 2);
}

void TestMessageStoreWriting::oldStoreInsertsOnlyExistingColumns()
{
    createOldStore(m_folder);
    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    ann->_ct_name = QStringLiteral("Ann");
    _MsgHandle* bob = r.handle(QStringLiteral("+15550000002"));
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), { ann });
    chat->display_name = QStringLiteral("name");
    _MsgMessage* m = r.message(chat, ann, 10, QStringLiteral("old"));
    m->item_type = 4;
    m->editExtras().group_title = QStringLiteral("title");
    _MsgAttachment a;
    a.guid = QStringLiteral("att");
    a.transfer_name = QStringLiteral("t.jpg");
    a.total_bytes = 5;

    IOS6MessageDb db(m_folder, QString(), false);
    QVERIFY(!db.messageHasItemType());
    QVERIFY(db.insertChat(*chat) > 0);
    QVERIFY(db.insertHandle(*bob) > 0);
    QVERIFY(db.insertMessage(*m, 1, 2) > 0);
    QVERIFY(db.insertAttachment(a) > 0);
    db.close();
    QCOMPARE(count(m_folder, QStringLiteral("handle")), 2);
    QCOMPARE(count(m_folder, QStringLiteral("attachment")), 1);
}

void TestMessageStoreWriting::attachmentsInRowidOrder()
{
    Records r;
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), {});
    _MsgMessage* m = r.message(chat, nullptr, 1, QStringLiteral("pics"));
    for (int rowid : { 10, 9, 2 }) {
        _MsgAttachment a;
        a.rowid = rowid;
        a.guid = QStringLiteral("att-%1").arg(rowid);
        a.filename = QStringLiteral("~/Library/SMS/Attachments/%1.jpg").arg(rowid);
        a.total_bytes = rowid * 100;
        m->attachments.insert(QString::number(rowid), a);
    }
    writeAll(m_folder, r.messages);
    QCOMPARE(
        scalar(m_folder, QStringLiteral("select group_concat(guid) from (select guid from attachment order by rowid)")),
        QStringLiteral("att-2,att-9,att-10"));
    QCOMPARE(count(m_folder, QStringLiteral("message_attachment_join")), 3);
    QCOMPARE(scalar(m_folder, QStringLiteral("select cache_has_attachments from message")), QStringLiteral("1"));

    // Written again: every attachment is found by guid and joined, nothing doubles.
    writeAll(m_folder, r.messages);
    QCOMPARE(count(m_folder, QStringLiteral("attachment")), 3);
    QCOMPARE(count(m_folder, QStringLiteral("message_attachment_join")), 3);
}

void TestMessageStoreWriting::attachmentKeepsExistingFile()
{
    QTemporaryDir sources;
    const QString source = sources.filePath(QStringLiteral("new.jpg"));
    QVERIFY(writeFile(source, "new data"));
    Records r;
    const _MsgMessage* first = r.withAttachment(QStringLiteral("~/Library/SMS/Attachments/ab/IMG:0001?.jpg"), source);
    const _MsgAttachment a = first->attachments.first();
    writeAll(m_folder, r.messages);

    const QString target
        = m_folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/Attachments/ab/IMG0001.jpg"));
    QFile copied(target);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("new data"));
    copied.close();
    QVERIFY(copied.open(QIODevice::WriteOnly | QIODevice::Truncate));
    copied.write("kept");
    copied.close();

    // Another message with the same attachment: the file stays, the row is found and joined.
    _MsgMessage* second = r.message(first->chat, nullptr, 2, QStringLiteral("b"));
    second->attachments.insert(QStringLiteral("1"), a);
    writeAll(m_folder, { *second });
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("kept"));
    QCOMPARE(count(m_folder, QStringLiteral("attachment")), 1);
    QCOMPARE(count(m_folder, QStringLiteral("message_attachment_join")), 2);
    QCOMPARE(scalar(m_folder, QStringLiteral("select filename from attachment")), a.filename);
}

void TestMessageStoreWriting::hostileAttachmentPathStaysInside_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<QString>("expected"); // below file-relay, empty when nothing may be copied
    QTest::newRow("parent parts") << QStringLiteral("../../escape.txt") << QStringLiteral("escape.txt");
    QTest::newRow("absolute with parents") << QStringLiteral("/../../../escape.txt") << QStringLiteral("escape.txt");
    QTest::newRow("home with parents") << QStringLiteral("~/../../../../escape.txt")
                                       << QStringLiteral("var/mobile/escape.txt");
    QTest::newRow("inner parents") << QStringLiteral("a/b/../../../../escape.txt") << QStringLiteral("a/b/escape.txt");
    QTest::newRow("backslashes and drive") << QStringLiteral("C:\\..\\..\\escape.txt") << QStringLiteral("escape.txt");
    QTest::newRow("double slash") << QStringLiteral("//server/share/escape.txt")
                                  << QStringLiteral("server/share/escape.txt");
    QTest::newRow("dots and spaces") << QStringLiteral(".. /... /escape.txt") << QStringLiteral("escape.txt");
    QTest::newRow("nothing left") << QStringLiteral("/../..") << QString();
}

void TestMessageStoreWriting::hostileAttachmentPathStaysInside()
{
    QFETCH(QString, filename);
    QFETCH(QString, expected);
    const QString source = m_tmp->filePath(QStringLiteral("source.txt"));
    QVERIFY(writeFile(source, "payload"));
    Records r;
    r.withAttachment(filename, source);
    writeAll(m_folder, r.messages);

    QStringList copies;
    QDirIterator it(m_tmp->path(), QDir::Files, QDirIterator::Subdirectories);
    const QDir relay(m_folder.filePath(QStringLiteral("file-relay")));
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != source && !path.endsWith(QLatin1String("sms.db")) && !path.contains(QLatin1String("sms.db-")))
            copies.append(relay.relativeFilePath(path));
    }
    QCOMPARE(copies, expected.isEmpty() ? QStringList() : QStringList { expected });
    QCOMPARE(scalar(m_folder, QStringLiteral("select filename from attachment")), filename);
}

void TestMessageStoreWriting::attachmentNotCopiedThroughLink_data()
{
    QTest::addColumn<QString>("link"); // below file-relay, a link to a folder outside the store
    QTest::newRow("attachments folder") << QStringLiteral("var/mobile/Library/SMS/Attachments");
    QTest::newRow("last folder") << QStringLiteral("var/mobile/Library/SMS/Attachments/ab");
}

void TestMessageStoreWriting::attachmentNotCopiedThroughLink()
{
    QFETCH(QString, link);
    QVERIFY(QDir(m_tmp->path()).mkpath(QStringLiteral("outside")));
    const QString outside = m_tmp->filePath(QStringLiteral("outside"));
    const QString source = m_tmp->filePath(QStringLiteral("source.jpg"));
    QVERIFY(writeFile(source, "payload"));
    const QString linkPath = m_folder.filePath(QStringLiteral("file-relay/") + link);
    QVERIFY(QDir().mkpath(QFileInfo(linkPath).absolutePath()));
    QVERIFY(QFile::link(outside, linkPath));

    Records r;
    r.withAttachment(QStringLiteral("~/Library/SMS/Attachments/ab/photo.jpg"), source);
    writeAll(m_folder, r.messages);

    QDirIterator it(outside, QDir::Files, QDirIterator::Subdirectories);
    QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
    QCOMPARE(count(m_folder, QStringLiteral("attachment")), 1);
}

// COMMIT fails while another connection still reads; the writer's transaction must not stay open,
// holding its lock and refusing the next begin.
namespace {

// The message table's indexes as a store file holds them, by name with their statements.
QString messageIndexes(const QDir& folder)
{
    return scalar(folder,
        QStringLiteral("select group_concat(name || ':' || sql, ';') from (select name, sql from sqlite_master "
                       "where type='index' and tbl_name='message' and sql is not null order by name)"));
}

} // namespace

// A run into a store without messages builds some message indexes only at its end: whichever way
// the run ends, the file has every index, matching its rows.
void TestMessageStoreWriting::messageIndexesAfterRun_data()
{
    QTest::addColumn<bool>("storeHasMessages");
    QTest::addColumn<bool>("ended");
    QTest::newRow("new store, ended") << false << true;
    QTest::newRow("new store, dropped") << false << false;
    QTest::newRow("store with messages, ended") << true << true;
}

void TestMessageStoreWriting::messageIndexesAfterRun()
{
    QFETCH(bool, storeHasMessages);
    QFETCH(bool, ended);

    QTemporaryDir reference;
    IOS6MessageDb(QDir(reference.path()), QString(), true).open();
    const QString expected = messageIndexes(QDir(reference.path()));
    QVERIFY(expected.contains(QLatin1String("message_idx_logic_hash:")));
    QVERIFY(expected.contains(QLatin1String("message_idx_handle:")));

    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgHandle* bob = r.handle(QStringLiteral("+15550000002"));
    _MsgChat* annChat = r.chat(QStringLiteral("chat-ann"), { ann });
    _MsgChat* bobChat = r.chat(QStringLiteral("chat-bob"), { bob });
    Records earlier;
    earlier.message(earlier.chat(QStringLiteral("chat-0"), {}), nullptr, 1, QStringLiteral("earlier"));
    writeAll(m_folder, storeHasMessages ? earlier.messages : std::deque<_MsgMessage>());
    // The last 50 repeat the first 50 under other guids: only their duplicate key finds them.
    for (int i = 0; i < 300; ++i) {
        const int k = i % 250;
        _MsgMessage* m = r.message(k % 2 ? annChat : bobChat, k % 2 ? ann : bob, 1000 - k, QString::number(k));
        if (i != k)
            m->guid = QStringLiteral("repeat-%1").arg(i);
    }
    {
        ExportMessagesDb writer(m_folder, QStringLiteral("310"));
        writer.begin();
        for (const _MsgMessage& m : r.messages)
            writer.write(m);
        // Looked up by duplicate key while the run goes on.
        QCOMPARE(writer.knownMessages(), qint64(50));
        if (ended)
            writer.end();
    }

    QCOMPARE(messageIndexes(m_folder), expected);
    QCOMPARE(scalar(m_folder, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    QCOMPARE(count(m_folder, QStringLiteral("message")), (storeHasMessages ? 1 : 0) + (ended ? 250 : 0));
    if (ended) {
        QCOMPARE(scalar(m_folder,
                     QStringLiteral("select count(*) from message where date>=760 and handle_id=(select rowid from "
                                    "handle where id='+15550000002')")),
            QStringLiteral("121"));
    }
}

void TestMessageStoreWriting::failedCommitRollsBack()
{
    Records r;
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), {});
    r.message(chat, nullptr, 1, QStringLiteral("a"));
    writeAll(m_folder, {});

    ExportMessagesDb writer(m_folder, QStringLiteral("310"));
    writer.begin();
    writer.write(r.messages.front());
    Sqlite3DB reader;
    reader.openThrow(smsDbPath(m_folder), Sqlite3DB::ReadOnly);
    reader.beginTran();
    QVERIFY(reader.queryThrow("select count(*) from message").moveNext());
    QVERIFY_THROWS_EXCEPTION(std::exception, writer.end());

    // Nothing of the failed run is kept, and another writer gets the file while the reader still reads.
    Sqlite3DB other;
    other.openThrow(smsDbPath(m_folder), Sqlite3DB::ReadWrite);
    QVERIFY_THROWS_NO_EXCEPTION(other.beginTran());
    other.rollbackTran();
    reader.rollbackTran();
    QCOMPARE(count(m_folder, QStringLiteral("message")), 0);

    writer.begin();
    writer.write(r.messages.front());
    writer.end();
    QCOMPARE(count(m_folder, QStringLiteral("message")), 1);
}

// Stores that other programs made or changed. A trigger the schema does not make would run on every
// row written, so the writer refuses such a store and leaves it as it is; dates are written in the
// unit the store's messages use.
void TestMessageStoreWriting::storesMadeElsewhere_data()
{
    QTest::addColumn<QString>("change"); // made to a store of 29 messages
    QTest::addColumn<QString>("refused"); // the triggers the error names; empty: the message is written
    QTest::addColumn<qint64>("storedDate"); // the new message's date as the store holds it

    constexpr qint64 date = 600000100;
    QTest::newRow("trigger deleting other messages")
        << QStringLiteral("CREATE TRIGGER prune AFTER INSERT ON message BEGIN "
                          "DELETE FROM message WHERE rowid <> new.rowid; END")
        << QStringLiteral("prune") << qint64(0);
    QTest::newRow("own name, another body")
        << QStringLiteral("DROP TRIGGER clean_orphaned_handles; CREATE TRIGGER clean_orphaned_handles AFTER DELETE ON "
                          "chat_handle_join BEGIN DELETE FROM handle; END; CREATE TRIGGER audit AFTER UPDATE ON chat "
                          "BEGIN SELECT 1; END")
        << QStringLiteral("audit, clean_orphaned_handles") << qint64(0);
    QTest::newRow("message clean-up of an earlier version")
        << QStringLiteral("DROP TRIGGER clean_orphaned_messages; CREATE TRIGGER clean_orphaned_messages AFTER DELETE "
                          "ON chat_message_join BEGIN DELETE FROM message WHERE (SELECT 1 from chat_message_join "
                          "WHERE message_id = message.ROWID LIMIT 1) IS NULL; END")
        << QString() << date;
    QTest::newRow("dates in nanoseconds")
        << QStringLiteral("UPDATE message SET date = date * 1000000000, date_read = date_read * 1000000000; "
                          "UPDATE chat SET _last = _last * 1000000000")
        << QString() << date * 1000000000;
}

void TestMessageStoreWriting::storesMadeElsewhere()
{
    QFETCH(QString, change);
    QFETCH(QString, refused);
    QFETCH(qint64, storedDate);

    Records r;
    _MsgHandle* ann = r.handle(QStringLiteral("+15550000001"));
    _MsgChat* chat = r.chat(QStringLiteral("chat-1"), { ann });
    for (int i = 0; i < 29; ++i)
        r.message(chat, i % 2 ? ann : nullptr, 600000000 + i, QString::number(i))->date_read = 600000000 + i;
    writeAll(m_folder, r.messages);
    {
        Sqlite3DB db;
        db.openThrow(smsDbPath(m_folder), Sqlite3DB::ReadWrite);
        QString error;
        QVERIFY2(db.exec(change, error) == 0, qPrintable(error));
    }
    const QString rowsQuery = QStringLiteral("select group_concat(guid || ':' || date, ',') from message");
    const QString before = scalar(m_folder, rowsQuery);

    Records more;
    _MsgMessage* added = more.message(chat, ann, 600000100, QStringLiteral("new"));
    added->date_read = added->date;
    ExportMessagesDb writer(m_folder, QStringLiteral("310"));
    if (!refused.isEmpty()) {
        const QString text = thrownText([&] { writer.begin(); });
        QVERIFY2(
            text.contains(QLatin1Char('(') + refused + QStringLiteral("); nothing was written")), qPrintable(text));
        QCOMPARE(scalar(m_folder, rowsQuery), before);
        return;
    }
    writer.begin();
    writer.write(*added);
    writer.end();
    QCOMPARE(count(m_folder, QStringLiteral("message")), 30);
    QCOMPARE(scalar(m_folder, QStringLiteral("select date || ',' || date_read from message where text='new'")),
        QStringLiteral("%1,%1").arg(storedDate));
    QCOMPARE(scalar(m_folder, QStringLiteral("select _last from chat")), QString::number(storedDate));

    IOS6MessageDb store(m_folder, QString(), true);
    _MsgCollection collection;
    store.messages(collection, 0);
    QStringList dates;
    for (const _MsgMessage* m : collection.messages())
        dates.append(QString::number(m->date));
    dates.sort();
    QCOMPARE(dates.size(), 30);
    QCOMPARE(dates.first(), QStringLiteral("600000000"));
    QCOMPARE(dates.last(), QStringLiteral("600000100"));
}

QTEST_GUILESS_MAIN(TestMessageStoreWriting)
#include "TestMessageStoreWriting.moc"
