// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/AndroidMonitor.h"
#include "android/AndroidRestoreSMSThread.h"
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "ops/BackupSMSThread.h"
#include "ops/DeleteMessagesThread.h"
#include "ops/ExportSMSThread.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/XmlImportThread.h"
#include "store/IOS6MessageDb.h"
#include "ui/CommandRules.h"
#include "ui/ExportResultBox.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SMSPrinter.h"
#include "ui/SaveFileDialog.h"
#include "ui/ShellOpen.h"
#include "ui/UiLog.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/AboutUsForm.h"
#include "ui/dialogs/AndroidWIFIForm.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/dialogs/DataSourceSelForm.h"
#include "ui/dialogs/DeleteConfirmation.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QToolBar>
#include <QXmlStreamReader>
#include <QtDebug>

#include <exception>

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

_AbsDBItemNode* asSource(_ItemNode* node, int type)
{
    return node && node->type == type ? static_cast<_AbsDBItemNode*>(node) : nullptr;
}

// Drops deleted messages from the records they belong to and destroys them.
void forgetMessages(_MsgCollection records, const QList<_MsgMessage*>& deleted)
{
    for (const _MsgMessage* message : deleted)
        records.removeMessage(message->rowid);
}

// The chat_identifier of a conversation node; a null text for any other node.
QString conversationIdentifier(const _ItemNode* node)
{
    if (!node || node->type != _ItemNode::TypeChatSession)
        return QString();
    const auto* chat = static_cast<const _ChatSessionItemNode*>(node);
    return chat->group.isEmpty() ? QString() : chat->group.first()->chat_identifier;
}

const QLatin1String exportFolderKey("dialogs/exportFolder");
const QLatin1String importFolderKey("dialogs/importFolder");

// The folder a file dialog opened in last time, while it still exists; the home folder otherwise.
QDir rememberedFolder(const QLatin1String& key)
{
    const QString folder = QSettings(settingsFilePath(), QSettings::IniFormat).value(key).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? QDir(folder) : QDir::home();
}

void rememberFolder(const QLatin1String& key, const QString& folder)
{
    QSettings(settingsFilePath(), QSettings::IniFormat).setValue(key, folder);
}

// A name from a phone or an address book as part of a file name: characters that no file system or
// shell takes well become '_'.
QString fileNamePart(const QString& name)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString part = name.trimmed();
    part.replace(unsafe, QStringLiteral("_"));
    while (part.startsWith(QLatin1Char('.')))
        part.remove(0, 1);
    return part.left(60);
}

} // namespace

// The families. miX() picks the scope; miXSel(), miXChat() and miXAll() each name theirs.

void MainWindow::miBackup()
{
    runFamily(&MainWindow::miBackupSel, &MainWindow::miBackupChat, &MainWindow::miBackupAll);
}
void MainWindow::miBackupSel()
{
    backupMessages(selectedOfList());
}
void MainWindow::miBackupChat()
{
    backupMessages(shownOfList());
}
void MainWindow::miBackupAll()
{
    runOnAllOfSource(&MainWindow::backupMessages);
}

void MainWindow::miExport()
{
    runFamily(&MainWindow::miExportSel, &MainWindow::miExportChat, &MainWindow::miExportAll);
}
void MainWindow::miExportSel()
{
    exportMessages(selectedOfList());
}
void MainWindow::miExportChat()
{
    exportMessages(shownOfList());
}
void MainWindow::miExportAll()
{
    runOnAllOfSource(&MainWindow::exportMessages);
}

void MainWindow::miPrint()
{
    runFamily(&MainWindow::miPrintSel, &MainWindow::miPrintChat, &MainWindow::miPrintAll);
}
void MainWindow::miPrintSel()
{
    printMessages(selectedOfList());
}
void MainWindow::miPrintChat()
{
    printMessages(shownOfList());
}
void MainWindow::miPrintAll()
{
    runOnAllOfSource(&MainWindow::printMessages);
}

void MainWindow::miDb2A()
{
    runFamily(&MainWindow::miDb2ASel, &MainWindow::miDb2AChat, &MainWindow::miDb2AAll);
}
void MainWindow::miDb2ASel()
{
    transferMessages(selectedOfList());
}
void MainWindow::miDb2AChat()
{
    transferMessages(shownOfList());
}
void MainWindow::miDb2AAll()
{
    runOnAllOfSource(&MainWindow::transferMessages);
}

