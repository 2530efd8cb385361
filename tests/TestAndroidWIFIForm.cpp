// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PhoneSimulatorProcess.h"
#include "support/TestHome.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/dialogs/AndroidWIFIForm.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class TestAndroidWIFIForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void layout();
    void inputRules_data();
    void inputRules();
    void connectsToPhone();
    void cancelReturnsAtOnce_data();
    void cancelReturnsAtOnce();
    void longPhoneErrorIsShortened();
    void cancelButtonRejects();
};

void TestAndroidWIFIForm::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

void TestAndroidWIFIForm::init()
{
    takeShownMessageBoxes();
}

void TestAndroidWIFIForm::layout()
{
    AndroidWIFIForm form;
    QCOMPARE(form.objectName(), QStringLiteral("AndroidWIFIForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("AndroidWIFIForm"));
    QCOMPARE(int(form.windowFlags()), 0x803);
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("btnConnect"))->text(), QStringLiteral("Connect"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("btnClose"))->text(), QStringLiteral("Cancel"));
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("label_2"))->text(), QStringLiteral("Connect Android via WiFi"));
    const auto* tips = form.findChild<QLabel*>(QStringLiteral("lbTipsDownloadWifiConnection"));
    QVERIFY(tips->openExternalLinks());
    // The wrapped note is shown whole, inside the dialog and below the buttons.
    QVERIFY(tips->heightForWidth(tips->width()) <= tips->height());
    QVERIFY(tips->geometry().bottom() < form.height());
    QVERIFY(tips->y() > form.findChild<QPushButton*>(QStringLiteral("btnConnect"))->geometry().bottom());
}

void TestAndroidWIFIForm::inputRules_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown"); // the text of the box the user sees

    const QString wrongInput = QStringLiteral("Input Error. Please input the correct WiFi connection info.");
    QTest::newRow("address with a port") << QStringLiteral("127.0.0.1:44441") << wrongInput;
    QTest::newRow("host name") << QStringLiteral("phone.local") << wrongInput;
    QTest::newRow("fifth group") << QStringLiteral("10.0.0.1.5") << wrongInput;
    QTest::newRow("four-digit group") << QStringLiteral("1000.0.0.1") << wrongInput;
    QTest::newRow("empty") << QString() << wrongInput;
    // Accepted by the input rule: nobody answers on the service port, so the connection fails.
    QTest::newRow("blanks around the address")
        << QStringLiteral("  127.0.0.1 \t") << QStringLiteral("can not connect 127.0.0.1:44441.");
    QTest::newRow("groups are not range-checked")
        << QStringLiteral("999.1.1.1") << QStringLiteral("can not connect 999.1.1.1:44441.");
}

void TestAndroidWIFIForm::inputRules()
{
    QFETCH(QString, input);
    QFETCH(QString, shown);

    AndroidWIFIForm form;
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(input);
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnConnect")), Qt::LeftButton);

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().text.contains(shown), qUtf8Printable(boxes.first().text));
    QCOMPARE(
        boxes.first().icon, shown.startsWith(QLatin1String("Input")) ? QMessageBox::Warning : QMessageBox::Critical);
    // The dialog stays open for another try.
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), 0);
    QVERIFY(form.device().uid.isEmpty());
}

void TestAndroidWIFIForm::connectsToPhone()
{
    PhoneSimulatorProcess phone;
    QVERIFY2(
        phone.start(
            SimulatorOptions::wifi().companionVersion(12).uid(QStringLiteral("wifi-phone")).mmc(QStringLiteral("234"))),
        qUtf8Printable(phone.log()));
    AndroidWIFIForm form;
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("127.0.0.1"));
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnConnect")), Qt::LeftButton);

    QCOMPARE(takeShownMessageBoxes().size(), 0);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(!form.isVisible());
    QVERIFY(form.device().wifi);
    QCOMPARE(form.device().host, QStringLiteral("127.0.0.1"));
    QCOMPARE(form.device().deviceId(), QStringLiteral("wifi-phone"));
    QCOMPARE(form.device().version, 12);
    QCOMPARE(form.device().mmc, QStringLiteral("234"));
}

void TestAndroidWIFIForm::cancelReturnsAtOnce_data()
{
    QTest::addColumn<QString>("step"); // where the phone hangs
    QTest::newRow("phone answers, sends $ready: and then nothing") << QStringLiteral("hello");
    QTest::newRow("phone never answers the request") << QStringLiteral("service");
}

void TestAndroidWIFIForm::cancelReturnsAtOnce()
{
    QFETCH(QString, step);
    PhoneSimulatorProcess phone;
    QVERIFY2(phone.start(SimulatorOptions::wifi().holdAt(step)), qUtf8Printable(phone.log()));
    AndroidWIFIForm form;
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("127.0.0.1"));

    // The progress dialog runs modally inside onBtnConnect: press its Cancel once the phone hangs.
    QElapsedTimer clock;
    clock.start();
    qint64 cancelledAt = -1;
    QTimer user;
    connect(&user, &QTimer::timeout, &form, [&] {
        auto* progress = form.findChild<ProgressForm*>();
        if (!progress || !progress->isVisible() || !phone.log().contains(QLatin1String("fault: holding")))
            return;
        user.stop();
        QTest::qWait(300);
        cancelledAt = clock.elapsed();
        QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    user.start(20);
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnConnect")), Qt::LeftButton);
    const qint64 returnedAt = clock.elapsed();

    QVERIFY2(cancelledAt >= 0, qUtf8Printable(phone.log()));
    QVERIFY2(returnedAt - cancelledAt <= 1500, qPrintable(QString::number(returnedAt - cancelledAt)));
    QCOMPARE(takeShownMessageBoxes().size(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), 0);
    QVERIFY(form.device().uid.isEmpty());
}

void TestAndroidWIFIForm::longPhoneErrorIsShortened()
{
    // Megabytes of a phone's text would take the box many seconds to lay out.
    const QString phoneText = QStringLiteral("Fehler ").repeated(15000);
    PhoneSimulatorProcess phone;
    QVERIFY2(
        phone.start(SimulatorOptions::wifi().errorAt(QStringLiteral("hello"), phoneText)), qUtf8Printable(phone.log()));
    AndroidWIFIForm form;
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("127.0.0.1"));
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnConnect")), Qt::LeftButton);

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    const QString& text = boxes.first().text;
    QCOMPARE(boxes.first().icon, QMessageBox::Critical);
    QVERIFY2(text.size() < 2000, qPrintable(QString::number(text.size())));
    QVERIFY(text.startsWith(QLatin1String("An Error Occurred. <br/><br/>") + phoneText.left(1024)));
    static const QRegularExpression cutMark(QStringLiteral("\\[\\.\\.\\. \\d+ more characters cut\\]$"));
    QVERIFY2(cutMark.match(text).hasMatch(), qUtf8Printable(text.right(200)));
}

void TestAndroidWIFIForm::cancelButtonRejects()
{
    AndroidWIFIForm form;
    form.show();
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestAndroidWIFIForm)
#include "TestAndroidWIFIForm.moc"
