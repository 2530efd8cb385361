// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/xml/XmlMessagePreparer.h"

#include "android/SmsRecord.h"
#include "message/MessageIdentity.h"
#include "message/MsgCollection.h"
#include "ops/xml/SmsXmlReader.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

const QString insertAddressToken = QStringLiteral("insert-address-token");

bool isDotsAndSpaces(QStringView text)
{
    return std::all_of(
        text.begin(), text.end(), [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(' '); });
}

int utf8Length(char32_t codePoint)
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

// Digits with the usual punctuation of a phone number, at least one digit.
bool isPlainNumber(QStringView address)
{
    bool digit = false;
    for (const QChar c : address) {
        if (c.unicode() >= '0' && c.unicode() <= '9')
            digit = true;
        else if (!QStringView(u"+-(). ").contains(c))
            return false;
    }
    return digit;
}

bool isMediaPart(const SmsXmlRecord::Part& part)
{
    return !part.data.isEmpty() && part.contentType != QLatin1String("application/smil")
        && part.contentType != QLatin1String("text/plain");
}

} // namespace

XmlMessagePreparer::XmlMessagePreparer(const CountryInfo& country, const QString& xmlPath)
    : m_country(country)
    , m_xmlPath(xmlPath)
{
}

QString XmlMessagePreparer::attachmentPath(const QString& key, const QString& name)
{
    return QStringLiteral("~/Library/SMS/Attachments/") + key.left(2) + QLatin1Char('/') + key + QLatin1Char('/')
        + name;
}

QString XmlMessagePreparer::safeAttachmentName(const QString& name, qsizetype index)
{
    QString safe;
    safe.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c))
            continue;
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            safe += c;
            safe += name[++i];
        } else {
            safe += c.isSurrogate() ? QChar(QChar::ReplacementCharacter) : c;
        }
    }
    safe = safe.trimmed();

    // At most 120 UTF-16 units, as names always were (the duplicate key of a message holds them), and
    // at most 255 bytes of UTF-8; never between the two halves of a pair.
    qsizetype end = 0;
    int bytes = 0;
    while (end < safe.size()) {
        const bool pair = safe[end].isHighSurrogate() && end + 1 < safe.size();
        const qsizetype units = pair ? 2 : 1;
        const int length = pair ? 4 : utf8Length(safe[end].unicode());
        if (end + units > 120 || bytes + length > 255)
            break;
        end += units;
        bytes += length;
    }
    safe.truncate(end);
    if (isDotsAndSpaces(safe))
        return QStringLiteral("attachment-%1").arg(index);
    return safe;
}

void XmlMessagePreparer::prepare(SmsXmlRecord& record, const std::atomic<bool>& stop)
{
    if (record.kind == SmsXmlRecord::Kind::Mms && !m_ownNumbersLearnt)
        learnOwnNumbers(stop);
    SmsXmlRecord::Prepared& prepared = record.prepared;
    prepared = SmsXmlRecord::Prepared();
    prepared.hasDate = SmsRecord::convertDate(record.date, prepared.date) != SmsRecord::DateOutcome::NotANumber;
    prepared.participants = participantsOf(record);
    prepared.sender = senderOf(record, prepared.participants);

    _MsgMessage message;
    if (record.kind == SmsXmlRecord::Kind::Sms) {
        prepared.text = record.body;
    } else {
        QStringList texts;
        for (qsizetype i = 0; i < record.parts.size(); ++i) {
            const SmsXmlRecord::Part& part = record.parts.at(i);
            if (part.contentType == QLatin1String("text/plain")) {
                const QString text = part.text.isEmpty() ? QString::fromUtf8(part.data) : part.text;
                if (!text.isEmpty())
                    texts.append(text);
            } else if (isMediaPart(part)) {
                // Each attachment stands in the text as an object replacement character, as the store keeps them.
                texts.append(QString(QChar(0xFFFC)));
                SmsXmlRecord::Prepared::Media media;
                media.part = i;
                media.name = safeAttachmentName(part.name, prepared.media.size() + 1);
                media.key = QString::fromLatin1(QCryptographicHash::hash(part.data, QCryptographicHash::Md5).toHex());
                _MsgAttachment attachment;
                attachment.filename = attachmentPath(media.key, media.name);
                message.attachments.insert(QString::number(prepared.media.size() + 1), attachment);
                prepared.media.append(media);
            }
        }
        prepared.text = texts.join(QLatin1Char('\n'));
    }

    // The guid a load gives a message: from its duplicate key.
    _MsgHandle sender;
    sender.id = prepared.sender;
    message.handle = prepared.sender.isEmpty() ? nullptr : &sender;
    message.date = prepared.date;
    message.is_from_me = record.isSent() ? 1 : 0;
    message.text = prepared.text;
    prepared.guid = guidFromBytes(logicHash(message).toUtf8());
}

