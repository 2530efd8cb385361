// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/SearchIndex.h"

#include "store/IOSContactsMemDb.h"
#include "store/StoreLog.h"
#include "store/search/SearchQuery.h"
#include "store/search/SearchTokenizer.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QRecursiveMutex>
#include <QtDebug>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sqlite3.h>

namespace {

const QString storeRelativePath = QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db");
const QString buildSuffix = QStringLiteral(".build");
// A build file this old was left by a run that ended before it was done.
constexpr qint64 abandonedBuildSeconds = 3600;

// Size, modification time and, for an SQLite file, the change counter and page count of its
// header: any write to the file changes one of them.
QString fileSignature(const QString& path, bool sqliteHeader)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("-");
    QString signature = QStringLiteral("%1@%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    if (sqliteHeader) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            signature += QLatin1Char('#') + QString::fromLatin1(file.read(32).mid(24).toHex());
    }
    return signature;
}

// One writer per index file in this program: a search and an update after a task may reach the same
// index from two threads, and the second then finds the index brought up to date by the first.
QRecursiveMutex& writerLock(const QString& indexPath)
{
    static QMutex registryLock;
    static QHash<QString, std::shared_ptr<QRecursiveMutex>> locks;
    const QMutexLocker locked(&registryLock);
    std::shared_ptr<QRecursiveMutex>& lock = locks[QFileInfo(indexPath).absoluteFilePath()];
    if (!lock)
        lock = std::make_shared<QRecursiveMutex>();
    return *lock;
}

} // namespace

SearchIndex::SearchIndex(const QDir& folder)
    : m_folder(folder)
{
}

SearchIndex::~SearchIndex() = default;

QString SearchIndex::storePath() const
{
    return m_folder.filePath(storeRelativePath);
}

bool SearchIndex::hasStore() const
{
    return QFileInfo(storePath()).isFile();
}

void SearchIndex::open()
{
    if (isOpen())
        return;
    openThrow(indexPath(), ReadWrite | SQLITE_OPEN_NOMUTEX);
    try {
        searchtext::registerTokenizer(rawHandle());
        // Searches read the index's pages where the system caches them instead of copying each into
        // a page cache of the connection's own, which a search of a frequent word fills many times.
        queryThrow("PRAGMA mmap_size=1073741824").moveNext();
    } catch (...) {
        close();
        throw;
    }
}

