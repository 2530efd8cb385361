// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"

#include <iterator>
#include <limits>

// The columns of table `message` in table order (ROWID aside), as reading, writing and the upgrade
// use them: a new column is one more row here.

// How a column's value is held in _MsgMessage and read from a row.
enum class MessageColumnKind : quint8 {
    Int,
    Int64,
    Date, // seconds since 2001 in a 32-bit field
    Text,
    SharedText, // text whose values repeat from row to row (service, country, ...)
    Blob,
};

// When a writer stores the column (columns the upgrade adds are stored only where the table has them).
enum class MessageColumnWrite : quint8 {
    Always,
    NonEmpty,
    Positive,
};

// Where a written value comes from: the record's field, or a value the writer hands over.
enum class MessageColumnSource : quint8 {
    Field,
    HandleRowId,
    OtherHandleRowId,
    LogicHash,
};

// A date as a store holds it, in seconds since 2001-01-01 UTC. Stores written by newer phones count
// nanoseconds instead: any such value after the first two seconds of 2001 lies outside the 32-bit range
// that dates in seconds keep to, so a value outside it is taken as nanoseconds (and clamped to that range).
constexpr qint64 storedNanosecondsPerSecond = 1000000000;

constexpr bool isStoredInNanoseconds(qint64 stored)
{
    return stored < std::numeric_limits<qint32>::min() || stored > std::numeric_limits<qint32>::max();
}

constexpr int storedDateToSeconds(qint64 stored)
{
    constexpr qint64 low = std::numeric_limits<qint32>::min();
    constexpr qint64 high = std::numeric_limits<qint32>::max();
    if (!isStoredInNanoseconds(stored))
        return static_cast<int>(stored);
    constexpr qint64 perSecond = storedNanosecondsPerSecond;
    const qint64 seconds = stored / perSecond - (stored % perSecond < 0 ? 1 : 0);
    return static_cast<int>(seconds < low ? low : (seconds > high ? high : seconds));
}

// A date in seconds as a store that counts in nanoseconds, or in seconds, holds it.
constexpr qint64 secondsToStoredDate(int seconds, bool nanoseconds)
{
    return nanoseconds ? qint64(seconds) * storedNanosecondsPerSecond : qint64(seconds);
}

struct MessageColumn
{
    const char* name;
    MessageColumnKind kind;
    MessageColumnWrite write;
    // The type and default the upgrade adds the column with; null for columns every store has.
    const char* addedAs;
    MessageColumnSource source;
    // The record's field of the kind's type; all null for a column that is written but never read.
    int _MsgMessage::*intField;
    qint64 _MsgMessage::*int64Field;
    QString _MsgMessage::*textField;
    QByteArray _MsgMessage::*bytesField;
    // Or the field of the kind's type in the record's shared extras.
    int _MsgMessageExtras::*extraIntField;
    QString _MsgMessageExtras::*extraTextField;
    QByteArray _MsgMessageExtras::*extraBytesField;

    bool inExtras() const { return extraIntField || extraTextField || extraBytesField; }
    bool isRead() const { return intField || int64Field || textField || bytesField || inExtras(); }

    int intValue(const _MsgMessage& m) const { return intField ? m.*intField : m.extras().*extraIntField; }
    qint64 int64Value(const _MsgMessage& m) const { return m.*int64Field; }
    const QString& textValue(const _MsgMessage& m) const
    {
        return textField ? m.*textField : m.extras().*extraTextField;
    }
    const QByteArray& bytesValue(const _MsgMessage& m) const
    {
        return bytesField ? m.*bytesField : m.extras().*extraBytesField;
    }
};

