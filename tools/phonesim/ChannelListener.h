// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/phonesim/CompanionSettings.h"

#include <QSharedPointer>
#include <QTcpServer>
#include <QTimer>

class MessageStore;

// Listens for the connection of one requested channel. Every connection gets a ChannelSession;
// listening stops once a session has sent "$ready:" (the desktop may retry before that) or when
// nobody connects for a minute.
class ChannelListener : public QTcpServer
{
    Q_OBJECT

public:
    ChannelListener(const QString& kind, const CompanionSettings& settings, QSharedPointer<MessageStore> store,
                    QObject* parent = nullptr);

    const QString& kind() const { return m_kind; }
    // Stops listening and deletes itself later.
    void retire();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QString m_kind;
    CompanionSettings m_settings;
    QSharedPointer<MessageStore> m_store;
    QTimer m_idle;
};
