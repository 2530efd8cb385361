// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithUSBThread.h"

#include "android/AdbCommands.h"
#include "android/AndroidLog.h"
#include "android/CompanionApp.h"
#include "base/DataFolders.h"
#include "base/TaskReporting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <algorithm>
#include <stdexcept>

AndroidConnectWithUSBThread::AndroidConnectWithUSBThread(
    const QString& serial, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_serial(serial)
{
    m_device.serial = serial;
}

void AndroidConnectWithUSBThread::installCompanion()
{
    const QString resource = companionapp::packageResource();
    const QString target = dataRootDir().absoluteFilePath(QFileInfo(resource).fileName());
    QFile::remove(target);
    if (!QFile::copy(resource, target))
        throw std::runtime_error(QStringLiteral("can not create %1.").arg(target).toStdString());
    // The copy of a resource is read-only; the owner must be able to replace it next time.
    QFile::setPermissions(
        target, QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    installPackage(m_device.serial, target);
    // The pause is cut short by a cancel, which run() looks at next.
    QDeadlineTimer settled(m_installSettleMs);
    while (!settled.hasExpired() && !progress()->cancelled)
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(settled.remainingTime(), 100)));
}

void AndroidConnectWithUSBThread::readDirectly()
{
    m_adviseOnFailure = false;
    checkCancelled();
    reportStatus(tr("IDS_GET_ANDROID_DEVICE_INFO"), 99);
    directphone::describe(m_device);
}

QString AndroidConnectWithUSBThread::work()
{
    using directphone::UsbRoad;
    m_adviseOnFailure = true;
    m_device = AndroidDevice();
    m_device.serial = m_serial;
    if (m_road == UsbRoad::Direct) {
        readDirectly();
        return QString();
    }
    reportStatus(tr("IDS_CHECKING_APK_INSTALL"), -1);
    const QSet<QString> packages = listPackages(m_device.serial);
    // An empty list means the phone could not be asked; the greeting then tells whether the app is there.
    if (!packages.isEmpty() && !packages.contains(companionapp::packageName())) {
        checkCancelled();
        // A real phone refuses the placeholder that stands in for the app in this build.
        if (m_road == UsbRoad::Automatic && directphone::bundledPackageIsPlaceholder()) {
            readDirectly();
            return QString();
        }
        try {
            installCompanion();
        } catch (const std::exception& error) {
            if (m_road == UsbRoad::Automatic) {
                qCWarning(lcAndroid, "installing the companion failed, the phone is read directly: %s", error.what());
                readDirectly();
                return QString();
            }
            m_adviseOnFailure = false;
            throw std::runtime_error(
                (QStringLiteral("Please go to Google Play on your Android Phone to download and install "
                                "Quillbarrow SMS Agent first and then try again. <br/><br/>Error:")
                    + exceptionText(error))
                    .toStdString());
        }
    }
    checkCancelled();

    reportStatus(tr("IDS_GET_ANDROID_DEVICE_INFO"), 99);
    companionapp::readGreeting(m_device, m_socket);
    m_adviseOnFailure = false;
    companionapp::checkGreeting(m_device);
    // The greeting does not carry it; it preselects the country when the phone's code is unusable.
    m_device.simCountry = directphone::readSimCountry(m_device.serial);
    return QString();
}

void AndroidConnectWithUSBThread::abandon()
{
    if (m_socket)
        m_socket->deleteLater();
    m_socket = nullptr;
}

QString AndroidConnectWithUSBThread::errorText(const std::exception& error) const
{
    if (!m_adviseOnFailure)
        return exceptionText(error);
    const QString deviceManager
        = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("QuillbarrowDeviceManager.exe"));
    return QStringLiteral("Please try the following:<br/><br/>")
        + QStringLiteral("1 Go to Google Play on your phone to download and installed the latest version "
                         "Quillbarrow SMS Agent.<br/><br/>")
        + QStringLiteral("2 click <a href=\"file:///%1\"><b>HERE</b></a> to run Quillbarrow Device "
                         "Manager and then restart your phone to try again.<br/><br/>")
              .arg(deviceManager)
        + exceptionText(error);
}
