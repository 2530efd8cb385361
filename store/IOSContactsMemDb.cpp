// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/IOSContactsMemDb.h"

#include "base/DataFolders.h"
#include "store/CountryLibDb.h"
#include "store/StoreLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <sqlite3.h>
#include <stdexcept>

namespace {

const char creationScript[]
    = "CREATE TABLE person(  rowid INTEGER PRIMARY KEY,  first TEXT,  last TEXT,  middle TEXT,  "
      "photo BLOB);CREATE TABLE tel(  person_id INTEGER,  number TEXT,  UNIQUE(person_id, "
      "number));CREATE INDEX index_tel_number on tel(number);";

qint64 modificationTime(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0;
}

} // namespace

QString IOSContact::displayName() const
{
    QString name = first;
    const QString middleName = middle.trimmed();
    if (!middleName.isEmpty())
        name += QLatin1Char(' ') + middleName;
    const QString lastName = last.trimmed();
    if (!lastName.isEmpty())
        name += QLatin1Char(' ') + lastName;
    return name.trimmed();
}

IOSContactsMemDb::IOSContactsMemDb(const QDir& folder, const QString& mcc)
    : m_folder(folder)
    , m_mcc(mcc)
{
}

QString IOSContactsMemDb::addressBookPath() const
{
    return m_folder.filePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
}

QString IOSContactsMemDb::imagesPath() const
{
    return m_folder.filePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBookImages.sqlitedb"));
}

QString IOSContactsMemDb::lookupPath() const
{
    return m_folder.filePath(QStringLiteral("ct-phone.db"));
}

void IOSContactsMemDb::open()
{
    if (isOpen())
        return;
    const QString addressBook = addressBookPath();
    if (!QFileInfo::exists(addressBook))
        return;
    const QString wal = addressBook + QStringLiteral("-wal");
    const qint64 sourceTime = modificationTime(QFileInfo::exists(wal) ? wal : addressBook);
    const CountryInfo country = CountryLibDb(countryLibPath(), m_mcc).currentCountry();
    if (modificationTime(lookupPath()) < sourceTime || !isBuiltFor(country)) {
        try {
            rebuild(country);
        } catch (...) {
            // A half-built copy would look newer than the address book and never be rebuilt.
            try {
                endTransaction(false);
            } catch (const std::exception&) {
                // Closing the connection below discards the transaction all the same.
            }
            close();
            QFile::remove(lookupPath());
            throw;
        }
    }
    openThrow(lookupPath(), ReadOnly);
}

bool IOSContactsMemDb::isBuiltFor(const CountryInfo& country) const
{
    try {
        Sqlite3DB copy;
        copy.openThrow(lookupPath(), ReadOnly);
        Sqlite3Cursor built = copy.queryThrow("select country from built_for");
        return built.moveNext() && built.getText(0) == country.sn;
    } catch (const std::exception&) {
        // Missing, unreadable, or made before the country was recorded.
        return false;
    }
}

void IOSContactsMemDb::rebuild(const CountryInfo& country)
{
    qCDebug(lcStore).noquote() << QStringLiteral("rebuild IOSContactsMemDb.");
    const QString copy = lookupPath();
    if (QFileInfo::exists(copy))
        QFile::remove(copy);
    openThrow(copy, ReadWriteCreate);
    char* message = nullptr;
    const int rc = sqlite3_exec(rawHandle(), creationScript, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        throw std::runtime_error(QStringLiteral("create IOSContactsMemDb error. %1").arg(error).toUtf8().toStdString());
    }

    executeThrow(Sqlite3Sql("CREATE TABLE built_for(country TEXT)"));
    executeThrow(Sqlite3Sql("INSERT INTO built_for VALUES(?)").addTextParam(country.sn));

    Sqlite3DB source;
    source.openThrow(addressBookPath(), ReadWrite);
    beginTransaction();
    {
        Sqlite3Cursor people = source.queryThrow("select rowid, first, last, middle from ABPerson");
        // By position: the address book may spell its column names in any case.
        const int rowid = 0, first = 1, last = 2, middle = 3;
        while (people.moveNext()) {
            executeThrow(Sqlite3Sql("insert into person(rowid, first, last, middle) values(?,?,?,?)")
                             .addInt64Param(people.getInt64(rowid))
                             .addTextParam(people.getText(first))
                             .addTextParam(people.getText(last))
                             .addTextParam(people.getText(middle)));
        }
        Sqlite3Cursor phones = source.queryThrow("select record_id, value from ABMultiValue where property=3");
        const int record = 0, value = 1;
        while (phones.moveNext()) {
            executeThrow(Sqlite3Sql("replace into tel(person_id, number) values(?,?)")
                             .addInt64Param(phones.getInt64(record))
                             .addTextParam(normalizePhoneNumber(country, phones.getText(value))));
        }
    }
    source.close();

    if (QFileInfo::exists(imagesPath())) {
        Sqlite3DB images;
        images.openThrow(imagesPath(), ReadWrite);
        Sqlite3Cursor thumbnails = images.queryThrow("select record_id, data from ABThumbnailImage");
        const int record = 0, data = 1;
        while (thumbnails.moveNext()) {
            executeThrow(Sqlite3Sql("update person set photo=? where rowid=?")
                             .addBlobParam(thumbnails.getBlob(data))
                             .addInt64Param(thumbnails.getInt64(record)));
        }
    }
    endTransaction(true);
    close();
}

IOSContact IOSContactsMemDb::lookup(const QString& number)
{
    IOSContact contact;
    if (!isOpen())
        return contact;
    Sqlite3Cursor cursor
        = queryThrow(Sqlite3Sql("select p.* from person as p inner join tel as t on p.rowid=t.person_id and t.number=?")
                         .addTextParam(number));
    if (cursor.moveNext()) {
        contact.first = cursor.getText(QStringLiteral("first"));
        contact.middle = cursor.getText(QStringLiteral("middle"));
        contact.last = cursor.getText(QStringLiteral("last"));
        contact.photo = cursor.getBlob(QStringLiteral("photo"));
    }
    return contact;
}
