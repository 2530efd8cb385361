// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TaskReporting.h"
#include "store/Sqlite3DB.h"
#include "support/RecordingProgress.h"
#include "support/TestHome.h"
#include "support/Thrown.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <optional>
#include <sqlite3.h>

namespace {

// Exposes the raw handle the way the store classes use it.
class RawDb : public Sqlite3DB
{
public:
    sqlite3* handle() const { return rawHandle(); }
};

} // namespace

class TestSqlite3DB : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase();
    void openFlags_data();
    void openFlags();
    void missingColumnsReadAsEmpty();
    void errorTextLeavesStatementToLog_data();
    void errorTextLeavesStatementToLog();
    void execReportsError();
    void statementCacheSurvivesErrors();
    void rebindingACachedStatement_data();
    void rebindingACachedStatement();
    void queryKeepsItsValues();
    void nestedCursorsOnOneStatement();
    void transactions();
    void insertRowAndLastInsertId();
    void tbInfoDescribesColumns();
    void secondConnectionWaitsForLock();
    void transactionEndsAreNeverStopped();
};

void TestSqlite3DB::initTestCase()
{
    useTemporaryHome();
    QVERIFY(m_dir.isValid());
}

void TestSqlite3DB::openFlags_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("writable");

    QTest::newRow("read-only, existing") << 1 << true << true << false;
    QTest::newRow("read-only, missing") << 1 << false << false << false;
    QTest::newRow("read-write, existing") << 2 << true << true << true;
    QTest::newRow("read-write, missing") << 2 << false << false << false;
    QTest::newRow("create, missing") << 6 << false << true << true;
    QTest::newRow("create, existing") << 6 << true << true << true;
}

void TestSqlite3DB::openFlags()
{
    QFETCH(int, flags);
    QFETCH(bool, fileExists);
    QFETCH(bool, opens);
    QFETCH(bool, writable);

    const QString file = path(QStringLiteral("flags-%1.db").arg(QString::fromLatin1(QTest::currentDataTag())));
    QFile::remove(file);
    if (fileExists) {
        Sqlite3DB maker;
        maker.openThrow(file, 6);
        maker.executeThrow("CREATE TABLE t(x INTEGER)");
    }

    Sqlite3DB db;
    if (!opens) {
        QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.openThrow(file, flags));
        QVERIFY(!db.isOpen());
        QVERIFY(!QFile::exists(file));
        return;
    }
    db.openThrow(file, flags);
    QVERIFY(db.isOpen());
    QString error;
    const int rc = db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS u(y INTEGER); INSERT INTO u VALUES (1)"), error);
    QCOMPARE(rc == 0, writable);
    QCOMPARE(error.isEmpty(), writable);
}

void TestSqlite3DB::missingColumnsReadAsEmpty()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("missing.db")), 6);
    db.executeThrow("CREATE TABLE IF NOT EXISTS m(a INTEGER, b TEXT)");
    db.executeThrow("INSERT INTO m(a, b) VALUES (7, NULL)");

    Sqlite3Cursor cursor = db.queryThrow("SELECT a, b FROM m");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.count(), 2);
    QCOMPARE(cursor.getInt(QStringLiteral("a")), 7);
    // NULL and absent columns read as empty values, never as an error.
    QVERIFY(cursor.isNull(QStringLiteral("b")));
    QCOMPARE(cursor.getText(QStringLiteral("b")), QString());
    QCOMPARE(cursor.getInt(QStringLiteral("nope")), 0);
    QCOMPARE(cursor.getInt64(QStringLiteral("nope")), qint64(0));
    QCOMPARE(cursor.getText(QStringLiteral("nope")), QString());
    QCOMPARE(cursor.getBlob(QStringLiteral("nope")), QByteArray());
    QVERIFY(cursor.isNull(QStringLiteral("nope")));
    QVERIFY(!cursor.hasColumn(QStringLiteral("nope")));
}

void TestSqlite3DB::errorTextLeavesStatementToLog_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("error");
    QTest::newRow("prepared") << QStringLiteral("SELECT * FROM no_such_table")
                              << QStringLiteral("no such table: no_such_table");
    QTest::newRow("stepped") << QStringLiteral("INSERT INTO once (x) VALUES (1)")
                             << QStringLiteral("UNIQUE constraint failed: once.x");
}

