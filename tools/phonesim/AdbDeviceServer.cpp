// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbDeviceServer.h"

#include "tools/phonesim/AdbHostConnection.h"
#include "tools/phonesim/DemoPhone.h"

#include <QCommandLineParser>
#include <QTcpSocket>

#include <cstdio>

namespace {

const QString portOption = QStringLiteral("adb-port");
const QString serialOption = QStringLiteral("adb-serial");
const QString productOption = QStringLiteral("adb-product");
const QString modelOption = QStringLiteral("adb-model");
const QString deviceOption = QStringLiteral("adb-device");
const QString packagesOption = QStringLiteral("packages");
const QString noPackagesOption = QStringLiteral("no-packages");
// Registered by the companion's options, which list "packages" among the steps they can hold.
const QString holdAtOption = QStringLiteral("hold-at");
const QString holdFileOption = QStringLiteral("hold-file");
const QString installFailOption = QStringLiteral("install-fail");
const QString broadcastErrorOption = QStringLiteral("broadcast-error");
const QString relayOption = QStringLiteral("adb-relay");
const QString ownNumberOption = QStringLiteral("own-number");
const QString contentDeniedOption = QStringLiteral("content-denied");
const QString simCountryOption = QStringLiteral("sim-country");
// Registered by the companion's options, which say who the phone is.
const QString demoOption = QStringLiteral("demo");
const QString phoneModelOption = QStringLiteral("model");
const QString manufacturerOption = QStringLiteral("manufacturer");
const QString mccOption = QStringLiteral("mmc");
const QString releaseOption = QStringLiteral("sdk");
const QString sdkOption = QStringLiteral("sdk-id");

// A phone that runs the companion app, as the simulator stands in for one.
const QString defaultPackages = QStringLiteral("android,com.android.phone,com.android.providers.telephony,"
                                               "com.android.settings,com.android.mms,com.quillbarrow.smsagent");

} // namespace

void logAdb(const QString& text)
{
    std::fprintf(stderr, "adb: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

AdbDeviceServer::AdbDeviceServer(ChannelBroker& broker, QObject* parent)
    : QObject(parent)
    , m_broker(broker)
{
    connect(&m_server, &QTcpServer::newConnection, this, &AdbDeviceServer::acceptHosts);
}

void AdbDeviceServer::addOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        { portOption, QStringLiteral("TCP port on 127.0.0.1 of the emulated adb device (0: any free port)."),
            QStringLiteral("port"), QStringLiteral("0") },
        { serialOption, QStringLiteral("Serial number the emulated device reports (getprop ro.serialno)."),
            QStringLiteral("text"), QStringLiteral("QSMSSIM0001") },
        { productOption, QStringLiteral("Product name in the adb connection banner."), QStringLiteral("text"),
            QStringLiteral("qsms_sim") },
        { modelOption, QStringLiteral("Model name in the adb connection banner."), QStringLiteral("text"),
            QStringLiteral("Simulated_Phone") },
        { deviceOption, QStringLiteral("Device name in the adb connection banner."), QStringLiteral("text"),
            QStringLiteral("qsmssim") },
        { packagesOption,
            QStringLiteral("Comma-separated packages installed at start; the default list holds the companion "
                           "com.quillbarrow.smsagent. Its broadcasts open channels only while it is installed."),
            QStringLiteral("list"), defaultPackages },
        { noPackagesOption, QStringLiteral("pm -l prints nothing, as an unreadable package manager would.") },
        { installFailOption, QStringLiteral("Every pm install prints \"Failure [TEXT]\"."), QStringLiteral("TEXT") },
        { broadcastErrorOption, QStringLiteral("Every am broadcast prints \"Error: TEXT\"."), QStringLiteral("TEXT") },
        { relayOption,
            QStringLiteral(
                "Relay forwarded streams for device port P to 127.0.0.1:Q instead of the companion (repeatable)."),
            QStringLiteral("P:Q") },
        { ownNumberOption,
            QStringLiteral("The phone's own number, which received multimedia messages list among their recipients "
                           "(content://mms/N/addr)."),
            QStringLiteral("number"), QStringLiteral("+12025550143") },
        { simCountryOption,
            QStringLiteral("What getprop gsm.sim.operator.iso-country prints: the SIM's country as a lower-case "
                           "two-letter code, two of them \"de,fr\" for a phone with two SIMs, empty for none "
                           "(the demo phone's is gb)."),
            QStringLiteral("code") },
        { contentDeniedOption,
            QStringLiteral("Comma-separated content provider authorities (sms, mms, com.android.contacts, or all) that "
                           "refuse the shell with a SecurityException, as on phones whose maker restricts them."),
            QStringLiteral("list") },
    });
}

