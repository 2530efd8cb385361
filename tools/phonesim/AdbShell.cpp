// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbShell.h"

#include "tools/phonesim/AdbDeviceState.h"
#include "tools/phonesim/ChannelBroker.h"
#include "tools/phonesim/ContentCommand.h"
#include "tools/phonesim/FaultHold.h"
#include "tools/phonesim/SimLog.h"

#include <QFile>
#include <QMap>

#include <algorithm>
#include <utility>

namespace {

QByteArray lines(const QStringList& texts)
{
    QByteArray out;
    for (const QString& text : texts)
        out += text.toUtf8() + '\n';
    return out;
}

// The package archive the desktop carries for the companion; any other file is not the companion.
const QByteArray& companionArchive()
{
    static const QByteArray archive = [] {
        QFile file(QStringLiteral(":/res/com.quillbarrow.smsagent.apk"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return archive;
}

// What `pm install` prints about a pushed file: "Success", or the failure a real package manager gives.
QString installResult(const QString& path, const QByteArray& content)
{
    if (!content.startsWith("PK\x03\x04"))
        return QStringLiteral("Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse %1]").arg(path);
    if (companionArchive().isEmpty() || content != companionArchive())
        return QStringLiteral("Failure [INSTALL_PARSE_FAILED_NO_CERTIFICATES: Failed to collect certificates from %1]")
            .arg(path);
    return QStringLiteral("Success");
}

// Only the companion's own receiver opens channels; Android accepts both spellings of a component
// inside its package.
bool isCompanionReceiver(const QString& component)
{
    const QString package = companionPackageName();
    return component == package + QStringLiteral("/.AdbSyncBroadcastReceiver")
        || component == package + QLatin1Char('/') + package + QStringLiteral(".AdbSyncBroadcastReceiver");
}

QByteArray packageManager(AdbDeviceState& state, const QStringList& args)
{
    const QString verb = args.value(0);
    if (verb == QLatin1String("-l") || (verb == QLatin1String("list") && args.value(1) == QLatin1String("packages"))) {
        if (state.holdPackages && faulthold::mustHold(state.holdFile)) {
            logAdb(QStringLiteral("fault: holding the package list"));
            faulthold::waitForRelease(state.holdFile);
        }
        if (state.hidePackages)
            return QByteArray();
        // `pm list packages [options] [FILTER]`: the one argument that is not an option filters.
        QString filter;
        for (int i = 2; i < args.size(); ++i) {
            if (!args.at(i).startsWith(QLatin1Char('-')))
                filter = args.at(i);
        }
        QStringList names = state.packages.values();
        std::sort(names.begin(), names.end());
        QStringList out;
        for (const QString& name : std::as_const(names)) {
            if (name.contains(filter))
                out << QStringLiteral("package:") + name;
        }
        return lines(out);
    }
    if (verb == QLatin1String("install")) {
        const QString path = args.size() > 1 ? args.last() : QString();
        QStringList out { QStringLiteral("\tpkg: ") + path };
        if (!state.installFailure.isEmpty())
            out << QStringLiteral("Failure [%1]").arg(state.installFailure);
        else if (!state.files.contains(path))
            out << QStringLiteral("Failure [INSTALL_FAILED_INVALID_URI]");
        else
            out << installResult(path, state.files.value(path));
        if (out.last() == QLatin1String("Success"))
            state.packages.insert(companionPackageName());
        logAdb(QStringLiteral("install %1: %2").arg(path, out.last()));
        return lines(out);
    }
    if (verb == QLatin1String("uninstall")) {
        if (state.packages.remove(args.value(1)))
            return lines({ QStringLiteral("Success") });
        return lines({ QStringLiteral("Failure [DELETE_FAILED_INTERNAL_ERROR]") });
    }
    if (verb == QLatin1String("path")) {
        if (state.packages.contains(args.value(1)))
            return lines({ QStringLiteral("package:/data/app/%1-1/base.apk").arg(args.value(1)) });
        return QByteArray();
    }
    return lines({ QStringLiteral("Error: unknown command '%1'").arg(verb) });
}

QByteArray activityManager(AdbDeviceState& state, ChannelBroker& broker, const QStringList& args)
{
    const QString verb = args.value(0);
    QString action;
    QString data;
    QString type;
    QString component;
    QStringList categories;
    for (int i = 1; i < args.size(); ++i) {
        const QString& option = args.at(i);
        const QString value = args.value(i + 1);
        if (option == QLatin1String("-a"))
            action = value;
        else if (option == QLatin1String("-d"))
            data = value;
        else if (option == QLatin1String("-t"))
            type = value;
        else if (option == QLatin1String("-n"))
            component = value;
        else if (option == QLatin1String("-c"))
            categories << value;
        else
            continue;
        ++i;
    }

    QStringList parts;
    if (!action.isEmpty())
        parts << QStringLiteral("act=") + action;
    if (!categories.isEmpty())
        parts << QStringLiteral("cat=[%1]").arg(categories.join(QLatin1Char(',')));
    if (!data.isEmpty())
        parts << QStringLiteral("dat=") + data;
    if (!type.isEmpty())
        parts << QStringLiteral("typ=") + type;
    parts << QStringLiteral("flg=0x400000");
    if (!component.isEmpty())
        parts << QStringLiteral("cmp=") + component;
    const QString intent = QStringLiteral("Intent { %1 }").arg(parts.join(QLatin1Char(' ')));

    if (verb == QLatin1String("broadcast")) {
        QStringList out { QStringLiteral("Broadcasting: ") + intent };
        // As on a phone, a broadcast nobody receives still completes: the channel just never opens.
        QString error = state.broadcastError;
        if (!error.isEmpty()) {
            logAdb(QStringLiteral("fault: broadcast fails"));
        } else if (!isCompanionReceiver(component)) {
            simViolation(QStringLiteral("broadcast %1 to %2, not to the companion's receiver").arg(data, component));
        } else if (!state.packages.contains(companionPackageName())) {
            logAdb(QStringLiteral("broadcast %1: the companion is not installed, nobody receives it").arg(data));
        } else {
            error = broker.announceChannel(data);
        }
        if (error.isEmpty())
            out << QStringLiteral("Broadcast completed: result=0");
        else
            out << QStringLiteral("Error: ") + error;
        logAdb(QStringLiteral("broadcast %1: %2").arg(data, out.last()));
        return lines(out);
    }
    if (verb == QLatin1String("start"))
        return lines({ QStringLiteral("Starting: ") + intent });
    if (verb == QLatin1String("startservice"))
        return lines({ QStringLiteral("Starting service: ") + intent });
    return lines({ QStringLiteral("Error: unknown command '%1'").arg(verb) });
}

QByteArray getProperty(const AdbDeviceState& state, const QStringList& args)
{
    if (args.isEmpty()) {
        QStringList out;
        for (auto it = state.properties.cbegin(); it != state.properties.cend(); ++it)
            out << QStringLiteral("[%1]: [%2]").arg(it.key(), it.value());
        return lines(out);
    }
    // An unknown property prints an empty line, or the default given after its name.
    return lines({ state.properties.value(args.first(), args.value(1)) });
}

// Runs one simple command; its output is still to be redirected.
ShellResult runProgram(AdbDeviceState& state, ChannelBroker& broker, const QStringList& words)
{
    const QString program = words.value(0);
    const QStringList args = words.mid(1);
    if (program == QLatin1String("pm"))
        return { packageManager(state, args), {}, 0 };
    if (program == QLatin1String("am"))
        return { activityManager(state, broker, args), {}, 0 };
    if (program == QLatin1String("rm")) {
        for (const QString& path : args) {
            if (!path.startsWith(QLatin1Char('-')))
                state.files.remove(path);
        }
        return {};
    }
    if (program == QLatin1String("getprop"))
        return { getProperty(state, args), {}, 0 };
    if (program == QLatin1String("echo"))
        return { lines({ args.join(QLatin1Char(' ')) }), {}, 0 };
    if (program == QLatin1String("content"))
        return runContentCommand(state, args);
    return { {}, lines({ QStringLiteral("/system/bin/sh: %1: not found").arg(program) }), 127 };
}

// Sends one stream of a command where its redirection says: adb's stream (out), a file on the device,
// or nowhere for /dev/null.
void deliver(AdbDeviceState& state, const QString& file, bool append, const QByteArray& data, QByteArray& out)
{
    if (file.isEmpty())
        out += data;
    else if (file == QLatin1String("/dev/null"))
        return;
    else if (append)
        state.files[file] += data;
    else
        state.files[file] = data;
}

} // namespace

QString companionPackageName()
{
    return QStringLiteral("com.quillbarrow.smsagent");
}

ShellResult runShellCommand(AdbDeviceState& state, ChannelBroker& broker, const QString& commandLine)
{
    const ShellLine line = parseShellLine(commandLine);
    if (!line.error.isEmpty())
        return { {}, lines({ QStringLiteral("/system/bin/sh: ") + line.error }),
            line.error.startsWith(QLatin1String("syntax")) ? 1 : 2 };

    ShellResult total;
    QString joiner;
    for (const ShellCommand& command : line.commands) {
        const bool skip = (joiner == QLatin1String("&&") && total.exitCode != 0)
            || (joiner == QLatin1String("||") && total.exitCode == 0);
        joiner = command.joiner;
        if (skip)
            continue;
        ShellResult result;
        if (!command.inputFile.isEmpty() && command.inputFile != QLatin1String("/dev/null")
            && !state.files.contains(command.inputFile)) {
            result.err = lines(
                { QStringLiteral("/system/bin/sh: can't open %1: No such file or directory").arg(command.inputFile) });
            result.exitCode = 1;
        } else {
            result = runProgram(state, broker, command.words);
        }
        if (command.errorToOutput)
            result.out += std::exchange(result.err, {});
        else if (command.outputToError)
            result.err += std::exchange(result.out, {});
        // A pipe hands the output to the next command, and none of them reads its input.
        if (command.joiner != QLatin1String("|"))
            deliver(state, command.outputFile, command.appendOutput, result.out, total.out);
        deliver(state, command.errorFile, command.appendError, result.err, total.err);
        total.exitCode = command.joiner == QLatin1String("&") ? 0 : result.exitCode;
    }
    return total;
}
