// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStringList>

// Runs qsms-phone-sim for a test: starts it with the given switches, waits for its ready line and
// stops it on destruction. Its standard error (the simulator's log) is kept for failure messages.
class PhoneSimulatorProcess
{
public:
    PhoneSimulatorProcess() = default;
    ~PhoneSimulatorProcess();
    PhoneSimulatorProcess(const PhoneSimulatorProcess&) = delete;
    PhoneSimulatorProcess& operator=(const PhoneSimulatorProcess&) = delete;

    // Path of the simulator executable built with the project.
    static QString program();

    // False (with the log in lastLog()) when it did not become ready within timeoutMs.
    bool start(const QStringList& arguments, int timeoutMs = 15000);
    void stop();

    quint16 adbPort() const { return m_adbPort; }
    quint16 servicePort() const { return m_servicePort; }
    QString log();

private:
    QProcess m_process;
    QByteArray m_log;
    quint16 m_adbPort = 0;
    quint16 m_servicePort = 0;
};
