// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Cancel during every wait on a phone: the real worker threads against a simulated phone that hangs
// at one step (over real TCP, and through the real adb for USB). Each worker must end within about
// a second of the cancel, without a report, however silent the phone is.
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidRestoreSMSThread.h"
#include "message/MsgCollection.h"
#include "support/AdbTestServer.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/PhoneUnderTest.h"
#include "support/RecordingProgress.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <deque>
#include <memory>

namespace {

// Time allowed from the cancel to the end of the thread: the waits look at the flag every 100 ms,
// the rest is slack for a loaded machine.
constexpr qint64 allowedMs = 1500;

// Messages to send: one correspondent, `count` messages of `length` characters each.
class SendSelection
{
public:
    SendSelection(int count, int length)
    {
        m_handle.id = QStringLiteral("+447700900123");
        m_chat.guid = QStringLiteral("SMS;-;") + m_handle.id;
        m_chat.chat_identifier = m_handle.id;
        m_chat.handles.insert(m_handle.id, &m_handle);
        for (int i = 0; i < count; ++i) {
            _MsgMessage& message = m_messages.emplace_back();
            message.rowid = i + 1;
            message.date = message.date_read = message.date_delivered = 400000000 + 60 * i;
            message.text = QString(length, QLatin1Char('a' + i % 26));
            message.service = QStringLiteral("SMS");
            message.handle = &m_handle;
            message.chat = &m_chat;
        }
    }

    QList<_MsgMessage*> list()
    {
        QList<_MsgMessage*> result;
        for (_MsgMessage& message : m_messages)
            result.append(&message);
        return result;
    }

private:
    _MsgHandle m_handle;
    _MsgChat m_chat;
    std::deque<_MsgMessage> m_messages;
};

} // namespace

class TestAndroidCancel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cancelEndsEveryWait_data();
    void cancelEndsEveryWait();

private:
    std::unique_ptr<AdbTestServer> m_adb;
    int m_phoneNumber = 0;
};

void TestAndroidCancel::initTestCase()
{
    useTemporaryHome();
    m_adb = std::make_unique<AdbTestServer>();
}

void TestAndroidCancel::cleanupTestCase()
{
    m_adb.reset();
}

void TestAndroidCancel::cancelEndsEveryWait_data()
{
    QTest::addColumn<QString>("task"); // connect, load or send
    QTest::addColumn<QString>("transport"); // usb or wifi
    QTest::addColumn<QStringList>("arguments"); // the phone's fault
    QTest::addColumn<QString>("phoneHangs"); // what the phone logs once it hangs
    QTest::addColumn<QString>("progressText"); // cancel only once this progress text arrived, if any
    QTest::addColumn<int>("messageLength"); // of the 100 messages to send

    const auto hold = [](const char* step) { return QStringList { QStringLiteral("--hold-at"), QLatin1String(step) }; };
    const QStringList partialLine { QStringLiteral("--partial-line") };
    const QString connectTask = QStringLiteral("connect");
    const QString loadTask = QStringLiteral("load");
    const QString sendTask = QStringLiteral("send");
    const QString usb = QStringLiteral("usb");
    const QString wifi = QStringLiteral("wifi");
    const QString serviceHangs = QStringLiteral("service: fault: holding");

    QTest::newRow("usb: adb package listing hangs")
        << connectTask << usb << hold("packages") << QStringLiteral("fault: holding the package list") << QString()
        << 0;
    QTest::newRow("usb channel open: no $ready:")
        << connectTask << usb << hold("ready") << QStringLiteral("fault: holding \\$ready:") << QString() << 0;
    QTest::newRow("wifi service exchange: no answer")
        << connectTask << wifi << hold("service") << serviceHangs << QString() << 0;
    QTest::newRow("wifi service exchange: answer without line feed")
        << connectTask << wifi << hold("service") + partialLine << serviceHangs << QString() << 0;
    QTest::newRow("wifi channel open: no $ready:")
        << connectTask << wifi << hold("ready") << QStringLiteral("fault: holding \\$ready:") << QString() << 0;
    QTest::newRow("greeting: $ready: then silence")
        << connectTask << wifi << hold("hello") << QStringLiteral("fault: holding \\$hello:") << QString() << 0;
    QTest::newRow("load: line without line feed, then silence")
        << loadTask << wifi << hold("count") + partialLine << QStringLiteral("fault: holding \\$count:") << QString()
        << 0;
    QTest::newRow("load over usb: silence inside a batch")
        << loadTask << usb << hold("end") << QStringLiteral("fault: holding \\$end:") << QString() << 0;
    QTest::newRow("send: waiting for $defsmsapp:")
        << sendTask << wifi << hold("defsmsapp") << QStringLiteral("fault: holding \\$defsmsapp:") << QString() << 16;
    QTest::newRow("send: waiting for the batch answer")
        << sendTask << wifi << hold("ack") << QStringLiteral("fault: holding \\$batch:") << QString() << 16;
    // 100 messages of 256 KiB are far more than the connection buffers hold, so the flush of the
    // batch's "$end:" blocks on a phone that stopped reading.
    QTest::newRow("send: flushing a batch the phone does not read")
        << sendTask << wifi << hold("receive") << QStringLiteral("fault: not reading") << QStringLiteral("SMS: 100/100")
        << 256 * 1024;
}

