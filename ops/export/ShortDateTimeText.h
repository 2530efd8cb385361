// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/ByteBuffer.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QString>

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// Values by day since 1970 over every day a message date (seconds from 2001 in an int) can fall on,
// in local time or UTC, kept in blocks made on first use: a lookup is an index, not a hash. A day
// outside that span has no place (nullptr).
template <typename T> class DayTable
{
public:
    T* find(qint64 day)
    {
        const qint64 index = day - firstDay;
        if (index < 0 || index >= blockSize * blockCount)
            return nullptr;
        std::unique_ptr<T[]>& block = m_blocks[size_t(index / blockSize)];
        if (!block)
            block = std::make_unique<T[]>(size_t(blockSize));
        return &block[size_t(index % blockSize)];
    }

private:
    // From 1932 to 2072, a little more than the dates of an int allow.
    static constexpr qint64 firstDay = -13610;
    static constexpr qint64 blockSize = 512;
    static constexpr qint64 blockCount = 100;
    std::array<std::unique_ptr<T[]>, blockCount> m_blocks;
};

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
    // Appends the text of the date to `out`, without a string of its own.
    void appendText(QString& out, int date);
    // Appends the same text as UTF-8.
    void appendUtf8(ByteBuffer& out, int date);
    // The local day and time of a message date.
    void localDayAndTime(int date, QDate& day, QTime& time);
    // Appends the local day and time as "yyyy-MM-dd HH:mm" in UTF-8, whatever the locale.
    void appendFixedUtf8(ByteBuffer& out, int date);

private:
    // The local day (counted from 1970-01-01) and second of that day of a message date.
    void localDayAndSecond(int date, qint64& day, int& second);
    const QString& dayText(qint64 localDay);
    // Where the UTF-8 text of the local day lies in m_dayBytes, formatted on first use.
    struct TextPlace
    {
        qint32 at = -1; // none yet
        qint32 size = 0;
    };
    TextPlace dayUtf8(qint64 localDay);
    const QString& minuteText(int minute);
    void appendMinuteText(QString& out, int secondOfDay);
    void appendMinuteUtf8(ByteBuffer& out, int secondOfDay);
    void parseNumericDate();
    // Appends the day formatted with m_numericDate; false, appending nothing, when the day lies
    // outside what it handles.
    bool formatNumericDate(ByteBuffer& out, qint64 localDay) const;
    // The local offset from UTC throughout the UTC day holding the Unix time, or none when it
    // changes within that day. Converting each date to local time asks the C library, which looks
    // at the zone file on every call.
    std::optional<int> dayOffset(qint64 unixTime);

    QLocale m_locale;
    bool m_joinParts = false;
    QString m_dateFormat;
    QString m_minuteFormat; // the time format with each seconds field replaced by a marker
    QStringList m_secondsFields; // the seconds fields, in order
    QHash<qint64, QString> m_days; // by day since 1970
    QList<QString> m_minutes; // by minute of the day; markers where the seconds go
    struct DayOffset
    {
        bool known = false;
        std::optional<int> offset;
    };
    DayTable<DayOffset> m_offsets; // by UTC day
    QList<QStringList> m_seconds; // per seconds field, the text of each second
    // A date format of day, month and year fields and other characters only, formatted here rather
    // than by the locale; empty when the locale's format or digits need the locale.
    struct DateField
    {
        char field; // 'd', 'M' or 'y'; 0 for the text
        int width; // of the number, its missing digits written as zeros
        QByteArray text;
    };
    std::vector<DateField> m_numericDate;
    QByteArray m_monthNames[2][13]; // short and long, by month
    QByteArray m_dayNames[2][8]; // short and long, by day of the week
    // The UTF-8 texts of the days met so far, one after the other, and where each day's text lies:
    // a day costs a few bytes, not a string of its own, as a long list meets a new day every few
    // messages.
    ByteBuffer m_dayBytes;
    DayTable<TextPlace> m_daysUtf8; // by local day
    qint64 m_lastUtf8Day = std::numeric_limits<qint64>::min();
    TextPlace m_lastDayUtf8;
    // The minute texts in UTF-8 in the same way: per minute of the day, the pieces between its
    // seconds fields, one after the other from `at` on.
    static constexpr int maxSecondsFields = 2;
    struct MinutePieces
    {
        qint32 at = -1; // none yet
        qint16 sizes[maxSecondsFields + 1] = {};
    };
    ByteBuffer m_timeBytes;
    std::vector<MinutePieces> m_minutePieces;
    std::vector<TextPlace> m_secondsUtf8; // per seconds field, 60 texts
    // Dates come mostly in order: the last day looked up, for both caches.
    qint64 m_lastDay = std::numeric_limits<qint64>::min();
    const QString* m_lastDayText = nullptr;
    qint64 m_lastOffsetDay = std::numeric_limits<qint64>::min();
    std::optional<int> m_lastOffset;
};

// The text of a message date as above, with the caches of the calling thread.
QString shortDateTimeText(int date);
// Appends that text to `out`.
void appendShortDateTimeText(QString& out, int date);
// Appends that text as UTF-8.
void appendShortDateTimeUtf8(ByteBuffer& out, int date);
// The local day and time of a message date, from the same caches.
void localMessageDayAndTime(int date, QDate& day, QTime& time);
// Appends the local day and time as "yyyy-MM-dd HH:mm" in UTF-8, from the same caches.
void appendFixedDateTimeUtf8(ByteBuffer& out, int date);
