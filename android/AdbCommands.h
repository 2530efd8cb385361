// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AdbDevice.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Runs the adb program (found by its bare name) once per call, as a short-lived child process,
// and turns its output into values. Nothing is kept between calls, so any thread may call them.
// Failures are std::runtime_error with UTF-8 text.

// Runs `adb` with the arguments and returns standard output. Text on standard error makes the call
// throw with that text when throwOnError is set; otherwise it is returned ahead of the standard
// output ("stderr\nstdout"). When adb cannot start: throws or returns "run adb failed.". Inside a
// cancelled task (TaskCancelScope) the wait ends at once with TaskCancelled and adb is stopped.
QString runAdb(const QStringList& arguments, bool throwOnError);

// What `adb -s SERIAL shell COMMAND` gave: the two streams as bytes, and the exit status.
struct AdbShellOutput
{
    QByteArray out;
    QByteArray err;
    int exitCode = -1;
};
// Runs one command line on the phone's shell (quoted for that shell by the caller). Throws
// "run adb failed." when adb can not start; cancels as runAdb does.
AdbShellOutput runAdbShell(const QString& serial, const QString& command);

// `adb start-server`; returns the output unparsed (the caller looks for the success phrase).
QString startServer();
// `adb kill-server`; the output is ignored.
void killServer();
// `adb devices`; throws on any standard-error text.
QList<AdbDevice> listDevices();
// `adb -s SERIAL shell pm -l`; an unreadable device yields an empty set.
QSet<QString> listPackages(const QString& serial);
// `adb -s SERIAL install PATH`; throws with the whole output unless a "Success" line came.
void installPackage(const QString& serial, const QString& filePath);
// `adb -s SERIAL forward tcp:LOCAL tcp:REMOTE`; throws on any standard-error text.
void forwardPort(const QString& serial, int localPort, int remotePort);
// `adb -s SERIAL shell am SUBCOMMAND ...`; throws with the whole output when a line begins "error:".
void activityManager(const QString& serial, const QString& subcommand, const QString& component, const QString& action,
    const QString& data, const QStringList& categories, const QString& mimeType);

// The parsers and the argument builder behind the operations above, pure functions on text.

// Device lines after the "List of devices attached" header: serial (kept whole, dots and colons
// included) and the state word after the white space.
QList<AdbDevice> parseDeviceList(const QString& output);
// The names of the "package:NAME" lines.
QSet<QString> parsePackageList(const QString& output);
// True when a line reads "Success" (in any letter case).
bool installSucceeded(const QString& output);
// True when a line begins with "error:" (in any letter case).
bool activityManagerFailed(const QString& output);
QStringList activityManagerArguments(const QString& serial, const QString& subcommand, const QString& component,
    const QString& action, const QString& data, const QStringList& categories, const QString& mimeType);
