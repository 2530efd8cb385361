// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The data root, the log file and removeFolderTree. The data root is resolved once per process and the
// log handler replaces the test framework's own, so those cases run in a child process: this executable
// started again with "--child <mode> ..." and a prepared HOME.
#include "base/DataFolders.h"
#include "base/HeapPages.h"
#include "base/LogHandler.h"
#include "base/ShellServices.h"
#include "support/FileBytes.h"
#include "support/TestHome.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

const QString productId = QStringLiteral("7C1E0A93B5D24f6a8E07C3D91B2A5F60");
constexpr int loggingThreads = 4;
constexpr int linesPerThread = 250;

int runChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(2);
    const QString mode = args.value(0);

    if (mode == QLatin1String("data-root")) {
        const QString first = dataRootDir().absolutePath();
        // Resolved once: a later change of HOME must not move the data root.
        qputenv("HOME", QByteArray("/nonexistent-home"));
        const QString second = dataRootDir().absolutePath();
        std::printf(
            "%s\n%s\n%s\n", qPrintable(first), qPrintable(second), qPrintable(localDatabasesDir().absolutePath()));
        return 0;
    }
    if (mode == QLatin1String("log")) {
        installLogHandler(args.value(1), args.value(2).toInt());
        qDebug("debug line");
        qWarning("abc");
        qCritical("critical line");
        qInfo("info line");
        std::vector<QThread*> threads;
        for (int t = 0; t < loggingThreads; ++t) {
            threads.push_back(QThread::create([t] {
                for (int i = 0; i < linesPerThread; ++i)
                    qWarning("thread %d line %d %s", t, i, QByteArray(200, 'x').constData());
            }));
            threads.back()->start();
        }
        for (QThread* thread : threads) {
            thread->wait();
            delete thread;
        }
        return 0;
    }
    if (mode == QLatin1String("log-retry")) {
        // The log folder's parent is a plain file at the first message, and gone at the second.
        const QString logFolder = args.value(1);
        installLogHandler(logFolder, 10);
        qWarning("lost line");
        QFile::remove(QFileInfo(logFolder).path());
        qWarning("later line");
        return 0;
    }
    if (mode == QLatin1String("fatal")) {
        installLogHandler(args.value(1), 10);
        qFatal("fatal line");
    }
    return 3;
}

struct ChildResult
{
    QProcess::ExitStatus status;
    int exitCode;
    QByteArray out;
};

ChildResult runSelf(const QStringList& args, const QString& home)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList { QStringLiteral("--child") } + args);
    if (!child.waitForFinished(60000))
        child.kill();
    return { child.exitStatus(), child.exitCode(), child.readAllStandardOutput() };
}

QString todaysLogName()
{
    return QStringLiteral("log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
}

} // namespace

class TestAppShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dataRoot_data();
    void dataRoot();
    void logLines();
    void logRetention_data();
    void logRetention();
    void logFileIsTriedAgain();
    void fatalLineIsWrittenBeforeAbort();
    void removeFolderTree_data();
    void removeFolderTree();
    void hugeHeapPagesRestart_data();
    void hugeHeapPagesRestart();
    void hugeHeapPagesRestartRuns();
};

void TestAppShell::initTestCase()
{
    useTemporaryHome();
}

void TestAppShell::dataRoot_data()
{
    // %H is replaced with the child's home folder, %D with an existing folder outside it.
    QTest::addColumn<bool>("roamingExists");
    QTest::addColumn<QByteArray>("redirect");
    QTest::addColumn<QString>("expectedBase");

    QTest::newRow("default") << false << QByteArray() << QStringLiteral("%H/.local/share/Quillbarrow");
    QTest::newRow("roaming folder") << true << QByteArray() << QStringLiteral("%H/AppData/Roaming/Quillbarrow");
    QTest::newRow("redirect to existing folder") << false << QByteArray("%D") << QStringLiteral("%D");
    QTest::newRow("redirect in roaming folder") << true << QByteArray("%D") << QStringLiteral("%D");
    QTest::newRow("redirect cut at zero byte") << false << QByteArray("%D\0garbage", 10) << QStringLiteral("%D");
    QTest::newRow("redirect to missing path")
        << false << QByteArray("%D/missing") << QStringLiteral("%H/.local/share/Quillbarrow");
    QTest::newRow("redirect ending in line break")
        << false << QByteArray("%D\n") << QStringLiteral("%H/.local/share/Quillbarrow");
    QTest::newRow("empty redirect") << false << QByteArray("") << QStringLiteral("%H/.local/share/Quillbarrow");
}

