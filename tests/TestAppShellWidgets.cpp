// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Message boxes, window dragging, the style sheet with its images, and the main window's frame.
#include "support/TestHome.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/StyleSheet.h"
#include "ui/WinMovable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

void sendMouse(QWidget* window, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), window->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

// Distinct colours in a sample grid: a blank image has one.
int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7)
            colours.insert(image.pixel(x, y));
    }
    return colours.size();
}

} // namespace

class TestAppShellWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void messageBoxShape_data();
    void messageBoxShape();
    void scriptedAnswers_data();
    void scriptedAnswers();
    void enterAnswersTheDefault_data();
    void enterAnswersTheDefault();
    void errorBoxText();
    void dragging_data();
    void dragging();
    void styleSheetImages_data();
    void styleSheetImages();
    void mainWindowFrame();
};

void TestAppShellWidgets::initTestCase()
{
    useTemporaryHome();
}

void TestAppShellWidgets::init()
{
    setMessageBoxesScripted(true);
    takeShownMessageBoxes();
}

void TestAppShellWidgets::messageBoxShape_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QList<int>>("expectedButtons");

    QTest::newRow("ok") << int(QMessageBox::Ok) << QList<int> { QMessageBox::Ok };
    QTest::newRow("yes no") << int(QMessageBox::No | QMessageBox::Yes)
                            << QList<int> { QMessageBox::Yes, QMessageBox::No };
    QTest::newRow("all four") << int(QMessageBox::Cancel | QMessageBox::Ok | QMessageBox::No | QMessageBox::Yes)
                              << QList<int> { QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel };
    QTest::newRow("others ignored") << int(QMessageBox::Save | QMessageBox::Ok | QMessageBox::Close)
                                    << QList<int> { QMessageBox::Ok };
}

void TestAppShellWidgets::messageBoxShape()
{
    QFETCH(int, buttons);
    QFETCH(QList<int>, expectedButtons);

    const auto box
        = createMessageBox(QMessageBox::Warning, QStringLiteral("Careful"), QMessageBox::StandardButtons(buttons));
    QCOMPARE(box->windowTitle(), QStringLiteral("Quillbarrow SMS Desk"));
    QCOMPARE(box->text(), QStringLiteral("Careful"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QCOMPARE(int(box->windowFlags()), 0x803);
    QCOMPARE(box->styleSheet(), appStyleSheet());
    QVERIFY(box->parent() == nullptr);
    QVERIFY(box->findChild<WinMovable*>());

    // Only the four supported buttons are ever added; the box itself lays them out by platform rules.
    QList<int> present;
    const QList<QAbstractButton*> added = box->buttons();
    for (QAbstractButton* button : added)
        present << int(box->standardButton(button));
    std::sort(present.begin(), present.end());
    std::sort(expectedButtons.begin(), expectedButtons.end());
    QCOMPARE(present, expectedButtons);
}

void TestAppShellWidgets::scriptedAnswers_data()
{
    QTest::addColumn<QList<int>>("queued");
    QTest::addColumn<bool>("expectedYes");

    QTest::newRow("yes") << QList<int> { QMessageBox::Yes } << true;
    QTest::newRow("no") << QList<int> { QMessageBox::No } << false;
    QTest::newRow("nothing queued answers no") << QList<int> {} << false;
}

void TestAppShellWidgets::scriptedAnswers()
{
    QFETCH(QList<int>, queued);
    QFETCH(bool, expectedYes);

    for (int answer : queued)
        setNextMessageBoxAnswer(QMessageBox::StandardButton(answer));
    QCOMPARE(askYesNo(QStringLiteral("Confirm to delete this Database?")), expectedYes);
    showInfoBox(QStringLiteral("Successfully cleared cache files."));
    showWarningBox(QStringLiteral("Need to select a Device to continue."));

    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 3);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Question);
    QCOMPARE(boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes.at(0).text, QStringLiteral("Confirm to delete this Database?"));
    QCOMPARE(boxes.at(1).icon, QMessageBox::Information);
    QCOMPARE(boxes.at(1).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(boxes.at(2).icon, QMessageBox::Warning);
    QVERIFY(takeShownMessageBoxes().isEmpty());
}

void TestAppShellWidgets::enterAnswersTheDefault_data()
{
    QTest::addColumn<bool>("deletes");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("expectedYes");

    QTest::newRow("question, Enter") << false << int(Qt::Key_Return) << true;
    QTest::newRow("deletion, Enter") << true << int(Qt::Key_Return) << false;
    QTest::newRow("deletion, keypad Enter") << true << int(Qt::Key_Enter) << false;
    QTest::newRow("deletion, Escape") << true << int(Qt::Key_Escape) << false;
}

// The real box, answered from the keyboard: a question whose Yes deletes must not take Enter for Yes.
void TestAppShellWidgets::enterAnswersTheDefault()
{
    QFETCH(bool, deletes);
    QFETCH(int, key);
    QFETCH(bool, expectedYes);

    setMessageBoxesScripted(false);
    bool answered = false;
    QTimer press;
    connect(&press, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        press.stop();
        answered = true;
        QTest::keyClick(box, Qt::Key(key));
    });
    press.start(20);
    const QString text = QStringLiteral("Confirm to delete this Database?");
    const bool yes = deletes ? askYesNoDefaultNo(text) : askYesNo(text);
    QVERIFY(answered);
    QCOMPARE(yes, expectedYes);
}

