// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AdbCommands.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/ScopedEnv.h"
#include "support/TestHome.h"
#include "support/Thrown.h"
#include "support/Words.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <limits>
#include <stdexcept>

namespace {

} // namespace

class TestAdbCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void parseDeviceList_data();
    void parseDeviceList();
    void isOnline_data();
    void isOnline();
    void parsePackageList();
    void installSucceeded_data();
    void installSucceeded();
    void activityManagerFailed_data();
    void activityManagerFailed();
    void activityManagerArguments_data();
    void activityManagerArguments();

    void withoutAdb_data();
    void withoutAdb();
    void processOutput_data();
    void processOutput();
    void commandLines_data();
    void commandLines();

    void realServerStart();
    void listingThatStartsServerThrowsOnce();
    void emulatedDeviceListedWhole();
    void packagesAndInstall();
    void failuresOfFaultyDevice();
    void activityManagerBroadcast();
    void forwardRelaysBothWays();

private:
    QString connectSimulator(PhoneSimulatorProcess& simulator, const QStringList& arguments);

    QTemporaryDir m_fakeDir;
    QByteArray m_serverPort;
    PhoneSimulatorProcess m_phone;
    QString m_phoneSerial;
};

void TestAdbCommands::initTestCase()
{
    useTemporaryHome();
    m_serverPort = QByteArray::number(freeLocalPort());
    qputenv("ANDROID_ADB_SERVER_PORT", m_serverPort);

    // A stand-in adb that prints what the environment tells it and records its arguments, for the
    // cases where the real program cannot produce the output in question.
    QVERIFY(m_fakeDir.isValid());
    QDir(m_fakeDir.path()).mkdir(QStringLiteral("bin"));
    QDir(m_fakeDir.path()).mkdir(QStringLiteral("empty"));
    QFile script(m_fakeDir.filePath(QStringLiteral("bin/adb")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "printf '%s\\n' \"$@\" > \"$FAKE_ADB_ARGS\"\n"
                 "printf '%b' \"$FAKE_ADB_STDOUT\"\n"
                 "printf '%b' \"$FAKE_ADB_STDERR\" >&2\n"
                 "if [ -n \"$FAKE_ADB_CRASH\" ]; then kill -9 $$; fi\n"
                 "exit 0\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
}

void TestAdbCommands::cleanupTestCase()
{
    killServer();
}

void TestAdbCommands::parseDeviceList_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("expected"); // "serial|state|line" per device

    QTest::newRow("empty listing") << QStringLiteral("List of devices attached\n\n") << QStringList();
    QTest::newRow("no header") << QStringLiteral("emulator-5554\tdevice\n") << QStringList();
    QTest::newRow("header in another case") << QStringLiteral("list OF Devices ATTACHED\nR58M1234\tdevice\n")
                                            << QStringList { QStringLiteral("R58M1234|device|R58M1234\tdevice") };
    QTest::newRow("lines before the header ignored")
        << QStringLiteral("* daemon started successfully\nabc\tdevice\n  List of devices attached  \nxyz_1\toffline\n")
        << QStringList { QStringLiteral("xyz_1|offline|xyz_1\toffline") };
    QTest::newRow("emulator serial with dashes and a tab")
        << QStringLiteral("List of devices attached\nemulator-5554\tdevice\n")
        << QStringList { QStringLiteral("emulator-5554|device|emulator-5554\tdevice") };
    QTest::newRow("network serial kept whole")
        << QStringLiteral("List of devices attached\n192.168.0.7:5555\tdevice\n")
        << QStringList { QStringLiteral("192.168.0.7:5555|device|192.168.0.7:5555\tdevice") };
    QTest::newRow("loopback serial with spaces")
        << QStringLiteral("List of devices attached\n  127.0.0.1:5555    unauthorized  \n")
        << QStringList { QStringLiteral("127.0.0.1:5555|unauthorized|127.0.0.1:5555    unauthorized") };
    QTest::newRow("carriage returns and several devices in order")
        << QStringLiteral("List of devices attached\r\nZX1\tdevice\r\nemulator-5556\toffline\r\n\r\n")
        << QStringList { QStringLiteral("ZX1|device|ZX1\tdevice"),
               QStringLiteral("emulator-5556|offline|emulator-5556\toffline") };
    QTest::newRow("service name serial")
        << QStringLiteral("List of devices attached\nadb-R58M-x._adb-tls-connect._tcp.\tdevice\n")
        << QStringList { QStringLiteral(
               "adb-R58M-x._adb-tls-connect._tcp.|device|adb-R58M-x._adb-tls-connect._tcp.\tdevice") };
    QTest::newRow("line without a state skipped") << QStringLiteral("List of devices attached\nlonely\nABC device\n")
                                                  << QStringList { QStringLiteral("ABC|device|ABC device") };
}

void TestAdbCommands::parseDeviceList()
{
    QFETCH(QString, output);
    QFETCH(QStringList, expected);
    QStringList actual;
    for (const AdbDevice& device : ::parseDeviceList(output))
        actual << device.serial + QLatin1Char('|') + device.state + QLatin1Char('|') + device.line;
    QCOMPARE(actual, expected);
}

void TestAdbCommands::isOnline_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("online");
    QTest::newRow("device") << QStringLiteral("device") << true;
    QTest::newRow("other case") << QStringLiteral("DEVICE") << true;
    QTest::newRow("offline") << QStringLiteral("offline") << false;
    QTest::newRow("unauthorized") << QStringLiteral("unauthorized") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestAdbCommands::isOnline()
{
    QFETCH(QString, state);
    QFETCH(bool, online);
    QCOMPARE(AdbDevice({ QString(), QStringLiteral("s"), state }).isOnline(), online);
}

void TestAdbCommands::parsePackageList()
{
    const QString output = QStringLiteral("package:com.a\n  package:com.b  \r\nPACKAGE:com.c\nxpackage:com.d\n"
                                          "package: com.e \nerror: device offline\npackage:com.a\n");
    const QSet<QString> expected { QStringLiteral("com.a"), QStringLiteral("com.b"), QStringLiteral("com.e") };
    QCOMPARE(::parsePackageList(output), expected);
    QVERIFY(::parsePackageList(QStringLiteral("run adb failed.")).isEmpty());
}

void TestAdbCommands::installSucceeded_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("success");
    QTest::newRow("success after progress lines")
        << QStringLiteral("Performing Push Install\nx.apk: 1 file pushed.\n\n\tpkg: /data/local/tmp/x.apk\nSuccess\n")
        << true;
    QTest::newRow("success in another case") << QStringLiteral("SUCCESS\r\n") << true;
    QTest::newRow("failure line") << QStringLiteral(
        "\tpkg: /data/local/tmp/x.apk\nFailure [INSTALL_FAILED_OLDER_SDK]\n")
                                  << false;
    QTest::newRow("success only as part of a line") << QStringLiteral("Successfully started\n") << false;
    QTest::newRow("adb missing") << QStringLiteral("run adb failed.") << false;
}

