// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

#include <QStringList>

class QProcess;

// Loads N generated messages from the phone simulator over the WiFi path on 127.0.0.1 into a
// device cache with the loading thread; the rate counts the records received. The floor is the
// write scenario's: the same messages written by a bare loop of prepared sqlite3 statements.
ScenarioResult runLoadScenario(const BenchContext& context);

// The write floor's rate for the N generated messages of the context.
double writeFloorRate(const BenchContext& context);

// The simulator's two ports once it is ready.
struct SimulatorPorts
{
    quint16 adb = 0;
    quint16 service = 0;
};
// Starts the phone simulator with N generated messages and further arguments, on free ports.
SimulatorPorts startSimulator(QProcess& simulator, const BenchContext& context, const QStringList& arguments = {});
void stopSimulator(QProcess& simulator);
