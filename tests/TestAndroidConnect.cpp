// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/CompanionApp.h"
#include "base/DataFolders.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/RecordingProgress.h"
#include "support/TestHome.h"
#include "support/Words.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString companionPackage = QStringLiteral("com.quillbarrow.smsagent");

QString installedPackageFile()
{
    return dataRootDir().absoluteFilePath(QStringLiteral("com.quillbarrow.smsagent.apk"));
}

struct Outcome
{
    QStringList errors;
    QStringList successes;
    QStringList statuses;
    AndroidDevice device;
    qint64 elapsedMs = 0;
};

// Runs a connection thread to its end against a recording progress receiver.
template <typename Thread> Outcome runToEnd(Thread& thread, RecordingProgress& progress)
{
    QElapsedTimer timer;
    timer.start();
    progress.runToEnd(&thread, 60000);
    Outcome outcome;
    outcome.errors = progress.errors;
    outcome.successes = progress.successes;
    for (const auto& update : std::as_const(progress.updates))
        outcome.statuses << update.status;
    outcome.device = thread.device();
    outcome.elapsedMs = timer.elapsed();
    return outcome;
}

} // namespace

class TestAndroidConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void parseInfo_data();
    void parseInfo();
    void displayNameAndId();

    void usbConnects_data();
    void usbConnects();
    void usbFailures_data();
    void usbFailures();
    void usbCancel_data();
    void usbCancel();

    void wifiConnects();
    void wifiFailures_data();
    void wifiFailures();

private:
    // With a release file the phone's package listing waits until the test has cancelled.
    Outcome connectUsb(
        const QStringList& simulatorArguments, int cancelAfterUpdates = -1, const QString& releaseFile = QString());
    Outcome connectWifi(const QStringList& simulatorArguments);

    std::unique_ptr<AdbTestServer> m_adb;
};

void TestAndroidConnect::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    m_adb = std::make_unique<AdbTestServer>();
}

void TestAndroidConnect::cleanupTestCase()
{
    m_adb.reset();
}

void TestAndroidConnect::init()
{
    QFile::remove(installedPackageFile());
}

Outcome TestAndroidConnect::connectUsb(
    const QStringList& simulatorArguments, int cancelAfterUpdates, const QString& releaseFile)
{
    PhoneSimulatorProcess phone;
    if (!phone.start(SimulatorOptions::usb().with(simulatorArguments))) {
        qWarning("simulator did not start: %s", qUtf8Printable(phone.log()));
        return {};
    }
    const QString serial = m_adb->connectDevice(phone);
    if (serial.isEmpty()) {
        qWarning("adb did not list the simulator: %s", qUtf8Printable(phone.log()));
        return {};
    }
    RecordingProgress progress;
    progress.cancelAfterUpdates = cancelAfterUpdates;
    if (cancelAfterUpdates == 0)
        progress.cancelled = true;
    AndroidConnectWithUSBThread thread(serial, &progress);
    thread.setInstallSettleMs(50);
    // The bundled package is a placeholder, which a phone without the companion is read directly
    // instead of getting (TestDirectLoad); these tests are about the companion's road.
    thread.setRoad(directphone::UsbRoad::Companion);
    QTimer release;
    connect(&release, &QTimer::timeout, &progress, [&progress, &release, releaseFile] {
        if (!progress.cancelled)
            return;
        QVERIFY(writeFile(releaseFile));
        release.stop();
    });
    if (!releaseFile.isEmpty())
        release.start(5);
    Outcome outcome = runToEnd(thread, progress);
    m_adb->disconnectDevice(serial);
    return outcome;
}

Outcome TestAndroidConnect::connectWifi(const QStringList& simulatorArguments)
{
    PhoneSimulatorProcess phone;
    if (!phone.start(SimulatorOptions::wifi().with(simulatorArguments))) {
        qWarning("simulator did not start: %s", qUtf8Printable(phone.log()));
        return {};
    }
    RecordingProgress progress;
    AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.1"), &progress);
    return runToEnd(thread, progress);
}

void TestAndroidConnect::parseInfo_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("mmc");
    QTest::addColumn<bool>("root");

    QTest::newRow("greeting") << QStringLiteral("version=12;model=X;manufacturer=Y;imei=1;mmc=460") << 12
                              << QStringLiteral("Y X") << QStringLiteral("460") << false;
    QTest::newRow("no version") << QStringLiteral("model=X;manufacturer=Y") << 0 << QStringLiteral("Y X") << QString()
                                << false;
    QTest::newRow("version not a number")
        << QStringLiteral("version=abc;manufacturer=Y") << 0 << QStringLiteral("Y") << QString() << false;
    QTest::newRow("last of a repeated key wins") << QStringLiteral("version=3;version=14;root=2;mmc=234;mmc=262") << 14
                                                 << QString() << QStringLiteral("262") << true;
    QTest::newRow("unknown keys and no final semicolon") << QStringLiteral("colour=blue;version=11;model=Pixel 7") << 11
                                                         << QStringLiteral("Pixel 7") << QString() << false;
}

