// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ShortDateTimeText.h"

#include "message/MessageText.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr QChar secondsMarker(0x0001);
constexpr qint64 unixEpochJulianDay = 2440588;
constexpr int secondsPerDay = 86400;
constexpr int minutesPerDay = 1440;

qint64 dayOf(qint64 seconds)
{
    return seconds >= 0 ? seconds / secondsPerDay : (seconds - (secondsPerDay - 1)) / secondsPerDay;
}

// The local offset from UTC at the Unix time, as the toolkit's local time has it. On Unix the
// toolkit asks localtime_r after tzset, which reads the zone file's state on every call; the zone
// is read once per cache instead (see the constructor).
int offsetAt(qint64 unixTime)
{
#ifdef Q_OS_UNIX
    // Before 1970 the toolkit applies its own rule (no summer time); it answers for those times.
    const time_t when = time_t(unixTime);
    tm local {};
    if (unixTime >= 0 && qint64(when) == unixTime && localtime_r(&when, &local))
        return int(local.tm_gmtoff);
#endif
    return QDateTime::fromSecsSinceEpoch(unixTime).offsetFromUtc();
}

// Appends the number (not negative) with at least `width` digits, zeros in front, written in
// place from its last digit back.
void appendNumber(ByteBuffer& out, int number, int width)
{
    int digits = 1;
    for (int rest = number / 10; rest > 0; rest /= 10)
        ++digits;
    const int size = std::max(digits, width);
    char* const room = out.room(size);
    char* digit = room + size;
    do {
        *--digit = char('0' + number % 10);
        number /= 10;
    } while (digit != room);
    out.setEnd(room + size);
}

// The proleptic Gregorian year, month and day of a day counted from 1970-01-01, as QDate has them.
void civilDate(qint64 day, int& year, int& month, int& dayOfMonth)
{
    // Counted in eras of 400 years from 0000-03-01, so that a leap day ends its year.
    day += 719468;
    const qint64 era = (day >= 0 ? day : day - 146096) / 146097;
    const qint64 dayOfEra = day - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
    dayOfMonth = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// Monday 1 to Sunday 7; 1970-01-01 was a Thursday.
int dayOfWeek(qint64 day)
{
    return int(((day % 7) + 10) % 7) + 1;
}

void appendBytes(ByteBuffer& out, const QByteArray& bytes)
{
    out.append(bytes.constData(), bytes.size());
}

} // namespace

ShortDateTimeText::ShortDateTimeText(const QLocale& locale)
    : m_locale(locale)
    , m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat))
    , m_minutes(minutesPerDay)
{
#ifdef Q_OS_UNIX
    tzset();
#endif
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
        for (int second = 0; second < 60; ++second) {
            texts.append(m_locale.toString(QTime(0, 0, second), field));
            const QByteArray utf8 = texts.last().toUtf8();
            m_secondsUtf8.push_back({ qint32(m_timeBytes.size()), qint32(utf8.size()) });
            appendBytes(m_timeBytes, utf8);
        }
        m_seconds.append(texts);
    }
    m_minutePieces.resize(minutesPerDay);
    parseNumericDate();
}