void TestAdbCommands::installSucceeded()
{
    QFETCH(QString, output);
    QFETCH(bool, success);
    QCOMPARE(::installSucceeded(output), success);
}

void TestAdbCommands::activityManagerFailed_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("failed");
    QTest::newRow("completed") << QStringLiteral("Broadcasting: Intent { act=x }\nBroadcast completed: result=0\n")
                               << false;
    QTest::newRow("error line") << QStringLiteral("Broadcasting: Intent { act=x }\nError: no receiver\n") << true;
    QTest::newRow("indented lower case") << QStringLiteral("  error: device offline\n") << true;
    QTest::newRow("error later in the line") << QStringLiteral("Warning, an error: maybe\n") << false;
    QTest::newRow("adb missing") << QStringLiteral("run adb failed.") << false;
}

void TestAdbCommands::activityManagerFailed()
{
    QFETCH(QString, output);
    QFETCH(bool, failed);
    QCOMPARE(::activityManagerFailed(output), failed);
}

void TestAdbCommands::activityManagerArguments_data()
{
    QTest::addColumn<QString>("component");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QStringList>("expected");

    const QStringList head { QStringLiteral("-s"), QStringLiteral("SER"), QStringLiteral("shell"), QStringLiteral("am"),
        QStringLiteral("broadcast") };
    QTest::newRow("component and data only")
        << QStringLiteral("p/.R") << QString() << QStringLiteral("tcp://x") << QStringList() << QString()
        << head
            + QStringList { QStringLiteral("-n"), QStringLiteral("p/.R"), QStringLiteral("-d"),
                  QStringLiteral("tcp://x") };
    QTest::newRow("every option, categories repeated")
        << QStringLiteral("p/.R") << QStringLiteral("act") << QStringLiteral("d")
        << QStringList { QStringLiteral("c1"), QStringLiteral("c2") } << QStringLiteral("text/plain")
        << head
            + QStringList { QStringLiteral("-n"), QStringLiteral("p/.R"), QStringLiteral("-a"), QStringLiteral("act"),
                  QStringLiteral("-d"), QStringLiteral("d"), QStringLiteral("-c"), QStringLiteral("c1"),
                  QStringLiteral("-c"), QStringLiteral("c2"), QStringLiteral("-t"), QStringLiteral("text/plain") };
    QTest::newRow("nothing given") << QString() << QString() << QString() << QStringList() << QString() << head;
}

