// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of the window that work on the tree and the program rather than on messages: import,
// WiFi, disconnect, reload, folders, the cache, help, feedback and about.
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/AndroidMonitor.h"
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "ops/SearchIndexUpdates.h"
#include "store/IOS6MessageDb.h"
#include "ui/DeviceFlowController.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SaveFileDialog.h"
#include "ui/ShellOpen.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/AboutUsForm.h"
#include "ui/dialogs/AndroidWIFIForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>

namespace {

// The issue tracker the package's metadata names (its home page when it names none): installed under
// share/metainfo, or made in the build folder's dist/ when the program runs from there.
QString issuePage()
{
    const QString file = QStringLiteral("com.quillbarrow.smsdesk.metainfo.xml");
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate : { QStringLiteral("../share/metainfo/"), QStringLiteral("dist/") }) {
        QFile metadata(programDir.absoluteFilePath(candidate + file));
        if (!metadata.open(QIODevice::ReadOnly))
            continue;
        QString tracker;
        QString home;
        QXmlStreamReader xml(&metadata);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("url"))
                continue;
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString address = xml.readElementText().trimmed();
            if (type == QLatin1String("bugtracker"))
                tracker = address;
            else if (type == QLatin1String("homepage"))
                home = address;
        }
        const QString page = tracker.isEmpty() ? home : tracker;
        if (page.startsWith(QLatin1String("https://")) || page.startsWith(QLatin1String("http://")))
            return page;
    }
    return QString();
}

} // namespace

void MainWindow::miImportXml()
{
    const CommandScope scope(this);
    const QString file = getOpenFileName(this, tr("Please select an XML backup file."),
        rememberedFolder(importFolderKey).absolutePath(), tr("XML Backup(*.xml)"));
    if (file.isEmpty())
        return;
    rememberFolder(importFolderKey, QFileInfo(file).absolutePath());
    importXmlBackup(file);
}

void MainWindow::miConnectWifi()
{
    const CommandScope scope(this);
    AndroidWIFIForm form(this);
    if (form.exec() != QDialog::Accepted)
        return;
    removeDeviceNodeByUid(form.device().uid);
    androidDeviceLoad(form.device());
}

void MainWindow::miUnmoutDevice()
{
    // The selected node itself: offline devices all share the empty device id.
    if (_AbsDBItemNode* node = asSource(currentNode(), _ItemNode::TypeAndroidDevice))
        removeSourceNode(node);
}

void MainWindow::miReload()
{
    const CommandScope scope(this);
    _ItemNode* node = currentNode();
    if (node && node->type == _ItemNode::TypeChatSession)
        node = node->parent;
    if (!node)
        return;
    switch (node->type) {
    case _ItemNode::TypeRootDevice: {
        // Every phone adb lists is loaded again: one that was disconnected, whose load was cancelled or
        // whose connection was lost stays in the listing, so the monitor never reports it a second time.
        const QSet<QString> known = m_monitor->currentKnownSerials();
        QStringList serials(known.cbegin(), known.cend());
        serials.sort();
        for (const QString& serial : std::as_const(serials))
            m_deviceFlow->connectUsbDevice(AdbDevice { serial, serial, QStringLiteral("device") });
        break;
    }
    case _ItemNode::TypeRootLocalDb:
        addNewLocalDatabases();
        break;
    case _ItemNode::TypeAndroidDevice: {
        const AndroidDevice device = static_cast<_AndroidDeviceItemNode*>(node)->device;
        if (device.wifi) {
            ProgressForm progress(tr("IDS_CONNECTING_ANDROID_DEVICE"), this);
            AndroidConnectWithWiFiThread thread(device.host, &progress);
            if (runWorkerWithDialog(thread, progress))
                m_deviceFlow->loadDevice(thread.device());
        } else if (!device.serial.isEmpty()) {
            m_deviceFlow->connectUsbDevice(AdbDevice { device.serial, device.serial, QStringLiteral("device") });
        } else {
            // An offline phone is a folder on this computer: its store is read again.
            rereadNode(static_cast<_AbsDBItemNode*>(node), false);
        }
        break;
    }
    case _ItemNode::TypeLocalDb:
        rereadNode(static_cast<_AbsDBItemNode*>(node), true);
        break;
    default:
        break;
    }
}

void MainWindow::miViewCache()
{
    if (const auto* node = asSource(currentNode(), _ItemNode::TypeAndroidDevice))
        showFolder(static_cast<const _AndroidDeviceItemNode*>(node)->device.cacheDir().absolutePath());
}

void MainWindow::miOpenDbFolder()
{
    showFolder(localDatabasesDir().absolutePath());
}

void MainWindow::showFolder(const QString& path)
{
    const CommandScope scope(this);
    if (!openFolderInExplorer(path))
        showInfoBox(tr("No file manager is installed to show the folder %1.")
                        .arg(QDir::toNativeSeparators(path).toHtmlEscaped()));
}

void MainWindow::miClearCache()
{
    const CommandScope scope(this);
    // The phones' nodes keep their messages in memory; their caches are gone, and a transfer to one
    // of them loads the phone first.
    for (_ItemNode* child : std::as_const(m_modelMain->rootDevice()->children)) {
        if (child->type != _ItemNode::TypeAndroidDevice)
            continue;
        auto* device = static_cast<_AndroidDeviceItemNode*>(child);
        if (device->loadedCacheTime.isValid()) {
            device->db->close();
            device->loadedCacheTime = QDateTime();
        }
    }
    stopSearchIndexUpdate(QDir(dataRootDir().filePath(QStringLiteral("android_cache"))));
    removeFolderOrLink(dataRootDir().filePath(QStringLiteral("android_cache")));
    showInfoBox(tr("IDS_SUC_CLEAR_CACHE"));
}

void MainWindow::miHelp()
{
    // The README that the package installs beside the program's other documents, or the one at the top
    // of the source tree when the program runs from its build folder.
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate : { QStringLiteral("../share/doc/quillbarrow-sms-desk/README.md"),
             QStringLiteral("../README.md"), QStringLiteral("README.md") }) {
        const QString path = QDir::cleanPath(programDir.absoluteFilePath(candidate));
        if (QFileInfo(path).isFile()) {
            if (!shellOpen(path))
                showInfoBox(
                    tr("No program is installed to open %1.").arg(QDir::toNativeSeparators(path).toHtmlEscaped()));
            return;
        }
    }
    showInfoBox(tr("The manual is not installed. The command line explains itself with quillbarrow-sms --help, and "
                   "man quillbarrow-sms shows its manual page where it is installed."));
}

void MainWindow::miFeedback()
{
    const QString page = issuePage();
    if (page.isEmpty()) {
        showInfoBox(tr("The package names no page for feedback."));
        return;
    }
    if (!shellOpen(page))
        showInfoBox(tr("No web browser is installed to open %1.").arg(page.toHtmlEscaped()));
}

void MainWindow::miAbout()
{
    const CommandScope scope(this);
    AboutUsForm form(this);
    form.exec();
}
