// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QList>
#include <QString>

#include <optional>

// What every scenario of the benchmark knows: the number of messages to generate, the seed and
// country code they are made with, and the work folder that holds the stores.
struct BenchContext
{
    int messageCount = 100000;
    quint32 seed = 20140305;
    QString mcc = QStringLiteral("234");
    QDir workDir;

    // The database folder that write fills and the later scenarios use.
    QDir storeDir() const { return QDir(workDir.filePath(QStringLiteral("store"))); }
    // The database folder of the write scenario's floor.
    QDir floorDir() const { return QDir(workDir.filePath(QStringLiteral("floor"))); }
};

struct ScenarioResult
{
    qint64 messages = 0; // messages the scenario handled
    double seconds = 0;
    std::optional<double> floorRate; // messages per second of the scenario's floor
    // The peak resident set in MiB up to the end of what the line times, for a scenario that runs
    // its floor afterwards on data of its own; without it the process's peak is reported.
    std::optional<double> peakMiB;
};

// What a scenario needs before it runs and what it leaves in the store.
enum class StoreNeed { None, Filled };
enum class StoreEffect { Keeps, Fills, Empties };

struct BenchScenario
{
    const char* name;
    StoreNeed need;
    StoreEffect effect;
    ScenarioResult (*run)(const BenchContext& context);
    // Runs in a widget application on the offscreen platform.
    bool needsWidgets = false;
};

// Every scenario in the order they run; new scenarios are new rows.
const QList<BenchScenario>& benchScenarios();
const BenchScenario* findBenchScenario(const QString& name);

// The line scripts read: "scenario=NAME messages=N seconds=S rate=R peak_rss_mib=M
// [floor_rate=F ratio=X]".
QString formatResultLine(const QString& name, const ScenarioResult& result, double peakMiB);
