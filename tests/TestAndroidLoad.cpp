// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLoadSMSThread.h"
#include "store/CountryLibDb.h"
#include "store/ExportMessagesDb.h"
#include "store/Sqlite3DB.h"
#include "support/AdbTestServer.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/RecordingProgress.h"
#include "support/TestHome.h"
#include "tools/common/SyntheticMessages.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>

Q_DECLARE_METATYPE(QList<SimMessage>)

namespace {

const QString ukCountryCode = QStringLiteral("234");

SimMessage message(qint64 timeMs, int direction, const QString& address, const QString& body,
    const QString& contactName = QString(), const QString& subject = QString())
{
    SimMessage m;
    m.timeMs = timeMs;
    m.direction = direction;
    m.address = address;
    m.contactName = contactName;
    m.body = body;
    m.subject = subject;
    return m;
}

// One stored message with its correspondent, as the cache holds it.
struct StoredMessage
{
    QString address;
    QString contactName;
    QString text;
    QString subject;
    int date = 0;
    int isFromMe = 0;
};

struct LoadOutcome
{
    QStringList errors;
    QStringList successes;
    QList<RecordingProgress::Update> updates;
    qint64 elapsedMs = 0;
};

QString cachePath(const AndroidDevice& device)
{
    return device.cacheDir().filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

QString stagingPath(const AndroidDevice& device)
{
    return device.cacheDir().filePath(AndroidLoadSMSThread::stagingFolderName());
}

// Opens a cache database read-only for checking; fails the test when it is missing.
std::unique_ptr<Sqlite3DB> openCache(const AndroidDevice& device)
{
    auto db = std::make_unique<Sqlite3DB>();
    db->openThrow(cachePath(device), Sqlite3DB::ReadOnly);
    return db;
}

qint64 countRows(Sqlite3DB& db, const char* table)
{
    Sqlite3Cursor cursor
        = db.queryThrow(Sqlite3Sql(QStringLiteral("select count(*) from %1").arg(QLatin1String(table))));
    return cursor.moveNext() ? cursor.getInt64(0) : -1;
}

QList<StoredMessage> storedMessages(Sqlite3DB& db)
{
    QList<StoredMessage> rows;
    Sqlite3Cursor cursor
        = db.queryThrow(Sqlite3Sql("select h.id, h._ct_name, m.text, m.subject, m.date, m.is_from_me from message m "
                                   "left join handle h on h.rowid = m.handle_id order by m.rowid"));
    while (cursor.moveNext())
        rows.append({ cursor.getText(0), cursor.getText(1), cursor.getText(2), cursor.getText(3), cursor.getInt(4),
            cursor.getInt(5) });
    return rows;
}

QString storedMessageText(const StoredMessage& m)
{
    return QStringLiteral("[%1|%2|%3|%4|%5|%6]")
        .arg(m.address, m.contactName, m.text, m.subject, QString::number(m.date), QString::number(m.isFromMe));
}

// Runs a load to its end; cancelAfterMs cancels from the GUI thread after that time.
LoadOutcome runLoad(const AndroidDevice& device, int cancelAfterUpdates = -1, int cancelAfterMs = -1)
{
    RecordingProgress progress;
    progress.cancelAfterUpdates = cancelAfterUpdates;
    AndroidLoadSMSThread thread(device, &progress);
    if (cancelAfterMs >= 0)
        QTimer::singleShot(cancelAfterMs, &progress, [&progress] { progress.cancelled = true; });
    QElapsedTimer timer;
    timer.start();
    thread.start();
    progress.waitForOutcome(&thread, 120000);
    thread.wait();
    LoadOutcome outcome;
    outcome.elapsedMs = timer.elapsed();
    QCoreApplication::processEvents();
    outcome.errors = progress.errors;
    outcome.successes = progress.successes;
    outcome.updates = progress.updates;
    return outcome;
}

AndroidDevice wifiDevice(const QString& imei, const QString& mmc = ukCountryCode)
{
    AndroidDevice device;
    device.wifi = true;
    device.host = QStringLiteral("127.0.0.1");
    device.port = AndroidDevice::wifiServicePort;
    device.imei = imei;
    device.mmc = mmc;
    return device;
}

} // namespace

class TestAndroidLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void edgeCases_data();
    void edgeCases();
    void recordFields();
    void progressReports_data();
    void progressReports();
    void failureKeepsPreviousCache_data();
    void failureKeepsPreviousCache();
    void cancelWhilePhoneIsSilent();
    void cacheThatCannotBeReplaced();
    void leftoversOfEarlierLoads();
    void generatedMessagesOverWifi();
    void generatedMessagesOverUsb();

private:
    // Writes the messages into a message file (m_lastMessageFile) and starts a simulator on the WiFi
    // service port with it.
    bool startPhone(PhoneSimulatorProcess& phone, const QList<SimMessage>& messages, const QStringList& arguments);
    QString writeMessageFile(const QList<SimMessage>& messages);

