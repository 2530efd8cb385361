// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One window per data folder. The first start takes a lock file in the data folder and listens on a
// local socket named after that folder; a later start finds the lock taken, asks the running window
// through the socket to come forward and ends. Two windows on one folder would load the same phone
// into one cache and write the same databases from two processes.
class InstanceGuard : public QObject
{
    Q_OBJECT

public:
    explicit InstanceGuard(const QDir& dataRoot, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // Takes the lock and, with it, starts listening for later starts. False when another running
    // process holds it. A lock that can not be taken for another reason (a folder that can not be
    // written) does not keep the application from running: true, without the guard.
    bool acquire();

    // For a later start: asks the running process to bring its window forward and waits for its
    // answer. False when no answer came within the time.
    bool askRunningToRaise(int timeoutMs);

    QString lockFilePath() const { return m_lockPath; }
    // The local socket's name: the same for every start with this data folder, different for others.
    QString serverName() const { return m_serverName; }

signals:
    // A later start asked for the window.
    void raiseRequested();

private:
    void onNewConnection();

    QString m_lockPath;
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
