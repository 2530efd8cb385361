// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AdbCommands.h"
#include "android/AndroidMonitor.h"
#include "support/AdbTestServer.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/ScopedEnv.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// One poll's answer of the stand-in adb: standard output and standard error of `adb devices`.
struct Listing
{
    QByteArray out;
    QByteArray err;
};

Listing listing(const QStringList& deviceLines)
{
    QByteArray out = "List of devices attached\n";
    for (const QString& line : deviceLines)
        out += line.toUtf8() + '\n';
    return { out + '\n', QByteArray() };
}

} // namespace

Q_DECLARE_METATYPE(QList<Listing>)

class TestAndroidMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void pollSequence_data();
    void pollSequence();
    void serverStartAndDestruction_data();
    void serverStartAndDestruction();

    void realDeviceConnectDisconnectReconnect();
    void realTwoDevicesLeave();

private:
    std::unique_ptr<AndroidMonitor> startMonitor();
    void writeFile(const QString& name, const QByteArray& content);
    // The fake adb's answer to "devices": standard output and standard error, replaced in one step.
    void writeAnswer(const Listing& answer)
    {
        writeFile(QStringLiteral("devices.answer"), answer.out + "@@stderr@@" + answer.err);
    }
    int devicesCalls() const;
    QStringList calls() const;
    bool serverAccepts() const;

    QTemporaryDir m_fakeDir;
    quint16 m_serverPort = 0;
    QStringList m_events;
};

