// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PhoneSimulatorProcess.h"

#include "android/AndroidDevice.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

SimulatorOptions SimulatorOptions::usb()
{
    return SimulatorOptions().with(
        { QStringLiteral("--adb-port"), QStringLiteral("0"), QStringLiteral("--port"), QStringLiteral("0") });
}

SimulatorOptions SimulatorOptions::wifi(quint16 port)
{
    return SimulatorOptions().add(QStringLiteral("--port"), QString::number(port));
}

SimulatorOptions SimulatorOptions::wifi()
{
    return wifi(AndroidDevice::wifiServicePort);
}

SimulatorOptions& SimulatorOptions::errorAt(const QString& step, const QString& text)
{
    add(QStringLiteral("--error-at"), step);
    return text.isNull() ? *this : add(QStringLiteral("--error-text"), text);
}

SimulatorOptions& SimulatorOptions::companionVersion(int version)
{
    return add(QStringLiteral("--companion-version"), QString::number(version));
}

SimulatorOptions& SimulatorOptions::with(const QStringList& switches)
{
    m_arguments += switches;
    return *this;
}

PhoneSimulatorProcess::~PhoneSimulatorProcess()
{
    stop();
}

QString PhoneSimulatorProcess::program()
{
    const QByteArray dir = qgetenv("QSMS_TOOLS_DIR");
    return QDir(QString::fromLocal8Bit(dir)).absoluteFilePath(QStringLiteral("qsms-phone-sim"));
}

bool PhoneSimulatorProcess::start(const QStringList& arguments, int timeoutMs)
{
    stop();
    if (!m_log.isOpen() && !m_log.open())
        return false;
    m_process.setStandardErrorFile(m_log.fileName());
    m_process.setProgram(program());
    m_process.setArguments(QStringList { QStringLiteral("--until-stdin-closes") } + arguments);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs))
        return false;

    static const QRegularExpression readyLine(QStringLiteral("^ready adb=(\\d+) service=(\\d+)"));
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const auto match = readyLine.match(line);
            if (match.hasMatch()) {
                m_adbPort = static_cast<quint16>(match.captured(1).toUInt());
                m_servicePort = static_cast<quint16>(match.captured(2).toUInt());
                return true;
            }
        }
        if (m_process.state() != QProcess::Running)
            break;
    }
    return false;
}

QStringList PhoneSimulatorProcess::stopAndTakeViolations()
{
    if (m_process.state() == QProcess::NotRunning)
        return {};
    // Closing its input asks the simulator to finish and report; a simulator that does not answer
    // in time is killed, and then reports nothing.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    static const QRegularExpression violationLine(QStringLiteral("protocol violation: ([^\n]*)"));
    QStringList violations;
    for (auto it = violationLine.globalMatch(log()); it.hasNext();)
        violations << it.next().captured(1);
    return violations;
}

void PhoneSimulatorProcess::stop()
{
    const QStringList violations = stopAndTakeViolations();
    if (violations.isEmpty())
        return;
    const QString text = QStringLiteral("the phone simulator saw the desktop break the protocol:\n  ")
        + violations.join(QStringLiteral("\n  "));
    if (QTest::currentTestFunction())
        QTest::qFail(qUtf8Printable(text), __FILE__, __LINE__);
    else
        qWarning("%s", qUtf8Printable(text));
}

QString PhoneSimulatorProcess::log()
{
    if (!m_log.isOpen())
        return QString();
    QFile file(m_log.fileName());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
