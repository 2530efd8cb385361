// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DeviceFlowController.h"

#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidMonitor.h"
#include "ops/CountryCodes.h"
#include "ops/MessageSources.h"
#include "ops/ReadMessagesThread.h"
#include "ops/SearchIndexUpdates.h"
#include "store/IOS6MessageDb.h"
#include "ui/DeviceFlowHost.h"
#include "ui/MainWindowHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/UiLog.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {

const QLatin1String usbDebuggingPage("https://www.quillbarrow.com/android/enable-usb-debugging.html");
#ifdef Q_OS_WIN
const QLatin1String usbDriverPage("https://www.quillbarrow.com/android/usb-driver.html");
#endif

} // namespace

DeviceFlowController::DeviceFlowController(DeviceFlowHost* host)
    : m_host(host)
{
}

void DeviceFlowController::leaveCommand()
{
    // The reports run from the event loop, once whatever called the command has returned too.
    if (--m_commandDepth == 0 && !m_pendingDeviceEvents.isEmpty())
        QMetaObject::invokeMethod(this, &DeviceFlowController::runPendingDeviceEvents, Qt::QueuedConnection);
}

void DeviceFlowController::runDeviceReport(std::function<void()> report)
{
    m_pendingDeviceEvents.append(std::move(report));
    runPendingDeviceEvents();
}

void DeviceFlowController::runPendingDeviceEvents()
{
    while (m_commandDepth == 0 && !m_pendingDeviceEvents.isEmpty()) {
        enterCommand();
        const std::function<void()> report = m_pendingDeviceEvents.takeFirst();
        try {
            report();
        } catch (...) {
            leaveCommand();
            throw;
        }
        leaveCommand();
    }
}

void DeviceFlowController::deviceConnected(const AdbDevice& adbDevice)
{
    runDeviceReport([this, adbDevice] { connectUsbDevice(adbDevice); });
}

void DeviceFlowController::deviceDisconnected(const QString& deviceId)
{
    runDeviceReport([this, deviceId] {
        ItemModelMain* model = m_host->mainModel();
        for (_ItemNode* child : std::as_const(model->rootDevice()->children)) {
            if (child->type == _ItemNode::TypeAndroidDevice
                && static_cast<_AndroidDeviceItemNode*>(child)->device.deviceId() == deviceId) {
                m_host->removeSourceNode(static_cast<_AbsDBItemNode*>(child));
                return;
            }
        }
    });
}

void DeviceFlowController::connectUsbDevice(const AdbDevice& adbDevice)
{
    if (!adbDevice.isOnline()) {
        // The listing line comes from the device, and the box shows rich text.
        showWarningBox(QStringLiteral("If you are presented with the pop up to allow debugging with the computer on "
                                      "your Android device screen. Please simply check \"Always allow from this "
                                      "computer\" and then click \"OK\" to finish.<br/>(%1)")
                           .arg(escapeMarkup(adbDevice.line)));
    }
    ProgressForm progress(
        QCoreApplication::translate("MainWindow", "IDS_CONNECTING_ANDROID_DEVICE"), m_host->dialogParent());
    AndroidConnectWithUSBThread thread(adbDevice.serial, &progress);
    if (runWorkerWithDialog(thread, progress))
        loadDevice(thread.device());
}

bool DeviceFlowController::checkCountry(AndroidDevice& device)
{
    // A library that can not be read leaves the choice to the person.
    try {
        if (isKnownCountry(device.mmc))
            return true;
    } catch (const std::exception& error) {
        qCWarning(lcUi, "country library not readable: %s", error.what());
    }
    showInfoBox(QCoreApplication::translate("MainWindow", "IDS_ANDROID_%1_CANT_READ_MMC_NUMBER"));
    CountrySelForm form(m_host->dialogParent(), device.simCountry);
    if (form.exec() != QDialog::Accepted)
        return false;
    device.mmc = form.code();
    return true;
}

_AndroidDeviceItemNode* DeviceFlowController::loadDevice(AndroidDevice device)
{
    // Nothing is loaded yet, so a cancelled country ends the load and leaves the tree as it was.
    if (!checkCountry(device))
        return nullptr;

    {
        ProgressForm progress(
            QCoreApplication::translate("MainWindow", "IDS_ANDROID_LOADING_SMS"), m_host->dialogParent());
        AndroidLoadSMSThread thread(device, &progress);
        if (!runWorkerWithDialog(thread, progress))
            return nullptr;
    }
    updateSearchIndexLater(device.cacheDir());

    // Read before the tree changes, so that a cache that can not be read leaves the old node.
    const QSharedPointer<IOS6MessageDb> db = openMessageStore(deviceCacheSource(device));
    const _MsgCollection chats;
    StoreRead read;
    read.chats = true;
    read.messages = false;
    if (!m_host->readStore(*db, chats, read))
        return nullptr;
    m_host->removeDeviceNodeByUid(device.uid);
    ItemModelMain* model = m_host->mainModel();
    _AndroidDeviceItemNode* node = model->addAndroidDevice(db, device);
    node->collection = chats;
    node->loadedCacheTime = QFileInfo(db->dbPath()).lastModified();
    model->rebuildConversations(node);
    m_host->selectNode(node);
    return node;
}

void DeviceFlowController::showUsbTips()
{
    if (!m_host->monitor()->currentKnownSerials().isEmpty())
        return;
    QString tips = QStringLiteral("<b>Android device not found.</b><br/><br/>")
        + QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>")
        + QStringLiteral("* Enable USB debugging on your Android device. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(usbDebuggingPage);
#ifdef Q_OS_WIN
    QString program = QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("QuillbarrowDeviceManager.exe")));
    // "file:///" already ends in the root's slash.
    if (program.startsWith(QLatin1Char('/')))
        program.remove(0, 1);
    tips += QStringLiteral("* Install USB driver software on your computer. <a href=\"%1\">How to</a>?<br/><br/>")
                .arg(usbDriverPage)
        + QStringLiteral("* Click <a href=\"file:///%1\">HERE</a> to run Quillbarrow Device Manager to try "
                         "again.<br/><br/>")
              .arg(escapeMarkup(program));
#else
    // Without a udev rule adb sees the phone only as root, or lists it with "no permissions".
    tips += QStringLiteral("* Allow your user to reach the phone over USB: install the "
                           "android-sdk-platform-tools-common package, whose udev rule gives the plugdev group "
                           "access to Android devices, add yourself to the plugdev group (sudo usermod -aG plugdev "
                           "$USER), log in again and plug the phone in again.<br/><br/>");
#endif
    tips += QStringLiteral("* Or connect without a cable: with the phone and this computer on the same WiFi "
                           "network, choose Tools &gt; Connect Android Phone via WiFi.<br/><br/>");
    showInfoBox(tips);
}
