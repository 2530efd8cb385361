// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/CompanionService.h"

#include "android/protocol/ChannelProtocol.h"
#include "tools/common/DemoMessages.h"
#include "tools/common/EdgeMessages.h"
#include "tools/phonesim/ChannelListener.h"
#include "tools/phonesim/DemoPhone.h"
#include "tools/phonesim/FaultHold.h"
#include "tools/phonesim/MessageStore.h"
#include "tools/phonesim/SimLog.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace {

const QStringList& errorSteps()
{
    static const QStringList steps = { QStringLiteral("service"), QStringLiteral("ready"), QStringLiteral("hello"),
        QStringLiteral("count"), QStringLiteral("batch"), QStringLiteral("sms"), QStringLiteral("end"),
        QStringLiteral("bye"), QStringLiteral("defsmsapp"), QStringLiteral("ack") };
    return steps;
}

QCommandLineOption option(const QString& name, const QString& description, const QString& valueName = QString(),
    const QString& defaultValue = QString())
{
    return QCommandLineOption(QStringList { name }, description, valueName, defaultValue);
}

bool readInt(const QCommandLineParser& parser, const QString& name, int minimum, int* value, QString* error)
{
    if (!parser.isSet(name) && parser.value(name).isEmpty())
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < minimum) {
        *error = QStringLiteral("--%1 needs a whole number of at least %2").arg(name).arg(minimum);
        return false;
    }
    *value = number;
    return true;
}

} // namespace

CompanionService::CompanionService(QObject* parent)
    : QObject(parent)
{
    connect(&m_service, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_service.nextPendingConnection())
            serviceConnection(socket);
    });
}

CompanionService::~CompanionService() = default;

