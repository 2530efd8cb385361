// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/ExportFile.h"
#include "store/AbsFormatExport.h"

#include <QHash>

// Messages as a plain text table, one line each: date, direction, conversation name, body. The
// same file serves the ".txt" and the ".doc" choice.
class ExportMessagesTxt : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportMessagesTxt(const QString& path);

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    // The name of the conversation, made once per conversation.
    const QString& chatName(const _MsgChat* chat);
    void flushPending();

    ExportFile m_file;
    QString m_pending; // lines not yet handed to the stream
    QHash<const _MsgChat*, QString> m_chatNames;
    // The conversation of the previous line: lists come mostly grouped by conversation.
    const _MsgChat* m_namedChat = nullptr;
    const QString* m_chatName = nullptr;
};
