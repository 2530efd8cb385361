// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The progress dialog against real worker threads, run the way every command runs it: start the
// worker, exec() the dialog, wait for the worker. Message boxes are scripted so nothing blocks.
#include "support/TestHome.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/StyleSheet.h"

#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>
#include <stdexcept>

namespace {

// A worker that runs a script against its receiver, with the reporting rules of every worker:
// a cancel unwinds silently, any std::exception becomes an error report.
class ScriptedWorker : public QThread
{
public:
    using Script = std::function<void(ProgressReceiver*)>;

    ScriptedWorker(ProgressReceiver* receiver, Script script)
        : receiver(receiver)
        , script(std::move(script))
    {
    }

    std::atomic<bool> unwoundByCancel { false };

protected:
    void run() override
    {
        try {
            script(receiver);
        } catch (const TaskCancelled&) {
            unwoundByCancel = true;
        } catch (const std::exception& error) {
            postError(receiver, exceptionText(error));
        }
    }

private:
    ProgressReceiver* receiver;
    Script script;
};

void countedUnits(ProgressReceiver* receiver, int total)
{
    postUpdateProgress(receiver, QStringLiteral("Backing up SMS to Local Database..."), 0, QString());
    for (int i = 1; i <= total; ++i) {
        throwIfCancelled(receiver);
        postUpdateProgress(receiver, QString(), percentOf(i, total), QStringLiteral("SMS: %1/%2").arg(i).arg(total));
    }
}

struct Outcome
{
    int result;
    bool cancelled;
    bool workerEnded;
};

// The caller's side of the protocol; `during` runs inside the modal loop.
Outcome runUnderDialog(ProgressForm& dialog, ScriptedWorker& worker, const std::function<void()>& during = {})
{
    if (during)
        QTimer::singleShot(50, &dialog, during);
    worker.start(QThread::InheritPriority);
    const int result = dialog.exec();
    const bool cancelled = dialog.cancelled;
    const bool ended = worker.wait(10000);
    // Deliver whatever the worker posted after the dialog closed.
    QCoreApplication::processEvents();
    return { result, cancelled, ended };
}

template <typename T> T* child(QObject& parent, const char* name)
{
    return parent.findChild<T*>(QLatin1String(name));
}

} // namespace

class TestProgressForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void dialogShape();
    void updateProgress_data();
    void updateProgress();
    void workerOutcome_data();
    void workerOutcome();
    void cancelStopsWorker_data();
    void cancelStopsWorker();
    void tipsWaitRoundTrip();
    void cancelOvertakingTipDoesNotHang();
    void keysAndCloseRequestLeaveDialogOpen();
    void disabledCancelButton();
};

void TestProgressForm::initTestCase()
{
    useTemporaryHome();
    setMessageBoxesScripted(true);
}

void TestProgressForm::init()
{
    takeShownMessageBoxes();
}

