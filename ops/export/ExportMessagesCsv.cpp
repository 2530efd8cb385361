// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportMessagesCsv.h"

#include "message/MessageText.h"
#include "ops/export/ExportFile.h"

#include <QDateTime>

namespace {

void appendDigits(QString& out, int value, int width)
{
    const QString digits = QString::number(value);
    if (digits.size() < width)
        out += QString(width - digits.size(), QLatin1Char('0'));
    out += digits;
}

// "yyyy-MM-dd hh:mm:ss" in local time, always with ASCII digits.
void appendCsvDate(QString& out, const QDate& date, const QTime& time)
{
    appendDigits(out, date.year(), 4);
    out += QLatin1Char('-');
    appendDigits(out, date.month(), 2);
    out += QLatin1Char('-');
    appendDigits(out, date.day(), 2);
    out += QLatin1Char(' ');
    appendDigits(out, time.hour(), 2);
    out += QLatin1Char(':');
    appendDigits(out, time.minute(), 2);
    out += QLatin1Char(':');
    appendDigits(out, time.second(), 2);
}

} // namespace

QString csvField(const QString& text)
{
    bool needsQuotes = false;
    qsizetype quotes = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            ++quotes;
        else if (c == QLatin1Char('\n') || c == QLatin1Char(','))
            needsQuotes = true;
    }
    if (!needsQuotes && quotes == 0)
        return text;
    QString out;
    out.reserve(text.size() + quotes + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        out += c;
        if (c == QLatin1Char('"'))
            out += c;
    }
    out += QLatin1Char('"');
    return out;
}

ExportMessagesCsv::ExportMessagesCsv(const QString& path)
    : m_file(path)
{
}

void ExportMessagesCsv::begin()
{
    openExportFile(m_file, m_stream);
    m_stream << QLatin1String("date,send,person,number,content") << exportLineEnd;
}

void ExportMessagesCsv::write(const _MsgMessage& message)
{
    QString person;
    QString number;
    if (const _MsgChat* chat = message.chat) {
        if (isGroupChat(*chat)) {
            person = chat->chat_identifier;
            number = chat->chat_identifier;
        } else if (!chat->handles.isEmpty()) {
            const _MsgHandle* first = orderedHandles(*chat).constFirst();
            person = first->_ct_name;
            number = first->id;
        }
    }

    QString line;
    QDate day;
    QTime time;
    m_times.localDayAndTime(message.date, day, time);
    appendCsvDate(line, day, time);
    line += message.is_from_me != 0 ? QLatin1String(",1,") : QLatin1String(",0,");
    line += csvField(person);
    line += QLatin1Char(',');
    line += csvField(number);
    line += QLatin1Char(',');
    // A line feed inside a quoted body ends its line the way the file's lines end.
    line += csvField(messageDisplayText(message)).replace(QLatin1Char('\n'), exportLineEnd);
    line += exportLineEnd;
    m_stream << line;
}

void ExportMessagesCsv::end()
{
    closeExportFile(m_file, m_stream);
}
