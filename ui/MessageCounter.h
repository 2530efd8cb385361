// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QHash>
#include <QObject>
#include <QThreadPool>

#include <memory>

class ProgressReceiver;

// Counts the messages of local databases on a thread of its own, one store after the other, so that
// the tree shows at once and a large store (or one whose count never ends) never holds up the window.
// Each count reads the store through a connection of its own; going away cancels the running count.
class MessageCounter : public QObject
{
    Q_OBJECT

public:
    explicit MessageCounter(QObject* parent = nullptr);
    ~MessageCounter() override;

    // Counts the store of the folder; a count asked for again before the earlier one ended replaces it.
    void count(const QDir& folder);

signals:
    // The folder's message count, or -1 when its store could not be read.
    void counted(const QString& folder, qint64 count);

private:
    void deliver(const QString& folder, quint64 request, qint64 count);

    std::shared_ptr<ProgressReceiver> m_stop;
    QThreadPool m_pool;
    QHash<QString, quint64> m_latest;
    quint64 m_requests = 0;
};
