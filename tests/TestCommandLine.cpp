// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"
#include "base/DataFolders.h"
#include "ops/ExportFormats.h"
#include "store/Sqlite3DB.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/ScopedEnv.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Words.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
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
    void everyFormatExports_data();
    void everyFormatExports();
    void emptyListSaysSo();
    void xmlRoundTrip();
    void interruptLeavesDatabasesAsTheyWere_data();
    void interruptLeavesDatabasesAsTheyWere();
    void killedLoadLeavesWholeStores();
    void loadReports_data();
    void loadReports();
    void barsEndFullOnATerminal();
    void interruptStopsSqlite_data();
    void interruptStopsSqlite();
    void cleanupTestCase();

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
    // The stores that keep SQLite busy for good or for long, made on first use: Endless, whose message
    // is an endless view, Trap, whose message table fires an endless trigger, and Large.
    void makeBusyStores();

    bool m_busyStoresMade = false;
};

namespace {

const QString program = QStringLiteral(QSMS_CLI_PROGRAM);

// The words of a command line; %HOME is the home folder.
QStringList cli(const char* line)
{
    QStringList list = words(line);
    return list.replaceInStrings(QStringLiteral("%HOME"), QDir::homePath());
}

} // namespace

QTEST_GUILESS_MAIN(TestCommandLine)

