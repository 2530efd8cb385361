// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/DirectPhone.h"

#include "android/AdbCommands.h"
#include "android/AndroidDevice.h"
#include "android/AndroidLog.h"
#include "android/CompanionApp.h"
#include "android/ContentQuery.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>

namespace directphone {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("DirectPhone", text);
}

// "[key]: [value]" lines of a bare `getprop`.
QHash<QString, QString> parseProperties(const QByteArray& output)
{
    QHash<QString, QString> properties;
    for (const QByteArray& line : output.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype middle = trimmed.indexOf("]: [");
        if (!trimmed.startsWith('[') || !trimmed.endsWith(']') || middle < 0)
            continue;
        properties.insert(QString::fromUtf8(trimmed.mid(1, middle - 1)),
            QString::fromUtf8(trimmed.mid(middle + 4, trimmed.size() - middle - 5)));
    }
    return properties;
}

// The mobile country code: the first three digits of an operator code such as "23401".
QString countryOf(const QString& operatorCode)
{
    const QString code = operatorCode.trimmed();
    if (code.size() < 5)
        return QString();
    for (qsizetype i = 0; i < 3; ++i) {
        if (!code.at(i).isDigit())
            return QString();
    }
    return code.left(3) == QLatin1String("000") ? QString() : code.left(3);
}

const QString simCountryProperty = QStringLiteral("gsm.sim.operator.iso-country");

} // namespace

QString simCountryOf(const QString& isoCountries)
{
    for (const QString& part : isoCountries.split(QLatin1Char(','))) {
        const QString code = part.trimmed();
        if (code.size() == 2 && code.at(0).isLetter() && code.at(1).isLetter() && code.at(0).unicode() < 128
            && code.at(1).unicode() < 128)
            return code.toLower();
    }
    return QString();
}

QString readSimCountry(const QString& serial)
{
    try {
        const AdbShellOutput output = runAdbShell(serial, QStringLiteral("getprop ") + simCountryProperty);
        if (output.exitCode != 0)
            return QString();
        return simCountryOf(QString::fromUtf8(output.out));
    } catch (const std::exception& error) {
        qCWarning(lcAndroid, "the SIM's country could not be read: %s", error.what());
        return QString();
    }
}

bool bundledPackageIsPlaceholder()
{
    QFile package(companionapp::packageResource());
    if (!package.open(QIODevice::ReadOnly))
        return true;
    return !package.readAll().contains("AndroidManifest.xml");
}

QString deviceErrorText(const QString& adbError)
{
    const QString error = adbError.trimmed();
    const QString said = error.section(QLatin1Char('\n'), 0, 0);
    if (error.contains(QLatin1String("unauthorized")))
        return tr("The phone has not allowed this computer yet (adb says \"%1\"). Unlock the phone, accept the "
                  "prompt to allow USB debugging from this computer (tick \"Always allow from this computer\"), "
                  "then unplug the phone and plug it in again.")
            .arg(said);
    if (error.contains(QLatin1String("no permissions")) || error.contains(QLatin1String("insufficient permissions")))
        return tr("This user may not open the phone over USB (adb says \"%1\"). On Linux install the "
                  "android-sdk-platform-tools-common package (its udev rule lets the plugdev group reach Android "
                  "devices), add yourself to the plugdev group, log in again and plug the phone in again.")
            .arg(said);
    // A phone pulled out while adb waits for its answer ends the command with a protocol fault.
    if (error.startsWith(QLatin1String("error:"))
        && (error.contains(QLatin1String("not found")) || error.contains(QLatin1String("offline"))
            || error.contains(QLatin1String("closed")) || error.contains(QLatin1String("no devices"))
            || error.contains(QLatin1String("protocol fault"))))
        return tr("The phone is no longer connected (adb says \"%1\"). Plug it in again, keep it unlocked and "
                  "try again.")
            .arg(said);
    return QString();
}

QString providerErrorText(const QString& exception)
{
    const QString said = exception.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (said.contains(QLatin1String("SecurityException")))
        return tr("The phone does not let its messages be read over USB: its maker restricts this access (\"%1\"). "
                  "Unlock the phone and try again; if it still refuses, install Quillbarrow SMS Agent on the phone "
                  "and connect it again.")
            .arg(said);
    if (said.contains(QLatin1String("locked"), Qt::CaseInsensitive)
        || said.contains(QLatin1String("IllegalStateException")) || said.contains(QLatin1String("SQLiteCantOpen")))
        return tr("The phone's messages can not be read while it is locked (\"%1\"). Unlock the phone, keep its "
                  "screen on and try again.")
            .arg(said);
    return tr("The phone's message store reported an error (\"%1\"). Unlock the phone and try again.").arg(said);
}

QString transferNeedsCompanionText()
{
    return tr("This phone was read directly over USB; writing messages to it needs the Quillbarrow SMS Agent "
              "app on the phone.");
}

QByteArray runShell(const QString& serial, const QString& command)
{
    const AdbShellOutput output = runAdbShell(serial, command);
    const QString provider = contentquery::providerError(output.err);
    if (!provider.isEmpty())
        throw DirectReadError(providerErrorText(provider).toStdString());
    if (output.exitCode != 0 || !output.err.isEmpty()) {
        const QString error = QString::fromUtf8(output.err).trimmed();
        const QString device = deviceErrorText(error);
        if (!device.isEmpty())
            throw DirectReadError(device.toStdString());
        throw DirectReadError(tr("The phone could not be read over USB: %1")
                                  .arg(error.isEmpty() ? tr("adb ended with status %1.").arg(output.exitCode) : error)
                                  .toStdString());
    }
    return output.out;
}

void describe(AndroidDevice& device)
{
    const QHash<QString, QString> properties = parseProperties(runShell(device.serial, QStringLiteral("getprop")));
    device.direct = true;
    device.uid = device.serial;
    device.model = properties.value(QStringLiteral("ro.product.model"));
    device.manufacturer = properties.value(QStringLiteral("ro.product.manufacturer"));
    device.sdk = properties.value(QStringLiteral("ro.build.version.release"));
    device.sdkId = properties.value(QStringLiteral("ro.build.version.sdk")).toInt();
    device.mmc = countryOf(properties.value(QStringLiteral("gsm.sim.operator.numeric")));
    if (device.mmc.isEmpty())
        device.mmc = countryOf(properties.value(QStringLiteral("gsm.operator.numeric")));
    device.simCountry = simCountryOf(properties.value(simCountryProperty));
}

} // namespace directphone
