// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "base/TaskReporting.h"
#include "message/MessageText.h"
#include "ops/BackupSMSThread.h"
#include "ops/DeleteMessagesThread.h"
#include "ops/MessageSearch.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/XmlImportThread.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"
#include "support/MessageRecords.h"
#include "support/RecordingProgress.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The full-text index against real stores in the data folder: two local databases and a phone's
// cache, searched together, kept up to date as messages come and go, and built anew when damaged.
class TestSearchIndex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsAcrossStores_data();
    void findsAcrossStores();
    void datesAndConversation();
    void highlights_data();
    void highlights();
    void updatesOnlyWhatChanged();
    void damagedIndexIsRebuilt_data();
    void damagedIndexIsRebuilt();
    void buildCancelledThenComplete_data();
    void buildCancelledThenComplete();
    void tasksKeepIndexCurrent_data();
    void tasksKeepIndexCurrent();

private:
    // "source|text" of every match, newest first; checks that the count agrees.
    static QStringList found(const QString& text, const SearchRange& range = {});

    QDir m_alpha;
    QDir m_beta;
    QDir m_cache;
};

namespace {

// Adds one message to the store's first conversation, as a later backup would.
void addMessage(const QDir& folder, int date, const QString& text)
{
    MessageRecords records;
    _MsgHandle* handle = records.addHandle(1, QStringLiteral("+447700900101"));
    _MsgChat* chat = records.addChat(1, handle->id, { handle }, date);
    ExportMessagesDb writer(folder, QString());
    writer.begin();
    writer.write(*records.addMessage(9001, chat, handle, date, text, false));
    writer.end();
}

} // namespace

QTEST_GUILESS_MAIN(TestSearchIndex)

void TestSearchIndex::initTestCase()
{
    useTemporaryHome();
    m_alpha = QDir(localDatabasesDir().filePath(QStringLiteral("Alpha")));
    m_beta = QDir(localDatabasesDir().filePath(QStringLiteral("Beta")));
    m_cache = QDir(androidCacheDir().filePath(QStringLiteral("356938035643809")));
    // Each store numbers its conversations +447700900101, +447700900102, ...
    writeStore(m_alpha,
        { { QStringLiteral("Anna García"),
              { { 100, QStringLiteral("¿Quedamos mañana en la estación?"), false },
                  { 400, QStringLiteral("Café con leche, por favor"), true } } },
            { QStringLiteral("Jürgen Weiß"), { { 200, QStringLiteral("Die Straße ist gesperrt"), false } } },
            { QStringLiteral("王芳"), { { 300, QStringLiteral("今天晚上一起吃饭吗？"), false } } } });
    writeStore(m_beta,
        { { QStringLiteral("محمد علي"), { { 150, QStringLiteral("مَرْحَبًا، كَيْفَ حَالُكَ؟"), false } } },
            { QStringLiteral("さくら"), { { 250, QStringLiteral("東京タワーで会いましょう"), false } } },
            { QStringLiteral("Mum"),
                { { 350, QStringLiteral("Happy birthday 🎉🎂"), false },
                    { 450, QStringLiteral("Love you ❤️ 👍🏽"), true } } } });
    writeStore(m_cache,
        { { QStringLiteral("Anna García"), { { 500, QStringLiteral("See you at the ESTACIÓN"), false } } },
            { QStringLiteral("VERIFY"), { { 50, QStringLiteral("Your code is 447100"), false } } } });
}

QStringList TestSearchIndex::found(const QString& text, const SearchRange& range)
{
    MessageSearch search(allSearchSources());
    const SearchResults results = search.search(SearchQuery(text), range, -1);
    if (!search.failures().isEmpty())
        qWarning() << search.failures();
    QStringList hits;
    for (const SearchHit& hit : results.hits)
        hits << search.sources().at(hit.source).label() + QLatin1Char('|') + hit.text;
    if (results.total != hits.size())
        hits << QStringLiteral("count %1").arg(results.total);
    return hits;
}

