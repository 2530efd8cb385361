// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportMessagesCsv.h"

#include "message/MessageText.h"

#include <QDateTime>

#include <cstdlib>

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

constexpr qint64 unixEpochJulianDay = 2440588;

// "+hh:mm" or "-hh:mm".
void appendOffset(QString& out, int seconds)
{
    out += seconds < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const int minutes = std::abs(seconds) / 60;
    appendTwoDigits(out, minutes / 60);
    out += QLatin1Char(':');
    appendTwoDigits(out, minutes % 60);
}

// A CSV field in double quotes, inner quotes doubled. Line breaks inside stay as the text has them,
// so that a reader gets the text back exactly.
void appendQuoted(QString& out, const QString& text)
{
    out += QLatin1Char('"');
    const QChar* const end = text.constData() + text.size();
    const QChar* run = text.constData();
    for (const QChar* it = run; it != end; ++it) {
        if (*it == QLatin1Char('"')) {
            out.append(run, it + 1 - run);
            run = it; // the quote is written a second time with the next run
        }
    }
    out.append(run, end - run);
    out += QLatin1Char('"');
}

// The file names of the message's attachments, in attachment order, joined by "; ".
QString attachmentNames(const _MsgMessage& message)
{
    if (message.attachments.isEmpty())
        return QString();
    QStringList names;
    for (const _MsgAttachment* attachment : orderedAttachments(message))
        names.append(attachmentFileName(*attachment));
    return names.join(QLatin1String("; "));
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
    // The byte-order mark tells a spreadsheet that the file is UTF-8, so names and emoji keep their
    // characters; Python's csv reads it away with the "utf-8-sig" encoding.
    m_pending += QChar(0xFEFF);
    m_pending += QLatin1String("date,direction,person,number,content,attachments");
    m_pending += exportLineEnd;
}

void ExportMessagesCsv::write(const _MsgMessage& message)
{
    QDate day;
    QTime time;
    m_times.localDayAndTime(message.date, day, time);
    // ISO 8601 local time with its offset from UTC ("2014-03-05T21:36:00+01:00"), always with ASCII
    // digits: a reader elsewhere gets the same instant.
    const qint64 julianDay = day.toJulianDay();
    if (julianDay != m_dayOfText || m_dayText.isNull()) {
        m_dayText.clear();
        appendDigits(m_dayText, day.year(), 4);
        m_dayText += QLatin1Char('-');
        appendDigits(m_dayText, day.month(), 2);
        m_dayText += QLatin1Char('-');
        appendDigits(m_dayText, day.day(), 2);
        m_dayText += QLatin1Char('T');
        m_dayOfText = julianDay;
    }
    m_pending += m_dayText;
    appendTwoDigits(m_pending, time.hour());
    m_pending += QLatin1Char(':');
    appendTwoDigits(m_pending, time.minute());
    m_pending += QLatin1Char(':');
    appendTwoDigits(m_pending, time.second());
    const qint64 localSeconds = (julianDay - unixEpochJulianDay) * 86400 + time.msecsSinceStartOfDay() / 1000;
    appendOffset(m_pending, int(localSeconds - (qint64(message.date) + messageDateOffset)));
    m_pending += message.is_from_me != 0 ? QLatin1String(",sent,") : QLatin1String(",received,");
    m_pending += personFields(message.chat);
    // Read on other machines, whose fonts draw the emoji: the characters themselves.
    appendQuoted(m_pending, messageDisplayText(message, EmojiText::Characters));
    m_pending += QLatin1Char(',');
    appendQuoted(m_pending, attachmentNames(message));
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
    // Quoted always: a number such as "+447700900001" or "07700900001" stays text, with its plus
    // and its leading zero, in a spreadsheet that takes quoted fields as text.
    QString text;
    appendQuoted(text, person);
    text += QLatin1Char(',');
    appendQuoted(text, number);
    text += QLatin1Char(',');
    return *m_personFields.insert(chat, text);
}

void ExportMessagesCsv::flushPending()
{
    m_file.write(m_pending);
    m_pending.resize(0);
}
