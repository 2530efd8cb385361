// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QLocale>
#include <QString>

// The local time of message dates in the system locale's short date and time format, as the
// exports and printing show it. Formatting through the locale parses the format on every call;
// when the format is the date format, a space and the time format, each day and each time of day
// is formatted once and the parts are joined, which gives the same text.
class ShortDateTimeText
{
public:
    ShortDateTimeText();

    QString text(int date);

private:
    QLocale m_locale;
    bool m_joinParts = false;
    QString m_dateFormat;
    QString m_timeFormat;
    QHash<qint64, QString> m_days; // by Julian day
    QHash<int, QString> m_times; // by second of the day
};