void TestSearchIndex::findsAcrossStores_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    const QString cache = QStringLiteral("android_cache/356938035643809|");
    const QStringList conversationTwo { QStringLiteral("Beta|東京タワーで会いましょう"),
        QStringLiteral("Alpha|Die Straße ist gesperrt"), cache + QStringLiteral("Your code is 447100") };
    QTest::newRow("accents and case, two stores") << "estacion"
                                                  << QStringList { cache + QStringLiteral("See you at the ESTACIÓN"),
                                                         QStringLiteral("Alpha|¿Quedamos mañana en la estación?") };
    QTest::newRow("a name finds its conversations") << "GARCÍA"
                                                    << QStringList { cache + QStringLiteral("See you at the ESTACIÓN"),
                                                           QStringLiteral("Alpha|Café con leche, por favor"),
                                                           QStringLiteral("Alpha|¿Quedamos mañana en la estación?") };
    QTest::newRow("sharp s") << "strasse" << QStringList { QStringLiteral("Alpha|Die Straße ist gesperrt") };
    QTest::newRow("name by its beginnings")
        << "jurg weiss" << QStringList { QStringLiteral("Alpha|Die Straße ist gesperrt") };
    QTest::newRow("Chinese inside a sentence")
        << "吃饭" << QStringList { QStringLiteral("Alpha|今天晚上一起吃饭吗？") };
    QTest::newRow("Japanese inside a sentence")
        << "タワー" << QStringList { QStringLiteral("Beta|東京タワーで会いましょう") };
    QTest::newRow("Arabic without vowel marks") << "مرحبا" << QStringList { QStringLiteral("Beta|مَرْحَبًا، كَيْفَ حَالُكَ؟") };
    QTest::newRow("emoji") << "🎉" << QStringList { QStringLiteral("Beta|Happy birthday 🎉🎂") };
    QTest::newRow("emoji without its variation and skin tone")
        << "❤ 👍" << QStringList { QStringLiteral("Beta|Love you ❤️ 👍🏽") };
    QTest::newRow("national number") << "07700 900102" << conversationTwo;
    QTest::newRow("international number") << "+44 7700 900102" << conversationTwo;
    QTest::newRow("international number dialled with 00") << "0044 7700900102" << conversationTwo;
    QTest::newRow("national number without trunk prefix") << "7700900102" << conversationTwo;
    QTest::newRow("number in a text") << "447100" << QStringList { cache + QStringLiteral("Your code is 447100") };
    QTest::newRow("name and word") << "mum birthday" << QStringList { QStringLiteral("Beta|Happy birthday 🎉🎂") };
    QTest::newRow("word beginnings") << "caf lech" << QStringList { QStringLiteral("Alpha|Café con leche, por favor") };
    QTest::newRow("phrase") << "\"con leche\"" << QStringList { QStringLiteral("Alpha|Café con leche, por favor") };
    QTest::newRow("phrase in another order") << "\"leche con\"" << QStringList();
    QTest::newRow("one letter is a whole word") << "c" << QStringList();
    QTest::newRow("nothing") << "zebra" << QStringList();
}

void TestSearchIndex::findsAcrossStores()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(found(text), expected);
}

void TestSearchIndex::datesAndConversation()
{
    SearchRange range;
    range.since = 150;
    QCOMPARE(found(QStringLiteral("garcia"), range),
        QStringList({ QStringLiteral("android_cache/356938035643809|See you at the ESTACIÓN"),
            QStringLiteral("Alpha|Café con leche, por favor") }));
    range.until = 450;
    QCOMPARE(found(QStringLiteral("garcia"), range), QStringList { QStringLiteral("Alpha|Café con leche, por favor") });

    // One conversation: a term its name holds is true of all its messages.
    SearchRange conversation;
    conversation.chatRowId
        = scalar(m_alpha, QStringLiteral("select ROWID from chat where chat_identifier = '+447700900101'"))
              .toLongLong();
    QVERIFY(conversation.chatRowId > 0);
    MessageSearch search({ SearchSource { SearchSource::Kind::LocalDatabase, QStringLiteral("Alpha"), m_alpha } });
    const auto texts = [&](const QString& text) {
        QStringList hits;
        for (const SearchHit& hit : search.search(SearchQuery(text), conversation, 10).hits)
            hits << hit.text;
        return hits;
    };
    QCOMPARE(texts(QStringLiteral("anna")),
        QStringList(
            { QStringLiteral("Café con leche, por favor"), QStringLiteral("¿Quedamos mañana en la estación?") }));
    QCOMPARE(texts(QStringLiteral("anna leche")), QStringList { QStringLiteral("Café con leche, por favor") });
    QCOMPARE(texts(QStringLiteral("strasse")), QStringList());
}

void TestSearchIndex::highlights_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("spans"); // start, length, ...

    QTest::newRow("accent") << "garcia"
                            << "Anna García" << QList<int> { 5, 6 };
    QTest::newRow("beginnings") << "caf lech"
                                << "Café con leche" << QList<int> { 0, 4, 9, 5 };
    QTest::newRow("Chinese characters in a row") << "吃饭"
                                                 << "一起吃饭吗" << QList<int> { 2, 2 };
    QTest::newRow("after an emoji") << "ok"
                                    << "😀 ok" << QList<int> { 3, 2 };
    QTest::newRow("number in groups") << "07700 900101"
                                      << "call 07700 900101" << QList<int> { 5, 5, 11, 6 };
}

