// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"
#include "app/DataFolders.h"
#include "store/Sqlite3DB.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

// The command-line program run as a process, as cron or a script runs it, against the phone
// simulator over TCP on 127.0.0.1.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repeatedBackupStoresNothingTwice();
    void exitStatus_data();
    void exitStatus();
    void exportFilters();
    void xmlRoundTrip();
    void interruptLeavesDatabasesAsTheyWere_data();
    void interruptLeavesDatabasesAsTheyWere();
    void killedLoadLeavesWholeStores();

private:
    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };

    static Run run(const QStringList& arguments);
    bool startPhone(PhoneSimulatorProcess& phone, const QStringList& extra = {});
    // Starts a backup over WiFi into the database that the phone holds in flight, before the end of
    // its first batch. The caller checks QTest::currentTestFailed().
    void startHeldBackup(PhoneSimulatorProcess& phone, QProcess& backup, const QString& database);
    // A digest of every file under the folder (names and contents); empty when it does not exist.
    static QByteArray folderDigest(const QString& path);

    QString m_home;
};

namespace {

const QString program = QStringLiteral(QSMS_CLI_PROGRAM);

} // namespace

QTEST_GUILESS_MAIN(TestCommandLine)

void TestCommandLine::initTestCase()
{
    m_home = useTemporaryHome();
    // The seed database the status table works on.
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone));
    const Run seed = run({ QStringLiteral("backup"), QStringLiteral("--wifi"), QStringLiteral("127.0.0.1"),
        QStringLiteral("--to"), QStringLiteral("Seed") });
    QVERIFY2(seed.status == 0, qUtf8Printable(seed.err));
}

TestCommandLine::Run TestCommandLine::run(const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish");
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCommandLine::startHeldBackup(PhoneSimulatorProcess& phone, QProcess& backup, const QString& database)
{
    QVERIFY(startPhone(phone,
        { QStringLiteral("--batch-size"), QStringLiteral("50"), QStringLiteral("--hold-at"), QStringLiteral("end") }));
    backup.start(program,
        { QStringLiteral("backup"), QStringLiteral("--wifi"), QStringLiteral("127.0.0.1"), QStringLiteral("--to"),
            database });
    QVERIFY(backup.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(
        phone.log().contains(QLatin1String("fault: holding")), qUtf8Printable(phone.log()), 30000);
    QTest::qWait(300);
    QCOMPARE(backup.state(), QProcess::Running);
}

bool TestCommandLine::startPhone(PhoneSimulatorProcess& phone, const QStringList& extra)
{
    const bool started = phone.start(
        QStringList { QStringLiteral("--port"), QString::number(AndroidDevice::wifiServicePort),
            QStringLiteral("--generate"), QStringLiteral("120"), QStringLiteral("--mmc"), QStringLiteral("234") }
        + extra);
    if (!started)
        qWarning("simulator did not start: %s", qUtf8Printable(phone.log()));
    return started;
}

QByteArray TestCommandLine::folderDigest(const QString& path)
{
    if (!QFileInfo::exists(path))
        return {};
    QStringList files;
    for (QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    files.sort();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& file : std::as_const(files)) {
        QFile content(file);
        if (!content.open(QIODevice::ReadOnly))
            return QByteArrayLiteral("unreadable");
        hash.addData(file.toUtf8());
        hash.addData(&content);
    }
    return hash.result().toHex();
}

void TestCommandLine::repeatedBackupStoresNothingTwice()
{
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone));
    const QStringList nightly { QStringLiteral("backup"), QStringLiteral("--wifi"), QStringLiteral("127.0.0.1"),
        QStringLiteral("--to"), QStringLiteral("Nightly") };
    static const QRegularExpression counts(
        QStringLiteral("^Backed up (\\d+) messages into Nightly: (\\d+) new, (\\d+) already there\\.\n$"));

    const Run first = run(nightly);
    QVERIFY2(first.status == 0, qUtf8Printable(first.err));
    const QRegularExpressionMatch firstCounts = counts.match(first.out);
    QVERIFY2(firstCounts.hasMatch(), qUtf8Printable(first.out));
    const int total = firstCounts.captured(1).toInt();
    QVERIFY(total > 100);
    QCOMPARE(firstCounts.captured(2).toInt(), total);
    QCOMPARE(firstCounts.captured(3).toInt(), 0);
    // Not a terminal: progress as plain lines, no bar redrawn with carriage returns.
    QVERIFY2(first.err.contains(QLatin1String("Loading SMS...\n")), qUtf8Printable(first.err));
    QVERIFY(!first.err.contains(QLatin1Char('\r')));

    const Run second = run(nightly);
    QVERIFY2(second.status == 0, qUtf8Printable(second.err));
    QCOMPARE(second.out, QStringLiteral("Backed up %1 messages into Nightly: 0 new, %1 already there.\n").arg(total));

    const Run listed = run({ QStringLiteral("list") });
    QCOMPARE(listed.status, 0);
    QVERIFY2(listed.out.contains(QStringLiteral("Nightly\t%1\n").arg(total)), qUtf8Printable(listed.out));
}

