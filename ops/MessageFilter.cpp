// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/MessageFilter.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"

#include <QDateTime>
#include <QRegularExpression>

bool MessageFilter::admits(const _MsgMessage& message) const
{
    if (message.date < since || message.date > until)
        return false;
    return chatIdentifier.isEmpty() || (message.chat && message.chat->chat_identifier == chatIdentifier);
}

QList<_MsgMessage*> MessageFilter::apply(QList<_MsgMessage*> messages) const
{
    if (isActive())
        messages.removeIf([this](const _MsgMessage* message) { return !admits(*message); });
    return messages;
}

qint64 MessageFilter::dayStart(const QDate& day)
{
    return day.startOfDay().toSecsSinceEpoch() - messageDateOffset;
}

qint64 MessageFilter::dayEnd(const QDate& day)
{
    return day.endOfDay().toSecsSinceEpoch() - messageDateOffset;
}

std::optional<qint64> MessageFilter::parseBound(const QString& text, bool upper)
{
    // Parsed by hand: QDate::fromString takes any text that starts with a date and ignores the rest,
    // a time of day or "T25:00" included.
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})(?:T([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate day(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    if (match.capturedLength(4) == 0)
        return upper ? dayEnd(day) : dayStart(day);
    const QTime clock(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!clock.isValid())
        return std::nullopt;
    QDateTime time(day, clock);
    // A time that a change to summer time skips is not a time of this place.
    if (!time.isValid())
        return std::nullopt;
    if (upper && match.capturedLength(6) == 0)
        time = time.addSecs(59);
    return time.toSecsSinceEpoch() - messageDateOffset;
}