bool SearchIndex::isDamage(const std::exception& error)
{
    const auto* sqliteError = dynamic_cast<const Sqlite3Exception*>(&error);
    if (!sqliteError)
        return false;
    const int code = sqliteError->code() & 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

bool SearchIndex::openUsable()
{
    if (isOpen())
        return true;
    if (!QFileInfo::exists(indexPath()))
        return false;
    m_chatTokensRead = false;
    try {
        open();
        Sqlite3Cursor version = queryThrow("PRAGMA user_version");
        if (!version.moveNext() || version.getInt(0) != formatVersion) {
            close();
            return false;
        }
        version = queryThrow("select count(*) from state");
        return true;
    } catch (const std::exception& error) {
        // Garbage, a file of some other program, or one cut short: built anew.
        qCWarning(lcStore).noquote()
            << QStringLiteral("search index %1 is unusable: %2").arg(indexPath(), QString::fromUtf8(error.what()));
        close();
        return false;
    }
}

QString SearchIndex::storeSignature() const
{
    const QString store = storePath();
    const IOSContactsMemDb contacts(m_folder, QString());
    const QString addressBook = contacts.addressBookPath();
    return QStringList { fileSignature(store, true), fileSignature(store + QStringLiteral("-wal"), false),
        fileSignature(addressBook, false), fileSignature(addressBook + QStringLiteral("-wal"), false) }
        .join(QLatin1Char(';'));
}

SearchIndex::Update SearchIndex::ensureUpToDate(const Progress& progress)
{
    const QMutexLocker locked(&writerLock(indexPath()));
    // Another connection may have updated the index, or built it anew under the same name, since this
    // one opened it: the file is opened again and the conversations' terms read again.
    close();
    m_chatTokensRead = false;
    if (!hasStore()) {
        close();
        return Update::NoStore;
    }
    if (openUsable()) {
        try {
            const QString signature = storeSignature();
            if (indexedSignature() == signature)
                return Update::Unchanged;
            m_chatTokensRead = false;
            if (update(signature, progress))
                return Update::Updated;
        } catch (const std::exception& error) {
            if (!isDamage(error))
                throw;
            qCWarning(lcStore).noquote()
                << QStringLiteral("search index %1 is damaged: %2").arg(indexPath(), QString::fromUtf8(error.what()));
        }
    }
    rebuild(progress);
    return Update::Rebuilt;
}

QString SearchIndex::indexedSignature()
{
    Sqlite3Cursor stored = queryThrow("select value from state where name = 'signature'");
    return stored.moveNext() ? stored.getText(0) : QString();
}

void SearchIndex::removeIndexFiles(const QString& path) const
{
    for (const QString& suffix :
        { QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        if (QFileInfo::exists(path + suffix) && !QFile::remove(path + suffix))
            throw std::runtime_error(QStringLiteral("can not remove %1.").arg(path + suffix).toStdString());
    }
}

void SearchIndex::rebuild(const Progress& progress)
{
    const QMutexLocker locked(&writerLock(indexPath()));
    close();
    m_chatTokensRead = false;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QFileInfo& left :
        m_folder.entryInfoList({ fileName() + QStringLiteral(".*") + buildSuffix }, QDir::Files | QDir::Hidden)) {
        if (left.lastModified().secsTo(now) > abandonedBuildSeconds)
            QFile::remove(left.absoluteFilePath());
    }

    // A name of its own, so that two programs building the same index never write one file.
    const QString building = QStringLiteral("%1.%2%3")
                                 .arg(indexPath())
                                 .arg(QRandomGenerator::global()->generate64(), 0, 16)
                                 .arg(buildSuffix);
    const QString signature = storeSignature();
    try {
        buildInto(building, signature, progress);
        close();
        removeIndexFiles(indexPath());
        if (std::rename(QFile::encodeName(building).constData(), QFile::encodeName(indexPath()).constData()) != 0)
            throw std::runtime_error(
                QStringLiteral("can not rename %1 to %2.").arg(building, indexPath()).toStdString());
    } catch (...) {
        close();
        QFile::remove(building);
        QFile::remove(building + QStringLiteral("-journal"));
        throw;
    }
    open();
}

QString SearchIndex::matchExpression(const SearchQuery& query, qint64 chatRowId)
{
    if (!m_chatTokensRead) {
        m_chatTokens.clear();
        Sqlite3Cursor chat = queryThrow("select rowid, who from chat");
        while (chat.moveNext())
            m_chatTokens.push_back(ChatTokens { chat.getInt64(0), searchTokens(chat.getText(1)) });
        m_chatTokensRead = true;
    }
    const auto quoted = [](qint64 chat) {
        return QLatin1Char('"') + QString::fromStdString(searchtext::conversationToken(chat)) + QLatin1Char('"');
    };

    QStringList parts;
    for (const SearchQuery::Term& term : query.terms()) {
        QStringList conversations;
        for (const ChatTokens& chat : m_chatTokens) {
            if (chatRowId > 0 && chat.rowid != chatRowId)
                continue;
            if (std::any_of(term.cbegin(), term.cend(),
                    [&chat](const SearchQuery::Sequence& sequence) { return sequence.occursIn(chat.tokens); }))
                conversations << quoted(chat.rowid);
        }
        // Within one conversation, a term its names or numbers hold is true of every message.
        if (chatRowId > 0 && !conversations.isEmpty())
            continue;
        QStringList phrases;
        for (const SearchQuery::Sequence& sequence : term)
            phrases << sequence.phrase();
        QString part = QStringLiteral("body : (%1)").arg(phrases.join(QStringLiteral(" OR ")));
        if (!conversations.isEmpty())
            part = QStringLiteral("(%1 OR conv : (%2))").arg(part, conversations.join(QStringLiteral(" OR ")));
        parts << part;
    }
    if (chatRowId > 0)
        parts << QStringLiteral("conv : ") + quoted(chatRowId);
    return parts.join(QStringLiteral(" AND "));
}

qint64 SearchIndex::firstKeyFrom(qint64 date, qint64 firstKey, qint64 lastKey)
{
    // Keys follow the dates, so the first key at or after a date is found by halving the key space.
    Sqlite3Sql probe("select key, date from doc where key >= ? order by key limit 1");
    qint64 low = firstKey;
    qint64 high = lastKey + 1;
    qint64 found = lastKey + 1;
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        Sqlite3Cursor next = queryThrow(Sqlite3Sql(probe).addInt64Param(middle));
        if (!next.moveNext())
            break;
        if (next.getInt64(1) >= date) {
            high = middle;
            found = next.getInt64(0);
        } else {
            low = next.getInt64(0) + 1;
        }
    }
    return found;
}