// The text of the exception reaches a person in an error box; the statement goes to the log.
void TestSqlite3DB::errorTextLeavesStatementToLog()
{
    QFETCH(QString, statement);
    QFETCH(QString, error);
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("errors.db")), 6);
    QString setupError;
    QCOMPARE(
        db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS once (x UNIQUE); INSERT OR IGNORE INTO once VALUES (1)"),
            setupError),
        0);
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(QRegularExpression::escape(error + QStringLiteral(" [") + statement + QLatin1Char(']'))));
    QCOMPARE(thrownText([&] { db.executeThrow(Sqlite3Sql(statement)); }), error);

    Sqlite3DB closed;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("database is not open \\[SELECT 1\\]")));
    QVERIFY_THROWS_EXCEPTION(std::exception, closed.executeThrow("SELECT 1"));
}

void TestSqlite3DB::execReportsError()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("exec.db")), 6);
    QString error;
    QCOMPARE(db.exec(QStringLiteral("CREATE TABLE e(x)"), error), 0);
    QVERIFY(error.isEmpty());
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE e(x)"), error) != 0);
    QCOMPARE(error, QStringLiteral("table e already exists"));
}

namespace {

// Binds a test value by its type: QString text, int, qlonglong 64-bit, QByteArray blob, anything else NULL.
void bindValues(Sqlite3Sql& sql, const QVariantList& values)
{
    for (const QVariant& value : values) {
        switch (value.typeId()) {
        case QMetaType::QString:
            sql.addTextParam(value.toString());
            break;
        case QMetaType::Int:
            sql.addIntParam(value.toInt());
            break;
        case QMetaType::LongLong:
            sql.addInt64Param(value.toLongLong());
            break;
        case QMetaType::QByteArray:
            sql.addBlobParam(value.toByteArray());
            break;
        default:
            sql.addNullParam();
            break;
        }
    }
}

} // namespace

// A cached statement keeps what it was last bound to; the next run must see exactly its own values.
void TestSqlite3DB::rebindingACachedStatement_data()
{
    QTest::addColumn<QVariantList>("first");
    QTest::addColumn<QVariantList>("second");
    QTest::addColumn<QString>("stored"); // the second row, quoted by SQLite

    const QString shortText = QStringLiteral("SMS");
    const QString longText = QString(100, QLatin1Char('x'));
    QTest::newRow("fewer values leave NULL") << QVariantList { shortText, 7, QByteArray("b") }
                                             << QVariantList { shortText } << QStringLiteral("'SMS',NULL,NULL");
    QTest::newRow("equal values in new strings")
        << QVariantList { shortText, 7, longText }
        << QVariantList { QString(shortText.constData(), 3), 7, longText + QString() }
        << QStringLiteral("'SMS',7,'") + longText + QLatin1Char('\'');
    QTest::newRow("long text changed after its start")
        << QVariantList { longText, 1, 2 } << QVariantList { QString(longText).replace(90, 1, QLatin1Char('y')), 1, 2 }
        << QLatin1Char('\'') + QString(longText).replace(90, 1, QLatin1Char('y')) + QStringLiteral("',1,2");
    QTest::newRow("same number, other kinds")
        << QVariantList { 5, qlonglong(5), QStringLiteral("5") }
        << QVariantList { qlonglong(5), QStringLiteral("5"), 5 } << QStringLiteral("5,'5',5");
    QTest::newRow("text and blob of the same bytes")
        << QVariantList { QStringLiteral("ab"), QByteArray("ab"), QVariant() }
        << QVariantList { QByteArray("ab"), QStringLiteral("ab"), QString() } << QStringLiteral("X'6162','ab',NULL");
    // Each kind of value at an edge, read back as SQLite holds it.
    QTest::newRow("text beyond ASCII, the lowest int, a blob with zero bytes")
        << QVariantList()
        << QVariantList { QStringLiteral("Grüße 😀, \"quoted\""), -2147483647 - 1, QByteArray("a\0b\xff", 4) }
        << QStringLiteral("'Grüße 😀, \"quoted\"',-2147483648,X'610062FF'");
    QTest::newRow("64-bit number") << QVariantList() << QVariantList { qlonglong(1356998400000) }
                                   << QStringLiteral("1356998400000,NULL,NULL");
    QTest::newRow("empty text is not NULL")
        << QVariantList { QVariant(), QVariant(), QVariant() } << QVariantList { QStringLiteral(""), 0, QVariant() }
        << QStringLiteral("'',0,NULL");
}

