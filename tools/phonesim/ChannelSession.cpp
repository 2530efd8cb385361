// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/ChannelSession.h"

#include "android/ChannelProtocol.h"
#include "android/LineProtocol.h"
#include "tools/phonesim/FaultHold.h"
#include "tools/phonesim/MessageStore.h"
#include "tools/phonesim/SimLog.h"

#include <QTcpSocket>

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
QByteArray recordLine(const SimMessage& message, bool shortened)
{
    QByteArray line;
    line.reserve(64 + 2 * (message.address.size() + message.contactName.size() + message.subject.size())
        + 3 * message.body.size());
    line += channelprotocol::smsCommand.latin1();
    line += QByteArray::number(message.timeMs);
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

} // namespace

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
        simLog(QStringLiteral("%1: wrong answer from the desktop, sent $error: %2")
                   .arg(label(), QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
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
        const QString text = m_settings.errorText.isEmpty() ? QStringLiteral("Simulated failure at %1.").arg(step)
                                                            : m_settings.errorText;
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
    expectCommand(&socket, channelprotocol::byeCommand);
}

void ChannelSession::serveBackup(QTcpSocket& socket)
{
    const QList<SimMessage> messages = m_store->snapshot();
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
            const QByteArray line = recordLine(messages.at(sent), shortened);
            if (m_settings.errorStep == QLatin1String("sms"))
                send(socket, QStringLiteral("sms"), QString::fromUtf8(line.chopped(1)));
            else
                writeAll(&socket, line, false);
        }
        send(socket, QStringLiteral("end"), channelprotocol::endCommand);
        expectCommand(&socket, channelprotocol::batchCommand);
        ++batches;
        if (m_settings.verbose)
            simLog(
                QStringLiteral("%1: batch %2 acknowledged, %3/%4 sent").arg(label()).arg(batches).arg(sent).arg(total));
    }
    if (sent == m_settings.closeAfter)
        closeNow(socket, QStringLiteral("after %1 records (fault)").arg(sent));
    send(socket, QStringLiteral("bye"), channelprotocol::byeCommand);
    expectCommand(&socket, channelprotocol::byeCommand);
    simLog(QStringLiteral("%1: sent %2 messages in %3 batches").arg(label()).arg(sent).arg(batches));
}

void ChannelSession::serveRestore(QTcpSocket& socket)
{
    send(socket, QStringLiteral("defsmsapp"), channelprotocol::defSmsAppCommand, QString::number(m_settings.defSmsApp));
    if (m_settings.defSmsApp != 0) {
        simLog(QStringLiteral("%1: waiting for the desktop's $defsmsapp:").arg(label()));
        expectCommand(&socket, channelprotocol::defSmsAppCommand);
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
        const QString line = readCommand(&socket);
        if (line.startsWith(channelprotocol::byeCommand))
            break;
        if (!line.startsWith(channelprotocol::batchCommand))
            throw LocalException(&socket, QStringLiteral("invalid feedback [%1], must be [$batch:]").arg(line));

        QList<SimMessage> batch;
        for (;;) {
            const QString item = readCommand(&socket);
            if (item.startsWith(channelprotocol::endCommand))
                break;
            if (!item.startsWith(channelprotocol::smsCommand))
                throw LocalException(&socket, QStringLiteral("invalid feedback [%1], must be [$sms:]").arg(item));
            const QStringList fields = item.mid(5).split(QLatin1Char(','));
            bool timeOk = false;
            SimMessage message;
            if (fields.size() >= 4)
                message.timeMs = fields.at(0).toLongLong(&timeOk);
            if (!timeOk)
                throw LocalException(&socket, QStringLiteral("invalid sms record [%1]").arg(item));
            message.direction = fields.at(1) == QLatin1String("1") ? 1 : 0;
            message.address = QString::fromUtf8(QByteArray::fromBase64(fields.at(2).toLatin1()));
            message.body = QString::fromUtf8(QByteArray::fromBase64(fields.at(3).toLatin1()));
            batch.append(message);
            if (batch.size() > 100)
                throw LocalException(&socket, QStringLiteral("more than 100 messages in one batch."));
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
