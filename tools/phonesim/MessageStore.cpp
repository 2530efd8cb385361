// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/MessageStore.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

MessageStore::MessageStore(QList<SimMessage> messages, QString path)
    : m_messages(std::move(messages))
    , m_path(std::move(path))
{
}

QList<SimMessage> MessageStore::snapshot() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QList<SimMessage> MessageStore::textSnapshot() const
{
    const QList<SimMessage> all = snapshot();
    const auto isText = [](const SimMessage& m) { return !m.mms && inVisibleBox(m); };
    if (std::all_of(all.cbegin(), all.cend(), isText))
        return all;
    QList<SimMessage> texts;
    std::copy_if(all.cbegin(), all.cend(), std::back_inserter(texts), isText);
    return texts;
}

void MessageStore::append(const QList<SimMessage>& messages)
{
    QMutexLocker lock(&m_mutex);
    m_messages += messages;
}

bool MessageStore::save(QString* error)
{
    QMutexLocker lock(&m_mutex);
    if (m_path.isEmpty()) {
        *error = QStringLiteral("no message file given (--messages); messages kept in memory only");
        return false;
    }
    try {
        saveMessages(m_path, m_messages);
    } catch (const std::exception& e) {
        *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}
