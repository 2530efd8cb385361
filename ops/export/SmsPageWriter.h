// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/pdf/PageCanvas.h"
#include "ops/export/pdf/PageHeadings.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct _MsgMessage;

// The family of the pages' font: the application font's where the program has one.
QString pageFontFamily();

// Lays messages out on pages, the same for PDF files and printers, measured and drawn by a canvas:
// per message a coloured time line and "To:"/"From:" line, the black body and its pictures, and
// "Page X of Y" at the bottom right of every page. Each conversation starts on a page of its own
// under a heading, after a cover page when the pages are evidence. A message that does not fit on
// the rest of a page starts the next one; one taller than a page runs on over the next ones.
// The pages are measured as the messages come and drawn at the end, when their number is known.
class SmsPageWriter
{
public:
    SmsPageWriter(PageCanvas& canvas, const PageDocumentInfo& info);
    ~SmsPageWriter();
    SmsPageWriter(const SmsPageWriter&) = delete;
    SmsPageWriter& operator=(const SmsPageWriter&) = delete;

    void beginConversation(const ConversationSummary& summary);
    // number: the message's number in its conversation, shown on evidence pages (0: none).
    void writeMessage(const _MsgMessage& message, int number = 0);
    int pageCount() const { return int(m_pages.size()); }
    // Draws every page; afterMessage runs whenever the last part of a message has been drawn and
    // may throw to stop. There is always at least one page, empty for no messages.
    void drawPages(const std::function<void()>& afterMessage = {});

private:
    struct Placement
    {
        enum class Kind { Text, Picture, Rule };
        Kind kind = Kind::Text;
        std::shared_ptr<const PageText> text;
        int firstLine = 0;
        int endLine = 0;
        QColor colour;
        QRectF area; // top left of the text; the picture's place; the rule's line
        QString picture;
        bool endsMessage = false;
    };

    void newPage();
    double room() const { return m_bottom - m_y; }
    // Places the text's lines from y on, going on to the next page where one does not fit.
    void flowText(const std::shared_ptr<const PageText>& text, const QColor& colour);
    void place(Placement placement);
    std::shared_ptr<const PageText> layout(const QString& text, PageTextStyle style = PageTextStyle::Body);

    PageCanvas& m_canvas;
    PageDocumentInfo m_info;
    double m_left = 0;
    double m_width = 0;
    double m_top = 0;
    double m_bottom = 0;
    double m_y = 0;
    bool m_pageUsed = false;
    std::vector<std::vector<Placement>> m_pages;
    QString m_lastHeader;
    std::shared_ptr<const PageText> m_lastHeaderText;
};