    QTemporaryDir m_files;
    QTranslator m_translator;
    int m_fileCounter = 0;
    QString m_lastMessageFile;
};

void TestAndroidLoad::initTestCase()
{
    useTemporaryHome();
    QVERIFY(m_files.isValid());
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

QString TestAndroidLoad::writeMessageFile(const QList<SimMessage>& messages)
{
    const QString path = m_files.filePath(QStringLiteral("phone-%1.json").arg(++m_fileCounter));
    saveMessages(path, messages);
    return path;
}

bool TestAndroidLoad::startPhone(
    PhoneSimulatorProcess& phone, const QList<SimMessage>& messages, const QStringList& arguments)
{
    m_lastMessageFile = writeMessageFile(messages);
    const QStringList base { QStringLiteral("--port"), QString::number(AndroidDevice::wifiServicePort),
        QStringLiteral("--adb-port"), QStringLiteral("0"), QStringLiteral("--messages"), m_lastMessageFile };
    if (!phone.start(base + arguments)) {
        qWarning("simulator did not start: %s", qUtf8Printable(phone.log()));
        return false;
    }
    return true;
}

void TestAndroidLoad::edgeCases_data()
{
    QTest::addColumn<QList<SimMessage>>("messages");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("messageRows");
    QTest::addColumn<int>("chatRows");
    QTest::addColumn<int>("handleRows");

    const qint64 t = 1356998400000;
    const QList<SimMessage> two { message(t, 0, QStringLiteral("+447700900123"), QStringLiteral("first")),
        message(t + 60000, 1, QStringLiteral("+447700900456"), QStringLiteral("second")) };

    QTest::newRow("immediate bye: empty cache") << QList<SimMessage>() << QStringList() << 0 << 0 << 0;
    QTest::newRow("two correspondents") << two << QStringList() << 2 << 2 << 2;
    QTest::newRow("record with five fields is dropped")
        << two << QStringList { QStringLiteral("--short-record"), QStringLiteral("1") } << 1 << 1 << 1;
    QTest::newRow("unknown line inside a batch is ignored")
        << two << QStringList { QStringLiteral("--unknown-command"), QStringLiteral("2") } << 2 << 2 << 2;
    QTest::newRow("repeated record stored once")
        << QList<SimMessage> { two[0], two[0], two[1] } << QStringList() << 2 << 2 << 2;
    QTest::newRow("same second and text, other subject, is the same message") << QList<SimMessage> { two[0],
        message(t, 0, QStringLiteral("+447700900123"), QStringLiteral("first"), QString(), QStringLiteral("re")) }
                                                                              << QStringList() << 1 << 1 << 1;
    QTest::newRow("two spellings of one number share a conversation")
        << QList<SimMessage> { message(t, 0, QStringLiteral("07946 123456"), QStringLiteral("national")),
               message(t + 1000, 1, QStringLiteral("+44 7946 123456"), QStringLiteral("international")) }
        << QStringList() << 2 << 1 << 1;
    QTest::newRow("batches of one") << QList<SimMessage> { two[0], two[1],
        message(t + 2000, 0, QStringLiteral("TESCO"), QStringLiteral("x")) }
                                    << QStringList { QStringLiteral("--batch-size"), QStringLiteral("1") } << 3 << 3
                                    << 3;
}

void TestAndroidLoad::edgeCases()
{
    QFETCH(QList<SimMessage>, messages);
    QFETCH(QStringList, arguments);
    QFETCH(int, messageRows);
    QFETCH(int, chatRows);
    QFETCH(int, handleRows);

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, arguments));
    const AndroidDevice device = wifiDevice(QStringLiteral("edge-%1").arg(QLatin1String(QTest::currentDataTag())));
    const LoadOutcome outcome = runLoad(device);
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n')) + phone.log()));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QVERIFY(!outcome.updates.isEmpty());
    QCOMPARE(outcome.updates.first().status, QStringLiteral("Loading SMS..."));
    QCOMPARE(outcome.updates.first().progress, 0);

    auto db = openCache(device);
    QCOMPARE(countRows(*db, "message"), qint64(messageRows));
    QCOMPARE(countRows(*db, "chat"), qint64(chatRows));
    QCOMPARE(countRows(*db, "handle"), qint64(handleRows));
    QCOMPARE(countRows(*db, "chat_message_join"), qint64(messageRows));
    QCOMPARE(countRows(*db, "chat_handle_join"), qint64(handleRows));
    QVERIFY(!QFileInfo::exists(stagingPath(device)));
}

