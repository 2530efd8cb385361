// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Paints the program's pictures:
//   qsms-icongen <output folder>          writes every picture as <name>.png at the size it is used at,
//                                         and <name>@2x.png, <name>@3x.png at twice and three times that
//                                         size, which QIcon and QImageReader pick on high-density screens
//   qsms-icongen --sheet <file.png>       writes a contact sheet of all of them at 18 and 60 pixels
//   qsms-icongen --hicolor <folder> <name>
//                                         writes the program's picture as the desktop's application icon,
//                                         <folder>/<N>x<N>/apps/<name>.png at each usual size N
// Each picture is drawn on a 64-unit grid from flat shapes of one palette and rendered at its size,
// so the output is the same on every run and machine (no fonts are used).
#include <QColor>
#include <QDir>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cstdio>

namespace {

namespace palette {
const QColor blue(0x2F, 0x7F, 0xD0);
const QColor blueDark(0x1F, 0x5C, 0x9C);
const QColor blueLight(0xD4, 0xE7, 0xF8);
const QColor green(0x3B, 0xA5, 0x5C);
const QColor greenDark(0x27, 0x7A, 0x42);
const QColor greenLight(0xDC, 0xF2, 0xE2);
const QColor amber(0xF0, 0xA8, 0x30);
const QColor amberDark(0xC7, 0x82, 0x14);
const QColor red(0xDC, 0x4B, 0x4B);
const QColor redDark(0xA8, 0x30, 0x30);
const QColor slate(0x4A, 0x58, 0x66);
const QColor slateLight(0xC9, 0xD3, 0xDC);
const QColor paper(0xFF, 0xFF, 0xFF);
} // namespace palette

using Painter = void (*)(QPainter&);

struct Picture
{
    const char* name;
    int size;
    Painter paint;
};

// Shapes shared by several pictures. Coordinates are on the 64-unit grid.

void fillRounded(QPainter& p, const QRectF& rect, qreal radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    p.fillPath(path, color);
}

void phone(QPainter& p, const QRectF& r, const QColor& body, const QColor& screen)
{
    const qreal w = r.width();
    fillRounded(p, r, w * 0.2, body);
    const qreal side = w * 0.13;
    fillRounded(p, QRectF(r.left() + side, r.top() + w * 0.25, w - 2 * side, r.height() - w * 0.55), w * 0.05, screen);
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawEllipse(QPointF(r.center().x(), r.bottom() - w * 0.16), w * 0.09, w * 0.09);
}

// A cylinder standing in rect: a body, a light top and one band, the usual picture of a database.
void cylinder(QPainter& p, const QRectF& r, const QColor& body, const QColor& top, bool band = true)
{
    const qreal cap = r.height() * 0.16;
    QPainterPath path;
    path.moveTo(r.left(), r.top() + cap);
    path.lineTo(r.left(), r.bottom() - cap);
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * cap, r.width(), 2 * cap), 180, 180);
    path.lineTo(r.right(), r.top() + cap);
    path.arcTo(QRectF(r.left(), r.top(), r.width(), 2 * cap), 0, 180);
    path.closeSubpath();
    p.fillPath(path, body);
    if (band) {
        QPen pen(top, r.height() * 0.07, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(r.left(), r.top() + r.height() * 0.40 - cap, r.width(), 2 * cap), 180 * 16, 180 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(top);
    p.drawEllipse(QRectF(r.left() + r.width() * 0.08, r.top() + cap * 0.25, r.width() * 0.84, cap * 1.5));
}

void person(QPainter& p, const QPointF& headCenter, qreal scale, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(headCenter, 9 * scale, 9 * scale);
    QPainterPath shoulders;
    const QRectF body(headCenter.x() - 17 * scale, headCenter.y() + 12 * scale, 34 * scale, 30 * scale);
    shoulders.moveTo(body.left(), body.bottom() - 8 * scale);
    shoulders.cubicTo(body.left(), body.top(), body.right(), body.top(), body.right(), body.bottom() - 8 * scale);
    shoulders.lineTo(body.left(), body.bottom() - 8 * scale);
    shoulders.closeSubpath();
    p.fillPath(shoulders, color);
}

// A speech bubble with its tail at the lower right (sent) or lower left (received).
QPainterPath bubblePath(const QRectF& r, bool tailRight)
{
    QPainterPath path;
    path.addRoundedRect(r, r.height() * 0.4, r.height() * 0.4);
    QPainterPath tail;
    const qreal y = r.bottom() - r.height() * 0.35;
    if (tailRight) {
        tail.moveTo(r.right() - r.width() * 0.28, y);
        tail.lineTo(r.right() + 3, r.bottom() + 9);
        tail.lineTo(r.right() - r.width() * 0.05, y - 4);
    } else {
        tail.moveTo(r.left() + r.width() * 0.28, y);
        tail.lineTo(r.left() - 3, r.bottom() + 9);
        tail.lineTo(r.left() + r.width() * 0.05, y - 4);
    }
    tail.closeSubpath();
    return path.united(tail);
}

void arrow(QPainter& p, const QPointF& from, const QPointF& to, qreal width, const QColor& color)
{
    const QLineF line(from, to);
    const QLineF unit = line.unitVector();
    const QPointF dir = unit.p2() - unit.p1();
    const QPointF normal(-dir.y(), dir.x());
    const qreal head = width * 1.9;
    const QPointF headBase = to - dir * head;
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(from, headBase + dir * 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({ to, headBase + normal * head, headBase - normal * head }));
}

// The tree and the message list, drawn for 18 pixels.

void paintDevices(QPainter& p)
{
    phone(p, QRectF(6, 4, 26, 46), palette::blueLight, palette::paper);
    fillRounded(p, QRectF(6, 4, 26, 46), 5, QColor(0, 0, 0, 0));
    phone(p, QRectF(24, 12, 30, 50), palette::blue, palette::paper);
    // The phone behind gets a visible outline so the pair reads as two devices at 18 pixels.
    p.setPen(QPen(palette::blue, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(7.5, 5.5, 23, 43), 4.5, 4.5);
}

void paintDatabases(QPainter& p)
{
    cylinder(p, QRectF(4, 6, 34, 44), palette::blueLight, palette::paper, false);
    p.setPen(QPen(palette::blue, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(5.5, 8, 31, 40), 6, 6);
    cylinder(p, QRectF(24, 16, 36, 46), palette::blue, palette::blueLight);
}

void paintAndroid(QPainter& p)
{
    phone(p, QRectF(15, 3, 34, 58), palette::green, palette::paper);
    // Two antennae above the screen mark the phone as an Android one without copying any emblem.
    p.setPen(Qt::NoPen);
    p.setBrush(palette::greenDark);
    p.drawEllipse(QPointF(26, 13), 2.6, 2.6);
    p.drawEllipse(QPointF(38, 13), 2.6, 2.6);
}

void paintDatabase(QPainter& p)
{
    cylinder(p, QRectF(10, 4, 44, 56), palette::blue, palette::blueLight);
}

void paintGroup(QPainter& p)
{
    person(p, QPointF(40, 17), 0.95, palette::blueLight.darker(125));
    person(p, QPointF(24, 22), 1.05, palette::blue);
}

void paintContact(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(palette::blueLight);
    p.drawEllipse(QRectF(2, 2, 60, 60));
    p.save();
    QPainterPath clip;
    clip.addEllipse(QRectF(2, 2, 60, 60));
    p.setClipPath(clip);
    person(p, QPointF(32, 24), 1.25, palette::blue);
    p.restore();
}

void paintMessage(QPainter& p, const QColor& strong, const QColor& light, bool sent)
{
    const QRectF body(4, 8, 56, 40);
    const QPainterPath bubble = bubblePath(body, sent);
    if (sent) {
        p.fillPath(bubble, strong);
    } else {
        p.fillPath(bubble, light);
        p.setPen(QPen(strong, 4));
        p.setBrush(Qt::NoBrush);
        p.drawPath(bubble);
    }
    // The arrow leaves the bubble for a sent message and enters it for a received one.
    const QColor mark = sent ? palette::paper : strong;
    if (sent)
        arrow(p, QPointF(17, 28), QPointF(47, 28), 6, mark);
    else
        arrow(p, QPointF(47, 28), QPointF(17, 28), 6, mark);
}

void paintImsgSend(QPainter& p)
{
    paintMessage(p, palette::blue, palette::blueLight, true);
}

void paintImsgRec(QPainter& p)
{
    paintMessage(p, palette::blue, palette::blueLight, false);
}

void paintSmsSent(QPainter& p)
{
    paintMessage(p, palette::green, palette::greenLight, true);
}

void paintSmsReceive(QPainter& p)
{
    paintMessage(p, palette::green, palette::greenLight, false);
}

// Menus and the tool bar, drawn for 60 pixels.

void paintSearch(QPainter& p)
{
    p.setPen(QPen(palette::slate, 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(38, 38), QPointF(56, 56));
    p.setPen(QPen(palette::blue, 7));
    p.setBrush(palette::blueLight);
    p.drawEllipse(QPointF(26, 26), 18, 18);
}

void paintBackup(QPainter& p)
{
    cylinder(p, QRectF(8, 22, 40, 38), palette::blue, palette::blueLight);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::paper);
    p.drawEllipse(QPointF(48, 18), 15, 15);
    p.setBrush(palette::green);
    p.drawEllipse(QPointF(48, 18), 12.5, 12.5);
    arrow(p, QPointF(48, 9), QPointF(48, 28), 5, palette::paper);
}

void paintDb2a(QPainter& p)
{
    cylinder(p, QRectF(3, 10, 26, 34), palette::blue, palette::blueLight);
    phone(p, QRectF(40, 12, 21, 40), palette::green, palette::paper);
    arrow(p, QPointF(18, 54), QPointF(44, 54), 5, palette::amber);
}

void paintExport(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(10, 4);
    sheet.lineTo(36, 4);
    sheet.lineTo(48, 16);
    sheet.lineTo(48, 60);
    sheet.lineTo(10, 60);
    sheet.closeSubpath();
    p.fillPath(sheet, palette::slateLight);
    QPainterPath fold;
    fold.moveTo(36, 4);
    fold.lineTo(36, 16);
    fold.lineTo(48, 16);
    fold.closeSubpath();
    p.fillPath(fold, palette::slate);
    p.setPen(QPen(palette::slate, 3.5));
    for (int y = 26; y <= 48; y += 8)
        p.drawLine(QPointF(17, y), QPointF(34, y));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::paper);
    p.drawEllipse(QPointF(45, 44), 16, 16);
    p.setBrush(palette::amber);
    p.drawEllipse(QPointF(45, 44), 13.5, 13.5);
    arrow(p, QPointF(36, 44), QPointF(56, 44), 5, palette::paper);
}

void paintPrint(QPainter& p)
{
    fillRounded(p, QRectF(16, 4, 32, 18), 2, palette::paper);
    p.setPen(QPen(palette::slate, 3));
    p.setBrush(palette::paper);
    p.drawRect(QRectF(17.5, 5.5, 29, 20));
    fillRounded(p, QRectF(4, 20, 56, 26), 6, palette::slate);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::green);
    p.drawEllipse(QPointF(50, 28), 3, 3);
    fillRounded(p, QRectF(15, 36, 34, 24), 2, palette::paper);
    p.setPen(QPen(palette::slate, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(16.5, 37.5, 31, 21));
    p.setPen(QPen(palette::blue, 3));
    p.drawLine(QPointF(22, 45), QPointF(42, 45));
    p.drawLine(QPointF(22, 52), QPointF(36, 52));
}

void paintDelete(QPainter& p)
{
    fillRounded(p, QRectF(8, 10, 48, 7), 3, palette::red);
    fillRounded(p, QRectF(24, 4, 16, 8), 3, palette::red);
    QPainterPath can;
    can.moveTo(12, 20);
    can.lineTo(52, 20);
    can.lineTo(48, 60);
    can.lineTo(16, 60);
    can.closeSubpath();
    p.fillPath(can, palette::red);
    p.setPen(QPen(palette::paper.darker(108), 4, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : { 23.0, 32.0, 41.0 })
        p.drawLine(QPointF(x, 27), QPointF(x, 53));
}

void paintOpenDbFolder(QPainter& p)
{
    QPainterPath back;
    back.moveTo(4, 12);
    back.lineTo(22, 12);
    back.lineTo(28, 18);
    back.lineTo(56, 18);
    back.lineTo(56, 54);
    back.lineTo(4, 54);
    back.closeSubpath();
    p.fillPath(back, palette::amberDark);
    cylinder(p, QRectF(30, 8, 24, 30), palette::blue, palette::blueLight);
    QPainterPath front;
    front.moveTo(4, 54);
    front.lineTo(12, 28);
    front.lineTo(62, 28);
    front.lineTo(56, 54);
    front.closeSubpath();
    p.fillPath(front, palette::amber);
}

void paintExit(QPainter& p)
{
    fillRounded(p, QRectF(8, 4, 32, 56), 3, palette::slate);
    QPainterPath door;
    door.moveTo(12, 8);
    door.lineTo(30, 13);
    door.lineTo(30, 59);
    door.lineTo(12, 56);
    door.closeSubpath();
    p.fillPath(door, palette::slateLight);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::slate);
    p.drawEllipse(QPointF(25, 35), 2.5, 2.5);
    arrow(p, QPointF(34, 32), QPointF(62, 32), 7, palette::red);
}

void paintHelp(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(palette::blue);
    p.drawEllipse(QRectF(3, 3, 58, 58));
    // The question mark is a path so that it does not depend on the fonts of the machine.
    QPainterPath hook;
    hook.moveTo(22, 25);
    hook.cubicTo(22, 11, 43, 11, 43, 24);
    hook.cubicTo(43, 32, 32, 32, 32, 40);
    p.setPen(QPen(palette::paper, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::paper);
    p.drawEllipse(QPointF(32, 50), 4.5, 4.5);
}

void paintUnmount(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(palette::slate);
    p.drawPolygon(QPolygonF({ QPointF(32, 8), QPointF(58, 38), QPointF(6, 38) }));
    fillRounded(p, QRectF(6, 46, 52, 10), 3, palette::slate);
    p.setBrush(palette::amber);
    p.drawEllipse(QPointF(50, 14), 9, 9);
    p.setPen(QPen(palette::paper, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(46, 14), QPointF(54, 14));
}

void paintMain(QPainter& p)
{
    fillRounded(p, QRectF(2, 2, 60, 60), 13, palette::blue);
    const QPainterPath bubble = bubblePath(QRectF(10, 12, 44, 28), false);
    p.fillPath(bubble, palette::paper);
    p.setPen(QPen(palette::blue, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 22), QPointF(44, 22));
    p.drawLine(QPointF(20, 30), QPointF(36, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::green);
    p.drawEllipse(QPointF(48, 47), 11, 11);
    arrow(p, QPointF(48, 40), QPointF(48, 55), 4, palette::paper);
}

const QList<Picture>& pictures()
{
    static const QList<Picture> all = {
        { "devices", 18, &paintDevices },
        { "databases", 18, &paintDatabases },
        { "android", 18, &paintAndroid },
        { "database", 18, &paintDatabase },
        { "group", 18, &paintGroup },
        { "contact", 18, &paintContact },
        { "imsg-send", 18, &paintImsgSend },
        { "imsg-rec", 18, &paintImsgRec },
        { "icon_sms-sent", 18, &paintSmsSent },
        { "icon_sms-receive", 18, &paintSmsReceive },
        { "search", 60, &paintSearch },
        { "backup", 60, &paintBackup },
        { "db2a", 60, &paintDb2a },
        { "export", 60, &paintExport },
        { "print", 60, &paintPrint },
        { "delete", 60, &paintDelete },
        { "open_db_folder", 60, &paintOpenDbFolder },
        { "exit", 60, &paintExit },
        { "help", 60, &paintHelp },
        { "unmount", 60, &paintUnmount },
        { "main", 128, &paintMain },
    };
    return all;
}

QImage render(const Picture& picture, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    picture.paint(painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Every picture at 18 and 60 pixels on white, on the tree's selection blue and on grey, plus the
// 18-pixel rendering enlarged four times, to judge the set by eye.
QImage contactSheet()
{
    const QList<Picture>& all = pictures();
    const int cell = 80;
    const QList<QColor> grounds = { Qt::white, QColor(0x30, 0x8C, 0xC6), QColor(0xEE, 0xEE, 0xEE) };
    QImage sheet(cell * (2 * int(grounds.size()) + 1), cell * int(all.size()), QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (int row = 0; row < all.size(); ++row) {
        const QImage small = render(all.at(row), 18);
        const QImage large = render(all.at(row), 60);
        for (int g = 0; g < grounds.size(); ++g) {
            const QRect smallCell(2 * g * cell, row * cell, cell, cell);
            const QRect largeCell((2 * g + 1) * cell, row * cell, cell, cell);
            painter.fillRect(smallCell, grounds.at(g));
            painter.fillRect(largeCell, grounds.at(g));
            painter.drawImage(smallCell.center() - QPoint(9, 9), small);
            painter.drawImage(largeCell.center() - QPoint(30, 30), large);
        }
        const QRect zoomCell(2 * int(grounds.size()) * cell, row * cell, cell, cell);
        painter.drawImage(QRect(zoomCell.center() - QPoint(36, 36), QSize(72, 72)), small);
    }
    return sheet;
}

// The sizes desktops look for in the hicolor icon theme, from menus and panels to launchers.
const QList<int> hicolorSizes = { 16, 22, 24, 32, 48, 64, 128, 256, 512 };

// Each size is painted from the shapes, not scaled from another size, so small ones stay sharp.
bool writeHicolorIcons(const QDir& root, const QString& iconName)
{
    const auto program = std::find_if(pictures().cbegin(), pictures().cend(),
        [](const Picture& picture) { return qstrcmp(picture.name, "main") == 0; });
    for (int size : hicolorSizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = root.absoluteFilePath(folder + QLatin1Char('/') + iconName + QLatin1String(".png"));
        if (!root.mkpath(folder) || !render(*program, size).save(path, "PNG")) {
            std::fprintf(stderr, "qsms-icongen: cannot write %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--hicolor")
        return writeHicolorIcons(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3])) ? 0 : 1;
    if (argc == 3 && QByteArray(argv[1]) == "--sheet") {
        if (!contactSheet().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
            std::fprintf(stderr, "qsms-icongen: cannot write the contact sheet\n");
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: qsms-icongen <output folder> | --sheet <file.png> | --hicolor <folder> <name>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const Picture& picture : pictures()) {
        // The program's own picture is already large; the desktop gets it at every size through --hicolor.
        const int largestScale = qstrcmp(picture.name, "main") == 0 ? 1 : 3;
        for (int scale = 1; scale <= largestScale; ++scale) {
            const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@%1x.png").arg(scale);
            const QString path = out.absoluteFilePath(QLatin1String(picture.name) + suffix);
            if (!render(picture, picture.size * scale).save(path, "PNG")) {
                std::fprintf(stderr, "qsms-icongen: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
