// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/BackupSMSThread.h"
#include "ops/DeleteMessagesThread.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"
#include "support/RecordingProgress.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>

namespace {

// Every schema entry and row of the folder's message database, as the sqlite3 shell dumps them.
QByteArray storeDump(const QDir& folder)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), { smsDbPath(folder), QStringLiteral(".dump") });
    if (!shell.waitForFinished(30000) || shell.exitCode() != 0)
        return QByteArray("sqlite3 failed: ") + shell.readAllStandardError();
    return shell.readAllStandardOutput();
}

void execute(const QDir& folder, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadWrite);
    db.executeThrow(Sqlite3Sql(sql));
}

} // namespace

// Backing up into and deleting from a local database: the order, the reports, and that a cancel or
// a failure part-way leaves the database exactly as it was.
class TestBackupDelete : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void backupReportsAndOrder();
    void backupCountsNewAndKnown_data();
    void backupCountsNewAndKnown();
    void interruptedRunLeavesStore_data();
    void interruptedRunLeavesStore();
    void deleteRemovesMessagesAndEmptyConversation();

private:
    // Messages "m1".."mN" of one conversation, newest first, so that the backup has to sort them.
    QList<_MsgMessage*> messages(int count, const QString& failingText = QString());
    void backup(const QList<_MsgMessage*>& list, RecordingProgress& progress);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir m_store;
    _MsgHandle m_handle;
    _MsgChat m_chat;
    std::deque<_MsgMessage> m_records;
};

void TestBackupDelete::initTestCase()
{
    useTemporaryHome();
    m_handle.id = QStringLiteral("+447700900123");
    m_chat.guid = QStringLiteral("SMS;-;+447700900123");
    m_chat.chat_identifier = m_handle.id;
    m_chat.handles.insert(QStringLiteral("1"), &m_handle);
}

void TestBackupDelete::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_store = QDir(m_tmp->filePath(QStringLiteral("backup")));
    m_records.clear();
}

QList<_MsgMessage*> TestBackupDelete::messages(int count, const QString& failingText)
{
    QList<_MsgMessage*> list;
    for (int i = count; i >= 1; --i) {
        _MsgMessage& message = m_records.emplace_back();
        message.text = i == count && !failingText.isEmpty() ? failingText : QStringLiteral("m%1").arg(i);
        message.guid = QStringLiteral("guid-") + message.text;
        message.date = 400000000 + i * 3600;
        message.is_from_me = i % 2;
        message.handle = &m_handle;
        message.chat = &m_chat;
        list.append(&message);
    }
    return list;
}

void TestBackupDelete::backup(const QList<_MsgMessage*>& list, RecordingProgress& progress)
{
    BackupSMSThread worker(list, m_store, QString(), &progress);
    runDirect(worker, progress);
}

void TestBackupDelete::backupReportsAndOrder()
{
    RecordingProgress progress;
    backup(messages(3), progress);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { QStringLiteral("IDS_SUC_BACKUP_3_SMS_3_NEW_0_KNOWN") });
    QList<int> values;
    QStringList texts;
    for (const RecordingProgress::Update& update : std::as_const(progress.updates)) {
        QCOMPARE(update.status, QStringLiteral("IDS_BACKING_UP_SMS"));
        values.append(update.progress);
        texts.append(update.text);
    }
    QCOMPARE(values, (QList<int> { 0, 33, 66, 100 }));
    QCOMPARE(texts,
        (QStringList {
            QString(), QStringLiteral("SMS: 1/3"), QStringLiteral("SMS: 2/3"), QStringLiteral("SMS: 3/3") }));
    // Stored in ascending message order although handed over newest first.
    QCOMPARE(storedRows(m_store), (QStringList { QStringLiteral("m1"), QStringLiteral("m2"), QStringLiteral("m3") }));
}

void TestBackupDelete::backupCountsNewAndKnown_data()
{
    QTest::addColumn<int>("before"); // m1..m<before> backed up first
    QTest::addColumn<int>("now"); // then m1..m<now>
    QTest::addColumn<QString>("success");
    QTest::addColumn<int>("stored");

    QTest::newRow("into a new database") << 0 << 4 << "IDS_SUC_BACKUP_4_SMS_4_NEW_0_KNOWN" << 4;
    QTest::newRow("some new") << 3 << 5 << "IDS_SUC_BACKUP_5_SMS_2_NEW_3_KNOWN" << 5;
    QTest::newRow("the same again") << 3 << 3 << "IDS_SUC_BACKUP_3_SMS_0_NEW_3_KNOWN" << 3;
    QTest::newRow("fewer than stored") << 5 << 2 << "IDS_SUC_BACKUP_2_SMS_0_NEW_2_KNOWN" << 5;
    QTest::newRow("nothing selected") << 2 << 0 << "IDS_SUC_BACKUP_0_SMS_0_NEW_0_KNOWN" << 2;
}