void MainWindow::miA2A()
{
    miDb2A();
}
void MainWindow::miA2ASel()
{
    miDb2ASel();
}
void MainWindow::miA2AChat()
{
    miDb2AChat();
}
void MainWindow::miA2AAll()
{
    miDb2AAll();
}

void MainWindow::miDel()
{
    runFamily(&MainWindow::miDelSel, &MainWindow::miDelChat, &MainWindow::miDelAll);
}

void MainWindow::runFamily(
    void (MainWindow::*onSelection)(), void (MainWindow::*onConversation)(), void (MainWindow::*onAll)())
{
    if (m_treeViewSMS && m_treeViewSMS->selectionModel() && m_treeViewSMS->selectionModel()->hasSelection()) {
        (this->*onSelection)();
        return;
    }
    _ItemNode* node = currentNode();
    if (!node)
        return;
    // A filtered list is what the command takes, whatever the tree has chosen; when it shows nothing
    // there is nothing to take.
    if (listFiltered() && shownMessages().isEmpty())
        return;
    if (listFiltered() && onConversation == &MainWindow::miDelChat)
        deleteListed(shownOfList());
    else if (node->type == _ItemNode::TypeChatSession || listFiltered())
        (this->*onConversation)();
    else
        (this->*onAll)();
}

void MainWindow::runOnAllOfSource(void (MainWindow::*command)(const CommandMessages&))
{
    // Reading the source may show an error box.
    const CommandScope scope(this);
    CommandMessages all = allOfSource();
    if (limitAllToDates(all) && !all.messages.isEmpty())
        (this->*command)(all);
}

void MainWindow::backupMessages(const CommandMessages& input)
{
    const CommandScope scope(this);
    if (!input.node)
        return;

    _AbsDBItemNode* target = chooseLocalDb(input.node->name + QStringLiteral("_Backup"), nullptr);
    if (!target)
        return;
    target->db->close();

    ProgressForm progress(QString(), this);
    BackupSMSThread thread(input.messages, target->db->folder(), QString(), &progress);
    if (!runWorkerWithDialog(thread, progress))
        return;
    rereadNode(target, true);
}

_AbsDBItemNode* MainWindow::chooseLocalDb(const QString& proposedName, bool* added)
{
    if (added)
        *added = false;
    QStringList names;
    for (const _ItemNode* db : std::as_const(m_modelMain->rootLocalDb()->children))
        names.append(db->name);
    LocalDbSelForm form(names, proposedName, this);
    const QString name = form.chooseName();
    if (name.isEmpty())
        return nullptr;

    _AbsDBItemNode* target = nullptr;
    for (_ItemNode* db : std::as_const(m_modelMain->rootLocalDb()->children)) {
        if (db->name == name) {
            target = static_cast<_AbsDBItemNode*>(db);
            break;
        }
    }
    if (!target) {
        const QString folder = localDatabaseFolder(name);
        if (folder.isEmpty()) {
            showWarningBox(localDbNameProblem(name));
            return nullptr;
        }
        target = m_modelMain->addLocalDb(QSharedPointer<IOS6MessageDb>::create(QDir(folder), QString(), true), name);
        if (added)
            *added = true;
    }
    return target;
}

void MainWindow::importXmlBackup(const QString& file)
{
    bool added = false;
    _AbsDBItemNode* target = chooseLocalDb(QFileInfo(file).completeBaseName(), &added);
    if (!target)
        return;
    // Numbers without a country prefix are stored in the form a load of a phone of that country gives.
    // A database that holds numbers already keeps their country, and the import says so.
    QString storedCountry;
    if (!added && QFileInfo::exists(target->db->dbPath())) {
        try {
            storedCountry = target->db->numberCountry();
        } catch (const std::exception& e) {
            qCWarning(lcUi) << "can not read the country of" << target->db->dbPath() << e.what();
        }
    }
    QString mcc;
    if (storedCountry.isEmpty()) {
        CountrySelForm country(this);
        if (country.exec() != QDialog::Accepted) {
            // A database named just now exists only as its node until something is written.
            if (added && !QFileInfo::exists(target->db->folder().absolutePath()))
                removeSourceNode(target);
            return;
        }
        mcc = country.code();
    }
    target->db->close();

    ProgressForm progress(tr("Importing SMS from the XML backup..."), this);
    XmlImportThread thread(file, target->db->folder(), mcc, &progress);
    if (!runWorkerWithDialog(thread, progress)) {
        // A database the import created is removed again by the import; so goes its node.
        if (added && !QFileInfo::exists(target->db->folder().absolutePath()))
            removeSourceNode(target);
        return;
    }
    rereadNode(target, true);
}