void TestSearchIndex::highlights()
{
    QFETCH(QString, query);
    QFETCH(QString, text);
    QFETCH(QList<int>, spans);
    QList<int> found;
    for (const SearchSpan& span : SearchQuery(query).highlights(text))
        found << span.start << span.length;
    QCOMPARE(found, spans);
}

void TestSearchIndex::updatesOnlyWhatChanged()
{
    SearchIndex index(m_beta);
    index.ensureUpToDate();
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Unchanged);

    addMessage(m_beta, 600, QStringLiteral("Dinner at seven?"));
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Updated);
    QCOMPARE(found(QStringLiteral("dinner")), QStringList { QStringLiteral("Beta|Dinner at seven?") });

    {
        IOS6MessageDb store(m_beta, QString(), true);
        _MsgCollection collection;
        store.messages(collection, 0);
        const auto messages = collection.messages();
        const auto birthday = std::find_if(messages.cbegin(), messages.cend(),
            [](const _MsgMessage* message) { return message->text.startsWith(QLatin1String("Happy birthday")); });
        QVERIFY(birthday != messages.cend());
        store.beginTransaction();
        store.deleteMessage(**birthday);
        store.endTransaction(true);
    }
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Updated);
    QCOMPARE(found(QStringLiteral("🎉")), QStringList());
    QCOMPARE(found(QStringLiteral("mum")), QStringList { QStringLiteral("Beta|Love you ❤️ 👍🏽") });

    // A contact renamed: its conversation is found by the new name only.
    {
        Sqlite3DB store;
        store.openThrow(smsDbPath(m_beta), Sqlite3DB::ReadWrite);
        store.executeThrow("update handle set _ct_name = 'Sakura Tanaka' where _ct_name = 'さくら'");
    }
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Updated);
    QCOMPARE(found(QStringLiteral("tanaka")), QStringList { QStringLiteral("Beta|東京タワーで会いましょう") });
    QCOMPARE(found(QStringLiteral("さくら")), QStringList());
}

void TestSearchIndex::damagedIndexIsRebuilt_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("removed") << "removed";
    QTest::newRow("garbage from the start") << "header";
    QTest::newRow("garbage in the schema") << "schema";
    QTest::newRow("cut short") << "truncated";
    QTest::newRow("another version") << "version";
}

void TestSearchIndex::damagedIndexIsRebuilt()
{
    QFETCH(QString, damage);
    const QStringList before = found(QStringLiteral("estacion"));
    SearchIndex index(m_alpha);
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Unchanged);
    index.close();

    QFile file(index.indexPath());
    if (damage == QLatin1String("removed")) {
        QVERIFY(file.remove());
    } else if (damage == QLatin1String("version")) {
        Sqlite3DB db;
        db.openThrow(index.indexPath(), Sqlite3DB::ReadWrite);
        db.executeThrow("PRAGMA user_version=99");
    } else {
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == QLatin1String("truncated")) {
            QVERIFY(file.resize(2048));
        } else {
            file.seek(damage == QLatin1String("header") ? 0 : 100);
            file.write(QByteArray(4096, char(0xA5)));
        }
        file.close();
    }
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Rebuilt);
    QCOMPARE(found(QStringLiteral("estacion")), before);
}

void TestSearchIndex::buildCancelledThenComplete_data()
{
    // A build reads the store, then writes the index while a thread tokenizes ahead of it.
    QTest::addColumn<bool>("whileWriting");
    QTest::newRow("while reading") << false;
    QTest::newRow("while writing") << true;
}

void TestSearchIndex::buildCancelledThenComplete()
{
    QFETCH(bool, whileWriting);
    constexpr int messages = 20000;
    QTemporaryDir folder;
    {
        MessageRecords records;
        ExportMessagesDb writer(QDir(folder.path()), QString());
        writer.begin();
        for (const _MsgMessage* message : records.addConversation(messages))
            writer.write(*message);
        writer.end();
    }
    SearchIndex index((QDir(folder.path())));
    RecordingProgress receiver;
    int reports = 0;
    {
        const TaskCancelScope scope(&receiver);
        try {
            index.ensureUpToDate([&](qint64 done, qint64 total) {
                ++reports;
                if (!whileWriting || done > total / 2)
                    receiver.cancelled = true;
            });
            QFAIL("the build ran to its end");
        } catch (const TaskCancelled&) {
        }
    }
    QCOMPARE(reports > 1, whileWriting);
    QCOMPARE(
        QDir(folder.path()).entryList({ QStringLiteral("sms-search.db*") }, QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Rebuilt);
    QCOMPARE(index.count(SearchQuery(QStringLiteral("message")), SearchRange()), messages);
    // Each message is found by its own number, also on either side of the blocks in which a build
    // tokenizes ahead of its inserts.
    for (const int number : { 1, 2048, 2049, 4097, 8192, 8193, 19999, 20000 }) {
        const QList<SearchIndexHit> hits = index.newest(SearchQuery(QString::number(number)), SearchRange(), -1);
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.first().text, QStringLiteral("message %1").arg(number));
    }
}