void ShortDateTimeText::parseNumericDate()
{
    // The locale formats a day from a pattern it parses on every call. A pattern made only of day,
    // month and year numbers and plain characters is taken apart once here instead. Names of days
    // and months and quoted text stay with the locale, and so does any locale whose digits or
    // forms differ from these on a few sample days.
    QString text;
    const auto endText = [this, &text] {
        if (!text.isEmpty())
            m_numericDate.push_back({ 0, 0, text.toUtf8() });
        text.clear();
    };
    const QString& format = m_dateFormat;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype repeat = 1;
        while (i + repeat < format.size() && format.at(i + repeat) == c)
            ++repeat;
        if (c == QLatin1Char('\'')) {
            m_numericDate.clear();
            return;
        }
        if (c == QLatin1Char('d') || c == QLatin1Char('M')) {
            // Four letters at most make one field; the names of days and months come from the
            // locale once each.
            const int width = int(std::min<qsizetype>(repeat, 4));
            endText();
            m_numericDate.push_back({ char(c.unicode()), width, {} });
            i += width;
        } else if (c == QLatin1Char('y') && repeat >= 2) {
            endText();
            const int width = repeat >= 4 ? 4 : 2;
            m_numericDate.push_back({ 'y', width, {} });
            i += width;
        } else {
            text += format.mid(i, repeat);
            i += repeat;
        }
    }
    endText();

    for (int month = 1; month <= 12; ++month) {
        for (int length = 3; length <= 4; ++length) {
            const QString field(length, QLatin1Char('M'));
            m_monthNames[length - 3][month] = m_locale.toString(QDate(2001, month, 1), field).toUtf8();
        }
    }
    for (int weekday = 1; weekday <= 7; ++weekday) {
        // 2001-01-01 was a Monday.
        for (int length = 3; length <= 4; ++length) {
            const QString field(length, QLatin1Char('d'));
            m_dayNames[length - 3][weekday] = m_locale.toString(QDate(2001, 1, weekday), field).toUtf8();
        }
    }
    // Every month and every day of the week, one- and two-digit days and months, every digit.
    QList<QDate> samples;
    for (int month = 1; month <= 12; ++month)
        samples.append(QDate(1934 + month * 11, month, month * 2 + 3));
    for (int day = 5; day < 12; ++day)
        samples.append(QDate(2013, 1, day));
    samples.append(QDate(2069, 12, 31));
    for (const QDate& day : std::as_const(samples)) {
        ByteBuffer formatted;
        if (!formatNumericDate(formatted, day.toJulianDay() - unixEpochJulianDay)
            || QByteArray(formatted.data(), formatted.size()) != m_locale.toString(day, m_dateFormat).toUtf8()) {
            m_numericDate.clear();
            return;
        }
    }
}

bool ShortDateTimeText::formatNumericDate(ByteBuffer& out, qint64 localDay) const
{
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    civilDate(localDay, year, month, dayOfMonth);
    if (m_numericDate.empty() || year < 1 || year > 9999)
        return false;
    for (const DateField& part : m_numericDate) {
        switch (part.field) {
        case 'd':
            if (part.width <= 2)
                appendNumber(out, dayOfMonth, part.width);
            else
                appendBytes(out, m_dayNames[part.width - 3][dayOfWeek(localDay)]);
            break;
        case 'M':
            if (part.width <= 2)
                appendNumber(out, month, part.width);
            else
                appendBytes(out, m_monthNames[part.width - 3][month]);
            break;
        case 'y':
            appendNumber(out, part.width == 2 ? year % 100 : year, part.width);
            break;
        default:
            appendBytes(out, part.text);
        }
    }
    return true;
}

QString ShortDateTimeText::text(int date)
{
    QString out;
    appendText(out, date);
    return out;
}

void ShortDateTimeText::appendText(QString& out, int date)
{
    if (!m_joinParts) {
        out += m_locale.toString(messageDateTime(date), QLocale::ShortFormat);
        return;
    }
    qint64 day = 0;
    int second = 0;
    localDayAndSecond(date, day, second);
    out += dayText(day);
    out += QLatin1Char(' ');
    appendMinuteText(out, second);
}

void ShortDateTimeText::appendUtf8(ByteBuffer& out, int date)
{
    if (!m_joinParts) {
        out.append(m_locale.toString(messageDateTime(date), QLocale::ShortFormat).toUtf8());
        return;
    }
    qint64 day = 0;
    int second = 0;
    localDayAndSecond(date, day, second);
    const TextPlace dayText = dayUtf8(day);
    if (dayText.at >= 0)
        out.append(m_dayBytes.data() + dayText.at, dayText.size);
    else if (!formatNumericDate(out, day))
        appendBytes(out, this->dayText(day).toUtf8());
    out.append(" ", 1);
    appendMinuteUtf8(out, second);
}

