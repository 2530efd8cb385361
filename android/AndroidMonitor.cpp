// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidMonitor.h"

#include "android/AdbCommands.h"
#include "android/AndroidLog.h"

#include <QDeadlineTimer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QDir>

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h must precede shellapi.h, so the order is kept by hand.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

namespace {

// adb announces a server it started ("* daemon started successfully") and says nothing when one was
// running already; anything else means adb could not bring one up by itself.
bool serverStartedFresh(const QString& startOutput)
{
    return startOutput.contains(QLatin1String("daemon started successfully"), Qt::CaseInsensitive);
}

#ifdef Q_OS_WIN
// Starts the maker's device manager (it brings up the USB drivers and the server) and waits for it
// a little. A missing program fails silently.
void launchDeviceManager()
{
    const QString path = QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("QuillbarrowDeviceManager.exe")));
    const std::wstring file = path.toStdWString();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = 0x40;
    info.hwnd = GetActiveWindow();
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = 0;
    if (ShellExecuteExW(&info) && info.hProcess) {
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
    }
}
#endif

} // namespace

AndroidMonitor::AndroidMonitor(QObject* parent, int pollIntervalMs)
    : QThread(parent)
    , m_pollIntervalMs(pollIntervalMs)
{
    qRegisterMetaType<AdbDevice>("AdbDevice");
}

AndroidMonitor::~AndroidMonitor()
{
    stopRequested = true;
    m_future.waitForFinished();
    // A server that was running before serves other programs too (another window, an IDE, screen
    // mirroring); only one this monitor started goes with it.
    if (m_startedServer)
        killServer();
}

void AndroidMonitor::start()
{
    m_future = QtConcurrent::run(QThreadPool::globalInstance(), [this] { watch(); });
}

QSet<QString> AndroidMonitor::currentKnownSerials() const
{
    const QMutexLocker lock(&m_knownSerialsMutex);
    return knownSerials;
}

void AndroidMonitor::watch()
{
    bool started = serverStartedFresh(startServer());
    if (!started) {
#ifdef Q_OS_WIN
        launchDeviceManager();
#endif
        started = serverStartedFresh(startServer());
    }
    m_startedServer = started;

    while (!stopRequested) {
        poll();
        pause();
    }
}

void AndroidMonitor::poll()
{
    QList<AdbDevice> devices;
    try {
        devices = listDevices();
    } catch (const std::exception& error) {
        // adb failed or wrote to standard error (a server start-up notice): try again next time. A
        // server that went away and came back with this listing was started by this monitor.
        if (serverStartedFresh(QString::fromUtf8(error.what())))
            m_startedServer = true;
        return;
    }

    QSet<QString> currentSerials;
    for (const AdbDevice& device : devices) {
        currentSerials.insert(device.serial);
        if (!knownSerials.contains(device.serial)) {
            m_knownSerialsMutex.lock();
            knownSerials.insert(device.serial);
            m_knownSerialsMutex.unlock();
            emit deviceConnected(device);
        }
    }

    QStringList goneSerials;
    for (const QString& serial : std::as_const(knownSerials)) {
        if (!currentSerials.contains(serial))
            goneSerials.append(serial);
    }
    std::sort(goneSerials.begin(), goneSerials.end());
    for (const QString& serial : std::as_const(goneSerials)) {
        m_knownSerialsMutex.lock();
        knownSerials.remove(serial);
        m_knownSerialsMutex.unlock();
        emit deviceDisconnected(serial);
    }
}

// Sleeps one poll interval in short steps, so that a stop request does not wait the whole interval.
void AndroidMonitor::pause()
{
    const QDeadlineTimer deadline(m_pollIntervalMs);
    while (!stopRequested && !deadline.hasExpired())
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(100, deadline.remainingTime())));
}
