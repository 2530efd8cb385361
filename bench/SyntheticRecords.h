// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QList>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

// The records of N generated phone messages, made as the loading thread makes them from "$sms:"
// lines: one-to-one conversation per normalised address, correspondent, message and guid. Messages
// from the same correspondent share one conversation and one correspondent record, which keeps
// the benchmark's own memory small without changing what the writer receives.
class SyntheticRecords
{
public:
    SyntheticRecords(int count, quint32 seed, const QString& mcc);

    const std::vector<_MsgMessage>& messages() const { return m_messages; }
    qsizetype conversationCount() const { return qsizetype(m_chats.size()); }

private:
    std::deque<_MsgHandle> m_handles;
    std::deque<_MsgChat> m_chats;
    std::vector<_MsgMessage> m_messages;
};