void TestCommandLine::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // a pattern that standard output, then standard error, must match
    QTest::addColumn<QString>("absentDatabase"); // a database the run must not leave behind

    const QString out = QDir(m_home).absoluteFilePath(QStringLiteral("seed.csv"));
    QTest::newRow("help") << QStringList { QStringLiteral("--help") } << 0 << "^Usage: quillbarrow-sms" << QString();
    QTest::newRow("no command") << QStringList() << 2 << "no command" << QString();
    QTest::newRow("unknown command") << QStringList { QStringLiteral("sync") } << 2 << "unknown command" << QString();
    QTest::newRow("unknown option") << QStringList { QStringLiteral("list"), QStringLiteral("--all") } << 2
                                    << "Unknown option" << QString();
    QTest::newRow("two sources") << QStringList { QStringLiteral("backup"), QStringLiteral("--wifi"),
        QStringLiteral("127.0.0.1"), QStringLiteral("--from"), QStringLiteral("Seed"), QStringLiteral("--to"),
        QStringLiteral("Copy") } << 2
                                 << "exactly one of" << QStringLiteral("Copy");
    QTest::newRow("dots only") << QStringList { QStringLiteral("backup"), QStringLiteral("--from"),
        QStringLiteral("Seed"), QStringLiteral("--to"), QStringLiteral("..") }
                               << 2 << "Invalid Local Database name" << QString();
    QTest::newRow("slash in name") << QStringList { QStringLiteral("list"), QStringLiteral("../Seed") } << 2
                                   << "Invalid Local Database name" << QString();
    QTest::newRow("blank name") << QStringList { QStringLiteral("backup"), QStringLiteral("--from"),
        QStringLiteral("Seed"), QStringLiteral("--to"), QStringLiteral("  ") }
                                << 2 << "Select one Database or enter a new Database name" << QString();
    QTest::newRow("bad date") << QStringList { QStringLiteral("export"), QStringLiteral("Seed"),
        QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--out"), out, QStringLiteral("--since"),
        QStringLiteral("yesterday") }
                              << 2 << "--since takes a date" << QString();
    QTest::newRow("unknown country") << QStringList { QStringLiteral("load"), QStringLiteral("--wifi"),
        QStringLiteral("127.0.0.1"), QStringLiteral("--country"), QStringLiteral("999") }
                                     << 2 << "unknown mobile country code" << QString();
    QTest::newRow("unknown database") << QStringList { QStringLiteral("list"), QStringLiteral("Missing") } << 1
                                      << "no local database named \"Missing\"" << QStringLiteral("Missing");
    QTest::newRow("unknown source database") << QStringList { QStringLiteral("backup"), QStringLiteral("--from"),
        QStringLiteral("Missing"), QStringLiteral("--to"), QStringLiteral("Copy") }
                                             << 1 << "no local database" << QStringLiteral("Copy");
    QTest::newRow("unknown conversation") << QStringList { QStringLiteral("export"), QStringLiteral("Seed"),
        QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--out"), out, QStringLiteral("--chat"),
        QStringLiteral("+440000") } << 1 << "no conversation"
                                          << QString();
    // Nothing listens at 127.0.0.2: the window's connection failure, and no database is made.
    QTest::newRow("phone unreachable") << QStringList { QStringLiteral("backup"), QStringLiteral("--wifi"),
        QStringLiteral("127.0.0.2"), QStringLiteral("--to"), QStringLiteral("Unreached") }
                                       << 1 << "can not connect 127\\.0\\.0\\.2:44441" << QStringLiteral("Unreached");
    QTest::newRow("missing XML file") << QStringList { QStringLiteral("import"), QStringLiteral("nothing.xml"),
        QStringLiteral("--to"), QStringLiteral("Old") }
                                      << 1 << "no file" << QStringLiteral("Old");
    QTest::newRow("list databases") << QStringList { QStringLiteral("list") } << 0 << "(^|\n)Seed\t\\d+\n" << QString();
    QTest::newRow("backup from a database") << QStringList { QStringLiteral("backup"), QStringLiteral("--from"),
        QStringLiteral("Seed"), QStringLiteral("--to"), QStringLiteral("Seed") }
                                            << 0 << " 0 new, \\d+ already there" << QString();
    QTest::newRow("export a year") << QStringList { QStringLiteral("export"), QStringLiteral("Seed"),
        QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--out"), out, QStringLiteral("--since"),
        QStringLiteral("2013-01-01"), QStringLiteral("--until"), QStringLiteral("2013-12-31") }
                                   << 0 << "^Successfully exported \\d+ SMS" << QString();
}

