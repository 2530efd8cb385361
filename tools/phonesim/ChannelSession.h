// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/CompanionSettings.h"

#include <QSharedPointer>
#include <QThread>

class MessageStore;
class QTcpSocket;

// One accepted channel connection, run in a thread of its own with a blocking socket: sends
// "$ready:" and plays the companion's side of the channel's exchange.
class ChannelSession : public QThread
{
    Q_OBJECT

public:
    ChannelSession(
        const QString& kind, qintptr descriptor, const CompanionSettings& settings, QSharedPointer<MessageStore> store);

    // Sessions blocked on a line from the desktop right now: a simulator about to end waits for them,
    // so that a fault the desktop made just before is still seen.
    static int waitingForDesktop();

signals:
    // "$ready:" went out: the channel is open and its listener may stop accepting.
    void readySent();

protected:
    void run() override;

private:
    void send(QTcpSocket& socket, const QString& step, const QString& command, const QString& payload = QString(),
        bool flush = true);
    void closeNow(QTcpSocket& socket, const QString& why);
    // The next line from the desktop; "$error:" raises RemoteException, an empty line LocalException.
    QString receive(QTcpSocket& socket);
    // Counts the desktop's fault, tells it with "$error:" (LocalException) and ends the session.
    [[noreturn]] void refuse(QTcpSocket& socket, const QString& why);
    // A line that must be exactly this command without payload; anything else raises LocalException.
    void expectExactly(QTcpSocket& socket, const QString& command);
    void expectClosingBye(QTcpSocket& socket);
    // Ends the connection with a reset, as a phone whose companion is killed does.
    void resetNow(QTcpSocket& socket);
    void serveDevice(QTcpSocket& socket);
    void serveBackup(QTcpSocket& socket);
    void serveRestore(QTcpSocket& socket);
    void pauseBeforeBatch();
    QString label() const;

    QString m_kind;
    qintptr m_descriptor;
    CompanionSettings m_settings;
    QSharedPointer<MessageStore> m_store;
    bool m_errorSent = false;
    bool m_awaitingClosingBye = false;
    bool m_refused = false;
};
