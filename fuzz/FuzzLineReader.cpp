// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChunkedDevice.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

enum class Reader { Line, Command, ExpectSms };
enum class Outcome { Line, TransferFailed, RemoteError, LocalError };

void require(bool condition)
{
    if (!condition)
        std::abort();
}

Outcome attempt(const std::function<QString()>& read, QString& line)
{
    try {
        line = read();
        return Outcome::Line;
    } catch (const simpleprotocol::SocketDataTransferException&) {
        return Outcome::TransferFailed;
    } catch (const simpleprotocol::RemoteException&) {
        return Outcome::RemoteError;
    } catch (const simpleprotocol::LocalException&) {
        return Outcome::LocalError;
    }
}

// What the reader must make of one whole line, carriage returns already dropped.
Outcome expectedOutcome(Reader reader, const QString& line)
{
    if (reader == Reader::Line)
        return Outcome::Line;
    if (line.isEmpty())
        return Outcome::TransferFailed;
    if (line.startsWith(channelprotocol::errorCommand))
        return Outcome::RemoteError;
    if (reader == Reader::ExpectSms && !line.startsWith(channelprotocol::smsCommand))
        return Outcome::LocalError;
    return Outcome::Line;
}

} // namespace

// Several lines arriving in pieces of any size, read one at a time by readLine, readCommand or
// expectCommand, each result compared with the line cut from the input by hand: no byte may be
// lost, repeated or moved to another line wherever the pieces split it, and the first read past
// the last line feed must fail as on a closed connection. The trailing bytes of the input choose
// the reader, the buffering and the piece sizes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const auto reader = static_cast<Reader>(provider.ConsumeIntegralInRange<int>(0, 2));
    const bool unbuffered = provider.ConsumeBool();
    QList<qsizetype> pieceSizes(provider.ConsumeIntegralInRange<int>(0, 16));
    for (qsizetype& pieceSize : pieceSizes)
        pieceSize = provider.ConsumeIntegralInRange<qsizetype>(1, 4096);
    const std::string remaining = provider.ConsumeRemainingBytesAsString();
    const QByteArray incoming(remaining.data(), static_cast<qsizetype>(remaining.size()));

    ChunkedDevice device(incoming, pieceSizes);
    device.open(unbuffered ? QIODevice::ReadWrite | QIODevice::Unbuffered : QIODevice::ReadWrite);
    const std::function<QString()> read = [&device, reader] {
        switch (reader) {
        case Reader::Line:
            return simpleprotocol::readLine(&device, 1000);
        case Reader::Command:
            return simpleprotocol::readCommand(&device, 1000);
        case Reader::ExpectSms:
            break;
        }
        return simpleprotocol::expectCommand(&device, channelprotocol::smsCommand, 1000);
    };

    QList<QByteArray> wholeLines = incoming.split('\n');
    wholeLines.removeLast();
    for (QByteArray& expectedBytes : wholeLines) {
        const QString expected = QString::fromLatin1(expectedBytes.replace('\r', QByteArray()));
        const qint64 writtenBefore = device.bytesWrittenTotal();
        QString line;
        const Outcome outcome = attempt(read, line);
        require(outcome == expectedOutcome(reader, expected));
        require(outcome != Outcome::Line || line == expected);
        require((outcome == Outcome::LocalError) == (device.bytesWrittenTotal() > writtenBefore));
    }
    QString line;
    require(attempt(read, line) == Outcome::TransferFailed);
    return 0;
}
