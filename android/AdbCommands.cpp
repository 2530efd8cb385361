// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AdbCommands.h"

#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"

#include <QProcess>
#include <QRegularExpression>

#include <stdexcept>

namespace {

const int startTimeoutMs = 10000;

QString runFailedText()
{
    return QStringLiteral("run adb failed.");
}

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toUtf8().toStdString());
}

QStringList trimmedLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    return lines;
}

// Waits for a started adb to end. adb takes as long as the phone does; a cancelled task stops
// waiting for it, and stops it, at once. A process that did not end normally is killed.
void waitForAdb(QProcess& process)
{
    bool finished = false;
    while (!(finished = process.waitForFinished(simpleprotocol::cancelSliceMs))
        && process.state() != QProcess::NotRunning) {
        if (taskCancelled()) {
            process.kill();
            process.waitForFinished(1000);
            throw TaskCancelled();
        }
    }
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace

QString runAdb(const QStringList& arguments, bool throwOnError)
{
    QProcess process;
    process.start(QStringLiteral("adb"), arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(startTimeoutMs)) {
        if (throwOnError)
            fail(runFailedText());
        return runFailedText();
    }
    waitForAdb(process);
    const QString errorText = QString::fromLatin1(process.readAllStandardError());
    const QString outputText = QString::fromLatin1(process.readAllStandardOutput());

    if (!errorText.isEmpty()) {
        if (throwOnError)
            fail(errorText);
        return QStringLiteral("%1\n%2").arg(errorText, outputText);
    }
    return outputText;
}

AdbShellOutput runAdbShell(const QString& serial, const QString& command)
{
    QProcess process;
    process.start(QStringLiteral("adb"), { QStringLiteral("-s"), serial, QStringLiteral("shell"), command });
    if (!process.waitForStarted(startTimeoutMs))
        fail(runFailedText());
    process.closeWriteChannel();
    waitForAdb(process);
    AdbShellOutput output;
    output.out = process.readAllStandardOutput();
    output.err = process.readAllStandardError();
    output.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return output;
}

QString startServer()
{
    return runAdb({ QStringLiteral("start-server") }, false);
}

void killServer()
{
    runAdb({ QStringLiteral("kill-server") }, false);
}

QList<AdbDevice> listDevices()
{
    return parseDeviceList(runAdb({ QStringLiteral("devices") }, true));
}

QSet<QString> listPackages(const QString& serial)
{
    return parsePackageList(runAdb(
        { QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("pm"), QStringLiteral("-l") }, false));
}

void installPackage(const QString& serial, const QString& filePath)
{
    const QString output = runAdb({ QStringLiteral("-s"), serial, QStringLiteral("install"), filePath }, false);
    if (!installSucceeded(output))
        fail(output);
}

void forwardPort(const QString& serial, int localPort, int remotePort)
{
    runAdb({ QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("tcp:%1").arg(localPort),
               QStringLiteral("tcp:%1").arg(remotePort) },
        true);
}

void activityManager(const QString& serial, const QString& subcommand, const QString& component, const QString& action,
    const QString& data, const QStringList& categories, const QString& mimeType)
{
    const QString output
        = runAdb(activityManagerArguments(serial, subcommand, component, action, data, categories, mimeType), false);
    if (activityManagerFailed(output))
        fail(output);
}

QList<AdbDevice> parseDeviceList(const QString& output)
{
    // The serial runs up to the first white space: network serials (192.168.0.7:5555) hold dots
    // and colons and must stay whole, or the device could never be addressed with -s.
    static const QRegularExpression deviceLine(QStringLiteral("^(\\S+)\\s+([a-zA-Z0-9\\-_]+)"));

    QList<AdbDevice> devices;
    bool headerSeen = false;
    for (const QString& line : trimmedLines(output)) {
        if (!headerSeen) {
            headerSeen = line.compare(QLatin1String("List of devices attached"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const QRegularExpressionMatch match = deviceLine.match(line);
        if (!match.hasMatch())
            continue;
        devices.append(AdbDevice { line, match.captured(1), match.captured(2) });
    }
    return devices;
}

QSet<QString> parsePackageList(const QString& output)
{
    const QLatin1String prefix("package:");
    QSet<QString> packages;
    for (const QString& line : trimmedLines(output)) {
        if (line.startsWith(prefix))
            packages.insert(line.mid(prefix.size()).trimmed());
    }
    return packages;
}

bool installSucceeded(const QString& output)
{
    for (const QString& line : trimmedLines(output)) {
        if (line.compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool activityManagerFailed(const QString& output)
{
    for (const QString& line : trimmedLines(output)) {
        if (line.toLower().startsWith(QLatin1String("error:")))
            return true;
    }
    return false;
}

QStringList activityManagerArguments(const QString& serial, const QString& subcommand, const QString& component,
    const QString& action, const QString& data, const QStringList& categories, const QString& mimeType)
{
    QStringList arguments { QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"), subcommand };
    const auto addOption = [&arguments](const char* option, const QString& value) {
        if (!value.isEmpty())
            arguments << QString::fromLatin1(option) << value;
    };
    addOption("-n", component);
    addOption("-a", action);
    addOption("-d", data);
    for (const QString& category : categories)
        arguments << QStringLiteral("-c") << category;
    addOption("-t", mimeType);
    return arguments;
}
