// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FontWarningFilter.h"
#include "base/HeapPages.h"
#include "bench/BenchScenarios.h"
#include "bench/PeakMemory.h"
#include "bench/RunSummary.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

// Each scenario runs in a child process of this program, started with this switch, so that the
// peak resident set it reports is its own.
static const QLatin1String childSwitch("--run-scenario");

namespace {

constexpr int defaultMessageCount = 100000;

void printLine(FILE* stream, const QString& text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int usage()
{
    QStringList names;
    for (const BenchScenario& scenario : benchScenarios())
        names.append(QLatin1String(scenario.name));
    printLine(stderr,
        QStringLiteral("usage: qsms-bench [--messages N] [--repeat R] [--scenario NAME]...\n"
                       "  N defaults to %1; scenarios: %2 (all when none is named).\n"
                       "  Prints one line per scenario: scenario=NAME messages=N seconds=S rate=R "
                       "peak_rss_mib=M [floor_rate=F ratio=X]\n"
                       "  With R > 1 each scenario runs R times, each in a process of its own, and its line gives\n"
                       "  the median of each figure followed by spread=MIN-MAX of the rates.")
            .arg(defaultMessageCount)
            .arg(names.join(QLatin1String(", "))));
    return 2;
}

// In the child: runs one scenario on the work folder and prints its line unless quiet.
int runChild(const QString& name, const BenchContext& context, bool quiet)
{
    const BenchScenario* scenario = findBenchScenario(name);
    if (!scenario) {
        printLine(stderr, QStringLiteral("qsms-bench: unknown scenario %1").arg(name));
        return 2;
    }
    try {
        const ScenarioResult result = scenario->run(context);
        if (!quiet)
            printLine(stdout, formatResultLine(name, result, result.peakMiB.value_or(peakResidentMiB())));
        return 0;
    } catch (const std::exception& e) {
        printLine(stderr, QStringLiteral("qsms-bench: %1 failed: %2").arg(name, QString::fromUtf8(e.what())));
        return 1;
    }
}

// Runs one scenario in a child process, which passes its standard error on, and returns what it
// printed on its standard output; nothing when it could not run or failed.
std::optional<QString> runInChild(const QString& name, const BenchContext& context, bool quiet)
{
    QStringList arguments { childSwitch, name, QStringLiteral("--messages"), QString::number(context.messageCount),
        QStringLiteral("--work"), context.workDir.path() };
    if (quiet)
        arguments.append(QStringLiteral("--quiet"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(-1) || !child.waitForFinished(-1)) {
        printLine(stderr, QStringLiteral("qsms-bench: can not run scenario %1: %2").arg(name, child.errorString()));
        return std::nullopt;
    }
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return std::nullopt;
    return output;
}

// The result line among what a run printed; anything else it printed is passed on.
std::optional<QString> takeResultLine(const QString& output, QList<ResultFigures>& runs)
{
    std::optional<QString> resultLine;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (const std::optional<ResultFigures> figures = parseResultLine(line)) {
            runs.append(*figures);
            resultLine = line;
        } else {
            printLine(stdout, line);
        }
    }
    return resultLine;
}

// A child running a scenario that shows widgets gets a widget application on the offscreen
// platform (unless a platform is chosen); every other run needs only the core application.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (QLatin1String(argv[i]) != childSwitch)
            continue;
        const BenchScenario* scenario = findBenchScenario(QString::fromLocal8Bit(argv[i + 1]));
        if (scenario && scenario->needsWidgets) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    restartWithHugeHeapPages(argv);
    installFontWarningFilter();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    BenchContext context;
    context.messageCount = defaultMessageCount;
    QStringList selected;
    QString childScenario;
    bool quiet = false;
    int repeat = 1;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--messages") && hasValue) {
            bool ok = false;
            context.messageCount = arguments.at(++i).toInt(&ok);
            if (!ok || context.messageCount <= 0)
                return usage();
        } else if (argument == QLatin1String("--repeat") && hasValue) {
            bool ok = false;
            repeat = arguments.at(++i).toInt(&ok);
            if (!ok || repeat <= 0)
                return usage();
        } else if (argument == QLatin1String("--scenario") && hasValue) {
            selected.append(arguments.at(++i));
        } else if (argument == childSwitch && hasValue) {
            childScenario = arguments.at(++i);
        } else if (argument == QLatin1String("--work") && hasValue) {
            context.workDir = QDir(arguments.at(++i));
        } else if (argument == QLatin1String("--quiet")) {
            quiet = true;
        } else {
            return usage();
        }
    }

    if (!childScenario.isEmpty())
        return runChild(childScenario, context, quiet);

    for (const QString& name : std::as_const(selected)) {
        if (!findBenchScenario(name))
            return usage();
    }

    QTemporaryDir work;
    if (!work.isValid()) {
        printLine(stderr, QStringLiteral("qsms-bench: can not make a temporary folder: %1").arg(work.errorString()));
        return 1;
    }
    context.workDir = QDir(work.path());
    // The country library is copied into the data folder on first use; the children inherit a home
    // inside the work folder, so the benchmark never touches the user's own data.
    const QByteArray home = QDir(work.path()).filePath(QStringLiteral("home")).toUtf8();
    QDir().mkpath(QString::fromUtf8(home));
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/.local/share");

    bool storeFilled = false;
    bool allPassed = true;
    for (const BenchScenario& scenario : benchScenarios()) {
        const QString name = QLatin1String(scenario.name);
        if (!selected.isEmpty() && !selected.contains(name))
            continue;
        QList<ResultFigures> runs;
        std::optional<QString> resultLine;
        for (int run = 0; run < repeat; ++run) {
            if (scenario.need == StoreNeed::Filled && !storeFilled) {
                if (!runInChild(QStringLiteral("write"), context, true))
                    break;
                storeFilled = true;
            }
            const std::optional<QString> output = runInChild(name, context, false);
            if (!output) {
                // A run that failed part of the way may have left the store half written or half emptied.
                if (scenario.effect != StoreEffect::Keeps)
                    storeFilled = false;
                break;
            }
            if (scenario.effect == StoreEffect::Fills)
                storeFilled = true;
            else if (scenario.effect == StoreEffect::Empties)
                storeFilled = false;
            resultLine = takeResultLine(*output, runs);
            if (!resultLine) {
                printLine(stderr, QStringLiteral("qsms-bench: scenario %1 printed no result").arg(name));
                break;
            }
        }
        if (runs.size() < repeat) {
            allPassed = false;
            continue;
        }
        printLine(stdout, repeat == 1 ? *resultLine : summaryLine(runs));
    }
    return allPassed ? 0 : 1;
}
