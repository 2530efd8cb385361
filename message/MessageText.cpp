// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageText.h"

#include <QLocale>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

constexpr quint64 rowIdTolerance = 20;
constexpr quint64 secondsTolerance = 120;

// Absolute difference without overflow, even for row ids at the ends of the 64-bit range.
quint64 distance(qint64 a, qint64 b)
{
    return a > b ? quint64(a) - quint64(b) : quint64(b) - quint64(a);
}

// Sorted by the records' row ids; records without one (built in memory, not read from a store) keep
// the map's key order among themselves, so the result is the same on every run.
template <typename Record> QList<const Record*> inRowIdOrder(QList<const Record*> records)
{
    std::stable_sort(
        records.begin(), records.end(), [](const Record* a, const Record* b) { return a->rowid < b->rowid; });
    return records;
}

QString eventDateText(int date)
{
    // Only the month name follows the user's locale. Day, year and time are written with ASCII digits
    // whatever the locale's digits are, so that a line never mixes two digit systems.
    const QDateTime when = messageDateTime(date);
    const QLocale ascii = QLocale::c();
    return ascii.toString(when, QStringLiteral("dd")) + QLatin1Char(' ')
        + QLocale::system().monthName(when.date().month(), QLocale::ShortFormat) + QLatin1Char(' ')
        + ascii.toString(when, QStringLiteral("yyyy h:m AP"));
}

QString eventPartyName(const _MsgHandle* handle)
{
    return handle ? handleDisplayName(*handle, false) : QStringLiteral("You");
}

} // namespace

