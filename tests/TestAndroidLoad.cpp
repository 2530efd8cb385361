// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidRestoreSMSThread.h"
#include "android/DeviceCacheLock.h"
#include "android/SmsRecord.h"
#include "base/DataFolders.h"
#include "message/MessageIdentity.h"
#include "store/CountryLibDb.h"
#include "store/Sqlite3DB.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/RecordingProgress.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Words.h"
#include "tools/common/SyntheticMessages.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <limits>
#include <memory>
#include <optional>

Q_DECLARE_METATYPE(QList<SimMessage>)

namespace {

const QString ukCountryCode = QStringLiteral("234");
const QString cacheBusy = QStringLiteral(
    "The messages of this phone are being loaded or sent by another task. Try again when it has finished.");
constexpr int lastSecond = std::numeric_limits<qint32>::max();
constexpr int firstSecond = std::numeric_limits<qint32>::min();

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

// The staging folders of loads in the device's cache folder; none remains after a load has ended.
QStringList stagingLeftovers(const AndroidDevice& device)
{
    return device.cacheDir().entryList({ AndroidLoadSMSThread::stagingFolderPrefix() + QLatin1Char('*') },
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QString cachesRoot()
{
    return dataRootDir().absoluteFilePath(QStringLiteral("android_cache"));
}

// Every file and folder below `top` outside the device caches, with its size and time of change.
QStringList filesOutsideCaches(const QString& top)
{
    QStringList entries;
    QDirIterator it(
        top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path == cachesRoot() || path.startsWith(cachesRoot() + QLatin1Char('/')))
            continue;
        entries << QStringLiteral("%1 %2 %3")
                       .arg(path)
                       .arg(it.fileInfo().size())
                       .arg(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

// Files where a load would have written and removed if the imei chose its folder: a database and a
// staging folder in the folder "android_cache/<imei>" names, when that lies inside the test's home.
void plantWhereImeiPoints(const QString& imei)
{
    const QString home = QDir::cleanPath(useTemporaryHome());
    const QString target = QDir::cleanPath(cachesRoot() + QLatin1Char('/') + imei);
    if (target == cachesRoot() || !target.startsWith(home + QLatin1Char('/')))
        return;
    const QDir folder(target);
    // A name too long for the file system can not hold anything either.
    if (!QDir().mkpath(folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS"))))
        return;
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral(".loading"))));
    for (const char* name : { "file-relay/var/mobile/Library/SMS/sms.db", ".loading/keep" }) {
        QVERIFY(writeFile(folder.filePath(QLatin1String(name)), "not the phone's"));
    }
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
    return scalar(db, QStringLiteral("select count(*) from %1").arg(QLatin1String(table)));
}

// Every stored message of the device's cache with its correspondent, as "[address|contact|text|subject|date|from me]".
QStringList storedMessages(const AndroidDevice& device)
{
    return storedRows(device.cacheDir(),
        QStringLiteral("'[' || ifnull(h.id, '') || '|' || ifnull(h._ct_name, '') || '|' || ifnull(m.text, '') || '|' "
                       "|| ifnull(m.subject, '') || '|' || m.date || '|' || m.is_from_me || ']'"));
}

// Runs a load to its end; cancelAfterMs cancels from the GUI thread after that time.
LoadOutcome runLoad(const AndroidDevice& device, int cancelAfterUpdates = -1, int cancelAfterMs = -1,
    qint64 queueBudget = AndroidLoadSMSThread::defaultQueueBudget, qint64* peakQueuedBytes = nullptr)
{
    RecordingProgress progress;
    progress.cancelAfterUpdates = cancelAfterUpdates;
    AndroidLoadSMSThread thread(device, &progress);
    thread.setQueueBudget(queueBudget);
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
    if (peakQueuedBytes)
        *peakQueuedBytes = thread.peakQueuedBytes;
    return outcome;
}

// The device as the phone on the WiFi service port describes itself in its greeting.
AndroidDevice greetedDevice()
{
    RecordingProgress progress;
    AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.1"), &progress);
    progress.runToEnd(&thread, 30000);
    if (progress.successes.isEmpty())
        qWarning("greeting failed: %s", qUtf8Printable(progress.errors.join(QLatin1Char('\n'))));
    AndroidDevice device = thread.device();
    device.mmc = ukCountryCode;
    return device;
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
    void generatedMessages_data();
    void generatedMessages();
    void cacheFolderName_data();
    void cacheFolderName();
    void hostilePhone_data();
    void hostilePhone();
    void linkedCacheFolderIsNotFollowed();
    void twoLoadsAtOnce_data();
    void twoLoadsAtOnce();
    void sendingWaitsForTheCacheLock();
    void queueStaysWithinByteBudget();
    void recordDates_data();
    void recordDates();

private:
    // Writes the messages into a message file (m_lastMessageFile) and starts a simulator on the WiFi
    // service port with it.
    bool startPhone(PhoneSimulatorProcess& phone, const QList<SimMessage>& messages, const QStringList& arguments);
    QString writeMessageFile(const QList<SimMessage>& messages);

    QTemporaryDir m_files;
    int m_fileCounter = 0;
    QString m_lastMessageFile;
};

void TestAndroidLoad::initTestCase()
{
    useTemporaryHome();
    QVERIFY(m_files.isValid());
    QVERIFY(installEnglishTranslation());
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
    // Reachable both ways: over WiFi on the service port and as an emulated USB device.
    const SimulatorOptions options = SimulatorOptions::wifi().with(words("--adb-port 0")).messages(m_lastMessageFile);
    if (!phone.start(SimulatorOptions(options).with(arguments))) {
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
    QTest::newRow("record with five fields is dropped") << two << words("--short-record 1") << 1 << 1 << 1;
    QTest::newRow("unknown line inside a batch is ignored") << two << words("--unknown-command 2") << 2 << 2 << 2;
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
                                    << words("--batch-size 1") << 3 << 3 << 3;
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
    QCOMPARE(stagingLeftovers(device), QStringList());
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
    QTest::addColumn<QString>("arguments"); // blank-separated
    QTest::addColumn<QString>("updates"); // each as "count:percentage", the count without its "sms: "

    QTest::newRow("announced") << QString() << "1/4:25 2/4:50 3/4:75 4/4:100";
    // Without a total the count is posted at most every 50 ms, and its last value before the batch
    // is acknowledged: four records in one batch show the first and the last.
    QTest::newRow("no count") << QStringLiteral("--no-count") << "1/-1:-1 4/-1:-1";
    QTest::newRow("count 0 is not announced") << QStringLiteral("--count 0") << "1/-1:-1 4/-1:-1";
    QTest::newRow("count 3, truncated percentages")
        << QStringLiteral("--count 3 --batch-size 3") << "1/3:33 2/3:66 3/3:100 4/3:133";
    QTest::newRow("short record still counted") << QStringLiteral("--short-record 2") << "1/4:25 2/4:50 3/4:75 4/4:100";
}

void TestAndroidLoad::progressReports()
{
    QFETCH(QString, arguments);
    QFETCH(QString, updates);

    QList<SimMessage> messages;
    for (int i = 0; i < 4; ++i)
        messages.append(message(1400000000000 + i * 1000, i % 2,
            QStringLiteral("+4477009001%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("body %1").arg(i)));
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts)));
    const LoadOutcome outcome = runLoad(wifiDevice(QStringLiteral("progress")));
    QCOMPARE(outcome.successes, QStringList { QString() });

    QStringList got;
    for (qsizetype i = 1; i < outcome.updates.size(); ++i) {
        QCOMPARE(outcome.updates[i].status, QString());
        QVERIFY2(outcome.updates[i].text.startsWith(QLatin1String("sms: ")), qPrintable(outcome.updates[i].text));
        got << outcome.updates[i].text.mid(5) + QLatin1Char(':') + QString::number(outcome.updates[i].progress);
    }
    QCOMPARE(got.join(QLatin1Char(' ')), updates);
}

void TestAndroidLoad::failureKeepsPreviousCache_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("cancelAfterUpdates");
    QTest::addColumn<QString>("error");

    QTest::newRow("connection broken mid-batch")
        << words("--close-after 150") << -1
        << QStringLiteral("The phone was disconnected (its connection was closed). Plug it in again, keep it "
                          "unlocked and try again.");
    QTest::newRow("error from the phone inside a batch")
        << QStringList { QStringLiteral("--error-at"), QStringLiteral("sms"), QStringLiteral("--error-text"),
               QStringLiteral("Speicher voll: Übertragung abgebrochen") }
        << -1 << QStringLiteral("Speicher voll: Übertragung abgebrochen");
    QTest::newRow("error instead of the count") << QStringList { QStringLiteral("--error-at"), QStringLiteral("count"),
        QStringLiteral("--error-text"), QStringLiteral("no permission") }
                                                << -1 << QStringLiteral("no permission");
    // The phone hangs before the end of its first batch, so it can never finish ahead of the cancel.
    const QStringList hangBeforeEnd = words("--hold-at end");
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
    const QStringList previous = storedMessages(device);
    QCOMPARE(previous.size(), 2);

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(300, 7), arguments + words("--batch-size 100")));
    const LoadOutcome outcome = runLoad(device, cancelAfterUpdates);
    QCOMPARE(outcome.successes, QStringList());
    if (cancelAfterUpdates >= 0) {
        QCOMPARE(outcome.errors, QStringList());
    } else {
        QCOMPARE(outcome.errors.size(), 1);
        if (!error.isEmpty())
            QCOMPARE(outcome.errors.first(), error);
    }

    QCOMPARE(storedMessages(device), previous);
    QCOMPARE(stagingLeftovers(device), QStringList());
}

void TestAndroidLoad::cancelWhilePhoneIsSilent()
{
    // The phone hangs before its first batch; a cancel must not wait for its next line.
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(20, 3), words("--hold-at batch")));
    const AndroidDevice device = wifiDevice(QStringLiteral("silent"));
    const LoadOutcome outcome = runLoad(device, -1, 500);
    QCOMPARE(outcome.errors, QStringList());
    QCOMPARE(outcome.successes, QStringList());
    QVERIFY2(outcome.elapsedMs < 3000, qPrintable(QString::number(outcome.elapsedMs)));
    QVERIFY(!QFileInfo::exists(cachePath(device)));
    QCOMPARE(stagingLeftovers(device), QStringList());
}