void TestAppShellWidgets::errorBoxText()
{
    showErrorBox(QStringLiteral("can not connect 192.168.0.7:44441. <i>%1</i>"));
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
    // The error text, markup and place markers included, goes in unchanged.
    QCOMPARE(
        boxes.at(0).text, QStringLiteral("An Error Occurred. <br/><br/>can not connect 192.168.0.7:44441. <i>%1</i>"));
}

void TestAppShellWidgets::dragging_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("releaseFirst");
    QTest::addColumn<QPoint>("moveTo");
    QTest::addColumn<QPoint>("expectedShift");

    QTest::newRow("left drag") << QPoint(10, 10) << int(Qt::LeftButton) << false << QPoint(30, 25) << QPoint(20, 15);
    QTest::newRow("drag back") << QPoint(50, 40) << int(Qt::LeftButton) << false << QPoint(45, 30) << QPoint(-5, -10);
    QTest::newRow("press at top-left pixel")
        << QPoint(0, 0) << int(Qt::LeftButton) << false << QPoint(30, 25) << QPoint(0, 0);
    QTest::newRow("right button") << QPoint(10, 10) << int(Qt::RightButton) << false << QPoint(30, 25) << QPoint(0, 0);
    QTest::newRow("after release") << QPoint(10, 10) << int(Qt::LeftButton) << true << QPoint(30, 25) << QPoint(0, 0);
}

void TestAppShellWidgets::dragging()
{
    QFETCH(QPoint, press);
    QFETCH(int, button);
    QFETCH(bool, releaseFirst);
    QFETCH(QPoint, moveTo);
    QFETCH(QPoint, expectedShift);

    QWidget window(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    window.resize(200, 100);
    new WinMovable(&window);
    window.move(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    sendMouse(&window, QEvent::MouseButtonPress, press, Qt::MouseButton(button));
    if (releaseFirst)
        sendMouse(&window, QEvent::MouseButtonRelease, press, Qt::MouseButton(button));
    sendMouse(&window, QEvent::MouseMove, moveTo, Qt::MouseButton(button));
    QCOMPARE(window.pos() - start, expectedShift);
}

void TestAppShellWidgets::styleSheetImages_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QSize>("minimumSize");

    QTest::newRow("dialogs") << QStringLiteral("#ProgressForm") << QSize(404, 226);
    QTest::newRow("main window") << QStringLiteral("#MainWindow") << QSize(1000, 680);
}

void TestAppShellWidgets::styleSheetImages()
{
    QFETCH(QString, selector);
    QFETCH(QSize, minimumSize);

    // The rule naming the selector points at an image that exists, covers the window and is not blank.
    const QString css = appStyleSheet();
    const QRegularExpression rule(
        QRegularExpression::escape(selector) + QStringLiteral("[^{]*\\{[^}]*background-image:\\s*url\\(([^)]+)\\)"));
    const QRegularExpressionMatch match = rule.match(css);
    QVERIFY2(match.hasMatch(), qPrintable(selector));
    const QImage image(match.captured(1));
    QVERIFY2(!image.isNull(), qPrintable(match.captured(1)));
    QVERIFY(image.width() >= minimumSize.width() && image.height() >= minimumSize.height());
    QVERIFY(distinctColours(image) > 10);
}

void TestAppShellWidgets::mainWindowFrame()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillbarrow SMS Desk"));
    // 1000 x 680 where the screen has room for it with a frame, as the offscreen one has in height.
    const QRect available = window.screen()->availableGeometry();
    QCOMPARE(window.size(), QSize(std::min(1000, available.width() - 16), 680));
    // Nothing inside the window holds it wider than that on a screen narrower than 1000 pixels.
    QVERIFY(available.width() < 1000);
    QVERIFY(window.minimumSizeHint().width() <= window.width());
    QCOMPARE(window.styleSheet(), appStyleSheet());

    // The style sheet paints the main background image: the foot of the window is not plain white.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.grab().toImage();
    QVERIFY(shot.pixelColor(500, 670) != QColor(Qt::white));
    QCOMPARE(shot.pixelColor(500, 300), QColor(Qt::white));
}

QTEST_MAIN(TestAppShellWidgets)

#include "TestAppShellWidgets.moc"
