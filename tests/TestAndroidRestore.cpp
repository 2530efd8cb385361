// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidRestoreSMSThread.h"
#include "message/MessageIdentity.h"
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/MessageRecords.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/PhoneUnderTest.h"
#include "support/RecordingProgress.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Words.h"
#include "tools/common/SyntheticMessages.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr qint64 referenceDateOffset = 978307200;
const QString mcc = QStringLiteral("234");
const QChar objectReplacement(0xFFFC);

const QString tipText = QStringLiteral(
    "Please click \"YES\" to temporarily set our Quillbarrow app as your default SMS app when the message pops out on "
    "your Android's screen. Then click the \"OK\" button to start transferring messages to your Android.<br/><br/>"
    "Note: It will resume your default Messaging app settings after transferring messages to Android.");

// handled: every message the transfer went through; stored: those the phone acknowledged storing.
QString successText(int handled, int stored, int skipped = 0)
{
    QString text = QStringLiteral("Successfully Transferred %1 SMS: %2 stored on the phone, %3 already there.")
                       .arg(handled)
                       .arg(stored)
                       .arg(handled - stored);
    if (skipped != 0)
        text += QStringLiteral(" %1 group messages or system messages can't be transferred.").arg(skipped);
    return text;
}

// `count` ordinary messages, one minute apart, alternating between three correspondents.
void addSeries(MessageRecords& records, int count, int firstDate = 400000000)
{
    static const QStringList addresses { QStringLiteral("+447700900123"), QStringLiteral("+447700900456"),
        QStringLiteral("+33612345678") };
    for (int i = 0; i < count; ++i)
        records.addFrom(addresses.at(i % 3), firstDate + 60 * i, i % 2, QStringLiteral("message %1").arg(i + 1));
}

// What the phone stores of a sent message; contact name and subject do not travel.
SimMessage expectedOnPhone(const _MsgMessage& message)
{
    SimMessage sim;
    sim.timeMs = (qint64(message.date) + referenceDateOffset) * 1000;
    sim.direction = message.is_from_me != 0 ? 1 : 0;
    sim.address = message.handle->id;
    sim.body = QString(message.text).remove(objectReplacement);
    return sim;
}

qint64 cachedMessageCount(const AndroidDevice& device)
{
    IOS6MessageDb cache(device.cacheDir(), device.mmc, true);
    cache.open();
    return scalar(cache, "select count(*) from message");
}

// Runs the simulator's log until the pattern shows up; false after the time-out.
bool waitForLog(PhoneSimulatorProcess& phone, const QRegularExpression& pattern, int timeoutMs = 15000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (pattern.match(phone.log()).hasMatch())
            return true;
        QTest::qWait(20);
    }
    return pattern.match(phone.log()).hasMatch();
}

// Sizes of the batches the simulator stored, in order (it logs them with --verbose).
QList<int> storedBatchSizes(PhoneSimulatorProcess& phone)
{
    static const QRegularExpression stored(QStringLiteral("stored batch \\d+ of (\\d+) messages"));
    QList<int> sizes;
    auto matches = stored.globalMatch(phone.log());
    while (matches.hasNext())
        sizes.append(matches.next().captured(1).toInt());
    return sizes;
}

} // namespace

class TestAndroidRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void constructorFiltersAndSorts();
    void smsLine_data();
    void smsLine();

    void sendsInBatches_data();
    void sendsInBatches();
    void nothingToSend();
    void messageAlreadyOnPhoneIsNotSentAgain();
    void defaultAppFlag_data();
    void defaultAppFlag();
    void recordsArriveIntact();
    void wrongBatchAnswer();
    void phoneFailsMidTransfer_data();
    void phoneFailsMidTransfer();
    void cancelBeforeFirstBatch();
    void cancelDuringTransfer_data();
    void cancelDuringTransfer();
    void roundTrip();

private:
    // Starts the simulator for the transport ("wifi" or "usb") and fills the device to reach it; shows
    // the simulator's log when it did not start.
    bool startPhone(
        PhoneSimulatorProcess& phone, const QString& transport, const QStringList& arguments, AndroidDevice& device);
    static QStringList cachedMessages(const AndroidDevice& device);
    static bool loadPhone(const AndroidDevice& device);
    QString messageFile(const QString& name) const { return m_files.filePath(name + QStringLiteral(".json")); }

    std::unique_ptr<AdbTestServer> m_adb;
    QTemporaryDir m_files;
    int m_phoneNumber = 0;
};

