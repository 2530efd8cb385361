// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/LocalDbUpdateThread.h"

#include "message/MessageIdentity.h"
#include "message/RecordDefaults.h"
#include "ops/OpsLog.h"
#include "ops/Rc4.h"
#include "store/CountryLibDb.h"
#include "store/ExportMessagesDb.h"
#include "store/Sqlite3DB.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace {

const QByteArray bodyKey = QByteArrayLiteral("5D03C8E1F27A94B6603E1DA7C45B9F28");
const QString workSuffix = QStringLiteral("__tmp");
// Seconds from 1970-01-01 to 2001-01-01, where the dates of the message store start.
constexpr qint64 storeEpochOffset = 978307200;

// Empty when the file is a database of the older format, otherwise why it is not.
QString notLegacyReason(const QString& path)
{
    try {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadOnly);
        Sqlite3Cursor views = db.queryThrow(
            Sqlite3Sql("select count(*) from sqlite_master where type = 'view' and name = 'view_sms' collate nocase"));
        if (views.moveNext() && views.getInt(0) > 0)
            return QString();
        return QStringLiteral("it has no view view_sms");
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
}

// The columns of view_sms, resolved once per file. A missing column reads as 0 or empty.
struct LegacyColumns
{
    explicit LegacyColumns(const Sqlite3Cursor& rows)
        : address(rows.columnIndex(QStringLiteral("address"), Qt::CaseInsensitive))
        , body(rows.columnIndex(QStringLiteral("body"), Qt::CaseInsensitive))
        , person(rows.columnIndex(QStringLiteral("person"), Qt::CaseInsensitive))
        , date(rows.columnIndex(QStringLiteral("date"), Qt::CaseInsensitive))
        , isSend(rows.columnIndex(QStringLiteral("is_send"), Qt::CaseInsensitive))
    {
    }

    int address;
    int body;
    int person;
    int date;
    int isSend;
};

// Stores one row of view_sms as an SMS in the conversation of its address.
void writeLegacyRow(
    ExportMessagesDb& writer, const CountryInfo& country, const Sqlite3Cursor& row, const LegacyColumns& columns)
{
    const QString address = normalizePhoneNumber(country, row.getText(columns.address));
    const QByteArray body = row.getBlob(columns.body);

    // A converted row is stored as a load from a phone would store it.
    _MsgHandle handle;
    _MsgChat chat;
    fillCorrespondent(address, handle, chat);
    handle._ct_name = row.getText(columns.person);

    _MsgMessage message;
    fillLoadedMessage(message);
    message.handle = &handle;
    message.chat = &chat;
    message.text = body.isEmpty() ? QString() : QString::fromUtf8(rc4(bodyKey, body));
    message.date = static_cast<int>(row.getInt(columns.date) - storeEpochOffset);
    message.date_read = message.date;
    message.date_delivered = message.date;
    message.is_from_me = row.getInt(columns.isSend) != 0 ? 1 : 0;
    // The guid follows from the duplicate key, so a row converted twice is the same message.
    message.guid = guidFromBytes(logicHash(message).toUtf8());
    writer.write(message);
}

} // namespace

LocalDbUpdateThread::LocalDbUpdateThread(
    const QDir& folder, const QStringList& fileNames, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_folder(folder)
    , m_fileNames(fileNames)
{
}

LocalDbUpdateThread::~LocalDbUpdateThread() = default;

QStringList LocalDbUpdateThread::legacyDatabaseFiles(const QDir& folder)
{
    QStringList names;
    const QFileInfoList files = folder.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString reason = notLegacyReason(file.absoluteFilePath());
        if (reason.isEmpty())
            names.append(file.fileName());
        else
            qCWarning(lcOps) << "leaving" << file.absoluteFilePath()
                             << "as it is, not a local database of the older format:" << reason;
    }
    return names;
}

QString LocalDbUpdateThread::work()
{
    for (const QString& fileName : std::as_const(m_fileNames))
        convertFile(fileName);
    // A converted file whose removal failed is tried once more; nothing else is removed.
    for (const QString& path : std::as_const(m_convertedPaths)) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            qCWarning(lcOps) << "can not remove" << path;
    }
    return tr("IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH");
}

void LocalDbUpdateThread::convertFile(const QString& fileName)
{
    reportStatus(tr("IDS_UPDATING_LOCALDB_%1").arg(fileName), 0);

    QString path = m_folder.absoluteFilePath(fileName);
    if (QFileInfo(fileName).suffix().compare(workSuffix, Qt::CaseInsensitive) != 0) {
        const QString workPath = path + QStringLiteral(".__tmp");
        if (!QFile::rename(path, workPath))
            throw std::runtime_error(QStringLiteral("can not rename %1.").arg(path).toStdString());
        path = workPath;
    }
    // The database folder takes the name the file had before the work suffix.
    const QString folderPath = path.left(path.lastIndexOf(QLatin1Char('.')));
    m_writer = std::make_unique<ExportMessagesDb>(QDir(folderPath), QString());
    m_legacy = std::make_unique<Sqlite3DB>();
    m_legacy->openThrow(path, Sqlite3DB::ReadWrite);
    m_writer->begin();
    const CountryInfo country = m_writer->db().countryLib().currentCountry();

    qint64 total = 0;
    {
        Sqlite3Cursor counted = m_legacy->queryThrow(Sqlite3Sql("select count(*) from view_sms"));
        if (counted.moveNext())
            total = counted.getInt64(0);
    }

    {
        // The cursor ends before the connection that made it.
        Sqlite3Cursor rows = m_legacy->queryThrow(Sqlite3Sql("select * from view_sms"));
        const LegacyColumns columns(rows);
        const QString progressFormat = tr("SMS: %1/%2");
        qint64 done = 0;
        while (rows.moveNext()) {
            reportProgress(++done, std::max(total, done), progressFormat);
            writeLegacyRow(*m_writer, country, rows, columns);
        }
    }

    m_writer->end();
    m_writer.reset();
    m_legacy.reset();
    m_convertedPaths.append(path);
    if (!QFile::remove(path))
        qCWarning(lcOps) << "can not remove" << path;
}

void LocalDbUpdateThread::abandon()
{
    // The file keeps its work name and the writer's transaction is rolled back, so the next start
    // converts it again from the beginning.
    m_legacy.reset();
    m_writer.reset();
}
