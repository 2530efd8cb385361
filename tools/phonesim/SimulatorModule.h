// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QCommandLineParser;

// One part of the phone simulator (the emulated adb device, the companion app): it declares its
// command-line switches and starts listening once they are parsed.
class SimulatorModule
{
public:
    virtual ~SimulatorModule() = default;
    virtual void addOptions(QCommandLineParser& parser) = 0;
    // Reads the parsed switches and starts; false with a reason on failure.
    virtual bool start(const QCommandLineParser& parser, QString* error) = 0;
    // The TCP port it listens on (0 when it does not listen), printed in the ready line.
    virtual quint16 listeningPort() const = 0;
};
