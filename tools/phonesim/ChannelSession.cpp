// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/ChannelSession.h"

#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "tools/phonesim/FaultHold.h"
#include "tools/phonesim/MessageStore.h"
#include "tools/phonesim/SimLog.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTcpSocket>

#include <atomic>
#ifdef Q_OS_WIN
#include <winsock2.h>
using SocketHandle = SOCKET;
#else
#include <sys/socket.h>
using SocketHandle = int;
#endif

using namespace simpleprotocol;

namespace {

// Ends a session on purpose (an injected fault); the connection is already dealt with.
struct SessionEnded
{
};

QString base64(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

// The whole "$sms:" line, built as bytes: a backup of 100,000 messages spends most of its time here.
QByteArray recordLine(const SimMessage& message, bool shortened, bool badDate)
{
    QByteArray line;
    line.reserve(64 + 2 * (message.address.size() + message.contactName.size() + message.subject.size())
        + 3 * message.body.size());
    line += channelprotocol::smsCommand.latin1();
    line += badDate ? QByteArray("yesterday") : QByteArray::number(message.timeMs);
    line += ',';
    line += QByteArray::number(message.direction);
    for (const QString* field : { &message.address, &message.contactName, &message.body, &message.subject }) {
        if (shortened && field == &message.subject)
            break;
        line += ',';
        line += field->toUtf8().toBase64();
    }
    line += '\n';
    return line;
}

std::atomic<int> sessionsWaiting { 0 };

// Counts a session as waiting for the desktop while it exists.
struct WaitingForDesktop
{
    WaitingForDesktop() { ++sessionsWaiting; }
    ~WaitingForDesktop() { --sessionsWaiting; }
    WaitingForDesktop(const WaitingForDesktop&) = delete;
    WaitingForDesktop& operator=(const WaitingForDesktop&) = delete;
};

// A record exactly as the desktop writes it: "time,direction,address,body", the time in decimal
// milliseconds, the direction 0 or 1, address and body base64 of UTF-8 text. Any other shape is
// refused, as the companion would, with what is wrong in problem.
bool parseRestoreRecord(const QString& payload, SimMessage* message, QString* problem)
{
    const QStringList fields = payload.split(QLatin1Char(','));
    if (fields.size() != 4) {
        *problem = QStringLiteral("%1 fields instead of 4").arg(fields.size());
        return false;
    }
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,19}$"));
    bool timeOk = false;
    message->timeMs = fields.at(0).toLongLong(&timeOk);
    if (!timeOk || !decimal.match(fields.at(0)).hasMatch()) {
        *problem = QStringLiteral("the time is not a decimal number");
        return false;
    }
    if (fields.at(1) != QLatin1String("0") && fields.at(1) != QLatin1String("1")) {
        *problem = QStringLiteral("the direction is neither 0 nor 1");
        return false;
    }
    message->direction = fields.at(1).toInt();
    const std::pair<QString*, QString> texts[]
        = { { &message->address, QStringLiteral("address") }, { &message->body, QStringLiteral("body") } };
    for (int i = 0; i < 2; ++i) {
        // Decoding and encoding again gives the same text only for canonical base64.
        const QByteArray encoded = fields.at(2 + i).toLatin1();
        const QByteArray bytes = QByteArray::fromBase64(encoded);
        QStringDecoder utf8(QStringDecoder::Utf8);
        *texts[i].first = utf8(bytes);
        if (bytes.toBase64() != encoded || utf8.hasError()) {
            *problem = QStringLiteral("the %1 is not base64 of UTF-8 text").arg(texts[i].second);
            return false;
        }
    }
    return true;
}

} // namespace

int ChannelSession::waitingForDesktop()
{
    return sessionsWaiting;
}

ChannelSession::ChannelSession(
    const QString& kind, qintptr descriptor, const CompanionSettings& settings, QSharedPointer<MessageStore> store)
    : m_kind(kind)
    , m_descriptor(descriptor)
    , m_settings(settings)
    , m_store(std::move(store))
{
    if (!m_settings.faultsApplyTo(kind)) {
        const CompanionSettings clean;
        m_settings.refuse = clean.refuse;
        m_settings.noReady = clean.noReady;
        m_settings.errorStep = clean.errorStep;
        m_settings.closeAfter = clean.closeAfter;
        m_settings.shortRecord = clean.shortRecord;
        m_settings.unknownCommandAt = clean.unknownCommandAt;
        m_settings.batchDelayMs = clean.batchDelayMs;
        m_settings.wrongAck = clean.wrongAck;
        m_settings.resetAfterBye = clean.resetAfterBye;
        m_settings.badDateAt = clean.badDateAt;
        m_settings.holdStep = clean.holdStep;
    }
}