void TestAndroidLoad::cacheThatCannotBeReplaced()
{
    // A folder where the cache file should be can be neither removed nor replaced.
    const AndroidDevice device = wifiDevice(QStringLiteral("blocked"));
    const QString path = cachePath(device);
    QVERIFY(QDir().mkpath(path));
    const QString inside = QDir(path).filePath(QStringLiteral("keep.txt"));
    QVERIFY(writeFile(inside));

    const LoadOutcome outcome = runLoad(device);
    QCOMPARE(outcome.errors, QStringList { QStringLiteral("can not overwrite %1.").arg(path) });
    QCOMPARE(outcome.successes, QStringList());
    QVERIFY(QFileInfo::exists(inside));
    QCOMPARE(stagingLeftovers(device), QStringList());
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
    // Loads cut short by a crash: staging databases that hold a message (from earlier versions and
    // from this one), a staging name that is a link to a folder elsewhere, and a journal of the old cache.
    for (const char* folder : { ".loading", ".loading-Zq81xT" }) {
        const QString staged = device.cacheDir().filePath(
            QLatin1String(folder) + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db"));
        QVERIFY(QDir().mkpath(QFileInfo(staged).absolutePath()));
        QVERIFY(QFile::copy(cachePath(device), staged));
    }
    const QString elsewhere = m_files.filePath(QStringLiteral("linked-staging"));
    QVERIFY(QDir().mkpath(elsewhere));
    const QString kept = QDir(elsewhere).filePath(QStringLiteral("keep.txt"));
    QVERIFY(writeFile(kept));
    QVERIFY(QFile::link(elsewhere, device.cacheDir().filePath(QStringLiteral(".loading-link"))));
    const QString journal = cachePath(device) + QStringLiteral("-journal");
    QVERIFY(writeFile(journal, QByteArray(512, 'x')));

    const QList<SimMessage> second { message(
        1400000000000, 1, QStringLiteral("+447946123457"), QStringLiteral("new")) };
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, second, {}));
    const LoadOutcome outcome = runLoad(device);
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QVERIFY(!QFileInfo::exists(journal));
    QCOMPARE(stagingLeftovers(device), QStringList());
    QVERIFY(QFileInfo::exists(kept));
    QCOMPARE(storedRows(device.cacheDir()), QStringList { QStringLiteral("new") });
}

