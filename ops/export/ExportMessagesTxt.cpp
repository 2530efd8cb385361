// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportMessagesTxt.h"

#include "message/MessageText.h"
#include "ops/export/ExportFile.h"
#include "ops/export/ShortDateTimeText.h"

namespace {

constexpr int dateWidth = 30;
constexpr int flagWidth = 6;
constexpr int nameWidth = 40;

// Pads on the right to the width; a longer text is kept whole.
void appendField(QString& line, const QString& text, int width)
{
    line += text;
    if (text.size() < width)
        line += QString(width - text.size(), QLatin1Char(' '));
}

} // namespace

ExportMessagesTxt::ExportMessagesTxt(const QString& path)
    : m_file(path)
{
}

void ExportMessagesTxt::begin()
{
    openExportFile(m_file, m_stream);
    QString header;
    appendField(header, QStringLiteral("Date"), dateWidth);
    appendField(header, QStringLiteral("Flag"), flagWidth);
    appendField(header, QStringLiteral("Name"), nameWidth);
    header += QLatin1String("Message");
    header += exportLineEnd;
    m_stream << header;
}

void ExportMessagesTxt::write(const _MsgMessage& message)
{
    QString body = messageDisplayText(message);
    body.remove(QLatin1Char('\r'));
    body.replace(QLatin1Char('\n'), QLatin1Char(' '));

    QString flag;
    if (message.item_type == 0)
        flag = message.is_from_me != 0 ? QStringLiteral("To") : QStringLiteral("From");

    QString line;
    line.reserve(dateWidth + flagWidth + nameWidth + body.size() + 2);
    appendField(line, shortDateTimeText(message.date), dateWidth);
    appendField(line, flag, flagWidth);
    if (message.chat != m_namedChat || m_chatName.isNull()) {
        m_namedChat = message.chat;
        m_chatName = message.chat ? chatDisplayName(*message.chat, false) : QStringLiteral("Unknown");
    }
    appendField(line, m_chatName, nameWidth);
    line += body;
    line += exportLineEnd;
    m_stream << line;
}

void ExportMessagesTxt::end()
{
    closeExportFile(m_file, m_stream);
}
