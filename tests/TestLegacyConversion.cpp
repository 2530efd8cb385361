// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "ops/Rc4.h"
#include "store/Sqlite3DB.h"
#include "support/FileBytes.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "ui/LegacyConversion.h"
#include "ui/MessageBoxes.h"

#include <QFile>
#include <QTest>
#include <QWidget>

namespace {

struct LegacyRow
{
    const char* address;
    const char* body; // nullptr: NULL
    const char* person;
    qint64 date;
    int isSend;
};

const QList<LegacyRow> familyRows = {
    { "+447700900123", "Hello \xF0\x9F\x98\x80 Gr\xC3\xBC\xC3\x9F", "Ann", 1600000000, 0 },
    { "+447700900123", "Hello \xF0\x9F\x98\x80 Gr\xC3\xBC\xC3\x9F", "Ann", 1600000000, 0 },
    { "+447700900123", nullptr, "Ann", 1600000100, 1 },
    { "+447700900123", "", "Ann", 1600000200, 1 },
    { "+15550100", "new year", "Bob", 978307200, 0 },
};

// Writes a database of the older format: a table of rows with RC4-enciphered bodies and the view
// view_sms over it. A broken one loses its table, so that reading the view fails.
void writeLegacyDb(const QString& path, const QList<LegacyRow>& rows, bool broken = false)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWriteCreate);
    db.executeThrow(Sqlite3Sql("create table sms (address text, body blob, person text, date integer, is_send int)"));
    db.executeThrow(Sqlite3Sql("create view view_sms as select address, body, person, date, is_send from sms"));
    for (const LegacyRow& row : rows) {
        const QString body = row.body ? QStringLiteral("X'%1'").arg(
                                 QString::fromLatin1(rc4("5D03C8E1F27A94B6603E1DA7C45B9F28", row.body).toHex()))
                                      : QStringLiteral("NULL");
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into sms values (?, %1, ?, ?, ?)").arg(body))
                            .addTextParam(QString::fromUtf8(row.address))
                            .addTextParam(QString::fromUtf8(row.person))
                            .addInt64Param(row.date)
                            .addIntParam(row.isSend));
    }
    if (broken)
        db.executeThrow(Sqlite3Sql("drop table sms"));
}

QString restartText()
{
    return QStringLiteral("Successfully updated local database. Please restart software.");
}

// File names separated by spaces.
QStringList names(const char* spaced)
{
    return QString::fromLatin1(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

// Converting the local databases of the older single-file format at start-up, through the real
// progress dialog and the real files.
class TestLegacyConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void rc4Vectors_data();
    void rc4Vectors();
    void folderOutcome_data();
    void folderOutcome();
};

void TestLegacyConversion::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

void TestLegacyConversion::init()
{
    QVERIFY(localDatabasesDir().removeRecursively());
    takeShownMessageBoxes();
}

void TestLegacyConversion::rc4Vectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("keyStream");

    const QByteArray key40 = QByteArray::fromHex("0102030405");
    const QByteArray key256 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
    QTest::newRow("40 bits at 0") << key40 << 0 << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
    QTest::newRow("40 bits at 4096") << key40 << 4096 << QByteArray::fromHex("ff25b58995996707e51fbdf08b34d875");
    QTest::newRow("256 bits at 0") << key256 << 0 << QByteArray::fromHex("eaa6bd25880bf93d3f5d1e4ca2611d91");
    QTest::newRow("256 bits at 4096") << key256 << 4096 << QByteArray::fromHex("f3e4c0a2e02d1d01f7f0a74618af2b48");
}

void TestLegacyConversion::rc4Vectors()
{
    QFETCH(QByteArray, key);
    QFETCH(int, offset);
    QFETCH(QByteArray, keyStream);
    QCOMPARE(rc4(key, QByteArray(offset + 16, '\0')).mid(offset).toHex(), keyStream.toHex());
}

