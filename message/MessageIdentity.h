// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct _MsgMessage;

// The duplicate key of a message: MD5 (32 lower-case hex digits) of its correspondent, date,
// direction, text without U+FFFC and attachment names; of its guid alone when item_type is not 0.
QString logicHash(const _MsgMessage& message);
// MD5 of the bytes as upper-case hex in GUID form 8-4-4-4-12.
QString guidFromBytes(const QByteArray& bytes);
