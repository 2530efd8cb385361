// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/ChannelListener.h"

#include "tools/phonesim/ChannelSession.h"
#include "tools/phonesim/SimLog.h"

ChannelListener::ChannelListener(const QString& kind, const CompanionSettings& settings,
                                 QSharedPointer<MessageStore> store, QObject* parent)
    : QTcpServer(parent)
    , m_kind(kind)
    , m_settings(settings)
    , m_store(std::move(store))
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(60000);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        simLog(QStringLiteral("%1 listener on port %2: nobody connected, closing").arg(m_kind).arg(serverPort()));
        retire();
    });
    m_idle.start();
}

void ChannelListener::retire()
{
    m_idle.stop();
    close();
    deleteLater();
}

void ChannelListener::incomingConnection(qintptr descriptor)
{
    m_idle.start();
    auto* session = new ChannelSession(m_kind, descriptor, m_settings, m_store);
    connect(session, &QThread::finished, session, &QObject::deleteLater);
    connect(session, &ChannelSession::readySent, this, &ChannelListener::retire);
    session->start();
}
