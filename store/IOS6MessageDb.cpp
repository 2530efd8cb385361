// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/IOS6MessageDb.h"

#include "base/DataFolders.h"
#include "message/MsgCollection.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtDebug>

#include <sqlite3.h>
#include <stdexcept>

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

} // namespace

IOS6MessageDb::IOS6MessageDb(const QDir& folder, const QString& mcc, bool upgrade)
    : m_folder(folder)
    , m_fileRelay(folder.filePath(QStringLiteral("file-relay")))
    , m_contacts(folder, mcc)
    , m_countryLib(countryLibPath(), mcc)
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
    m_readOnly = false;
    try {
        if (exists) {
            openExisting(path);
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

void IOS6MessageDb::openExisting(const QString& path)
{
    const QFileInfo file(path);
    m_readOnly = !file.isWritable() || !QFileInfo(file.absolutePath()).isWritable();
    if (!m_readOnly) {
        openThrow(path, ReadWrite | connectionFlags);
        // SQLite opens for reading only, without saying so, what it may not write (a read-only mount).
        m_readOnly = sqlite3_db_readonly(rawHandle(), "main") == 1;
    }
    if (m_readOnly)
        openReadOnly(path);
    requireMessageTables(path);
    if (m_upgrade && !m_readOnly)
        upgradeSchema();
}

void IOS6MessageDb::openReadOnly(const QString& path)
{
    // A reader of a file in write-ahead mode creates -wal and -shm files beside it and cannot remove
    // them afterwards, and cannot open it at all in a folder it may not write. Opened as immutable,
    // SQLite needs neither. That ignores journals, so a file with changes still in a journal is read
    // through it the ordinary way.
    const QFileInfo wal(path + QStringLiteral("-wal"));
    const bool journalled = (wal.exists() && wal.size() > 0) || QFileInfo::exists(path + QStringLiteral("-journal"));
    if (journalled) {
        openThrow(path, ReadOnly | connectionFlags);
        return;
    }
    openThrow(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
            + QStringLiteral("?immutable=1"),
        ReadOnly | SQLITE_OPEN_URI | connectionFlags);
}

void IOS6MessageDb::requireMessageTables(const QString& path)
{
    int found = 0;
    try {
        Sqlite3Cursor tables = queryThrow(
            "select count(*) from sqlite_master where type in ('table', 'view') and name in ('chat', 'message')");
        if (tables.moveNext())
            found = tables.getInt(0);
    } catch (const Sqlite3Exception& e) {
        // Not SQLite at all, or encrypted.
        if (e.code() != SQLITE_NOTADB)
            throw;
    }
    if (found < 2)
        throwText(QStringLiteral("The file \"%1\" is not a message database this application can read.")
                      .arg(QDir::toNativeSeparators(path)));
}

QByteArray IOS6MessageDb::schemaScript()
{
    QFile file(schemaResource);
    if (!file.open(QIODevice::ReadOnly))
        throwText(QStringLiteral("read IOS6MessageDb ddl error. %1").arg(file.errorString()));
    QByteArray script = file.readAll();
    const qsizetype nul = script.indexOf('\0');
    if (nul >= 0)
        script.truncate(nul);
    return script;
}

void IOS6MessageDb::createSchema()
{
    const QByteArray script = schemaScript();
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

qint64 IOS6MessageDb::messageCount()
{
    if (!QFileInfo::exists(dbPath()))
        return 0;
    open();
    QString sql = QStringLiteral("select count(*) from message");
    if (messageHasItemType())
        sql += QStringLiteral(" where item_type <> 4");
    Sqlite3Cursor cursor = queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
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
