// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/SmsPageWriter.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/export/pdf/FontCoverage.h"

#include <QFontInfo>
#include <QGuiApplication>

namespace {

// A picture's pixels taken at the usual 96 per inch, never larger than the content.
QSizeF pictureSize(const QSize& pixels, double width, double height)
{
    const QSizeF natural = QSizeF(pixels) * 0.75;
    const double scale = std::min({ 1.0, width / natural.width(), height / natural.height() });
    return natural * scale;
}

} // namespace

QString pageFontFamily()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QFontInfo(QGuiApplication::font()).family();
    return QStringLiteral("Sans");
}

SmsPageWriter::SmsPageWriter(PageCanvas& canvas, const PageDocumentInfo& info)
    : m_canvas(canvas)
    , m_info(info)
{
    const QSizeF printable = canvas.printableSize();
    m_left = pageLayout::contentMargin;
    m_top = pageLayout::contentMargin;
    m_width = printable.width() - 2 * pageLayout::contentMargin;
    m_bottom = printable.height() - pageLayout::contentMargin;
    m_pages.emplace_back();
    m_y = m_top;
}

SmsPageWriter::~SmsPageWriter() = default;

std::shared_ptr<const PageText> SmsPageWriter::layout(const QString& text, PageTextStyle style)
{
    return m_canvas.layoutText(text, style, PageTextAlign::Start, m_width);
}

void SmsPageWriter::newPage()
{
    m_pages.emplace_back();
    m_y = m_top;
    m_pageUsed = false;
}

void SmsPageWriter::place(Placement placement)
{
    m_pages.back().push_back(std::move(placement));
    m_pageUsed = true;
}

void SmsPageWriter::flowText(const std::shared_ptr<const PageText>& text, const QColor& colour)
{
    int first = 0;
    const int lines = text->lineCount();
    while (first < lines) {
        int end = first;
        while (end < lines && text->lineTop(end + 1) - text->lineTop(first) <= room())
            ++end;
        // A line taller than a whole page goes on a page of its own.
        if (end == first && !m_pageUsed)
            end = first + 1;
        if (end == first) {
            newPage();
            continue;
        }
        Placement placement;
        placement.text = text;
        placement.firstLine = first;
        placement.endLine = end;
        placement.colour = colour;
        placement.area = QRectF(m_left, m_y, m_width, 0);
        place(std::move(placement));
        m_y += text->lineTop(end) - text->lineTop(first);
        first = end;
        if (first < lines)
            newPage();
    }
}

void SmsPageWriter::beginConversation(const ConversationSummary& summary)
{
    if (m_pageUsed)
        newPage();
    const QColor& black = pageLayout::bodyColour;
    if (m_info.evidence) {
        flowText(layout(coverPageTitle(), PageTextStyle::Title), black);
        m_y += pageLayout::lineGap;
        flowText(layout(coverPageText(summary, m_info)), black);
        newPage();
    }
    flowText(layout(summary.name, PageTextStyle::Title), black);
    m_y += pageLayout::lineGap;
    flowText(layout(conversationHeadingText(summary, m_info)), pageLayout::headingColour);
    m_y += pageLayout::lineGap;
    Placement rule;
    rule.kind = Placement::Kind::Rule;
    rule.area = QRectF(m_left, m_y, m_width, 0);
    place(std::move(rule));
    m_y += pageLayout::headingGap;
}

void SmsPageWriter::writeMessage(const _MsgMessage& message, int number)
{
    const bool fromMe = message.is_from_me != 0;
    QString header = fromMe ? QStringLiteral("To: ") : QStringLiteral("From: ");
    if (message.chat)
        header += chatDisplayNameIsolated(*message.chat, true);
    // The header is that of the conversation: the same text for most messages in a row.
    if (!m_lastHeaderText || header != m_lastHeader) {
        m_lastHeader = header;
        m_lastHeaderText = layout(header);
    }
    const std::shared_ptr<const PageText> time = layout(messageTimeText(message.date, number));
    const std::shared_ptr<const PageText> headerText = m_lastHeaderText;
    const QString body = withDrawableEmoji(messageDisplayText(message, EmojiText::Characters));
    const std::shared_ptr<const PageText> bodyText = body.isEmpty() ? nullptr : layout(body);

    const double needed
        = time->height() + headerText->height() + (bodyText ? bodyText->height() : 0) + pageLayout::extraMessageHeight;
    // A message taller than a page starts at the top of one and runs on over the next.
    if (needed > room() && (needed <= m_bottom - m_top || m_pageUsed))
        newPage();

    const QColor& colour = fromMe ? pageLayout::sentColour : pageLayout::receivedColour;
    flowText(time, colour);
    m_y += pageLayout::lineGap;
    flowText(headerText, colour);
    m_y += pageLayout::lineGap;
    if (bodyText)
        flowText(bodyText, pageLayout::bodyColour);

    for (const PictureFile& picture : messagePictures(message)) {
        const QSizeF size = pictureSize(picture.pixels, m_width, m_bottom - m_top);
        m_y += pageLayout::lineGap;
        if (size.height() > room())
            newPage();
        Placement placement;
        placement.kind = Placement::Kind::Picture;
        placement.picture = picture.path;
        placement.area = QRectF(QPointF(m_left, m_y), size);
        place(std::move(placement));
        m_y += size.height();
    }
    m_pages.back().back().endsMessage = true;
    m_y += pageLayout::messageGap;
}

void SmsPageWriter::drawPages(const std::function<void()>& afterMessage)
{
    const int pages = pageCount();
    for (int page = 0; page < pages; ++page) {
        m_canvas.beginPage();
        for (const Placement& placement : m_pages[size_t(page)]) {
            switch (placement.kind) {
            case Placement::Kind::Text:
                m_canvas.drawText(*placement.text, placement.firstLine, placement.endLine, placement.area.topLeft(),
                    placement.colour);
                break;
            case Placement::Kind::Picture:
                m_canvas.drawPicture(placement.picture, placement.area);
                break;
            case Placement::Kind::Rule:
                m_canvas.drawRule(placement.area.left(), placement.area.right(), placement.area.top());
                break;
            }
            if (placement.endsMessage && afterMessage)
                afterMessage();
        }
        const std::unique_ptr<PageText> number
            = m_canvas.layoutText(pageNumberText(page + 1, pages), PageTextStyle::Body, PageTextAlign::Right, m_width);
        m_canvas.drawText(*number, 0, number->lineCount(), QPointF(m_left, m_bottom + pageLayout::pageNumberGap),
            pageLayout::bodyColour);
        m_canvas.endPage();
        // What is drawn is let go: a long conversation keeps only the pages still to come.
        m_pages[size_t(page)].clear();
    }
}