void TestAndroidRestore::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    QVERIFY(m_files.isValid());
}

void TestAndroidRestore::cleanupTestCase()
{
    m_adb.reset();
}

void TestAndroidRestore::init()
{
    ++m_phoneNumber;
}

bool TestAndroidRestore::startPhone(
    PhoneSimulatorProcess& phone, const QString& transport, const QStringList& arguments, AndroidDevice& device)
{
    // Every test sends to a phone of its own, so each starts with an empty cache.
    device = AndroidDevice();
    device.imei = QStringLiteral("35000000000%1").arg(m_phoneNumber, 4, 10, QLatin1Char('0'));
    device.mmc = mcc;
    device.version = 12;
    const bool usb = transport == QLatin1String("usb");
    if (usb && !m_adb)
        m_adb = std::make_unique<AdbTestServer>();
    if (PhoneUnderTest::start(phone, device, usb ? m_adb.get() : nullptr,
            SimulatorOptions().verbose().imei(device.imei).mmc(mcc).with(arguments)))
        return true;
    qWarning("%s", qUtf8Printable(phone.log()));
    return false;
}

void TestAndroidRestore::constructorFiltersAndSorts()
{
    MessageRecords records;
    records.addFrom(QStringLiteral("+447700900123"), 500, 0, QStringLiteral("third"));
    records.addFrom(QStringLiteral("+447700900123"), 100, 1, QStringLiteral("first"));
    records.addFrom(QStringLiteral("+447700900123"), 300, 0, QStringLiteral("group event"), 1);
    records.addFrom(QString(), 200, 0, QStringLiteral("no correspondent"));
    records.addFrom(QStringLiteral("+33612345678"), 300, 0, QStringLiteral("second"));

    RecordingProgress progress;
    AndroidDevice device;
    device.imei = QStringLiteral("filter");
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    QCOMPARE(thread.skipped(), 2);
    QStringList texts;
    for (const _MsgMessage* message : thread.messages())
        texts << message->text;
    QCOMPARE(texts, (QStringList { QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third") }));
}

void TestAndroidRestore::smsLine_data()
{
    QTest::addColumn<int>("date");
    QTest::addColumn<int>("fromMe");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("2013-01-01, received") << 378691200 << 0 << QStringLiteral("+447700900123") << QStringLiteral("Hi")
                                          << QByteArray("$sms:1356998400000,0,KzQ0NzcwMDkwMDEyMw==,SGk=\n");
    QTest::newRow("any non-zero direction is from me")
        << 0 << 2 << QStringLiteral("1") << QString() << QByteArray("$sms:978307200000,1,MQ==,\n");
    QTest::newRow("before 2001") << -978307200 << 1 << QStringLiteral("a") << QStringLiteral("x")
                                 << QByteArray("$sms:0,1,YQ==,eA==\n");
    QTest::newRow("last 32-bit date does not overflow")
        << 2147483647 << 0 << QStringLiteral("a") << QString() << QByteArray("$sms:3125790847000,0,YQ==,\n");
    QTest::newRow("object replacement removed, UTF-8 kept")
        << 378691200 << 1 << QStringLiteral("Zoë") << QStringLiteral("a%1b%1 €").arg(objectReplacement)
        << QByteArray("$sms:1356998400000,1,") + QStringLiteral("Zoë").toUtf8().toBase64() + ','
            + QStringLiteral("ab €").toUtf8().toBase64() + '\n';
}

void TestAndroidRestore::smsLine()
{
    QFETCH(int, date);
    QFETCH(int, fromMe);
    QFETCH(QString, address);
    QFETCH(QString, text);
    QFETCH(QByteArray, line);

    MessageRecords records;
    _MsgMessage& message = records.addFrom(address, date, fromMe, text);
    message.subject = QStringLiteral("subject does not travel");
    QCOMPARE(AndroidRestoreSMSThread::smsLine(message), line);
}

void TestAndroidRestore::sendsInBatches_data()
{
    QTest::addColumn<QString>("transport");
    QTest::newRow("wifi") << QStringLiteral("wifi");
    QTest::newRow("usb") << QStringLiteral("usb");
}

void TestAndroidRestore::sendsInBatches()
{
    QFETCH(QString, transport);

    PhoneSimulatorProcess phone;
    AndroidDevice device;
    const QString file = messageFile(QStringLiteral("batches-") + transport);
    QVERIFY(startPhone(phone, transport, { QStringLiteral("--messages"), file }, device));

    MessageRecords records;
    addSeries(records, 250);
    // Handed over newest first: the phone still receives them in time order.
    QList<_MsgMessage*> selection = records.messages();
    std::reverse(selection.begin(), selection.end());
    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, selection, &progress);
    progress.runToEnd(&thread);

    QVERIFY2(progress.errors.isEmpty(), qUtf8Printable(progress.errors.join(QLatin1Char('\n'))));
    QCOMPARE(progress.successes, QStringList { successText(250, 250) });
    QVERIFY(progress.tips.isEmpty());
    QVERIFY(waitForLog(
        phone, QRegularExpression(QStringLiteral("received 250 messages in 3 batches; message file saved"))));
    QCOMPARE(storedBatchSizes(phone), (QList<int> { 100, 100, 50 }));

    const QList<SimMessage> stored = loadMessages(file);
    QCOMPARE(stored.size(), 250);
    const QList<_MsgMessage*> sent = records.messages();
    for (int i = 0; i < 250; ++i)
        QCOMPARE(stored.at(i), expectedOnPhone(*sent.at(i)));

    QCOMPARE(progress.updates.size(), 251);
    QCOMPARE(progress.updates.first().status, QStringLiteral("Sending SMS to Device..."));
    QCOMPARE(progress.updates.first().progress, 0);
    QCOMPARE(progress.updates.at(1).text, QStringLiteral("SMS: 1/250"));
    QCOMPARE(progress.updates.at(1).progress, 0);
    QCOMPARE(progress.updates.at(3).progress, 1);
    QCOMPARE(progress.updates.last().text, QStringLiteral("SMS: 250/250"));
    QCOMPARE(progress.updates.last().progress, 100);
    QCOMPARE(cachedMessageCount(device), 250);
}

void TestAndroidRestore::nothingToSend()
{
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    QVERIFY(startPhone(
        phone, QStringLiteral("wifi"), { QStringLiteral("--messages"), messageFile(QStringLiteral("empty")) }, device));
    MessageRecords records;
    records.addFrom(QStringLiteral("+447700900123"), 1000, 0, QStringLiteral("joined"), 1);
    records.addFrom(QStringLiteral("+447700900123"), 1001, 0, QStringLiteral("left"), 3);
    records.addFrom(QString(), 1002, 0, QStringLiteral("no one"));

    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    progress.runToEnd(&thread);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { successText(0, 0, 3) });
    QVERIFY(
        waitForLog(phone, QRegularExpression(QStringLiteral("received 0 messages in 0 batches; message file saved"))));
    QCOMPARE(loadMessages(messageFile(QStringLiteral("empty"))).size(), 0);
}

void TestAndroidRestore::messageAlreadyOnPhoneIsNotSentAgain()
{
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    const QString file = messageFile(QStringLiteral("known"));
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), { QStringLiteral("--messages"), file }, device));

    MessageRecords records;
    _MsgMessage& known = records.addFrom(QStringLiteral("+447700900123"), 1000, 0, QStringLiteral("already there"));
    records.addFrom(QStringLiteral("+447700900123"), 2000, 1, QStringLiteral("new"));
    // Selected twice (another record of the same message): sent once within the batch.
    records.addFrom(QStringLiteral("+447700900123"), 2000, 1, QStringLiteral("new"));
    // The phone's cache holds the first message as a load would have left it: another guid, same key.
    {
        MessageRecords loaded;
        _MsgMessage& copy = loaded.addFrom(QStringLiteral("+447700900123"), 1000, 0, QStringLiteral("already there"));
        copy.guid = guidFromBytes(logicHash(copy).toUtf8());
        writeMessages(device.cacheDir(), { &copy }, device.mmc);
    }

    for (int round = 1; round <= 2; ++round) {
        RecordingProgress progress;
        AndroidRestoreSMSThread thread(device, records.messages(), &progress);
        progress.runToEnd(&thread);
        QCOMPARE(progress.errors, QStringList());
        // The first round sends the one message the phone lacks; the second finds all three there.
        QCOMPARE(progress.successes, QStringList { successText(3, round == 1 ? 1 : 0) });
        QVERIFY(waitForLog(phone,
            QRegularExpression(
                QStringLiteral("received %1 messages in 1 batches; message file saved").arg(round == 1 ? 1 : 0))));
        // Counted and cached once, sent only by the first round.
        QCOMPARE(cachedMessageCount(device), 2);
        const QList<SimMessage> stored = loadMessages(file);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().body, QStringLiteral("new"));
        QVERIFY(stored.first() != expectedOnPhone(known));
    }
}