void CompanionService::addOptions(QCommandLineParser& parser)
{
    const CompanionSettings d;
    parser.addOptions({
        option(QStringLiteral("port"), QStringLiteral("WiFi service port on 127.0.0.1; 0 takes any free port."),
            QStringLiteral("port"), QStringLiteral("44441")),
        option(QStringLiteral("messages"),
            QStringLiteral("Message file (JSON) loaded at start; messages received over a restore2 channel are "
                           "added and saved into it. A missing file starts empty."),
            QStringLiteral("file")),
        option(QStringLiteral("generate"),
            QStringLiteral("Start with <count> synthetic messages instead of the file's."), QStringLiteral("count")),
        option(QStringLiteral("demo"),
            QStringLiteral("Be the demo phone: a %1 %2 (mobile country code %3) with %4 messages in %5 "
                           "conversations over several years, generated from --seed. Greeting and adb switches "
                           "given as well win.")
                .arg(DemoPhone().manufacturer, DemoPhone().model, DemoPhone().mmc)
                .arg(demoMessageCount)
                .arg(demoConversationCount)),
        option(QStringLiteral("seed"), QStringLiteral("Seed of --generate and --demo."), QStringLiteral("seed"),
            QStringLiteral("1")),
        option(QStringLiteral("hostile-messages"),
            QStringLiteral("Put messages first whose texts look like the rows that content query prints (fake "
                           "rows naming the next ids, \", date=\", NULL, \"No result found.\", line breaks, emoji, "
                           "right-to-left text, trailing spaces, backslashes and quotes).")),
        option(QStringLiteral("hidden-boxes"),
            QStringLiteral("Add drafts and outbox, failed and queued messages amid the others: the phone keeps "
                           "them, but only the default messaging app sees them, so content query and the "
                           "companion leave them out.")),
        option(QStringLiteral("batch-size"), QStringLiteral("Messages per batch on a backup2 channel."),
            QStringLiteral("n"), QString::number(d.batchSize)),
        option(QStringLiteral("defsmsapp"),
            QStringLiteral("Flag sent in $defsmsapp: on a restore2 channel; not 0 makes the companion wait for "
                           "the desktop's $defsmsapp:."),
            QStringLiteral("n"), QString::number(d.defSmsApp)),
        option(QStringLiteral("companion-version"), QStringLiteral("Greeting key version."), QStringLiteral("n"),
            QString::number(d.version)),
        option(QStringLiteral("model"), QStringLiteral("Greeting key model."), QStringLiteral("text"), d.model),
        option(QStringLiteral("manufacturer"), QStringLiteral("Greeting key manufacturer."), QStringLiteral("text"),
            d.manufacturer),
        option(QStringLiteral("imei"), QStringLiteral("Greeting key imei."), QStringLiteral("text"), d.imei),
        option(QStringLiteral("uid"), QStringLiteral("Greeting key uid."), QStringLiteral("text"), d.uid),
        option(QStringLiteral("sdk"), QStringLiteral("Greeting key sdk."), QStringLiteral("text"), d.sdk),
        option(QStringLiteral("sdk-id"), QStringLiteral("Greeting key sdk_id."), QStringLiteral("n"),
            QString::number(d.sdkId)),
        option(
            QStringLiteral("root"), QStringLiteral("Greeting key root."), QStringLiteral("n"), QString::number(d.root)),
        option(
            QStringLiteral("storage1"), QStringLiteral("Greeting key storage1."), QStringLiteral("path"), d.storage1),
        option(QStringLiteral("mmc"), QStringLiteral("Greeting key mmc (mobile country code)."), QStringLiteral("code"),
            d.mmc),
        option(QStringLiteral("usb-listen-delay"),
            QStringLiteral("Start listening for a USB channel <ms> after its broadcast; connections forwarded "
                           "before are closed, as on a phone whose companion is still starting."),
            QStringLiteral("ms")),
        option(QStringLiteral("verbose"), QStringLiteral("Log every batch, not only each channel.")),
        option(QStringLiteral("fault-channel"),
            QStringLiteral("Inject the faults below only on channels of this kind (device2, backup2 or restore2); "
                           "default: every kind."),
            QStringLiteral("kind")),
        option(QStringLiteral("refuse"),
            QStringLiteral("Fault: refuse channel requests with this reason (WiFi: \"0\" + base64 reason; USB: the "
                           "broadcast fails)."),
            QStringLiteral("reason")),
        option(QStringLiteral("no-ready"), QStringLiteral("Fault: accept channel connections but never send $ready:.")),
        option(QStringLiteral("error-at"),
            QStringLiteral("Fault: send $error: instead of the first line of this step, then close: %1. (service is "
                           "the answer of the WiFi service port; ack is a restore2 batch answer.)")
                .arg(errorSteps().join(QStringLiteral(", "))),
            QStringLiteral("step")),
        option(QStringLiteral("error-text"), QStringLiteral("Text of the --error-at error line; may be empty."),
            QStringLiteral("text")),
        option(QStringLiteral("close-after"),
            QStringLiteral("Fault: close the connection after <k> records sent (backup2) or received (restore2)."),
            QStringLiteral("k")),
        option(QStringLiteral("short-record"), QStringLiteral("Fault: record number <k> (from 1) has five fields."),
            QStringLiteral("k")),
        option(QStringLiteral("unknown-command"),
            QStringLiteral("Fault: an unknown command line inside the batch, before record number <k> (from 1)."),
            QStringLiteral("k")),
        option(QStringLiteral("no-count"), QStringLiteral("Fault: no $count: line on backup2 channels.")),
        option(QStringLiteral("count"), QStringLiteral("Announce <n> in $count: instead of the number of messages."),
            QStringLiteral("n")),
        option(
            QStringLiteral("too-old"), QStringLiteral("Fault: greet with version 9, older than the desktop accepts.")),
        option(QStringLiteral("batch-delay"),
            QStringLiteral("Fault: wait <ms> before each batch (backup2) or batch "
                           "answer (restore2)."),
            QStringLiteral("ms")),
        option(QStringLiteral("wrong-ack"),
            QStringLiteral("Fault: answer a restore2 batch with $bye: instead of $batch:.")),
        option(QStringLiteral("reset-after-bye"),
            QStringLiteral("Fault: reset the backup2 connection right after sending $bye:, without waiting for "
                           "the desktop's answer.")),
        option(QStringLiteral("bad-date"),
            QStringLiteral("Fault: record number <k> (from 1) has a time that is not a number."), QStringLiteral("k")),
        option(QStringLiteral("hold-at"),
            QStringLiteral("Fault: stay silent before the line of this step, reading nothing, until the --hold-file "
                           "exists (for good without one): %1. (receive: a restore2 channel stops reading after "
                           "$defsmsapp:; packages: the adb device's pm list packages.)")
                .arg(faulthold::steps().join(QStringLiteral(", "))),
            QStringLiteral("step")),
        option(QStringLiteral("hold-file"), QStringLiteral("The file whose creation ends the --hold-at silence."),
            QStringLiteral("file")),
        option(QStringLiteral("partial-line"),
            QStringLiteral("Fault: send the held line without its line feed before the --hold-at silence.")),
    });
}

