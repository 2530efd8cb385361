// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How the windows look: the light and dark style sheets chosen by the desktop's palette and what they
// paint on the real main window, a message list and a transcript readable in both, readable disabled menu entries, the
// pictures for dense screens, the first size of a window on a small screen, and the filter of Qt's repeated font
// warnings.
#include "base/FontWarningFilter.h"
#include "support/MessageRecords.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "ui/StyleSheet.h"
#include "ui/WindowSize.h"
#include "ui/models/ItemModelSms.h"
#include "ui/views/SmsBrowser.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QRegularExpression>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <cmath>

namespace {

QPalette paletteOf(const QColor& window, const QColor& text)
{
    QPalette palette = QApplication::style()->standardPalette();
    for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base, QPalette::Button })
        palette.setColor(role, window);
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(role, text);
    return palette;
}

int largestChannelStep(const QColor& a, const QColor& b)
{
    return std::max({ std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue()) });
}

double relativeLuminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The mean difference per channel between two images of one size, 0 to 255.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * left.width() * left.height());
}

// The colour that covers most of the area.
QColor commonest(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return QColor::fromRgb(best);
}

// The strongest contrast of any pixel of the area against the ground: that of its text, where it has any.
double strongestContrast(const QImage& image, const QRect& area, const QColor& ground)
{
    double strongest = 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            strongest = std::max(strongest, contrastRatio(image.pixelColor(x, y), ground));
    }
    return strongest;
}

QStringList capturedMessages;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedMessages.append(message);
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void paletteChoosesStyleSheet_data();
    void paletteChoosesStyleSheet();
    void mainWindowSurfaces_data();
    void mainWindowSurfaces();
    void messagesReadable_data();
    void messagesReadable();
    void disabledMenuEntriesReadable_data();
    void disabledMenuEntriesReadable();
    void picturesForDenseScreens_data();
    void picturesForDenseScreens();
    void firstWindowSize_data();
    void firstWindowSize();
    void fontWarningsOncePerScript_data();
    void fontWarningsOncePerScript();

private:
    QPalette m_startPalette;
};

void TestAppearance::initTestCase()
{
    useTemporaryHome();
    m_startPalette = QApplication::palette();
}

void TestAppearance::cleanup()
{
    QApplication::setPalette(m_startPalette);
}

void TestAppearance::paletteChoosesStyleSheet_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<bool>("dark");

    QTest::newRow("light desktop") << QColor(0xEF, 0xEF, 0xEF) << QColor(Qt::black) << false;
    QTest::newRow("dark desktop") << QColor(0x2D, 0x2D, 0x2D) << QColor(0xEE, 0xEE, 0xEE) << true;
    QTest::newRow("mid grey under white text") << QColor(0x80, 0x80, 0x80) << QColor(Qt::white) << true;
    QTest::newRow("mid grey under black text") << QColor(0x80, 0x80, 0x80) << QColor(Qt::black) << false;
}

void TestAppearance::paletteChoosesStyleSheet()
{
    QFETCH(QColor, window);
    QFETCH(QColor, text);
    QFETCH(bool, dark);

    QApplication::setPalette(paletteOf(window, text));
    QCOMPARE(desktopPrefersDark(), dark);
    const QString sheet = appStyleSheet();
    QCOMPARE(sheet, appStyleSheet(dark));
    QVERIFY(sheet.startsWith(appStyleSheet(false)));
    ProgressForm dialog(QStringLiteral("Working"));
    QCOMPARE(dialog.styleSheet(), sheet);

    // The rules that win (the last of each selector) paint backgrounds of the chosen lightness.
    for (const QString& selector : { QStringLiteral("#MainWindow"), QStringLiteral("#ProgressForm") }) {
        const QRegularExpression rule(QRegularExpression::escape(selector)
            + QStringLiteral("[^{]*\\{[^}]*background-image:\\s*url\\(([^)]+)\\)"));
        QRegularExpressionMatchIterator matches = rule.globalMatch(sheet);
        QString url;
        while (matches.hasNext())
            url = matches.next().captured(1);
        const QImage image(url);
        QVERIFY2(!image.isNull(), qPrintable(url));
        const QColor ground = image.pixelColor(image.width() / 2, image.height() / 2);
        QCOMPARE(ground.lightness() < 128, dark);
    }
}

