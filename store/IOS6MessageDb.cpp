// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/IOS6MessageDb.h"

#include "store/MsgCollection.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <sqlite3.h>
#include <stdexcept>
#include <string>

namespace {

const QString schemaResource = QStringLiteral(":/res/localmsgdb_ddl.sql");

// A store object is used by one thread at a time, so its connection needs no locking of its own;
// reading calls into SQLite dozens of times per message.
constexpr int connectionFlags = SQLITE_OPEN_NOMUTEX;

[[noreturn]] void throwText(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// Statements and triggers of older stores call these; the files they named are left on disk.
void returnZero(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int(context, 0);
}

struct UpgradeStep
{
    const char* column;
    const char* statement;
};

// Later columns of `message`, added in this order when missing.
const UpgradeStep messageUpgradeSteps[] = {
    { "is_audio_message", "ALTER TABLE message ADD COLUMN is_audio_message INTEGER DEFAULT 0;" },
    { "is_played", "ALTER TABLE message ADD COLUMN is_played INTEGER DEFAULT 0;" },
    { "date_played", "ALTER TABLE message ADD COLUMN date_played INTEGER;" },
    { "item_type", "ALTER TABLE message ADD COLUMN item_type INTEGER DEFAULT 0;" },
    { "other_handle", "ALTER TABLE message ADD COLUMN other_handle INTEGER DEFAULT -1;" },
    { "group_title", "ALTER TABLE message ADD COLUMN group_title TEXT;" },
    { "group_action_type", "ALTER TABLE message ADD COLUMN group_action_type INTEGER DEFAULT 0;" },
    { "share_status", "ALTER TABLE message ADD COLUMN share_status INTEGER;" },
    { "share_direction", "ALTER TABLE message ADD COLUMN share_direction INTEGER;" },
    { "is_expirable", "ALTER TABLE message ADD COLUMN is_expirable INTEGER DEFAULT 0;" },
    { "expire_state", "ALTER TABLE message ADD COLUMN expire_state INTEGER DEFAULT 0;" },
    { "message_action_type", "ALTER TABLE message ADD COLUMN message_action_type INTEGER DEFAULT 0;" },
    { "logic_hash", "ALTER TABLE message ADD COLUMN logic_hash TEXT;" },
};

// The message clean-up trigger of the schema script, for stores made with an earlier one.
const char narrowMessageTrigger[] = "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join\n"
                                    "BEGIN\n"
                                    "    DELETE FROM message WHERE ROWID = old.message_id\n"
                                    "        AND (SELECT 1 from chat_message_join WHERE message_id = old.message_id "
                                    "LIMIT 1) IS NULL;\n"
                                    "END;";

} // namespace

IOS6MessageDb::IOS6MessageDb(const QDir& folder, const QString& mcc, bool upgrade)
    : m_folder(folder)
    , m_fileRelay(folder.filePath(QStringLiteral("file-relay")))
    , m_contacts(folder, mcc)
    , m_countryLib(mcc)
    , m_relativeDbPath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"))
    , m_upgrade(upgrade)
{
}

IOS6MessageDb::~IOS6MessageDb() = default;

QString IOS6MessageDb::dbPath() const
{
    return m_folder.filePath(m_relativeDbPath);
}

void IOS6MessageDb::open()
{
    if (isOpen())
        return;
    const QString path = dbPath();
    const bool exists = QFileInfo::exists(path);
    try {
        if (exists) {
            openThrow(path, ReadWrite | connectionFlags);
            if (m_upgrade)
                upgradeSchema();
        } else {
            QDir().mkpath(QFileInfo(path).absolutePath());
            openThrow(path, ReadWriteCreate | connectionFlags);
            createSchema();
        }
        registerFunctions();
        readTableSql();
    } catch (...) {
        // Closed again so that the next call retries instead of using a store whose upgrade or
        // column list is incomplete; a file this call created holds nothing but a partial schema.
        close();
        m_tableSql.clear();
        if (!exists)
            QFile::remove(path);
        throw;
    }
}

void IOS6MessageDb::createSchema()
{
    QFile file(schemaResource);
    if (!file.open(QIODevice::ReadOnly))
        throwText(QStringLiteral("read IOS6MessageDb ddl error. %1").arg(file.errorString()));
    QByteArray script = file.readAll();
    const qsizetype nul = script.indexOf('\0');
    if (nul >= 0)
        script.truncate(nul);
    // One transaction: a single sync instead of one per statement, and no half-made schema on failure.
    sqlite3* db = rawHandle();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throwText(QStringLiteral("create IOS6MessageDb error. %1").arg(error));
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, &message) != SQLITE_OK) {
        const QString error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_free(message);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throwText(QStringLiteral("create IOS6MessageDb error. %1").arg(error));
    }
}