void TestCommandLine::initTestCase()
{
    useTemporaryHome();
    // The seed database the status table works on.
    PhoneSimulatorProcess phone;
    QVERIFY(startPhone(phone));
    const Run seed = run(cli("backup --wifi 127.0.0.1 --to Seed"));
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
    QVERIFY(startPhone(phone, words("--batch-size 50 --hold-at end")));
    backup.start(program, cli("backup --wifi 127.0.0.1 --to") << database);
    QVERIFY(backup.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(
        phone.log().contains(QLatin1String("fault: holding")), qUtf8Printable(phone.log()), 30000);
    QTest::qWait(300);
    QCOMPARE(backup.state(), QProcess::Running);
}

bool TestCommandLine::startPhone(PhoneSimulatorProcess& phone, const QStringList& extra)
{
    const bool started = phone.start(SimulatorOptions::wifi().generate(120).mmc(QStringLiteral("234")).with(extra));
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
    const QStringList nightly = cli("backup --wifi 127.0.0.1 --to Nightly");
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

    const Run listed = run(cli("list"));
    QCOMPARE(listed.status, 0);
    QVERIFY2(listed.out.contains(QStringLiteral("Nightly\t%1\n").arg(total)), qUtf8Printable(listed.out));
}

void TestCommandLine::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // a pattern that standard output, then standard error, must match
    QTest::addColumn<QString>("absentDatabase"); // a database the run must not leave behind

    const QString none;
    QTest::newRow("help") << cli("--help") << 0 << "^Usage: quillbarrow-sms" << none;
    QTest::newRow("version") << cli("--version") << 0 << "^quillbarrow-sms \\d+\\.\\d+\\.\\d+\n$" << none;
    QTest::newRow("version after a command") << cli("list --version") << 2 << "unknown option" << none;
    QTest::newRow("no command") << QStringList() << 2 << "no command" << none;
    QTest::newRow("unknown command") << cli("sync") << 2 << "unknown command" << none;
    QTest::newRow("unknown option") << cli("list --all") << 2 << "Unknown option" << none;
    QTest::newRow("two sources") << cli("backup --wifi 127.0.0.1 --from Seed --to Copy") << 2 << "exactly one of"
                                 << QStringLiteral("Copy");
    QTest::newRow("dots only") << cli("backup --from Seed --to ..") << 2 << "Invalid Local Database name" << none;
    QTest::newRow("slash in name") << cli("list ../Seed") << 2 << "Invalid Local Database name" << none;
    QTest::newRow("line break in name") << cli("export Se\ned --format csv --out %HOME/seed.csv") << 2
                                        << "Invalid Local Database name" << none;
    QTest::newRow("blank name") << cli("backup --from Seed --to") + QStringList { QStringLiteral("  ") } << 2
                                << "Select one Database or enter a new Database name" << none;
    QTest::newRow("bad date") << cli("export Seed --format csv --out %HOME/seed.csv --since yesterday") << 2
                              << "--since takes a date" << none;
    // A date followed by anything that is not a whole valid time is refused, not read as the date alone.
    const QStringList badBounds { QStringLiteral("--since=2024-01-01T25:00"), QStringLiteral("--until=2024-02-30"),
        QStringLiteral("--since=2024-01-01junk"), QStringLiteral("--until=2024-01-01T10:00Z"),
        QStringLiteral("--since=2024-01-01T"), QStringLiteral("--until=2024-01-01T10:60"),
        QStringLiteral("--since=2024-1-1"), QStringLiteral("--until=2024-01-01 10:00") };
    for (const QString& bound : badBounds) {
        QTest::newRow(qPrintable(bound))
            << cli("export Seed --format csv --out %HOME/seed.csv") + QStringList { bound } << 2
            << QStringLiteral("^quillbarrow-sms: %1 takes a date").arg(bound.section(QLatin1Char('='), 0, 0)) << none;
    }
    QTest::newRow("evidence with csv") << cli("export Seed --format csv --out %HOME/seed.csv --evidence") << 2
                                       << "--evidence goes with --format pdf only" << none;
    QTest::newRow("unknown country") << cli("load --wifi 127.0.0.1 --country 999") << 2 << "unknown mobile country code"
                                     << none;
    QTest::newRow("unknown database") << cli("list Missing") << 1 << "no local database named \"Missing\""
                                      << QStringLiteral("Missing");
    QTest::newRow("unknown source database")
        << cli("backup --from Missing --to Copy") << 1 << "no local database" << QStringLiteral("Copy");
    QTest::newRow("unknown conversation")
        << cli("export Seed --format txt --out %HOME/seed.csv --chat +440000") << 1 << "no conversation" << none;
    // Nothing listens at 127.0.0.2: the window's connection failure, and no database is made.
    QTest::newRow("phone unreachable") << cli("backup --wifi 127.0.0.2 --to Unreached") << 1
                                       << "can not connect 127\\.0\\.0\\.2:44441" << QStringLiteral("Unreached");
    QTest::newRow("missing XML file") << cli("import nothing.xml --to Old") << 1 << "no file" << QStringLiteral("Old");
    QTest::newRow("list databases") << cli("list") << 0 << "(^|\n)Seed\t\\d+\n" << none;
    QTest::newRow("backup from a database")
        << cli("backup --from Seed --to Seed") << 0 << " 0 new, \\d+ already there" << none;
    QTest::newRow("search a database") << cli("search YOU --in Seed") << 0
                                       << "^Seed\t[^\t\n]+\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\t[^\n]*\\byou" << none;
    QTest::newRow("search everywhere") << cli("search you") << 0 << "(^|\n)android_cache/[^\t\n]+\t[^\n]*you[^\n]*\n"
                                       << none;
    QTest::newRow("search as CSV") << cli("search you --in Seed --format csv") << 0
                                   << "^Source,Conversation,Date,Message\nSeed," << none;
    QTest::newRow("search finds nothing")
        << cli("search zzqxv") << 1 << "^quillbarrow-sms: No messages match \"zzqxv\"\\.\n$" << none;
    QTest::newRow("search in an unknown database")
        << cli("search you --in Missing") << 1 << "no local database named \"Missing\"" << QStringLiteral("Missing");
    QTest::newRow("search in another format")
        << cli("search you --format pdf") << 2 << "--format takes txt or csv" << none;
    QTest::newRow("export a year") << cli(
        "export Seed --format csv --out %HOME/seed.csv --since 2013-01-01 --until 2013-12-31")
                                   << 0 << "^Successfully exported \\d+ SMS" << none;
    QTest::newRow("export a month to hand over")
        << cli("export Seed --format pdf --out %HOME/court --evidence --until 2013-01-31") << 0
        << "^Successfully exported \\d+ SMS" << none;
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

// With no database at all, list says so on standard error and leaves standard output to scripts.
void TestCommandLine::emptyListSaysSo()
{
    QTemporaryDir empty;
    const ScopedEnv home("HOME", QFile::encodeName(empty.path()));
    const ScopedEnv data("XDG_DATA_HOME", QFile::encodeName(empty.filePath(QStringLiteral(".local/share"))));
    const Run result = run(cli("list"));
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, QString());
    QVERIFY2(
        result.err.startsWith(QStringLiteral("quillbarrow-sms: no local databases in ")), qUtf8Printable(result.err));
    QVERIFY2(result.err.contains(empty.path()), qUtf8Printable(result.err));
}