namespace {

// Checks a loaded cache against the phone's message file: every distinct message once, in the
// phone's order, with its normalised address and the contact name of its correspondent's first message.
void compareWithMessageFile(const AndroidDevice& device, const QString& messageFile)
{
    const QList<SimMessage> phoneMessages = loadMessages(messageFile);
    CountryLibDb countries(countryLibPath(), device.mmc);
    const CountryInfo country = countries.currentCountry();

    struct Expected
    {
        QString address;
        QString text;
        QString subject;
        int date;
        int isFromMe;
    };
    QList<Expected> expected;
    QSet<QString> seen;
    QHash<QString, QString> firstName;
    for (const SimMessage& m : phoneMessages) {
        Expected e;
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
    QStringList expectedRows;
    for (const Expected& e : std::as_const(expected))
        expectedRows << QStringLiteral("[%1|%2|%3|%4|%5|%6]")
                            .arg(e.address, firstName.value(e.address), e.text, e.subject, QString::number(e.date),
                                QString::number(e.isFromMe));

    const QStringList stored = storedMessages(device);
    QCOMPARE(stored, expectedRows);
    auto db = openCache(device);
    QCOMPARE(countRows(*db, "chat"), qint64(firstName.size()));
}

} // namespace

void TestAndroidLoad::generatedMessages_data()
{
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("mmc");
    QTest::newRow("over WiFi") << false << 3000 << ukCountryCode;
    QTest::newRow("over USB") << true << 1500 << QStringLiteral("262");
}

// Every distinct message of the phone once, in its order; a second load of the same phone replaces
// the cache with an equal one.
void TestAndroidLoad::generatedMessages()
{
    QFETCH(bool, usb);
    QFETCH(int, count);
    QFETCH(QString, mmc);
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(count, 20260107 + count), words("--batch-size 250")));
    AndroidDevice device = wifiDevice(QStringLiteral("generated-") + QLatin1String(QTest::currentDataTag()), mmc);
    std::optional<AdbTestServer> adb;
    if (usb) {
        adb.emplace();
        device.wifi = false;
        device.serial = adb->connectDevice(phone);
        QVERIFY2(!device.serial.isEmpty(), qUtf8Printable(phone.log()));
    }
    for (int load = 1; load <= 2; ++load) {
        const LoadOutcome outcome = runLoad(device);
        QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n')) + phone.log()));
        QCOMPARE(outcome.successes, QStringList { QString() });
        QCOMPARE(outcome.updates.last().text, QStringLiteral("sms: %1/%1").arg(count));
        compareWithMessageFile(device, m_lastMessageFile);
    }
    if (adb)
        adb->disconnectDevice(device.serial);
}

