// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QLocale>
#include <QString>

#include <optional>

// The local time of message dates in the system locale's short date and time format, as the
// exports and printing show it. Formatting through the locale parses the format on every call,
// which costs more than the rest of an exported line. When the format is the date format, a space
// and the time format, each day and each minute of the day is formatted once, the seconds apart,
// and the parts are joined: the same text.
class ShortDateTimeText
{
public:
    explicit ShortDateTimeText(const QLocale& locale = QLocale::system());

    QString text(int date);
    // The local day and time of a message date.
    void localDayAndTime(int date, QDate& day, QTime& time);

private:
    QString minuteText(const QTime& time);
    // The local offset from UTC throughout the UTC day holding the Unix time, or none when it
    // changes within that day. Converting each date to local time asks the C library, which looks
    // at the zone file on every call.
    std::optional<int> dayOffset(qint64 unixTime);

    QLocale m_locale;
    bool m_joinParts = false;
    QString m_dateFormat;
    QString m_minuteFormat; // the time format with each seconds field replaced by a marker
    QStringList m_secondsFields; // the seconds fields, in order
    QHash<qint64, QString> m_days; // by Julian day
    QHash<int, QString> m_minutes; // by minute of the day; markers where the seconds go
    QHash<qint64, std::optional<int>> m_offsets; // by day since 1970
    QList<QStringList> m_seconds; // per seconds field, the text of each second
};

// The text of a message date as above, with the caches of the calling thread.
QString shortDateTimeText(int date);