// The conversation and date filters pick exactly the messages that list counts.
void TestCommandLine::exportFilters()
{
    const Run listed = run(cli("list Seed"));
    QCOMPARE(listed.status, 0);
    const QStringList newest = listed.out.section(QLatin1Char('\n'), 0, 0).split(QLatin1Char('\t'));
    QCOMPARE(newest.size(), 4);
    const QString identifier = newest.at(0);
    const int count = newest.at(1).toInt();
    const QString day = newest.at(2).left(10);
    QVERIFY(count > 0);

    const auto exported = [&identifier](const QStringList& filters) {
        const Run result = run(cli("export Seed --format txt --out %HOME/chat.txt --chat") << identifier << filters);
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

    // A time of day counts to the minute: the newest message is in its own minute, not in the next
    // one; --until takes the minute it names to its end.
    const QDateTime minute = QDateTime::fromString(newest.at(2), QStringLiteral("yyyy-MM-dd HH:mm"));
    QVERIFY(minute.isValid());
    const auto at = [](const QDateTime& time) { return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm")); };
    QVERIFY(exported({ QStringLiteral("--since"), at(minute), QStringLiteral("--until"), at(minute) }) >= 1);
    QCOMPARE(exported({ QStringLiteral("--since"), at(minute.addSecs(60)) }), -1);
    QVERIFY(exported({ QStringLiteral("--since"), day, QStringLiteral("--until"), at(minute.addSecs(-60)) }) < thatDay);
}

void TestCommandLine::everyFormatExports_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("evidence");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("folder");
    for (const ExportFormat& format : exportFormats())
        QTest::addRow("%s%s", format.commandLineName, format.evidence ? " evidence" : "")
            << QString::fromLatin1(format.commandLineName) << format.evidence << QString::fromLatin1(format.suffix)
            << format.folder;
}

// Every format of the table can be asked for by its name and writes its file, or its folder of
// files, under the table's suffix.
void TestCommandLine::everyFormatExports()
{
    QFETCH(QString, name);
    QFETCH(bool, evidence);
    QFETCH(QString, suffix);
    QFETCH(bool, folder);

    const Run listed = run(cli("list Seed"));
    const QString identifier = listed.out.section(QLatin1Char('\n'), 0, 0).section(QLatin1Char('\t'), 0, 0);
    QVERIFY2(listed.status == 0 && !identifier.isEmpty(), qUtf8Printable(listed.err));

    QTemporaryDir work;
    const QString out = work.filePath(QStringLiteral("out") + (folder ? QString() : suffix));
    QStringList arguments { QStringLiteral("export"), QStringLiteral("Seed"), QStringLiteral("--format"), name,
        QStringLiteral("--out"), out, QStringLiteral("--chat"), identifier };
    if (evidence)
        arguments << QStringLiteral("--evidence");
    const Run result = run(arguments);
    QVERIFY2(result.status == 0, qUtf8Printable(result.err));
    QVERIFY2(result.out.startsWith(QStringLiteral("Successfully exported")), qUtf8Printable(result.out));
    if (folder) {
        const QStringList files = QDir(out).entryList({ QLatin1Char('*') + suffix }, QDir::Files);
        QVERIFY2(!files.isEmpty(), qUtf8Printable(QDir(out).entryList().join(QLatin1Char(' '))));
    } else {
        QVERIFY(QFileInfo(out).size() > 0);
    }
    const Run usage = run(cli("--help"));
    static const QRegularExpression formats(QStringLiteral("export DATABASE --format (\\S+)"));
    QVERIFY(formats.match(usage.out).captured(1).split(QLatin1Char('|')).contains(name));
}

// A database exported as an XML backup and imported into a new one holds as many messages; a
// second import of the file adds none.
void TestCommandLine::xmlRoundTrip()
{
    const Run exported = run(cli("export Seed --format xml --out %HOME/seed.xml"));
    QVERIFY2(exported.status == 0, qUtf8Printable(exported.err));

    const QStringList import = cli("import %HOME/seed.xml --to FromXml --country 234");
    const Run first = run(import);
    QVERIFY2(first.status == 0, qUtf8Printable(first.err));
    const Run second = run(import);
    QVERIFY2(second.status == 0, qUtf8Printable(second.err));

    const Run listed = run(cli("list"));
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

void TestCommandLine::loadReports_data()
{
    QTest::addColumn<QStringList>("phone"); // the phone's faults
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern for standard output
    QTest::addColumn<QString>("err"); // text that standard error must hold

    // ESC sequences that would retitle the terminal (OSC), clear it and colour it (CSI), a bell, and
    // the one-character C1 forms of CSI and of a line break.
    const QString escapes = QStringLiteral("\x1b]0;owned\x07\x1b[2J\x1b[31mred\u009b1mC1\u0085end");
    const QString escaped = QStringLiteral("\\x1B]0;owned\\x07\\x1B[2J\\x1B[31mred\\x9B1mC1\\x85end");
    QTest::newRow("phone's error with terminal escapes") << (words("--error-at count --error-text")
        << escapes) << 1 << "^$" << QStringLiteral("quillbarrow-sms: %1\n").arg(escaped);
    QTest::newRow("phone's empty error")
        << (words("--error-at batch --error-text") << QString()) << 1 << "^$"
        << "quillbarrow-sms: The phone reported an error without saying what it was.\n";
    // The greeting separates its keys with semicolons and is read byte by byte, so the model's escapes
    // are of the seven-bit kinds without a semicolon.
    QTest::newRow("model with terminal escapes")
        << QStringList { QStringLiteral("--model"), QStringLiteral("\x1b[2J\x1b[31mPhone\x07") } << 0
        << QStringLiteral("^Loaded 119 of 120 messages from Simulated %1 into ")
               .arg(QRegularExpression::escape(QStringLiteral("\\x1B[2J\\x1B[31mPhone\\x07")))
        << "Loading SMS...\n";
    // The simulator's 120 messages hold one message twice.
    QTest::newRow("phone announces far fewer messages")
        << words("--count 1") << 0
        << "^Loaded 119 of 120 messages from [^\n]*; skipped 1 repeating a message already loaded\\.\n$"
        << "Loading SMS...\n";
    QTest::newRow("records skipped")
        << words("--short-record 3 --bad-date 5") << 0
        << "^Loaded 117 of 120 messages from Simulated SimPhone 7 into [^\n]*; skipped 1 with fewer than six fields, "
           "1 with a time that is not a number, 1 repeating a message already loaded\\.\n$"
        << "Loading SMS...\n";
}

// What a load prints: nothing a phone sends reaches the terminal as a control character, a
// percentage never passes 100 and plain progress lines stay few, and the result says what the
// load stored, what it skipped and why.
void TestCommandLine::loadReports()
{
    QFETCH(QStringList, phone);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    PhoneSimulatorProcess simulator;
    QVERIFY(startPhone(simulator, phone));
    const Run result = run(cli("load --wifi 127.0.0.1"));
    QVERIFY2(result.status == status,
        qUtf8Printable(QStringLiteral("status %1\n%2%3").arg(result.status).arg(result.out, result.err)));
    QVERIFY2(QRegularExpression(out).match(result.out).hasMatch(), qUtf8Printable(result.out));
    QVERIFY2(result.err.contains(err), qUtf8Printable(result.err));

    static const QRegularExpression control(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f]"));
    QVERIFY2(!control.match(result.out + result.err).hasMatch(), qUtf8Printable(result.out + result.err));
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    for (auto it = percent.globalMatch(result.err); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QVERIFY2(match.captured(1).toLongLong() <= 100, qUtf8Printable(result.err));
    }
    QVERIFY2(result.err.count(QLatin1Char('\n')) <= 8, qUtf8Printable(result.err));
}

// On a terminal every step's bar that ends well is drawn full before its line ends, also for the
// steps that report only their start.
void TestCommandLine::barsEndFullOnATerminal()
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        QSKIP("no script program to give the run a terminal");
    PhoneSimulatorProcess simulator;
    QVERIFY(startPhone(simulator));
    QProcess process;
    // script runs the program on a pseudo-terminal of its own and copies what it shows.
    process.start(QStringLiteral("script"),
        { QStringLiteral("-qec"), QStringLiteral("'%1' load --wifi 127.0.0.1 2>&1 >/dev/null").arg(program),
            QStringLiteral("/dev/null") });
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);
    QString shown = QString::fromUtf8(process.readAllStandardOutput());
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList ends;
    for (const QString& line : shown.split(QLatin1Char('\n'))) {
        // What a line shows last: the part after its last return to the start.
        const QString last = line.section(QLatin1Char('\r'), -1).trimmed();
        if (last.contains(QLatin1Char('[')) && last.contains(QLatin1Char('%')))
            ends.append(last);
    }
    QVERIFY2(ends.size() >= 2, qUtf8Printable(shown));
    for (const QString& end : std::as_const(ends))
        QVERIFY2(end.contains(QLatin1String("100%")), qUtf8Printable(end));
    QVERIFY2(shown.contains(QLatin1String("Getting Android info...")), qUtf8Printable(shown));
}