void TestAndroidLoad::cacheFolderName_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<bool>("kept");

    QTest::newRow("IMEI") << QStringLiteral("359881030314356") << true;
    QTest::newRow("MEID with letters") << QStringLiteral("A0000038AF8B2C") << true;
    QTest::newRow("inner dot, dash and underscore") << QStringLiteral("sim-5f3a.2c_91") << true;
    QTest::newRow("64 characters") << QString(64, QLatin1Char('7')) << true;
    QTest::newRow("parent") << QStringLiteral("..") << false;
    QTest::newRow("into local_databases") << QStringLiteral("../local_databases/MyBackup") << false;
    QTest::newRow("absolute") << QStringLiteral("/etc") << false;
    QTest::newRow("slash inside") << QStringLiteral("35988/1030314356") << false;
    QTest::newRow("backslashes") << QStringLiteral("..\\..\\Windows") << false;
    QTest::newRow("drive letter") << QStringLiteral("C:") << false;
    QTest::newRow("drive path") << QStringLiteral("C:\\Users") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("dot") << QStringLiteral(".") << false;
    QTest::newRow("three dots") << QStringLiteral("...") << false;
    QTest::newRow("hidden name") << QStringLiteral(".loading") << false;
    QTest::newRow("trailing dot") << QStringLiteral("359881030314356.") << false;
    QTest::newRow("65 characters") << QString(65, QLatin1Char('7')) << false;
    QTest::newRow("300 bytes") << QString(300, QLatin1Char('7')) << false;
    QTest::newRow("device name of Windows") << QStringLiteral("com1.txt") << false;
    QTest::newRow("blank inside") << QStringLiteral("3598 8103") << false;
    QTest::newRow("line break") << QStringLiteral("359881030314356\n") << false;
    QTest::newRow("non-ASCII digits") << QStringLiteral("٣٥٩٨٨١") << false;
}

