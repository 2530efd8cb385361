// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/XmlImportThread.h"

#include "message/MessageIdentity.h"
#include "message/RecordDefaults.h"
#include "ops/OpsLog.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/xml/SmsXmlReadAhead.h"
#include "ops/xml/SmsXmlReader.h"
#include "ops/xml/XmlMessagePreparer.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>

#include <algorithm>
#include <stdexcept>

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
    readKnownGroups();
    const CountryInfo country = chooseCountry();

    // The file is parsed, and its messages prepared, on a second thread while this one stores them.
    auto preparer = std::make_shared<XmlMessagePreparer>(country, m_xmlPath);
    m_readAhead = std::make_unique<SmsXmlReadAhead>(std::move(reader),
        [preparer](SmsXmlRecord& record, const std::atomic<bool>& stop) { preparer->prepare(record, stop); });
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

    m_new = m_writer->addedMessages();
    m_repeated = m_writer->repeatedMessages();
    m_present = m_writer->knownMessages() - m_repeated;
    m_writer->end();
    updateSearchIndexLater(m_folder);
    m_writer.reset();
    m_writing = false;
    m_createdFiles.clear();
    m_scratch.reset();
    QString result = tr("Imported %1 SMS from the XML backup: %2 new, %3 already in the database.")
                         .arg(m_read - m_skipped)
                         .arg(m_new)
                         .arg(m_present);
    if (m_repeated != 0)
        result += QLatin1Char(' ') + tr("%1 repeated in the file.").arg(m_repeated);
    if (!m_countryNote.isEmpty())
        result += QLatin1Char(' ') + m_countryNote;
    return result;
}

CountryInfo XmlImportThread::chooseCountry()
{
    m_countryNote.clear();
    CountryLibDb& library = m_writer->db().countryLib();
    bool given = false;
    const CountryInfo asked = m_mcc.isEmpty() ? CountryInfo() : library.findByMcc(m_mcc, &given);
    bool kept = false;
    const QString code = m_writer->db().numberCountry();
    const CountryInfo stored = code.isEmpty() ? CountryInfo() : library.findBySn(code, &kept);
    // Numbers normalised for another country would not be found again: every message would be stored twice.
    const CountryInfo chosen = kept ? stored : (given ? asked : CountryInfo());
    if (kept && (!given || asked.sn != stored.sn)) {
        const QString name = QStringLiteral("%1 (%2)").arg(stored.n, stored.mmc.section(QLatin1Char(','), 0, 0));
        m_countryNote = given
            ? tr("Numbers were read for %1, the country of the numbers already in this database, not for %2.")
                  .arg(name, QStringLiteral("%1 (%2)").arg(asked.n, m_mcc))
            : tr("Numbers were read for %1, the country of the numbers already in this database.").arg(name);
    }
    m_countryCode = chosen.sn.toLower();
    return chosen;
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
            qCWarning(lcOps) << "can not remove" << m_folder.path();
    } else if (!m_databaseExisted) {
        const QString dbPath = IOS6MessageDb(m_folder, m_mcc, false).dbPath();
        QFile::remove(dbPath);
        QFile::remove(dbPath + QStringLiteral("-journal"));
        removeEmptyFoldersAbove(dbPath);
    }
}

void XmlImportThread::store(const SmsXmlRecord& record)
{
    const SmsXmlRecord::Prepared& prepared = record.prepared;
    if (!prepared.hasDate) {
        qCWarning(lcOps, "line %lld: date \"%s\" is not a number, message skipped.", record.line,
            qUtf8Printable(record.date.left(40)));
        ++m_skipped;
        return;
    }

    _MsgMessage message;
    fillLoadedMessage(message);
    message.chat = &chatFor(prepared.participants);
    message.handle = prepared.sender.isEmpty() ? nullptr : &handleFor(prepared.sender);
    if (message.handle && prepared.participants.size() == 1 && !record.contactName.isEmpty()
        && record.contactName != QLatin1String("(Unknown)"))
        message.handle->_ct_name = record.contactName;
    message.date = message.date_read = message.date_delivered = prepared.date;
    message.is_from_me = record.isSent() ? 1 : 0;
    message.is_read = record.isSent() ? 1 : record.read;
    if (record.keepsBox()) {
        message.is_sent = 0;
        message.error = record.box;
    }
    message.subject = record.subject;
    message.text = prepared.text;
    if (record.kind == SmsXmlRecord::Kind::Sms && !record.serviceCenter.isEmpty())
        message.editExtras().service_center = record.serviceCenter;
    for (const SmsXmlRecord::Prepared::Media& media : prepared.media) {
        const SmsXmlRecord::Part& part = record.parts.at(media.part);
        _MsgAttachment attachment = attachmentFor(part.data, part.contentType, media, message);
        attachment.rowid = message.attachments.size() + 1;
        message.attachments.insert(QString::number(attachment.rowid), attachment);
    }
    message.guid = prepared.guid;
    const qint64 failedBefore = m_writer->failedAttachmentCopies();
    m_writer->write(message);
    // A message whose picture is not in the store would be found by every later import, and the
    // picture never stored: the import fails instead, leaving the database as it was.
    if (m_writer->failedAttachmentCopies() != failedBefore)
        throw std::runtime_error(tr("The message at line %1 of %2 can not be imported. %3")
                                     .arg(record.line)
                                     .arg(QFileInfo(m_xmlPath).fileName(), m_writer->lastCopyFailure())
                                     .toStdString());
    for (const _MsgAttachment& attachment : std::as_const(message.attachments)) {
        if (!attachment.sourcePath.isEmpty())
            QFile::remove(attachment.sourcePath);
    }
}

