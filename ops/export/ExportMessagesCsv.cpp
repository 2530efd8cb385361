// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportMessagesCsv.h"

#include "message/MessageText.h"

#include <QDateTime>

#include <algorithm>

namespace {

// Lines are gathered and handed to the stream in pieces of about this many characters.
constexpr qsizetype pendingLimit = 32768;

void appendDigits(QString& out, int value, int width)
{
    const QString digits = QString::number(value);
    if (digits.size() < width)
        out += QString(width - digits.size(), QLatin1Char('0'));
    out += digits;
}

void appendTwoDigits(QString& out, int value)
{
    const QChar digits[] = { QLatin1Char(char('0' + value / 10)), QLatin1Char(char('0' + value % 10)) };
    out.append(digits, 2);
}

bool needsCsvQuotes(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char(',');
}

// The body as a CSV field whose line feeds end their line the way the file's lines end.
void appendCsvBody(QString& out, const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), needsCsvQuotes)) {
        out += text;
        return;
    }
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            out += exportLineEnd;
            continue;
        }
        out += c;
        if (c == QLatin1Char('"'))
            out += c;
    }
    out += QLatin1Char('"');
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
    m_file.open();
    m_pending.reserve(pendingLimit + 4096);
    m_pending += QLatin1String("date,send,person,number,content");
    m_pending += exportLineEnd;
}

void ExportMessagesCsv::write(const _MsgMessage& message)
{
    QDate day;
    QTime time;
    m_times.localDayAndTime(message.date, day, time);
    // "yyyy-MM-dd hh:mm:ss" in local time, always with ASCII digits.
    const qint64 julianDay = day.toJulianDay();
    if (julianDay != m_dayOfText || m_dayText.isNull()) {
        m_dayText.clear();
        appendDigits(m_dayText, day.year(), 4);
        m_dayText += QLatin1Char('-');
        appendDigits(m_dayText, day.month(), 2);
        m_dayText += QLatin1Char('-');
        appendDigits(m_dayText, day.day(), 2);
        m_dayText += QLatin1Char(' ');
        m_dayOfText = julianDay;
    }
    m_pending += m_dayText;
    appendTwoDigits(m_pending, time.hour());
    m_pending += QLatin1Char(':');
    appendTwoDigits(m_pending, time.minute());
    m_pending += QLatin1Char(':');
    appendTwoDigits(m_pending, time.second());
    m_pending += message.is_from_me != 0 ? QLatin1String(",1,") : QLatin1String(",0,");
    m_pending += personFields(message.chat);
    appendCsvBody(m_pending, messageDisplayText(message));
    m_pending += exportLineEnd;
    if (m_pending.size() >= pendingLimit)
        flushPending();
}

void ExportMessagesCsv::end()
{
    flushPending();
    m_file.close();
}

const QString& ExportMessagesCsv::personFields(const _MsgChat* chat)
{
    auto fields = m_personFields.constFind(chat);
    if (fields != m_personFields.cend())
        return *fields;
    QString person;
    QString number;
    if (chat) {
        if (isGroupChat(*chat)) {
            person = chat->chat_identifier;
            number = chat->chat_identifier;
        } else if (!chat->handles.isEmpty()) {
            const _MsgHandle* first = orderedHandles(*chat).constFirst();
            person = first->_ct_name;
            number = first->id;
        }
    }
    return *m_personFields.insert(chat, csvField(person) + QLatin1Char(',') + csvField(number) + QLatin1Char(','));
}

void ExportMessagesCsv::flushPending()
{
    m_file.write(m_pending);
    m_pending.resize(0);
}