void TestAndroidLoad::cacheFolderName()
{
    QFETCH(QString, imei);
    QFETCH(bool, kept);
    // Different values never share a folder.
    static QHash<QString, QString> imeiOfName;

    const QString name = AndroidDevice::cacheFolderName(imei);
    QCOMPARE(name == imei, kept);
    QVERIFY2(kept || name.startsWith(QLatin1String("imei~")), qUtf8Printable(name));
    QVERIFY(name.size() <= 64);
    QCOMPARE(AndroidDevice::cacheFolderName(imei), name);
    QCOMPARE(imeiOfName.value(name, imei), imei);
    imeiOfName.insert(name, imei);

    AndroidDevice device;
    device.imei = imei;
    const QFileInfo folder(device.cacheDir().absolutePath());
    QVERIFY(folder.isDir());
    QVERIFY(!folder.isSymLink());
    QCOMPARE(folder.fileName(), name);
    QCOMPARE(folder.absolutePath(), cachesRoot());
}

void TestAndroidLoad::hostilePhone_data()
{
    QTest::addColumn<QString>("imei");
    QTest::addColumn<QList<SimMessage>>("messages");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("cacheLocked");
    QTest::addColumn<QString>("error");
    // Dates of the new cache in the phone's order; the previous cache stays when an error is expected.
    QTest::addColumn<QList<int>>("dates");

    const qint64 t = 1400000000000;
    const int d = 421692800;
    const QList<SimMessage> two { message(t, 0, QStringLiteral("+447700900123"), QStringLiteral("new 1")),
        message(t + 1000, 1, QStringLiteral("+447700900456"), QStringLiteral("new 2")) };
    const QList<SimMessage> three
        = two + QList<SimMessage> { message(t + 2000, 0, QStringLiteral("+447700900789"), QStringLiteral("new 3")) };
    const QString imei = QStringLiteral("359881030314356");

    QTest::newRow("imei names a backup database") << QStringLiteral("../local_databases/MyBackup") << two
                                                  << QStringList() << false << QString() << QList<int> { d, d + 1 };
    QTest::newRow("imei climbs out of the data folder")
        << QStringLiteral("../../../..") << two << QStringList() << false << QString() << QList<int> { d, d + 1 };
    QTest::newRow("empty imei") << QString() << two << QStringList() << false << QString() << QList<int> { d, d + 1 };
    QTest::newRow("imei of 300 bytes") << QString(300, QLatin1Char('9')) << two << QStringList() << false << QString()
                                       << QList<int> { d, d + 1 };
    QTest::newRow("phone resets after its bye")
        << imei << two << words("--reset-after-bye") << false << QString() << QList<int> { d, d + 1 };
    QTest::newRow("dates beyond the 32-bit range")
        << imei
        << QList<SimMessage> { message(4102444800000, 0, QStringLiteral("+447700900123"), QStringLiteral("in 2100")),
               message(std::numeric_limits<qint64>::max(), 0, QStringLiteral("+447700900123"),
                   QStringLiteral("at the end of 64 bits")),
               message(-4102444800000, 1, QStringLiteral("+447700900123"), QStringLiteral("in 1840")), two[0] }
        << QStringList() << false << QString() << QList<int> { lastSecond, lastSecond, firstSecond, d };
    QTest::newRow("date that is not a number")
        << imei << three << words("--bad-date 2") << false << QString() << QList<int> { d, d + 2 };
    QTest::newRow("cache held by another load") << imei << two << QStringList() << true << cacheBusy << QList<int>();
}