bool SearchIndex::keyBounds(const SearchRange& range, qint64& low, qint64& high)
{
    low = std::numeric_limits<qint64>::min();
    high = std::numeric_limits<qint64>::max();
    const bool since = range.since != std::numeric_limits<qint64>::min();
    const bool until = range.until != std::numeric_limits<qint64>::max();
    if (!since && !until)
        return true;
    qint64 firstKey = 0;
    qint64 lastKey = 0;
    {
        Sqlite3Cursor ends = queryThrow("select min(key), max(key) from doc");
        if (!ends.moveNext() || ends.isNull(0))
            return false;
        firstKey = ends.getInt64(0);
        lastKey = ends.getInt64(1);
    }
    if (since)
        low = firstKeyFrom(range.since, firstKey, lastKey);
    if (until)
        high = firstKeyFrom(range.until + 1, firstKey, lastKey) - 1;
    return low <= high;
}

QList<SearchIndexHit> SearchIndex::newest(const SearchQuery& query, const SearchRange& range, int limit)
{
    QList<SearchIndexHit> hits;
    if (query.isEmpty())
        return hits;
    open();
    qint64 low = 0;
    qint64 high = 0;
    if (!keyBounds(range, low, high))
        return hits;
    Sqlite3Sql sql(QStringLiteral("select d.msg, d.chat, d.date, d.from_me, d.text, c.identifier, c.name from fts "
                                  "join doc as d on d.key = fts.rowid left join chat as c on c.rowid = d.chat "
                                  "where fts match ? and fts.rowid between ? and ? order by fts.rowid desc limit %1")
                       .arg(limit < 0 ? -1 : limit));
    sql.addTextParam(matchExpression(query, range.chatRowId)).addInt64Param(low).addInt64Param(high);
    Sqlite3Cursor cursor = queryThrow(sql);
    while (cursor.moveNext()) {
        SearchIndexHit hit;
        hit.messageRowId = cursor.getInt64(0);
        hit.chatRowId = cursor.getInt64(1);
        hit.date = cursor.getInt(2);
        hit.fromMe = cursor.getInt(3) != 0;
        hit.text = cursor.getText(4);
        hit.text.remove(QChar(0xFFFC));
        hit.chatIdentifier = cursor.getText(5);
        hit.conversation = cursor.getText(6);
        hits.append(hit);
    }
    return hits;
}

qint64 SearchIndex::count(const SearchQuery& query, const SearchRange& range)
{
    if (query.isEmpty())
        return 0;
    open();
    qint64 low = 0;
    qint64 high = 0;
    if (!keyBounds(range, low, high))
        return 0;
    Sqlite3Sql sql("select count(*) from fts where fts match ? and rowid between ? and ?");
    sql.addTextParam(matchExpression(query, range.chatRowId)).addInt64Param(low).addInt64Param(high);
    Sqlite3Cursor cursor = queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

qint64 SearchIndex::messageCount()
{
    open();
    Sqlite3Cursor cursor = queryThrow("select count(*) from doc");
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}