void TestCommandLine::makeBusyStores()
{
    if (m_busyStoresMade)
        return;
    const QString endless
        = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n");
    const QStringList scripts {
        QStringLiteral("ALTER TABLE message RENAME TO message_rows;"
                       "CREATE VIEW message AS SELECT m.* FROM (%1) AS forever, message_rows AS m;")
            .arg(endless),
        // Without its messages, so that a backup or import into it stores every message again.
        QStringLiteral("DELETE FROM chat_message_join; DELETE FROM message; CREATE TRIGGER endless AFTER INSERT ON "
                       "message BEGIN SELECT count(*) FROM (%1); END;")
            .arg(endless),
        // 100,000 conversations of three messages each.
        QStringLiteral(
            "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) INSERT INTO "
            "handle(id, country, service) SELECT printf('+44770%07d', i), 'gb', 'SMS' FROM n;"
            "INSERT INTO chat(guid, chat_identifier, service_name, _last) SELECT 'SMS;-;' || id, id, 'SMS', 5e8 "
            "FROM handle WHERE id LIKE '+44770%';"
            "INSERT INTO chat_handle_join SELECT c.ROWID, h.ROWID FROM chat AS c JOIN handle AS h ON h.id = "
            "c.chat_identifier WHERE h.id LIKE '+44770%';"
            "WITH k(j) AS (VALUES (0), (1), (2)) INSERT INTO message(guid, text, handle_id, service, date, "
            "is_from_me) SELECT printf('large-%d-%d', h.ROWID, j), 'Message ' || j, h.ROWID, 'SMS', "
            "5e8 + h.ROWID * 10 + j, j % 2 FROM handle AS h, k WHERE h.id LIKE '+44770%';"
            "INSERT INTO chat_message_join SELECT c.ROWID, m.ROWID FROM message AS m JOIN handle AS h ON h.ROWID = "
            "m.handle_id JOIN chat AS c ON c.chat_identifier = h.id WHERE m.guid LIKE 'large-%'; COMMIT;"),
    };
    const QStringList names { QStringLiteral("Endless"), QStringLiteral("Trap"), QStringLiteral("Large") };
    for (int i = 0; i < names.size(); ++i) {
        const Run copy = run(cli("backup --from Seed --to") << names[i]);
        QVERIFY2(copy.status == 0, qUtf8Printable(copy.err));
        Sqlite3DB db;
        db.openThrow(smsDbPath(QDir(localDatabasesDir().absoluteFilePath(names[i]))), Sqlite3DB::ReadWrite);
        QString error;
        QVERIFY2(db.exec(scripts[i], error) == 0, qUtf8Printable(error));
    }
    const Run exported = run(cli("export Seed --format xml --out %HOME/small.xml"));
    QVERIFY2(exported.status == 0, qUtf8Printable(exported.err));
    m_busyStoresMade = true;
}