void MainWindow::transferMessages(const CommandMessages& input)
{
    const CommandScope scope(this);
    const auto* sourceDevice
        = static_cast<const _AndroidDeviceItemNode*>(asSource(input.node, _ItemNode::TypeAndroidDevice));

    QList<DataSourceSelForm::Choice> candidates;
    for (_ItemNode* node : std::as_const(m_modelMain->rootDevice()->children)) {
        if (node->type != _ItemNode::TypeAndroidDevice)
            continue;
        const auto* device = static_cast<_AndroidDeviceItemNode*>(node);
        if (sourceDevice && device->device.uid == sourceDevice->device.uid)
            continue;
        candidates.append({ QStringLiteral(":res/android.png"), device->device.displayName(), node });
    }

    DataSourceSelForm form(this);
    auto* target = static_cast<_AndroidDeviceItemNode*>(form.selectOne(tr("IDS_SEL_ONE_ANDROID_DEVICE"), candidates));
    if (!target)
        return;
    // The transfer sends only what the phone's cache lacks: a cache that is gone, or older than the
    // load that made the node, would let it send the phone's own messages a second time.
    const QFileInfo cache(target->db->dbPath());
    if (!target->loadedCacheTime.isValid() || !cache.exists() || cache.lastModified() < target->loadedCacheTime) {
        target = loadDevice(target->device);
        if (!target)
            return;
    }
    target->db->close();

    ProgressForm progress(QString(), this);
    AndroidRestoreSMSThread thread(target->device, input.messages, &progress);
    if (!runWorkerWithDialog(thread, progress))
        return;
    rereadNode(target, false);
}

void MainWindow::exportMessages(const CommandMessages& input)
{
    const CommandScope scope(this);
    const QStringList filters = exportFilters();
    // One conversation's export is named for it, so that several exports side by side stay apart.
    QString conversation;
    const _ItemNode* current = currentNode();
    if (input.node && current && current->type == _ItemNode::TypeChatSession && current->parent == input.node)
        conversation = fileNamePart(current->name);
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString proposed
        = rememberedFolder(exportFolderKey)
              .filePath(conversation.isEmpty() ? QStringLiteral("sms(%1)").arg(time)
                                               : QStringLiteral("sms-%1(%2)").arg(conversation, time));
    QString selectedFilter;
    const QString chosen = getSaveFileName(
        this, tr("IDS_SEL_EXPORT_MESSAGES_PATH"), proposed, filters.join(QStringLiteral(";;")), &selectedFilter);
    if (chosen.isEmpty())
        return;
    rememberFolder(exportFolderKey, QFileInfo(chosen).absolutePath());

    const ExportTarget target = exportTarget(chosen, int(filters.indexOf(selectedFilter)));
    const bool ascending = m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder;
    ProgressForm progress(QString(), this);
    ExportSMSThread thread(input.messages, target.path, target.formatCode, ascending, &progress);
    thread.setSource(exportSource(input));
    thread.setEvidence(target.evidence);
    progress.keepSuccessText(true);
    if (runWorkerWithDialog(thread, progress) && !progress.successText().isEmpty())
        showExportResultBox(progress.successText(), exportResult(target));
}

void MainWindow::printMessages(const CommandMessages& input)
{
    const CommandScope scope(this);
    SMSPrinter printer(this);
    printer.setSource(exportSource(input));
    printer.print(input.messages);
}

ExportSource MainWindow::exportSource(const CommandMessages& input)
{
    ExportSource source;
    if (!input.node)
        return source;
    if (input.node->type == _ItemNode::TypeAndroidDevice) {
        source.kind = ExportSource::Kind::Phone;
        source.name = static_cast<const _AndroidDeviceItemNode*>(input.node)->device.displayName();
    } else {
        source.kind = ExportSource::Kind::Database;
        source.name = input.node->name;
    }
    if (input.db)
        source.file = input.db->dbPath();
    return source;
}