void ShortDateTimeText::appendFixedUtf8(ByteBuffer& out, int date)
{
    qint64 localDay = 0;
    int second = 0;
    localDayAndSecond(date, localDay, second);
    const QDate day = QDate::fromJulianDay(unixEpochJulianDay + localDay);
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    day.getDate(&year, &month, &dayOfMonth);
    if (year < 0 || year > 9999) {
        out.append((day.toString(u"yyyy-MM-dd") + QLatin1Char(' ')
            + QTime::fromMSecsSinceStartOfDay(second * 1000).toString(u"HH:mm"))
                       .toUtf8());
        return;
    }
    appendNumber(out, year, 4);
    out.append("-", 1);
    appendNumber(out, month, 2);
    out.append("-", 1);
    appendNumber(out, dayOfMonth, 2);
    out.append(" ", 1);
    appendNumber(out, second / 3600, 2);
    out.append(":", 1);
    appendNumber(out, second / 60 % 60, 2);
}

void ShortDateTimeText::localDayAndTime(int date, QDate& day, QTime& time)
{
    qint64 localDay = 0;
    int second = 0;
    localDayAndSecond(date, localDay, second);
    day = QDate::fromJulianDay(unixEpochJulianDay + localDay);
    time = QTime::fromMSecsSinceStartOfDay(second * 1000);
}

void ShortDateTimeText::localDayAndSecond(int date, qint64& day, int& second)
{
    const qint64 unixTime = qint64(date) + messageDateOffset;
    if (const std::optional<int> offset = dayOffset(unixTime)) {
        const qint64 local = unixTime + *offset;
        day = dayOf(local);
        second = int(local - day * secondsPerDay);
    } else {
        const QDateTime when = messageDateTime(date);
        day = when.date().toJulianDay() - unixEpochJulianDay;
        second = when.time().msecsSinceStartOfDay() / 1000;
    }
}

const QString& ShortDateTimeText::dayText(qint64 localDay)
{
    if (localDay == m_lastDay)
        return *m_lastDayText;
    auto text = m_days.find(localDay);
    if (text == m_days.end())
        text = m_days.insert(
            localDay, m_locale.toString(QDate::fromJulianDay(unixEpochJulianDay + localDay), m_dateFormat));
    m_lastDay = localDay;
    m_lastDayText = &text.value();
    return *m_lastDayText;
}

ShortDateTimeText::TextPlace ShortDateTimeText::dayUtf8(qint64 localDay)
{
    if (localDay == m_lastUtf8Day)
        return m_lastDayUtf8;
    TextPlace* place = m_daysUtf8.find(localDay);
    // Outside the span of message dates: the caller formats the day on its own.
    if (!place)
        return {};
    if (place->at < 0) {
        const qsizetype at = m_dayBytes.size();
        if (!formatNumericDate(m_dayBytes, localDay))
            appendBytes(m_dayBytes, dayText(localDay).toUtf8());
        place->at = qint32(at);
        place->size = qint32(m_dayBytes.size() - at);
    }
    m_lastUtf8Day = localDay;
    m_lastDayUtf8 = *place;
    return *place;
}

const QString& ShortDateTimeText::minuteText(int minute)
{
    QString& text = m_minutes[minute];
    if (text.isNull())
        text = m_locale.toString(QTime(minute / 60, minute % 60), m_minuteFormat);
    return text;
}

