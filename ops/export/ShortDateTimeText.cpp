// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ShortDateTimeText.h"

#include "message/MessageText.h"

ShortDateTimeText::ShortDateTimeText()
    : m_locale(QLocale::system())
    , m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat))
    , m_timeFormat(m_locale.timeFormat(QLocale::ShortFormat))
{
    // A time zone in the format depends on the whole date-time; such formats are not split.
    m_joinParts = m_locale.dateTimeFormat(QLocale::ShortFormat) == m_dateFormat + QLatin1Char(' ') + m_timeFormat
        && !m_timeFormat.contains(QLatin1Char('t'));
}

QString ShortDateTimeText::text(int date)
{
    const QDateTime when = messageDateTime(date);
    if (!m_joinParts)
        return m_locale.toString(when, QLocale::ShortFormat);
    const QDate day = when.date();
    const QTime time = when.time();
    auto dayText = m_days.constFind(day.toJulianDay());
    if (dayText == m_days.cend())
        dayText = m_days.insert(day.toJulianDay(), m_locale.toString(day, m_dateFormat));
    const int second = time.msecsSinceStartOfDay() / 1000;
    auto timeText = m_times.constFind(second);
    if (timeText == m_times.cend())
        timeText = m_times.insert(second, m_locale.toString(time, m_timeFormat));
    return *dayText + QLatin1Char(' ') + *timeText;
}
