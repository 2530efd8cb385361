// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/protocol/LineProtocol.h"

#include "android/protocol/ChannelProtocol.h"
#include "base/TaskReporting.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace simpleprotocol {

namespace {

std::atomic<int> nextPortCounter { 1 };

// A connection closed from the phone's end means, nearly always, that the phone was unplugged or
// its app was stopped; Qt's own text ("The remote host closed the connection") says neither.
QString errorText(QIODevice* device)
{
    auto* socket = qobject_cast<QAbstractSocket*>(device);
    if (socket && socket->error() == QAbstractSocket::RemoteHostClosedError)
        return QCoreApplication::translate("LineProtocol",
            "The phone was disconnected (its connection was closed). Plug it in again, keep it unlocked and try "
            "again.");
    return device->errorString();
}

// Runs wait(ms) in slices of at most cancelSliceMs until it succeeds, the time is up or the
// connection fails, looking at the cancel flag before each slice. A socket that merely timed out is
// still connected; anything else ends the wait at once. Devices other than sockets cannot tell a
// time-out from a failure and are waited for in one piece.
template <typename Wait> bool waitInSlices(QIODevice* device, int timeoutMs, Wait wait)
{
    throwIfTaskCancelled();
    auto* socket = qobject_cast<QAbstractSocket*>(device);
    if (!socket)
        return wait(timeoutMs);
    const QDeadlineTimer deadline(timeoutMs); // -1: never expires
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        const int slice = remaining < 0 ? cancelSliceMs : static_cast<int>(std::min<qint64>(remaining, cancelSliceMs));
        if (wait(slice))
            return true;
        if (socket->error() != QAbstractSocket::SocketTimeoutError || socket->state() != QAbstractSocket::ConnectedState
            || deadline.hasExpired())
            return false;
        throwIfTaskCancelled();
    }
}

} // namespace

SocketDataTransferException::SocketDataTransferException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

RemoteException::RemoteException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

bool waitForReadable(QIODevice* device, int timeoutMs)
{
    return waitInSlices(device, timeoutMs, [device](int ms) { return device->waitForReadyRead(ms); });
}

bool waitForWritten(QIODevice* device, int timeoutMs)
{
    return waitInSlices(device, timeoutMs, [device](int ms) { return device->waitForBytesWritten(ms); });
}

bool connectSocket(QAbstractSocket* socket, const QString& host, quint16 port, int timeoutMs)
{
    throwIfTaskCancelled();
    // waitForConnected gives up the attempt when its time is up, so it cannot be waited for in
    // slices; the connection is followed in a local event loop instead, woken to look at the flag.
    socket->connectToHost(host, port, QIODevice::ReadWrite);
    const QDeadlineTimer deadline(timeoutMs); // -1: never expires
    const auto settled = [socket] {
        return socket->state() == QAbstractSocket::ConnectedState
            || socket->state() == QAbstractSocket::UnconnectedState;
    };
    if (!settled()) {
        QEventLoop loop;
        QTimer tick;
        QObject::connect(socket, &QAbstractSocket::stateChanged, &loop, [&loop, &settled] {
            if (settled())
                loop.quit();
        });
        QObject::connect(&tick, &QTimer::timeout, &loop, [&loop, &deadline] {
            if (taskCancelled() || deadline.hasExpired())
                loop.quit();
        });
        tick.start(cancelSliceMs);
        loop.exec();
    }
    if (socket->state() == QAbstractSocket::ConnectedState)
        return true;
    socket->abort();
    throwIfTaskCancelled();
    return false;
}

LocalException::LocalException(QIODevice* device, const QString& message)
    : std::runtime_error(message.toStdString())
{
    writeCommand(device, channelprotocol::errorCommand, QString::fromLatin1(message.toUtf8().toBase64()), true, -1);
}