void TestProgressForm::dialogShape()
{
    ProgressForm dialog(QStringLiteral("Loading SMS..."));
    QCOMPARE(dialog.objectName(), QStringLiteral("ProgressForm"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Loading SMS..."));
    QCOMPARE(int(dialog.windowFlags()), 0x803);
    QVERIFY(!dialog.styleSheet().isEmpty());
    QCOMPARE(dialog.styleSheet(), appStyleSheet());
    QCOMPARE(dialog.reportTarget(), &dialog);
    QVERIFY(!dialog.cancelled);
    QVERIFY(!dialog.waitingForTips);

    QCOMPARE(child<QLabel>(dialog, "lbStatus")->text(), QStringLiteral("Loading SMS..."));
    QVERIFY(child<QLabel>(dialog, "lbProgress")->text().isEmpty());
    QCOMPARE(child<QLabel>(dialog, "lbProgress")->alignment(), Qt::AlignCenter);
    QCOMPARE(child<QPushButton>(dialog, "btnCancel")->text(), QStringLiteral("Cancel"));
    auto* bar = child<QProgressBar>(dialog, "progressBar");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);

    // Workers and callers address these by name, in this order.
    const QStringList expected {
        QStringLiteral("userCacel()"),
        QStringLiteral("updateProgress(QString,int,QString)"),
        QStringLiteral("errorOccurred(QString)"),
        QStringLiteral("succeed(QString)"),
        QStringLiteral("onFinish(int)"),
        QStringLiteral("tipsWait(QString)"),
        QStringLiteral("cancel()"),
    };
    const QMetaObject* meta = dialog.metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(QString::fromLatin1(meta->method(meta->methodOffset() + i).methodSignature()), expected.at(i));
    QCOMPARE(meta->method(meta->methodOffset()).methodType(), QMetaMethod::Signal);
}

void TestProgressForm::updateProgress_data()
{
    // Each row starts from status "Before", bar at 40.
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<int>("expectedValue");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("all given") << "Deleting SMS..." << 75 << "SMS: 3/4"
                               << "Deleting SMS..." << 75 << "SMS: 3/4";
    QTest::newRow("empty keeps all") << "" << -1 << ""
                                     << "Before" << 40 << "Progress:40%";
    QTest::newRow("reset to zero") << "Loading SMS..." << 0 << ""
                                   << "Loading SMS..." << 0 << "Progress:0%";
    QTest::newRow("keep bar, own text") << "" << -1 << "SMS: 1/9"
                                        << "Before" << 40 << "SMS: 1/9";
    QTest::newRow("full") << "" << 100 << ""
                          << "Before" << 100 << "Progress:100%";
    // A phone that announced fewer messages than it sends: the bar stays full, not at the old value.
    QTest::newRow("beyond full") << "" << 300000000 << ""
                                 << "Before" << 100 << "Progress:100%";
}

void TestProgressForm::updateProgress()
{
    QFETCH(QString, status);
    QFETCH(int, progress);
    QFETCH(QString, text);
    QFETCH(QString, expectedStatus);
    QFETCH(int, expectedValue);
    QFETCH(QString, expectedText);

    ProgressForm dialog(QString {});
    dialog.updateProgress(QStringLiteral("Before"), 40, QString());
    dialog.updateProgress(status, progress, text);
    QCOMPARE(child<QLabel>(dialog, "lbStatus")->text(), expectedStatus);
    QCOMPARE(child<QProgressBar>(dialog, "progressBar")->value(), expectedValue);
    QCOMPARE(child<QLabel>(dialog, "lbProgress")->text(), expectedText);
}

void TestProgressForm::workerOutcome_data()
{
    QTest::addColumn<QString>("successText");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<bool>("expectedCancelled");
    QTest::addColumn<int>("expectedIcon");
    QTest::addColumn<QString>("expectedBox");

    QTest::newRow("success with text") << "Successfully Backup 5 SMS to local Database."
                                       << "" << 1 << false << int(QMessageBox::Information)
                                       << "Successfully Backup 5 SMS to local Database.";
    QTest::newRow("success without text") << ""
                                          << "" << 1 << false << -1 << "";
    // An error closes with result 0, which also marks the dialog cancelled: the caller never refreshes.
    QTest::newRow("error") << ""
                           << "disk <b>full</b>" << 0 << true << int(QMessageBox::Critical)
                           << errorBoxText(QStringLiteral("disk <b>full</b>"));
}

void TestProgressForm::workerOutcome()
{
    QFETCH(QString, successText);
    QFETCH(QString, errorText);
    QFETCH(int, expectedResult);
    QFETCH(bool, expectedCancelled);
    QFETCH(int, expectedIcon);
    QFETCH(QString, expectedBox);

    ProgressForm dialog(QString {});
    ScriptedWorker worker(&dialog, [&](ProgressReceiver* receiver) {
        countedUnits(receiver, 5);
        if (!errorText.isEmpty())
            throw std::runtime_error(errorText.toStdString());
        postSucceed(receiver, successText);
    });

    const Outcome outcome = runUnderDialog(dialog, worker);
    QCOMPARE(outcome.result, expectedResult);
    QCOMPARE(outcome.cancelled, expectedCancelled);
    QVERIFY(outcome.workerEnded);
    QCOMPARE(child<QLabel>(dialog, "lbStatus")->text(), QStringLiteral("Backing up SMS to Local Database..."));
    QCOMPARE(child<QProgressBar>(dialog, "progressBar")->value(), 100);
    QCOMPARE(child<QLabel>(dialog, "lbProgress")->text(), QStringLiteral("SMS: 5/5"));

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    if (expectedIcon < 0) {
        QVERIFY(boxes.isEmpty());
    } else {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(int(boxes.at(0).icon), expectedIcon);
        QCOMPARE(boxes.at(0).text, expectedBox);
    }
}

void TestProgressForm::cancelStopsWorker_data()
{
    QTest::addColumn<bool>("throwsAfterCancel");

    QTest::newRow("worker unwinds silently") << false;
    QTest::newRow("worker fails after cancel") << true;
}

void TestProgressForm::cancelStopsWorker()
{
    QFETCH(bool, throwsAfterCancel);

    ProgressForm dialog(QString {});
    QSignalSpy userCancel(&dialog, &ProgressForm::userCacel);
    std::atomic<int> unitsDone { 0 };
    ScriptedWorker worker(&dialog, [&](ProgressReceiver* receiver) {
        for (int i = 0; i < 100000; ++i) {
            if (throwsAfterCancel && receiver->cancelled)
                throw std::runtime_error("socket closed");
            throwIfCancelled(receiver);
            QThread::msleep(5);
            ++unitsDone;
            postUpdateProgress(receiver, QString(), -1, QString());
        }
        postSucceed(receiver, QStringLiteral("finished all units"));
    });

    const Outcome outcome = runUnderDialog(
        dialog, worker, [&] { QTest::mouseClick(child<QPushButton>(dialog, "btnCancel"), Qt::LeftButton); });
    QCOMPARE(outcome.result, 0);
    QVERIFY(outcome.cancelled);
    QVERIFY(outcome.workerEnded);
    QCOMPARE(worker.unwoundByCancel.load(), !throwsAfterCancel);
    QVERIFY(unitsDone < 100000);
    QCOMPARE(userCancel.count(), 1);
    // The error posted after the cancel finds the dialog closed: no box.
    QVERIFY(takeShownMessageBoxes().isEmpty());
}

void TestProgressForm::tipsWaitRoundTrip()
{
    ProgressForm dialog(QString {});
    std::atomic<bool> flagSetWhilePosting { false };
    ScriptedWorker worker(&dialog, [&](ProgressReceiver* receiver) {
        postTipsWait(receiver, QStringLiteral("Please unlock your phone."));
        flagSetWhilePosting = receiver->waitingForTips.load();
        waitForTipsClosed(receiver);
        postSucceed(receiver, QString());
    });

    setNextMessageBoxAnswer(QMessageBox::Ok);
    const Outcome outcome = runUnderDialog(dialog, worker);
    QCOMPARE(outcome.result, 1);
    QVERIFY(!outcome.cancelled);
    QVERIFY(outcome.workerEnded);
    QVERIFY(!dialog.waitingForTips);

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Information);
    QCOMPARE(boxes.at(0).text, QStringLiteral("Please unlock your phone."));
}