void TestAndroidRestore::defaultAppFlag_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("flag");
    QTest::addColumn<bool>("cancelAtTip"); // the person cancels while the tip is shown
    QTest::newRow("wifi, flag 0") << QStringLiteral("wifi") << 0 << false;
    QTest::newRow("wifi, flag 1") << QStringLiteral("wifi") << 1 << false;
    QTest::newRow("usb, flag 1") << QStringLiteral("usb") << 1 << false;
    QTest::newRow("wifi, cancelled at the tip") << QStringLiteral("wifi") << 1 << true;
}

void TestAndroidRestore::defaultAppFlag()
{
    QFETCH(QString, transport);
    QFETCH(int, flag);
    QFETCH(bool, cancelAtTip);

    PhoneSimulatorProcess phone;
    AndroidDevice device;
    QVERIFY(startPhone(phone, transport, words("--defsmsapp") << QString::number(flag), device));
    MessageRecords records;
    addSeries(records, 3);
    RecordingProgress progress;
    progress.tipCloseDelayMs = cancelAtTip ? 60000 : 300;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    if (cancelAtTip) {
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(progress.tips.size(), 1, 15000);
        progress.cancelled = true;
        QVERIFY(thread.wait(15000));
        QCoreApplication::processEvents();
    } else {
        progress.runToEnd(&thread);
    }

    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, cancelAtTip ? QStringList() : QStringList { successText(3, 3) });
    QCOMPARE(progress.tips, flag != 0 ? QStringList { tipText } : QStringList());
    QVERIFY(waitForLog(phone,
        QRegularExpression(cancelAtTip ? QStringLiteral("restore2 channel[^\\n]*: ended")
                                       : QStringLiteral("received 3 messages in 1 batches"))));
    // With flag 0 the companion reads "$batch:" next; an extra "$defsmsapp:" would have ended the channel.
    // Without the person's confirmation the companion is never told to take the messaging role.
    QVERIFY2(phone.log().contains(QLatin1String("now the default messaging app")) == (flag != 0 && !cancelAtTip),
        qUtf8Printable(phone.log()));
    QCOMPARE(cachedMessageCount(device), cancelAtTip ? 0 : 3);
}