QString attachmentTag(const QString& mimeType)
{
    if (mimeType.startsWith(QLatin1String("image/"), Qt::CaseInsensitive))
        return QStringLiteral(" [IMAGE]");
    if (mimeType.startsWith(QLatin1String("video/"), Qt::CaseInsensitive))
        return QStringLiteral(" [VIDEO]");
    if (mimeType.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
        return QStringLiteral(" [AUDIO]");
    if (mimeType.compare(QLatin1String("text/x-vCard"), Qt::CaseInsensitive) == 0
        || mimeType.compare(QLatin1String("text/vcard"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(" [VCARD]");
    return QStringLiteral(" [ATTA]");
}

namespace {

// Symbols outside U+E000..U+E537 that the first emoji pass replaces, sorted for binary search.
constexpr char16_t emojiSymbols[] = { 0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB,
    0x23EC, 0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B, 0x2693, 0x26AA,
    0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744, 0x2747, 0x274E, 0x2795, 0x2796, 0x2797,
    0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030 };

bool isSingleUnitEmoji(char16_t unit)
{
    if (unit < emojiSymbols[0])
        return false;
    if (unit >= 0xE000)
        return unit <= 0xE537;
    if (unit > emojiSymbols[std::size(emojiSymbols) - 1])
        return false;
    return std::binary_search(std::begin(emojiSymbols), std::end(emojiSymbols), unit);
}

bool isEmojiLead(char16_t unit)
{
    return unit == 0xD83C || unit == 0xD83D;
}

QString hexCode(uint codePoint)
{
    return QString::number(codePoint, 16).toUpper();
}

// The text is scanned per UTF-16 code unit rather than with a regular expression: the second
// pass must see lone surrogates and line feeds, which a Unicode-aware matcher rejects or skips.
// `replace` receives the code point and returns its replacement text.
template <typename Replace> QString replaceSingleUnits(const QString& text, const Replace& replace)
{
    const auto isEmoji = [](QChar c) { return isSingleUnitEmoji(c.unicode()); };
    const QChar* const end = text.constData() + text.size();
    const QChar* emoji = std::find_if(text.constData(), end, isEmoji);
    if (emoji == end)
        return text;
    QString result;
    result.reserve(text.size() + 16);
    const QChar* run = text.constData();
    while (emoji != end) {
        result.append(run, emoji - run);
        result.append(replace(uint(emoji->unicode())));
        run = emoji + 1;
        emoji = std::find_if(run, end, isEmoji);
    }
    result.append(run, end - run);
    return result;
}

template <typename Replace> QString replaceLeadPairs(const QString& text, const Replace& replace)
{
    const QChar* const units = text.constData();
    const qsizetype size = text.size();
    QString result;
    qsizetype run = 0;
    qsizetype i = 0;
    for (;;) {
        // A lead counts only with a unit after it; any unit does, as the pattern's "." does.
        while (i + 1 < size && !isEmojiLead(units[i].unicode()))
            ++i;
        if (i + 1 >= size)
            break;
        if (result.isNull())
            result.reserve(size + 16);
        result.append(units + run, i - run);
        // The formula is applied as is, whatever the unit after the lead.
        const qint64 codePoint
            = (qint64(units[i].unicode()) - 0xD800) * 1024 + (qint64(units[i + 1].unicode()) - 0xDC00) + 0x10000;
        result.append(replace(uint(codePoint)));
        i += 2;
        run = i;
    }
    if (run == 0)
        return text;
    result.append(units + run, size - run);
    return result;
}

// Whether the text holds a character that the bidirectional algorithm lets move the text beside it:
// a letter or digit written right to left, or a directional control of its own.
bool needsDirectionIsolates(const QString& text)
{
    for (const char32_t codePoint : QStringView(text).toUcs4()) {
        switch (QChar::direction(codePoint)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

// U+2068 FIRST STRONG ISOLATE ... U+2069 POP DIRECTIONAL ISOLATE: the part takes the direction of
// its own first letter and closes whatever embedding it opens, without moving its neighbours.
QString isolated(const QString& part, bool isolate)
{
    if (!isolate)
        return part;
    return QChar(0x2068) + part + QChar(0x2069);
}

QString handleName(const _MsgHandle& handle, bool withNumber, bool isolate)
{
    if (handle._ct_name.isEmpty())
        return isolated(handle.id, isolate);
    if (!withNumber)
        return isolated(handle._ct_name, isolate);
    return QStringLiteral("%1 (%2)").arg(isolated(handle._ct_name, isolate), isolated(handle.id, isolate));
}

QString chatName(const _MsgChat& chat, bool withNumbers, bool isolate)
{
    if (!chat.display_name.isEmpty())
        return isolated(chat.display_name, isolate);
    const QList<const _MsgHandle*> participants = orderedHandles(chat);
    if (participants.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    names.reserve(participants.size());
    for (const _MsgHandle* handle : participants)
        names.append(handleName(*handle, withNumbers, isolate));
    return names.join(QLatin1String(", "));
}

// The comparison of messageLessThan on the two fields it reads.
bool orderKeyLessThan(qint64 rowIdA, int dateA, qint64 rowIdB, int dateB)
{
    if (distance(rowIdA, rowIdB) > rowIdTolerance)
        return dateA < dateB;
    if (distance(dateA, dateB) > secondsTolerance)
        return dateA < dateB;
    return rowIdA < rowIdB;
}

template <typename Pointer>
void sortMessageList(QList<Pointer>& messages, bool ascending, const std::function<void()>& checkpoint)
{
    // The sort reads only the date and the read row id; copied beside each pointer they are read
    // from one small array instead of from records a cache miss apart, which made a sort of a
    // million messages take seconds. The comparison answers as on the records, so the order is the
    // same.
    struct Keyed
    {
        qint64 readRowId;
        int date;
        Pointer message;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(messages.size()));
    for (Pointer message : std::as_const(messages))
        keyed.push_back({ message->readRowId, message->date, message });
    quint64 comparisons = 0;
    const auto tick = [&] {
        if (checkpoint && ++comparisons % 65536 == 0)
            checkpoint();
    };
    // A stable merge sort never reads outside the list whatever the comparison answers; the
    // descending order compares b with a, so messages neither before nor after each other stay put.
    if (ascending) {
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
            tick();
            return orderKeyLessThan(a.readRowId, a.date, b.readRowId, b.date);
        });
    } else {
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
            tick();
            return orderKeyLessThan(b.readRowId, b.date, a.readRowId, a.date);
        });
    }
    for (size_t i = 0; i < keyed.size(); ++i)
        messages[qsizetype(i)] = keyed[i].message;
}

} // namespace

namespace {
QString displayText(const _MsgMessage& message, EmojiText emoji, bool withTags);
} // namespace

QDateTime messageDateTime(int date)
{
    return QDateTime::fromSecsSinceEpoch(qint64(date) + messageDateOffset);
}

QList<const _MsgHandle*> orderedHandles(const _MsgChat& chat)
{
    QList<const _MsgHandle*> handles;
    handles.reserve(chat.handles.size());
    for (const _MsgHandle* handle : chat.handles) {
        if (handle)
            handles.append(handle);
    }
    return inRowIdOrder(std::move(handles));
}

QList<const _MsgAttachment*> orderedAttachments(const _MsgMessage& message)
{
    QList<const _MsgAttachment*> attachments;
    attachments.reserve(message.attachments.size());
    for (const _MsgAttachment& attachment : message.attachments)
        attachments.append(&attachment);
    return inRowIdOrder(std::move(attachments));
}

QString handleDisplayName(const _MsgHandle& handle, bool withNumber)
{
    return handleName(handle, withNumber, false);
}

QString chatDisplayName(const _MsgChat& chat, bool withNumbers)
{
    return chatName(chat, withNumbers, false);
}

QString chatDisplayNameIsolated(const _MsgChat& chat, bool withNumbers)
{
    QString name = chatName(chat, withNumbers, false);
    if (needsDirectionIsolates(name))
        name = chatName(chat, withNumbers, true);
    return name;
}

QString handleDisplayNameIsolated(const _MsgHandle& handle, bool withNumber)
{
    QString name = handleName(handle, withNumber, false);
    if (needsDirectionIsolates(name))
        name = handleName(handle, withNumber, true);
    return name;
}

bool isGroupChat(const _MsgChat& chat)
{
    return chat.handles.size() > 1;
}

QString messageContactText(const _MsgMessage& message)
{
    if (!message.chat)
        return QStringLiteral("unknown");
    const _MsgHandle* sender = isGroupChat(*message.chat) ? message.handle : nullptr;
    const auto text = [&](bool isolate) {
        QString text = chatName(*message.chat, true, isolate);
        if (sender)
            text += QStringLiteral(" (%1)").arg(
                isolated(sender->_ct_name.isEmpty() ? sender->id : sender->_ct_name, isolate));
        return text;
    };
    const QString plain = text(false);
    return needsDirectionIsolates(plain) ? text(true) : plain;
}

QString stripObjectReplacement(const QString& text)
{
    if (!text.contains(QChar(0xFFFC)))
        return text;
    QString result = text;
    result.remove(QChar(0xFFFC));
    return result;
}

QString messageDisplayText(const _MsgMessage& message)
{
    return messageDisplayText(message, EmojiText::Placeholder);
}

QString messageDisplayText(const _MsgMessage& message, EmojiText emoji)
{
    return displayText(message, emoji, true);
}

QString messageBodyText(const _MsgMessage& message, EmojiText emoji)
{
    return displayText(message, emoji, false);
}

namespace {

QString displayText(const _MsgMessage& message, EmojiText emoji, bool withTags)
{
    // Most messages are plain text without attachments: nothing to strip, tag or replace, since
    // every unit the passes look at lies at or above the first listed symbol.
    if (message.item_type == 0 && message.attachments.isEmpty()
        && std::none_of(
            message.text.cbegin(), message.text.cend(), [](QChar c) { return c.unicode() >= emojiSymbols[0]; }))
        return message.text.trimmed();

    QString text;
    if (message.item_type == 0) {
        text = stripObjectReplacement(message.text);
        if (withTags && !message.attachments.isEmpty()) {
            for (const _MsgAttachment* attachment : orderedAttachments(message))
                text += attachmentTag(attachment->mime_type);
        }
        text = text.trimmed();
    } else {
        const QString date = eventDateText(message.date);
        const QString sender = eventPartyName(message.handle);
        switch (message.item_type) {
        case 1:
            text = QStringLiteral("%1 Added %2 to the conversation.\n%3")
                       .arg(sender, eventPartyName(message.otherHandle), date);
            break;
        case 2:
            text = QStringLiteral("%1 named the conversation \"%2\".\n%3")
                       .arg(sender, message.extras().group_title, date);
            break;
        case 3:
            text = QStringLiteral("%1 left the conversation.\n%2").arg(sender, date);
            break;
        case 4:
            text = QStringLiteral("%1 %2 sharing location with %3.\n%4")
                       .arg(sender,
                           message.extras().share_status != 0 ? QStringLiteral("stopped") : QStringLiteral("started"),
                           eventPartyName(message.otherHandle), date);
            break;
        default:
            text = QStringLiteral("System Information.\n%1").arg(date);
            break;
        }
    }
    if (emoji == EmojiText::Characters)
        return text;
    // Every emoji reads the same, whatever its code point.
    const auto placeholder = [](uint) { return QLatin1String("[EMOJI]"); };
    return replaceLeadPairs(replaceSingleUnits(text, placeholder), placeholder);
}

} // namespace

QString attachmentFileName(const _MsgAttachment& attachment)
{
    if (!attachment.transfer_name.isEmpty())
        return attachment.transfer_name;
    // Stored paths may come from Windows.
    const QString stored = QString(attachment.filename).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString name = stored.section(QLatin1Char('/'), -1);
    return name.isEmpty() ? attachment.sourcePath.section(QLatin1Char('/'), -1) : name;
}

QString replaceEmoji(const QString& text, const EmojiReplacement& replacement)
{
    const auto replace = [&replacement](uint codePoint) { return replacement(hexCode(codePoint)); };
    return replaceLeadPairs(replaceSingleUnits(text, replace), replace);
}

bool messageLessThan(const _MsgMessage& a, const _MsgMessage& b)
{
    return orderKeyLessThan(a.readRowId, a.date, b.readRowId, b.date);
}

bool messageGreaterThan(const _MsgMessage& a, const _MsgMessage& b)
{
    return !messageLessThan(a, b);
}

void sortMessages(QList<_MsgMessage*>& messages, bool ascending, const std::function<void()>& checkpoint)
{
    sortMessageList(messages, ascending, checkpoint);
}

void sortMessages(QList<const _MsgMessage*>& messages, bool ascending, const std::function<void()>& checkpoint)
{
    sortMessageList(messages, ascending, checkpoint);
}
