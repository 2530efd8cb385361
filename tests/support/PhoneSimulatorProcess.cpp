// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PhoneSimulatorProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>

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
    m_log.clear();
    m_process.setProgram(program());
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs))
        return false;

    static const QRegularExpression readyLine(QStringLiteral("^ready adb=(\\d+) service=(\\d+)"));
    QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
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

void PhoneSimulatorProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    if (m_process.isOpen())
        m_log += m_process.readAllStandardError();
}

QString PhoneSimulatorProcess::log()
{
    m_log += m_process.readAllStandardError();
    return QString::fromUtf8(m_log);
}