// Files of each kind are made in the local databases folder beside a database folder, then the
// start-up conversion runs with its dialog; the box it showed and the folder afterwards are compared.
void TestLegacyConversion::folderOutcome_data()
{
    QTest::addColumn<QStringList>("legacy");
    QTest::addColumn<QStringList>("broken");
    QTest::addColumn<QStringList>("foreign");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("entriesAfter");

    const QString restart = restartText();
    const QString noTable = QStringLiteral("no such table: main.sms");
    const QStringList none;
    QTest::newRow("only database folders") << none << none << none << QString() << names("Existing/");
    QTest::newRow("Family") << names("Family") << none << none << restart << names("Existing/ Family/");
    QTest::newRow("interrupted Family") << names("Family.__tmp") << none << none << restart
                                        << names("Existing/ Family/");
    QTest::newRow("no databases beside Family")
        << names("Family") << none << names("notes.txt other.db empty old.__tmp") << restart
        << names("Existing/ Family/ empty notes.txt old.__tmp other.db");
    QTest::newRow("no databases alone") << none << none << names("notes.txt old.__tmp") << QString()
                                        << names("Existing/ notes.txt old.__tmp");
    // The failing file keeps its work name for the next start; the files after it are not touched.
    QTest::newRow("failing file stops the run") << names("B-good") << names("A-broken") << none << noTable
                                                << names("A-broken/ A-broken.__tmp B-good Existing/");
    QTest::newRow("failing interrupted file")
        << none << names("A-broken.__tmp") << none << noTable << names("A-broken/ A-broken.__tmp Existing/");
}

void TestLegacyConversion::folderOutcome()
{
    QFETCH(QStringList, legacy);
    QFETCH(QStringList, broken);
    QFETCH(QStringList, foreign);
    QFETCH(QString, box);
    QFETCH(QStringList, entriesAfter);

    const QDir folder = localDatabasesDir();
    QVERIFY(folder.mkdir(QStringLiteral("Existing")));
    for (const QString& name : std::as_const(legacy))
        writeLegacyDb(folder.filePath(name), familyRows);
    for (const QString& name : std::as_const(broken))
        writeLegacyDb(folder.filePath(name), familyRows, true);
    for (const QString& name : std::as_const(foreign)) {
        const QString path = folder.filePath(name);
        if (name == QLatin1String("other.db")) {
            Sqlite3DB db;
            db.openThrow(path, Sqlite3DB::ReadWriteCreate);
            db.executeThrow(Sqlite3Sql("create table sms (body text)"));
        } else {
            QVERIFY(writeFile(path, name == QLatin1String("empty") ? "" : "call mum\n"));
        }
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("leaving .*/local_databases/%1\" as it is").arg(name)));
    }

    QWidget window;
    window.show();
    QCOMPARE(convertLegacyDatabases(&window), box == restartText());
    const QList<ShownMessageBox> boxes = takeShownMessageBoxes();
    QCOMPARE(boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QVERIFY2(boxes.at(0).text.contains(box), qPrintable(boxes.at(0).text));
    QStringList after;
    for (const QFileInfo& entry : folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name))
        after.append(entry.fileName() + (entry.isDir() ? QStringLiteral("/") : QString()));
    QCOMPARE(after, entriesAfter);

    // The duplicate row is stored once, NULL and empty bodies give empty texts, the first second of
    // 2001 is date 0, and each address has its conversation.
    if (entriesAfter.contains(QLatin1String("Family/")))
        QCOMPARE(storedRows(QDir(localDatabasesDir().filePath(QStringLiteral("Family"))),
                     QStringLiteral("coalesce(m.text, '') || ' ' || m.date || ' ' || m.is_from_me || ' ' || h.id "
                                    "|| ' ' || h._ct_name || ' ' || c.guid"))
                     .join(QStringLiteral(" | ")),
            QStringLiteral("Hello \U0001F600 Gr\u00FC\u00DF 621692800 0 +447700900123 Ann SMS;-;+447700900123 | "
                           " 621692900 1 +447700900123 Ann SMS;-;+447700900123 | "
                           " 621693000 1 +447700900123 Ann SMS;-;+447700900123 | "
                           "new year 0 0 +15550100 Bob SMS;-;+15550100"));
    // After a success the application closes its window, after anything else the window stays.
    QTest::qWait(50);
    QCOMPARE(window.isVisible(), box != restartText());
}

QTEST_MAIN(TestLegacyConversion)
#include "TestLegacyConversion.moc"