void TestSqlite3DB::rebindingACachedStatement()
{
    QFETCH(QVariantList, first);
    QFETCH(QVariantList, second);
    QFETCH(QString, stored);

    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("rebind.db")), 6);
    db.executeThrow("CREATE TABLE IF NOT EXISTS r(a, b, c)");
    db.executeThrow("DELETE FROM r");
    const char* insert = "INSERT INTO r(a, b, c) VALUES (?, ?, ?)";
    for (const QVariantList& values : { first, second }) {
        Sqlite3Sql sql(insert);
        bindValues(sql, values);
        db.executeThrow(sql);
    }
    Sqlite3Cursor cursor
        = db.queryThrow("SELECT quote(a) || ',' || quote(b) || ',' || quote(c) FROM r ORDER BY rowid DESC LIMIT 1");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getText(0), stored);
}

// A cursor runs after its statement object is gone, and after a caller's buffer it bound has changed.
void TestSqlite3DB::queryKeepsItsValues()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("keeps.db")), 6);
    char buffer[] = "payload";
    std::optional<Sqlite3Cursor> cursor;
    {
        Sqlite3Sql sql("SELECT ?, ?");
        sql.addTextParam(QStringLiteral("kept text")).addBlobParam(QByteArray::fromRawData(buffer, 7));
        cursor.emplace(db.queryThrow(sql));
    }
    buffer[0] = 'X';
    QVERIFY(cursor->moveNext());
    QCOMPARE(cursor->getText(0), QStringLiteral("kept text"));
    QCOMPARE(cursor->getBlob(1), QByteArray("payload"));
}

void TestSqlite3DB::statementCacheSurvivesErrors()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("cache.db")), 6);
    db.executeThrow("CREATE TABLE IF NOT EXISTS c(id INTEGER PRIMARY KEY, v TEXT UNIQUE NOT NULL)");
    const char* insert = "INSERT INTO c(v) VALUES (?)";
    db.executeThrow(Sqlite3Sql(insert).addTextParam(QStringLiteral("one")));

    // A constraint failure and a missing parameter must not leave the cached statement half-bound.
    QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.executeThrow(Sqlite3Sql(insert).addTextParam(QStringLiteral("one"))));
    QVERIFY_THROWS_EXCEPTION(Sqlite3Exception, db.executeThrow(Sqlite3Sql(insert)));
    db.executeThrow(Sqlite3Sql(insert).addTextParam(QStringLiteral("two")));

    Sqlite3Cursor cursor = db.queryThrow("SELECT v FROM c ORDER BY id");
    QStringList values;
    while (cursor.moveNext())
        values << cursor.getText(QStringLiteral("v"));
    QCOMPARE(values, QStringList({ QStringLiteral("one"), QStringLiteral("two") }));
}

void TestSqlite3DB::nestedCursorsOnOneStatement()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("nested.db")), 6);
    db.executeThrow("CREATE TABLE IF NOT EXISTS n(x INTEGER)");
    db.executeThrow("DELETE FROM n");
    for (int i = 1; i <= 3; ++i)
        db.executeThrow(Sqlite3Sql("INSERT INTO n(x) VALUES (?)").addIntParam(i));

    // The same text queried while its first cursor is open runs on a statement of its own.
    const char* select = "SELECT x FROM n WHERE x >= ? ORDER BY x";
    int pairs = 0;
    Sqlite3Cursor outer = db.queryThrow(Sqlite3Sql(select).addIntParam(1));
    while (outer.moveNext()) {
        Sqlite3Cursor inner = db.queryThrow(Sqlite3Sql(select).addIntParam(outer.getInt(QStringLiteral("x"))));
        while (inner.moveNext())
            ++pairs;
    }
    QCOMPARE(pairs, 3 + 2 + 1);
}

void TestSqlite3DB::transactions()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("tran.db")), 6);
    db.executeThrow("CREATE TABLE IF NOT EXISTS t(x INTEGER)");

    db.beginTran();
    db.executeThrow("INSERT INTO t(x) VALUES (1)");
    db.rollbackTran();
    db.beginTran();
    db.executeThrow("INSERT INTO t(x) VALUES (2)");
    db.commitTran();

    Sqlite3Cursor cursor = db.queryThrow("SELECT group_concat(x) AS xs FROM t");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getText(QStringLiteral("xs")), QStringLiteral("2"));
}