namespace messagecolumns {

constexpr MessageColumn intColumn(const char* name, int _MsgMessage::*field,
    MessageColumnWrite write = MessageColumnWrite::Always, const char* addedAs = nullptr)
{
    return { name, MessageColumnKind::Int, write, addedAs, MessageColumnSource::Field, field, nullptr, nullptr, nullptr,
        nullptr, nullptr, nullptr };
}

constexpr MessageColumn intColumn(const char* name, int _MsgMessageExtras::*field,
    MessageColumnWrite write = MessageColumnWrite::Always, const char* addedAs = nullptr)
{
    return { name, MessageColumnKind::Int, write, addedAs, MessageColumnSource::Field, nullptr, nullptr, nullptr,
        nullptr, field, nullptr, nullptr };
}

constexpr MessageColumn dateColumn(const char* name, int _MsgMessage::*field, const char* addedAs = nullptr)
{
    return { name, MessageColumnKind::Date, MessageColumnWrite::Always, addedAs, MessageColumnSource::Field, field,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr };
}

constexpr MessageColumn dateColumn(const char* name, int _MsgMessageExtras::*field, const char* addedAs = nullptr)
{
    return { name, MessageColumnKind::Date, MessageColumnWrite::Always, addedAs, MessageColumnSource::Field, nullptr,
        nullptr, nullptr, nullptr, field, nullptr, nullptr };
}

constexpr MessageColumn textColumn(const char* name, QString _MsgMessage::*field,
    MessageColumnWrite write = MessageColumnWrite::Always, bool shared = false, const char* addedAs = nullptr)
{
    return { name, shared ? MessageColumnKind::SharedText : MessageColumnKind::Text, write, addedAs,
        MessageColumnSource::Field, nullptr, nullptr, field, nullptr, nullptr, nullptr, nullptr };
}

constexpr MessageColumn textColumn(const char* name, QString _MsgMessageExtras::*field,
    MessageColumnWrite write = MessageColumnWrite::Always, const char* addedAs = nullptr)
{
    return { name, MessageColumnKind::SharedText, write, addedAs, MessageColumnSource::Field, nullptr, nullptr, nullptr,
        nullptr, nullptr, field, nullptr };
}

constexpr MessageColumn sharedText(
    const char* name, QString _MsgMessage::*field, MessageColumnWrite write = MessageColumnWrite::Always)
{
    return textColumn(name, field, write, true);
}

constexpr MessageColumnWrite nonEmpty = MessageColumnWrite::NonEmpty;
// Inline like the table that points at them, so that every file refers to the same texts.
inline constexpr char laterInt[] = "INTEGER DEFAULT 0";
inline constexpr char laterPlain[] = "INTEGER";

} // namespace messagecolumns

