// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/XmlImportThread.h"

#include "android/AndroidLoadSMSThread.h"
#include "android/SmsRecord.h"
#include "ops/xml/SmsXmlReadAhead.h"
#include "ops/xml/SmsXmlReader.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>

#include <algorithm>
#include <stdexcept>

namespace {

const QString insertAddressToken = QStringLiteral("insert-address-token");
const QString attachmentFolder = QStringLiteral("Library/SMS/Attachments/");

// A part's name as the last part of a stored path: no separators, nothing the store drops.
QString safeAttachmentName(const QString& name, int index)
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

XmlImportThread::XmlImportThread(
    const QString& xmlPath, const QDir& databaseFolder, const QString& mcc, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_xmlPath(xmlPath)
    , m_folder(databaseFolder)
    , m_mcc(mcc)
{
}

XmlImportThread::~XmlImportThread() = default;

QString XmlImportThread::work()
{
    m_read = m_new = m_skipped = 0;
    const QString status = tr("Importing SMS from XML backup...");
    reportStatus(status, 0);

    auto reader = std::make_unique<SmsXmlReader>(m_xmlPath);
    m_scratch = std::make_unique<QTemporaryDir>();
    if (!m_scratch->isValid())
        throw std::runtime_error(
            QStringLiteral("can not create a temporary folder. %1").arg(m_scratch->errorString()).toStdString());

    m_folderExisted = m_folder.exists();
    m_databaseExisted = QFileInfo::exists(IOS6MessageDb(m_folder, m_mcc, false).dbPath());
    m_writing = true;
    m_writer = std::make_unique<ExportMessagesDb>(m_folder, m_mcc);
    m_writer->begin();
    m_country = m_writer->db().countryLib().currentCountry();
    const qint64 countBefore = messageCount();
    readKnownGroups();

    // The file is parsed on a second thread while this one stores what has been parsed.
    m_readAhead = std::make_unique<SmsXmlReadAhead>(std::move(reader));
    const qint64 declared = m_readAhead->declaredCount();
    const QString progressFormat = tr("SMS: %1/%2");
    std::vector<SmsXmlRecord> batch;
    for (;;) {
        checkCancelled();
        const SmsXmlReadAhead::Take taken = m_readAhead->take(batch, 100);
        if (taken == SmsXmlReadAhead::Take::End)
            break;
        for (const SmsXmlRecord& record : batch) {
            checkCancelled();
            ++m_read;
            if (declared > 0)
                reportProgress(m_read, std::max(declared, m_read), progressFormat);
            else
                reportProgress(m_readAhead->bytesRead(), m_readAhead->fileSize());
            store(record);
        }
    }
    m_readAhead.reset();

    m_new = messageCount() - countBefore;
    m_writer->end();
    m_writer.reset();
    m_writing = false;
    m_createdFiles.clear();
    m_scratch.reset();
    return tr("Imported %1 SMS from the XML backup: %2 new, %3 already in the database.")
        .arg(m_read - m_skipped)
        .arg(m_new)
        .arg(presentMessages());
}

void XmlImportThread::abandon()
{
    m_readAhead.reset();
    // Dropping the writer before end rolls the transaction back.
    m_writer.reset();
    removeCreatedFiles();
    m_scratch.reset();
    if (!m_writing)
        return;
    m_writing = false;
    if (!m_folderExisted) {
        if (m_folder.exists() && !QDir(m_folder).removeRecursively())
            qWarning() << "XmlImportThread: can not remove" << m_folder.path();
    } else if (!m_databaseExisted) {
        const QString dbPath = IOS6MessageDb(m_folder, m_mcc, false).dbPath();
        QFile::remove(dbPath);
        QFile::remove(dbPath + QStringLiteral("-journal"));
    }
}

void XmlImportThread::store(const SmsXmlRecord& record)
{
    qint32 date = 0;
    if (SmsRecord::convertDate(record.date, date) == SmsRecord::DateOutcome::NotANumber) {
        qWarning("XmlImportThread: line %lld: date \"%s\" is not a number, message skipped.", record.line,
            qUtf8Printable(record.date.left(40)));
        ++m_skipped;
        return;
    }

    const QStringList participants = participantsOf(record);
    _MsgMessage message;
    AndroidLoadSMSThread::fillLoadedMessage(message);
    message.chat = &chatFor(participants);
    message.handle = senderOf(record, participants);
    if (message.handle && !record.contactName.isEmpty() && participants.size() == 1
        && record.contactName != QLatin1String("(Unknown)"))
        message.handle->_ct_name = record.contactName;
    message.date = message.date_read = message.date_delivered = date;
    message.is_from_me = record.isSent() ? 1 : 0;
    message.is_read = record.isSent() ? 1 : record.read;
    message.subject = record.subject;
    if (record.kind == SmsXmlRecord::Kind::Sms) {
        message.text = record.body;
        message.service_center = record.serviceCenter;
    } else {
        addMmsContent(record, message);
    }
    message.guid = guidFromBytes(logicHash(message).toUtf8());
    m_writer->write(message);
    for (const _MsgAttachment& attachment : std::as_const(message.attachments)) {
        if (!attachment.sourcePath.isEmpty())
            QFile::remove(attachment.sourcePath);
    }
}

QString XmlImportThread::normalised(const QString& address)
{
    const auto known = m_normalised.constFind(address);
    if (known != m_normalised.constEnd())
        return *known;
    const QString result = normalizePhoneNumber(m_country, address.trimmed());
    m_normalised.insert(address, result);
    return result;
}

_MsgHandle& XmlImportThread::handleFor(const QString& address)
{
    std::unique_ptr<_MsgHandle>& handle = m_handles[address];
    if (!handle) {
        handle = std::make_unique<_MsgHandle>();
        handle->id = address;
        handle->service = QStringLiteral("SMS");
    }
    return *handle;
}

_MsgChat& XmlImportThread::chatFor(const QStringList& participants)
{
    const QString key = participants.join(QLatin1Char('~'));
    std::unique_ptr<_MsgChat>& chat = m_chats[key];
    if (chat)
        return *chat;
    chat = std::make_unique<_MsgChat>();
    if (participants.size() == 1) {
        // The same records a load makes for the address, sharing the correspondent record.
        _MsgHandle scratch;
        AndroidLoadSMSThread::fillCorrespondent(participants.first(), scratch, *chat);
        chat->handles.insert(participants.first(), &handleFor(participants.first()));
        return *chat;
    }
    // A group conversation the database holds already is found by its participants; a new one is named
    // by them, so that every import of it finds it again.
    const auto known = m_knownGroups.constFind(key);
    if (known != m_knownGroups.constEnd()) {
        chat->guid = known->first;
        chat->chat_identifier = known->second;
    } else {
        const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5).toHex();
        chat->chat_identifier = QStringLiteral("chat") + QString::fromLatin1(digest.left(16));
        chat->guid = QStringLiteral("SMS;+;") + chat->chat_identifier;
    }
    chat->style = 43;
    chat->state = 3;
    chat->service_name = QStringLiteral("SMS");
    chat->account_login = QStringLiteral("E:");
    for (const QString& participant : participants)
        chat->handles.insert(participant, &handleFor(participant));
    return *chat;
}

QStringList XmlImportThread::participantsOf(const SmsXmlRecord& record)
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
                if (record.isSent() && address.type == SmsXmlRecord::fromAddress)
                    continue;
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

_MsgHandle* XmlImportThread::senderOf(const SmsXmlRecord& record, const QStringList& participants)
{
    // A load files every message of a one-to-one conversation under the correspondent.
    if (participants.size() == 1)
        return &handleFor(participants.first());
    if (record.isSent())
        return nullptr;
    for (const SmsXmlRecord::Address& address : record.addresses) {
        if (address.type == SmsXmlRecord::fromAddress && address.address != insertAddressToken) {
            const QString sender = normalised(address.address);
            if (!sender.isEmpty())
                return &handleFor(sender);
        }
    }
    return nullptr;
}

void XmlImportThread::addMmsContent(const SmsXmlRecord& record, _MsgMessage& message)
{
    QStringList texts;
    int index = 0;
    for (const SmsXmlRecord::Part& part : record.parts) {
        if (part.contentType == QLatin1String("text/plain")) {
            const QString text = part.text.isEmpty() ? QString::fromUtf8(part.data) : part.text;
            if (!text.isEmpty())
                texts.append(text);
        } else if (isMediaPart(part)) {
            // Each attachment stands in the text as an object replacement character, as the store keeps them.
            texts.append(QString(QChar(0xFFFC)));
            _MsgAttachment attachment = attachmentFor(part.data, part.contentType,
                safeAttachmentName(part.name, index + 1), message.date, message.is_from_me);
            attachment.rowid = ++index;
            message.attachments.insert(QString::number(attachment.rowid), attachment);
        }
    }
    message.text = texts.join(QLatin1Char('\n'));
}

_MsgAttachment XmlImportThread::attachmentFor(
    const QByteArray& data, const QString& contentType, const QString& partName, int date, int isOutgoing)
{
    // Named by its content and name, so that the same part of the same message is stored once.
    const QString key = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
    const QString relative = attachmentFolder + key.left(2) + QLatin1Char('/') + key + QLatin1Char('/') + partName;

    _MsgAttachment attachment;
    attachment.guid = guidFromBytes((key + QLatin1Char('/') + partName).toUtf8());
    attachment.created_date = date;
    attachment.start_date = date;
    attachment.filename = QStringLiteral("~/") + relative;
    attachment.mime_type = contentType;
    attachment.transfer_state = 5;
    attachment.is_outgoing = isOutgoing;
    attachment.transfer_name = partName;
    attachment.total_bytes = data.size();

    const QString target = m_writer->db().fileRelayDir().filePath(QStringLiteral("var/mobile/") + relative);
    if (QFileInfo::exists(target))
        return attachment;
    // The store copies the file in and never overwrites one that is there.
    QFile scratch(m_scratch->filePath(QStringLiteral("part-%1").arg(++m_scratchFiles)));
    if (!scratch.open(QIODevice::WriteOnly | QIODevice::Truncate) || scratch.write(data) != data.size()) {
        throw std::runtime_error(
            QStringLiteral("can not write %1. %2").arg(scratch.fileName(), scratch.errorString()).toStdString());
    }
    scratch.close();
    attachment.sourcePath = scratch.fileName();
    m_createdFiles.append(target);
    return attachment;
}

void XmlImportThread::readKnownGroups()
{
    m_knownGroups.clear();
    QHash<qint64, QStringList> participants;
    QHash<qint64, QPair<QString, QString>> names;
    Sqlite3Cursor cursor = m_writer->db().queryThrow(
        Sqlite3Sql("select c.rowid, c.guid, c.chat_identifier, h.id from chat as c "
                   "inner join chat_handle_join as j on j.chat_id = c.rowid "
                   "inner join handle as h on h.rowid = j.handle_id where c.service_name = 'SMS'"));
    while (cursor.moveNext()) {
        const qint64 rowid = cursor.getInt64(0);
        participants[rowid].append(cursor.getText(3));
        names.insert(rowid, qMakePair(cursor.getText(1), cursor.getText(2)));
    }
    for (auto it = participants.begin(); it != participants.end(); ++it) {
        if (it->size() < 2)
            continue;
        it->sort();
        it->removeDuplicates();
        m_knownGroups.insert(it->join(QLatin1Char('~')), names.value(it.key()));
    }
}

qint64 XmlImportThread::messageCount()
{
    Sqlite3Cursor cursor = m_writer->db().queryThrow(Sqlite3Sql("select count(*) from message"));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

void XmlImportThread::removeCreatedFiles()
{
    const QString top = QDir::cleanPath(m_folder.absolutePath());
    for (const QString& file : std::as_const(m_createdFiles)) {
        if (!QFileInfo::exists(file))
            continue;
        QFile::remove(file);
        // Folders made for it go too while they are empty.
        for (QString folder = QFileInfo(file).absolutePath(); folder.size() > top.size();
             folder = QFileInfo(folder).absolutePath()) {
            if (!QDir().rmdir(folder))
                break;
        }
    }
    m_createdFiles.clear();
}