void TestAdbCommands::activityManagerArguments()
{
    QFETCH(QString, component);
    QFETCH(QString, action);
    QFETCH(QString, data);
    QFETCH(QStringList, categories);
    QFETCH(QString, mimeType);
    QFETCH(QStringList, expected);
    QCOMPARE(::activityManagerArguments(
                 QStringLiteral("SER"), QStringLiteral("broadcast"), component, action, data, categories, mimeType),
        expected);
}

void TestAdbCommands::withoutAdb_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("thrown"); // null: must not throw
    QTest::addColumn<QString>("returned");

    const QString failed = QStringLiteral("run adb failed.");
    QTest::newRow("runAdb throwing") << QStringLiteral("runAdbThrow") << failed << QString();
    QTest::newRow("runAdb returning") << QStringLiteral("runAdb") << QString() << failed;
    QTest::newRow("startServer") << QStringLiteral("startServer") << QString() << failed;
    QTest::newRow("killServer") << QStringLiteral("killServer") << QString() << QString();
    QTest::newRow("listDevices") << QStringLiteral("listDevices") << failed << QString();
    QTest::newRow("listPackages") << QStringLiteral("listPackages") << QString() << QString();
    QTest::newRow("installPackage") << QStringLiteral("installPackage") << failed << QString();
    QTest::newRow("forwardPort") << QStringLiteral("forwardPort") << failed << QString();
    QTest::newRow("activityManager") << QStringLiteral("activityManager") << QString() << QString();
}

void TestAdbCommands::withoutAdb()
{
    QFETCH(QString, operation);
    QFETCH(QString, thrown);
    QFETCH(QString, returned);

    ScopedEnv path("PATH", QFile::encodeName(m_fakeDir.filePath(QStringLiteral("empty"))));
    const QString serial = QStringLiteral("emulator-5554");
    QString result;
    const QString error = thrownText([&] {
        if (operation == QLatin1String("runAdbThrow"))
            result = runAdb({ QStringLiteral("devices") }, true);
        else if (operation == QLatin1String("runAdb"))
            result = runAdb({ QStringLiteral("devices") }, false);
        else if (operation == QLatin1String("startServer"))
            result = startServer();
        else if (operation == QLatin1String("killServer"))
            killServer();
        else if (operation == QLatin1String("listDevices"))
            result = QString::number(listDevices().size());
        else if (operation == QLatin1String("listPackages"))
            result = QStringList(listPackages(serial).values()).join(QLatin1Char(','));
        else if (operation == QLatin1String("installPackage"))
            installPackage(serial, QStringLiteral("/tmp/x.apk"));
        else if (operation == QLatin1String("forwardPort"))
            forwardPort(serial, 1234, 1235);
        else if (operation == QLatin1String("activityManager"))
            activityManager(
                serial, QStringLiteral("broadcast"), QStringLiteral("p/.R"), {}, QStringLiteral("d"), {}, {});
    });
    QCOMPARE(error, thrown);
    if (thrown.isNull())
        QCOMPARE(result, returned);
}

void TestAdbCommands::processOutput_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<bool>("crash");
    QTest::addColumn<QString>("thrown");
    QTest::addColumn<QString>("returned");

    QTest::newRow("standard output only")
        << QByteArray("hello\\n") << QByteArray() << false << QString() << QStringLiteral("hello\n");
    QTest::newRow("standard error ahead of output")
        << QByteArray("out\\n") << QByteArray("warn\\n") << false << QString() << QStringLiteral("warn\n\nout\n");
    QTest::newRow("eight-bit text one character per byte")
        << QByteArray("x\\0351") << QByteArray() << false << QString() << QLatin1Char('x') + QString(QChar(0xe9));
    QTest::newRow("crashed process output still read")
        << QByteArray("partial") << QByteArray() << true << QString() << QStringLiteral("partial");
}