void TestAndroidConnect::parseInfo()
{
    QFETCH(QString, payload);
    QFETCH(int, version);
    QFETCH(QString, displayName);
    QFETCH(QString, mmc);
    QFETCH(bool, root);

    AndroidDevice device;
    device.parseInfo(payload);
    QCOMPARE(device.version, version);
    QCOMPARE(device.displayName(), displayName);
    QCOMPARE(device.mmc, mmc);
    QCOMPARE(device.root, root);
}

void TestAndroidConnect::displayNameAndId()
{
    AndroidDevice device;
    device.serial = QStringLiteral("R58M123");
    device.uid = QStringLiteral("u-1");
    device.imei = QStringLiteral("356938035643809");
    QCOMPARE(device.deviceId(), QStringLiteral("R58M123"));
    device.wifi = true;
    QCOMPARE(device.deviceId(), QStringLiteral("u-1"));
    QCOMPARE(device.cacheDir().absolutePath(),
        dataRootDir().absoluteFilePath(QStringLiteral("android_cache/356938035643809")));
    QVERIFY(device.cacheDir().exists());
}

void TestAndroidConnect::usbConnects_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("installs");

    QTest::newRow("companion present") << QStringList { QStringLiteral("--packages"),
        QStringLiteral("com.android.phone,") + companionPackage }
                                       << false;
    QTest::newRow("companion missing") << words("--packages com.android.phone,com.android.mms") << true;
    QTest::newRow("package list empty") << words("--no-packages") << false;
}

void TestAndroidConnect::usbConnects()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, installs);

    const Outcome outcome = connectUsb(arguments
        + words("--companion-version 12 --model SM-G991B --manufacturer samsung --imei 356938035643809 --uid a1b2c3 "
                "--sdk 13 --sdk-id 33 --root 1 --storage1 /storage/emulated/0 --mmc 234"));
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QCOMPARE(outcome.statuses.value(0), QStringLiteral("Checking and installing Quillbarrow SMS Agent now..."));
    QCOMPARE(outcome.statuses.value(1), QStringLiteral("Getting Android info..."));
    QCOMPARE(QFile::exists(installedPackageFile()), installs);

    const AndroidDevice& device = outcome.device;
    QVERIFY(!device.wifi);
    QVERIFY(device.serial.startsWith(QLatin1String("127.0.0.1:")));
    QCOMPARE(device.version, 12);
    QCOMPARE(device.model, QStringLiteral("SM-G991B"));
    QCOMPARE(device.manufacturer, QStringLiteral("samsung"));
    QCOMPARE(device.imei, QStringLiteral("356938035643809"));
    QCOMPARE(device.uid, QStringLiteral("a1b2c3"));
    QCOMPARE(device.sdk, QStringLiteral("13"));
    QCOMPARE(device.sdkId, 33);
    QVERIFY(device.root);
    QCOMPARE(device.storage1, QStringLiteral("/storage/emulated/0"));
    QCOMPARE(device.mmc, QStringLiteral("234"));
    QCOMPARE(device.displayName(), QStringLiteral("samsung SM-G991B"));
}

void TestAndroidConnect::usbFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // a pattern for the whole text
    QTest::addColumn<bool>("retried"); // until the 10 s limit, then given up within one more attempt

    QTest::newRow("install fails") << words("--packages com.android.phone --install-fail INSTALL_FAILED_NO_SPACE")
                                   << QStringLiteral("^Please go to Google Play on your Android Phone to download and "
                                                     "install Quillbarrow SMS Agent first and then try again\\. "
                                                     "<br/><br/>Error:.*Failure \\[INSTALL_FAILED_NO_SPACE\\].*")
                                   << false;
    QTest::newRow("companion too old")
        << QStringList { QStringLiteral("--packages"), companionPackage, QStringLiteral("--companion-version"),
               QStringLiteral("9") }
        << QRegularExpression::escape(QStringLiteral(
               "Quillbarrow SMS Agent on Android is too old. 3.1.10 needed. Please update it from Google Play."))
        << false;
    QTest::newRow("never ready") << QStringList { QStringLiteral("--packages"), companionPackage,
        QStringLiteral("--no-ready") }
                                 << QStringLiteral("^Please try the following:<br/><br/>1 Go to Google Play.*"
                                                   "QuillbarrowDeviceManager\\.exe\"><b>HERE</b></a>.*"
                                                   "start device2://127\\.0\\.0\\.1:\\d+ failed\\.$")
                                 << true;
    // An error from the phone is not retried.
    QTest::newRow("error while waiting for ready")
        << QStringList { QStringLiteral("--packages"), companionPackage, QStringLiteral("--error-at"),
               QStringLiteral("ready"), QStringLiteral("--error-text"), QStringLiteral("Storage is locked") }
        << QStringLiteral(".*<br/><br/>Storage is locked$") << false;
}

