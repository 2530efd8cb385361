// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

// The switches of one simulated phone, named instead of spelled out. The road comes first: over USB
// the emulated device and the line service take free ports; over WiFi the service listens where the
// desktop dials. Switches without a setter (fault injection from a data column) go in with().
class SimulatorOptions
{
public:
    static SimulatorOptions usb();
    static SimulatorOptions wifi(quint16 port);
    // The desktop's WiFi service port.
    static SimulatorOptions wifi();

    SimulatorOptions& messages(const QString& file) { return add(QStringLiteral("--messages"), file); }
    SimulatorOptions& generate(int count) { return add(QStringLiteral("--generate"), QString::number(count)); }
    SimulatorOptions& packages(const QString& list) { return add(QStringLiteral("--packages"), list); }
    SimulatorOptions& imei(const QString& imei) { return add(QStringLiteral("--imei"), imei); }
    SimulatorOptions& mmc(const QString& mcc) { return add(QStringLiteral("--mmc"), mcc); }
    SimulatorOptions& uid(const QString& uid) { return add(QStringLiteral("--uid"), uid); }
    SimulatorOptions& maker(const QString& manufacturer, const QString& model)
    {
        return add(QStringLiteral("--manufacturer"), manufacturer).add(QStringLiteral("--model"), model);
    }
    SimulatorOptions& holdAt(const QString& step) { return add(QStringLiteral("--hold-at"), step); }
    SimulatorOptions& errorAt(const QString& step, const QString& text = QString());
    SimulatorOptions& companionVersion(int version);
    SimulatorOptions& verbose() { return with({ QStringLiteral("--verbose") }); }
    SimulatorOptions& with(const QStringList& switches);

    QStringList arguments() const { return m_arguments; }

private:
    SimulatorOptions& add(const QString& name, const QString& value) { return with({ name, value }); }

    QStringList m_arguments;
};

// Runs qsms-phone-sim for a test: starts it with the given switches, waits for its ready line and
// stops it on destruction. Its standard error (the simulator's log) goes to a file, kept for
// failure messages: a pipe nobody reads while a test blocks would stall the simulator once full.
// The simulator refuses what a real companion would refuse and counts each protocol violation of
// the desktop; stopping it fails the running test when there was any.
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
    bool start(const SimulatorOptions& options, int timeoutMs = 15000) { return start(options.arguments(), timeoutMs); }
    // Ends the simulator once its channels have read the desktop's last lines, and fails the running
    // test with the simulator's own words when the desktop broke the protocol.
    void stop();
    // Ends the simulator like stop() and returns its protocol violations instead of failing.
    QStringList stopAndTakeViolations();

    quint16 adbPort() const { return m_adbPort; }
    quint16 servicePort() const { return m_servicePort; }
    QString log();

private:
    QProcess m_process;
    QTemporaryFile m_log;
    quint16 m_adbPort = 0;
    quint16 m_servicePort = 0;
};