void TestAndroidLoad::recordFields()
{
    // 2013-01-01 00:00:00 UTC and a body cut at its zero byte.
    const QList<SimMessage> messages { message(1356998400999, 1, QStringLiteral("07946 123456"),
        QStringLiteral("Grüße 🙂, \"quoted\"") + QChar(0) + QStringLiteral("hidden"), QStringLiteral("Zoë Ä"),
        QString()) };
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, {}));
    const AndroidDevice device = wifiDevice(QStringLiteral("fields"));
    const LoadOutcome outcome = runLoad(device);
    QCOMPARE(outcome.successes, QStringList { QString() });

    auto db = openCache(device);
    Sqlite3Cursor m = db->queryThrow(Sqlite3Sql("select * from message"));
    QVERIFY(m.moveNext());
    QCOMPARE(m.getText(QStringLiteral("text")), QStringLiteral("Grüße 🙂, \"quoted\""));
    QCOMPARE(m.getText(QStringLiteral("subject")), QString());
    QCOMPARE(m.getInt(QStringLiteral("date")), 378691200);
    QCOMPARE(m.getInt(QStringLiteral("date_read")), 378691200);
    QCOMPARE(m.getInt(QStringLiteral("date_delivered")), 378691200);
    QCOMPARE(m.getInt(QStringLiteral("is_from_me")), 1);
    QCOMPARE(m.getText(QStringLiteral("service")), QStringLiteral("SMS"));
    QCOMPARE(m.getText(QStringLiteral("account")), QStringLiteral("e:"));
    QCOMPARE(m.getInt(QStringLiteral("version")), 10);
    for (const char* one : { "is_finished", "is_prepared", "is_read", "is_sent", "was_data_detected" })
        QVERIFY2(m.getInt(QLatin1String(one)) == 1, one);
    for (const char* zero : { "is_delivered", "is_emote", "is_empty", "is_delayed", "is_auto_reply",
             "is_system_message", "has_dd_results", "is_service_message", "is_forward", "was_downgraded", "is_archive",
             "cache_has_attachments", "was_deduplicated", "item_type", "error", "type" })
        QVERIFY2(m.getInt(QLatin1String(zero)) == 0, zero);
    const QString hash = m.getText(QStringLiteral("logic_hash"));
    QCOMPARE(hash.size(), 32);
    QCOMPARE(m.getText(QStringLiteral("guid")), guidFromBytes(hash.toUtf8()));

    Sqlite3Cursor h = db->queryThrow(Sqlite3Sql("select rowid, * from handle"));
    QVERIFY(h.moveNext());
    QCOMPARE(h.getText(QStringLiteral("id")), QStringLiteral("+447946123456"));
    QCOMPARE(h.getText(QStringLiteral("service")), QStringLiteral("SMS"));
    QCOMPARE(h.getText(QStringLiteral("_ct_name")), QStringLiteral("Zoë Ä"));
    QCOMPARE(m.getInt64(QStringLiteral("handle_id")), h.getInt64(0));

    Sqlite3Cursor c = db->queryThrow(Sqlite3Sql("select * from chat"));
    QVERIFY(c.moveNext());
    QCOMPARE(c.getText(QStringLiteral("guid")), QStringLiteral("SMS;-;+447946123456"));
    QCOMPARE(c.getText(QStringLiteral("chat_identifier")), QStringLiteral("+447946123456"));
    QCOMPARE(c.getText(QStringLiteral("service_name")), QStringLiteral("SMS"));
    QCOMPARE(c.getText(QStringLiteral("account_login")), QStringLiteral("E:"));
    QCOMPARE(c.getInt(QStringLiteral("style")), 45);
    QCOMPARE(c.getInt(QStringLiteral("state")), 3);
}