void TestCommandLine::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, absentDatabase);

    const Run result = run(arguments);
    QVERIFY2(result.status == status,
        qUtf8Printable(QStringLiteral("status %1\n%2%3").arg(result.status).arg(result.out, result.err)));
    const QRegularExpression pattern(output, QRegularExpression::CaseInsensitiveOption);
    const QString& shown = status == 0 ? result.out : result.err;
    QVERIFY2(pattern.match(shown).hasMatch(), qUtf8Printable(shown));
    if (status != 0)
        QCOMPARE(result.out, QString());
    if (!absentDatabase.isEmpty())
        QVERIFY(!localDatabasesDir().exists(absentDatabase));
}

// The conversation and date filters pick exactly the messages that list counts.
void TestCommandLine::exportFilters()
{
    const Run listed = run({ QStringLiteral("list"), QStringLiteral("Seed") });
    QCOMPARE(listed.status, 0);
    const QStringList newest = listed.out.section(QLatin1Char('\n'), 0, 0).split(QLatin1Char('\t'));
    QCOMPARE(newest.size(), 4);
    const QString identifier = newest.at(0);
    const int count = newest.at(1).toInt();
    const QString day = newest.at(2).left(10);
    QVERIFY(count > 0);

    const auto exported = [this, &identifier](const QStringList& filters) {
        const Run result
            = run(QStringList { QStringLiteral("export"), QStringLiteral("Seed"), QStringLiteral("--format"),
                      QStringLiteral("txt"), QStringLiteral("--out"),
                      QDir(m_home).absoluteFilePath(QStringLiteral("chat.txt")), QStringLiteral("--chat"), identifier }
                + filters);
        static const QRegularExpression done(QStringLiteral("^Successfully exported (\\d+) SMS"));
        const QRegularExpressionMatch match = done.match(result.out);
        return result.status == 0 && match.hasMatch() ? match.captured(1).toInt() : -result.status;
    };
    QCOMPARE(exported({}), count);
    // The newest message's day, whole: --until takes the day to its end.
    const int thatDay = exported({ QStringLiteral("--since"), day, QStringLiteral("--until"), day });
    QVERIFY2(thatDay >= 1 && thatDay <= count, qPrintable(QString::number(thatDay)));
    QCOMPARE(
        exported({ QStringLiteral("--since"), QDate::fromString(day, Qt::ISODate).addDays(1).toString(Qt::ISODate) }),
        -1);
}

// A database exported as an XML backup and imported into a new one holds as many messages; a
// second import of the file adds none.
void TestCommandLine::xmlRoundTrip()
{
    const QString file = QDir(m_home).absoluteFilePath(QStringLiteral("seed.xml"));
    const Run exported = run({ QStringLiteral("export"), QStringLiteral("Seed"), QStringLiteral("--format"),
        QStringLiteral("xml"), QStringLiteral("--out"), file });
    QVERIFY2(exported.status == 0, qUtf8Printable(exported.err));

    const QStringList import { QStringLiteral("import"), file, QStringLiteral("--to"), QStringLiteral("FromXml"),
        QStringLiteral("--country"), QStringLiteral("234") };
    const Run first = run(import);
    QVERIFY2(first.status == 0, qUtf8Printable(first.err));
    const Run second = run(import);
    QVERIFY2(second.status == 0, qUtf8Printable(second.err));

    const Run listed = run({ QStringLiteral("list") });
    static const QRegularExpression seedCount(QStringLiteral("(^|\n)Seed\t(\\d+)\n"));
    const QString total = seedCount.match(listed.out).captured(2);
    QVERIFY2(!total.isEmpty(), qUtf8Printable(listed.out));
    const QRegularExpression fromXmlCount(QStringLiteral("(^|\\n)FromXml\\t%1\\n").arg(total));
    QVERIFY2(fromXmlCount.match(listed.out).hasMatch(), qUtf8Printable(listed.out));
    QCOMPARE(first.out, QStringLiteral("Imported %1 messages into FromXml: %1 new, 0 already there.\n").arg(total));
    QCOMPARE(second.out, QStringLiteral("Imported %1 messages into FromXml: 0 new, %1 already there.\n").arg(total));
}