QString ChannelSession::label() const
{
    return QStringLiteral("%1 channel (connection %2)").arg(m_kind).arg(m_descriptor);
}

void ChannelSession::run()
{
    QTcpSocket socket;
    if (!socket.setSocketDescriptor(m_descriptor)) {
        simLog(QStringLiteral("%1: can not take the connection: %2").arg(label(), socket.errorString()));
        return;
    }
    // A batch ends with a short "$end:" line; without this it would wait for the delayed
    // acknowledgement of the batch's last full segment.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    simLog(QStringLiteral("%1: connected").arg(label()));
    try {
        if (m_settings.noReady) {
            simLog(QStringLiteral("%1: fault: never sending $ready:").arg(label()));
            // Keep the connection open and silent until the desktop gives up on it.
            while (socket.waitForReadyRead(60000))
                socket.readAll();
            simLog(QStringLiteral("%1: closed by the desktop").arg(label()));
            return;
        }
        send(socket, QStringLiteral("ready"), channelprotocol::readyCommand);
        emit readySent();
        if (m_kind == channelprotocol::deviceChannel)
            serveDevice(socket);
        else if (m_kind == channelprotocol::backupChannel)
            serveBackup(socket);
        else
            serveRestore(socket);
        simLog(QStringLiteral("%1: done").arg(label()));
    } catch (const SessionEnded&) {
    } catch (const RemoteException& e) {
        simLog(QStringLiteral("%1: the desktop sent $error: %2").arg(label(), QString::fromUtf8(e.what())));
    } catch (const LocalException& e) {
        if (m_refused)
            simLog(QStringLiteral("%1: answered with $error: %2").arg(label(), QString::fromUtf8(e.what())));
        else
            simViolation(QStringLiteral("%1: wrong line from the desktop, answered with $error: %2")
                             .arg(label(), QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
        // The desktop may drop a channel at any time when its user cancels, but not instead of the
        // closing "$bye:" it owes once the companion has said everything.
        if (m_awaitingClosingBye)
            simViolation(QStringLiteral("%1: the desktop ended the channel without its closing $bye: (%2)")
                             .arg(label(), QString::fromUtf8(e.what())));
        else
            simLog(QStringLiteral("%1: ended: %2").arg(label(), QString::fromUtf8(e.what())));
    }
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(5000);
    }
}

void ChannelSession::send(
    QTcpSocket& socket, const QString& step, const QString& command, const QString& payload, bool flush)
{
    if (!m_errorSent && m_settings.errorStep == step) {
        m_errorSent = true;
        const QString text
            = m_settings.errorTextGiven ? m_settings.errorText : QStringLiteral("Simulated failure at %1.").arg(step);
        writeCommand(&socket, channelprotocol::errorCommand, base64(text));
        simLog(QStringLiteral("%1: fault: sent $error: \"%2\" instead of %3").arg(label(), text, command));
        closeNow(socket, QStringLiteral("after the error line"));
    }
    if (m_settings.holdStep == step && faulthold::mustHold(m_settings.holdFile)) {
        simLog(QStringLiteral("%1: fault: holding %2").arg(label(), command));
        if (m_settings.partialLine)
            writeAll(&socket, (command + payload).toUtf8(), false);
        // Whatever went unflushed before (the records of a batch) reaches the desktop ahead of the silence.
        socket.flush();
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) { }
        faulthold::waitForRelease(m_settings.holdFile);
        simLog(QStringLiteral("%1: released").arg(label()));
        if (m_settings.partialLine) {
            writeAll(&socket, QByteArrayLiteral("\n"), flush);
            return;
        }
    }
    writeCommand(&socket, command, payload, flush);
}

void ChannelSession::closeNow(QTcpSocket& socket, const QString& why)
{
    simLog(QStringLiteral("%1: closing the connection %2").arg(label(), why));
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(5000);
    throw SessionEnded();
}