void TestAndroidConnect::usbFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(bool, retried);

    const Outcome outcome = connectUsb(arguments);
    QCOMPARE(outcome.successes, QStringList());
    QCOMPARE(outcome.errors.size(), 1);
    const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(error), QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(outcome.errors.first()).hasMatch(), qUtf8Printable(outcome.errors.first()));
    QVERIFY2(retried ? outcome.elapsedMs >= 10000 && outcome.elapsedMs < 25000 : outcome.elapsedMs < 10000,
        qPrintable(QString::number(outcome.elapsedMs)));
}

void TestAndroidConnect::usbCancel_data()
{
    QTest::addColumn<QStringList>("packages");
    QTest::addColumn<int>("cancelAfterUpdates");

    QTest::newRow("before install") << words("--packages com.android.phone") << 1;
    QTest::newRow("before greeting") << QStringList { QStringLiteral("--packages"), companionPackage } << 1;
    QTest::newRow("before start") << QStringList { QStringLiteral("--packages"), companionPackage } << 0;
}

void TestAndroidConnect::usbCancel()
{
    QFETCH(QStringList, packages);
    QFETCH(int, cancelAfterUpdates);

    // The first progress post comes before the package list is read, and the phone lists its
    // packages only once the cancel is set, so the thread meets the cancel at its next check:
    // before installing, or before the greeting.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString releaseFile = folder.filePath(QStringLiteral("release"));
    const Outcome outcome = connectUsb(packages
            + QStringList { QStringLiteral("--hold-at"), QStringLiteral("packages"), QStringLiteral("--hold-file"),
                releaseFile },
        cancelAfterUpdates, releaseFile);
    QVERIFY(QFile::exists(releaseFile));
    QCOMPARE(outcome.errors, QStringList());
    QCOMPARE(outcome.successes, QStringList());
    QVERIFY(!QFile::exists(installedPackageFile()));
    QVERIFY(!outcome.statuses.contains(QStringLiteral("Getting Android info...")));
}

void TestAndroidConnect::wifiConnects()
{
    const Outcome outcome = connectWifi(words("--companion-version 12 --uid wifi-uid-7 --mmc 262"));
    QVERIFY2(outcome.errors.isEmpty(), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
    QCOMPARE(outcome.successes, QStringList { QString() });
    QCOMPARE(outcome.statuses, QStringList { QStringLiteral("Getting Android info...") });
    QVERIFY(outcome.device.wifi);
    QCOMPARE(outcome.device.host, QStringLiteral("127.0.0.1"));
    QCOMPARE(outcome.device.port, 44441);
    QCOMPARE(outcome.device.version, 12);
    QCOMPARE(outcome.device.deviceId(), QStringLiteral("wifi-uid-7"));
    QCOMPARE(outcome.device.mmc, QStringLiteral("262"));
}

void TestAndroidConnect::wifiFailures_data()
{
    QTest::addColumn<QString>("phone"); // "refuses" (with the reason), "no channel" or "none"
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("error"); // a pattern for the whole text

    const QString refused = QStringLiteral("start device2://127\\.0\\.0\\.1:\\d+ failed\\.");
    QTest::newRow("refused with a reason")
        << "refuses"
        << "Übertragung läuft bereits" << refused + QStringLiteral("Übertragung läuft bereits");
    QTest::newRow("refused without a reason") << "refuses" << QString() << refused;
    // A service that accepts every channel but never listens on the channel's port.
    QTest::newRow("channel port unreachable")
        << "no channel" << QString() << QStringLiteral("connec device2://127\\.0\\.0\\.1:\\d+ failed\\.");
    QTest::newRow("service unreachable") << "none" << QString()
                                         << QStringLiteral("can not connect 127\\.0\\.0\\.1:44441\\.");
}

void TestAndroidConnect::wifiFailures()
{
    QFETCH(QString, phone);
    QFETCH(QString, reason);
    QFETCH(QString, error);

    Outcome outcome;
    if (phone == QLatin1String("refuses")) {
        outcome = connectWifi({ QStringLiteral("--refuse"), reason });
    } else {
        QTcpServer service;
        if (phone == QLatin1String("no channel")) {
            QVERIFY(service.listen(QHostAddress::LocalHost, AndroidDevice::wifiServicePort));
            connect(&service, &QTcpServer::newConnection, this, [&service] {
                QTcpSocket* client = service.nextPendingConnection();
                connect(client, &QTcpSocket::readyRead, client, [client] {
                    if (client->canReadLine()) {
                        client->readLine();
                        client->write("1\n");
                    }
                });
            });
        }
        RecordingProgress progress;
        AndroidConnectWithWiFiThread thread(QStringLiteral("127.0.0.1"), &progress);
        outcome = runToEnd(thread, progress);
    }
    QCOMPARE(outcome.successes, QStringList());
    QCOMPARE(outcome.errors.size(), 1);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(error));
    QVERIFY2(pattern.match(outcome.errors.first()).hasMatch(), qUtf8Printable(outcome.errors.first()));
}

QTEST_GUILESS_MAIN(TestAndroidConnect)
#include "TestAndroidConnect.moc"
