// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "store/CountryLibDb.h"
#include "support/TestHome.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <memory>

class TestCountryLib : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void existingLibraryIsKept();
    void concurrentFirstOpensShareOneCopy();
    void libraryLivesWhereTheCallerSays();

    void normalize_data();
    void normalize();
    void numberLength_data();
    void numberLength();
    void numberPattern_data();
    void numberPattern();
    void emptyRowPattern();

    void lookups_data();
    void lookups();
    void currentCountryByMcc_data();
    void currentCountryByMcc();

    void shownRows_data();
    void shownRows();
    void everyRowIsUsable();

private:
    // Country by code from a library opened with no MCC, so an unknown code gives the empty country.
    CountryInfo country(const QString& sn);

    std::unique_ptr<CountryLibDb> m_noMcc;
};

void TestCountryLib::initTestCase()
{
    useTemporaryHome();
    QVERIFY(QFile::exists(QStringLiteral(":/res/countries.db")));
    QVERIFY(!QFile::exists(countryLibPath()));
}

CountryInfo TestCountryLib::country(const QString& sn)
{
    if (!m_noMcc)
        m_noMcc = std::make_unique<CountryLibDb>(countryLibPath(), QString());
    return m_noMcc->findBySn(sn);
}

void TestCountryLib::existingLibraryIsKept()
{
    {
        Sqlite3DB own;
        own.openThrow(countryLibPath(), Sqlite3DB::ReadWriteCreate);
        const char* script =
            "create table countries (sn CHAR(2) PRIMARY KEY, ln TEXT, pnum TEXT, mmc TEXT, numc TEXT,"
            " u2 TEXT, r1 TEXT, r2 TEXT, r3 TEXT, r4 TEXT, mnc_rx TEXT, n TEXT);"
            "create table mmc_sn (mmc CHAR(3) PRIMARY KEY, sn CHAR(2));"
            "insert into countries (sn, pnum, numc, r1, n) values ('GB', '999', '4', '5\\d+', 'Mine');"
            "insert into mmc_sn values ('234', 'GB');";
        QString error;
        QCOMPARE(own.exec(QString::fromLatin1(script), error), 0);
    }
    const QByteArray before = [] {
        QFile file(countryLibPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    {
        CountryLibDb library(countryLibPath(), QStringLiteral("234"));
        const CountryInfo current = library.currentCountry();
        QCOMPARE(current.n, QStringLiteral("Mine"));
        QCOMPARE(current.pnum, QStringLiteral("999"));
        QCOMPARE(normalizePhoneNumber(current, QStringLiteral("5123")), QStringLiteral("+9995123"));
    }
    QFile file(countryLibPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    file.close();
    QVERIFY(QFile::remove(countryLibPath()));
}

void TestCountryLib::concurrentFirstOpensShareOneCopy()
{
    QFile::remove(countryLibPath());
    // Several connections open at once on a fresh data folder: one copies, the others must not fail.
    const QList<int> workers{0, 1, 2, 3, 4, 5, 6, 7};
    const QList<QString> names = QtConcurrent::blockingMapped(workers, [](int) {
        try {
            CountryLibDb library(countryLibPath(), QStringLiteral("262"));
            return library.currentCountry().n;
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
    });
    for (const QString& name : names)
        QCOMPARE(name, QStringLiteral("Germany"));

    QFile copy(countryLibPath());
    QFile resource(QStringLiteral(":/res/countries.db"));
    QVERIFY(copy.open(QIODevice::ReadOnly) && resource.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), resource.readAll());
    QVERIFY(copy.permissions() & QFileDevice::WriteOwner);
}

void TestCountryLib::libraryLivesWhereTheCallerSays()
{
    QFile::remove(countryLibPath());
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString path = elsewhere.filePath(QStringLiteral("countries-elsewhere.db"));
    {
        CountryLibDb library(path, QStringLiteral("262"));
        QCOMPARE(library.currentCountry().n, QStringLiteral("Germany"));
    }
    QVERIFY(QFile::exists(path));
    QVERIFY(!QFile::exists(countryLibPath()));
}

void TestCountryLib::normalize_data()
{
    QTest::addColumn<QString>("sn");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    // Senders with letters or an at sign come back whole, lower-cased, whatever the country.
    QTest::newRow("sender name") << "GB" << "BANKALERT" << "bankalert";
    QTest::newRow("e-mail") << "DE" << "Anna.Schmidt@Example.DE" << "anna.schmidt@example.de";
    QTest::newRow("letters among digits") << "GB" << "+44 7946 ABC" << "+44 7946 abc";
    QTest::newRow("at sign alone") << "US" << "12@3" << "12@3";
    QTest::newRow("sender without country") << "" << "Vodafone" << "vodafone";
    // Only ASCII letters count as letters; anything else is cleaned away.
    QTest::newRow("non-ASCII letter") << "GB" << QStringLiteral("\u00c9 07946 123456") << "+447946123456";

    // A "+" anywhere keeps the cleaned number as it is.
    QTest::newRow("plus, GB") << "GB" << "+1 (555) 010-9999" << "+15550109999";
    QTest::newRow("plus, DE") << "DE" << "+1 (555) 010-9999" << "+15550109999";
    QTest::newRow("plus, no country") << "" << "+1 (555) 010-9999" << "+15550109999";
    QTest::newRow("plus inside") << "GB" << "0044+7946" << "0044+7946";

    // United Kingdom: trunk prefix 0, ten digits, mobile numbers (7...) only.
    QTest::newRow("GB landline") << "GB" << "(020) 7946-0958" << "02079460958";
    QTest::newRow("GB mobile with trunk 0") << "GB" << "07946 123456" << "+447946123456";
    QTest::newRow("GB mobile without trunk") << "GB" << "7946123456" << "+447946123456";
    QTest::newRow("GB with dialling code") << "GB" << "447946123456" << "+447946123456";
    QTest::newRow("GB short code") << "GB" << "81234" << "81234";
    // Germany: trunk prefix 0, national numbers of several lengths.
    QTest::newRow("DE mobile 11 digits") << "DE" << "0151 23456789" << "+4915123456789";
    QTest::newRow("DE mobile 10 digits") << "DE" << "0170 1234567" << "+491701234567";
    QTest::newRow("DE with dialling code") << "DE" << "49 30 1234567" << "+49301234567";
    QTest::newRow("DE landline") << "DE" << "030 1234567" << "0301234567";
    // France: trunk prefix 0, nine digits.
    QTest::newRow("FR mobile") << "FR" << "06 12 34 56 78" << "+33612345678";
    QTest::newRow("FR landline") << "FR" << "01 23 45 67 89" << "0123456789";
    // Italy: no trunk prefix, mobile numbers of nine or ten digits beginning with 3.
    QTest::newRow("IT mobile") << "IT" << "347 123 4567" << "+393471234567";
    QTest::newRow("IT landline keeps its 0") << "IT" << "06 1234 5678" << "0612345678";
    // North America: no trunk 0; the leading 1 is the dialling code.
    QTest::newRow("US local") << "US" << "(415) 555-2671" << "+14155552671";
    QTest::newRow("US with 1") << "US" << "1 415 555 2671" << "+14155552671";
    QTest::newRow("US seven digits") << "US" << "555-2671" << "5552671";
    // Russia: the trunk prefix is 8, which the rules do not strip.
    QTest::newRow("RU mobile") << "RU" << "912 345-67-89" << "+79123456789";
    QTest::newRow("RU with dialling code") << "RU" << "7 912 345 67 89" << "+79123456789";
    QTest::newRow("RU trunk 8 stays") << "RU" << "8 912 345-67-89" << "89123456789";
    // China: eleven-digit mobile numbers, no trunk prefix for them.
    QTest::newRow("CN mobile") << "CN" << "138 0013 8000" << "+8613800138000";
    // India, Japan, Australia, Brazil, Singapore: other lengths and prefixes.
    QTest::newRow("IN mobile") << "IN" << "98765 43210" << "+919876543210";
    QTest::newRow("IN mobile with trunk 0") << "IN" << "098765 43210" << "+919876543210";
    QTest::newRow("JP mobile") << "JP" << "090-1234-5678" << "+819012345678";
    QTest::newRow("AU mobile") << "AU" << "0412 345 678" << "+61412345678";
    QTest::newRow("BR mobile") << "BR" << "(11) 91234-5678" << "+5511912345678";
    QTest::newRow("SG mobile") << "SG" << "9123 4567" << "+6591234567";
    QTest::newRow("SG landline") << "SG" << "6123 4567" << "61234567";

    // Without a country no number gains a "+".
    QTest::newRow("no country, mobile") << "" << "07946 123456" << "07946123456";
    QTest::newRow("no country, short") << "" << "112" << "112";
    // Nothing left after cleaning stays empty rather than becoming a bare "+".
    QTest::newRow("no country, punctuation") << "" << "( ) -" << "";
    QTest::newRow("no country, empty") << "" << "" << "";
    QTest::newRow("GB, empty") << "GB" << "" << "";
}

void TestCountryLib::normalize()
{
    QFETCH(QString, sn);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    const CountryInfo info = country(sn);
    QCOMPARE(info.isEmpty(), sn.isEmpty());
    QCOMPARE(normalizePhoneNumber(info, address), expected);
}

void TestCountryLib::numberLength_data()
{
    QTest::addColumn<QString>("numc");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("expected");

    QTest::newRow("one of several") << "7,8,9,10" << 9 << true;
    QTest::newRow("not listed") << "7,8,9,10" << 11 << false;
    QTest::newRow("prefix of a listed length") << "10,11" << 1 << false;
    // Empty and non-numeric parts read as 0.
    QTest::newRow("empty part") << "9,,10" << 0 << true;
    QTest::newRow("text part") << "x,10" << 0 << true;
    QTest::newRow("empty numc") << "" << 0 << true;
    QTest::newRow("no empty part") << "9,10" << 0 << false;
}

void TestCountryLib::numberLength()
{
    QFETCH(QString, numc);
    QFETCH(int, length);
    QFETCH(bool, expected);
    CountryInfo info;
    info.numc = numc;
    QCOMPARE(info.isNumberLength(length), expected);
}

void TestCountryLib::numberPattern_data()
{
    QTest::addColumn<QString>("sn");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("expected");

    QTest::newRow("GB mobile") << "GB" << "7946123456" << true;
    QTest::newRow("GB landline") << "GB" << "2079460958" << false;
    QTest::newRow("GB mobile with trunk 0") << "GB" << "07946123456" << false;
    QTest::newRow("GB mobile with extra digit") << "GB" << "79461234567" << false;
    QTest::newRow("GB mobile inside text") << "GB" << "x7946123456" << false;
    QTest::newRow("GB mobile then line break") << "GB" << "7946123456\n" << false;
    QTest::newRow("US number") << "US" << "4155552671" << true;
    QTest::newRow("empty country") << "" << "" << false;
    QTest::newRow("empty country, digits") << "" << "7946123456" << false;
}

void TestCountryLib::numberPattern()
{
    QFETCH(QString, sn);
    QFETCH(QString, number);
    QFETCH(bool, expected);
    QCOMPARE(country(sn).matchesNumberPattern(number), expected);
}

void TestCountryLib::emptyRowPattern()
{
    // A row without r1 is stored as the two anchors alone and admits only the empty number.
    CountryInfo info;
    info.sn = QStringLiteral("XX");
    info.r1 = QStringLiteral("^$");
    QVERIFY(info.matchesNumberPattern(QString()));
    QVERIFY(!info.matchesNumberPattern(QStringLiteral("0")));
}

void TestCountryLib::lookups_data()
{
    QTest::addColumn<QString>("libraryMcc");
    QTest::addColumn<bool>("byMcc");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expectedSn");

    QTest::newRow("MCC found") << "" << true << "234" << true << "GB";
    QTest::newRow("second MCC of a country") << "" << true << "235" << true << "GB";
    QTest::newRow("MCC unknown, no current") << "" << true << "999" << false << "";
    QTest::newRow("MCC unknown, current kept") << "262" << true << "999" << false << "DE";
    QTest::newRow("MCC empty, current kept") << "250" << true << "" << false << "RU";
    QTest::newRow("MCC as a country code") << "262" << true << "GB" << false << "DE";
    QTest::newRow("code found") << "" << false << "IT" << true << "IT";
    QTest::newRow("code in lower case") << "262" << false << "gb" << true << "GB";
    QTest::newRow("code unknown, no current") << "" << false << "zz" << false << "";
    QTest::newRow("code unknown, current kept") << "222" << false << "zz" << false << "IT";
    QTest::newRow("code empty, current kept") << "310" << false << "" << false << "US";
}

void TestCountryLib::lookups()
{
    QFETCH(QString, libraryMcc);
    QFETCH(bool, byMcc);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, expectedSn);

    CountryLibDb library(countryLibPath(), libraryMcc);
    bool wasFound = !found;
    const CountryInfo info = byMcc ? library.findByMcc(key, &wasFound) : library.findBySn(key, &wasFound);
    QCOMPARE(wasFound, found);
    QCOMPARE(info.sn, expectedSn);
    if (!found) {
        // The fallback is the whole current country, not just its code.
        const CountryInfo current = library.currentCountry();
        QCOMPARE(info.pnum, current.pnum);
        QCOMPARE(info.numc, current.numc);
        QCOMPARE(info.r1, current.r1);
        QCOMPARE(info.n, current.n);
    }
    // The flag is optional.
    const CountryInfo again = byMcc ? library.findByMcc(key) : library.findBySn(key);
    QCOMPARE(again.sn, expectedSn);
}

void TestCountryLib::currentCountryByMcc_data()
{
    QTest::addColumn<QString>("mcc");
    QTest::addColumn<QString>("expectedSn");

    QTest::newRow("US") << "310" << "US";
    QTest::newRow("US, last MCC") << "316" << "US";
    QTest::newRow("GB") << "234" << "GB";
    QTest::newRow("CA") << "302" << "CA";
    QTest::newRow("KZ shares +7 with RU") << "401" << "KZ";
    QTest::newRow("empty MCC") << "" << "";
    QTest::newRow("unknown MCC") << "999" << "";
    QTest::newRow("MCC with a space") << "234 " << "";
}

void TestCountryLib::currentCountryByMcc()
{
    QFETCH(QString, mcc);
    QFETCH(QString, expectedSn);
    CountryLibDb library(countryLibPath(), mcc);
    const CountryInfo current = library.currentCountry();
    QCOMPARE(current.sn, expectedSn);
    QCOMPARE(current.isEmpty(), expectedSn.isEmpty());
    if (current.isEmpty()) {
        QVERIFY(current.r1.isEmpty() && current.pnum.isEmpty() && current.numc.isEmpty() && current.n.isEmpty());
        QCOMPARE(normalizePhoneNumber(current, QStringLiteral("07946 123456")), QStringLiteral("07946123456"));
    }
}

void TestCountryLib::shownRows_data()
{
    QTest::addColumn<QString>("sn");
    QTest::addColumn<QString>("pnum");
    QTest::addColumn<QString>("mmc");
    QTest::addColumn<QString>("numc");
    QTest::addColumn<QString>("n");

    QTest::newRow("US") << "US" << "1" << "310,311,312,313,314,315,316" << "10" << "United States";
    QTest::newRow("GB") << "GB" << "44" << "234,235" << "10" << "United Kingdom";
    QTest::newRow("DE") << "DE" << "49" << "262" << "7,8,9,10,11,12" << "Germany";
    QTest::newRow("RU") << "RU" << "7" << "250" << "10" << "Russia";
    QTest::newRow("IT") << "IT" << "39" << "222" << "9,10" << "Italy";
}

void TestCountryLib::shownRows()
{
    QFETCH(QString, sn);
    QFETCH(QString, pnum);
    QFETCH(QString, mmc);
    QFETCH(QString, numc);
    QFETCH(QString, n);

    const CountryInfo info = country(sn);
    QCOMPARE(info.sn, sn);
    QCOMPARE(info.pnum, pnum);
    QCOMPARE(info.mmc, mmc);
    QCOMPARE(info.numc, numc);
    QCOMPARE(info.n, n);
    QVERIFY(!info.ln.isEmpty());
    QVERIFY(info.r1.startsWith(QLatin1Char('^')) && info.r1.endsWith(QLatin1Char('$')));
    // Every MCC of the row leads back to the row.
    CountryLibDb library(countryLibPath(), QString());
    for (const QString& code : mmc.split(QLatin1Char(','))) {
        bool found = false;
        QCOMPARE(library.findByMcc(code, &found).sn, sn);
        QVERIFY(found);
    }
}

void TestCountryLib::everyRowIsUsable()
{
    CountryLibDb library(countryLibPath(), QString());
    library.open();

    int rows = 0;
    Sqlite3Cursor cursor = library.queryThrow(Sqlite3Sql("select sn, pnum, numc, r1, n, ln from countries"));
    const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QRegularExpression lengths(QStringLiteral("^[1-9][0-9]?(,[1-9][0-9]?)*$"));
    while (cursor.moveNext()) {
        ++rows;
        const QString sn = cursor.getText(QStringLiteral("sn"));
        const QString pattern = QLatin1Char('^') + cursor.getText(QStringLiteral("r1")) + QLatin1Char('$');
        const QRegularExpression expression(pattern);
        QVERIFY2(expression.isValid(), qPrintable(sn + QLatin1Char(' ') + expression.errorString()));
        QVERIFY2(!cursor.getText(QStringLiteral("r1")).isEmpty(), qPrintable(sn));
        QVERIFY2(digits.match(cursor.getText(QStringLiteral("pnum"))).hasMatch(), qPrintable(sn));
        QVERIFY2(lengths.match(cursor.getText(QStringLiteral("numc"))).hasMatch(), qPrintable(sn));
        QVERIFY2(!cursor.getText(QStringLiteral("n")).isEmpty(), qPrintable(sn));
        QVERIFY2(!cursor.getText(QStringLiteral("ln")).isEmpty(), qPrintable(sn));
    }
    QVERIFY2(rows >= 230 && rows <= 260, qPrintable(QString::number(rows)));

    // Every MCC is three digits and names a country of the library.
    Sqlite3Cursor orphans = library.queryThrow(Sqlite3Sql(
        "select count(*) as bad from mmc_sn as m left join countries as c on m.sn = c.sn"
        " where c.sn is null or length(m.mmc) <> 3 or m.mmc glob '*[^0-9]*'"));
    QVERIFY(orphans.moveNext());
    QCOMPARE(orphans.getInt(QStringLiteral("bad")), 0);
    Sqlite3Cursor count = library.queryThrow(Sqlite3Sql("select count(*) as total from mmc_sn"));
    QVERIFY(count.moveNext());
    QVERIFY(count.getInt(QStringLiteral("total")) >= 220);
}

QTEST_GUILESS_MAIN(TestCountryLib)
#include "TestCountryLib.moc"
