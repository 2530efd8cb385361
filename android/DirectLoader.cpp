// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/DirectLoader.h"

#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidLog.h"
#include "android/CacheStaging.h"
#include "android/DirectPhone.h"
#include "base/TaskReporting.h"
#include "message/MessageIdentity.h"
#include "message/MessageText.h"
#include "message/RecordDefaults.h"
#include "store/ExportMessagesDb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <limits>

using namespace contentquery;

namespace {

const QString insertAddressToken = QStringLiteral("insert-address-token");
constexpr qint64 fromAddress = 137;
constexpr qint64 sentBox = 2;
constexpr qint64 receivedBox = 1;
// The longest attachment name kept, in UTF-16 units: the duplicate key of a message holds the names.
constexpr qsizetype maxNameLength = 120;

// Seconds since 1970 as a store date, held to what a message date can hold instead of wrapping.
int storeDate(qint64 seconds)
{
    const qint64 date = seconds - messageDateOffset;
    return int(std::clamp<qint64>(date, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A file name that stays one name below the attachment's folder on every system.
QString safeName(const QString& name, int index)
{
    QString safe;
    for (const QChar c : name) {
        if (c.unicode() >= 0x20 && !QStringView(u"/\\:*?\"<>|").contains(c))
            safe += c;
    }
    safe = safe.trimmed();
    if (safe.size() > maxNameLength)
        safe.truncate(safe.at(maxNameLength - 1).isHighSurrogate() ? maxNameLength - 1 : maxNameLength);
    if (safe.isEmpty() || safe.count(QLatin1Char('.')) == safe.size())
        return QStringLiteral("attachment-%1").arg(index);
    return safe;
}

} // namespace

DirectLoader::DirectLoader(const QString& serial, CacheStaging& staging, std::function<void(int, int)> progress)
    : m_serial(serial)
    , m_staging(staging)
    , m_progress(std::move(progress))
    , m_shell([serial](const QString& command) { return directphone::runShell(serial, command); })
{
}

DirectLoader::~DirectLoader() = default;

void DirectLoader::run()
{
    m_writer = &m_staging.writer();
    m_country = m_writer->db().countryLib().currentCountry();
    m_fileRelay = m_staging.cacheFileRelay();

    readContacts();
    const ProviderRows sms
        = readProvider(m_shell, QStringLiteral("content://sms"), { QStringLiteral("date"), QStringLiteral("type") },
            { QStringLiteral("address"), QStringLiteral("body"), QStringLiteral("subject") });
    const ProviderRows mms = readProvider(m_shell, QStringLiteral("content://mms"),
        { QStringLiteral("date"), QStringLiteral("msg_box") }, { QStringLiteral("sub") });
    if (!mms.ids.isEmpty()) {
        m_parts = readProvider(m_shell, QStringLiteral("content://mms/part"), { QStringLiteral("mid") },
            { QStringLiteral("ct"), QStringLiteral("name"), QStringLiteral("cl"), QStringLiteral("text") });
        for (qsizetype row = 0; row < m_parts.size(); ++row)
            m_partsOfMessage[m_parts.integer(row, QStringLiteral("mid"))].append(row);
    }
    m_total = int(sms.size() + mms.size());
    m_written = 0;
    m_progress(0, m_total);
    writeTextMessages(sms);
    writeMultimediaMessages(mms);
}

void DirectLoader::readContacts()
{
    ProviderRows contacts;
    try {
        contacts = readProvider(m_shell, QStringLiteral("content://com.android.contacts/data/phones"), {},
            { QStringLiteral("display_name"), QStringLiteral("number") });
    } catch (const std::runtime_error& error) {
        // The messages are worth having without the names.
        qCWarning(lcAndroid, "the phone's contacts are not readable, its messages are loaded without names: %s",
            error.what());
        return;
    }
    for (qsizetype row = 0; row < contacts.size(); ++row) {
        const QString number = normalised(contacts.text(row, QStringLiteral("number")));
        const QString name = contacts.text(row, QStringLiteral("display_name"));
        if (!number.isEmpty() && !name.isEmpty() && !m_contactNames.contains(number))
            m_contactNames.insert(number, name);
    }
}

void DirectLoader::writeTextMessages(const ProviderRows& sms)
{
    _MsgMessage message;
    fillLoadedMessage(message);
    for (qsizetype row = 0; row < sms.size(); ++row) {
        const QString address = normalised(sms.text(row, QStringLiteral("address")));
        message.handle = &handleFor(address);
        message.chat = &chatFor({ address });
        message.text = sms.text(row, QStringLiteral("body"));
        message.subject = sms.text(row, QStringLiteral("subject"));
        // Milliseconds since 1970, truncated to seconds.
        message.date = message.date_read = message.date_delivered
            = storeDate(sms.integer(row, QStringLiteral("date")) / 1000);
        message.is_from_me = sms.integer(row, QStringLiteral("type")) == sentBox ? 1 : 0;
        write(message);
    }
}

QSet<QString> DirectLoader::ownNumbers(const ProviderRows& mms, const std::vector<QList<Address>>& addresses)
{
    QSet<QString> own;
    for (qsizetype row = 0; row < mms.size(); ++row) {
        const qint64 box = mms.integer(row, QStringLiteral("msg_box"));
        const QList<Address>& members = addresses[std::size_t(row)];
        QStringList recipients;
        for (const Address& member : members) {
            if (member.address == insertAddressToken || member.address.isEmpty())
                continue;
            if (box == sentBox && member.type == fromAddress)
                own.insert(normalised(member.address));
            else if (box == receivedBox && member.type != fromAddress)
                recipients.append(member.address);
        }
        if (recipients.size() == 1)
            own.insert(normalised(recipients.first()));
    }
    own.remove(QString());
    return own;
}

void DirectLoader::writeMultimediaMessages(const ProviderRows& mms)
{
    std::vector<QList<Address>> addresses(std::size_t(mms.size()));
    for (qsizetype row = 0; row < mms.size(); ++row) {
        throwIfTaskCancelled();
        // The members of a message never change, so its rows need no second look.
        const ProviderRows members = readProvider(m_shell, QStringLiteral("content://mms/%1/addr").arg(mms.ids.at(row)),
            { QStringLiteral("type") }, { QStringLiteral("address") }, false);
        for (qsizetype member = 0; member < members.size(); ++member) {
            addresses[std::size_t(row)].append(
                { members.text(member, QStringLiteral("address")), members.integer(member, QStringLiteral("type")) });
        }
    }
    const QSet<QString> own = ownNumbers(mms, addresses);

    for (qsizetype row = 0; row < mms.size(); ++row) {
        const bool fromMe = mms.integer(row, QStringLiteral("msg_box")) == sentBox;
        QStringList participants;
        QString sender;
        for (const Address& member : addresses[std::size_t(row)]) {
            if (member.address == insertAddressToken)
                continue;
            const QString address = normalised(member.address);
            if (member.type == fromAddress) {
                if (fromMe)
                    continue;
                sender = address;
            }
            if (!address.isEmpty() && !own.contains(address))
                participants.append(address);
        }
        participants.sort();
        participants.removeDuplicates();
        // A message to or from the phone's own number alone still belongs somewhere.
        if (participants.isEmpty())
            participants.append(sender);

        _MsgMessage message;
        fillLoadedMessage(message);
        message.chat = &chatFor(participants);
        // A load files every message of a one-to-one conversation under the correspondent.
        const QString handle = participants.size() == 1 ? participants.first() : (fromMe ? QString() : sender);
        message.handle = handle.isEmpty() ? nullptr : &handleFor(handle);
        message.date = message.date_read = message.date_delivered = storeDate(mms.integer(row, QStringLiteral("date")));
        message.is_from_me = fromMe ? 1 : 0;
        message.subject = mms.text(row, QStringLiteral("sub"));
        readParts(mms.ids.at(row), message);
        write(message);
    }
}

void DirectLoader::readParts(qint64 mmsId, _MsgMessage& message)
{
    QStringList texts;
    for (const qsizetype part : m_partsOfMessage.value(mmsId)) {
        const QString contentType = m_parts.text(part, QStringLiteral("ct"));
        if (contentType == QLatin1String("application/smil"))
            continue;
        if (contentType == QLatin1String("text/plain")) {
            const QString text = m_parts.text(part, QStringLiteral("text"));
            if (!text.isEmpty())
                texts.append(text);
            continue;
        }
        throwIfTaskCancelled();
        const QByteArray data = m_shell(readCommand(QStringLiteral("content://mms/part/%1").arg(m_parts.ids.at(part))));
        if (data.isEmpty())
            continue;
        QString name = m_parts.text(part, QStringLiteral("name"));
        if (name.isEmpty())
            name = m_parts.text(part, QStringLiteral("cl"));
        _MsgAttachment attachment = storeMedia(data, contentType, name, message);
        message.attachments.insert(QString::number(attachment.rowid), attachment);
        // Each attachment stands in the text as an object replacement character, as the store keeps them.
        texts.append(QString(QChar(0xFFFC)));
    }
    message.text = texts.join(QLatin1Char('\n'));
}

_MsgAttachment DirectLoader::storeMedia(
    const QByteArray& data, const QString& contentType, QString name, const _MsgMessage& message)
{
    const int index = int(message.attachments.size()) + 1;
    name = safeName(name, index);
    // Named by its content and name, so that the same part is stored once however often it is loaded.
    const QString key = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
    _MsgAttachment attachment;
    attachment.rowid = index;
    attachment.guid = guidFromBytes((key + QLatin1Char('/') + name).toUtf8());
    attachment.created_date = message.date;
    attachment.start_date = message.date;
    attachment.filename
        = QStringLiteral("~/Library/SMS/Attachments/") + key.left(2) + QLatin1Char('/') + key + QLatin1Char('/') + name;
    attachment.mime_type = contentType;
    attachment.transfer_state = 5;
    attachment.is_outgoing = message.is_from_me;
    attachment.transfer_name = name;
    attachment.total_bytes = data.size();

    // Written into the cache's own folder, where the cache finds it once it has been replaced; a file
    // that is there already has the same content, as its folder is named by it.
    const QString target = m_fileRelay.filePath(relayRelativePath(attachment.filename));
    if (QFileInfo(target).isFile())
        return attachment;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw std::runtime_error(QStringLiteral("can not create %1. %2").arg(target, file.errorString()).toStdString());
    m_staging.noteCreatedFile(target);
    if (file.write(data) != data.size() || !file.flush())
        throw std::runtime_error(QStringLiteral("can not write %1. %2").arg(target, file.errorString()).toStdString());
    return attachment;
}

QString DirectLoader::normalised(const QString& address)
{
    const auto known = m_normalised.constFind(address);
    if (known != m_normalised.constEnd())
        return *known;
    const QString result = normalizePhoneNumber(m_country, address);
    m_normalised.insert(address, result);
    return result;
}

_MsgHandle& DirectLoader::handleFor(const QString& address)
{
    std::shared_ptr<_MsgHandle>& handle = m_handles[address];
    if (!handle) {
        handle = std::make_shared<_MsgHandle>();
        handle->id = address;
        handle->service = QStringLiteral("SMS");
        handle->_ct_name = m_contactNames.value(address);
    }
    return *handle;
}

_MsgChat& DirectLoader::chatFor(const QStringList& participants)
{
    const QString key = participants.join(QLatin1Char('~'));
    std::shared_ptr<_MsgChat>& chat = m_chats[key];
    if (chat)
        return *chat;
    chat = std::make_shared<_MsgChat>();
    if (participants.size() == 1) {
        fillCorrespondent(participants.first(), handleFor(participants.first()), *chat);
        return *chat;
    }
    // Named by its members as an import of a backup file names it.
    fillGroupChat(participants, *chat);
    for (const QString& participant : participants)
        chat->handles.insert(participant, &handleFor(participant));
    return *chat;
}

void DirectLoader::write(_MsgMessage& message)
{
    throwIfTaskCancelled();
    const QString hash = logicHash(message);
    message.guid = guidFromBytes(hash.toUtf8());
    m_writer->write(message, hash);
    m_progress(++m_written, m_total);
}
