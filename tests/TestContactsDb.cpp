// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "store/CountryLibDb.h"
#include "store/IOSContactsMemDb.h"
#include "support/FileBytes.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString addressBookDir = QStringLiteral("file-relay/var/mobile/Library/AddressBook");
const QString gbMcc = QStringLiteral("234");
const QByteArray alicePicture = QByteArray("\x89PNG\r\n\x1a\n\0\0picture", 18);

bool setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

// An address book in the phone-contacts layout: Alice with two numbers (one listed twice in different
// spellings) and a picture, Bob with one number and an e-mail address, Carol without any number.
void writeAddressBook(const QDir& folder)
{
    QVERIFY(folder.mkpath(addressBookDir));
    Sqlite3DB book;
    book.openThrow(
        folder.filePath(addressBookDir + QStringLiteral("/AddressBook.sqlitedb")), Sqlite3DB::ReadWriteCreate);
    runScript(book,
        QStringLiteral(
            "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT);"
            "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, label INTEGER,"
            "  value TEXT);"
            "INSERT INTO ABPerson VALUES (1, 'Alice', 'Smith', '  ');"
            "INSERT INTO ABPerson VALUES (2, 'Bob', ' ', ' J ');"
            "INSERT INTO ABPerson VALUES (3, 'Carol', NULL, NULL);"
            "INSERT INTO ABMultiValue VALUES (1, 1, 3, 1, '07946 123456');"
            "INSERT INTO ABMultiValue VALUES (2, 1, 3, 2, '+44 7946 123456');"
            "INSERT INTO ABMultiValue VALUES (3, 1, 3, 3, '07912-345678');"
            "INSERT INTO ABMultiValue VALUES (4, 2, 3, 1, '+1 (555) 010-9999');"
            "INSERT INTO ABMultiValue VALUES (5, 2, 4, 1, 'bob@example.com')"));
    book.close();

    Sqlite3DB images;
    images.openThrow(
        folder.filePath(addressBookDir + QStringLiteral("/AddressBookImages.sqlitedb")), Sqlite3DB::ReadWriteCreate);
    runScript(images, QStringLiteral("CREATE TABLE ABThumbnailImage (record_id INTEGER, format INTEGER, data BLOB)"));
    images.executeThrow(Sqlite3Sql("INSERT INTO ABThumbnailImage VALUES (1, 0, ?)").addBlobParam(alicePicture));
}

} // namespace