void TestAppearance::mainWindowSurfaces_data()
{
    QTest::addColumn<bool>("dark");

    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void TestAppearance::mainWindowSurfaces()
{
    QFETCH(bool, dark);

    QApplication::setPalette(dark ? paletteOf(QColor(0x2D, 0x2D, 0x2D), QColor(0xEE, 0xEE, 0xEE))
                                  : paletteOf(QColor(0xEF, 0xEF, 0xEF), Qt::black));
    MainWindow window(nullptr, quietWindowOptions());
    // Wider than the background image, whose header must go on without a step where it repeats.
    window.resize(1500, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.grab().toImage();

    const int headerBottom = window.findChild<QToolBar*>()->geometry().bottom();
    for (int y = 4; y < headerBottom; y += 6) {
        QVERIFY2(largestChannelStep(shot.pixelColor(996, y), shot.pixelColor(1004, y)) <= 4,
            qPrintable(QStringLiteral("step at x=1000, y=%1").arg(y)));
    }

    // Below its last row the tree is one plain surface: nothing of the window's background shows
    // through it as pale bands that look like rows.
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("treeViewDS"));
    const QRect lastRow = tree->visualRect(tree->model()->index(tree->model()->rowCount() - 1, 0));
    const QPoint topLeft = tree->viewport()->mapTo(&window, QPoint(0, lastRow.bottom() + 4));
    const QPoint bottomRight
        = tree->viewport()->mapTo(&window, QPoint(tree->viewport()->width() - 1, tree->viewport()->height() - 1));
    QVERIFY(bottomRight.y() - topLeft.y() > 100);
    const QColor surface = shot.pixelColor(topLeft);
    for (int y = topLeft.y(); y <= bottomRight.y(); y += 5) {
        for (int x = topLeft.x(); x <= bottomRight.x(); x += 9)
            QVERIFY2(shot.pixelColor(x, y) == surface, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
    }
    QCOMPARE(surface.lightness() < 128, dark);
}

void TestAppearance::messagesReadable_data()
{
    mainWindowSurfaces_data();
}

// The message list and the transcript follow the desktop: their grounds, the rows and the message cells
// take its lightness, and every text on them stays readable.
void TestAppearance::messagesReadable()
{
    QFETCH(bool, dark);

    QApplication::setPalette(dark ? paletteOf(QColor(0x2D, 0x2D, 0x2D), QColor(0xEE, 0xEE, 0xEE))
                                  : paletteOf(QColor(0xEF, 0xEF, 0xEF), Qt::black));
    MessageRecords records;
    const QList<_MsgMessage*> messages = records.addConversation(2);
    QWidget window;
    window.setStyleSheet(appStyleSheet());
    auto* layout = new QHBoxLayout(&window);
    auto* list = new QTreeView(&window);
    list->setObjectName(QStringLiteral("treeViewSMS"));
    ItemModelSms model;
    model.setMessages(messages);
    list->setModel(&model);
    auto* transcript = new SmsBrowser(&window);
    transcript->setObjectName(QStringLiteral("txtSMS"));
    layout->addWidget(list);
    layout->addWidget(transcript);
    window.resize(1000, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    transcript->setMessages(messages);

    // One received and one sent row, each on a ground of the desktop's lightness under readable text.
    const QImage rows = list->viewport()->grab().toImage();
    for (int row = 0; row < 2; ++row) {
        const QRect cell = list->visualRect(model.index(row, ItemModelSms::ContentColumn));
        const QColor ground = commonest(rows, cell);
        QCOMPARE(ground.lightness() < 128, dark);
        const double contrast = strongestContrast(rows, cell, ground);
        QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("row %1: %2").arg(row).arg(contrast)));
    }

    // The view's ground carries the headers (time and correspondent), the message cells the texts: each
    // line of text, on whichever ground it lies, stands out from it.
    const QImage page = transcript->viewport()->grab().toImage();
    const QColor ground = commonest(page, page.rect());
    QCOMPARE(ground.lightness() < 128, dark);
    QList<double> lines;
    QColor cellGround;
    double line = 1;
    for (int y = 0; y < page.height(); ++y) {
        // A row crossing a message cell is mostly the cell's colour.
        QColor rowGround = ground;
        const QColor most = commonest(page, QRect(0, y, page.width(), 1));
        if (most != ground) {
            rowGround = most;
            cellGround = most;
        }
        const double contrast = strongestContrast(page, QRect(0, y, page.width(), 1), rowGround);
        if (contrast > 1.5) {
            line = std::max(line, contrast);
        } else if (line > 1) {
            lines.append(line);
            line = 1;
        }
    }
    // Two messages: a time, a correspondent and a text each.
    QVERIFY2(lines.size() >= 6, qPrintable(QString::number(lines.size())));
    QVERIFY(cellGround.isValid());
    QCOMPARE(cellGround.lightness() < 128, dark);
    const double weakest = *std::min_element(lines.cbegin(), lines.cend());
    // Small text is drawn with soft edges, so its strongest pixel stays a little below its colour.
    QVERIFY2(weakest >= 3.5, qPrintable(QString::number(weakest)));
}

void TestAppearance::disabledMenuEntriesReadable_data()
{
    mainWindowSurfaces_data();
}

void TestAppearance::disabledMenuEntriesReadable()
{
    QFETCH(bool, dark);

    QMenu menu;
    menu.setStyleSheet(appStyleSheet(dark));
    QAction* disabled = menu.addAction(QStringLiteral("Backup Selected Messages"));
    disabled->setEnabled(false);
    menu.addAction(QStringLiteral("Export"));
    menu.popup(QPoint(10, 10));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    const QImage shot = menu.grab().toImage();

    // The strongest contrast inside the entry is that of its text against the entry's ground.
    const QRect entry = menu.actionGeometry(disabled);
    const QColor ground = shot.pixelColor(entry.right() - 3, entry.center().y());
    double strongest = 1;
    for (int y = entry.top(); y <= entry.bottom(); ++y) {
        for (int x = entry.left(); x <= entry.right(); ++x)
            strongest = std::max(strongest, contrastRatio(shot.pixelColor(x, y), ground));
    }
    QVERIFY2(strongest >= 2.5, qPrintable(QString::number(strongest)));
    // Still set apart from the enabled entries.
    QVERIFY2(strongest < 10, qPrintable(QString::number(strongest)));
}

void TestAppearance::picturesForDenseScreens_data()
{
    QTest::addColumn<QString>("name");

    for (const char* name : { "devices", "databases", "android", "database", "group", "contact", "imsg-send",
             "imsg-rec", "icon_sms-sent", "icon_sms-receive", "search", "backup", "db2a", "export", "print", "delete",
             "open_db_folder", "exit", "help", "unmount" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestAppearance::picturesForDenseScreens()
{
    QFETCH(QString, name);

    const QImage single(QStringLiteral(":/res/%1.png").arg(name));
    QVERIFY(!single.isNull());
    for (int scale : { 2, 3 }) {
        const QString path = QStringLiteral(":/res/%1@%2x.png").arg(name).arg(scale);
        const QImage dense(path);
        QVERIFY2(!dense.isNull(), qPrintable(path));
        QCOMPARE(dense.size(), single.size() * scale);
        // Reading a file named @Nx tells Qt how dense it is, so it is drawn at the single size.
        QCOMPARE(dense.devicePixelRatio(), qreal(scale));
        // The same picture, drawn finer: brought down to the single size it matches that one.
        const QImage reduced = dense.scaled(single.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY2(meanDifference(reduced, single) < 12, qPrintable(path));
    }
}

void TestAppearance::firstWindowSize_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("large screen") << QRect(0, 0, 1600, 1100) << QSize(1000, 680);
    QTest::newRow("1366x800 at a scale of 1.5") << QRect(0, 0, 910, 533) << QSize(894, 485);
    QTest::newRow("wide but short") << QRect(0, 0, 1920, 600) << QSize(1000, 552);
    QTest::newRow("narrow but tall") << QRect(0, 0, 900, 1200) << QSize(884, 680);
    QTest::newRow("panel at the top") << QRect(0, 32, 1024, 736) << QSize(1000, 680);
    QTest::newRow("just too short") << QRect(0, 0, 1280, 727) << QSize(1000, 679);
    QTest::newRow("no screen known") << QRect() << QSize(1000, 680);
}

void TestAppearance::firstWindowSize()
{
    QFETCH(QRect, available);
    QFETCH(QSize, expected);

    QCOMPARE(::firstWindowSize(QSize(1000, 680), available), expected);
}

void TestAppearance::fontWarningsOncePerScript_data()
{
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QStringList>("passed");

    // Each row uses scripts of its own: the filter remembers the scripts it has reported for the run.
    const auto missing = [](const char* font, int script) {
        return QStringLiteral("  OpenType support missing for \"%1\", script %2").arg(QLatin1String(font)).arg(script);
    };
    QTest::newRow("every font for one script") << QStringList { missing("DejaVu Sans", 211),
        missing("Nimbus Sans", 211), missing("", 211), missing("Noto Mono", 211) }
                                               << QStringList { missing("DejaVu Sans", 211) };
    QTest::newRow("two scripts") << QStringList { missing("A", 212), missing("A", 213), missing("B", 212),
        missing("B", 213) } << QStringList { missing("A", 212), missing("A", 213) };
    const QStringList others { QStringLiteral("QFont::setPointSize: Point size <= 0 (0), must be greater than 0"),
        QStringLiteral("QFont::setPointSize: Point size <= 0 (0), must be greater than 0"),
        QStringLiteral("OpenType support missing for \"A\""), QStringLiteral("OpenType support missing for \"A\"") };
    QTest::newRow("other warnings, repeated too") << others << others;
}

void TestAppearance::fontWarningsOncePerScript()
{
    QFETCH(QStringList, warnings);
    QFETCH(QStringList, passed);

    capturedMessages.clear();
    const QtMessageHandler before = qInstallMessageHandler(&captureMessage);
    installFontWarningFilter();
    for (const QString& warning : std::as_const(warnings))
        qWarning("%s", qUtf8Printable(warning));
    qInstallMessageHandler(before);

    QCOMPARE(capturedMessages, passed);
}

QTEST_MAIN(TestAppearance)

#include "TestAppearance.moc"