inline constexpr MessageColumn messageColumnTable[] = {
    messagecolumns::textColumn("guid", &_MsgMessage::guid),
    messagecolumns::textColumn("text", &_MsgMessage::text),
    messagecolumns::intColumn("replace", &_MsgMessage::replace),
    messagecolumns::textColumn("service_center", &_MsgMessageExtras::service_center, messagecolumns::nonEmpty),
    { "handle_id", MessageColumnKind::Int64, MessageColumnWrite::Always, nullptr, MessageColumnSource::HandleRowId,
        nullptr, &_MsgMessage::handle_id, nullptr, nullptr, nullptr, nullptr, nullptr },
    messagecolumns::sharedText("subject", &_MsgMessage::subject, messagecolumns::nonEmpty),
    messagecolumns::sharedText("country", &_MsgMessage::country, messagecolumns::nonEmpty),
    { "attributedBody", MessageColumnKind::Blob, MessageColumnWrite::NonEmpty, nullptr, MessageColumnSource::Field,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &_MsgMessageExtras::attributedBody },
    messagecolumns::intColumn("version", &_MsgMessage::version),
    messagecolumns::intColumn("type", &_MsgMessage::type),
    messagecolumns::sharedText("service", &_MsgMessage::service),
    messagecolumns::sharedText("account", &_MsgMessage::account),
    messagecolumns::textColumn("account_guid", &_MsgMessageExtras::account_guid),
    messagecolumns::intColumn("error", &_MsgMessage::error),
    messagecolumns::dateColumn("date", &_MsgMessage::date),
    messagecolumns::dateColumn("date_read", &_MsgMessage::date_read),
    messagecolumns::dateColumn("date_delivered", &_MsgMessage::date_delivered),
    messagecolumns::intColumn("is_delivered", &_MsgMessage::is_delivered),
    messagecolumns::intColumn("is_finished", &_MsgMessage::is_finished),
    messagecolumns::intColumn("is_emote", &_MsgMessageExtras::is_emote),
    messagecolumns::intColumn("is_from_me", &_MsgMessage::is_from_me),
    messagecolumns::intColumn("is_empty", &_MsgMessageExtras::is_empty),
    messagecolumns::intColumn("is_delayed", &_MsgMessageExtras::is_delayed),
    messagecolumns::intColumn("is_auto_reply", &_MsgMessageExtras::is_auto_reply),
    messagecolumns::intColumn("is_prepared", &_MsgMessage::is_prepared),
    messagecolumns::intColumn("is_read", &_MsgMessage::is_read),
    messagecolumns::intColumn("is_system_message", &_MsgMessageExtras::is_system_message),
    messagecolumns::intColumn("is_sent", &_MsgMessage::is_sent),
    messagecolumns::intColumn("has_dd_results", &_MsgMessageExtras::has_dd_results),
    messagecolumns::intColumn("is_service_message", &_MsgMessageExtras::is_service_message),
    messagecolumns::intColumn("is_forward", &_MsgMessageExtras::is_forward),
    messagecolumns::intColumn("was_downgraded", &_MsgMessageExtras::was_downgraded),
    messagecolumns::intColumn("is_archive", &_MsgMessageExtras::is_archive),
    messagecolumns::intColumn("cache_has_attachments", &_MsgMessage::cache_has_attachments),
    messagecolumns::textColumn("cache_roomnames", &_MsgMessageExtras::cache_roomnames),
    messagecolumns::intColumn("was_data_detected", &_MsgMessage::was_data_detected),
    messagecolumns::intColumn("was_deduplicated", &_MsgMessageExtras::was_deduplicated),
    // Added by the upgrade, in this order, to stores made before them.
    messagecolumns::intColumn(
        "is_audio_message", &_MsgMessageExtras::is_audio_message, MessageColumnWrite::Always, messagecolumns::laterInt),
    messagecolumns::intColumn(
        "is_played", &_MsgMessageExtras::is_played, MessageColumnWrite::Always, messagecolumns::laterInt),
    messagecolumns::dateColumn("date_played", &_MsgMessageExtras::date_played, messagecolumns::laterPlain),
    messagecolumns::intColumn(
        "item_type", &_MsgMessage::item_type, MessageColumnWrite::Always, messagecolumns::laterInt),
    { "other_handle", MessageColumnKind::Int, MessageColumnWrite::Positive, "INTEGER DEFAULT -1",
        MessageColumnSource::OtherHandleRowId, &_MsgMessage::other_handle, nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr },
    messagecolumns::textColumn("group_title", &_MsgMessageExtras::group_title, messagecolumns::nonEmpty, "TEXT"),
    messagecolumns::intColumn("group_action_type", &_MsgMessageExtras::group_action_type, MessageColumnWrite::Always,
        messagecolumns::laterInt),
    messagecolumns::intColumn(
        "share_status", &_MsgMessageExtras::share_status, MessageColumnWrite::Always, messagecolumns::laterPlain),
    messagecolumns::intColumn(
        "share_direction", &_MsgMessageExtras::share_direction, MessageColumnWrite::Always, messagecolumns::laterPlain),
    messagecolumns::intColumn(
        "is_expirable", &_MsgMessageExtras::is_expirable, MessageColumnWrite::Always, messagecolumns::laterInt),
    messagecolumns::intColumn(
        "expire_state", &_MsgMessageExtras::expire_state, MessageColumnWrite::Always, messagecolumns::laterInt),
    messagecolumns::intColumn("message_action_type", &_MsgMessageExtras::message_action_type,
        MessageColumnWrite::Always, messagecolumns::laterInt),
    // The duplicate key; the writer computes it, reading leaves it out.
    { "logic_hash", MessageColumnKind::Text, MessageColumnWrite::Always, "TEXT", MessageColumnSource::LogicHash,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr },
};

inline constexpr int messageColumnCount = static_cast<int>(std::size(messageColumnTable));
static_assert(messageColumnCount <= 64, "writers key their statement texts by a 64-bit mask of written columns");