bool CompanionService::parseSettings(const QCommandLineParser& parser, QString* error)
{
    CompanionSettings& s = m_settings;
    if (!readInt(parser, QStringLiteral("companion-version"), 0, &s.version, error)
        || !readInt(parser, QStringLiteral("sdk-id"), 0, &s.sdkId, error)
        || !readInt(parser, QStringLiteral("root"), 0, &s.root, error)
        || !readInt(parser, QStringLiteral("batch-size"), 1, &s.batchSize, error)
        || !readInt(parser, QStringLiteral("defsmsapp"), 0, &s.defSmsApp, error)
        || !readInt(parser, QStringLiteral("close-after"), 0, &s.closeAfter, error)
        || !readInt(parser, QStringLiteral("short-record"), 1, &s.shortRecord, error)
        || !readInt(parser, QStringLiteral("unknown-command"), 1, &s.unknownCommandAt, error)
        || !readInt(parser, QStringLiteral("count"), 0, &s.countOverride, error)
        || !readInt(parser, QStringLiteral("batch-delay"), 0, &s.batchDelayMs, error)
        || !readInt(parser, QStringLiteral("usb-listen-delay"), 0, &s.usbListenDelayMs, error)
        || !readInt(parser, QStringLiteral("bad-date"), 1, &s.badDateAt, error))
        return false;
    const bool demo = parser.isSet(QStringLiteral("demo"));
    const DemoPhone demoPhone;
    const auto text = [&parser, demo](const QString& name, const QString& demoValue) {
        return demo && !parser.isSet(name) ? demoValue : parser.value(name);
    };
    s.model = text(QStringLiteral("model"), demoPhone.model);
    s.manufacturer = text(QStringLiteral("manufacturer"), demoPhone.manufacturer);
    s.imei = text(QStringLiteral("imei"), demoPhone.imei);
    s.uid = text(QStringLiteral("uid"), demoPhone.uid);
    s.sdk = text(QStringLiteral("sdk"), demoPhone.sdk);
    if (demo && !parser.isSet(QStringLiteral("sdk-id")))
        s.sdkId = demoPhone.sdkId;
    s.storage1 = parser.value(QStringLiteral("storage1"));
    s.mmc = text(QStringLiteral("mmc"), demoPhone.mmc);
    s.verbose = parser.isSet(QStringLiteral("verbose"));
    if (parser.isSet(QStringLiteral("too-old")))
        s.version = 9;

    s.faultChannel = parser.value(QStringLiteral("fault-channel"));
    static const QStringList kinds
        = { channelprotocol::deviceChannel, channelprotocol::backupChannel, channelprotocol::restoreChannel };
    if (!s.faultChannel.isEmpty() && !kinds.contains(s.faultChannel)) {
        *error = QStringLiteral("--fault-channel must be one of %1").arg(kinds.join(QStringLiteral(", ")));
        return false;
    }
    s.refuse = parser.isSet(QStringLiteral("refuse"));
    s.refuseReason = parser.value(QStringLiteral("refuse"));
    s.noReady = parser.isSet(QStringLiteral("no-ready"));
    s.errorStep = parser.value(QStringLiteral("error-at"));
    if (!s.errorStep.isEmpty() && !errorSteps().contains(s.errorStep)) {
        *error = QStringLiteral("--error-at must be one of %1").arg(errorSteps().join(QStringLiteral(", ")));
        return false;
    }
    s.errorText = parser.value(QStringLiteral("error-text"));
    s.errorTextGiven = parser.isSet(QStringLiteral("error-text"));
    s.noCount = parser.isSet(QStringLiteral("no-count"));
    s.wrongAck = parser.isSet(QStringLiteral("wrong-ack"));
    s.resetAfterBye = parser.isSet(QStringLiteral("reset-after-bye"));
    s.holdStep = parser.value(QStringLiteral("hold-at"));
    if (!s.holdStep.isEmpty() && !faulthold::steps().contains(s.holdStep)) {
        *error = QStringLiteral("--hold-at must be one of %1").arg(faulthold::steps().join(QStringLiteral(", ")));
        return false;
    }
    s.holdFile = parser.value(QStringLiteral("hold-file"));
    s.partialLine = parser.isSet(QStringLiteral("partial-line"));
    return true;
}