void TestAndroidMonitor::initTestCase()
{
    useTemporaryHome();
    m_serverPort = freeLocalPort();
    qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(m_serverPort));

    // A stand-in adb whose answers the test changes between polls; it records every call after
    // answering, so a recorded `devices` call is a finished one.
    QVERIFY(m_fakeDir.isValid());
    QDir(m_fakeDir.path()).mkdir(QStringLiteral("bin"));
    QFile script(m_fakeDir.filePath(QStringLiteral("bin/adb")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "d=\"$FAKE_ADB_DIR\"\n"
                 "case \"$1\" in\n"
                 // One read of the answer file, so that an answer replaced meanwhile is never half old.
                 "devices) a=$(cat \"$d/devices.answer\"; echo x)\n"
                 "  printf '%s' \"${a%%@@stderr@@*}\"; e=\"${a#*@@stderr@@}\"; printf '%s' \"${e%x}\" >&2 ;;\n"
                 "start-server) cat \"$d/start.err\" >&2 ;;\n"
                 "esac\n"
                 "echo \"$1\" >> \"$d/calls\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
}

void TestAndroidMonitor::cleanupTestCase()
{
    killServer();
}

void TestAndroidMonitor::init()
{
    m_events.clear();
    QFile::remove(m_fakeDir.filePath(QStringLiteral("calls")));
    writeAnswer(listing({}));
    writeFile(QStringLiteral("start.err"), "* daemon started successfully\n");
}

std::unique_ptr<AndroidMonitor> TestAndroidMonitor::startMonitor()
{
    auto monitor = std::make_unique<AndroidMonitor>(nullptr, 50);
    connect(monitor.get(), &AndroidMonitor::deviceConnected, this,
        [this](const AdbDevice& dev) { m_events << QStringLiteral("+%1/%2").arg(dev.serial, dev.state); });
    connect(monitor.get(), &AndroidMonitor::deviceDisconnected, this,
        [this](const QString& devid) { m_events << QStringLiteral("-") + devid; });
    monitor->start();
    return monitor;
}

void TestAndroidMonitor::writeFile(const QString& name, const QByteArray& content)
{
    QSaveFile file(m_fakeDir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    QVERIFY(file.commit());
}

QStringList TestAndroidMonitor::calls() const
{
    QFile file(m_fakeDir.filePath(QStringLiteral("calls")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int TestAndroidMonitor::devicesCalls() const
{
    return static_cast<int>(calls().count(QStringLiteral("devices")));
}

bool TestAndroidMonitor::serverAccepts() const
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, m_serverPort);
    return probe.waitForConnected(1000);
}

void TestAndroidMonitor::pollSequence_data()
{
    QTest::addColumn<QList<Listing>>("polls");
    QTest::addColumn<QStringList>("expected");

    const QString a = QStringLiteral("emulator-5554\tdevice");
    const QString b = QStringLiteral("192.168.0.7:5555\tunauthorized");
    const QString c = QStringLiteral("R58M1234\toffline");
    const Listing failed { listing({}).out, "* daemon not running; starting now at tcp:5037\n" };

    QTest::newRow("first poll reports every device whatever its state")
        << QList<Listing> { listing({ a, b, c }) }
        << QStringList { QStringLiteral("+emulator-5554/device"), QStringLiteral("+192.168.0.7:5555/unauthorized"),
               QStringLiteral("+R58M1234/offline") };
    QTest::newRow("a change of state is no new report")
        << QList<Listing> { listing({ b }), listing({ QStringLiteral("192.168.0.7:5555\tdevice") }) }
        << QStringList { QStringLiteral("+192.168.0.7:5555/unauthorized") };
    QTest::newRow("unplugged and plugged in again")
        << QList<Listing> { listing({ a }), listing({}), listing({ a }) }
        << QStringList { QStringLiteral("+emulator-5554/device"), QStringLiteral("-emulator-5554"),
               QStringLiteral("+emulator-5554/device") };
    QTest::newRow("a failed poll reports no disappearance") << QList<Listing> { listing({ a }), failed, listing({ a }) }
                                                            << QStringList { QStringLiteral("+emulator-5554/device") };
    QTest::newRow("a failed poll reports no appearance")
        << QList<Listing> { listing({}), Listing { listing({ a }).out, "adb: warning\n" }, listing({}) }
        << QStringList();
    QTest::newRow("gone after a failed poll") << QList<Listing> { listing({ a }), failed,
        listing({}) } << QStringList { QStringLiteral("+emulator-5554/device"), QStringLiteral("-emulator-5554") };
    QTest::newRow("two devices leave in one poll")
        << QList<Listing> { listing({ a, b, c }), listing({ b }) }
        << QStringList { QStringLiteral("+emulator-5554/device"), QStringLiteral("+192.168.0.7:5555/unauthorized"),
               QStringLiteral("+R58M1234/offline"), QStringLiteral("-R58M1234"), QStringLiteral("-emulator-5554") };
}

void TestAndroidMonitor::pollSequence()
{
    QFETCH(QList<Listing>, polls);
    QFETCH(QStringList, expected);

    ScopedEnv path("PATH", QFile::encodeName(m_fakeDir.filePath(QStringLiteral("bin"))) + ':' + qgetenv("PATH"));
    ScopedEnv dir("FAKE_ADB_DIR", QFile::encodeName(m_fakeDir.path()));

    writeAnswer(polls.first());
    auto monitor = startMonitor();
    for (const Listing& poll : std::as_const(polls)) {
        writeAnswer(poll);
        // The second call that finishes after the change has surely read the new answer.
        const int seen = devicesCalls();
        QTRY_VERIFY_WITH_TIMEOUT(devicesCalls() >= seen + 2, 10000);
    }
    QTRY_COMPARE(m_events, expected);
    const int seen = devicesCalls();
    QTRY_VERIFY_WITH_TIMEOUT(devicesCalls() >= seen + 3, 10000);
    QCOMPARE(m_events, expected);
}

void TestAndroidMonitor::serverStartAndDestruction_data()
{
    QTest::addColumn<QByteArray>("startOutput");
    QTest::addColumn<QByteArray>("devicesError"); // of the first listing
    QTest::addColumn<int>("startCalls");
    QTest::addColumn<bool>("killed");

    const QByteArray started = "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n";
    QTest::newRow("fresh start") << started << QByteArray() << 1 << true;
    QTest::newRow("fresh start in another case")
        << QByteArray("* DAEMON Started Successfully\n") << QByteArray() << 1 << true;
    // A server that was running serves other programs: it outlives the monitor.
    QTest::newRow("no fresh start tries again") << QByteArray() << QByteArray() << 2 << false;
    QTest::newRow("server gone and started again by a listing") << QByteArray() << started << 2 << true;
    QTest::newRow("a listing failing otherwise") << QByteArray() << QByteArray("adb: warning\n") << 2 << false;
}

void TestAndroidMonitor::serverStartAndDestruction()
{
    QFETCH(QByteArray, startOutput);
    QFETCH(QByteArray, devicesError);
    QFETCH(int, startCalls);
    QFETCH(bool, killed);

    ScopedEnv path("PATH", QFile::encodeName(m_fakeDir.filePath(QStringLiteral("bin"))) + ':' + qgetenv("PATH"));
    ScopedEnv dir("FAKE_ADB_DIR", QFile::encodeName(m_fakeDir.path()));
    writeFile(QStringLiteral("start.err"), startOutput);
    writeAnswer({ listing({}).out, devicesError });

    auto monitor = startMonitor();
    QTRY_VERIFY_WITH_TIMEOUT(devicesCalls() >= 1, 10000);
    writeAnswer(listing({}));
    const int seen = devicesCalls();
    QTRY_VERIFY_WITH_TIMEOUT(devicesCalls() >= seen + 1, 10000);
    monitor.reset();

    const QStringList made = calls();
    QCOMPARE(made.count(QStringLiteral("start-server")), startCalls);
    for (int i = 0; i < startCalls; ++i)
        QCOMPARE(made.at(i), QStringLiteral("start-server"));
    // The loop has ended before the server is stopped: nothing follows kill-server.
    QCOMPARE(made.count(QStringLiteral("kill-server")), killed ? 1 : 0);
    if (killed)
        QCOMPARE(made.last(), QStringLiteral("kill-server"));
    QTest::qWait(200);
    QCOMPARE(calls(), made);
}

void TestAndroidMonitor::realDeviceConnectDisconnectReconnect()
{
    PhoneSimulatorProcess phone;
    QVERIFY(phone.start(SimulatorOptions::usb()));
    const QString serial = QStringLiteral("127.0.0.1:%1").arg(phone.adbPort());

    auto monitor = startMonitor();
    QTRY_VERIFY_WITH_TIMEOUT(serverAccepts(), 10000);

    runAdb({ QStringLiteral("connect"), serial }, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 1, 10000);
    QVERIFY2(m_events.first().startsWith(QStringLiteral("+%1/").arg(serial)), qPrintable(m_events.first()));

    runAdb({ QStringLiteral("disconnect"), serial }, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, 10000);
    QCOMPARE(m_events.at(1), QStringLiteral("-") + serial);

    runAdb({ QStringLiteral("connect"), serial }, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 3, 10000);
    QVERIFY(m_events.at(2).startsWith(QStringLiteral("+%1/").arg(serial)));
    QTest::qWait(300);
    QCOMPARE(m_events.size(), 3);
}

void TestAndroidMonitor::realTwoDevicesLeave()
{
    PhoneSimulatorProcess first;
    PhoneSimulatorProcess second;
    QVERIFY(first.start(SimulatorOptions::usb()));
    QVERIFY(second.start(SimulatorOptions::usb()));
    const QString firstSerial = QStringLiteral("127.0.0.1:%1").arg(first.adbPort());
    const QString secondSerial = QStringLiteral("127.0.0.1:%1").arg(second.adbPort());

    auto monitor = startMonitor();
    QTRY_VERIFY_WITH_TIMEOUT(serverAccepts(), 10000);
    runAdb({ QStringLiteral("connect"), firstSerial }, false);
    runAdb({ QStringLiteral("connect"), secondSerial }, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, 10000);

    // Disconnecting every device takes both out of the listing at once.
    runAdb({ QStringLiteral("disconnect") }, false);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 4, 10000);
    QStringList gone = m_events.mid(2);
    gone.sort();
    QStringList expected { QStringLiteral("-") + firstSerial, QStringLiteral("-") + secondSerial };
    expected.sort();
    QCOMPARE(gone, expected);
}

QTEST_GUILESS_MAIN(TestAndroidMonitor)
#include "TestAndroidMonitor.moc"