void TestAdbCommands::processOutput()
{
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(bool, crash);
    QFETCH(QString, returned);

    const QByteArray bin = QFile::encodeName(m_fakeDir.filePath(QStringLiteral("bin")));
    ScopedEnv path("PATH", bin + ':' + qgetenv("PATH"));
    ScopedEnv args("FAKE_ADB_ARGS", QFile::encodeName(m_fakeDir.filePath(QStringLiteral("args"))));
    ScopedEnv stdoutText("FAKE_ADB_STDOUT", out);
    ScopedEnv stderrText("FAKE_ADB_STDERR", err);
    ScopedEnv crashing("FAKE_ADB_CRASH", crash ? QByteArray("1") : QByteArray());

    QCOMPARE(runAdb({ QStringLiteral("x") }, false), returned);
    // With the flag set, any standard-error text is the exception message, exactly.
    const QString expectedThrow
        = err.isEmpty() ? QString() : QString::fromLatin1(err).replace(QLatin1String("\\n"), QLatin1String("\n"));
    QCOMPARE(thrownText([] { runAdb({ QStringLiteral("x") }, true); }), expectedThrow);
}

void TestAdbCommands::commandLines_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("thrown");

    QTest::newRow("devices with notice on standard error")
        << QStringLiteral("listDevices") << QByteArray("List of devices attached\\nA\\tdevice\\n")
        << QByteArray("* daemon started successfully\\n") << words("devices")
        << QStringLiteral("* daemon started successfully\n");
    QTest::newRow("packages") << QStringLiteral("listPackages") << QByteArray("package:a\\n") << QByteArray()
                              << words("-s 192.168.0.7:5555 shell pm -l") << QString();
    QTest::newRow("install success on standard error")
        << QStringLiteral("installPackage") << QByteArray("\\tpkg: /data/local/tmp/a.apk\\n")
        << QByteArray("Success\\n") << words("-s 192.168.0.7:5555 install /tmp/a.apk") << QString();
    QTest::newRow("install failure gives the whole output")
        << QStringLiteral("installPackage") << QByteArray("Failure [X]\\n") << QByteArray("progress\\n")
        << words("-s 192.168.0.7:5555 install /tmp/a.apk") << QStringLiteral("progress\n\nFailure [X]\n");
    QTest::newRow("forward ports in decimal") << QStringLiteral("forwardPort") << QByteArray("54321\\n") << QByteArray()
                                              << words("-s 192.168.0.7:5555 forward tcp:54321 tcp:1024") << QString();
    QTest::newRow("forward with standard error fails")
        << QStringLiteral("forwardPort") << QByteArray() << QByteArray("error: device offline\\n")
        << words("-s 192.168.0.7:5555 forward tcp:54321 tcp:1024") << QStringLiteral("error: device offline\n");
    QTest::newRow("activity manager error on standard error")
        << QStringLiteral("activityManager") << QByteArray("Broadcasting: Intent {}\\n")
        << QByteArray("error: closed\\n") << words("-s 192.168.0.7:5555 shell am broadcast -d tcp://h")
        << QStringLiteral("error: closed\n\nBroadcasting: Intent {}\n");
}

void TestAdbCommands::commandLines()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QStringList, arguments);
    QFETCH(QString, thrown);

    const QByteArray bin = QFile::encodeName(m_fakeDir.filePath(QStringLiteral("bin")));
    const QString argsFile = m_fakeDir.filePath(QStringLiteral("args"));
    ScopedEnv path("PATH", bin + ':' + qgetenv("PATH"));
    ScopedEnv args("FAKE_ADB_ARGS", QFile::encodeName(argsFile));
    ScopedEnv stdoutText("FAKE_ADB_STDOUT", out);
    ScopedEnv stderrText("FAKE_ADB_STDERR", err);

    const QString serial = QStringLiteral("192.168.0.7:5555");
    const QString error = thrownText([&] {
        if (operation == QLatin1String("listDevices"))
            listDevices();
        else if (operation == QLatin1String("listPackages"))
            QCOMPARE(listPackages(serial), QSet<QString> { QStringLiteral("a") });
        else if (operation == QLatin1String("installPackage"))
            installPackage(serial, QStringLiteral("/tmp/a.apk"));
        else if (operation == QLatin1String("forwardPort"))
            forwardPort(serial, 54321, 1024);
        else if (operation == QLatin1String("activityManager"))
            activityManager(serial, QStringLiteral("broadcast"), {}, {}, QStringLiteral("tcp://h"), {}, {});
    });
    QCOMPARE(error, thrown);

    QFile recorded(argsFile);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(recorded.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), arguments);
}