class TestContactsDb : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    QString lookupPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("ct-phone.db")); }
    QString bookPath() const
    {
        return QDir(m_folder.path()).filePath(addressBookDir + QStringLiteral("/AddressBook.sqlitedb"));
    }

    // Puts a row into ct-phone.db that only survives as long as nothing rebuilds the file.
    void markLookupFile()
    {
        Sqlite3DB copy;
        copy.openThrow(lookupPath(), Sqlite3DB::ReadWrite);
        copy.executeThrow("insert or replace into person(rowid, first) values(99, 'marker')");
    }

    bool lookupFileMarked()
    {
        Sqlite3DB copy;
        copy.openThrow(lookupPath(), Sqlite3DB::ReadOnly);
        return scalar(copy, "select count(*) from person where rowid=99") == 1;
    }

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        QVERIFY(m_folder.isValid());
        writeAddressBook(QDir(m_folder.path()));
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("hasPicture");
        QTest::newRow("first number") << QStringLiteral("+447946123456") << QStringLiteral("Alice Smith") << true;
        QTest::newRow("second number") << QStringLiteral("+447912345678") << QStringLiteral("Alice Smith") << true;
        QTest::newRow("international number") << QStringLiteral("+15550109999") << QStringLiteral("Bob J") << false;
        QTest::newRow("national spelling is not stored") << QStringLiteral("07946123456") << QString() << false;
        QTest::newRow("e-mail is not a phone") << QStringLiteral("bob@example.com") << QString() << false;
        QTest::newRow("unknown number") << QStringLiteral("+4915112345678") << QString() << false;
    }

    void lookup()
    {
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(bool, hasPicture);
        IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
        contacts.open();
        QVERIFY(contacts.isOpen());
        const IOSContact contact = contacts.lookup(number);
        QCOMPARE(contact.displayName(), name);
        QCOMPARE(contact.photo, hasPicture ? alicePicture : QByteArray());
    }

    void duplicateNumberStoredOnce()
    {
        IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
        contacts.open();
        QCOMPARE(scalar(contacts, "select count(*) from tel where person_id=1"), 2);
        QCOMPARE(scalar(contacts, "select count(*) from tel"), 3);
        QCOMPARE(scalar(contacts, "select count(*) from person"), 3);
    }

    void lookupFileIsReadOnly()
    {
        IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
        contacts.open();
        QVERIFY_THROWS_EXCEPTION(std::exception, contacts.executeThrow("delete from person"));
    }

    // The copy is rebuilt when the address book (or its write-ahead file, whose time stands for the
    // book's whenever there is one) is newer than the copy; ages in seconds, 0 for no write-ahead file.
    void copyFollowsTheBook_data()
    {
        QTest::addColumn<int>("bookAge");
        QTest::addColumn<int>("walAge");
        QTest::addColumn<int>("copyAge");
        QTest::addColumn<bool>("rebuilt");
        QTest::newRow("unchanged book") << 7200 << 0 << 3600 << false;
        QTest::newRow("newer book") << 3600 << 0 << 7200 << true;
        QTest::newRow("newer write-ahead file") << 7200 << 60 << 3600 << true;
        QTest::newRow("older write-ahead file wins") << 60 << 7200 << 3600 << false;
    }

    void copyFollowsTheBook()
    {
        QFETCH(int, bookAge);
        QFETCH(int, walAge);
        QFETCH(int, copyAge);
        QFETCH(bool, rebuilt);
        const QString wal = bookPath() + QStringLiteral("-wal");
        if (walAge > 0) {
            Sqlite3DB book;
            book.openThrow(bookPath(), Sqlite3DB::ReadWrite);
            QString error;
            QCOMPARE(book.exec(QStringLiteral("PRAGMA journal_mode=WAL"), error), 0);
        }
        {
            IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
            contacts.open();
        }
        markLookupFile();
        const QDateTime now = QDateTime::currentDateTime();
        if (walAge > 0) {
            QVERIFY(writeFile(wal));
            QVERIFY(setModified(wal, now.addSecs(-walAge)));
        }
        const auto removeWal = qScopeGuard([&wal] { QFile::remove(wal); });
        QVERIFY(setModified(bookPath(), now.addSecs(-bookAge)));
        QVERIFY(setModified(lookupPath(), now.addSecs(-copyAge)));
        IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
        contacts.open();
        QVERIFY(contacts.isOpen());
        QCOMPARE(lookupFileMarked(), !rebuilt);
        QCOMPARE(contacts.lookup(QStringLiteral("+15550109999")).first, QStringLiteral("Bob"));
    }

    void folderWithoutAddressBookStaysClosed()
    {
        QTemporaryDir empty;
        IOSContactsMemDb contacts(QDir(empty.path()), gbMcc);
        contacts.open();
        QVERIFY(!contacts.isOpen());
        QVERIFY(!QFile::exists(QDir(empty.path()).filePath(QStringLiteral("ct-phone.db"))));
        QCOMPARE(contacts.lookup(QStringLiteral("+447946123456")).displayName(), QString());
    }

    void failedRebuildLeavesNoCopy()
    {
        QTemporaryDir folder;
        const QDir dir(folder.path());
        QVERIFY(dir.mkpath(addressBookDir));
        {
            Sqlite3DB book;
            book.openThrow(
                dir.filePath(addressBookDir + QStringLiteral("/AddressBook.sqlitedb")), Sqlite3DB::ReadWriteCreate);
            runScript(book,
                QStringLiteral("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT, "
                               "Middle TEXT); INSERT INTO ABPerson VALUES (1, 'Ann', NULL, NULL)"));
        }
        IOSContactsMemDb contacts(dir, gbMcc);
        QVERIFY_THROWS_EXCEPTION(std::exception, contacts.open());
        QVERIFY(!contacts.isOpen());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("ct-phone.db"))));
        QVERIFY(!contacts.inTransaction());
    }

    // Numbers are stored normalised for the country; another country needs a copy of its own.
    void otherCountryRebuilds_data()
    {
        QTest::addColumn<QString>("mcc");
        QTest::addColumn<bool>("rebuilt");
        QTest::newRow("same country") << gbMcc << false;
        QTest::newRow("other country") << QStringLiteral("310") << true;
    }

    void otherCountryRebuilds()
    {
        QFETCH(QString, mcc);
        QFETCH(bool, rebuilt);
        {
            IOSContactsMemDb contacts(QDir(m_folder.path()), gbMcc);
            contacts.open();
        }
        const QDateTime now = QDateTime::currentDateTime();
        markLookupFile();
        QVERIFY(setModified(bookPath(), now.addSecs(-7200)));
        QVERIFY(setModified(lookupPath(), now.addSecs(-3600)));

        IOSContactsMemDb contacts(QDir(m_folder.path()), mcc);
        contacts.open();
        QCOMPARE(lookupFileMarked(), !rebuilt);
        const QString number = normalizePhoneNumber(
            CountryLibDb(countryLibPath(), mcc).currentCountry(), QStringLiteral("07912-345678"));
        QCOMPARE(contacts.lookup(number).first, QStringLiteral("Alice"));
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("name");
        QTest::newRow("all three") << QStringLiteral("Ann") << QStringLiteral("Marie") << QStringLiteral("Lee")
                                   << QStringLiteral("Ann Marie Lee");
        QTest::newRow("blank middle") << QStringLiteral("Ann") << QStringLiteral("   ") << QStringLiteral("Lee")
                                      << QStringLiteral("Ann Lee");
        QTest::newRow("blank middle and last")
            << QStringLiteral("Ann") << QStringLiteral(" ") << QStringLiteral("\t") << QStringLiteral("Ann");
        // Only the whole is trimmed at the end; the first name keeps its own spaces inside.
        QTest::newRow("padded parts") << QStringLiteral(" Ann ") << QStringLiteral(" Marie ") << QStringLiteral(" Lee ")
                                      << QStringLiteral("Ann  Marie Lee");
        QTest::newRow("last name only") << QString() << QString() << QStringLiteral("Lee") << QStringLiteral("Lee");
        QTest::newRow("nothing") << QString() << QString() << QString() << QString();
    }

    void displayName()
    {
        QFETCH(QString, first);
        QFETCH(QString, middle);
        QFETCH(QString, last);
        QFETCH(QString, name);
        IOSContact contact;
        contact.first = first;
        contact.middle = middle;
        contact.last = last;
        QCOMPARE(contact.displayName(), name);
    }
};

QTEST_GUILESS_MAIN(TestContactsDb)
#include "TestContactsDb.moc"
