// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Paints the background images of the program's windows and the bubbles of the HTML export:
//   qsms-bggen <output folder>   writes subwin-bg.png (dialogs) and main-bg.png (main window),
//                                subwin-bg-dark.png and main-bg-dark.png for a dark desktop
//                                palette, and export/bubble-received.png, export/bubble-sent.png.
// Only gradients and shapes are drawn, so the output is the same on every run and machine.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

struct Scheme
{
    QColor ground;
    QColor bandTop;
    QColor headerTop;
    QColor bandLine;
    QColor glow;
};

const Scheme light { QColor(0xFF, 0xFF, 0xFF), QColor(0xDD, 0xEF, 0xFA), QColor(0xD6, 0xEC, 0xF8),
    QColor(0x81, 0xC0, 0xE0), QColor(0xFD, 0xEA, 0xC3, 90) };
const Scheme dark { QColor(0x2A, 0x2D, 0x31), QColor(0x22, 0x40, 0x57), QColor(0x1D, 0x3A, 0x50),
    QColor(0x2F, 0x7F, 0xB8), QColor(0x6A, 0x58, 0x30, 70) };

// A soft band that rises from left to right across the lower part of the image.
void paintWave(QPainter& painter, const QSize& size, double baseY, double amplitude, const QColor& color)
{
    const double w = size.width();
    const double h = size.height();
    QPainterPath wave;
    wave.moveTo(0, h);
    wave.lineTo(0, baseY);
    wave.cubicTo(w * 0.30, baseY - amplitude, w * 0.55, baseY + amplitude, w, baseY - amplitude * 1.6);
    wave.lineTo(w, h);
    wave.closeSubpath();
    painter.fillPath(wave, color);
}

// Dialogs: a light title band at the top (behind the dialog's own title line) and a faint wave at the foot.
QImage paintSubwindow(const Scheme& scheme)
{
    const QSize size(420, 240);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(scheme.ground);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient band(0, 0, 0, 44);
    band.setColorAt(0.0, scheme.bandTop);
    band.setColorAt(1.0, scheme.ground);
    painter.fillRect(QRect(0, 0, size.width(), 44), band);
    painter.fillRect(QRect(0, 0, size.width(), 3), scheme.bandLine);

    paintWave(painter, size, 205, 14, QColor(0x81, 0xC0, 0xE0, 28));
    paintWave(painter, size, 218, 10, QColor(0x29, 0x99, 0xFF, 18));
    return image;
}

// Main window: a header glow behind the menu and tool bars and a soft light circle. The style sheet
// repeats the image across windows wider than it, so the circle continues across its right edge into
// its left one. Nothing is drawn at the foot: the window may be taller than the image.
QImage paintMainWindow(const Scheme& scheme)
{
    const QSize size(1000, 680);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(scheme.ground);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient header(0, 0, 0, 96);
    header.setColorAt(0.0, scheme.headerTop);
    header.setColorAt(1.0, scheme.ground);
    painter.fillRect(QRect(0, 0, size.width(), 96), header);

    const QColor glowEnd(scheme.glow.red(), scheme.glow.green(), scheme.glow.blue(), 0);
    for (double centre : { 860.0, 860.0 - size.width() }) {
        QRadialGradient glow(QPointF(centre, 40), 260);
        glow.setColorAt(0.0, scheme.glow);
        glow.setColorAt(1.0, glowEnd);
        painter.fillRect(QRect(QPoint(0, 0), size), glow);
    }
    return image;
}

bool save(const QImage& image, const QDir& out, const char* name)
{
    return image.save(out.absoluteFilePath(QLatin1String(name)), "PNG");
}

// A message bubble at twice its size in CSS pixels, cut into nine parts by the export's style sheet
// (border-image): rounded corners of 12 pixels and a tail at the bottom, on the left for a received
// message and on the right for a sent one. Everything outside the corners stretches.
QImage paintBubble(bool sent)
{
    const QSize size(120, 84);
    const double tail = 14; // the tail's width, beside the body
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (sent) {
        painter.translate(size.width(), 0);
        painter.scale(-1, 1);
    }
    const double w = size.width();
    const double h = size.height();
    QPainterPath body;
    body.addRoundedRect(QRectF(tail + 1, 1, w - tail - 2, h - 2), 24, 24);
    QPainterPath point;
    point.moveTo(tail + 12, h - 36);
    point.cubicTo(tail + 10, h - 16, tail - 2, h - 6, 1, h - 1);
    point.cubicTo(tail + 8, h - 1, tail + 22, h - 6, tail + 30, h - 14);
    point.closeSubpath();
    const QPainterPath shape = body.united(point);
    const QColor fill = sent ? QColor(0xE2, 0xF5, 0xD0) : QColor(0xEE, 0xEE, 0xEE);
    const QColor edge = sent ? QColor(0xBF, 0xDD, 0xA6) : QColor(0xD2, 0xD2, 0xD2);
    painter.setPen(QPen(edge, 2));
    painter.setBrush(fill);
    painter.drawPath(shape);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qsms-bggen <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const bool saved = save(paintSubwindow(light), out, "subwin-bg.png")
        && save(paintMainWindow(light), out, "main-bg.png") && save(paintSubwindow(dark), out, "subwin-bg-dark.png")
        && save(paintMainWindow(dark), out, "main-bg-dark.png") && out.mkpath(QStringLiteral("export"))
        && save(paintBubble(false), out, "export/bubble-received.png")
        && save(paintBubble(true), out, "export/bubble-sent.png");
    if (!saved) {
        std::fprintf(stderr, "qsms-bggen: cannot write the images\n");
        return 1;
    }
    return 0;
}