bool CompanionService::loadStore(const QCommandLineParser& parser, QString* error)
{
    const QString path = parser.value(QStringLiteral("messages"));
    QList<SimMessage> messages;
    if (parser.isSet(QStringLiteral("generate"))) {
        int count = 0;
        int seed = 1;
        if (!readInt(parser, QStringLiteral("generate"), 0, &count, error)
            || !readInt(parser, QStringLiteral("seed"), 0, &seed, error))
            return false;
        messages = generateMessages(count, static_cast<quint32>(seed));
        simLog(QStringLiteral("generated %1 messages from seed %2").arg(count).arg(seed));
    } else if (parser.isSet(QStringLiteral("demo"))) {
        int seed = 1;
        if (!readInt(parser, QStringLiteral("seed"), 0, &seed, error))
            return false;
        messages
            = generateDemoMessages(static_cast<quint32>(seed)) + generateDemoMultimedia(static_cast<quint32>(seed));
        simLog(QStringLiteral("demo phone with %1 messages from seed %2").arg(messages.size()).arg(seed));
    } else if (!path.isEmpty() && QFileInfo::exists(path)) {
        try {
            messages = loadMessages(path);
        } catch (const std::exception& e) {
            *error = QString::fromUtf8(e.what());
            return false;
        }
        simLog(QStringLiteral("loaded %1 messages from %2").arg(messages.size()).arg(path));
    } else if (!path.isEmpty()) {
        simLog(QStringLiteral("%1 does not exist yet: starting without messages").arg(path));
    }
    if (parser.isSet(QStringLiteral("hostile-messages")))
        messages = hostileMessages() + messages;
    if (parser.isSet(QStringLiteral("hidden-boxes"))) {
        const qsizetype middle = messages.size() / 2;
        const qint64 aroundMs = messages.isEmpty() ? 1700000000000LL : messages.at(middle).timeMs;
        const QList<SimMessage> hidden = hiddenBoxMessages(aroundMs);
        messages = messages.mid(0, middle) + hidden + messages.mid(middle);
    }
    m_store = QSharedPointer<MessageStore>::create(std::move(messages), path);
    return true;
}

bool CompanionService::start(const QCommandLineParser& parser, QString* error)
{
    if (!parseSettings(parser, error) || !loadStore(parser, error))
        return false;
    int port = 0;
    if (!readInt(parser, QStringLiteral("port"), 0, &port, error))
        return false;
    if (port > 65535 || !m_service.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        *error = QStringLiteral("can not listen on service port %1: %2").arg(port).arg(m_service.errorString());
        return false;
    }
    simLog(QStringLiteral("companion service listening on 127.0.0.1:%1 (version %2, batches of %3)")
               .arg(m_service.serverPort())
               .arg(m_settings.version)
               .arg(m_settings.batchSize));
    return true;
}

void CompanionService::serviceConnection(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        while (socket->canReadLine()) {
            QByteArray line = socket->readLine();
            line.replace('\r', QByteArray());
            line.replace('\n', QByteArray());
            if (line.isEmpty())
                continue;
            const QString request = QString::fromUtf8(line);
            const QByteArray answer = serviceAnswer(request).toUtf8() + '\n';
            if (holdsService(request))
                answerWhenReleased(socket, answer);
            else
                socket->write(answer);
        }
    });
}

bool CompanionService::holdsService(const QString& request) const
{
    ChannelRequest parsed;
    return m_settings.holdStep == QLatin1String("service") && parseUrl(request, &parsed)
        && m_settings.faultsApplyTo(parsed.kind) && faulthold::mustHold(m_settings.holdFile);
}

void CompanionService::answerWhenReleased(QTcpSocket* socket, const QByteArray& answer)
{
    simLog(QStringLiteral("service: fault: holding the answer"));
    if (m_settings.partialLine)
        socket->write(answer.chopped(1));
    // The service shares the main thread with everything else, so it is polled, not waited for.
    if (m_settings.holdFile.isEmpty())
        return;
    auto* poll = new QTimer(socket);
    const QString releaseFile = m_settings.holdFile;
    const QByteArray rest = m_settings.partialLine ? QByteArray("\n") : answer;
    connect(poll, &QTimer::timeout, socket, [socket, poll, releaseFile, rest] {
        if (faulthold::mustHold(releaseFile))
            return;
        poll->deleteLater();
        socket->write(rest);
    });
    poll->start(20);
}

QString CompanionService::serviceAnswer(const QString& line)
{
    simLog(QStringLiteral("service: request %1").arg(line));
    ChannelRequest request;
    const bool known = parseUrl(line, &request);
    if (known && m_settings.faultsApplyTo(request.kind) && m_settings.errorStep == QLatin1String("service")) {
        const QString text
            = m_settings.errorTextGiven ? m_settings.errorText : QStringLiteral("Simulated failure at service.");
        simLog(QStringLiteral("service: fault: answering with $error: \"%1\"").arg(text));
        return channelprotocol::errorCommand + QString::fromLatin1(text.toUtf8().toBase64());
    }
    QString refusal;
    if (!openChannel(line, false, &refusal))
        return QStringLiteral("0") + QString::fromLatin1(refusal.toUtf8().toBase64());
    return QStringLiteral("1");
}

