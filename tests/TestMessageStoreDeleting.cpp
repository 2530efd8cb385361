// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ExportMessagesDb.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QTemporaryDir>
#include <QTest>

#include <deque>

namespace {

QString storedChats(const QDir& folder)
{
    return scalar(folder, QStringLiteral("select group_concat(guid) from (select guid from chat order by rowid)"));
}

} // namespace

// A store with two conversations:
//   "chat-a" with Ann: messages a1, a2 (a2 newest) and a3 from me;
//   "chat-b" with Bob: message b1 carrying the attachments "shared" and "own", and message b2 from me
//   carrying "shared" as well.
// The records handed to deleteMessage carry the stored row ids, as after reading the store.
class TestMessageStoreDeleting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void deleteMessages_data();
    void deleteMessages();
    void lastMessageTakesConversationAndCorrespondent();
    void keptConversationKeepsLast();
    void attachmentsNoOneUsesGo();
    void failureHalfwayRollsBackEverything();
    void recordsReadFromTheStore();

private:
    _MsgMessage record(const QString& text, bool withChat);
    void deleteAll(const QList<_MsgMessage>& messages);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_folder;
    std::deque<_MsgChat> m_chats; // chat records with stored row ids, by guid order a, b
};

void TestMessageStoreDeleting::initTestCase()
{
    useTemporaryHome();
}

void TestMessageStoreDeleting::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    QVERIFY(QDir(m_tmp->path()).mkpath(QStringLiteral("store")));
    m_folder = QDir(m_tmp->filePath(QStringLiteral("store")));

    std::deque<_MsgHandle> handles(2);
    handles[0].id = QStringLiteral("+15550000001");
    handles[1].id = QStringLiteral("+15550000002");
    m_chats.clear();
    m_chats.resize(2);
    m_chats[0].guid = QStringLiteral("chat-a");
    m_chats[0].handles.insert(QStringLiteral("1"), &handles[0]);
    m_chats[1].guid = QStringLiteral("chat-b");
    m_chats[1].handles.insert(QStringLiteral("1"), &handles[1]);

    struct Seed
    {
        const char* text;
        int chat;
        int handle; // -1: from me
        int date;
        QStringList attachments;
    };
    const Seed seeds[] = {
        { "a1", 0, 0, 100, {} },
        { "a2", 0, 0, 300, {} },
        { "a3", 0, -1, 200, {} },
        { "b1", 1, 1, 400, { QStringLiteral("shared"), QStringLiteral("own") } },
        { "b2", 1, -1, 500, { QStringLiteral("shared") } },
    };
    ExportMessagesDb writer(m_folder, QString());
    writer.begin();
    for (const Seed& seed : seeds) {
        _MsgMessage m;
        m.text = QString::fromLatin1(seed.text);
        m.guid = m.text;
        m.chat = &m_chats[seed.chat];
        m.handle = seed.handle >= 0 ? &handles[seed.handle] : nullptr;
        m.is_from_me = seed.handle < 0;
        m.date = seed.date;
        for (qsizetype i = 0; i < seed.attachments.size(); ++i) {
            _MsgAttachment a;
            a.rowid = i + 1;
            a.guid = seed.attachments[i];
            m.attachments.insert(QString::number(i + 1), a);
        }
        writer.write(m);
    }
    writer.end();

    for (_MsgChat& chat : m_chats) {
        chat.handles.clear();
        chat.rowid
            = scalar(m_folder, QStringLiteral("select rowid from chat where guid='%1'").arg(chat.guid)).toLongLong();
        QVERIFY(chat.rowid > 0);
    }
}

void TestMessageStoreDeleting::cleanup()
{
    m_tmp.reset();
}

_MsgMessage TestMessageStoreDeleting::record(const QString& text, bool withChat)
{
    _MsgMessage m;
    m.text = text;
    m.guid = text;
    m.rowid = scalar(m_folder, QStringLiteral("select rowid from message where guid='%1'").arg(text)).toLongLong();
    m.readRowId = m.rowid;
    if (withChat)
        m.chat = &m_chats[text.startsWith(QLatin1Char('a')) ? 0 : 1];
    return m;
}

void TestMessageStoreDeleting::deleteAll(const QList<_MsgMessage>& messages)
{
    IOS6MessageDb db(m_folder, QString(), true);
    db.beginTransaction();
    try {
        for (const _MsgMessage& m : messages)
            db.deleteMessage(m);
    } catch (...) {
        db.endTransaction(false);
        throw;
    }
    db.endTransaction(true);
}

void TestMessageStoreDeleting::deleteMessages_data()
{
    QTest::addColumn<QStringList>("deleted"); // "-" prefix: the record has no conversation
    QTest::addColumn<QString>("texts");
    QTest::addColumn<QString>("chats");
    QTest::addColumn<int>("chatMessageJoins");

    QTest::newRow("one of several") << QStringList { QStringLiteral("a1") } << QStringLiteral("a2,a3,b1,b2")
                                    << QStringLiteral("chat-a,chat-b") << 4;
    QTest::newRow("every message of a conversation") << QStringList { QStringLiteral("b1"), QStringLiteral("b2") }
                                                     << QStringLiteral("a1,a2,a3") << QStringLiteral("chat-a") << 3;
    QTest::newRow("without conversation the conversation row stays")
        << QStringList { QStringLiteral("-b1"), QStringLiteral("-b2") } << QStringLiteral("a1,a2,a3")
        << QStringLiteral("chat-a,chat-b") << 3;
    QTest::newRow("the same message twice") << QStringList { QStringLiteral("a3"), QStringLiteral("a3") }
                                            << QStringLiteral("a1,a2,b1,b2") << QStringLiteral("chat-a,chat-b") << 4;
    QTest::newRow("everything") << QStringList { QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"),
        QStringLiteral("b1"), QStringLiteral("b2") }
                                << QString() << QString() << 0;
}

