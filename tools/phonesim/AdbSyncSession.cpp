// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/AdbSyncSession.h"

#include "tools/phonesim/AdbDeviceState.h"

#include <QtEndian>

namespace {

const quint32 maxDataRecord = 64 * 1024;
const quint32 maxPathLength = 1024;
const quint32 directoryMode = 040771;
const quint32 fileMode = 0100644;

QByteArray word(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(value, bytes.data());
    return bytes;
}

QByteArray record(const char* id, quint32 value)
{
    return QByteArray(id, 4) + word(value);
}

bool isKnownDirectory(const QString& path)
{
    static const QStringList directories { QStringLiteral("/"), QStringLiteral("/data"), QStringLiteral("/data/local"),
        QStringLiteral("/data/local/tmp"), QStringLiteral("/sdcard") };
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return directories.contains(trimmed);
}

} // namespace

AdbSyncSession::AdbSyncSession(AdbDeviceState& state)
    : m_state(state)
{
}

QByteArray AdbSyncSession::feed(const QByteArray& bytes)
{
    m_buffer += bytes;
    QByteArray replies;
    while (!m_finished && m_buffer.size() >= 8) {
        const QByteArray id = m_buffer.left(4);
        const quint32 value = qFromLittleEndian<quint32>(m_buffer.constData() + 4);
        // In a pushed file only DATA carries a payload; DONE's word is the modification time.
        const bool hasPayload = !m_receiving || id == "DATA";
        const quint32 limit = m_receiving ? maxDataRecord : maxPathLength;
        if (hasPayload && value > limit) {
            replies += failure(QStringLiteral("sync record too long"));
            break;
        }
        const int length = hasPayload ? static_cast<int>(value) : 0;
        if (m_buffer.size() < 8 + length)
            break;
        const QByteArray payload = m_buffer.mid(8, length);
        m_buffer.remove(0, 8 + length);
        replies += m_receiving ? handleFileRecord(id, value, payload) : handleRequest(id, payload);
    }
    return replies;
}

QByteArray AdbSyncSession::handleRequest(const QByteArray& id, const QByteArray& payload)
{
    const QString path = QString::fromUtf8(payload);
    if (id == "STAT") {
        quint32 mode = 0;
        quint32 size = 0;
        if (m_state.files.contains(path)) {
            mode = fileMode;
            size = static_cast<quint32>(m_state.files.value(path).size());
        } else if (isKnownDirectory(path)) {
            mode = directoryMode;
        }
        logAdb(QStringLiteral("sync stat %1").arg(path));
        return QByteArray("STAT") + word(mode) + word(size) + word(0);
    }
    if (id == "SEND") {
        // "PATH,MODE": the path itself may hold commas, the mode follows the last one.
        const int comma = path.lastIndexOf(QLatin1Char(','));
        m_receivePath = comma < 0 ? path : path.left(comma);
        m_receiveData.clear();
        m_receiving = true;
        return QByteArray();
    }
    if (id == "RECV") {
        if (!m_state.files.contains(path))
            return failure(QStringLiteral("remote object '%1' does not exist").arg(path));
        logAdb(QStringLiteral("sync pull %1").arg(path));
        const QByteArray data = m_state.files.value(path);
        QByteArray out;
        for (int offset = 0; offset < data.size(); offset += static_cast<int>(maxDataRecord)) {
            const QByteArray chunk = data.mid(offset, static_cast<int>(maxDataRecord));
            out += record("DATA", static_cast<quint32>(chunk.size())) + chunk;
        }
        return out + record("DONE", 0);
    }
    if (id == "LIST") {
        QString directory = path;
        if (!directory.endsWith(QLatin1Char('/')))
            directory += QLatin1Char('/');
        QByteArray out;
        for (auto it = m_state.files.cbegin(); it != m_state.files.cend(); ++it) {
            const QString name = it.key().mid(directory.size());
            if (!it.key().startsWith(directory) || name.contains(QLatin1Char('/')))
                continue;
            const QByteArray encoded = name.toUtf8();
            out += QByteArray("DENT") + word(fileMode) + word(static_cast<quint32>(it.value().size())) + word(0)
                + word(static_cast<quint32>(encoded.size())) + encoded;
        }
        return out + QByteArray("DONE") + QByteArray(16, '\0');
    }
    if (id == "QUIT") {
        m_finished = true;
        return QByteArray();
    }
    return failure(QStringLiteral("unknown sync request %1").arg(QString::fromLatin1(id.toHex())));
}

QByteArray AdbSyncSession::handleFileRecord(const QByteArray& id, quint32, const QByteArray& payload)
{
    if (id == "DATA") {
        m_receiveData += payload;
        return QByteArray();
    }
    if (id == "DONE") {
        m_receiving = false;
        m_state.files.insert(m_receivePath, m_receiveData);
        logAdb(QStringLiteral("sync push %1 (%2 bytes)").arg(m_receivePath).arg(m_receiveData.size()));
        m_receiveData.clear();
        return record("OKAY", 0);
    }
    return failure(QStringLiteral("unexpected record in file data"));
}

QByteArray AdbSyncSession::failure(const QString& message)
{
    logAdb(QStringLiteral("sync failure: %1").arg(message));
    m_finished = true;
    const QByteArray text = message.toUtf8();
    return record("FAIL", static_cast<quint32>(text.size())) + text;
}