void TestAndroidRestore::recordsArriveIntact()
{
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    const QString file = messageFile(QStringLiteral("intact"));
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), { QStringLiteral("--messages"), file }, device));
    MessageRecords records;
    _MsgMessage& dated = records.addFrom(QStringLiteral("+447700900123"), 378691200, 1, QStringLiteral("new year"));
    _MsgMessage& picture = records.addFrom(
        QStringLiteral("Zoë"), 378691300, 0, QStringLiteral("look%1 at this, \"ok\"? 😀").arg(objectReplacement));
    _MsgAttachment attachment;
    attachment.guid = QStringLiteral("at-1");
    attachment.filename = QStringLiteral("~/Library/SMS/Attachments/a.jpg");
    picture.attachments.insert(QStringLiteral("1"), attachment);

    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    progress.runToEnd(&thread);
    QCOMPARE(progress.errors, QStringList());
    QVERIFY(waitForLog(phone, QRegularExpression(QStringLiteral("message file saved"))));

    const QList<SimMessage> stored = loadMessages(file);
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored.at(0).timeMs, Q_INT64_C(1356998400000));
    QCOMPARE(stored.at(0), expectedOnPhone(dated));
    QCOMPARE(stored.at(1).address, QStringLiteral("Zoë"));
    QCOMPARE(stored.at(1).body, QStringLiteral("look at this, \"ok\"? 😀"));
    QCOMPARE(stored.at(1).direction, 0);
}