void TestAndroidLoad::progressReports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("percentages");

    QTest::newRow("announced") << QStringList()
                               << QStringList { QStringLiteral("sms: 1/4"), QStringLiteral("sms: 2/4"),
                                      QStringLiteral("sms: 3/4"), QStringLiteral("sms: 4/4") }
                               << QList<int> { 25, 50, 75, 100 };
    QTest::newRow("no count") << QStringList { QStringLiteral("--no-count") }
                              << QStringList { QStringLiteral("sms: 1/-1"), QStringLiteral("sms: 2/-1"),
                                     QStringLiteral("sms: 3/-1"), QStringLiteral("sms: 4/-1") }
                              << QList<int> { -1, -1, -1, -1 };
    QTest::newRow("count 0 is not announced") << QStringList { QStringLiteral("--count"), QStringLiteral("0") }
                                              << QStringList { QStringLiteral("sms: 1/-1"), QStringLiteral("sms: 2/-1"),
                                                     QStringLiteral("sms: 3/-1"), QStringLiteral("sms: 4/-1") }
                                              << QList<int> { -1, -1, -1, -1 };
    QTest::newRow("count 3, truncated percentages")
        << QStringList { QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--batch-size"),
               QStringLiteral("3") }
        << QStringList { QStringLiteral("sms: 1/3"), QStringLiteral("sms: 2/3"), QStringLiteral("sms: 3/3"),
               QStringLiteral("sms: 4/3") }
        << QList<int> { 33, 66, 100, 133 };
    QTest::newRow("short record still counted") << QStringList { QStringLiteral("--short-record"), QStringLiteral("2") }
                                                << QStringList { QStringLiteral("sms: 1/4"), QStringLiteral("sms: 2/4"),
                                                       QStringLiteral("sms: 3/4"), QStringLiteral("sms: 4/4") }
                                                << QList<int> { 25, 50, 75, 100 };
}

void TestAndroidLoad::progressReports()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, percentages);

    QList<SimMessage> messages;
    for (int i = 0; i < 4; ++i)
        messages.append(message(1400000000000 + i * 1000, i % 2,
            QStringLiteral("+4477009001%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("body %1").arg(i)));
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, arguments));
    const LoadOutcome outcome = runLoad(wifiDevice(QStringLiteral("progress")));
    QCOMPARE(outcome.successes, QStringList { QString() });

    QStringList gotTexts;
    QList<int> gotPercentages;
    for (qsizetype i = 1; i < outcome.updates.size(); ++i) {
        QCOMPARE(outcome.updates[i].status, QString());
        gotTexts << outcome.updates[i].text;
        gotPercentages << outcome.updates[i].progress;
    }
    QCOMPARE(gotTexts, texts);
    QCOMPARE(gotPercentages, percentages);
}

void TestAndroidLoad::failureKeepsPreviousCache_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("cancelAfterUpdates");
    QTest::addColumn<QString>("error");

    QTest::newRow("connection broken mid-batch")
        << QStringList { QStringLiteral("--close-after"), QStringLiteral("150") } << -1 << QString();
    QTest::newRow("error from the phone inside a batch")
        << QStringList { QStringLiteral("--error-at"), QStringLiteral("sms"), QStringLiteral("--error-text"),
               QStringLiteral("Speicher voll: Übertragung abgebrochen") }
        << -1 << QStringLiteral("Speicher voll: Übertragung abgebrochen");
    QTest::newRow("error instead of the count") << QStringList { QStringLiteral("--error-at"), QStringLiteral("count"),
        QStringLiteral("--error-text"), QStringLiteral("no permission") }
                                                << -1 << QStringLiteral("no permission");
    // The phone hangs before the end of its first batch, so it can never finish ahead of the cancel.
    const QStringList hangBeforeEnd { QStringLiteral("--hold-at"), QStringLiteral("end") };
    QTest::newRow("cancel mid-batch") << hangBeforeEnd << 21 << QString();
    QTest::newRow("cancel at the start") << hangBeforeEnd << 1 << QString();
}