#include "TestSearchIndex.moc"

void TestSearchIndex::tasksKeepIndexCurrent_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("apples"); // matches of each word once the task has ended
    QTest::addColumn<int>("cherries");

    QTest::newRow("delete") << "delete" << 0 << 0;
    QTest::newRow("backup") << "backup" << 1 << 1;
    QTest::newRow("import") << "import" << 1 << 1;
    // The database is removed as soon as the delete has ended, its index's update stopped first.
    QTest::newRow("delete, then the database") << "delete" << -1 << -1;
}

// A delete, a backup and an import bring the store's index up to date on their own, off their thread:
// the index, opened as it is without being updated, no longer finds a deleted message and finds the
// new ones, and a search that follows has nothing left to do.
void TestSearchIndex::tasksKeepIndexCurrent()
{
    QFETCH(QString, task);
    QFETCH(int, apples);
    QFETCH(int, cherries);

    const QDir folder(localDatabasesDir().filePath(QStringLiteral("Gamma")));
    QVERIFY(!folder.exists() || QDir(folder).removeRecursively());
    writeStore(folder,
        { { QStringLiteral("Tom"),
            { { 100, QStringLiteral("apple harvest"), false }, { 200, QStringLiteral("banana bread"), true } } } });
    QCOMPARE(SearchIndex(folder).ensureUpToDate(), SearchIndex::Update::Rebuilt);

    RecordingProgress progress;
    MessageRecords records;
    QTemporaryDir scratch;
    std::unique_ptr<QThread> worker;
    IOS6MessageDb store(folder, QString(), false);
    _MsgCollection collection;
    QList<_MsgMessage*> chosen;
    if (task == QLatin1String("delete")) {
        store.chats(collection);
        store.messages(collection, 0);
        for (_MsgMessage* message : collection.messages())
            if (message->text.startsWith(QLatin1String("apple")))
                chosen << message;
        QCOMPARE(chosen.size(), 1);
        worker = std::make_unique<DeleteMessagesThread>(&store, &chosen, &progress);
    } else if (task == QLatin1String("backup")) {
        _MsgHandle* handle = records.addHandle(1, QStringLiteral("+447700900101"));
        _MsgChat* chat = records.addChat(1, handle->id, { handle }, 300);
        chosen << records.addMessage(1, chat, handle, 300, QStringLiteral("cherry pie"), false);
        worker = std::make_unique<BackupSMSThread>(chosen, folder, QString(), &progress);
    } else {
        const QString xml = scratch.filePath(QStringLiteral("backup.xml"));
        QFile file(xml);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"1\">\n"
                                  "  <sms protocol=\"0\" address=\"+447700900101\" date=\"%1000\" type=\"1\" "
                                  "body=\"cherry pie\" read=\"1\" />\n</smses>\n")
                       .arg(messageDateOffset + 300)
                       .toUtf8());
        file.close();
        worker = std::make_unique<XmlImportThread>(xml, folder, QStringLiteral("234"), &progress);
    }
    worker->start();
    QVERIFY(progress.waitForOutcome(worker.get()));
    QVERIFY(worker->wait(60000));
    QCOMPARE(progress.errors, QStringList());
    store.close();
    if (apples < 0) {
        stopSearchIndexUpdate(folder);
        QVERIFY(QDir(folder).removeRecursively());
        waitForSearchIndexUpdates();
        QVERIFY(!folder.exists());
        return;
    }
    waitForSearchIndexUpdates();

    SearchIndex index(folder);
    index.open();
    QCOMPARE(index.count(SearchQuery(QStringLiteral("apple")), {}), qint64(apples));
    QCOMPARE(index.count(SearchQuery(QStringLiteral("cherry")), {}), qint64(cherries));
    QCOMPARE(index.count(SearchQuery(QStringLiteral("banana")), {}), qint64(1));
    QCOMPARE(index.ensureUpToDate(), SearchIndex::Update::Unchanged);
}