_MsgHandle& XmlImportThread::handleFor(const QString& address)
{
    std::unique_ptr<_MsgHandle>& handle = m_handles[address];
    if (!handle) {
        handle = std::make_unique<_MsgHandle>();
        handle->id = address;
        handle->service = QStringLiteral("SMS");
        handle->country = m_countryCode;
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
        fillCorrespondent(participants.first(), scratch, *chat);
        chat->handles.insert(participants.first(), &handleFor(participants.first()));
        return *chat;
    }
    // A group conversation the database holds already is found by its participants; a new one is named
    // by them, so that every import of it finds it again.
    fillGroupChat(participants, *chat);
    const auto known = m_knownGroups.constFind(key);
    if (known != m_knownGroups.constEnd()) {
        chat->guid = known->first;
        chat->chat_identifier = known->second;
    }
    for (const QString& participant : participants)
        chat->handles.insert(participant, &handleFor(participant));
    return *chat;
}

_MsgAttachment XmlImportThread::attachmentFor(const QByteArray& data, const QString& contentType,
    const SmsXmlRecord::Prepared::Media& media, const _MsgMessage& message)
{
    // Named by its content and name, so that the same part of the same message is stored once.
    _MsgAttachment attachment;
    attachment.guid = guidFromBytes((media.key + QLatin1Char('/') + media.name).toUtf8());
    attachment.created_date = message.date;
    attachment.start_date = message.date;
    attachment.filename = XmlMessagePreparer::attachmentPath(media.key, media.name);
    attachment.mime_type = contentType;
    attachment.transfer_state = 5;
    attachment.is_outgoing = message.is_from_me;
    attachment.transfer_name = media.name;
    attachment.total_bytes = data.size();

    // Where the store copies it to; when the name gives no such place the store reports the copy failed.
    const QString relative = relayRelativePath(attachment.filename);
    const QString target = relative.isEmpty() ? QString() : m_writer->db().fileRelayDir().filePath(relative);
    if (!target.isEmpty() && QFileInfo(target).isFile())
        return attachment;
    // The store copies the file in and never overwrites one that is there.
    QFile scratch(m_scratch->filePath(QStringLiteral("part-%1").arg(++m_scratchFiles)));
    if (!scratch.open(QIODevice::WriteOnly | QIODevice::Truncate) || scratch.write(data) != data.size()) {
        throw std::runtime_error(
            QStringLiteral("can not write %1. %2").arg(scratch.fileName(), scratch.errorString()).toStdString());
    }
    scratch.close();
    attachment.sourcePath = scratch.fileName();
    if (!target.isEmpty())
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

void XmlImportThread::removeCreatedFiles()
{
    for (const QString& file : std::as_const(m_createdFiles)) {
        if (!QFileInfo::exists(file))
            continue;
        QFile::remove(file);
        removeEmptyFoldersAbove(file);
    }
    m_createdFiles.clear();
}

void XmlImportThread::removeEmptyFoldersAbove(const QString& file)
{
    // Only folders inside the database folder, and only while they are empty.
    const QString top = QDir::cleanPath(m_folder.absolutePath());
    for (QString folder = QFileInfo(file).absolutePath(); folder.size() > top.size();
         folder = QFileInfo(folder).absolutePath()) {
        if (!QDir().rmdir(folder))
            break;
    }
}