void TestAppShell::dataRoot()
{
    QFETCH(bool, roamingExists);
    QFETCH(QByteArray, redirect);
    QFETCH(QString, expectedBase);

    QTemporaryDir home;
    QTemporaryDir elsewhere;
    const QString redirectTarget = elsewhere.path() + QStringLiteral("/target");
    QVERIFY(QDir().mkpath(redirectTarget));

    const QString roaming = roamingExists ? home.path() + QStringLiteral("/AppData/Roaming")
                                          : home.path() + QStringLiteral("/.local/share");
    if (roamingExists)
        QVERIFY(QDir().mkpath(roaming));
    if (!redirect.isNull()) {
        QVERIFY(QDir().mkpath(roaming + QStringLiteral("/Quillbarrow")));
        redirect.replace("%D", QFile::encodeName(redirectTarget));
        QVERIFY(
            writeFile(roaming + QStringLiteral("/Quillbarrow/") + productId + QStringLiteral(".redirect"), redirect));
    }

    const ChildResult child = runSelf({ QStringLiteral("data-root") }, home.path());
    QCOMPARE(child.status, QProcess::NormalExit);
    QCOMPARE(child.exitCode, 0);
    const QStringList lines = QString::fromLocal8Bit(child.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);

    expectedBase.replace(QStringLiteral("%H"), home.path()).replace(QStringLiteral("%D"), redirectTarget);
    const QString expectedRoot = expectedBase + QLatin1Char('/') + productId;
    QCOMPARE(lines.at(0), expectedRoot);
    QCOMPARE(lines.at(1), expectedRoot);
    QCOMPARE(lines.at(2), expectedRoot + QStringLiteral("/local_databases"));
    QVERIFY(QFileInfo(expectedRoot + QStringLiteral("/local_databases")).isDir());
}

void TestAppShell::logLines()
{
    QTemporaryDir home;
    const QString logFolder = home.path() + QStringLiteral("/data/qlogs");

    const ChildResult child = runSelf({ QStringLiteral("log"), logFolder, QStringLiteral("10") }, home.path());
    QCOMPARE(child.status, QProcess::NormalExit);
    QCOMPARE(child.exitCode, 0);
    // Only debug messages are echoed to standard output, raw.
    QCOMPARE(child.out, QByteArray("debug line\n"));

    QFile log(logFolder + QLatin1Char('/') + todaysLogName());
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QByteArray content = log.readAll();
    QVERIFY(content.endsWith('\n'));
    const QStringList lines = QString::fromUtf8(content).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4 + loggingThreads * linesPerThread + 1);

    const QString time = QStringLiteral("\\d\\d:\\d\\d:\\d\\d");
    QVERIFY2(QRegularExpression(QStringLiteral("^\\(D %1\\) debug line$").arg(time)).match(lines.at(0)).hasMatch(),
        qPrintable(lines.at(0)));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\(W %1\\) abc$").arg(time)).match(lines.at(1)).hasMatch(),
        qPrintable(lines.at(1)));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\(C %1\\) critical line$").arg(time)).match(lines.at(2)).hasMatch(),
        qPrintable(lines.at(2)));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\(%1\\) info line$").arg(time)).match(lines.at(3)).hasMatch(),
        qPrintable(lines.at(3)));

    // Lines from several threads at once stay whole, and none is lost.
    const QRegularExpression threadLine(QStringLiteral("^\\(W %1\\) thread (\\d) line (\\d+) x{200}$").arg(time));
    QSet<QString> seen;
    for (qsizetype i = 4; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = threadLine.match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        seen.insert(match.captured(1) + QLatin1Char('/') + match.captured(2));
    }
    QCOMPARE(seen.size(), loggingThreads * linesPerThread);
}

