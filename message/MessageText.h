// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Texts and order of the in-memory message records, shared by the views, the exports, printing,
// the backup and the sending thread. Every function only reads its records.

// Seconds from 1970-01-01 to 2001-01-01, the epoch of every stored message date.
constexpr qint64 messageDateOffset = 978307200;

// Local date-time of a message date (seconds since 2001-01-01 00:00:00 UTC).
QDateTime messageDateTime(int date);

// The participants of a conversation and the attachments of a message, in ascending row id order.
// Their maps are keyed by the decimal text of the row id, which on its own would put "10" before "9".
QList<const _MsgHandle*> orderedHandles(const _MsgChat& chat);
QList<const _MsgAttachment*> orderedAttachments(const _MsgMessage& message);

// The contact name, "name (number)" with withNumber, or the address when there is no contact name.
QString handleDisplayName(const _MsgHandle& handle, bool withNumber);
// The conversation's own name, else its participants' names joined by ", ", else "Unknown".
QString chatDisplayName(const _MsgChat& chat, bool withNumbers);
// The same name for a line that shows it beside other text. When any of it is written right to left,
// each name and each number is set apart in U+2068 FIRST STRONG ISOLATE and U+2069 POP DIRECTIONAL
// ISOLATE, so that "(+201005550142)" stays as it is beside an Arabic name instead of being reordered
// with it. A name without such characters is returned unchanged.
QString chatDisplayNameIsolated(const _MsgChat& chat, bool withNumbers);
// The correspondent's name isolated the same way.
QString handleDisplayNameIsolated(const _MsgHandle& handle, bool withNumber);
bool isGroupChat(const _MsgChat& chat);
// The "Contact" text: the conversation's name with numbers, plus the sender in a group; isolated
// like chatDisplayNameIsolated.
QString messageContactText(const _MsgMessage& message);
// Removes every U+FFFC OBJECT REPLACEMENT CHARACTER.
QString stripObjectReplacement(const QString& text);
// The text shown for a message: body with attachment tags, or the sentence of a group event;
// emoji replaced by "[EMOJI]".
QString messageDisplayText(const _MsgMessage& message);
// How a message text carries its emoji: "[EMOJI]" in place of each, or the characters themselves
// for a reader that draws them.
enum class EmojiText { Placeholder, Characters };
QString messageDisplayText(const _MsgMessage& message, EmojiText emoji);
// The same text without the attachment tags, for a page that shows the attachments themselves.
QString messageBodyText(const _MsgMessage& message, EmojiText emoji);
// " [IMAGE]", " [VIDEO]", " [AUDIO]", " [VCARD]" or " [ATTA]" by the attachment's type.
QString attachmentTag(const QString& mimeType);

// The file name an attachment is known by: the name it was sent under, else that of its stored file.
QString attachmentFileName(const _MsgAttachment& attachment);

// Receives the upper-case hexadecimal code point of an emoji and returns its replacement.
using EmojiReplacement = std::function<QString(const QString& codePoint)>;
// Replaces the emoji of the private-use and symbol range, then every surrogate pair led by
// U+D83C or U+D83D.
QString replaceEmoji(const QString& text, const EmojiReplacement& replacement);

// Time order, except that messages close together both in time (120 s) and in read row id (20)
// keep the order of their read row ids. Not a strict weak order.
bool messageLessThan(const _MsgMessage& a, const _MsgMessage& b);
// The negation of messageLessThan (true for two equal messages).
bool messageGreaterThan(const _MsgMessage& a, const _MsgMessage& b);
// Sorts a list of messages in message order, ascending or descending. Messages that neither
// order puts first keep their relative place. A checkpoint given is called every 65536
// comparisons, where a caller may throw to stop a long sort.
void sortMessages(QList<_MsgMessage*>& messages, bool ascending, const std::function<void()>& checkpoint = {});
void sortMessages(QList<const _MsgMessage*>& messages, bool ascending, const std::function<void()>& checkpoint = {});
