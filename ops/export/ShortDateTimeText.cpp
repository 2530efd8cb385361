// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ShortDateTimeText.h"

#include "message/MessageText.h"

namespace {

constexpr QChar secondsMarker(0x0001);
constexpr qint64 unixEpochJulianDay = 2440588;

} // namespace

ShortDateTimeText::ShortDateTimeText(const QLocale& locale)
    : m_locale(locale)
    , m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat))
{
    const QString timeFormat = m_locale.timeFormat(QLocale::ShortFormat);
    // A time zone in the format depends on the whole date-time; such formats are not split.
    m_joinParts = m_locale.dateTimeFormat(QLocale::ShortFormat) == m_dateFormat + QLatin1Char(' ') + timeFormat
        && !timeFormat.contains(QLatin1Char('t'));

    // Seconds fields outside quoted text become a quoted marker, filled in per second.
    bool quoted = false;
    for (qsizetype i = 0; i < timeFormat.size(); ++i) {
        const QChar c = timeFormat.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('s')) {
            m_minuteFormat += c;
            continue;
        }
        const qsizetype length = i + 1 < timeFormat.size() && timeFormat.at(i + 1) == QLatin1Char('s') ? 2 : 1;
        m_secondsFields.append(timeFormat.mid(i, length));
        m_minuteFormat += QLatin1Char('\'') + secondsMarker + QLatin1Char('\'');
        i += length - 1;
    }
    for (const QString& field : std::as_const(m_secondsFields)) {
        QStringList texts;
        for (int second = 0; second < 60; ++second)
            texts.append(m_locale.toString(QTime(0, 0, second), field));
        m_seconds.append(texts);
    }
}

QString ShortDateTimeText::text(int date)
{
    if (!m_joinParts)
        return m_locale.toString(messageDateTime(date), QLocale::ShortFormat);
    QDate day;
    QTime time;
    localDayAndTime(date, day, time);
    auto dayText = m_days.constFind(day.toJulianDay());
    if (dayText == m_days.cend())
        dayText = m_days.insert(day.toJulianDay(), m_locale.toString(day, m_dateFormat));
    return *dayText + QLatin1Char(' ') + minuteText(time);
}

void ShortDateTimeText::localDayAndTime(int date, QDate& day, QTime& time)
{
    const qint64 unixTime = qint64(date) + messageDateOffset;
    if (const std::optional<int> offset = dayOffset(unixTime)) {
        const qint64 local = unixTime + *offset;
        const qint64 days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
        day = QDate::fromJulianDay(unixEpochJulianDay + days);
        time = QTime::fromMSecsSinceStartOfDay(int(local - days * 86400) * 1000);
    } else {
        const QDateTime when = messageDateTime(date);
        day = when.date();
        time = when.time();
    }
}

std::optional<int> ShortDateTimeText::dayOffset(qint64 unixTime)
{
    const qint64 day = unixTime >= 0 ? unixTime / 86400 : (unixTime - 86399) / 86400;
    auto offset = m_offsets.constFind(day);
    if (offset == m_offsets.cend()) {
        // Zones change their offset at most twice a year, never twice within a day.
        const int first = QDateTime::fromSecsSinceEpoch(day * 86400).offsetFromUtc();
        const int middle = QDateTime::fromSecsSinceEpoch(day * 86400 + 43200).offsetFromUtc();
        const int last = QDateTime::fromSecsSinceEpoch(day * 86400 + 86399).offsetFromUtc();
        const bool constant = first == middle && middle == last;
        offset = m_offsets.insert(day, constant ? std::optional<int>(first) : std::nullopt);
    }
    return *offset;
}

QString ShortDateTimeText::minuteText(const QTime& time)
{
    const int minute = time.hour() * 60 + time.minute();
    auto minuteText = m_minutes.constFind(minute);
    if (minuteText == m_minutes.cend())
        minuteText = m_minutes.insert(minute, m_locale.toString(QTime(time.hour(), time.minute()), m_minuteFormat));
    if (m_secondsFields.isEmpty())
        return *minuteText;
    QString text;
    text.reserve(minuteText->size() + 4);
    qsizetype field = 0;
    for (const QChar c : *minuteText) {
        if (c == secondsMarker && field < m_seconds.size())
            text += m_seconds.at(field++).at(time.second());
        else
            text += c;
    }
    return text;
}

QString shortDateTimeText(int date)
{
    thread_local ShortDateTimeText texts;
    return texts.text(date);
}