void TestAppShell::logRetention_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("removed");

    QStringList twelve;
    for (int day = 1; day <= 12; ++day)
        twelve << QStringLiteral("log-202001%1.txt").arg(day, 2, 10, QLatin1Char('0'));
    QTest::newRow("12 files") << twelve << QStringList { twelve.at(0), twelve.at(1) };
    QTest::newRow("10 files") << twelve.mid(2) << QStringList();
    QTest::newRow("none") << QStringList() << QStringList();
    // Every plain file counts, whatever its name; sub-folders do not.
    QTest::newRow("other names count") << (twelve.mid(0, 10) << QStringLiteral("notes.txt"))
                                       << QStringList { twelve.at(0) };
}

void TestAppShell::logRetention()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, removed);

    QTemporaryDir home;
    const QString logFolder = home.path() + QStringLiteral("/qlogs");
    QVERIFY(QDir().mkpath(logFolder + QStringLiteral("/a-folder")));
    for (const QString& name : existing)
        QVERIFY(writeFile(logFolder + QLatin1Char('/') + name, "old\n"));

    const ChildResult child = runSelf({ QStringLiteral("log"), logFolder, QStringLiteral("10") }, home.path());
    QCOMPARE(child.exitCode, 0);

    for (const QString& name : existing)
        QCOMPARE(QFile::exists(logFolder + QLatin1Char('/') + name), !removed.contains(name));
    QVERIFY(QFile::exists(logFolder + QLatin1Char('/') + todaysLogName()));
    QVERIFY(QFileInfo(logFolder + QStringLiteral("/a-folder")).isDir());
}

void TestAppShell::logFileIsTriedAgain()
{
    QTemporaryDir home;
    const QString blocker = home.path() + QStringLiteral("/data");
    QVERIFY(writeFile(blocker, "not a folder\n"));
    const QString logFolder = blocker + QStringLiteral("/qlogs");

    const ChildResult child = runSelf({ QStringLiteral("log-retry"), logFolder }, home.path());
    QCOMPARE(child.exitCode, 0);
    QFile log(logFolder + QLatin1Char('/') + todaysLogName());
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QString content = QString::fromUtf8(log.readAll());
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\(W \\d\\d:\\d\\d:\\d\\d\\) later line\\n$")).match(content).hasMatch(),
        qPrintable(content));
}

void TestAppShell::fatalLineIsWrittenBeforeAbort()
{
    QTemporaryDir home;
    const QString logFolder = home.path() + QStringLiteral("/qlogs");
    const ChildResult child = runSelf({ QStringLiteral("fatal"), logFolder }, home.path());
    QCOMPARE(child.status, QProcess::CrashExit);

    QFile log(logFolder + QLatin1Char('/') + todaysLogName());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(log.readAll());
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\(F \\d\\d:\\d\\d:\\d\\d\\) fatal line\\n$")).match(content).hasMatch(),
        qPrintable(content));
}

void TestAppShell::removeFolderTree_data()
{
    QTest::addColumn<bool>("withHiddenFile");
    QTest::addColumn<bool>("withLinkOutside");
    QTest::addColumn<bool>("removeHidden");

    QTest::newRow("nested folders") << false << false << false;
    QTest::newRow("hidden file stays") << true << false << false;
    QTest::newRow("link to outside folder") << false << true << false;
    // A database folder goes whole: a file browser's .directory file must not keep it.
    QTest::newRow("hidden entries removed when asked") << true << false << true;
    QTest::newRow("hidden entries and a link, removed when asked") << true << true << true;
}