void TestAndroidLoad::hostilePhone()
{
    QFETCH(QString, imei);
    QFETCH(QList<SimMessage>, messages);
    QFETCH(QStringList, arguments);
    QFETCH(bool, cacheLocked);
    QFETCH(QString, error);
    QFETCH(QList<int>, dates);

    const QStringList greeting { QStringLiteral("--imei"), imei };
    plantWhereImeiPoints(imei);
    AndroidDevice device;
    QStringList previous;
    {
        PhoneSimulatorProcess phone;
        QVERIFY(startPhone(phone,
            { message(1300000000000, 0, QStringLiteral("+447700900001"), QStringLiteral("earlier load")) }, greeting));
        device = greetedDevice();
        QCOMPARE(device.imei, imei);
        QCOMPARE(runLoad(device).successes, QStringList { QString() });
        previous = storedMessages(device);
    }
    QCOMPARE(previous.size(), 1);
    const QStringList outside = filesOutsideCaches(useTemporaryHome());

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, messages, arguments + greeting));
    RecordingProgress otherTask;
    std::unique_ptr<DeviceCacheLock> lock;
    if (cacheLocked) {
        lock = std::make_unique<DeviceCacheLock>(device.cacheDir());
        lock->acquire(&otherTask);
    }
    const LoadOutcome outcome = runLoad(device);
    lock.reset();

    if (error.isEmpty()) {
        QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n')) + phone.log()));
        QCOMPARE(outcome.successes, QStringList { QString() });
    } else {
        QCOMPARE(outcome.errors, QStringList { error });
        QCOMPARE(outcome.successes, QStringList());
    }
    if (error.isEmpty()) {
        QList<int> storedDates;
        for (const QString& date : storedRows(device.cacheDir(), QStringLiteral("m.date")))
            storedDates << date.toInt();
        QCOMPARE(storedDates, dates);
    } else {
        QCOMPARE(storedMessages(device), previous);
    }
    QCOMPARE(filesOutsideCaches(useTemporaryHome()), outside);
    QCOMPARE(QFileInfo(device.cacheDir().absolutePath()).absolutePath(), cachesRoot());
    QCOMPARE(stagingLeftovers(device), QStringList());
}

void TestAndroidLoad::linkedCacheFolderIsNotFollowed()
{
    // The cache folder of a phone is a link to a folder elsewhere that looks like a cache with a
    // load cut short; nothing there may be removed or replaced.
    const QString elsewhere = m_files.filePath(QStringLiteral("linked-cache"));
    const QString database = QDir(elsewhere).filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
    const QString staged = QDir(elsewhere).filePath(QStringLiteral(".loading-Xy12ab/keep"));
    for (const QString& path : { database, staged }) {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(writeFile(path, "not the phone's"));
    }
    const QString imei = QStringLiteral("353000000000001");
    QVERIFY(QDir().mkpath(cachesRoot()));
    const QString link = QDir(cachesRoot()).filePath(imei);
    QVERIFY(QFile::link(elsewhere, link));

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(5, 4), {}));
    const LoadOutcome outcome = runLoad(wifiDevice(imei));
    QCOMPARE(outcome.successes, QStringList());
    QCOMPARE(outcome.errors,
        QStringList { QStringLiteral("%1 is a symbolic link; the cache is not replaced through it.").arg(link) });
    for (const QString& path : { database, staged }) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not the phone's"));
    }
    QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { QStringLiteral(".loading-Xy12ab"), QStringLiteral("file-relay") }));
}

void TestAndroidLoad::twoLoadsAtOnce_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("successes");

    QTest::newRow("the second waits for the first") << QStringList() << 2;
    // Three batches of 1.5 s: the first load holds the cache longer than the second waits for it.
    QTest::newRow("the second gives up") << words("--batch-delay 1500") << 1;
}

void TestAndroidLoad::twoLoadsAtOnce()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, successes);

    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, generateMessages(300, 11), arguments + words("--batch-size 100")));
    const AndroidDevice device = wifiDevice(QStringLiteral("together-%1").arg(QLatin1String(QTest::currentDataTag())));
    RecordingProgress first;
    RecordingProgress second;
    AndroidLoadSMSThread firstLoad(device, &first);
    AndroidLoadSMSThread secondLoad(device, &second);
    firstLoad.start();
    secondLoad.start();
    first.waitForOutcome(&firstLoad, 120000);
    second.waitForOutcome(&secondLoad, 120000);
    firstLoad.wait();
    secondLoad.wait();
    QCoreApplication::processEvents();

    QCOMPARE((first.successes + second.successes).size(), successes);
    QCOMPARE(first.errors + second.errors, QStringList(2 - successes, cacheBusy));
    compareWithMessageFile(device, m_lastMessageFile);
    QCOMPARE(stagingLeftovers(device), QStringList());
}

