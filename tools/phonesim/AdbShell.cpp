// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbShell.h"

#include "tools/phonesim/AdbDeviceState.h"
#include "tools/phonesim/ChannelBroker.h"
#include "tools/phonesim/FaultHold.h"
#include "tools/phonesim/SimLog.h"

#include <QFile>
#include <QMap>

#include <algorithm>

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
    const QMap<QString, QString> properties {
        { QStringLiteral("ro.serialno"), state.serial },
        { QStringLiteral("ro.product.name"), state.product },
        { QStringLiteral("ro.product.model"), state.model },
        { QStringLiteral("ro.product.device"), state.device },
        { QStringLiteral("ro.build.version.sdk"), state.sdkLevel },
    };
    if (args.isEmpty()) {
        QStringList out;
        for (auto it = properties.cbegin(); it != properties.cend(); ++it)
            out << QStringLiteral("[%1]: [%2]").arg(it.key(), it.value());
        return lines(out);
    }
    return lines({ properties.value(args.first()) });
}

} // namespace

QString companionPackageName()
{
    return QStringLiteral("com.quillbarrow.smsagent");
}

QStringList splitShellWords(const QString& commandLine)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (int i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine.at(i);
        if (quote == QLatin1Char('\'')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('\\') && i + 1 < commandLine.size()) {
            word += commandLine.at(++i);
            inWord = true;
        } else if (quote == QLatin1Char('"')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QByteArray runShellCommand(AdbDeviceState& state, ChannelBroker& broker, const QString& commandLine)
{
    QStringList words = splitShellWords(commandLine);
    // adb appends redirections such as "</dev/null" to some commands; there is nothing to redirect.
    words.erase(
        std::remove_if(words.begin(), words.end(),
            [](const QString& word) { return word.startsWith(QLatin1Char('<')) || word.startsWith(QLatin1Char('>')); }),
        words.end());
    const QString program = words.value(0);
    const QStringList args = words.mid(1);
    if (program == QLatin1String("pm"))
        return packageManager(state, args);
    if (program == QLatin1String("am"))
        return activityManager(state, broker, args);
    if (program == QLatin1String("rm")) {
        for (const QString& path : args) {
            if (!path.startsWith(QLatin1Char('-')))
                state.files.remove(path);
        }
        return QByteArray();
    }
    if (program == QLatin1String("getprop"))
        return getProperty(state, args);
    if (program == QLatin1String("echo"))
        return lines({ args.join(QLatin1Char(' ')) });
    if (program.isEmpty())
        return QByteArray();
    return lines({ QStringLiteral("/system/bin/sh: %1: not found").arg(program) });
}