void TestAndroidLoad::failureKeepsPreviousCache()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, cancelAfterUpdates);
    QFETCH(QString, error);

    const AndroidDevice device = wifiDevice(QStringLiteral("keep-%1").arg(QLatin1String(QTest::currentDataTag())));
    const QList<SimMessage> before { message(
                                         1300000000000, 0, QStringLiteral("+447700900001"), QStringLiteral("kept 1")),
        message(1300000001000, 1, QStringLiteral("+447700900002"), QStringLiteral("kept 2")) };
    {
        PhoneSimulatorProcess phone;
        QVERIFY(startPhone(phone, before, {}));
        QCOMPARE(runLoad(device).successes, QStringList { QString() });
    }
    QList<StoredMessage> previous;
    {
        auto db = openCache(device);
        previous = storedMessages(*db);
    }
    QCOMPARE(previous.size(), 2);

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(300, 7),
        arguments + QStringList { QStringLiteral("--batch-size"), QStringLiteral("100") }));
    const LoadOutcome outcome = runLoad(device, cancelAfterUpdates);
    QCOMPARE(outcome.successes, QStringList());
    if (cancelAfterUpdates >= 0) {
        QCOMPARE(outcome.errors, QStringList());
    } else {
        QCOMPARE(outcome.errors.size(), 1);
        if (!error.isEmpty())
            QCOMPARE(outcome.errors.first(), error);
    }

    auto db = openCache(device);
    const QList<StoredMessage> after = storedMessages(*db);
    QCOMPARE(after.size(), previous.size());
    for (qsizetype i = 0; i < after.size(); ++i)
        QCOMPARE(storedMessageText(after[i]), storedMessageText(previous[i]));
    QVERIFY(!QFileInfo::exists(stagingPath(device)));
}

void TestAndroidLoad::cancelWhilePhoneIsSilent()
{
    // The phone hangs before its first batch; a cancel must not wait for its next line.
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(20, 3), { QStringLiteral("--hold-at"), QStringLiteral("batch") }));
    const AndroidDevice device = wifiDevice(QStringLiteral("silent"));
    const LoadOutcome outcome = runLoad(device, -1, 500);
    QCOMPARE(outcome.errors, QStringList());
    QCOMPARE(outcome.successes, QStringList());
    QVERIFY2(outcome.elapsedMs < 3000, qPrintable(QString::number(outcome.elapsedMs)));
    QVERIFY(!QFileInfo::exists(cachePath(device)));
    QVERIFY(!QFileInfo::exists(stagingPath(device)));
}

void TestAndroidLoad::cacheThatCannotBeReplaced()
{
    // A folder where the cache file should be can be neither removed nor replaced.
    const AndroidDevice device = wifiDevice(QStringLiteral("blocked"));
    const QString path = cachePath(device);
    QVERIFY(QDir().mkpath(path));
    QFile inside(QDir(path).filePath(QStringLiteral("keep.txt")));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.close();

    const LoadOutcome outcome = runLoad(device);
    QCOMPARE(outcome.errors, QStringList { QStringLiteral("can not overwrite %1.").arg(path) });
    QCOMPARE(outcome.successes, QStringList());
    QVERIFY(QFileInfo::exists(inside.fileName()));
    QVERIFY(!QFileInfo::exists(stagingPath(device)));
}

void TestAndroidLoad::leftoversOfEarlierLoads()
{
    const AndroidDevice device = wifiDevice(QStringLiteral("leftovers"));
    const QList<SimMessage> first { message(1300000000000, 0, QStringLiteral("+447946123456"), QStringLiteral("old")) };
    {
        PhoneSimulatorProcess phone;
        QVERIFY(startPhone(phone, first, {}));
        QCOMPARE(runLoad(device).successes, QStringList { QString() });
    }
    // A load cut short by a crash: its staging database holds a message, and the old cache has a journal.
    const QString staged
        = QDir(stagingPath(device)).filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
    QVERIFY(QDir().mkpath(QFileInfo(staged).absolutePath()));
    QVERIFY(QFile::copy(cachePath(device), staged));
    QFile journal(cachePath(device) + QStringLiteral("-journal"));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(QByteArray(512, 'x'));
    journal.close();

    const QList<SimMessage> second { message(
        1400000000000, 1, QStringLiteral("+447946123457"), QStringLiteral("new")) };
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, second, {}));
    const LoadOutcome outcome = runLoad(device);
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QVERIFY(!QFileInfo::exists(journal.fileName()));
    QVERIFY(!QFileInfo::exists(stagingPath(device)));
    auto db = openCache(device);
    const QList<StoredMessage> stored = storedMessages(*db);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().text, QStringLiteral("new"));
}

