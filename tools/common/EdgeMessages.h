// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/common/SyntheticMessages.h"

// Messages whose texts try to pass for the layout of what Android's `content query` prints ("Row: N
// _id=M, body=..." lines, ", date=" pairs, "NULL", "No result found."), with line breaks, emoji,
// right-to-left text and trailing spaces, backslashes and quotes, in bodies, subjects, addresses,
// contact names and one multimedia message's text and file name.
//
// Placed first in a phone's store they get the first ids of the sms and mms tables, counted from 1.
// Their fake rows then name exactly the row number and id that follow them in `_id` order, for the
// columns body, address and subject and the part column text, so that a reader which cuts rows at
// the first look-alike goes wrong.
QList<SimMessage> hostileMessages();

// One message in each box that only the default messaging app sees: text messages in the draft,
// outbox, failed and queued boxes and multimedia messages in the draft and outbox boxes.
QList<SimMessage> hiddenBoxMessages(qint64 aroundMs);