void MainWindow::miDelSel()
{
    deleteListed(selectedOfList());
}

void MainWindow::deleteListed(CommandMessages input)
{
    const CommandScope scope(this);
    if (!input.node && listShowsEverywhere())
        return deleteEverywhere(input.messages);
    _AbsDBItemNode* node = asSource(input.node, _ItemNode::TypeLocalDb);
    // A database that could not be read, or has no conversations, leaves the list with the messages
    // of the node shown before: the tree's current node is then left alone.
    const bool listShowsCurrent = currentSourceNode() == node;
    const QPersistentModelIndex current(m_treeViewDS->currentIndex());
    QList<_MsgMessage*> remaining = shownMessages();
    if (!node || input.messages.isEmpty() || !confirmDeleteSelection(input.messages.size(), node->name))
        return;

    const QList<_MsgMessage*>& deleted = input.messages;
    ProgressForm progress(QString(), this);
    DeleteMessagesThread thread(input.db.data(), &deleted, &progress);
    if (!runWorkerWithDialog(thread, progress))
        return;

    // The list shows the records about to be destroyed; it is rebuilt below.
    const QSet<_MsgMessage*> gone(deleted.cbegin(), deleted.cend());
    remaining.removeIf([&gone](_MsgMessage* message) { return gone.contains(message); });
    clearMessages();
    if (listShowsCurrent)
        m_treeViewDS->setCurrentIndex(QModelIndex());
    const QString currentIdentifier = conversationIdentifier(AbsTreeItemModel::nodeOf(current));
    QSet<_MsgChat*> touched;
    for (const _MsgMessage* message : deleted)
        touched.insert(message->chat);
    forgetMessages(input.records, deleted);

    // The store drops a conversation with its last message; the tree follows.
    QList<qint64> emptied;
    for (const _MsgChat* chat : std::as_const(touched))
        if (chat && chat->messages.isEmpty())
            emptied.append(chat->rowid);
    _ItemNode* reselect = AbsTreeItemModel::nodeOf(current);
    if (!emptied.isEmpty()) {
        for (qint64 rowid : std::as_const(emptied))
            input.records.removeChat(rowid);
        m_modelMain->rebuildConversations(node);
        reselect = node;
        for (_ItemNode* child : std::as_const(node->children))
            if (!currentIdentifier.isNull() && conversationIdentifier(child) == currentIdentifier)
                reselect = child;
    }
    if (listShowsCurrent) {
        m_treeViewDS->setCurrentIndex(m_modelMain->nodeIndex(reselect));
    } else if (!remaining.isEmpty()) {
        m_listSource = node;
        showMessages(remaining);
    }
    countMessages(node);
}

void MainWindow::miDelChat()
{
    const CommandScope scope(this);
    // A filtered list may hold part of the conversation, or other conversations as well: only its
    // messages shown go.
    if (listFiltered()) {
        CommandMessages input = shownOfList();
        if (const _ItemNode* node = currentNode(); node && node->type == _ItemNode::TypeChatSession) {
            const QList<_MsgChat*>& group = static_cast<const _ChatSessionItemNode*>(node)->group;
            input.messages.removeIf([&group](const _MsgMessage* message) { return !group.contains(message->chat); });
        }
        deleteListed(std::move(input));
        return;
    }
    CommandMessages input = shownOfList();
    const QPersistentModelIndex current(m_treeViewDS->currentIndex());
    const _ItemNode* conversation = AbsTreeItemModel::nodeOf(current);
    // Only the conversation that the list shows is deleted.
    _AbsDBItemNode* node = asSource(input.node, _ItemNode::TypeLocalDb);
    if (!conversation || conversation->type != _ItemNode::TypeChatSession || !node || conversation->parent != node)
        return;
    QList<qint64> chats;
    for (const _MsgChat* chat : static_cast<const _ChatSessionItemNode*>(conversation)->group)
        chats.append(chat->rowid);
    if (!confirmDeleteConversation(input.messages.size(), conversation->name, node->name))
        return;

    const QList<_MsgMessage*>& deleted = input.messages;
    ProgressForm progress(QString(), this);
    DeleteMessagesThread thread(input.db.data(), &deleted, &progress);
    if (!runWorkerWithDialog(thread, progress))
        return;

    clearMessages();
    m_treeViewDS->setCurrentIndex(QModelIndex());
    forgetMessages(input.records, deleted);
    // The conversation node points into the records: it goes before them.
    if (current.isValid())
        m_modelMain->removeNode(AbsTreeItemModel::nodeOf(current));
    for (qint64 rowid : std::as_const(chats))
        input.records.removeChat(rowid);
    countMessages(node);
}

