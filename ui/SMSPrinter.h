// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/pdf/PageHeadings.h"

#include <QList>
#include <QObject>

class QPrinter;
struct _MsgMessage;

// Prints messages through the print preview dialog, laid out as in the PDF export: each
// conversation from a new page under its heading, "Page X of Y" on every page. Without an
// installed printer the dialog works on a PDF printer.
class SMSPrinter : public QObject
{
    Q_OBJECT

public:
    explicit SMSPrinter(QObject* parent = nullptr);

    // Where the messages come from, named in the headings.
    void setSource(const ExportSource& source) { m_source = source; }
    const ExportSource& source() const { return m_source; }
    // Shows the preview of the messages (borrowed records) and returns when the dialog closes.
    void print(const QList<_MsgMessage*>& list);
    // The messages being printed.
    const QList<_MsgMessage*>& messages() const { return m_messages; }

public slots:
    // Paints every message on the printer; the preview calls it whenever it needs the pages. The
    // conversations follow each other in the order the list first names them, the messages of each
    // in the list's order.
    void onPaintRequested(QPrinter* printer);

private:
    QList<_MsgMessage*> m_messages;
    ExportSource m_source;
};