void TestAndroidRestore::wrongBatchAnswer()
{
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), words("--wrong-ack"), device));
    MessageRecords records;
    addSeries(records, 5);
    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    progress.runToEnd(&thread);

    QCOMPARE(progress.successes, QStringList());
    QCOMPARE(progress.errors, QStringList { QStringLiteral("invalid feedback [$bye:], must be [$batch:]") });
    QVERIFY(waitForLog(phone,
        QRegularExpression(
            QStringLiteral("the desktop sent \\$error: invalid feedback \\[\\$bye:\\], must be \\[\\$batch:\\]"))));
    // The batch was not acknowledged, so the cache must not claim the phone holds it.
    QCOMPARE(cachedMessageCount(device), 0);
}

void TestAndroidRestore::phoneFailsMidTransfer_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("error");

    QTest::newRow("connection broken in the second batch") << words("--close-after 150") << QString();
    QTest::newRow("error instead of the first answer")
        << QStringList { QStringLiteral("--error-at"), QStringLiteral("ack"), QStringLiteral("--error-text"),
               QStringLiteral("Speicher voll – Nachrichten nicht gespeichert") }
        << QStringLiteral("Speicher voll – Nachrichten nicht gespeichert");
}

void TestAndroidRestore::phoneFailsMidTransfer()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, error);

    AndroidDevice device;
    MessageRecords records;
    addSeries(records, 250);
    {
        PhoneSimulatorProcess phone;
        QVERIFY(startPhone(phone, QStringLiteral("wifi"), fault, device));
        RecordingProgress progress;
        AndroidRestoreSMSThread thread(device, records.messages(), &progress);
        progress.runToEnd(&thread);
        QCOMPARE(progress.successes, QStringList());
        QCOMPARE(progress.errors.size(), 1);
        if (!error.isEmpty())
            QCOMPARE(progress.errors.first(), error);
        // Only batches the phone acknowledged are remembered in the cache: the first one when the
        // connection breaks in the second, none when the first answer is an error.
        QCOMPARE(cachedMessageCount(device), qint64(error.isEmpty() ? 100 : 0));
    }

    // A second transfer to a sound phone sends everything the cache does not vouch for.
    PhoneSimulatorProcess phone;
    const QString file = messageFile(QStringLiteral("resend-") + QString::number(m_phoneNumber));
    const qint64 cachedBefore = cachedMessageCount(device);
    // Same test row, same phone identity: the cache of the failed transfer is used.
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), { QStringLiteral("--messages"), file }, device));
    RecordingProgress progress;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    progress.runToEnd(&thread);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { successText(250, 250 - int(cachedBefore)) });
    QVERIFY(waitForLog(phone, QRegularExpression(QStringLiteral("message file saved"))));
    QCOMPARE(qint64(loadMessages(file).size()), 250 - cachedBefore);
    QCOMPARE(cachedMessageCount(device), 250);
}

void TestAndroidRestore::cancelBeforeFirstBatch()
{
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), {}, device));
    MessageRecords records;
    addSeries(records, 10);
    RecordingProgress progress;
    progress.cancelled = true;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    thread.start();
    QVERIFY(thread.wait(30000));
    QCoreApplication::processEvents();
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList());
    // Cancelled before anything was asked of the phone: not even a channel is requested.
    QVERIFY2(!phone.log().contains(QLatin1String("restore2://")), qUtf8Printable(phone.log()));
    QVERIFY(storedBatchSizes(phone).isEmpty());
    QCOMPARE(cachedMessageCount(device), 0);
}

void TestAndroidRestore::cancelDuringTransfer_data()
{
    QTest::addColumn<bool>("whilePhoneStores");
    QTest::newRow("inside the first batch") << false;
    QTest::newRow("while the phone stores the first batch") << true;
}