bool CompanionService::parseUrl(const QString& url, ChannelRequest* request)
{
    // Exactly as the desktop forms it: the host part is always 127.0.0.1, also over WiFi.
    static const QRegularExpression pattern(
        QStringLiteral("^(device2|backup2|restore2)://127\\.0\\.0\\.1:(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(url);
    if (!match.hasMatch())
        return false;
    const uint port = match.captured(2).toUInt();
    if (port == 0 || port > 65535)
        return false;
    request->kind = match.captured(1);
    request->port = static_cast<quint16>(port);
    return true;
}

bool CompanionService::openChannel(const QString& url, bool overUsb, QString* refusal)
{
    ChannelRequest request;
    if (!parseUrl(url, &request)) {
        simViolation(QStringLiteral("refusing %1: not a channel URL").arg(url));
        *refusal = QStringLiteral("unknown channel URL %1").arg(url);
        return false;
    }
    if (m_settings.refuse && m_settings.faultsApplyTo(request.kind)) {
        simLog(QStringLiteral("fault: refusing %1: \"%2\"").arg(url, m_settings.refuseReason));
        *refusal = m_settings.refuseReason;
        return false;
    }

    auto& channels = overUsb ? m_usbChannels : m_wifiChannels;
    // A new request for the same port replaces a channel nobody has opened yet.
    if (ChannelListener* previous = channels.value(request.port))
        previous->retire();

    auto* listener = new ChannelListener(request.kind, m_settings, m_store, this);
    if (!overUsb) {
        if (!listener->listen(QHostAddress::LocalHost, request.port)) {
            *refusal = QStringLiteral("can not listen on port %1: %2").arg(request.port).arg(listener->errorString());
            simLog(QStringLiteral("refusing %1: %2").arg(url, *refusal));
            delete listener;
            return false;
        }
        channels.insert(request.port, listener);
        simLog(QStringLiteral("%1: listening on 127.0.0.1:%2").arg(url).arg(request.port));
        return true;
    }

    channels.insert(request.port, listener);
    if (m_settings.usbListenDelayMs > 0) {
        simLog(QStringLiteral("%1: listening in %2 ms").arg(url).arg(m_settings.usbListenDelayMs));
        QTimer::singleShot(m_settings.usbListenDelayMs, listener,
            [this, listener, url, request] { serveUsbChannel(listener, url, request.port); });
    } else {
        serveUsbChannel(listener, url, request.port);
    }
    return true;
}

void CompanionService::serveUsbChannel(ChannelListener* listener, const QString& url, quint16 devicePort)
{
    if (!listener->listen(QHostAddress::LocalHost, 0)) {
        simLog(QStringLiteral("%1: can not listen: %2").arg(url, listener->errorString()));
        listener->retire();
        return;
    }
    const quint16 endpoint = listener->serverPort();
    {
        QMutexLocker lock(&m_endpointMutex);
        m_usbEndpoints.insert(devicePort, endpoint);
    }
    connect(listener, &QObject::destroyed, this, [this, devicePort, endpoint] {
        QMutexLocker lock(&m_endpointMutex);
        if (m_usbEndpoints.value(devicePort) == endpoint)
            m_usbEndpoints.remove(devicePort);
    });
    simLog(QStringLiteral("%1: serving device port %2 on 127.0.0.1:%3").arg(url).arg(devicePort).arg(endpoint));
}

QString CompanionService::announceChannel(const QString& url)
{
    QString refusal;
    bool accepted = false;
    if (QThread::currentThread() == thread()) {
        accepted = openChannel(url, true, &refusal);
    } else {
        QMetaObject::invokeMethod(
            this, [this, &url, &refusal, &accepted] { accepted = openChannel(url, true, &refusal); },
            Qt::BlockingQueuedConnection);
    }
    if (accepted)
        return QString();
    // An empty answer means acceptance, so a refusal always carries a reason.
    return refusal.isEmpty() ? QStringLiteral("channel refused") : refusal;
}

quint16 CompanionService::channelEndpoint(quint16 devicePort)
{
    QMutexLocker lock(&m_endpointMutex);
    return m_usbEndpoints.value(devicePort);
}
