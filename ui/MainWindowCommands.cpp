// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the five commands of the File menu, the tool bar and the context menus do with the messages
// they were given: back up, transfer, export, print and delete.
#include "android/AndroidRestoreSMSThread.h"
#include "base/DataFolders.h"
#include "base/ShellServices.h"
#include "base/WorkerThread.h"
#include "ops/BackupSMSThread.h"
#include "ops/DeleteMessagesThread.h"
#include "ops/ExportSMSThread.h"
#include "ops/MessageSources.h"
#include "ops/ReadMessagesThread.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/XmlImportThread.h"
#include "store/IOS6MessageDb.h"
#include "ui/CommandRules.h"
#include "ui/DeviceFlowController.h"
#include "ui/ExportResultBox.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/SMSPrinter.h"
#include "ui/SaveFileDialog.h"
#include "ui/UiLog.h"
#include "ui/WorkerRun.h"
#include "ui/dialogs/CountrySelForm.h"
#include "ui/dialogs/DataSourceSelForm.h"
#include "ui/dialogs/DeleteConfirmation.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSet>
#include <QtDebug>

#include <exception>
#include <functional>

namespace {

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

// Store reads that end sooner than this show no progress dialog.
constexpr int storeQueryDialogDelayMs = 300;

// Reads what a command needs to know of a local database first (its count, its numbers' country)
// through a connection of its own: a large store would freeze the window, and a Cancel of the read
// leaves the database untouched.
class StoreQueryThread : public WorkerThread
{
public:
    StoreQueryThread(const QDir& folder, const QString& status, std::function<void(IOS6MessageDb&)> query,
        ProgressReceiver* progress)
        : WorkerThread(progress, nullptr)
        , m_folder(folder)
        , m_status(status)
        , m_query(std::move(query))
    {
    }

protected:
    QString work() override
    {
        reportStatus(m_status.arg(m_folder.dirName()), -1);
        IOS6MessageDb db(m_folder, QString(), false);
        m_query(db);
        checkCancelled();
        return QString();
    }

private:
    const QDir m_folder;
    const QString m_status;
    const std::function<void(IOS6MessageDb&)> m_query;
};

// Deletes the messages from their store on a worker under a progress dialog; false when that was
// cancelled or failed.
bool deleteFromStore(IOS6MessageDb* store, const QList<_MsgMessage*>& messages, QWidget* parent)
{
    ProgressForm progress(QString(), parent);
    DeleteMessagesThread thread(store, &messages, &progress);
    return runWorkerWithDialog(thread, progress);
}

} // namespace

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
        target = m_modelMain->addLocalDb(openMessageStore(localDatabaseSource(QDir(folder))), name);
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
        const QString path = target->db->dbPath();
        ProgressForm reading(QString(), this);
        StoreQueryThread country(
            target->db->folder(), QStringLiteral("Reading the messages of %1..."),
            [&storedCountry, path](IOS6MessageDb& db) {
                try {
                    storedCountry = db.numberCountry();
                } catch (const std::exception& e) {
                    qCWarning(lcUi) << "can not read the country of" << path << e.what();
                }
            },
            &reading);
        if (!runWorkerWithDialog(country, reading, storeQueryDialogDelayMs))
            return;
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
        target = m_deviceFlow->loadDevice(target->device);
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

ExportSource MainWindow::exportSource(const CommandMessages& input) const
{
    ExportSource source;
    if (!input.node && listShowsEverywhere())
        return everywhereSource(input.messages);
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

    if (!deleteFromStore(input.db.data(), input.messages, this))
        return;
    const QList<_MsgMessage*>& deleted = input.messages;

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

void MainWindow::deleteConversation()
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

    if (!deleteFromStore(input.db.data(), input.messages, this))
        return;
    const QList<_MsgMessage*>& deleted = input.messages;

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

void MainWindow::deleteDatabase()
{
    const CommandScope scope(this);
    if (allTakesDates())
        return deleteAllOfDates();
    _AbsDBItemNode* node = asSource(currentNode(), _ItemNode::TypeLocalDb);
    if (!node)
        return;
    // Counted as the store is now, not as the tree last showed it.
    ProgressForm counting(QString(), this);
    qint64 stored = -1;
    StoreQueryThread count(
        node->db->folder(), QStringLiteral("Counting the messages of %1..."),
        [&stored](IOS6MessageDb& db) { stored = storedMessageCount(db); }, &counting);
    if (!runWorkerWithDialog(count, counting, storeQueryDialogDelayMs) || !confirmDeleteDatabase(node->name, stored))
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
    m_modelMain->clearChildren(node);
    StoreRead read;
    read.chats = true;
    read.messages = withMessages;
    if (readStore(*node->db, node->collection, read)) {
        m_modelMain->rebuildConversations(node);
        selectNode(node);
    }
    countMessages(node);
}
