// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <limits>
#include <optional>

class QDate;
struct _MsgMessage;

// Which messages a list, an export, a print or a delete takes: a date range, both ends included, and
// optionally one conversation. The window's filter bar and the command line's --since, --until and
// --chat both build one, so that the same dates and conversation pick the same messages.
struct MessageFilter
{
    // Seconds since 2001, as _MsgMessage::date.
    qint64 since = std::numeric_limits<qint64>::min();
    qint64 until = std::numeric_limits<qint64>::max();
    // The chat_identifier of the one conversation; empty for every conversation.
    QString chatIdentifier;

    bool hasDateRange() const
    {
        return since != std::numeric_limits<qint64>::min() || until != std::numeric_limits<qint64>::max();
    }
    bool isActive() const { return hasDateRange() || !chatIdentifier.isEmpty(); }

    bool admits(const _MsgMessage& message) const;
    // The messages admitted, in their order.
    QList<_MsgMessage*> apply(QList<_MsgMessage*> messages) const;

    // The first or the last second of a day in local time.
    static qint64 dayStart(const QDate& day);
    static qint64 dayEnd(const QDate& day);
    // A bound given as "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]" in local time. A day is taken whole:
    // from its first second as a lower bound, to its last as an upper one; an upper bound given to
    // the minute runs to that minute's end. Nothing when the text is no such date.
    static std::optional<qint64> parseBound(const QString& text, bool upper);
};
