// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What a screenshot tool sees of the progress dialog in front of the main window, on a real X
// server (Xvfb): xwd reads the screen as a person's bug report or a reviewer's capture does.
#include "ui/ProgressForm.h"
#include "ui/ScreenColormap.h"

#include <QApplication>
#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <QtEndian>

namespace {

// The pixel at (x, y) of an xwd dump of a 24-bit TrueColor screen, as 0xRRGGBB; -1 when the dump
// has another shape.
qint64 xwdPixel(const QByteArray& dump, int x, int y)
{
    auto field = [&dump](int index) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(dump.constData()) + 4 * index);
    };
    if (dump.size() < 100)
        return -1;
    const quint32 headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7),
                  bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
    // xwd says 24 bits a pixel for some dumps whose lines still hold 4 bytes a pixel.
    const quint32 bytesPerPixel = width ? bytesPerLine / width : 0;
    if (bitsPerPixel < 24 || (bytesPerPixel != 3 && bytesPerPixel != 4) || quint32(x) >= width || quint32(y) >= height)
        return -1;
    const qint64 offset = qint64(headerSize) + 12 * qint64(colours) + qint64(y) * bytesPerLine + bytesPerPixel * x;
    if (offset + bytesPerPixel > dump.size())
        return -1;
    const auto* at = reinterpret_cast<const uchar*>(dump.constData()) + offset;
    quint32 pixel = 0;
    for (quint32 i = 0; i < bytesPerPixel; ++i)
        pixel |= quint32(at[byteOrder == 0 ? i : bytesPerPixel - 1 - i]) << (8 * i);
    return pixel & 0xFFFFFF;
}

} // namespace

class TestScreenCapture : public QObject
{
    Q_OBJECT

private slots:
    void progressDialogCapturedAsPainted();
};

void TestScreenCapture::progressDialogCapturedAsPainted()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");

    QMainWindow window;
    window.setStyleSheet(QStringLiteral("background: white"));
    window.setGeometry(0, 0, 800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ProgressForm progress(QStringLiteral("Loading SMS..."), &window);
    progress.open();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    // Let the dialog paint and the server draw it.
    QTest::qWait(300);

    QProcess xwd;
    xwd.start(QStringLiteral("xwd"), { QStringLiteral("-root"), QStringLiteral("-silent") });
    QVERIFY2(xwd.waitForFinished(30000) && xwd.exitCode() == 0, xwd.readAllStandardError().constData());
    const QByteArray dump = xwd.readAllStandardOutput();

    // Points on the dialog's own ground, away from its label, bar and button.
    const QRect dialog = progress.frameGeometry();
    int black = 0;
    const QList<QPoint> points { { 5, 5 }, { dialog.width() - 6, 5 }, { 5, dialog.height() - 6 },
        { dialog.width() - 6, dialog.height() - 6 }, { dialog.width() / 2, 12 } };
    for (const QPoint& point : points) {
        const qint64 pixel = xwdPixel(dump, dialog.x() + point.x(), dialog.y() + point.y());
        QVERIFY2(pixel >= 0, "xwd wrote a dump of another shape");
        if (pixel == 0)
            ++black;
    }
    QCOMPARE(black, 0);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    useScreenColormapOnX11(app);
    TestScreenCapture test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestScreenCapture.moc"