void TestAndroidLoad::sendingWaitsForTheCacheLock()
{
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, {}, {}));
    const AndroidDevice device = wifiDevice(QStringLiteral("sending"));
    RecordingProgress loading;
    DeviceCacheLock lock(device.cacheDir());
    lock.acquire(&loading);

    _MsgHandle handle;
    handle.id = QStringLiteral("+447700900123");
    _MsgMessage sms;
    sms.handle = &handle;
    sms.text = QStringLiteral("waits");
    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, { &sms }, &progress);
    progress.runToEnd(&thread, 30000);
    QCOMPARE(progress.errors, QStringList { cacheBusy });
    QCOMPARE(progress.successes, QStringList());
    QCOMPARE(loadMessages(m_lastMessageFile).size(), 0);
}

void TestAndroidLoad::queueStaysWithinByteBudget()
{
    // Records of 1 MiB bodies (2 MiB as text) against a budget of 4 MiB: at most one waits at a time.
    QList<SimMessage> large;
    for (int i = 0; i < 24; ++i)
        large << message(1400000000000 + i * 1000, 0, QStringLiteral("+447700900123"),
            QString(1 << 20, QLatin1Char(static_cast<char>('a' + i))));
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone, large, words("--batch-size 8")));
    const AndroidDevice device = wifiDevice(QStringLiteral("large-records"));
    const qint64 budget = qint64(4) << 20;
    qint64 peak = 0;
    const LoadOutcome outcome = runLoad(device, -1, -1, budget, &peak);
    QCOMPARE(outcome.successes, QStringList { QString() });
    QVERIFY2(peak >= qint64(2) << 20 && peak <= budget, qPrintable(QString::number(peak)));

    auto db = openCache(device);
    Sqlite3Cursor sizes = db->queryThrow(Sqlite3Sql("select count(*), sum(length(text)) from message"));
    QVERIFY(sizes.moveNext());
    QCOMPARE(sizes.getInt64(0), qint64(24));
    QCOMPARE(sizes.getInt64(1), qint64(24) << 20);
}

void TestAndroidLoad::recordDates_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("outcome");

    const int exact = int(SmsRecord::DateOutcome::Exact);
    const int clamped = int(SmsRecord::DateOutcome::Clamped);
    const int notANumber = int(SmsRecord::DateOutcome::NotANumber);
    const qint64 lastMs = (qint64(lastSecond) + 978307200) * 1000;
    const qint64 firstMs = (qint64(firstSecond) + 978307200) * 1000;

    QTest::newRow("2013-01-01") << QStringLiteral("1356998400000") << 378691200 << exact;
    QTest::newRow("1970") << QStringLiteral("0") << -978307200 << exact;
    QTest::newRow("last millisecond held") << QString::number(lastMs + 999) << lastSecond << exact;
    QTest::newRow("one second later") << QString::number(lastMs + 1000) << lastSecond << clamped;
    QTest::newRow("2100") << QStringLiteral("4102444800000") << lastSecond << clamped;
    QTest::newRow("2^63-1") << QStringLiteral("9223372036854775807") << lastSecond << clamped;
    QTest::newRow("beyond 64 bits") << QStringLiteral("92233720368547758070") << lastSecond << clamped;
    QTest::newRow("first second held, truncated toward zero") << QString::number(firstMs - 999) << firstSecond << exact;
    QTest::newRow("one second earlier") << QString::number(firstMs - 1000) << firstSecond << clamped;
    QTest::newRow("-2^63") << QStringLiteral("-9223372036854775808") << firstSecond << clamped;
    QTest::newRow("below 64 bits") << QStringLiteral("-92233720368547758080") << firstSecond << clamped;
    QTest::newRow("empty") << QString() << 0 << notANumber;
    QTest::newRow("words") << QStringLiteral("yesterday") << 0 << notANumber;
    QTest::newRow("unit after the number") << QStringLiteral("1356998400000ms") << 0 << notANumber;
    QTest::newRow("exponent") << QStringLiteral("1.4e12") << 0 << notANumber;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0 << notANumber;
}

void TestAndroidLoad::recordDates()
{
    QFETCH(QString, field);
    QFETCH(int, seconds);
    QFETCH(int, outcome);

    qint32 date = 12345;
    QCOMPARE(int(SmsRecord::convertDate(field, date)), outcome);
    QCOMPARE(date, seconds);
}

QTEST_GUILESS_MAIN(TestAndroidLoad)
#include "TestAndroidLoad.moc"