void TestCommandLine::interruptLeavesDatabasesAsTheyWere_data()
{
    QTest::addColumn<QString>("database");
    QTest::newRow("into an existing database") << QStringLiteral("Seed");
    QTest::newRow("into a new database") << QStringLiteral("Fresh");
}

void TestCommandLine::interruptLeavesDatabasesAsTheyWere()
{
    QFETCH(QString, database);
    const QString target = localDatabasesDir().absoluteFilePath(database);
    const QString caches = dataRootDir().absoluteFilePath(QStringLiteral("android_cache"));
    const QByteArray targetBefore = folderDigest(target);
    const QByteArray cachesBefore = folderDigest(caches);
    QVERIFY(!cachesBefore.isEmpty());

    // The phone stops before the end of its first batch, with the load in flight.
    PhoneSimulatorProcess phone;
    QProcess backup;
    startHeldBackup(phone, backup, database);
    if (QTest::currentTestFailed())
        return;

    ::kill(static_cast<pid_t>(backup.processId()), SIGINT);
    QVERIFY(backup.waitForFinished(10000));
    QCOMPARE(backup.exitStatus(), QProcess::NormalExit);
    QCOMPARE(backup.exitCode(), 130);
    QCOMPARE(backup.readAllStandardOutput(), QByteArray());
    QCOMPARE(folderDigest(target), targetBefore);
    QCOMPARE(folderDigest(caches), cachesBefore);
}

// A load killed outright, in the middle of writing a new store, leaves every store file whole: the
// store being written holds no message and has all its indexes, the stores written before are unchanged.
void TestCommandLine::killedLoadLeavesWholeStores()
{
    const QString caches = dataRootDir().absoluteFilePath(QStringLiteral("android_cache"));
    const auto storesUnder = [&caches](bool staging) {
        QStringList stores;
        for (QDirIterator it(
                 caches, { QStringLiteral("sms.db") }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            if (path.contains(QLatin1String("/.loading")) == staging)
                stores << path;
        }
        return stores;
    };
    const auto scalar = [](const QString& path, const char* sql) {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        Sqlite3Cursor cursor = db.queryThrow(sql);
        return cursor.moveNext() ? cursor.getText(0) : QString();
    };
    const char* indexes = "select group_concat(name, ',') from (select name from sqlite_master where type='index' "
                          "and tbl_name='message' order by name)";
    const QStringList caches0 = storesUnder(false);
    QVERIFY(!caches0.isEmpty());
    const QString cache = caches0.first();
    const QString cachedMessages = scalar(cache, "select count(*) from message");
    const QString cacheIndexes = scalar(cache, indexes);
    QVERIFY(cacheIndexes.contains(QLatin1String("message_idx_logic_hash")));

    PhoneSimulatorProcess phone;
    QProcess backup;
    startHeldBackup(phone, backup, QStringLiteral("Killed"));
    if (QTest::currentTestFailed())
        return;
    ::kill(static_cast<pid_t>(backup.processId()), SIGKILL);
    QVERIFY(backup.waitForFinished(10000));

    const QStringList staged = storesUnder(true);
    QCOMPARE(staged.size(), 1);
    QCOMPARE(scalar(staged.first(), "PRAGMA integrity_check"), QStringLiteral("ok"));
    QCOMPARE(scalar(staged.first(), "select count(*) from message"), QStringLiteral("0"));
    QCOMPARE(scalar(staged.first(), indexes), cacheIndexes);
    QCOMPARE(scalar(cache, "PRAGMA integrity_check"), QStringLiteral("ok"));
    QCOMPARE(scalar(cache, "select count(*) from message"), cachedMessages);

    // What the killed load left behind goes, as the next load would remove it.
    QDir stagingFolder(QFileInfo(staged.first()).absolutePath());
    while (!stagingFolder.dirName().startsWith(QLatin1String(".loading")) && stagingFolder.cdUp()) { }
    QVERIFY(stagingFolder.dirName().startsWith(QLatin1String(".loading")));
    QVERIFY(stagingFolder.removeRecursively());
}

#include "TestCommandLine.moc"
