// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ExportMessagesDb.h"

#include "message/MessageIdentity.h"
#include "store/StoreLog.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

bool isDotsAndSpaces(QStringView part)
{
    return std::all_of(
        part.begin(), part.end(), [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(' '); });
}

bool isDriveLetter(QStringView part)
{
    return part.size() == 2 && part[1] == QLatin1Char(':') && part[0].unicode() < 0x80 && part[0].isLetter();
}

} // namespace

// Besides the phone-path rewriting, every part that could lead outside file-relay is dropped: "..",
// ".", empty parts (absolute and UNC forms), names of dots and spaces only, and a leading drive
// letter. Plain string operations throughout: a step that could be skipped (a regular expression
// does not match text that is no valid UTF-16) would let a path through uncleaned.
QString relayRelativePath(const QString& filename)
{
    if (!filename.isValidUtf16())
        return QString();
    QString path = filename;
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    if (path.startsWith(QLatin1String("~/")))
        path.replace(0, 2, QStringLiteral("var/mobile/"));
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));

    QStringList kept;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i == 0 && isDriveLetter(parts[i]))
            continue;
        QString part = parts[i];
        part.removeIf([](QChar c) { return QStringView(u":*?\"<>|").contains(c); });
        if (isDotsAndSpaces(part))
            continue;
        kept.append(part);
    }
    return kept.join(QLatin1Char('/'));
}

// Copies an attachment's source file into the store unless the target is already there. A source
// that exists and is not copied is counted: the caller decides whether the run may go on without it.
void ExportMessagesDb::copyAttachmentFile(const _MsgAttachment& attachment)
{
    if (attachment.sourcePath.isEmpty() || !QFileInfo(attachment.sourcePath).isFile())
        return;
    const auto fail = [this, &attachment](const QString& why) {
        ++m_failedCopies;
        m_lastCopyFailure = QStringLiteral("can not copy the attachment %1 into the database: %2")
                                .arg(QDir::toNativeSeparators(attachment.filename), why);
        qCWarning(lcStore).noquote() << m_lastCopyFailure << QDir::toNativeSeparators(attachment.sourcePath);
    };
    const QDir& fileRelay = m_db.fileRelayDir();
    const QString relative = relayRelativePath(attachment.filename);
    if (relative.isEmpty()) {
        fail(QStringLiteral("its name gives no path inside the database folder."));
        return;
    }
    const QString target = fileRelay.filePath(relative);
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() || targetInfo.isSymLink())
        return;
    // A folder on the way that is a symbolic link or junction would carry the copy out of the store.
    QString folder = fileRelay.path();
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        folder += QLatin1Char('/') + parts[i];
        const QFileInfo folderInfo(folder);
        if (folderInfo.isSymLink() || folderInfo.isJunction()) {
            fail(QStringLiteral("the folder %1 is a link.").arg(QDir::toNativeSeparators(folder)));
            return;
        }
    }
    if (!QDir().mkpath(targetInfo.absolutePath())) {
        fail(QStringLiteral("can not create the folder %1.").arg(QDir::toNativeSeparators(targetInfo.absolutePath())));
        return;
    }
    QFile source(attachment.sourcePath);
    if (!source.copy(target))
        fail(source.errorString());
}

ExportMessagesDb::ExportMessagesDb(const QDir& folder, const QString& mcc)
    : m_db(folder, mcc, true)
{
}

ExportMessagesDb::~ExportMessagesDb()
{
    // A writer dropped without end (a caller stopped by an exception) keeps nothing it wrote.
    m_db.endWriterRun();
    try {
        m_db.endTransaction(false);
    } catch (const std::exception& e) {
        qCWarning(lcStore) << "rollback failed." << e.what();
    }
    m_db.close();
}

