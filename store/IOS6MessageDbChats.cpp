// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a store's conversations with their correspondents, and the attachments of the messages read.
#include "message/MsgCollection.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"
#include "store/RepeatedText.h"
#include "store/StoreLog.h"

#include <QFileInfo>
#include <QHash>
#include <QtDebug>

#include <memory>

void IOS6MessageDb::chats(_MsgCollection& collection)
{
    open();
    bool withContacts = false;
    try {
        m_contacts.open();
        withContacts = m_contacts.isOpen();
    } catch (const std::exception& e) {
        qCWarning(lcStore).noquote()
            << QStringLiteral("IOS6MessageDb::chats, IOSContactsMemDb error. %1").arg(QString::fromUtf8(e.what()));
    }

    {
        Sqlite3Cursor c = queryThrow("select * from chat");
        const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
        const int guid = c.columnIndex(QStringLiteral("guid"));
        const int style = c.columnIndex(QStringLiteral("style"));
        const int state = c.columnIndex(QStringLiteral("state"));
        RepeatedText account_id(c, QStringLiteral("account_id"));
        const int properties = c.columnIndex(QStringLiteral("properties"));
        const int chat_identifier = c.columnIndex(QStringLiteral("chat_identifier"));
        RepeatedText service_name(c, QStringLiteral("service_name"));
        const int room_name = c.columnIndex(QStringLiteral("room_name"));
        RepeatedText account_login(c, QStringLiteral("account_login"));
        const int is_archived = c.columnIndex(QStringLiteral("is_archived"));
        const int last_addressed_handle = c.columnIndex(QStringLiteral("last_addressed_handle"));
        const int display_name = c.columnIndex(QStringLiteral("display_name"));
        const int last = c.columnIndex(QStringLiteral("_last"));
        const int group_id = c.columnIndex(QStringLiteral("group_id"));
        while (c.moveNext()) {
            const qint64 chatRowId = c.getInt64(rowid);
            if (collection.chat(chatRowId))
                continue;
            auto chat = std::make_unique<_MsgChat>();
            chat->rowid = chatRowId;
            chat->guid = c.getText(guid);
            chat->style = c.getInt(style);
            chat->state = c.getInt(state);
            chat->account_id = account_id.read(c);
            chat->properties = c.getBlob(properties);
            chat->chat_identifier = c.getText(chat_identifier);
            chat->service_name = service_name.read(c);
            chat->room_name = c.getText(room_name);
            chat->account_login = account_login.read(c);
            chat->is_archived = c.getInt(is_archived);
            chat->last_addressed_handle = c.getText(last_addressed_handle);
            chat->display_name = c.getText(display_name);
            chat->_last = storedDateToSeconds(c.getInt64(last));
            chat->group_id = c.getText(group_id);
            collection.addChat(std::move(chat));
        }
    }

    // A stored _last of 0 is the column's default: a conversation whose messages are all older than
    // 2001 never raises it, so its newest date is taken from its messages like in a store without
    // the column.
    {
        Sqlite3Cursor c = queryThrow(chatKeepsLast()
                ? "select cm.chat_id, max(m.date) as last from chat_message_join as cm inner join message as m on "
                  "cm.message_id=m.rowid where cm.chat_id in (select rowid from chat where _last = 0) group by "
                  "cm.chat_id"
                : "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as cm "
                  "inner join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");
        const int chat_id = c.columnIndex(QStringLiteral("chat_id"));
        const int last = c.columnIndex(QStringLiteral("last"));
        while (c.moveNext()) {
            if (_MsgChat* chat = collection.chat(c.getInt64(chat_id)))
                chat->_last = storedDateToSeconds(c.getInt64(last));
        }
    }

    Sqlite3Cursor c = queryThrow("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on "
                                 "j.handle_id = h.rowid");
    const int chat_id = c.columnIndex(QStringLiteral("chat_id"));
    const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
    const int id = c.columnIndex(QStringLiteral("id"));
    const int country = c.columnIndex(QStringLiteral("country"));
    RepeatedText service(c, QStringLiteral("service"));
    const int uncanonicalized_id = c.columnIndex(QStringLiteral("uncanonicalized_id"));
    const int ct_name = c.columnIndex(QStringLiteral("_ct_name"));
    const int photo = c.columnIndex(QStringLiteral("_photo"));
    QHash<QString, CountryInfo> countriesByCode;
    while (c.moveNext()) {
        const qint64 handleRowId = c.getInt64(rowid);
        _MsgHandle* handle = collection.handle(handleRowId);
        if (!handle) {
            auto fresh = std::make_unique<_MsgHandle>();
            fresh->rowid = handleRowId;
            fresh->id = c.getText(id);
            fresh->country = c.getText(country);
            fresh->service = service.read(c);
            fresh->uncanonicalized_id = c.getText(uncanonicalized_id);
            // With contacts open the stored name and picture are replaced below; not read for nothing.
            if (!withContacts) {
                fresh->_ct_name = c.getText(ct_name);
                fresh->_photo = c.getBlob(photo);
            }

            CountryInfo numberCountry;
            if (fresh->country.isEmpty()) {
                numberCountry = m_countryLib.currentCountry();
                fresh->country = numberCountry.sn.toLower();
            } else {
                auto known = countriesByCode.constFind(fresh->country);
                if (known == countriesByCode.constEnd())
                    known = countriesByCode.insert(fresh->country, m_countryLib.findBySn(fresh->country));
                numberCountry = known.value();
            }
            fresh->id = normalizePhoneNumber(numberCountry, fresh->id);

            if (withContacts) {
                const IOSContact contact = m_contacts.lookup(fresh->id);
                fresh->_ct_name = contact.displayName();
                fresh->_photo = contact.photo;
            }
            handle = collection.addHandle(std::move(fresh));
        }
        if (_MsgChat* chat = collection.chat(c.getInt64(chat_id)))
            chat->handles.insert(QString::number(handleRowId), handle);
    }
    collection.setNumberCountry(numberCountry());
}