namespace {

// Checks a loaded cache against the phone's message file: every distinct message once, in the
// phone's order, with its normalised address and the contact name of its correspondent's first message.
void compareWithMessageFile(const AndroidDevice& device, const QString& messageFile)
{
    const QList<SimMessage> phoneMessages = loadMessages(messageFile);
    CountryLibDb countries(device.mmc);
    const CountryInfo country = countries.currentCountry();

    QList<StoredMessage> expected;
    QSet<QString> seen;
    QHash<QString, QString> firstName;
    for (const SimMessage& m : phoneMessages) {
        StoredMessage e;
        e.address = normalizePhoneNumber(country, m.address);
        const qsizetype zero = m.body.indexOf(QChar(0));
        e.text = zero < 0 ? m.body : m.body.left(zero);
        e.subject = m.subject;
        e.date = static_cast<int>(m.timeMs / 1000 - 978307200);
        e.isFromMe = m.direction == 1 ? 1 : 0;
        if (!firstName.contains(e.address))
            firstName.insert(e.address, m.contactName);
        QString key = e.text;
        key.remove(QChar(0xFFFC));
        key = e.address + QChar(1) + QString::number(e.date) + QChar(1) + QString::number(e.isFromMe) + QChar(1) + key;
        if (seen.contains(key))
            continue;
        seen.insert(key);
        expected.append(e);
    }
    for (StoredMessage& e : expected)
        e.contactName = firstName.value(e.address);

    auto db = openCache(device);
    const QList<StoredMessage> stored = storedMessages(*db);
    QCOMPARE(stored.size(), expected.size());
    for (qsizetype i = 0; i < stored.size(); ++i)
        QCOMPARE(storedMessageText(stored[i]), storedMessageText(expected[i]));
    QCOMPARE(countRows(*db, "chat"), qint64(firstName.size()));
}

} // namespace

void TestAndroidLoad::generatedMessagesOverWifi()
{
    const QList<SimMessage> messages = generateMessages(3000, 20260107);
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, { QStringLiteral("--batch-size"), QStringLiteral("250") }));
    const AndroidDevice device = wifiDevice(QStringLiteral("generated-wifi"));
    const LoadOutcome outcome = runLoad(device);
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QCOMPARE(outcome.updates.last().text, QStringLiteral("sms: 3000/3000"));
    compareWithMessageFile(device, m_lastMessageFile);

    // A second load of the same phone replaces the cache with an equal one.
    QCOMPARE(runLoad(device).successes, QStringList { QString() });
    compareWithMessageFile(device, m_lastMessageFile);
}

void TestAndroidLoad::generatedMessagesOverUsb()
{
    AdbTestServer adb;
    PhoneSimulatorProcess phone;
    const QString file = writeMessageFile(generateMessages(1500, 99));
    QVERIFY(phone.start({ QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--adb-port"),
        QStringLiteral("0"), QStringLiteral("--messages"), file }));
    const QString serial = adb.connectDevice(phone);
    QVERIFY2(!serial.isEmpty(), qUtf8Printable(phone.log()));

    AndroidDevice device;
    device.serial = serial;
    device.imei = QStringLiteral("generated-usb");
    device.mmc = QStringLiteral("262");
    const LoadOutcome outcome = runLoad(device);
    adb.disconnectDevice(serial);
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n')) + phone.log()));
    QCOMPARE(outcome.successes, QStringList { QString() });
    compareWithMessageFile(device, file);
}

QTEST_GUILESS_MAIN(TestAndroidLoad)
#include "TestAndroidLoad.moc"
