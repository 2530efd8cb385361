// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Paints the two background images of the program's windows and the bubbles of the HTML export:
//   qsms-bggen <output folder>   writes subwin-bg.png (dialogs), main-bg.png (main window) and
//                                export/bubble-received.png, export/bubble-sent.png.
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
QImage paintSubwindow()
{
    const QSize size(420, 240);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient band(0, 0, 0, 44);
    band.setColorAt(0.0, QColor(0xDD, 0xEF, 0xFA));
    band.setColorAt(1.0, QColor(0xFF, 0xFF, 0xFF));
    painter.fillRect(QRect(0, 0, size.width(), 44), band);
    painter.fillRect(QRect(0, 0, size.width(), 3), QColor(0x81, 0xC0, 0xE0));

    paintWave(painter, size, 205, 14, QColor(0x81, 0xC0, 0xE0, 28));
    paintWave(painter, size, 218, 10, QColor(0x29, 0x99, 0xFF, 18));
    return image;
}

// Main window: a header glow behind the menu and tool bars, a soft light circle on the right and
// two faint waves along the foot.
QImage paintMainWindow()
{
    const QSize size(1000, 680);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient header(0, 0, 0, 96);
    header.setColorAt(0.0, QColor(0xD6, 0xEC, 0xF8));
    header.setColorAt(1.0, QColor(0xFF, 0xFF, 0xFF));
    painter.fillRect(QRect(0, 0, size.width(), 96), header);

    QRadialGradient glow(QPointF(860, 40), 260);
    glow.setColorAt(0.0, QColor(0xFD, 0xEA, 0xC3, 90));
    glow.setColorAt(1.0, QColor(0xFD, 0xEA, 0xC3, 0));
    painter.fillRect(QRect(QPoint(0, 0), size), glow);

    paintWave(painter, size, 600, 30, QColor(0x81, 0xC0, 0xE0, 26));
    paintWave(painter, size, 630, 22, QColor(0x29, 0x99, 0xFF, 16));
    return image;
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
    const bool saved = paintSubwindow().save(out.absoluteFilePath(QStringLiteral("subwin-bg.png")), "PNG")
        && paintMainWindow().save(out.absoluteFilePath(QStringLiteral("main-bg.png")), "PNG")
        && out.mkpath(QStringLiteral("export"))
        && paintBubble(false).save(out.absoluteFilePath(QStringLiteral("export/bubble-received.png")), "PNG")
        && paintBubble(true).save(out.absoluteFilePath(QStringLiteral("export/bubble-sent.png")), "PNG");
    if (!saved) {
        std::fprintf(stderr, "qsms-bggen: cannot write the images\n");
        return 1;
    }
    return 0;
}
