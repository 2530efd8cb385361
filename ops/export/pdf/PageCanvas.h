// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

// The page layout of exported and printed messages, in points. The content keeps 20 points of
// margin inside the printer's own margins; the page number band lies below the content.
namespace pageLayout {
constexpr double printerMargin = 20;
constexpr double contentMargin = 20;
constexpr double textSize = 12;
constexpr double titleSize = 14;
constexpr double lineGap = 5; // below the time line and below the "To:"/"From:" line
constexpr double messageGap = 30; // below a message
constexpr double extraMessageHeight = 10; // the two line gaps, asked for with the three texts
constexpr double pageNumberGap = 2;
constexpr double pageNumberHeight = 18;
constexpr double headingGap = 20; // between a conversation's heading and its first message
const QColor sentColour(0, 128, 64);
const QColor receivedColour(0, 0, 255);
const QColor bodyColour(0, 0, 0);
const QColor headingColour(64, 64, 64);
} // namespace pageLayout

enum class PageTextStyle {
    Body, // the application font at 12 points
    Title, // bold, 14 points
};

enum class PageTextAlign {
    Start, // left, or right for a paragraph written right to left
    Right,
};

// A text laid out for one width: word-wrapped, each paragraph in its own direction.
class PageText
{
public:
    virtual ~PageText() = default;
    virtual int lineCount() const = 0;
    // Top of the line from the top of the text; lineTop(lineCount()) is the height of the whole.
    virtual double lineTop(int line) const = 0;
    double height() const { return lineTop(lineCount()); }
};

// Where pages are measured and drawn, in points from the top left corner of the printable area:
// cairo and pango for the PDF files, a painter for the printer and its preview.
class PageCanvas
{
public:
    virtual ~PageCanvas() = default;

    // The page less the printer's own margins.
    virtual QSizeF printableSize() const = 0;
    virtual std::unique_ptr<PageText> layoutText(
        const QString& text, PageTextStyle style, PageTextAlign align, double width)
        = 0;

    // Every page is begun before anything is drawn on it, and ended after.
    virtual void beginPage() = 0;
    virtual void endPage() = 0;
    // Draws lines [firstLine, endLine) of the text with the top of the first at topLeft.
    virtual void drawText(const PageText& text, int firstLine, int endLine, QPointF topLeft, const QColor& colour) = 0;
    virtual void drawPicture(const QString& path, const QRectF& target) = 0;
    virtual void drawRule(double left, double right, double y) = 0;
};
