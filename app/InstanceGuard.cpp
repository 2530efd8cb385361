// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InstanceGuard.h"

#include "app/AppLog.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace {

const QByteArray raiseRequest = "raise\n";
const QByteArray raiseAnswer = "raised\n";
// Longer than any request: a peer that sends more without a line break is not one of ours.
constexpr qint64 maxRequestLength = 64;

QString canonicalOrAbsolute(const QDir& dir)
{
    const QString canonical = dir.canonicalPath();
    return canonical.isEmpty() ? dir.absolutePath() : canonical;
}

} // namespace

InstanceGuard::InstanceGuard(const QDir& dataRoot, QObject* parent)
    : QObject(parent)
    , m_lockPath(dataRoot.absoluteFilePath(QStringLiteral("quillbarrow-sms-desk.lock")))
    , m_lock(m_lockPath)
{
    // The socket lives outside the data folder (a path there may be too long for a socket address),
    // so its name carries a digest of the folder's path.
    const QByteArray digest
        = QCryptographicHash::hash(canonicalOrAbsolute(dataRoot).toUtf8(), QCryptographicHash::Sha1).toHex();
    m_serverName = QStringLiteral("quillbarrow-sms-desk-") + QString::fromLatin1(digest.left(24));
    // A window runs for days: its lock must never count as stale by age. A lock left by a process that
    // is gone is still taken over.
    m_lock.setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::acquire()
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() == QLockFile::LockFailedError)
            return false;
        qCWarning(lcApp, "can not take the lock %s (error %d); other windows on this data folder are not kept away",
            qUtf8Printable(m_lockPath), int(m_lock.error()));
        return true;
    }

    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, no running process owns the name: what is there was left by one that crashed.
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName)) {
        qCWarning(lcApp, "can not listen as %s: %s; a later start can not bring this window forward",
            qUtf8Printable(m_serverName), qUtf8Printable(m_server->errorString()));
        return true;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &InstanceGuard::onNewConnection);
    qCInfo(lcApp, "the window of this data folder runs alone (lock %s, socket %s)", qUtf8Printable(m_lockPath),
        qUtf8Printable(m_serverName));
    return true;
}

void InstanceGuard::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > maxRequestLength)
                    socket->abort();
                return;
            }
            if (socket->readLine(maxRequestLength) == raiseRequest) {
                emit raiseRequested();
                socket->write(raiseAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool InstanceGuard::askRunningToRaise(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The running process may be starting and not listen yet.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (!socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            QThread::msleep(100);
            continue;
        }
        socket.write(raiseRequest);
        if (!socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime()))))
            continue;
        QByteArray answer;
        while (!answer.endsWith('\n') && answer.size() <= maxRequestLength
            && socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            answer += socket.readAll();
        return answer == raiseAnswer;
    }
    return false;
}