void TestAndroidRestore::cancelDuringTransfer()
{
    QFETCH(bool, whilePhoneStores);
    PhoneSimulatorProcess phone;
    AndroidDevice device;
    // The phone holds its answer to each batch until the test has cancelled, so the transfer can
    // never run ahead of the cancel.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString releaseFile = folder.filePath(QStringLiteral("release"));
    QVERIFY(startPhone(phone, QStringLiteral("wifi"),
        { QStringLiteral("--hold-at"), QStringLiteral("ack"), QStringLiteral("--hold-file"), releaseFile }, device));
    MessageRecords records;
    addSeries(records, 250);
    RecordingProgress progress;
    if (!whilePhoneStores)
        progress.cancelAfterUpdates = 51;
    AndroidRestoreSMSThread thread(device, records.messages(), &progress);
    thread.start();
    if (whilePhoneStores) {
        QVERIFY(waitForLog(phone, QRegularExpression(QStringLiteral("fault: holding \\$batch:"))));
        progress.cancelled = true;
        QTest::qWait(100);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(progress.cancelled, 30000);
    }
    QVERIFY(writeFile(releaseFile));
    QVERIFY(thread.wait(30000));
    QCoreApplication::processEvents();
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList());
    QVERIFY(waitForLog(phone, QRegularExpression(QStringLiteral("restore2 channel[^\\n]*: ended"))));
    // Never a second batch, and the cache holds exactly what the phone stored: a batch whose answer
    // comes soon after the cancel is cached too, so the next transfer does not send it again.
    const QList<int> stored = storedBatchSizes(phone);
    QVERIFY2(stored.isEmpty() || stored == QList<int> { 100 }, qUtf8Printable(phone.log()));
    if (whilePhoneStores)
        QCOMPARE(stored, QList<int> { 100 });
    QCOMPARE(cachedMessageCount(device), qint64(100 * stored.size()));
}

// Every message of a cache database as "address|date|direction|text", what a transfer carries.
QStringList TestAndroidRestore::cachedMessages(const AndroidDevice& device)
{
    QStringList keys = storedRows(
        device.cacheDir(), QStringLiteral("ifnull(h.id, '') || '|' || m.date || '|' || m.is_from_me || '|' || m.text"));
    keys.sort();
    return keys;
}

bool TestAndroidRestore::loadPhone(const AndroidDevice& device)
{
    RecordingProgress progress;
    AndroidLoadSMSThread thread(device, &progress);
    progress.runToEnd(&thread);
    if (progress.successes.size() != 1)
        qWarning("load failed: %s", qUtf8Printable(progress.errors.join(QLatin1Char('\n'))));
    return progress.successes.size() == 1;
}

void TestAndroidRestore::roundTrip()
{
    // Load a phone, back its messages up into a new local database, send them to an empty phone and
    // load that one: the same messages come back.
    AndroidDevice first;
    {
        PhoneSimulatorProcess phone;
        QVERIFY(startPhone(phone, QStringLiteral("wifi"), words("--generate 1500 --seed 77"), first));
        QVERIFY(loadPhone(first));
    }
    const QStringList original = cachedMessages(first);
    QVERIFY(original.size() > 1400);

    QTemporaryDir localFolder;
    QVERIFY(localFolder.isValid());
    {
        IOS6MessageDb cache(first.cacheDir(), first.mmc, true);
        _MsgCollection loaded;
        cache.chats(loaded);
        cache.messages(loaded, 0);
        writeMessages(QDir(localFolder.path()), loaded.messages().values(), mcc);
    }
    IOS6MessageDb local(QDir(localFolder.path()), mcc, true);
    _MsgCollection collection;
    local.chats(collection);
    local.messages(collection, 0);
    QList<_MsgMessage*> selection;
    for (_MsgMessage* message : collection.messages())
        selection.append(message);
    QCOMPARE(selection.size(), original.size());

    ++m_phoneNumber;
    PhoneSimulatorProcess phone;
    AndroidDevice second;
    const QString file = messageFile(QStringLiteral("round-trip"));
    QVERIFY(startPhone(phone, QStringLiteral("wifi"), { QStringLiteral("--messages"), file }, second));
    RecordingProgress progress;
    AndroidRestoreSMSThread thread(second, selection, &progress);
    progress.runToEnd(&thread);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { successText(int(selection.size()), int(selection.size())) });
    QVERIFY(waitForLog(phone, QRegularExpression(QStringLiteral("message file saved"))));
    QCOMPARE(loadMessages(file).size(), selection.size());

    QVERIFY(loadPhone(second));
    QCOMPARE(cachedMessages(second), original);
}

QTEST_GUILESS_MAIN(TestAndroidRestore)
#include "TestAndroidRestore.moc"