QString readLine(QIODevice* device, int timeoutMs)
{
    // Bytes are taken straight from the socket's buffer up to the next line feed, in chunks that
    // start small and grow with the line, so a line costs a couple of allocations, not one per byte.
    QByteArray line;
    for (;;) {
        const qint64 available = device->bytesAvailable();
        qint64 got = 0;
        if (available > 0) {
            const qint64 chunk = std::max<qint64>(1024, line.size());
            const qint64 wanted = std::min({ available, chunk, maxLineLength + 1 - line.size() });
            const qsizetype start = line.size();
            // QIODevice::readLine stops after a line feed, reads at most maxSize - 1 bytes and
            // appends a terminating zero.
            line.resize(start + wanted + 1);
            got = device->readLine(line.data() + start, wanted + 1);
            line.resize(start + std::max<qint64>(got, 0));
            if (got < 0)
                throw SocketDataTransferException(errorText(device));
        }
        if (got > 0 && line.back() == '\n') {
            line.chop(1);
            if (line.contains('\r'))
                line.replace('\r', QByteArray());
            return QString::fromLatin1(line);
        }
        if (line.size() > maxLineLength)
            throw SocketDataTransferException(QStringLiteral("line too long."));
        if (got == 0 && !waitForReadable(device, timeoutMs))
            throw SocketDataTransferException(errorText(device));
    }
}

QString phoneTextForMessage(const QString& text)
{
    return shortenedText(text, maxLoggedTextLength).toHtmlEscaped();
}

QString readCommand(QIODevice* device, int timeoutMs)
{
    const QString line = readLine(device, timeoutMs);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(channelprotocol::errorCommand)) {
        const QByteArray encoded = QStringView(line).mid(channelprotocol::errorCommand.size()).toLatin1();
        throw RemoteException(phoneTextForMessage(QString::fromUtf8(QByteArray::fromBase64(encoded))));
    }
    return line;
}

QString expectCommand(QIODevice* device, const QString& prefix, int timeoutMs)
{
    const QString line = readCommand(device, timeoutMs);
    if (!line.startsWith(prefix))
        throw LocalException(
            device, QStringLiteral("invalid feedback [%1], must be [%2]").arg(phoneTextForMessage(line), prefix));
    return line;
}

void writeAll(QIODevice* device, const QByteArray& bytes, bool flush, int timeoutMs)
{
    if (bytes.isEmpty())
        return;
    if (!device->isWritable())
        throw SocketDataTransferException(errorText(device));
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 accepted = device->write(bytes.constData() + written, bytes.size() - written);
        if (accepted > 0) {
            written += accepted;
            continue;
        }
        if (!waitForWritten(device, timeoutMs))
            throw SocketDataTransferException(errorText(device));
    }
    if (!flush)
        return;
    if (auto* socket = qobject_cast<QAbstractSocket*>(device)) {
        // flush() only hands what it can to the system without blocking; the rest is pushed out
        // here so that a failure shows now rather than at some later read.
        socket->flush();
        while (socket->bytesToWrite() > 0) {
            if (!waitForWritten(socket, timeoutMs))
                throw SocketDataTransferException(errorText(device));
        }
        if (socket->state() != QAbstractSocket::ConnectedState)
            throw SocketDataTransferException(errorText(device));
    }
}

void writeCommand(QIODevice* device, const QString& command, const QString& payload, bool flush, int timeoutMs)
{
    QByteArray line;
    line.reserve(command.size() + payload.size() + 1);
    line += command.toUtf8();
    line += payload.toUtf8();
    line += '\n';
    writeAll(device, line, flush, timeoutMs);
}

int choosePort(const QTime& timeOfDay)
{
    int counter = nextPortCounter.load();
    if (counter % 100 == 0)
        counter = 1;
    nextPortCounter.store(counter + 1);
    return (timeOfDay.minute() % 4 + 1) * 10000 + timeOfDay.second() * 100 + counter;
}

int choosePort()
{
    return choosePort(QTime::currentTime());
}

int portCounter()
{
    return nextPortCounter.load();
}

void setPortCounter(int counter)
{
    nextPortCounter.store(counter);
}

} // namespace simpleprotocol