QString XmlMessagePreparer::normalised(const QString& address)
{
    const auto known = m_normalised.constFind(address);
    if (known != m_normalised.constEnd())
        return *known;
    const QString result = normalizePhoneNumber(m_country, address.trimmed());
    m_normalised.insert(address, result);
    return result;
}

void XmlMessagePreparer::learnOwnNumbers(const std::atomic<bool>& stop)
{
    m_ownNumbersLearnt = true;
    SmsXmlReader reader(m_xmlPath);
    reader.setStopFlag(&stop);
    reader.setPartsSkipped(true);
    SmsXmlRecord record;
    while (reader.next(record)) {
        if (record.kind == SmsXmlRecord::Kind::Mms)
            addOwnNumbers(record);
    }
}

void XmlMessagePreparer::addOwnNumbers(const SmsXmlRecord& record)
{
    if (!record.isSent())
        return;
    for (const SmsXmlRecord::Address& address : record.addresses) {
        if (address.type == SmsXmlRecord::fromAddress && address.address != insertAddressToken
            && !address.address.isEmpty())
            m_ownNumbers.insert(normalised(address.address));
    }
}

QStringList XmlMessagePreparer::participantsOf(const SmsXmlRecord& record)
{
    QStringList raw;
    if (record.kind == SmsXmlRecord::Kind::Sms) {
        raw.append(record.address);
    } else {
        // The <mms> names its conversation's addresses. Where it names something else (the identifier
        // of a chat group), or nothing, the <addrs> tell: for a sent message its recipients, for a
        // received one the sender and the other recipients.
        const QStringList listed = record.address.split(QLatin1Char('~'), Qt::SkipEmptyParts);
        QSet<QString> members;
        for (const SmsXmlRecord::Address& address : record.addresses)
            members.insert(normalised(address.address));
        const bool listHolds = !listed.isEmpty() && std::all_of(listed.cbegin(), listed.cend(), [&](const QString& a) {
            return isPlainNumber(a) || members.isEmpty() || members.contains(normalised(a));
        });
        if (listHolds) {
            raw = listed;
        } else {
            for (const SmsXmlRecord::Address& address : record.addresses) {
                if (!(record.isSent() && address.type == SmsXmlRecord::fromAddress))
                    raw.append(address.address);
            }
        }
    }

    QStringList participants;
    for (const QString& address : std::as_const(raw)) {
        if (address == insertAddressToken)
            continue;
        const QString canonical = normalised(address);
        if (record.kind == SmsXmlRecord::Kind::Mms && (canonical.isEmpty() || m_ownNumbers.contains(canonical)))
            continue;
        participants.append(canonical);
    }
    participants.sort();
    participants.removeDuplicates();
    if (participants.isEmpty())
        participants.append(normalised(record.address));
    return participants;
}

QString XmlMessagePreparer::senderOf(const SmsXmlRecord& record, const QStringList& participants)
{
    // A load files every message of a one-to-one conversation under the correspondent.
    if (participants.size() == 1)
        return participants.first();
    if (record.isSent())
        return QString();
    for (const SmsXmlRecord::Address& address : record.addresses) {
        if (address.type == SmsXmlRecord::fromAddress && address.address != insertAddressToken) {
            const QString sender = normalised(address.address);
            if (!sender.isEmpty())
                return sender;
        }
    }
    return QString();
}