void TestAppShell::removeFolderTree()
{
    QFETCH(bool, withHiddenFile);
    QFETCH(bool, withLinkOutside);
    QFETCH(bool, removeHidden);

    QTemporaryDir scratch;
    const QString tree = scratch.path() + QStringLiteral("/tree");
    const QString outside = scratch.path() + QStringLiteral("/outside");
    QVERIFY(QDir().mkpath(tree + QStringLiteral("/a/b/c")));
    QVERIFY(QDir().mkpath(tree + QStringLiteral("/empty")));
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(writeFile(tree + QStringLiteral("/top.db"), "1"));
    QVERIFY(writeFile(tree + QStringLiteral("/a/one.txt"), "1"));
    QVERIFY(writeFile(tree + QStringLiteral("/a/b/c/deep.png"), "1"));
    QVERIFY(writeFile(outside + QStringLiteral("/keep.txt"), "1"));
    if (withHiddenFile) {
        QVERIFY(writeFile(tree + QStringLiteral("/a/.hidden"), "1"));
        QVERIFY(QDir().mkpath(tree + QStringLiteral("/.thumbnails/x")));
        QVERIFY(writeFile(tree + QStringLiteral("/.thumbnails/x/t.png"), "1"));
        QVERIFY(writeFile(tree + QStringLiteral("/.directory"), "[Desktop Entry]\nIcon=folder-red\n"));
        // A link whose target is gone is listed neither as a file nor as a folder.
        QVERIFY(QFile::link(scratch.path() + QStringLiteral("/gone"), tree + QStringLiteral("/a/broken")));
    }
    if (withLinkOutside)
        QVERIFY(QFile::link(outside, tree + QStringLiteral("/a/b/link")));

    const bool gone = ::removeFolderTree(tree, removeHidden);

    if (withHiddenFile && !removeHidden) {
        // The hidden file keeps its folder and the folders above it; everything else is gone.
        QVERIFY(!gone);
        QVERIFY(QFile::exists(tree + QStringLiteral("/a/.hidden")));
        QVERIFY(!QFile::exists(tree + QStringLiteral("/top.db")));
        QVERIFY(!QFile::exists(tree + QStringLiteral("/a/b")));
        QVERIFY(!QFile::exists(tree + QStringLiteral("/empty")));
    } else {
        QVERIFY(gone);
        QVERIFY(!QFile::exists(tree));
    }
    QVERIFY(QFile::exists(outside + QStringLiteral("/keep.txt")));

    // A missing folder is no error, and nothing is left of it.
    QVERIFY(::removeFolderTree(scratch.path() + QStringLiteral("/missing")));
}

void TestAppShell::hugeHeapPagesRestart_data()
{
    QTest::addColumn<QByteArray>("current"); // null: GLIBC_TUNABLES unset
    QTest::addColumn<QByteArray>("kernel"); // first line of the kernel's transparent huge page mode
    QTest::addColumn<QByteArray>("restartWith"); // null: no restart

    const QByteArray onRequest("always [madvise] never\n");
    QTest::newRow("unset, pages on request") << QByteArray() << onRequest << QByteArray("glibc.malloc.hugetlb=1");
    QTest::newRow("empty, pages on request") << QByteArray("") << onRequest << QByteArray("glibc.malloc.hugetlb=1");
    QTest::newRow("other tunables kept") << QByteArray("glibc.malloc.arena_max=2") << onRequest
                                         << QByteArray("glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1");
    // Chosen already, in any way, or restarted once: never again.
    QTest::newRow("turned off by the person") << QByteArray("glibc.malloc.hugetlb=0") << onRequest << QByteArray();
    QTest::newRow("after the restart") << QByteArray("glibc.malloc.hugetlb=1") << onRequest << QByteArray();
    QTest::newRow("huge pages always") << QByteArray() << QByteArray("[always] madvise never\n") << QByteArray();
    QTest::newRow("huge pages never") << QByteArray() << QByteArray("always madvise [never]\n") << QByteArray();
}

void TestAppShell::hugeHeapPagesRestart()
{
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, kernel);
    QFETCH(QByteArray, restartWith);
    const std::optional<std::string> tunables
        = hugeHeapPagesTunables(current.isNull() ? nullptr : current.constData(), kernel.toStdString());
    QCOMPARE(tunables ? QByteArray::fromStdString(*tunables) : QByteArray(), restartWith);
}

// The program really starts again with the setting where this kernel takes it, and only once.
void TestAppShell::hugeHeapPagesRestartRuns()
{
    QFile kernel(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    const QByteArray mode = kernel.open(QIODevice::ReadOnly) ? kernel.readLine() : QByteArray();
    const std::optional<std::string> expected = hugeHeapPagesTunables(nullptr, mode.toStdString());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("GLIBC_TUNABLES"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--heap-child") });
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray::fromStdString(expected.value_or(std::string())));
}

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);
    if (argc >= 2 && qstrcmp(argv[1], "--heap-child") == 0) {
        restartWithHugeHeapPages(argv);
        std::printf("%s\n", qgetenv("GLIBC_TUNABLES").constData());
        return 0;
    }

    QCoreApplication app(argc, argv);
    TestAppShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestAppShell.moc"
