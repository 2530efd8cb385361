// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct AdbDeviceState;

// The device side of one `sync:` stream (file push, pull, stat, list). The host's requests and
// data records arrive split across transport packets at any byte, so they are parsed from a
// running byte buffer.
class AdbSyncSession
{
public:
    explicit AdbSyncSession(AdbDeviceState& state);

    // Takes the next bytes the host sent and returns the replies they call for.
    QByteArray feed(const QByteArray& bytes);
    // After QUIT or a protocol error the stream is to be closed.
    bool finished() const { return m_finished; }

private:
    QByteArray handleRequest(const QByteArray& id, const QByteArray& payload);
    QByteArray handleFileRecord(const QByteArray& id, quint32 value, const QByteArray& payload);
    QByteArray failure(const QString& message);

    AdbDeviceState& m_state;
    QByteArray m_buffer;
    bool m_finished = false;
    bool m_receiving = false;
    QString m_receivePath;
    QByteArray m_receiveData;
};