QString ChannelSession::receive(QTcpSocket& socket)
{
    QString line;
    {
        const WaitingForDesktop waiting;
        line = readLine(&socket);
    }
    if (line.startsWith(channelprotocol::errorCommand))
        throw RemoteException(
            QString::fromUtf8(QByteArray::fromBase64(line.mid(channelprotocol::errorCommand.size()).toLatin1())));
    if (line.isEmpty())
        refuse(socket, QStringLiteral("empty line"));
    return line;
}

void ChannelSession::refuse(QTcpSocket& socket, const QString& why)
{
    // Counted before the desktop is told: it may already have hung up, and then the telling fails.
    m_refused = true;
    m_awaitingClosingBye = false;
    simViolation(QStringLiteral("%1: wrong line from the desktop: %2").arg(label(), why));
    throw LocalException(&socket, why);
}

void ChannelSession::expectExactly(QTcpSocket& socket, const QString& command)
{
    const QString line = receive(socket);
    if (line != command)
        refuse(socket, QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, command));
}

void ChannelSession::expectClosingBye(QTcpSocket& socket)
{
    m_awaitingClosingBye = true;
    expectExactly(socket, channelprotocol::byeCommand);
    m_awaitingClosingBye = false;
}

void ChannelSession::resetNow(QTcpSocket& socket)
{
    simLog(QStringLiteral("%1: fault: resetting the connection").arg(label()));
    // A zero linger time makes the close send a reset instead of an orderly end.
    const linger immediately { 1, 0 };
    ::setsockopt(static_cast<SocketHandle>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER,
        reinterpret_cast<const char*>(&immediately), sizeof immediately);
    socket.abort();
    throw SessionEnded();
}

void ChannelSession::pauseBeforeBatch()
{
    if (m_settings.batchDelayMs > 0)
        QThread::msleep(static_cast<unsigned long>(m_settings.batchDelayMs));
}

void ChannelSession::serveDevice(QTcpSocket& socket)
{
    const CompanionSettings& s = m_settings;
    const QString info = QStringLiteral("version=%1;model=%2;manufacturer=%3;imei=%4;uid=%5;sdk=%6;sdk_id=%7;root=%8;"
                                        "storage1=%9;mmc=%10")
                             .arg(QString::number(s.version), s.model, s.manufacturer, s.imei, s.uid, s.sdk,
                                 QString::number(s.sdkId), QString::number(s.root), s.storage1)
                             .arg(s.mmc);
    send(socket, QStringLiteral("hello"), channelprotocol::helloCommand, info);
    simLog(QStringLiteral("%1: sent greeting %2").arg(label(), info));
    expectClosingBye(socket);
}

void ChannelSession::serveBackup(QTcpSocket& socket)
{
    const QList<SimMessage> messages = m_store->textSnapshot();
    const int total = static_cast<int>(messages.size());
    if (m_settings.noCount) {
        simLog(QStringLiteral("%1: fault: no $count: line").arg(label()));
    } else {
        const int announced = m_settings.countOverride >= 0 ? m_settings.countOverride : total;
        send(socket, QStringLiteral("count"), channelprotocol::countCommand, QString::number(announced));
    }
    simLog(
        QStringLiteral("%1: sending %2 messages in batches of %3").arg(label()).arg(total).arg(m_settings.batchSize));

    int sent = 0;
    int batches = 0;
    while (sent < total) {
        pauseBeforeBatch();
        send(socket, QStringLiteral("batch"), channelprotocol::batchCommand);
        const int end = std::min(total, sent + m_settings.batchSize);
        for (; sent < end; ++sent) {
            if (sent == m_settings.closeAfter)
                closeNow(socket, QStringLiteral("after %1 records (fault)").arg(sent));
            const int number = sent + 1;
            if (number == m_settings.unknownCommandAt) {
                writeCommand(&socket, channelprotocol::progressCommand, QString::number(number), false);
                simLog(QStringLiteral("%1: fault: unknown command before record %2").arg(label()).arg(number));
            }
            const bool shortened = number == m_settings.shortRecord;
            if (shortened)
                simLog(QStringLiteral("%1: fault: record %2 has five fields").arg(label()).arg(number));
            const bool badDate = number == m_settings.badDateAt;
            if (badDate)
                simLog(QStringLiteral("%1: fault: record %2 has a time that is not a number").arg(label()).arg(number));
            const QByteArray line = recordLine(messages.at(sent), shortened, badDate);
            if (m_settings.errorStep == QLatin1String("sms"))
                send(socket, QStringLiteral("sms"), QString::fromUtf8(line.chopped(1)));
            else
                writeAll(&socket, line, false);
        }
        send(socket, QStringLiteral("end"), channelprotocol::endCommand);
        expectExactly(socket, channelprotocol::batchCommand);
        ++batches;
        if (m_settings.verbose)
            simLog(
                QStringLiteral("%1: batch %2 acknowledged, %3/%4 sent").arg(label()).arg(batches).arg(sent).arg(total));
    }
    if (sent == m_settings.closeAfter)
        closeNow(socket, QStringLiteral("after %1 records (fault)").arg(sent));
    send(socket, QStringLiteral("bye"), channelprotocol::byeCommand);
    if (m_settings.resetAfterBye)
        resetNow(socket);
    expectClosingBye(socket);
    simLog(QStringLiteral("%1: sent %2 messages in %3 batches").arg(label()).arg(sent).arg(batches));
}

