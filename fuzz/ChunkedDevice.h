// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>

// A sequential device standing in for a socket: the bytes to read arrive in pieces, the first at
// once and each further one when a reader waits for data; once all have arrived, a wait fails as
// on a closed connection. Written bytes are counted and dropped.
class ChunkedDevice : public QIODevice
{
public:
    // The pieces have the given sizes in turn (each at least one byte); the last one takes the rest.
    ChunkedDevice(const QByteArray& incoming, const QList<qsizetype>& pieceSizes);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool waitForReadyRead(int msecs) override;
    bool waitForBytesWritten(int msecs) override;

    qint64 bytesWrittenTotal() const { return writtenTotal; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void arriveNextPiece();

    QByteArray incoming;
    QList<qsizetype> pieceSizes;
    qsizetype nextPiece = 0;
    qsizetype arrived = 0;
    qsizetype consumed = 0;
    qint64 writtenTotal = 0;
};
