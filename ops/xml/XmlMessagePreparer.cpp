// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/xml/XmlMessagePreparer.h"

#include "android/SmsRecord.h"
#include "store/ExportMessagesDb.h"
#include "store/MsgCollection.h"

#include <QCryptographicHash>

namespace {

const QString insertAddressToken = QStringLiteral("insert-address-token");

// A part's name as the last part of a stored path: no separators, nothing the store drops.
QString safeAttachmentName(const QString& name, qsizetype index)
{
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c))
            continue;
        safe += c;
    }
    safe = safe.trimmed();
    if (safe.isEmpty() || safe.count(QLatin1Char('.')) == safe.size())
        safe = QStringLiteral("attachment-%1").arg(index);
    return safe.left(120);
}

bool isMediaPart(const SmsXmlRecord::Part& part)
{
    return !part.data.isEmpty() && part.contentType != QLatin1String("application/smil")
        && part.contentType != QLatin1String("text/plain");
}

} // namespace

XmlMessagePreparer::XmlMessagePreparer(const CountryInfo& country)
    : m_country(country)
{
}

QString XmlMessagePreparer::attachmentPath(const QString& key, const QString& name)
{
    return QStringLiteral("~/Library/SMS/Attachments/") + key.left(2) + QLatin1Char('/') + key + QLatin1Char('/')
        + name;
}

void XmlMessagePreparer::prepare(SmsXmlRecord& record)
{
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

QStringList XmlMessagePreparer::participantsOf(const SmsXmlRecord& record)
{
    QStringList raw;
    if (record.kind == SmsXmlRecord::Kind::Sms) {
        raw.append(record.address);
    } else {
        for (const SmsXmlRecord::Address& address : record.addresses) {
            if (record.isSent() && address.type == SmsXmlRecord::fromAddress && address.address != insertAddressToken
                && !address.address.isEmpty())
                m_ownNumbers.insert(normalised(address.address));
        }
        // The <mms> names its conversation's addresses; without them the <addrs> tell: for a sent
        // message its recipients, for a received one the sender and the other recipients.
        if (!record.address.isEmpty()) {
            raw = record.address.split(QLatin1Char('~'), Qt::SkipEmptyParts);
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
