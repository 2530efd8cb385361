// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AdbDevice.h"

#include <QFuture>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>

#include <atomic>

// Watches which devices adb lists and reports each serial once when it appears and once when it is
// gone. The polling loop runs on the application-wide thread pool; the signals reach receivers in
// other threads by queued delivery. Destroying the monitor ends the loop and stops the adb server
// when the monitor started it.
class AndroidMonitor : public QThread
{
    Q_OBJECT

public:
    static constexpr int defaultPollIntervalMs = 3000;

    explicit AndroidMonitor(QObject* parent = nullptr, int pollIntervalMs = defaultPollIntervalMs);
    ~AndroidMonitor() override;

    // Hands the polling loop to the global thread pool and returns at once.
    void start();

    // The serials reported as connected and not yet as gone, read safely from any thread.
    QSet<QString> currentKnownSerials() const;

signals:
    void deviceConnected(const AdbDevice& dev);
    void deviceDisconnected(QString devid);

private:
    void watch();
    void poll();
    void pause();

    std::atomic<bool> stopRequested { false };
    // Set by the loop when one of its own adb calls started the server; read after the loop ended.
    std::atomic<bool> m_startedServer { false };
    QSet<QString> knownSerials;
    mutable QMutex m_knownSerialsMutex; // the loop writes knownSerials while the window may read it
    QFuture<void> m_future;
    const int m_pollIntervalMs;
};
