// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "base/HeapPages.h"
#include "base/LogHandler.h"
#include "base/TaskReporting.h"
#include "cli/CliLog.h"
#include "cli/CommandLine.h"
#include "cli/CommandRunner.h"
#include "cli/Interrupt.h"
#include "cli/TerminalText.h"
#include "cli/UsageError.h"
#include "store/Sqlite3DB.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
// What a shell reports for a program ended by SIGINT.
constexpr int exitInterrupted = 130;

void printError(const QString& text)
{
    std::fputs(
        QStringLiteral("quillbarrow-sms: %1\n").arg(terminalText(text, LineBreaks::Keep)).toLocal8Bit().constData(),
        stderr);
}

// PDF pages are painted with fonts, which only a GUI application object provides; it needs no
// display with the offscreen platform. Every other command makes do with a core application.
std::unique_ptr<QCoreApplication> makeApplication(const CommandLine& line, int& argc, char** argv)
{
    if (line.command == QLatin1String("export")
        && line.value(QStringLiteral("format")).compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    restartWithHugeHeapPages(argv);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    CommandLine line;
    try {
        line = CommandLine::parse(arguments);
    } catch (const UsageError& error) {
        printError(QString::fromUtf8(error.what()));
        return exitUsage;
    }
    if (line.command == QLatin1String("help")) {
        std::fputs(CommandLine::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line.command == QLatin1String("version")) {
        std::fputs("quillbarrow-sms " QSMS_VERSION "\n", stdout);
        return 0;
    }

    const std::unique_ptr<QCoreApplication> app = makeApplication(line, argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillbarrow-sms"));
    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    if (sqlite_qt_version() != 5) {
        printError(QStringLiteral("invalid libsqlite_qt."));
        return exitFailure;
    }
    installLogHandler(dataRootDir().absoluteFilePath(QStringLiteral("qlogs")), 10, false);
    qCInfo(lcCli, "command line: %s", qUtf8Printable(arguments.join(QLatin1Char(' '))));
    // Listing commands only read: Ctrl-C may end them at once, as it ends any program.
    if (line.command != QLatin1String("list") && line.command != QLatin1String("devices"))
        installInterruptHandler();

    CommandRunner runner(line);
    try {
        return runner.run();
    } catch (const UsageError& error) {
        printError(QString::fromUtf8(error.what()));
        return exitUsage;
    } catch (const TaskCancelled&) {
        printError(QStringLiteral("interrupted; the step that ran was undone."));
        // The step has undone its work and closed its stores. What is left is memory: the records of a
        // large store take seconds to free one by one, and the process's end takes them back at once.
        std::fflush(stdout);
        std::_Exit(exitInterrupted);
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        qCWarning(lcCli, "%s", qUtf8Printable(text));
        printError(text);
        return exitFailure;
    }
}
