// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

class AndroidDevice;

// A phone over USB without the companion app: read through Android's `content` tool as the shell
// user, which needs nothing installed on the phone, and described by its system properties.
namespace directphone {

// How a USB phone is reached.
enum class UsbRoad {
    // The companion when it is installed or can be installed; otherwise the phone is read directly.
    Automatic,
    // Always read directly.
    Direct,
    // Always the companion, installing the bundled package when it is missing.
    Companion,
};

// A failure of the direct road, with a text for the person that names the cause and what to do.
class DirectReadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// True when the companion package among the resources is the placeholder that stands in for the
// app in this build: a real Android package always holds AndroidManifest.xml.
bool bundledPackageIsPlaceholder();

// Runs a command line on the phone's shell and returns its standard output. Throws DirectReadError
// for what adb or the provider reported instead.
QByteArray runShell(const QString& serial, const QString& command);

// Fills model, maker and country code of a directly read phone from its system properties, and marks
// it as read directly; the serial must be set.
void describe(AndroidDevice& device);

// The country of the SIM from the value of gsm.sim.operator.iso-country: a two-letter code in lower
// case, the first SIM's that names one where a phone with two lists both ("de,fr"); empty otherwise.
QString simCountryOf(const QString& isoCountries);

// Asks the phone over USB for the country of its SIM. Empty when it names none or can not be asked:
// the country is only a hint, so nothing here fails the connection.
QString readSimCountry(const QString& serial);

// The texts for what adb says about a device it can not reach ("unauthorized", "no permissions", gone)
// and for a provider's refusal; empty when the text is none of these.
QString deviceErrorText(const QString& adbError);
QString providerErrorText(const QString& exception);

// Why a phone read directly can not take messages.
QString transferNeedsCompanionText();

} // namespace directphone
