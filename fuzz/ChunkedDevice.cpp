// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChunkedDevice.h"

#include <algorithm>
#include <cstring>

ChunkedDevice::ChunkedDevice(const QByteArray& incoming, const QList<qsizetype>& pieceSizes)
    : incoming(incoming)
    , pieceSizes(pieceSizes)
{
    arriveNextPiece();
}

qint64 ChunkedDevice::bytesAvailable() const
{
    return arrived - consumed + QIODevice::bytesAvailable();
}

bool ChunkedDevice::waitForReadyRead(int)
{
    if (arrived == incoming.size()) {
        setErrorString(QStringLiteral("The remote host closed the connection"));
        return false;
    }
    arriveNextPiece();
    emit readyRead();
    return true;
}

bool ChunkedDevice::waitForBytesWritten(int)
{
    return true;
}

qint64 ChunkedDevice::readData(char* data, qint64 maxSize)
{
    const qint64 count = std::min<qint64>(maxSize, arrived - consumed);
    if (count > 0)
        std::memcpy(data, incoming.constData() + consumed, static_cast<size_t>(count));
    consumed += count;
    return count;
}

qint64 ChunkedDevice::writeData(const char*, qint64 size)
{
    writtenTotal += size;
    return size;
}

void ChunkedDevice::arriveNextPiece()
{
    const qsizetype rest = incoming.size() - arrived;
    const qsizetype size = nextPiece < pieceSizes.size() ? std::max<qsizetype>(1, pieceSizes[nextPiece]) : rest;
    ++nextPiece;
    arrived += std::min(size, rest);
}
