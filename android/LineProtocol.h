// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

class QIODevice;
class QTime;

// The line protocol spoken with the companion app on a channel. A line is a run of bytes ended by
// a line feed; carriage returns are dropped on reading and every other byte becomes one character
// (Latin-1), so text beyond ASCII travels base64-encoded. Lines are written as UTF-8. A command
// line is a command word such as "$sms:" followed by its payload. Time-outs are in milliseconds,
// -1 meaning no limit.
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