void TestAndroidCancel::cancelEndsEveryWait()
{
    QFETCH(QString, task);
    QFETCH(QString, transport);
    QFETCH(QStringList, arguments);
    QFETCH(QString, phoneHangs);
    QFETCH(QString, progressText);
    QFETCH(int, messageLength);

    const bool usb = transport == QLatin1String("usb");
    PhoneUnderTest underTest(usb ? m_adb.get() : nullptr);
    QVERIFY2(underTest.start(
                 SimulatorOptions().packages(QStringLiteral("com.quillbarrow.smsagent")).generate(300).with(arguments)),
        qUtf8Printable(underTest.phone.log()));
    PhoneSimulatorProcess& phone = underTest.phone;
    AndroidDevice& device = underTest.device;
    device.imei = QStringLiteral("cancel-%1").arg(++m_phoneNumber);
    device.mmc = QStringLiteral("234");
    device.version = 12;

    RecordingProgress progress;
    SendSelection selection(100, messageLength);
    std::unique_ptr<QThread> worker;
    if (task == QLatin1String("connect") && usb)
        worker = std::make_unique<AndroidConnectWithUSBThread>(device.serial, &progress);
    else if (task == QLatin1String("connect"))
        worker = std::make_unique<AndroidConnectWithWiFiThread>(device.host, &progress);
    else if (task == QLatin1String("load"))
        worker = std::make_unique<AndroidLoadSMSThread>(device, &progress);
    else
        worker = std::make_unique<AndroidRestoreSMSThread>(device, selection.list(), &progress);

    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> finishedAt { -1 };
    connect(
        worker.get(), &QThread::finished, &progress, [&] { finishedAt = clock.elapsed(); }, Qt::DirectConnection);
    worker->start();

    const QRegularExpression hangs(phoneHangs);
    const auto progressArrived = [&] {
        if (progressText.isEmpty())
            return true;
        for (const RecordingProgress::Update& update : std::as_const(progress.updates)) {
            if (update.text == progressText)
                return true;
        }
        return false;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        hangs.match(phone.log()).hasMatch() && progressArrived(), qUtf8Printable(phone.log()), 30000);
    // Let the worker settle into its wait: the cancel is to find it there, not on its way in.
    QTest::qWait(300);
    QVERIFY2(!worker->isFinished(), qUtf8Printable(progress.errors.join(QLatin1Char('\n'))));

    const qint64 cancelledAt = clock.elapsed();
    progress.cancelled = true;
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 20000);
    QVERIFY(worker->wait(5000));
    QCoreApplication::processEvents();
    const qint64 tookMs = finishedAt - cancelledAt;
    QVERIFY2(tookMs <= allowedMs, qPrintable(QStringLiteral("the worker ended %1 ms after the cancel").arg(tookMs)));
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList());
}

QTEST_GUILESS_MAIN(TestAndroidCancel)
#include "TestAndroidCancel.moc"
