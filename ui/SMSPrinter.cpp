// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SMSPrinter.h"

#include "message/MsgCollection.h"
#include "ops/export/SmsPageWriter.h"

#include <QGlyphRun>
#include <QHash>
#include <QImageReader>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRawFont>
#include <QTextLayout>

#include <vector>

namespace {

// Colour glyphs and pictures are drawn as images of this resolution: a printer's PDF has no other
// place for colour glyphs.
constexpr double imageDotsPerInch = 300;

class PrintedText : public PageText
{
public:
    struct Line
    {
        const QTextLayout* paragraph;
        int index; // in its paragraph
        double top; // from the top of the text
        double paragraphTop;
    };

    int lineCount() const override { return int(lines.size()); }
    double lineTop(int line) const override { return line < lineCount() ? lines[size_t(line)].top : height; }

    std::vector<std::unique_ptr<QTextLayout>> paragraphs;
    std::vector<Line> lines;
    double height = 0;
};

bool isColourFont(const QRawFont& font)
{
    thread_local QHash<QString, bool> known;
    const QString key = font.familyName() + QLatin1Char('/') + font.styleName();
    auto found = known.constFind(key);
    if (found == known.cend()) {
        const bool colour = !font.fontTable("CBDT").isEmpty() || !font.fontTable("COLR").isEmpty()
            || !font.fontTable("sbix").isEmpty();
        found = known.insert(key, colour);
    }
    return found.value();
}

// Measures and draws with a painter on the printer, in points from the corner of its printable area.
class PrinterCanvas : public PageCanvas
{
public:
    PrinterCanvas(QPrinter* printer, QPainter& painter)
        : m_printer(printer)
        , m_painter(painter)
        , m_body(pageFontFamily())
    {
        // Design metrics at a size in points, as pango measures the PDF files.
        m_body.setPixelSize(int(pageLayout::textSize));
        m_body.setHintingPreference(QFont::PreferNoHinting);
        m_title = m_body;
        m_title.setPixelSize(int(pageLayout::titleSize));
        m_title.setBold(true);
        const double scale = printer->resolution() / 72.0;
        m_painter.scale(scale, scale);
    }

    QSizeF printableSize() const override { return m_printer->pageLayout().paintRect(QPageLayout::Point).size(); }

    std::unique_ptr<PageText> layoutText(
        const QString& text, PageTextStyle style, PageTextAlign align, double width) override
    {
        auto laidOut = std::make_unique<PrintedText>();
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setUseDesignMetrics(true);
        const QFont& font = style == PageTextStyle::Title ? m_title : m_body;
        for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
            auto layout = std::make_unique<QTextLayout>(paragraph, font, m_printer);
            // Each paragraph in the direction of its first strong character, as pango sets them, and
            // aligned at its start: the layout itself does not turn left into right.
            const bool rightToLeft = paragraph.isRightToLeft();
            option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
            option.setAlignment(align == PageTextAlign::Right || rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
            layout->setTextOption(option);
            layout->beginLayout();
            double y = 0;
            for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
                line.setLineWidth(width);
                line.setPosition(QPointF(0, y));
                laidOut->lines.push_back({ layout.get(), line.lineNumber(), laidOut->height + y, laidOut->height });
                y += line.height();
            }
            layout->endLayout();
            laidOut->height += y;
            laidOut->paragraphs.push_back(std::move(layout));
        }
        return laidOut;
    }

    void beginPage() override
    {
        if (m_pagesBegun++ > 0)
            m_printer->newPage();
    }

    void endPage() override { }

    void drawText(const PageText& text, int firstLine, int endLine, QPointF topLeft, const QColor& colour) override
    {
        const auto& printed = static_cast<const PrintedText&>(text);
        const double shift = topLeft.y() - printed.lineTop(firstLine);
        m_painter.setPen(colour);
        for (int i = firstLine; i < endLine; ++i) {
            const PrintedText::Line& line = printed.lines[size_t(i)];
            const QPointF origin(topLeft.x(), shift + line.paragraphTop);
            for (const QGlyphRun& run : line.paragraph->lineAt(line.index).glyphRuns()) {
                if (isColourFont(run.rawFont()))
                    drawColourRun(origin, run);
                else
                    m_painter.drawGlyphRun(origin, run);
            }
        }
    }

    void drawPicture(const QString& path, const QRectF& target) override
    {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        QSize pixels = reader.size();
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            pixels.transpose();
        const QSize most((target.size() * imageDotsPerInch / 72).toSize());
        if (pixels.width() > most.width() || pixels.height() > most.height()) {
            pixels.scale(most.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
            reader.setScaledSize(
                reader.transformation() & QImageIOHandler::TransformationRotate90 ? pixels.transposed() : pixels);
        }
        const QImage image = reader.read();
        if (!image.isNull())
            m_painter.drawImage(target, image);
    }

    void drawRule(double left, double right, double y) override
    {
        m_painter.setPen(QPen(pageLayout::headingColour, 0.5));
        m_painter.drawLine(QPointF(left, y), QPointF(right, y));
    }

private:
    void drawColourRun(const QPointF& origin, const QGlyphRun& run)
    {
        const QRectF bounds = run.boundingRect();
        if (bounds.isEmpty())
            return;
        const double scale = imageDotsPerInch / 72;
        QImage image((bounds.size() * scale).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.scale(scale, scale);
            painter.translate(-bounds.topLeft());
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        m_painter.drawImage(QRectF(origin + bounds.topLeft(), bounds.size()), image);
    }

    QPrinter* m_printer;
    QPainter& m_painter;
    QFont m_body;
    QFont m_title;
    int m_pagesBegun = 0;
};

} // namespace

SMSPrinter::SMSPrinter(QObject* parent)
    : QObject(parent)
{
}

void SMSPrinter::print(const QList<_MsgMessage*>& list)
{
    m_messages = list;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(tr("IDS_PRINT_SMS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &SMSPrinter::onPaintRequested);
    dialog.exec();
}

void SMSPrinter::onPaintRequested(QPrinter* printer)
{
    QList<QList<const _MsgMessage*>> conversations;
    QHash<QString, qsizetype> conversationOf;
    for (const _MsgMessage* message : std::as_const(m_messages)) {
        const QString key = message->chat ? message->chat->chat_identifier.toLower() : QString();
        auto found = conversationOf.constFind(key);
        if (found == conversationOf.cend()) {
            found = conversationOf.insert(key, conversations.size());
            conversations.append(QList<const _MsgMessage*>());
        }
        conversations[found.value()].append(message);
    }

    QPainter painter;
    if (!painter.begin(printer))
        return;
    PrinterCanvas canvas(printer, painter);
    PageDocumentInfo info;
    info.source = m_source;
    info.exportedAt = QDateTime::currentDateTime();
    info.printed = true;
    SmsPageWriter pages(canvas, info);
    for (const QList<const _MsgMessage*>& conversation : std::as_const(conversations)) {
        pages.beginConversation(summarizeConversation(conversation, false));
        for (const _MsgMessage* message : conversation)
            pages.writeMessage(*message);
    }
    pages.drawPages();
    painter.end();
}