void MainWindow::miDelAll()
{
    const CommandScope scope(this);
    if (allTakesDates())
        return deleteAllOfDates();
    _AbsDBItemNode* node = asSource(currentNode(), _ItemNode::TypeLocalDb);
    if (!node || !confirmDeleteDatabase(node->name, storedMessageCount(*node->db)))
        return;

    const QString name = node->name;
    const QString folder = localDatabaseFolder(name);
    if (folder.isEmpty()) {
        showWarningBox(localDbNameProblem(name));
        return;
    }
    m_treeViewDS->setCurrentIndex(QModelIndex());
    node->db->close();
    stopSearchIndexUpdate(node->db->folder());
    // Hidden files (a file browser's .directory) would keep the folder, and the database with it.
    if (!removeFolderOrLink(folder, true)) {
        showErrorBox(tr("IDS_DEL_LOCALDB_%1_FAILED_%2")
                         .arg(name.toHtmlEscaped(), QDir::toNativeSeparators(folder).toHtmlEscaped()));
        return;
    }
    removeSourceNode(node);
    showInfoBox(tr("IDS_DEL_LOCALDB_SUC").arg(name));
}

void MainWindow::rereadNode(_AbsDBItemNode* node, bool withMessages)
{
    // With the node or one of its conversations current, the list shows what is read again here. The current
    // index leaves the node first: the view then never selects it from inside the removal of its
    // conversations, and selectNode() below is a change of selection that shows the node as read now.
    for (const _ItemNode* current = currentNode(); current; current = current->parent) {
        if (current == node) {
            m_treeViewDS->setCurrentIndex(QModelIndex());
            break;
        }
    }
    try {
        m_modelMain->clearChildren(node);
        node->db->chats(node->collection);
        if (withMessages)
            node->db->messages(node->collection, 0);
        m_modelMain->rebuildConversations(node);
        selectNode(node);
    } catch (const std::exception& error) {
        showErrorBox(QString::fromUtf8(error.what()));
    }
    countMessages(node);
}

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
            connectUsbDevice(AdbDevice { serial, serial, QStringLiteral("device") });
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
                loadDevice(thread.device());
        } else if (!device.serial.isEmpty()) {
            connectUsbDevice(AdbDevice { device.serial, device.serial, QStringLiteral("device") });
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

void MainWindow::onMainTreeContextMenu()
{
    showContextMenu(limitEntriesToScope(treeContextEntries(currentNode(), m_modelMain->countDevices())));
}

void MainWindow::onSMSContextMenu()
{
    showContextMenu(listShowsEverywhere() ? everywhereListEntries()
                                          : messageContextEntries(currentNode(), m_modelMain->countDevices()));
}

void MainWindow::showContextMenu(const QList<CommandEntry>& entries)
{
    if (entries.isEmpty())
        return;
    // The entries belong to the current node, which must still be there when one is chosen.
    const CommandScope scope(this);
    QMenu menu(this);
    for (const CommandEntry& entry : entries) {
        QAction* action = menu.addAction(QIcon(entry.icon), entry.text);
        action->setEnabled(entry.enabled);
        const char* slot = entry.slot;
        connect(action, &QAction::triggered, this, [this, slot] { QMetaObject::invokeMethod(this, slot); });
    }
    menu.exec(QCursor::pos());
}

void MainWindow::buildMenus()
{
    const auto command
        = [this](const QString& icon, const QString& text, const char* name, void (MainWindow::*slot)()) {
              auto* action = new QAction(QIcon(icon), text, this);
              action->setObjectName(QLatin1String(name));
              connect(action, &QAction::triggered, this, slot);
              return action;
          };
    m_actBackup = command(
        QStringLiteral(":res/backup.png"), tr("&Backup SMS to Local Database"), "actBackup", &MainWindow::miBackup);
    m_actDb2A = command(
        QStringLiteral(":res/db2a.png"), tr("&Transfer SMS from Database to Android"), "actDb2A", &MainWindow::miDb2A);
    m_actExport
        = command(QStringLiteral(":res/export.png"), tr("&Export SMS to File"), "actExport", &MainWindow::miExport);
    m_actPrint = command(QStringLiteral(":res/print.png"), tr("&Print SMS"), "actPrint", &MainWindow::miPrint);
    m_actDelete = command(QStringLiteral(":res/delete.png"), tr("&Delete SMS"), "actDelete", &MainWindow::miDel);
    QAction* reload = command(QString(), tr("&Reload"), "actReload", &MainWindow::miReload);
    QAction* importXml
        = command(QString(), tr("&Import SMS from XML Backup..."), "actImportXml", &MainWindow::miImportXml);
    QAction* openDbFolder = command(QStringLiteral(":res/open_db_folder.png"), tr("&Open Database Folder"),
        "actOpenDbFolder", &MainWindow::miOpenDbFolder);
    auto* exit = new QAction(QIcon(QStringLiteral(":res/exit.png")), tr("E&xit"), this);
    exit->setObjectName(QStringLiteral("actExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    setShortcut(m_actBackup, QKeySequence(Qt::CTRL | Qt::Key_B));
    setShortcut(m_actExport, QKeySequence(Qt::CTRL | Qt::Key_E));
    setShortcut(m_actPrint, QKeySequence::Print);
    setShortcut(m_actDelete, QKeySequence::Delete);
    setShortcut(reload, QKeySequence(Qt::Key_F5));
    setShortcut(exit, QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(m_actBackup);
    file->addAction(m_actDb2A);
    file->addSeparator();
    file->addAction(m_actExport);
    file->addAction(m_actPrint);
    file->addAction(m_actDelete);
    file->addSeparator();
    file->addAction(reload);
    file->addAction(importXml);
    file->addAction(openDbFolder);
    file->addAction(exit);

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
#ifdef Q_OS_WIN
    // Elsewhere the package manager keeps the program up to date.
    connect(tools->addAction(tr("Check for &Update")), &QAction::triggered, this, &MainWindow::miCheckUpdate);
#endif
    tools->addAction(command(QString(), tr("&Clear Cache files"), "actClearCache", &MainWindow::miClearCache));
    tools->addAction(
        command(QString(), tr("Connect Android Phone via &WiFi"), "actConnectWifi", &MainWindow::miConnectWifi));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* helpAction = command(QStringLiteral(":res/help.png"), tr("&Help"), "actHelp", &MainWindow::miHelp);
    setShortcut(helpAction, QKeySequence::HelpContents);
    help->addAction(helpAction);
    help->addAction(command(QString(), tr("&Feedback and Support"), "actFeedback", &MainWindow::miFeedback));
    help->addAction(command(QString(), tr("&About"), "actAbout", &MainWindow::miAbout));

    m_mainToolBar->addAction(m_actBackup);
    m_mainToolBar->addAction(m_actDb2A);
    m_mainToolBar->addSeparator();
    m_mainToolBar->addAction(m_actExport);
    m_mainToolBar->addAction(m_actPrint);
    m_mainToolBar->addAction(m_actDelete);

    updateCommandActions();
}

void MainWindow::setShortcut(QAction* action, const QKeySequence& keys)
{
    action->setShortcut(keys);
    // The window's shortcuts work wherever the focus is; the line edits keep Delete, Home and End for
    // their own text.
    action->setShortcutContext(Qt::WindowShortcut);
    QString text = action->text();
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText)));
    // Actions outside the menu bar (the tool bar hides its own) need the window to own them to be reached.
    addAction(action);
}

void MainWindow::updateCommandActions()
{
    if (!m_actBackup)
        return;
    const CommandActionStates states = commandActionStates(currentNode(), m_modelMain->countDevices());
    m_actBackup->setEnabled(states.backup);
    m_actDb2A->setEnabled(states.transfer);
    m_actExport->setEnabled(states.exportMessages);
    m_actPrint->setEnabled(states.print);
    m_actDelete->setEnabled(states.remove);
    limitCommandsToScope();
}
