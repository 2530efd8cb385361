// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The embedded English translation: keys of several contexts translate to their English texts.
#include "support/TestHome.h"

#include <QCoreApplication>
#include <QTest>
#include <QTranslator>

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void translatesKey_data();
    void translatesKey();
    void keyOutsideItsContextIsNotTranslated();

private:
    QTranslator translator;
};

void TestTranslation::initTestCase()
{
    useTemporaryHome();
    QVERIFY(translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&translator);
}

void TestTranslation::translatesKey_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("english");

    QTest::newRow("usb thread") << "AndroidConnectWithUSBThread"
                                << "IDS_CHECKING_APK_INSTALL"
                                << "Checking and installing Quillbarrow SMS Agent now...";
    QTest::newRow("usb thread info") << "AndroidConnectWithUSBThread"
                                     << "IDS_GET_ANDROID_DEVICE_INFO"
                                     << "Getting Android info...";
    QTest::newRow("wifi thread info") << "AndroidConnectWithWiFiThread"
                                      << "IDS_GET_ANDROID_DEVICE_INFO"
                                      << "Getting Android info...";
    QTest::newRow("wifi form") << "AndroidWIFIForm"
                               << "IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"
                               << "Input Error. Please input the correct WiFi connection info.";
    QTest::newRow("wifi form widget") << "AndroidWIFIForm"
                                      << "Connect Android via WiFi"
                                      << "Connect Android via WiFi";
    QTest::newRow("backup") << "BackupSMSThread"
                            << "IDS_SUC_BACKUP_%1_SMS_%2_NEW_%3_KNOWN"
                            << "Successfully Backup %1 SMS to local Database: %2 new, %3 already there.";
    QTest::newRow("transfer") << "AndroidRestoreSMSThread"
                              << "IDS_SUC_RESTORE_%1_SMS_%2_STORED_%3_KNOWN"
                              << "Successfully Transferred %1 SMS: %2 stored on the phone, %3 already there.";
    QTest::newRow("country cancel") << "CountrySelForm"
                                    << "取消"
                                    << "Cancel";
    QTest::newRow("quotes") << "MainWindow"
                            << "IDS_ANDROID_%1_CANT_READ_MMC_NUMBER"
                            << "Failed to load country code from your phone. Please click \"OK\" button to select a "
                               "country code manually.";
    QTest::newRow("markup characters") << "LocalDbSelForm"
                                       << "IDS_INVALID_LOCALDB_NAME"
                                       << "Invalid Local Database name(can't contain \\ / : * ? \" < > |).";
    QTest::newRow("restore skip") << "AndroidRestoreSMSThread"
                                  << "IDS_SKIP_%1_SMS_GROUP_OR_SYS_MESSAGES"
                                  << "%1 group messages or system messages can't be transferred.";
    QTest::newRow("tree root") << "ItemModelMain"
                               << "IDS_ROOT_LOCALDB"
                               << "Local Databases";
    QTest::newRow("printer") << "SMSPrinter"
                             << "IDS_PRINT_SMS"
                             << "Print SMS";
    QTest::newRow("legacy update") << "LocalDbUpdateThread"
                                   << "IDS_UPDATING_LOCALDB_%1"
                                   << "Updating local database '%1'...";
    QTest::newRow("country") << "CountrySelForm"
                             << "IDS_CONFIRM_SEL_COUNTRY_%1"
                             << "Confirm to select %1?";
    QTest::newRow("progress") << "ProgressForm"
                              << "Cancel"
                              << "Cancel";
}

void TestTranslation::translatesKey()
{
    QFETCH(QString, context);
    QFETCH(QString, key);
    QFETCH(QString, english);

    const QByteArray contextBytes = context.toUtf8();
    const QByteArray keyBytes = key.toUtf8();
    QCOMPARE(QCoreApplication::translate(contextBytes.constData(), keyBytes.constData()), english);
}

void TestTranslation::keyOutsideItsContextIsNotTranslated()
{
    // Each class looks its keys up in its own context: a key stored elsewhere shows as the bare key.
    QCOMPARE(QCoreApplication::translate("MainWindow", "IDS_PRINT_SMS"), QStringLiteral("IDS_PRINT_SMS"));
    QVERIFY(translator.translate("MainWindow", "IDS_BACKING_UP_SMS").isEmpty());
}

QTEST_GUILESS_MAIN(TestTranslation)

#include "TestTranslation.moc"