void TestCommandLine::interruptStopsSqlite_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("started"); // what standard error shows once the step to interrupt runs
    QTest::addColumn<QString>("unchanged"); // the database the run must leave as it was
    QTest::addColumn<bool>("refused"); // the store is refused before anything is written, without a Ctrl-C

    const QString reading = QStringLiteral("Reading the messages of %1...\n");
    const QString backingUp = QStringLiteral("Backing up SMS to Local Database...\n");
    const QString importing = QStringLiteral("Importing SMS from XML backup...\n");
    // Export writes no store, so no trigger fires during it.
    QTest::newRow("endless view, export") << cli("export Endless --format=csv --out %HOME/interrupted.csv")
                                          << reading.arg(QLatin1String("Endless")) << "Endless" << false;
    QTest::newRow("endless view, backup --from into a new database")
        << cli("backup --from Endless --to Fresh") << reading.arg(QLatin1String("Endless")) << "Endless" << false;
    // A store whose message table is not the application's own is never written to.
    QTest::newRow("endless view, import")
        << cli("import %HOME/small.xml --to Endless --country=234") << importing << "Endless" << true;
    QTest::newRow("endless trigger, backup --from")
        << cli("backup --from Seed --to Trap") << backingUp << "Trap" << true;
    QTest::newRow("endless trigger, import")
        << cli("import %HOME/small.xml --to Trap --country=234") << importing << "Trap" << true;
    QTest::newRow("large, export") << cli("export Large --format=csv --out %HOME/interrupted.csv")
                                   << reading.arg(QLatin1String("Large")) << "Large" << false;
    QTest::newRow("large, backup --from") << cli("backup --from Large --to Seed") << backingUp << "Seed" << false;
}