void IOS6MessageDb::upgradeSchema()
{
    int step = 1;
    auto run = [this, &step](const QString& statement) {
        QString error;
        if (exec(statement, error) != 0)
            throwText(QStringLiteral("line:%1, sql:%2, error:%3").arg(QString::number(step), statement, error));
    };

    if (!tbInfo(QStringLiteral("chat")).contains(QStringLiteral("group_id")))
        run(QStringLiteral("ALTER TABLE chat ADD COLUMN group_id TEXT;"));

    const QMap<QString, _SqliteCol> messageColumns = tbInfo(QStringLiteral("message"));
    for (const UpgradeStep& upgrade : messageUpgradeSteps) {
        ++step;
        if (messageColumns.contains(QLatin1String(upgrade.column)))
            continue;
        run(QLatin1String(upgrade.statement));
        if (qstrcmp(upgrade.column, "logic_hash") == 0) {
            ++step;
            run(QStringLiteral("CREATE INDEX message_idx_logic_hash ON message(logic_hash);"));
        }
    }

    // Stores made before the message clean-up looked only at the deleted join row's message scan
    // the whole message table for every deleted join row, and the correspondent clean-up scans every
    // conversation join: deleting a large conversation took minutes. They get the narrow trigger,
    // with the same effect on every deletion the application makes, and the index by correspondent.
    step = 20;
    QString messageTrigger;
    {
        Sqlite3Cursor trigger
            = queryThrow("select sql from sqlite_master where type='trigger' and name='clean_orphaned_messages'");
        if (trigger.moveNext())
            messageTrigger = trigger.getText(0);
    }
    if (messageTrigger.contains(QLatin1String("message_id = message.ROWID"))) {
        // In one transaction, so that a failure never leaves the store without the trigger.
        QString error;
        if (exec(QStringLiteral("BEGIN; DROP TRIGGER clean_orphaned_messages; %1 COMMIT;")
                     .arg(QLatin1String(narrowMessageTrigger)),
                error)
            != 0) {
            QString ignored;
            exec(QStringLiteral("ROLLBACK"), ignored);
            throwText(QStringLiteral("line:%1, sql:%2, error:%3")
                          .arg(QString::number(step), QLatin1String(narrowMessageTrigger), error));
        }
    }
    step = 21;
    if (tbInfo(QStringLiteral("chat_handle_join")).contains(QStringLiteral("handle_id")))
        run(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS chat_handle_join_idx_handle_id ON chat_handle_join(handle_id);"));
}

void IOS6MessageDb::registerFunctions()
{
    sqlite3* db = rawHandle();
    sqlite3_create_function_v2(
        db, "delete_attachment_path", 1, SQLITE_ANY, nullptr, returnZero, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(
        db, "before_delete_attachment_path", 2, SQLITE_ANY, nullptr, returnZero, nullptr, nullptr, nullptr);
}

void IOS6MessageDb::readTableSql()
{
    m_tableSql.clear();
    Sqlite3Cursor cursor = queryThrow("select * from sqlite_master where type='table'");
    const int name = cursor.columnIndex(QStringLiteral("name"));
    const int sql = cursor.columnIndex(QStringLiteral("sql"));
    while (cursor.moveNext())
        m_tableSql.insert(cursor.getText(name), cursor.getText(sql));
}

bool IOS6MessageDb::messageHasItemType() const
{
    return m_tableSql.value(QStringLiteral("message")).contains(QLatin1String("item_type"), Qt::CaseSensitive);
}

bool IOS6MessageDb::chatKeepsLast() const
{
    return m_tableSql.value(QStringLiteral("chat")).contains(QLatin1String("_last INTEGER"), Qt::CaseInsensitive);
}

bool IOS6MessageDb::handleHasContactName() const
{
    return m_tableSql.value(QStringLiteral("handle")).contains(QLatin1String("_ct_name TEXT"), Qt::CaseInsensitive);
}

bool IOS6MessageDb::handleHasContactPhoto() const
{
    return m_tableSql.value(QStringLiteral("handle")).contains(QLatin1String("_photo BLOB"), Qt::CaseInsensitive);
}

bool IOS6MessageDb::chatHasColumn(const QString& column) const
{
    return m_tableSql.value(QStringLiteral("chat")).contains(column, Qt::CaseSensitive);
}

bool IOS6MessageDb::messageHasColumn(const QString& column) const
{
    return m_tableSql.value(QStringLiteral("message")).contains(column, Qt::CaseSensitive);
}

bool IOS6MessageDb::attachmentHasColumn(const QString& column) const
{
    return m_tableSql.value(QStringLiteral("attachment")).contains(column, Qt::CaseSensitive);
}

namespace {

// Reads a text column whose values repeat from row to row (service, country, account) and hands
// out the previous row's string while the bytes stay the same, so equal values share one buffer.
class RepeatedText
{
public:
    RepeatedText(const Sqlite3Cursor& cursor, const QString& name)
        : m_index(cursor.columnIndex(name))
    {
    }

    QString read(const Sqlite3Cursor& cursor)
    {
        int size = 0;
        const char* data = cursor.textData(m_index, &size);
        if (!data || size == 0)
            return QString();
        if (m_lastBytes.size() != static_cast<size_t>(size) || m_lastBytes.compare(0, size, data, size) != 0) {
            m_lastBytes.assign(data, size);
            m_lastValue = QString::fromUtf8(data, size);
        }
        return m_lastValue;
    }

private:
    int m_index;
    std::string m_lastBytes;
    QString m_lastValue;
};

// Column indexes of a "j.chat_id, m.*" row, resolved once per query.
struct MessageColumns
{
    explicit MessageColumns(const Sqlite3Cursor& c)
        : chat_id(c.columnIndex(QStringLiteral("chat_id")))
        , rowid(c.columnIndex(QStringLiteral("ROWID"), Qt::CaseInsensitive))
        , guid(c.columnIndex(QStringLiteral("guid")))
        , text(c.columnIndex(QStringLiteral("text")))
        , replace(c.columnIndex(QStringLiteral("replace")))
        , service_center(c, QStringLiteral("service_center"))
        , handle_id(c.columnIndex(QStringLiteral("handle_id")))
        , subject(c, QStringLiteral("subject"))
        , country(c, QStringLiteral("country"))
        , attributedBody(c.columnIndex(QStringLiteral("attributedBody")))
        , version(c.columnIndex(QStringLiteral("version")))
        , type(c.columnIndex(QStringLiteral("type")))
        , service(c, QStringLiteral("service"))
        , account(c, QStringLiteral("account"))
        , account_guid(c, QStringLiteral("account_guid"))
        , error(c.columnIndex(QStringLiteral("error")))
        , date(c.columnIndex(QStringLiteral("date")))
        , date_read(c.columnIndex(QStringLiteral("date_read")))
        , date_delivered(c.columnIndex(QStringLiteral("date_delivered")))
        , is_delivered(c.columnIndex(QStringLiteral("is_delivered")))
        , is_finished(c.columnIndex(QStringLiteral("is_finished")))
        , is_emote(c.columnIndex(QStringLiteral("is_emote")))
        , is_from_me(c.columnIndex(QStringLiteral("is_from_me")))
        , is_empty(c.columnIndex(QStringLiteral("is_empty")))
        , is_delayed(c.columnIndex(QStringLiteral("is_delayed")))
        , is_auto_reply(c.columnIndex(QStringLiteral("is_auto_reply")))
        , is_prepared(c.columnIndex(QStringLiteral("is_prepared")))
        , is_read(c.columnIndex(QStringLiteral("is_read")))
        , is_system_message(c.columnIndex(QStringLiteral("is_system_message")))
        , is_sent(c.columnIndex(QStringLiteral("is_sent")))
        , has_dd_results(c.columnIndex(QStringLiteral("has_dd_results")))
        , is_service_message(c.columnIndex(QStringLiteral("is_service_message")))
        , is_forward(c.columnIndex(QStringLiteral("is_forward")))
        , was_downgraded(c.columnIndex(QStringLiteral("was_downgraded")))
        , is_archive(c.columnIndex(QStringLiteral("is_archive")))
        , cache_has_attachments(c.columnIndex(QStringLiteral("cache_has_attachments")))
        , cache_roomnames(c, QStringLiteral("cache_roomnames"))
        , was_data_detected(c.columnIndex(QStringLiteral("was_data_detected")))
        , was_deduplicated(c.columnIndex(QStringLiteral("was_deduplicated")))
        , is_audio_message(c.columnIndex(QStringLiteral("is_audio_message")))
        , is_played(c.columnIndex(QStringLiteral("is_played")))
        , date_played(c.columnIndex(QStringLiteral("date_played")))
        , item_type(c.columnIndex(QStringLiteral("item_type")))
        , other_handle(c.columnIndex(QStringLiteral("other_handle")))
        , group_title(c, QStringLiteral("group_title"))
        , group_action_type(c.columnIndex(QStringLiteral("group_action_type")))
        , share_status(c.columnIndex(QStringLiteral("share_status")))
        , share_direction(c.columnIndex(QStringLiteral("share_direction")))
        , is_expirable(c.columnIndex(QStringLiteral("is_expirable")))
        , expire_state(c.columnIndex(QStringLiteral("expire_state")))
        , message_action_type(c.columnIndex(QStringLiteral("message_action_type")))
    {
    }

    std::unique_ptr<_MsgMessage> read(const Sqlite3Cursor& c, qint64 messageRowId)
    {
        auto m = std::make_unique<_MsgMessage>();
        m->rowid = messageRowId;
        m->readRowId = messageRowId;
        m->guid = c.getText(guid);
        m->text = c.getText(text);
        m->replace = c.getInt(replace);
        m->service_center = service_center.read(c);
        m->handle_id = c.getInt64(handle_id);
        m->subject = subject.read(c);
        m->country = country.read(c);
        m->attributedBody = c.getBlob(attributedBody);
        m->version = c.getInt(version);
        m->type = c.getInt(type);
        m->service = service.read(c);
        m->account = account.read(c);
        m->account_guid = account_guid.read(c);
        m->error = c.getInt(error);
        m->date = c.getInt(date);
        m->date_read = c.getInt(date_read);
        m->date_delivered = c.getInt(date_delivered);
        m->is_delivered = c.getInt(is_delivered);
        m->is_finished = c.getInt(is_finished);
        m->is_emote = c.getInt(is_emote);
        m->is_from_me = c.getInt(is_from_me);
        m->is_empty = c.getInt(is_empty);
        m->is_delayed = c.getInt(is_delayed);
        m->is_auto_reply = c.getInt(is_auto_reply);
        m->is_prepared = c.getInt(is_prepared);
        m->is_read = c.getInt(is_read);
        m->is_system_message = c.getInt(is_system_message);
        m->is_sent = c.getInt(is_sent);
        m->has_dd_results = c.getInt(has_dd_results);
        m->is_service_message = c.getInt(is_service_message);
        m->is_forward = c.getInt(is_forward);
        m->was_downgraded = c.getInt(was_downgraded);
        m->is_archive = c.getInt(is_archive);
        m->cache_has_attachments = c.getInt(cache_has_attachments);
        m->cache_roomnames = cache_roomnames.read(c);
        m->was_data_detected = c.getInt(was_data_detected);
        m->was_deduplicated = c.getInt(was_deduplicated);
        m->is_audio_message = c.getInt(is_audio_message);
        m->is_played = c.getInt(is_played);
        m->date_played = c.getInt(date_played);
        m->item_type = c.getInt(item_type);
        m->other_handle = c.getInt(other_handle);
        m->group_title = group_title.read(c);
        m->group_action_type = c.getInt(group_action_type);
        m->share_status = c.getInt(share_status);
        m->share_direction = c.getInt(share_direction);
        m->is_expirable = c.getInt(is_expirable);
        m->expire_state = c.getInt(expire_state);
        m->message_action_type = c.getInt(message_action_type);
        return m;
    }

    int chat_id, rowid, guid, text, replace;
    RepeatedText service_center;
    int handle_id;
    RepeatedText subject, country;
    int attributedBody, version, type;
    RepeatedText service, account, account_guid;
    int error, date, date_read, date_delivered, is_delivered, is_finished, is_emote, is_from_me, is_empty, is_delayed,
        is_auto_reply, is_prepared, is_read, is_system_message, is_sent, has_dd_results, is_service_message, is_forward,
        was_downgraded, is_archive, cache_has_attachments;
    RepeatedText cache_roomnames;
    int was_data_detected, was_deduplicated, is_audio_message, is_played, date_played, item_type, other_handle;
    RepeatedText group_title;
    int group_action_type, share_status, share_direction, is_expirable, expire_state, message_action_type;
};

} // namespace

void IOS6MessageDb::chats(_MsgCollection& collection)
{
    open();
    bool withContacts = false;
    try {
        m_contacts.open();
        withContacts = m_contacts.isOpen();
    } catch (const std::exception& e) {
        qWarning().noquote()
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
            chat->_last = c.getInt(last);
            chat->group_id = c.getText(group_id);
            collection.addChat(std::move(chat));
        }
    }

    if (!chatKeepsLast()) {
        Sqlite3Cursor c = queryThrow(
            "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as cm inner "
            "join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");
        const int chat_id = c.columnIndex(QStringLiteral("chat_id"));
        const int last = c.columnIndex(QStringLiteral("last"));
        while (c.moveNext()) {
            if (_MsgChat* chat = collection.chat(c.getInt64(chat_id)))
                chat->_last = c.getInt(last);
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
}

void IOS6MessageDb::messages(_MsgCollection& collection, qint64 chatRowId)
{
    open();
    chats(collection);

    QString sql = QStringLiteral(
        "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (messageHasItemType())
        sql += QStringLiteral(" and m.item_type <> 4");
    if (chatRowId > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chatRowId);

    if (chatRowId <= 0 && collection.messages().isEmpty()) {
        Sqlite3Cursor count = queryThrow("select count(*) as n from message");
        if (count.moveNext())
            collection.reserve(0, 0, count.getInt64(0));
    }

    Sqlite3Cursor c = queryThrow(sql);
    MessageColumns columns(c);
    while (c.moveNext()) {
        const qint64 messageRowId = c.getInt64(columns.rowid);
        _MsgMessage* message = collection.message(messageRowId);
        if (!message)
            message = collection.addMessage(columns.read(c, messageRowId));
        if (_MsgHandle* handle = collection.handle(message->handle_id)) {
            message->handle = handle;
            if (message->country.isEmpty())
                message->country = handle->country;
        }
        if (message->other_handle > 0) {
            if (_MsgHandle* other = collection.handle(message->other_handle))
                message->otherHandle = other;
        }
        if (_MsgChat* chat = collection.chat(c.getInt64(columns.chat_id)))
            collection.linkMessageToChat(message, chat);
    }
}