void ExportMessagesDb::begin()
{
    m_added = 0;
    m_known = 0;
    m_repeated = 0;
    m_failedCopies = 0;
    m_lastCopyFailure.clear();
    m_db.open();
    // A trigger the file brought along would run on every row written: it could change or remove
    // messages of the store without anyone seeing it.
    const QStringList foreign = m_db.foreignTriggers();
    if (!foreign.isEmpty())
        throw std::runtime_error(
            QStringLiteral("The database %1 has triggers that this application did not make (%2); nothing was "
                           "written to it.")
                .arg(QDir::toNativeSeparators(m_db.dbPath()), foreign.join(QLatin1String(", ")))
                .toUtf8()
                .toStdString());
    m_db.beginTransaction();
    m_db.beginWriterRun();
    Sqlite3Cursor last = m_db.queryThrow("select max(rowid) from message");
    m_lastRowIdBefore = last.moveNext() ? last.getInt64(0) : 0;
}

void ExportMessagesDb::write(const _MsgMessage& message)
{
    write(message, m_db.writesLogicHash() ? logicHash(message) : QString());
}

void ExportMessagesDb::write(const _MsgMessage& message, const QString& knownLogicHash)
{
    if (message.item_type != 0 && !m_db.messageHasItemType())
        return;
    if (!message.chat) {
        qCDebug(lcStore) << "IOS6RestoreMessagesThread skip message with empty chat.";
        return;
    }
    const _MsgChat& chat = *message.chat;

    qint64 chatRowId = m_db.findChatByGuid(chat.guid);
    if (chatRowId == 0)
        chatRowId = m_db.insertChat(chat);

    // Finds or inserts a correspondent and makes sure it belongs to the conversation.
    const auto joinedHandle = [this, chatRowId](const _MsgHandle* handle) -> qint64 {
        if (!handle)
            return 0;
        qint64 handleRowId = m_db.findHandle(*handle);
        if (handleRowId != 0) {
            if (!m_db.isHandleInChat(chatRowId, handleRowId))
                m_db.joinHandleToChat(chatRowId, handleRowId);
        } else {
            handleRowId = m_db.insertHandle(*handle);
            m_db.joinHandleToChat(chatRowId, handleRowId);
        }
        return handleRowId;
    };

    const qint64 handleRowId = joinedHandle(message.handle);

    const QString hash = m_db.writesLogicHash() ? knownLogicHash : QString();
    qint64 messageRowId = m_db.findMessageByLogicHash(hash);
    if (messageRowId == 0)
        messageRowId = m_db.findMessageByGuid(message.guid);
    if (messageRowId == 0) {
        const qint64 otherHandleRowId = joinedHandle(message.otherHandle);
        messageRowId = m_db.insertMessage(message, handleRowId, otherHandleRowId, hash);
        m_db.joinMessageToChat(chatRowId, messageRowId);
        m_db.keepNewestDate(chatRowId, message.date);
        ++m_added;
    } else {
        ++m_known;
        if (messageRowId > m_lastRowIdBefore)
            ++m_repeated;
    }

    if (chat.handles.size() > 1 && message.handle)
        m_db.setLastAddressedHandle(chatRowId, message.handle->id);

    if (message.attachments.isEmpty())
        return;
    std::vector<const _MsgAttachment*> attachments;
    attachments.reserve(static_cast<size_t>(message.attachments.size()));
    for (const _MsgAttachment& attachment : message.attachments)
        attachments.push_back(&attachment);
    std::stable_sort(attachments.begin(), attachments.end(),
        [](const _MsgAttachment* a, const _MsgAttachment* b) { return a->rowid < b->rowid; });
    for (const _MsgAttachment* attachment : attachments) {
        copyAttachmentFile(*attachment);
        qint64 attachmentRowId = m_db.findAttachmentByGuid(attachment->guid);
        if (attachmentRowId == 0)
            attachmentRowId = m_db.insertAttachment(*attachment);
        m_db.joinAttachmentToMessage(messageRowId, attachmentRowId);
    }
}

void ExportMessagesDb::end()
{
    m_db.flushNewestDates();
    m_db.endWriterRun();
    m_db.endTransaction(true);
    m_db.close();
}