void TestProgressForm::cancelOvertakingTipDoesNotHang()
{
    // The worker posts a tip just as the user cancels: the tip arrives after the dialog closed,
    // while the caller already blocks waiting for the worker.
    ProgressForm dialog(QString {});
    ScriptedWorker worker(&dialog, [](ProgressReceiver* receiver) {
        while (!receiver->cancelled)
            QThread::msleep(5);
        postTipsWait(receiver, QStringLiteral("Please unlock your phone."));
        waitForTipsClosed(receiver);
        throwIfCancelled(receiver);
    });

    const Outcome outcome = runUnderDialog(dialog, worker, [&] { dialog.cancel(); });
    QCOMPARE(outcome.result, 0);
    QVERIFY(outcome.workerEnded);
    QVERIFY(worker.unwoundByCancel);
    QVERIFY(takeShownMessageBoxes().isEmpty());
    QVERIFY(!dialog.waitingForTips);
}

void TestProgressForm::keysAndCloseRequestLeaveDialogOpen()
{
    ProgressForm dialog(QStringLiteral("Exporting SMS..."));
    ScriptedWorker worker(&dialog, [](ProgressReceiver*) {});
    QStringList stillOpenAfter;
    const Outcome outcome = runUnderDialog(dialog, worker, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        if (dialog.isVisible())
            stillOpenAfter << QStringLiteral("escape");
        QTest::keyClick(&dialog, Qt::Key_Return);
        if (dialog.isVisible())
            stillOpenAfter << QStringLiteral("return");
        QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier);
        if (dialog.isVisible())
            stillOpenAfter << QStringLiteral("enter");
        dialog.close();
        if (dialog.isVisible())
            stillOpenAfter << QStringLiteral("close");
        dialog.accept();
        dialog.reject();
        if (dialog.isVisible())
            stillOpenAfter << QStringLiteral("accept/reject");
        dialog.succeed(QString());
    });
    QCOMPARE(stillOpenAfter,
        QStringList({ QStringLiteral("escape"), QStringLiteral("return"), QStringLiteral("enter"),
            QStringLiteral("close"), QStringLiteral("accept/reject") }));
    QCOMPARE(outcome.result, 1);
    QVERIFY(!outcome.cancelled);
}

void TestProgressForm::disabledCancelButton()
{
    ProgressForm dialog(QString {});
    QSignalSpy userCancel(&dialog, &ProgressForm::userCacel);
    dialog.setCancelEnabled(false);
    auto* button = child<QPushButton>(dialog, "btnCancel");
    QVERIFY(!button->isEnabled());

    dialog.show();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(userCancel.count(), 0);

    dialog.setCancelEnabled(true);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(userCancel.count(), 1);
    QVERIFY(dialog.cancelled);
}

QTEST_MAIN(TestProgressForm)

#include "TestProgressForm.moc"