// Ctrl-C stops SQLite at once however long its statement would run (an endless view, an endless
// trigger, a large store read or written): the program ends with 130, every database as it was, and
// neither the export file nor the new database is left behind.
void TestCommandLine::interruptStopsSqlite()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, started);
    QFETCH(QString, unchanged);
    QFETCH(bool, refused);
    makeBusyStores();
    if (QTest::currentTestFailed())
        return;
    const QByteArray before = folderDigest(localDatabasesDir().absoluteFilePath(unchanged));

    if (refused) {
        const Run refusal = run(arguments);
        QVERIFY2(refusal.status == 1, qUtf8Printable(refusal.err));
        QVERIFY2(refusal.err.contains(localDatabasesDir().absoluteFilePath(unchanged)), qUtf8Printable(refusal.err));
        QCOMPARE(folderDigest(localDatabasesDir().absoluteFilePath(unchanged)), before);
        return;
    }

    QProcess process;
    process.start(program, arguments);
    QByteArray err;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (err += process.readAllStandardError()).contains(started.toUtf8()), err.constData(), 60000);
    // Into the step: its statements are running, not about to start.
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);
    QElapsedTimer sinceInterrupt;
    sinceInterrupt.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    const bool ended = process.waitForFinished(20000);
    const qint64 tookMs = sinceInterrupt.elapsed();
    process.kill();
    QVERIFY2(ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 130,
        (err + process.readAllStandardError()).constData());
    qInfo("ended %lld ms after Ctrl-C", tookMs);
    // Well under a second on an idle machine; the bound leaves room for a loaded one.
    QVERIFY2(tookMs < 5000, qPrintable(QString::number(tookMs)));
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(folderDigest(localDatabasesDir().absoluteFilePath(unchanged)), before);
    QVERIFY(!localDatabasesDir().exists(QStringLiteral("Fresh")));
    QVERIFY(!QFileInfo::exists(QDir::home().absoluteFilePath(QStringLiteral("interrupted.csv"))));
}

void TestCommandLine::cleanupTestCase()
{
    // The endless stores would hold up anything that lists the databases after this test.
    for (const QString& name : { QStringLiteral("Endless"), QStringLiteral("Trap") })
        QDir(localDatabasesDir().absoluteFilePath(name)).removeRecursively();
}

#include "TestCommandLine.moc"