void TestSqlite3DB::insertRowAndLastInsertId()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("row.db")), 6);
    db.executeThrow("CREATE TABLE r(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, n INTEGER, big INTEGER, "
                    "data BLOB, flag INTEGER, absent TEXT)");
    Sqlite3Row row;
    row.set(QStringLiteral("name"), QStringLiteral("first"));
    row.set(QStringLiteral("n"), 5);
    row.set(QStringLiteral("big"), qint64(1) << 40);
    row.set(QStringLiteral("data"), QByteArray("\x01\x02", 2));
    row.set(QStringLiteral("flag"), true);
    row.set(QStringLiteral("absent"), QVariant());
    row.set(QStringLiteral("name"), QStringLiteral("second")); // replaces, keeps the column once
    QCOMPARE(row.size(), 6);

    db.executeThrow(row.insertSql(QStringLiteral("r"), {}));
    QCOMPARE(db.lastInsertId(), qint64(1));
    db.executeThrow(row.insertSql(QStringLiteral("r"), {}));
    QCOMPARE(db.lastInsertId(), qint64(2));

    Sqlite3Cursor cursor = db.queryThrow("SELECT * FROM r WHERE id=2");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getText(QStringLiteral("name")), QStringLiteral("second"));
    QCOMPARE(cursor.getInt(QStringLiteral("n")), 5);
    QCOMPARE(cursor.getInt64(QStringLiteral("big")), qint64(1) << 40);
    QCOMPARE(cursor.getBlob(QStringLiteral("data")), QByteArray("\x01\x02", 2));
    QCOMPARE(cursor.getInt(QStringLiteral("flag")), 1);
    QVERIFY(cursor.isNull(QStringLiteral("absent")));
}

void TestSqlite3DB::tbInfoDescribesColumns()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("info.db")), 6);
    db.executeThrow(
        "CREATE TABLE IF NOT EXISTS i(ROWID INTEGER PRIMARY KEY, guid TEXT NOT NULL, n INTEGER DEFAULT -1)");
    const auto columns = db.tbInfo(QStringLiteral("i"));
    QCOMPARE(columns.keys(), QStringList({ QStringLiteral("ROWID"), QStringLiteral("guid"), QStringLiteral("n") }));
    QVERIFY(columns.value(QStringLiteral("ROWID")).primaryKey);
    QVERIFY(columns.value(QStringLiteral("guid")).notNull);
    QCOMPARE(columns.value(QStringLiteral("n")).defaultValue, QStringLiteral("-1"));
    QVERIFY(db.tbInfo(QStringLiteral("absent")).isEmpty());
}

void TestSqlite3DB::secondConnectionWaitsForLock()
{
    const QString file = path(QStringLiteral("busy.db"));
    RawDb writer;
    writer.openThrow(file, 6);
    QVERIFY(writer.handle() != nullptr);
    writer.executeThrow("CREATE TABLE IF NOT EXISTS b(x INTEGER)");
    writer.beginTran();
    writer.executeThrow("INSERT INTO b(x) VALUES (1)");

    // The second connection waits for the first one's commit instead of failing at once.
    QThread* committer = QThread::create([&writer] {
        QThread::msleep(300);
        writer.commitTran();
    });
    committer->start();
    Sqlite3DB second;
    second.openThrow(file, 2);
    QElapsedTimer timer;
    timer.start();
    second.beginTran();
    second.executeThrow("INSERT INTO b(x) VALUES (2)");
    second.commitTran();
    QVERIFY(timer.elapsed() >= 200);
    committer->wait();
    delete committer;

    Sqlite3Cursor cursor = second.queryThrow("SELECT count(*) AS n FROM b");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getInt(QStringLiteral("n")), 2);
}

// COMMIT and ROLLBACK run to their end on a cancelled task however often the connection ran them
// before: SQLite looks at the cancel flag after a number of steps counted over every run of a
// statement, and a COMMIT that took effect must not be reported as stopped.
void TestSqlite3DB::transactionEndsAreNeverStopped()
{
    Sqlite3DB db;
    db.openThrow(path(QStringLiteral("ends.db")), 6);
    db.executeThrow("PRAGMA synchronous=OFF");
    db.executeThrow("CREATE TABLE t(x INTEGER)");
    RecordingProgress receiver;
    receiver.cancelled = true;
    const int runs = 2 * Sqlite3DB::cancelCheckSteps;
    for (int i = 0; i < runs; ++i) {
        db.beginTran();
        db.executeThrow(Sqlite3Sql("INSERT INTO t(x) VALUES (?)").addIntParam(i));
        const TaskCancelScope cancelled(&receiver);
        try {
            if (i % 2 == 0)
                db.commitTran();
            else
                db.rollbackTran();
        } catch (const TaskCancelled&) {
            QFAIL(qPrintable(QStringLiteral("transaction end %1 was stopped").arg(i)));
        }
    }
    Sqlite3Cursor cursor = db.queryThrow("SELECT count(*) FROM t");
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getInt(0), runs / 2);
}

QTEST_GUILESS_MAIN(TestSqlite3DB)
#include "TestSqlite3DB.moc"