void ChannelSession::serveRestore(QTcpSocket& socket)
{
    send(socket, QStringLiteral("defsmsapp"), channelprotocol::defSmsAppCommand, QString::number(m_settings.defSmsApp));
    if (m_settings.defSmsApp != 0) {
        simLog(QStringLiteral("%1: waiting for the desktop's $defsmsapp:").arg(label()));
        expectExactly(socket, channelprotocol::defSmsAppCommand);
        simLog(QStringLiteral("%1: now the default messaging app").arg(label()));
    }
    if (m_settings.holdStep == QLatin1String("receive") && faulthold::mustHold(m_settings.holdFile)) {
        simLog(QStringLiteral("%1: fault: not reading").arg(label()));
        faulthold::waitForRelease(m_settings.holdFile);
    }

    int received = 0;
    int batches = 0;
    for (;;) {
        if (received == m_settings.closeAfter)
            closeNow(socket, QStringLiteral("after %1 records (fault)").arg(received));
        const QString line = receive(socket);
        if (line == channelprotocol::byeCommand)
            break;
        if (line != channelprotocol::batchCommand)
            refuse(socket, QStringLiteral("invalid feedback [%1], must be [$batch:]").arg(line));

        QList<SimMessage> batch;
        for (;;) {
            const QString item = receive(socket);
            if (item == channelprotocol::endCommand)
                break;
            if (!item.startsWith(channelprotocol::smsCommand))
                refuse(socket, QStringLiteral("invalid feedback [%1], must be [$sms:]").arg(item));
            SimMessage message;
            QString problem;
            if (!parseRestoreRecord(item.mid(channelprotocol::smsCommand.size()), &message, &problem))
                refuse(socket, QStringLiteral("invalid sms record [%1]: %2").arg(item, problem));
            batch.append(message);
            if (batch.size() > 100)
                refuse(socket, QStringLiteral("more than 100 messages in one batch."));
            ++received;
            if (received == m_settings.closeAfter)
                closeNow(socket, QStringLiteral("after %1 records (fault)").arg(received));
        }
        m_store->append(batch);
        ++batches;
        if (m_settings.verbose)
            simLog(QStringLiteral("%1: stored batch %2 of %3 messages").arg(label()).arg(batches).arg(batch.size()));
        pauseBeforeBatch();
        if (m_settings.wrongAck) {
            simLog(QStringLiteral("%1: fault: answering the batch with $bye:").arg(label()));
            writeCommand(&socket, channelprotocol::byeCommand);
        } else {
            send(socket, QStringLiteral("ack"), channelprotocol::batchCommand);
        }
    }

    QString error;
    if (m_store->save(&error))
        simLog(QStringLiteral("%1: received %2 messages in %3 batches; message file saved")
                   .arg(label())
                   .arg(received)
                   .arg(batches));
    else
        simLog(QStringLiteral("%1: received %2 messages in %3 batches; not saved: %4")
                   .arg(label())
                   .arg(received)
                   .arg(batches)
                   .arg(error));
    if (m_settings.defSmsApp != 0)
        simLog(QStringLiteral("%1: default messaging role given back").arg(label()));
}
