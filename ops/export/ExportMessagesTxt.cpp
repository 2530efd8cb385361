// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportMessagesTxt.h"

#include "message/MessageText.h"
#include "ops/export/ShortDateTimeText.h"

namespace {

constexpr int dateWidth = 30;
constexpr int flagWidth = 6;
constexpr int nameWidth = 40;
// Lines are gathered and handed to the stream in pieces of about this many characters.
constexpr qsizetype pendingLimit = 32768;

// Pads on the right to the width, counted from `start`; a longer text is kept whole.
void padField(QString& line, qsizetype start, int width)
{
    const qsizetype used = line.size() - start;
    if (used < width)
        line.resize(start + width, QLatin1Char(' '));
}

void appendField(QString& line, const QString& text, int width)
{
    const qsizetype start = line.size();
    line += text;
    padField(line, start, width);
}

// The body on one line: carriage returns dropped, line feeds made spaces.
void appendBody(QString& line, const QString& body)
{
    const QChar* const begin = body.constData();
    const QChar* const end = begin + body.size();
    const QChar* breakAt = begin;
    while (breakAt != end && *breakAt != QLatin1Char('\r') && *breakAt != QLatin1Char('\n'))
        ++breakAt;
    line.append(begin, breakAt - begin);
    for (const QChar* it = breakAt; it != end; ++it) {
        if (*it == QLatin1Char('\n'))
            line += QLatin1Char(' ');
        else if (*it != QLatin1Char('\r'))
            line += *it;
    }
}

} // namespace

ExportMessagesTxt::ExportMessagesTxt(const QString& path)
    : m_file(path)
{
}

void ExportMessagesTxt::begin()
{
    m_file.open();
    m_pending.reserve(pendingLimit + 4096);
    appendField(m_pending, QStringLiteral("Date"), dateWidth);
    appendField(m_pending, QStringLiteral("Flag"), flagWidth);
    appendField(m_pending, QStringLiteral("Name"), nameWidth);
    m_pending += QLatin1String("Message");
    m_pending += exportLineEnd;
}

void ExportMessagesTxt::write(const _MsgMessage& message)
{
    qsizetype start = m_pending.size();
    appendShortDateTimeText(m_pending, message.date);
    padField(m_pending, start, dateWidth);

    start = m_pending.size();
    if (message.item_type == 0)
        m_pending += message.is_from_me != 0 ? QLatin1String("To") : QLatin1String("From");
    padField(m_pending, start, flagWidth);

    appendField(m_pending, chatName(message.chat), nameWidth);
    // Read on other machines, whose fonts draw the emoji: the characters themselves.
    appendBody(m_pending, messageDisplayText(message, EmojiText::Characters));
    m_pending += exportLineEnd;
    if (m_pending.size() >= pendingLimit)
        flushPending();
}

void ExportMessagesTxt::end()
{
    flushPending();
    m_file.close();
}

const QString& ExportMessagesTxt::chatName(const _MsgChat* chat)
{
    if (m_chatName && chat == m_namedChat)
        return *m_chatName;
    auto name = m_chatNames.find(chat);
    if (name == m_chatNames.end())
        name = m_chatNames.insert(chat, chat ? chatDisplayName(*chat, false) : QStringLiteral("Unknown"));
    m_namedChat = chat;
    m_chatName = &name.value();
    return *m_chatName;
}

void ExportMessagesTxt::flushPending()
{
    m_file.write(m_pending);
    m_pending.resize(0);
}
