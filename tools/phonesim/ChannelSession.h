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

signals:
    // "$ready:" went out: the channel is open and its listener may stop accepting.
    void readySent();

protected:
    void run() override;

private:
    void send(QTcpSocket& socket, const QString& step, const QString& command, const QString& payload = QString(),
        bool flush = true);
    void closeNow(QTcpSocket& socket, const QString& why);
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
};