bool AdbDeviceServer::start(const QCommandLineParser& parser, QString* error)
{
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        *error = QStringLiteral("invalid --adb-port: %1").arg(parser.value(portOption));
        return false;
    }

    const bool demo = parser.isSet(demoOption);
    const DemoPhone demoPhone;
    const auto text = [&parser, demo](const QString& name, const QString& demoValue) {
        return demo && !parser.isSet(name) ? demoValue : parser.value(name);
    };
    m_state.serial = text(serialOption, demoPhone.adbSerial);
    m_state.product = text(productOption, demoPhone.adbProduct);
    m_state.model = text(modelOption, demoPhone.adbModel);
    m_state.device = text(deviceOption, demoPhone.adbDevice);
    const QString mcc = text(mccOption, demoPhone.mmc);
    // The first three digits of the operator codes are the country code; the rest is the network's.
    const QString operatorCode = mcc.isEmpty() ? QString() : mcc + QStringLiteral("01");
    const QString manufacturer = text(manufacturerOption, demoPhone.manufacturer);
    m_state.properties = {
        { QStringLiteral("ro.serialno"), m_state.serial },
        { QStringLiteral("ro.product.name"), m_state.product },
        { QStringLiteral("ro.product.device"), m_state.device },
        { QStringLiteral("ro.product.model"), text(phoneModelOption, demoPhone.model) },
        { QStringLiteral("ro.product.manufacturer"), manufacturer },
        { QStringLiteral("ro.product.brand"), manufacturer.toLower() },
        { QStringLiteral("ro.build.version.release"), text(releaseOption, demoPhone.sdk) },
        { QStringLiteral("ro.build.version.sdk"),
            parser.isSet(sdkOption) ? parser.value(sdkOption)
                                    : (demo ? QString::number(demoPhone.sdkId) : QStringLiteral("29")) },
        { QStringLiteral("gsm.sim.operator.numeric"), operatorCode },
        { QStringLiteral("gsm.operator.numeric"), operatorCode },
        { QStringLiteral("gsm.sim.operator.iso-country"), text(simCountryOption, demoPhone.simCountry) },
    };
    m_state.ownNumber = text(ownNumberOption, demoPhone.ownNumber);
    m_state.deniedAuthorities = parser.value(contentDeniedOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& name : parser.value(packagesOption).split(QLatin1Char(','), Qt::SkipEmptyParts))
        m_state.packages.insert(name.trimmed());
    m_state.hidePackages = parser.isSet(noPackagesOption);
    m_state.holdPackages = parser.value(holdAtOption) == QLatin1String("packages");
    m_state.holdFile = parser.value(holdFileOption);
    m_state.installFailure = parser.value(installFailOption);
    m_state.broadcastError = parser.value(broadcastErrorOption);

    for (const QString& relay : parser.values(relayOption)) {
        bool devicePortOk = false;
        bool hostPortOk = false;
        const uint devicePort = relay.section(QLatin1Char(':'), 0, 0).toUInt(&devicePortOk);
        const uint hostPort = relay.section(QLatin1Char(':'), 1, 1).toUInt(&hostPortOk);
        if (!devicePortOk || !hostPortOk || devicePort == 0 || hostPort == 0 || devicePort > 65535
            || hostPort > 65535) {
            *error = QStringLiteral("invalid --adb-relay: %1").arg(relay);
            return false;
        }
        m_state.relays.insert(static_cast<quint16>(devicePort), static_cast<quint16>(hostPort));
    }

    if (!m_server.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        *error = QStringLiteral("adb device cannot listen on port %1: %2").arg(port).arg(m_server.errorString());
        return false;
    }
    logAdb(QStringLiteral("listening on 127.0.0.1:%1").arg(m_server.serverPort()));
    return true;
}

void AdbDeviceServer::acceptHosts()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new AdbHostConnection(socket, m_state, m_broker, this);
}
