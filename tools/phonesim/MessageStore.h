// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/common/SyntheticMessages.h"

#include <QMutex>

// The phone's messages, shared by every channel thread and the emulated device's content providers:
// loading channels read a snapshot, receiving channels append and save into the message file (when
// one was given).
class MessageStore
{
public:
    MessageStore(QList<SimMessage> messages, QString path);

    QList<SimMessage> snapshot() const;
    // What the companion hands over on a loading channel: the received and sent text messages.
    QList<SimMessage> textSnapshot() const;
    void append(const QList<SimMessage>& messages);
    // Writes the message file; false with the reason when there is none or it cannot be written.
    bool save(QString* error);

private:
    mutable QMutex m_mutex;
    QList<SimMessage> m_messages;
    QString m_path;
};