void TestMessageStoreDeleting::deleteMessages()
{
    QFETCH(QStringList, deleted);
    QFETCH(QString, texts);
    QFETCH(QString, chats);
    QFETCH(int, chatMessageJoins);

    QList<_MsgMessage> records;
    for (const QString& entry : deleted) {
        const bool withChat = !entry.startsWith(QLatin1Char('-'));
        records.append(record(withChat ? entry : entry.mid(1), withChat));
    }
    deleteAll(records);
    QCOMPARE(storedRows(m_folder).join(QLatin1Char(',')), texts);
    QCOMPARE(storedChats(m_folder), chats);
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from chat_message_join")).toInt(), chatMessageJoins);
}

void TestMessageStoreDeleting::lastMessageTakesConversationAndCorrespondent()
{
    // Bob's correspondent row lives while his conversation joins it; the conversation goes with its
    // last message. Whether the join row goes with it depends on foreign keys being enforced.
    bool foreignKeys = false;
    {
        IOS6MessageDb probe(m_folder, QString(), true);
        probe.open();
        Sqlite3Cursor pragma = probe.queryThrow(Sqlite3Sql("PRAGMA foreign_keys"));
        foreignKeys = pragma.moveNext() && pragma.getInt(0) == 1;
    }

    deleteAll({ record(QStringLiteral("b1"), true), record(QStringLiteral("b2"), true) });
    QCOMPARE(storedChats(m_folder), QStringLiteral("chat-a"));
    const QString bob = QStringLiteral("select count(*) from handle where id='+15550000002'");
    QCOMPARE(scalar(m_folder, bob), foreignKeys ? QStringLiteral("0") : QStringLiteral("1"));
    QCOMPARE(
        scalar(m_folder, QStringLiteral("select count(*) from handle where id='+15550000001'")), QStringLiteral("1"));
}

void TestMessageStoreDeleting::keptConversationKeepsLast()
{
    deleteAll({ record(QStringLiteral("a2"), true) });
    QCOMPARE(scalar(m_folder, QStringLiteral("select _last from chat where guid='chat-a'")), QStringLiteral("300"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from handle")), QStringLiteral("2"));
}

void TestMessageStoreDeleting::attachmentsNoOneUsesGo()
{
    deleteAll({ record(QStringLiteral("b1"), true) });
    QCOMPARE(scalar(m_folder, QStringLiteral("select group_concat(guid) from attachment")), QStringLiteral("shared"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from message_attachment_join")), QStringLiteral("1"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select cache_has_attachments from message where guid='b2'")),
        QStringLiteral("1"));

    deleteAll({ record(QStringLiteral("b2"), true) });
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from attachment")), QStringLiteral("0"));
}

void TestMessageStoreDeleting::failureHalfwayRollsBackEverything()
{
    const QString before = storedRows(m_folder).join(QLatin1Char(','));
    const QList<_MsgMessage> records = { record(QStringLiteral("a1"), true), record(QStringLiteral("b1"), true),
        record(QStringLiteral("b2"), true), record(QStringLiteral("a2"), true) };
    {
        // The third deletion fails in the middle of the run.
        Sqlite3DB db;
        db.openThrow(smsDbPath(m_folder), Sqlite3DB::ReadWrite);
        db.executeThrow(
            Sqlite3Sql(QStringLiteral("CREATE TRIGGER refuse_delete BEFORE DELETE ON message WHEN old.ROWID = "
                                      "%1 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                           .arg(records[2].rowid)));
    }
    QVERIFY_THROWS_EXCEPTION(std::exception, deleteAll(records));
    QCOMPARE(storedRows(m_folder).join(QLatin1Char(',')), before);
    QCOMPARE(storedChats(m_folder), QStringLiteral("chat-a,chat-b"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from attachment")), QStringLiteral("2"));
    QCOMPARE(scalar(m_folder, QStringLiteral("select count(*) from chat_message_join")), QStringLiteral("5"));
}

void TestMessageStoreDeleting::recordsReadFromTheStore()
{
    // As the deleting thread does it: records come from reading the store into a collection.
    _MsgCollection collection;
    QList<_MsgMessage> chosen;
    {
        IOS6MessageDb db(m_folder, QString(), true);
        db.messages(collection, 0);
    }
    for (const _MsgMessage* m : collection.messages()) {
        if (m->text == QLatin1String("a1") || m->text.startsWith(QLatin1Char('b')))
            chosen.append(*m);
    }
    QCOMPARE(chosen.size(), 3);
    deleteAll(chosen);
    QCOMPARE(storedRows(m_folder).join(QLatin1Char(',')), QStringLiteral("a2,a3"));
    QCOMPARE(storedChats(m_folder), QStringLiteral("chat-a"));
}

QTEST_GUILESS_MAIN(TestMessageStoreDeleting)
#include "TestMessageStoreDeleting.moc"
