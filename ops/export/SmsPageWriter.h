// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPainter>
#include <QString>

class QPrinter;
struct _MsgMessage;

// Height of the text word-wrapped to the width, in the application font at 12 points.
int textHeight(const QString& text, int width);

// Lays messages out on the pages of a printer, the same for PDF files and real printers: per
// message a coloured time line and "To:"/"From:" line, the black body, and the page number at the
// bottom right of every page. The content keeps 20 points of margin inside the printer's own.
class SmsPageWriter
{
public:
    SmsPageWriter() = default;
    ~SmsPageWriter();
    SmsPageWriter(const SmsPageWriter&) = delete;
    SmsPageWriter& operator=(const SmsPageWriter&) = delete;

    // Starts painting on the printer (borrowed) and numbers the first page. When the painter can
    // not begin, nothing is ever drawn.
    void beginPages(QPrinter* printer);
    // Starts a new page unless the rest of this one is at least `height` high.
    void ensureSpace(int height);
    void writeMessage(const _MsgMessage& message);
    void endPages();

    int pageNumber() const { return m_pageNumber; }
    // False when the painter could not begin on the printer, or the pages have ended.
    bool isActive() const { return m_painter.isActive(); }

private:
    void drawPageNumber();
    // Draws a body too tall for any page line by line, going on to the next page when one is full.
    void flowBody(const QString& body, int width);
    int pageCapacity() const;

    QPrinter* m_printer = nullptr;
    QPainter m_painter;
    int m_left = 0;
    int m_top = 0;
    int m_right = 0;
    int m_bottom = 0;
    int m_y = 0;
    int m_pageNumber = 1;
};