void ShortDateTimeText::appendMinuteUtf8(ByteBuffer& out, int secondOfDay)
{
    const int minute = secondOfDay / 60;
    const qsizetype fields = m_secondsFields.size();
    MinutePieces& pieces = m_minutePieces[size_t(minute)];
    if (pieces.at < 0 && fields <= maxSecondsFields) {
        // The minute's text in the pieces between its seconds fields.
        const QByteArray utf8 = minuteText(minute).toUtf8();
        const QList<QByteArray> split = utf8.split(char(secondsMarker.unicode()));
        if (split.size() == fields + 1) {
            pieces.at = qint32(m_timeBytes.size());
            for (qsizetype piece = 0; piece <= fields; ++piece) {
                appendBytes(m_timeBytes, split.at(piece));
                pieces.sizes[piece] = qint16(split.at(piece).size());
            }
        }
    }
    // A format whose seconds this does not take apart is joined through the locale's texts.
    if (pieces.at < 0) {
        QString text;
        appendMinuteText(text, secondOfDay);
        appendBytes(out, text.toUtf8());
        return;
    }
    const char* piece = m_timeBytes.data() + pieces.at;
    out.append(piece, pieces.sizes[0]);
    piece += pieces.sizes[0];
    const int second = secondOfDay % 60;
    for (qsizetype field = 1; field <= fields; ++field) {
        const TextPlace seconds = m_secondsUtf8[size_t((field - 1) * 60 + second)];
        out.append(m_timeBytes.data() + seconds.at, seconds.size);
        out.append(piece, pieces.sizes[field]);
        piece += pieces.sizes[field];
    }
}

void ShortDateTimeText::appendMinuteText(QString& out, int secondOfDay)
{
    const QString& minuteText = this->minuteText(secondOfDay / 60);
    if (m_secondsFields.isEmpty()) {
        out += minuteText;
        return;
    }
    const int second = secondOfDay % 60;
    qsizetype run = 0;
    for (qsizetype field = 0; field < m_seconds.size(); ++field) {
        const qsizetype marker = minuteText.indexOf(secondsMarker, run);
        if (marker < 0)
            break;
        out.append(minuteText.constData() + run, marker - run);
        out += m_seconds.at(field).at(second);
        run = marker + 1;
    }
    out.append(minuteText.constData() + run, minuteText.size() - run);
}

std::optional<int> ShortDateTimeText::dayOffset(qint64 unixTime)
{
    const qint64 day = dayOf(unixTime);
    if (day == m_lastOffsetDay)
        return m_lastOffset;
    DayOffset* entry = m_offsets.find(day);
    // Outside the span of message dates: the caller converts this date on its own.
    if (!entry)
        return std::nullopt;
    if (!entry->known) {
        // Zones change their offset at most twice a year, never twice within a day. When the day
        // before is known to keep one offset, that offset stands for the first second of this day:
        // a change at midnight then only makes the day look changing, which is merely slower.
        const qint64 start = day * secondsPerDay;
        const DayOffset* before = m_offsets.find(day - 1);
        const int first = before && before->known && before->offset ? *before->offset : offsetAt(start);
        const int middle = offsetAt(start + secondsPerDay / 2);
        const int last = offsetAt(start + secondsPerDay - 1);
        const bool constant = first == middle && middle == last;
        entry->offset = constant ? std::optional<int>(first) : std::nullopt;
        entry->known = true;
    }
    m_lastOffsetDay = day;
    m_lastOffset = entry->offset;
    return m_lastOffset;
}

QString shortDateTimeText(int date)
{
    QString out;
    appendShortDateTimeText(out, date);
    return out;
}

namespace {

ShortDateTimeText& threadTexts()
{
    thread_local ShortDateTimeText texts;
    return texts;
}

} // namespace

void appendShortDateTimeText(QString& out, int date)
{
    threadTexts().appendText(out, date);
}

void appendShortDateTimeUtf8(ByteBuffer& out, int date)
{
    threadTexts().appendUtf8(out, date);
}

void localMessageDayAndTime(int date, QDate& day, QTime& time)
{
    threadTexts().localDayAndTime(date, day, time);
}

void appendFixedDateTimeUtf8(ByteBuffer& out, int date)
{
    threadTexts().appendFixedUtf8(out, date);
}