void TestAdbCommands::realServerStart()
{
    killServer();
    QVERIFY(startServer().contains(QLatin1String("daemon started successfully")));
    killServer();
}

void TestAdbCommands::listingThatStartsServerThrowsOnce()
{
    killServer();
    const QString notice = thrownText([] { listDevices(); });
    QVERIFY2(notice.contains(QLatin1String("daemon started successfully")), qPrintable(notice));
    QVERIFY(!notice.contains(QLatin1String("List of devices attached")));
    QCOMPARE(thrownText([] { listDevices(); }), QString());
}

QString TestAdbCommands::connectSimulator(PhoneSimulatorProcess& simulator, const QStringList& arguments)
{
    if (!simulator.start(SimulatorOptions::usb().with(arguments)))
        return QString();
    return connectEmulatedDevice(simulator);
}

void TestAdbCommands::emulatedDeviceListedWhole()
{
    startServer();
    m_phoneSerial = connectSimulator(m_phone, words("--packages android,com.android.phone"));
    QVERIFY2(!m_phoneSerial.isEmpty(), qPrintable(m_phone.log()));
    const QList<AdbDevice> devices = listDevices();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.first().serial, m_phoneSerial);
    QCOMPARE(devices.first().state, QStringLiteral("device"));
}

void TestAdbCommands::packagesAndInstall()
{
    QVERIFY(!m_phoneSerial.isEmpty());
    const QString companion = QStringLiteral("com.quillbarrow.smsagent");
    QSet<QString> packages = listPackages(m_phoneSerial);
    QVERIFY(packages.contains(QStringLiteral("com.android.phone")));
    QVERIFY(!packages.contains(companion));

    // Large enough that the push spans several data records and transport packets.
    QTemporaryDir dir;
    const QString apk = dir.filePath(QStringLiteral("QuillbarrowSmsAgent.apk"));
    QFile file(apk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray content(300 * 1024, 'q');
    file.write(content);
    file.close();

    // The device takes the file but, like a real package manager, installs only a package archive.
    QVERIFY(thrownText([&] {
        installPackage(m_phoneSerial, apk);
    }).contains(QLatin1String("INSTALL_PARSE_FAILED_NOT_APK")));
    QVERIFY(!listPackages(m_phoneSerial).contains(companion));
    QTRY_VERIFY2(
        m_phone.log().contains(QLatin1String("adb: sync push /data/local/tmp/QuillbarrowSmsAgent.apk (307200 bytes)")),
        qPrintable(m_phone.log()));

    const QString package = dir.filePath(QStringLiteral("com.quillbarrow.smsagent.apk"));
    QVERIFY(QFile::copy(QStringLiteral(":/res/com.quillbarrow.smsagent.apk"), package));
    QCOMPARE(thrownText([&] { installPackage(m_phoneSerial, package); }), QString());
    QVERIFY(listPackages(m_phoneSerial).contains(companion));
}

void TestAdbCommands::failuresOfFaultyDevice()
{
    PhoneSimulatorProcess faulty;
    const QString serial = connectSimulator(faulty,
        { QStringLiteral("--no-packages"), QStringLiteral("--install-fail"),
            QStringLiteral("INSTALL_FAILED_INSUFFICIENT_STORAGE"), QStringLiteral("--broadcast-error"),
            QStringLiteral("no receiver") });
    QVERIFY2(!serial.isEmpty(), qPrintable(faulty.log()));

    QVERIFY(listPackages(serial).isEmpty());

    QTemporaryDir dir;
    const QString apk = dir.filePath(QStringLiteral("agent.apk"));
    QVERIFY(writeFile(apk, "apk"));
    const QString installError = thrownText([&] { installPackage(serial, apk); });
    QVERIFY2(installError.contains(QLatin1String("Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]")),
        qPrintable(installError));

    const QString broadcastError = thrownText([&] {
        activityManager(serial, QStringLiteral("broadcast"), QStringLiteral("com.quillbarrow.smsagent/.R"), {},
            QStringLiteral("tcp://127.0.0.1:1/x"), {}, {});
    });
    QVERIFY2(broadcastError.contains(QLatin1String("Error: no receiver")), qPrintable(broadcastError));

    // A serial adb does not know: errors go to standard error.
    const QString unknown = QStringLiteral("127.0.0.1:1");
    QVERIFY(listPackages(unknown).isEmpty());
    QVERIFY(!thrownText([&] { forwardPort(unknown, freeLocalPort(), 1024); }).isEmpty());

    runAdb({ QStringLiteral("disconnect"), serial }, false);
}

void TestAdbCommands::activityManagerBroadcast()
{
    QVERIFY(!m_phoneSerial.isEmpty());
    const QString data = QStringLiteral("device2://127.0.0.1:40124");
    QCOMPARE(thrownText([&] {
        activityManager(m_phoneSerial, QStringLiteral("broadcast"),
            QStringLiteral("com.quillbarrow.smsagent/.AdbSyncBroadcastReceiver"),
            QStringLiteral("com.quillbarrow.OPEN"), data, { QStringLiteral("c1") }, {});
    }),
        QString());
    QTRY_VERIFY2(m_phone.log().contains(QStringLiteral("adb: broadcast %1: Broadcast completed: result=0").arg(data)),
        qPrintable(m_phone.log()));
}

// A forwarded port carries bytes both ways through adb and the emulated device, in more than one
// transport packet, and a close on either end reaches the other.
void TestAdbCommands::forwardRelaysBothWays()
{
    QTcpServer echo;
    QVERIFY(echo.listen(QHostAddress::LocalHost, 0));
    qint64 closeAfter = 0;
    QHash<QTcpSocket*, qint64> echoed;
    QList<QTcpSocket*> accepted;
    connect(&echo, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* socket = echo.nextPendingConnection()) {
            accepted << socket;
            connect(socket, &QTcpSocket::readyRead, this, [&, socket] {
                const QByteArray data = socket->readAll();
                socket->write(data);
                echoed[socket] += data.size();
                if (echoed[socket] >= closeAfter)
                    socket->disconnectFromHost();
            });
        }
    });

    const int devicePort = 40200;
    PhoneSimulatorProcess relayPhone;
    const QString serial = connectSimulator(
        relayPhone, { QStringLiteral("--adb-relay"), QStringLiteral("%1:%2").arg(devicePort).arg(echo.serverPort()) });
    QVERIFY2(!serial.isEmpty(), qPrintable(relayPhone.log()));
    const quint16 localPort = freeLocalPort();
    forwardPort(serial, localPort, devicePort);

    // The endpoint closes once it has echoed everything.
    QByteArray payload(2 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i % 251);
    closeAfter = payload.size();
    QTcpSocket client;
    QByteArray back;
    connect(&client, &QTcpSocket::readyRead, this, [&] { back += client.readAll(); });
    client.connectToHost(QHostAddress::LocalHost, localPort);
    QVERIFY(client.waitForConnected(5000));
    client.write(payload);
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == QAbstractSocket::UnconnectedState, 20000);
    back += client.readAll();
    QCOMPARE(back.size(), payload.size());
    QVERIFY(back == payload);

    // The client closes first: the endpoint's connection ends too.
    closeAfter = std::numeric_limits<qint64>::max();
    back.clear();
    client.connectToHost(QHostAddress::LocalHost, localPort);
    QVERIFY(client.waitForConnected(5000));
    client.write("ping");
    QTRY_COMPARE_WITH_TIMEOUT(back, QByteArray("ping"), 10000);
    QCOMPARE(accepted.size(), 2);
    client.disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(accepted.last()->state() == QAbstractSocket::UnconnectedState, 10000);

    runAdb({ QStringLiteral("disconnect"), serial }, false);
}

QTEST_GUILESS_MAIN(TestAdbCommands)
#include "TestAdbCommands.moc"
