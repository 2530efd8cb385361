// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>

class QPrinter;
struct _MsgMessage;

// Prints messages through the print preview dialog, laid out as in the PDF export. Without an
// installed printer the dialog works on a PDF printer.
class SMSPrinter : public QObject
{
    Q_OBJECT

public:
    explicit SMSPrinter(QObject* parent = nullptr);

    // Shows the preview of the messages (borrowed records) and returns when the dialog closes.
    void print(const QList<_MsgMessage*>& list);

public slots:
    // Paints every message on the printer; the preview calls it whenever it needs the pages.
    void onPaintRequested(QPrinter* printer);

private:
    QList<_MsgMessage*> m_messages;
};
