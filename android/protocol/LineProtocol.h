// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

class QAbstractSocket;
class QIODevice;
class QTime;

// The line protocol spoken with the companion app on a channel. A line is a run of bytes ended by
// a line feed; carriage returns are dropped on reading and every other byte becomes one character
// (Latin-1), so text beyond ASCII travels base64-encoded. Lines are written as UTF-8. A command
// line is a command word such as "$sms:" followed by its payload. Time-outs are in milliseconds,
// -1 meaning no limit.
//
// Every blocking wait on a channel (reading, writing, flushing, connecting) looks at the cancel flag
// of the task running on this thread (TaskCancelScope in base/TaskReporting.h) at least every
// cancelSliceMs and ends with TaskCancelled once it is set, whether the peer is silent or not. The
// flag is looked at only while there is nothing to read, so reading buffered lines costs nothing.
namespace simpleprotocol {

// The connection failed: no data in time, a closed or broken socket, an incomplete write or flush,
// an empty command line, or a line longer than maxLineLength.
class SocketDataTransferException : public std::runtime_error
{
public:
    explicit SocketDataTransferException(const QString& message);
};

// The peer sent "$error:"; the message is its decoded text.
class RemoteException : public std::runtime_error
{
public:
    explicit RemoteException(const QString& message);
};

// The peer's answer is wrong. Constructing it tells the peer why with an "$error:" line; when that
// write fails, its SocketDataTransferException is thrown instead.
class LocalException : public std::runtime_error
{
public:
    LocalException(QIODevice* device, const QString& message);
};

// Longest line accepted, in bytes without the line feed; a longer one ends the read with
// SocketDataTransferException instead of exhausting memory.
inline constexpr qint64 maxLineLength = 64 * 1024 * 1024;

// How long a blocking wait runs at most before it looks at the cancel flag again.
inline constexpr int cancelSliceMs = 100;

// Waits until the device has more data to read, or until its written data has gone out, up to
// timeoutMs. False when the time is up or the connection failed (the device's errorString says
// which). Throws TaskCancelled.
bool waitForReadable(QIODevice* device, int timeoutMs);
bool waitForWritten(QIODevice* device, int timeoutMs);
// Connects the socket to host:port for reading and writing, waiting up to timeoutMs. False when it
// is not connected in time (the socket is then closed). Throws TaskCancelled.
bool connectSocket(QAbstractSocket* socket, const QString& host, quint16 port, int timeoutMs);

// A text the phone sent, as it goes into an error message: cut to maxLoggedTextLength, and escaped,
// since error boxes show rich text and a phone must not plant markup or links in them.
QString phoneTextForMessage(const QString& text);

QString readLine(QIODevice* device, int timeoutMs = -1);
// A non-empty line; "$error:" from the peer raises RemoteException.
QString readCommand(QIODevice* device, int timeoutMs = -1);
// A command line beginning with `prefix` (case-sensitive); otherwise LocalException.
QString expectCommand(QIODevice* device, const QString& prefix, int timeoutMs = -1);

void writeAll(QIODevice* device, const QByteArray& bytes, bool flush = true, int timeoutMs = -1);
void writeCommand(QIODevice* device, const QString& command, const QString& payload = QString(), bool flush = true,
    int timeoutMs = -1);

// The local port for a new channel, from the time of day and a process-wide counter 1..99:
// (minute % 4 + 1) * 10000 + second * 100 + counter.
int choosePort();
int choosePort(const QTime& timeOfDay);
// The counter that the next choosePort uses (before its wrap from a multiple of 100 to 1).
int portCounter();
void setPortCounter(int counter);

} // namespace simpleprotocol
