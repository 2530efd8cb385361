// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

struct _MsgMessage;

// The order of a per-conversation export. Conversations sharing a chat_identifier (ignoring case)
// form one group and one file; groups follow each other by the newest date of all their
// conversations, then by identifier; inside a group the messages are in message order. Descending
// reverses both. Messages that neither order puts first keep their relative place.
void sortByConversation(QList<_MsgMessage*>& messages, bool ascending);