// The success text says how many messages were new and how many the database held already; a run
// with nothing new leaves the database as it was.
void TestBackupDelete::backupCountsNewAndKnown()
{
    QFETCH(int, before);
    QFETCH(int, now);
    QFETCH(QString, success);
    QFETCH(int, stored);

    if (before > 0) {
        RecordingProgress first;
        backup(messages(before), first);
        QCOMPARE(first.errors, QStringList());
    }
    const QByteArray dumpBefore = storeDump(m_store);
    RecordingProgress progress;
    backup(messages(now), progress);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { success });
    QCOMPARE(scalar(m_store, QStringLiteral("select count(*) from message")).toInt(), stored);
    if (before > 0 && success.contains(QLatin1String("_0_NEW_")))
        QCOMPARE(storeDump(m_store), dumpBefore);
}

void TestBackupDelete::interruptedRunLeavesStore_data()
{
    QTest::addColumn<bool>("deleting");
    QTest::addColumn<int>("cancelAfterUpdates");
    QTest::addColumn<QString>("error");

    // The store holds m1..m5 (and "boom" for the deletions). A cancel after k updates (the first
    // one is the status) stops before message k. The backup stores the new m6 before it stops.
    QTest::newRow("backup cancelled after seven messages") << false << 8 << QString();
    QTest::newRow("backup failing on the seventh message") << false << -1 << QStringLiteral("refused boom");
    QTest::newRow("delete cancelled after two messages") << true << 3 << QString();
    QTest::newRow("delete failing on the fourth message") << true << -1 << QStringLiteral("refused boom");
}

void TestBackupDelete::interruptedRunLeavesStore()
{
    QFETCH(bool, deleting);
    QFETCH(int, cancelAfterUpdates);
    QFETCH(QString, error);

    RecordingProgress seed;
    backup(messages(5), seed);
    QCOMPARE(seed.successes.size(), 1);
    if (deleting) {
        RecordingProgress seedBoom;
        backup(messages(1, QStringLiteral("boom")), seedBoom);
        execute(m_store,
            QStringLiteral("create trigger refuse before delete on message when old.text='boom' "
                           "begin select raise(abort, 'refused boom'); end"));
    } else {
        // Writers refuse a store with triggers of its own: the insert fails on a constraint instead.
        execute(m_store,
            QStringLiteral("alter table message add column refuse integer "
                           "constraint \"refused boom\" check (text is not 'boom')"));
    }
    const QByteArray before = storeDump(m_store);
    QVERIFY(before.contains("INSERT INTO message"));

    RecordingProgress progress;
    progress.cancelAfterUpdates = cancelAfterUpdates;
    if (deleting) {
        IOS6MessageDb db(m_store, QString(), true);
        _MsgCollection collection;
        db.chats(collection);
        db.messages(collection, 0);
        QList<_MsgMessage*> list = collection.messages().values();
        std::sort(
            list.begin(), list.end(), [](const _MsgMessage* a, const _MsgMessage* b) { return a->rowid < b->rowid; });
        QCOMPARE(list.size(), 6);
        QCOMPARE(list.last()->text, QStringLiteral("boom"));
        list.insert(3, list.takeLast());
        DeleteMessagesThread worker(&db, &list, &progress);
        runDirect(worker, progress);
        db.close();
    } else {
        // m1..m5 are found, m6 is new, and m7 fails as it is inserted.
        QList<_MsgMessage*> list = messages(8);
        list[1]->text = QStringLiteral("boom");
        backup(list, progress);
    }

    QCOMPARE(progress.successes, QStringList());
    if (error.isEmpty()) {
        QVERIFY(progress.cancelled);
        QCOMPARE(progress.updates.size(), cancelAfterUpdates);
        QCOMPARE(progress.errors, QStringList());
    } else {
        QCOMPARE(progress.errors.size(), 1);
        QVERIFY2(progress.errors.first().contains(error), qPrintable(progress.errors.first()));
    }
    QCOMPARE(storeDump(m_store), before);
}

void TestBackupDelete::deleteRemovesMessagesAndEmptyConversation()
{
    RecordingProgress seed;
    backup(messages(2), seed);
    IOS6MessageDb db(m_store, QString(), true);
    _MsgCollection collection;
    db.chats(collection);
    db.messages(collection, 0);
    QList<_MsgMessage*> list = collection.messages().values();

    RecordingProgress progress;
    DeleteMessagesThread worker(&db, &list, &progress);
    runDirect(worker, progress);
    db.close();
    QCOMPARE(progress.successes, QStringList { QStringLiteral("IDS_SUC_DELETE_2_MESSAGES") });
    QCOMPARE(progress.updates.first().status, QStringLiteral("IDS_DELETING_LOCAL_DB_MESSAGES"));
    QCOMPARE(progress.updates.last().progress, 100);
    QCOMPARE(progress.updates.last().text, QString());
    QCOMPARE(scalar(m_store, QStringLiteral("select count(*) from message")), QStringLiteral("0"));
    QCOMPARE(scalar(m_store, QStringLiteral("select count(*) from chat")), QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(TestBackupDelete)
#include "TestBackupDelete.moc"
