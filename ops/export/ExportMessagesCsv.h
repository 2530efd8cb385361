// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/ExportFile.h"
#include "ops/export/ShortDateTimeText.h"
#include "store/AbsFormatExport.h"

#include <QHash>

// A CSV field: bare, or in double quotes with inner quotes doubled when it holds a line feed, a
// comma or a double quote. A carriage return alone does not call for quotes.
QString csvField(const QString& text);

// Messages as CSV to hand over: UTF-8 with a byte-order mark, one row per message with its ISO 8601
// local time and offset, "sent" or "received", the person and number quoted as text, the content,
// and the file names of its attachments.
class ExportMessagesCsv : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportMessagesCsv(const QString& path);

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    // The person and number fields of a conversation, each followed by its comma.
    const QString& personFields(const _MsgChat* chat);
    void flushPending();

    ExportFile m_file;
    ShortDateTimeText m_times;
    QString m_pending; // lines not yet handed to the stream
    QHash<const _MsgChat*, QString> m_personFields;
    qint64 m_dayOfText = 0; // the Julian day of m_dayText
    QString m_dayText; // "yyyy-MM-dd " of the previous line
};