QString IOS6MessageDb::attachmentFile(const QString& filename) const
{
    return attachmentFileBelow(filename, QFileInfo(m_folder.path()).canonicalFilePath());
}

// The stored path is mapped below file-relay as the writer maps it, which already drops "..", absolute
// and drive forms; the canonical path then catches a link on the way that points elsewhere.
QString IOS6MessageDb::attachmentFileBelow(const QString& filename, const QString& canonicalFolder) const
{
    if (canonicalFolder.isEmpty() || filename.isEmpty())
        return QString();
    const QString relative = relayRelativePath(filename);
    if (relative.isEmpty())
        return QString();
    const QFileInfo info(m_fileRelay.filePath(relative));
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !info.isFile())
        return QString();
    const QString prefix
        = canonicalFolder.endsWith(QLatin1Char('/')) ? canonicalFolder : canonicalFolder + QLatin1Char('/');
    return canonical.startsWith(prefix) ? canonical : QString();
}

void IOS6MessageDb::readAttachments(_MsgCollection& collection, qint64 chatRowId)
{
    // Stores of older layouts have no attachment tables.
    if (!m_tableSql.contains(QStringLiteral("attachment"))
        || !m_tableSql.contains(QStringLiteral("message_attachment_join")))
        return;
    QString sql = QStringLiteral("select j.message_id, a.* from message_attachment_join as j inner join attachment as "
                                 "a on j.attachment_id = a.rowid");
    if (chatRowId > 0)
        sql += QStringLiteral(" where j.message_id in (select message_id from chat_message_join where chat_id=%1)")
                   .arg(chatRowId);
    Sqlite3Cursor c = queryThrow(sql);
    const int message_id = c.columnIndex(QStringLiteral("message_id"));
    const int rowid = c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive);
    const int guid = c.columnIndex(QStringLiteral("guid"));
    const int created_date = c.columnIndex(QStringLiteral("created_date"));
    const int start_date = c.columnIndex(QStringLiteral("start_date"));
    const int filename = c.columnIndex(QStringLiteral("filename"));
    RepeatedText uti(c, QStringLiteral("uti"));
    RepeatedText mime_type(c, QStringLiteral("mime_type"));
    const int transfer_state = c.columnIndex(QStringLiteral("transfer_state"));
    const int is_outgoing = c.columnIndex(QStringLiteral("is_outgoing"));
    const int user_info = c.columnIndex(QStringLiteral("user_info"));
    const int transfer_name = c.columnIndex(QStringLiteral("transfer_name"));
    const int total_bytes = c.columnIndex(QStringLiteral("total_bytes"));
    const QString canonicalFolder = QFileInfo(m_folder.path()).canonicalFilePath();
    while (c.moveNext()) {
        _MsgMessage* message = collection.message(c.getInt64(message_id));
        if (!message)
            continue;
        _MsgAttachment attachment;
        attachment.rowid = c.getInt64(rowid);
        attachment.guid = c.getText(guid);
        attachment.created_date = storedDateToSeconds(c.getInt64(created_date));
        attachment.start_date = storedDateToSeconds(c.getInt64(start_date));
        attachment.filename = c.getText(filename);
        attachment.uti = uti.read(c);
        attachment.mime_type = mime_type.read(c);
        attachment.transfer_state = c.getInt(transfer_state);
        attachment.is_outgoing = c.getInt(is_outgoing);
        attachment.user_info = c.getBlob(user_info);
        attachment.transfer_name = c.getText(transfer_name);
        attachment.total_bytes = c.getInt64(total_bytes);
        attachment.sourcePath = attachmentFileBelow(attachment.filename, canonicalFolder);
        message->attachments.insert(QString::number(attachment.rowid), attachment);
    }
}
