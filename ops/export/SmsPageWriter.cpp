// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/SmsPageWriter.h"

#include "message/MessageText.h"
#include "ops/export/ShortDateTimeText.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPrinter>
#include <QTextLayout>

#include <cmath>

namespace {

constexpr int textPointSize = 12;
constexpr int lineGap = 5;
constexpr int messageGap = 30;
constexpr int pageNumberGap = 2;
constexpr int pageNumberHeight = 18;
constexpr int extraMessageHeight = 10;
constexpr int textFlags = Qt::AlignLeft | Qt::TextWordWrap;

QFont pageFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSize(textPointSize);
    return font;
}

} // namespace

int textHeight(const QString& text, int width)
{
    static const QFontMetrics metrics(pageFont());
    return metrics.boundingRect(QRect(0, 0, width, 0), textFlags, text).height();
}

SmsPageWriter::~SmsPageWriter()
{
    endPages();
}

void SmsPageWriter::beginPages(QPrinter* printer)
{
    m_printer = printer;
    const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
    const QRectF page = printer->pageRect(QPrinter::DevicePixel);
    m_left = int(margins.left());
    m_top = int(margins.top());
    const int contentWidth = int(page.width() - margins.left() - margins.right());
    const int contentHeight = int(page.height() - margins.top() - margins.bottom());
    m_right = m_left + contentWidth - 1;
    m_bottom = m_top + contentHeight - 1;
    m_y = m_top;
    m_pageNumber = 1;
    if (!m_painter.begin(printer))
        return;
    m_painter.setFont(pageFont());
    drawPageNumber();
}

void SmsPageWriter::drawPageNumber()
{
    m_painter.drawText(QRect(m_left, m_bottom + pageNumberGap, m_right - m_left + 1, pageNumberHeight), Qt::AlignRight,
        QString::number(m_pageNumber));
}

int SmsPageWriter::pageCapacity() const
{
    // The room ensureSpace finds at the top of a fresh page.
    return (m_bottom - m_top + 1) - m_top;
}

void SmsPageWriter::ensureSpace(int height)
{
    if ((m_bottom - m_top + 1) - m_y >= height)
        return;
    if (m_painter.isActive())
        m_printer->newPage();
    m_y = m_top;
    ++m_pageNumber;
    if (m_painter.isActive())
        drawPageNumber();
}

void SmsPageWriter::writeMessage(const _MsgMessage& message)
{
    if (!m_painter.isActive())
        return;
    const bool fromMe = message.is_from_me != 0;
    const QString time = shortDateTimeText(message.date);
    QString header = fromMe ? QStringLiteral("To: ") : QStringLiteral("From: ");
    if (message.chat)
        header += chatDisplayNameIsolated(*message.chat, true);
    const QString body = messageDisplayText(message);

    const int width = m_right - m_left + 1;
    const int timeHeight = textHeight(time, width);
    const int headerHeight = textHeight(header, width);
    const int bodyHeight = textHeight(body, width);
    const int needed = timeHeight + headerHeight + bodyHeight + extraMessageHeight;
    // A message taller than a page starts on a fresh page and its body runs on over the next ones.
    const bool tallerThanPage = needed > pageCapacity();
    ensureSpace(tallerThanPage ? pageCapacity() : needed);

    m_painter.setPen(fromMe ? QColor(0, 128, 64) : QColor(0, 0, 255));
    m_painter.drawText(QRect(m_left, m_y, width, timeHeight), textFlags, time);
    m_y += timeHeight + lineGap;
    m_painter.drawText(QRect(m_left, m_y, width, headerHeight), textFlags, header);
    m_y += headerHeight + lineGap;

    m_painter.setPen(Qt::black);
    if (tallerThanPage) {
        flowBody(body, width);
    } else {
        m_painter.drawText(QRect(m_left, m_y, width, bodyHeight), textFlags, body);
        m_y += bodyHeight;
    }
    m_y += messageGap;
}

void SmsPageWriter::flowBody(const QString& body, int width)
{
    QString text = body;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, pageFont(), m_printer);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const int lineHeight = int(std::ceil(line.height()));
        ensureSpace(lineHeight);
        line.draw(&m_painter, QPointF(m_left, m_y));
        m_y += lineHeight;
    }
}

void SmsPageWriter::endPages()
{
    if (m_painter.isActive())
        m_painter.end();
}
