// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The filter bar above the message list: what the list shows, and with it what the commands on the
// shown messages take.
#include "ops/DeleteMessagesThread.h"
#include "ops/ReadMessagesThread.h"
#include "ops/export/pdf/PageHeadings.h"
#include "store/IOS6MessageDb.h"
#include "ui/CommandRules.h"
#include "ui/FilterBar.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/WorkerRun.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAction>
#include <QBoxLayout>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QSet>
#include <QtDebug>

#include <algorithm>
#include <vector>

namespace {

// The commands that write what the list shows into one store, or send it to one phone.
bool writesFromOneSource(void (MainWindow::*slot)())
{
    for (auto one :
        { &MainWindow::miBackupSel, &MainWindow::miBackupChat, &MainWindow::miDb2ASel, &MainWindow::miDb2AChat })
        if (slot == one)
            return true;
    return false;
}

QString chatIdentifierOf(const _ItemNode* node)
{
    if (!node || node->type != _ItemNode::TypeChatSession)
        return QString();
    const auto* chat = static_cast<const _ChatSessionItemNode*>(node);
    return chat->group.isEmpty() ? QString() : chat->group.first()->chat_identifier;
}

const char* const normalToolTip = "qsmsNormalToolTip";

} // namespace

void MainWindow::buildFilterBar()
{
    // Below the keyword row, above the list.
    QWidget* keywordRow = m_txtSMSKeyword->parentWidget();
    auto* listLayout = qobject_cast<QBoxLayout*>(keywordRow->parentWidget()->layout());
    m_filterBar = new FilterBar(keywordRow->parentWidget());
    listLayout->insertWidget(listLayout->indexOf(keywordRow) + 1, m_filterBar);
    connect(m_filterBar, &FilterBar::changed, this, &MainWindow::refilterList);
}

bool MainWindow::listFiltered() const
{
    return m_filterBar && m_filterBar->isActive();
}

bool MainWindow::listShowsEverywhere() const
{
    return m_filterBar && m_filterBar->scope() == FilterBar::Scope::Everywhere;
}

QList<_MsgMessage*> MainWindow::filteredForList(QList<_MsgMessage*> list)
{
    if (!m_filterBar)
        return list;
    if (listShowsEverywhere()) {
        list = m_filterBar->filter().apply(messagesEverywhere());
        // The heading names where the listed messages come from instead of the node chosen in the tree.
        QStringList names;
        for (const _AbsDBItemNode* node : sourcesHolding(list))
            names << node->name;
        if (names.size() == 1)
            m_lbChatName->setText(names.first());
        else if (names.size() > 1)
            m_lbChatName->setText(
                tr("%1 sources: %2").arg(QString::number(names.size()), names.join(QStringLiteral(", "))));
        return list;
    }
    m_everywhereRecords.clear();
    m_modelSms->setSourceNames({});
    // A conversation chosen in the tree stands for its whole phone or database.
    const _ItemNode* node = currentNode();
    if (m_filterBar->scope() == FilterBar::Scope::Source && m_listSource && node
        && node->type == _ItemNode::TypeChatSession && node->parent == m_listSource) {
        // Should the read fail or be cancelled, the conversation's own messages are listed.
        if (readStoreQuietly(*m_listSource->db, m_listSource->collection, StoreRead(), true) == StoreReadEnd::Read)
            list = m_listSource->collection.messages().values();
    }
    return m_filterBar->filter().apply(std::move(list));
}

QList<_MsgMessage*> MainWindow::messagesEverywhere()
{
    QList<_MsgCollection> records;
    QHash<const _MsgChat*, QString> sourceNames;
    QList<_MsgMessage*> messages;
    QStringList unreadable;
    const auto readSource = [this](_AbsDBItemNode* node) {
        if (node->type != _ItemNode::TypeLocalDb || !node->children.isEmpty())
            return readStoreQuietly(*node->db, node->collection, StoreRead(), true);
        // Into records of their own, so that a read that fails leaves the node as it was.
        StoreRead read;
        read.chats = true;
        const _MsgCollection records;
        const StoreReadEnd end = readStoreQuietly(*node->db, records, read, true);
        if (end == StoreReadEnd::Read) {
            node->collection = records;
            m_modelMain->rebuildConversations(node);
            countMessages(node);
        }
        return end;
    };
    bool cancelled = false;
    for (_AbsDBItemNode* node : m_modelMain->sourceNodes()) {
        // A store that is not there yet (a database named for a backup still to come) or no longer
        // (a phone's cache after it was cleared) is not made by looking at it: its node shows what
        // it holds in memory.
        if (QFileInfo::exists(node->db->dbPath())) {
            // After a Cancel the stores still to read are left out, and named as such.
            const StoreReadEnd end = cancelled ? StoreReadEnd::Cancelled : readSource(node);
            if (end != StoreReadEnd::Read) {
                cancelled = end == StoreReadEnd::Cancelled;
                unreadable << node->name.toHtmlEscaped();
                continue;
            }
        }
        records.append(node->collection);
        const QHash<qint64, _MsgChat*>& chats = node->collection.chats();
        for (const _MsgChat* chat : chats)
            sourceNames.insert(chat, node->name);
        messages += node->collection.messages().values();
    }
    m_everywhereRecords = std::move(records);
    m_modelSms->setSourceNames(std::move(sourceNames));
    if (!unreadable.isEmpty())
        showErrorBox(tr("The list leaves out what could not be read: %1.").arg(unreadable.join(QStringLiteral(", "))));
    return messages;
}

void MainWindow::refilterList()
{
    // Backup and transfer depend on the scope as well as on the node.
    updateCommandActions();
    // The node chosen is shown again, through the filter as it is now.
    if (m_treeViewDS->selectionModel() && m_treeViewDS->selectionModel()->hasSelection())
        onMainTreeSelected(m_treeViewDS->selectionModel()->selection(), QItemSelection());
}

MainWindow::CommandMessages MainWindow::everywhereOfList(QList<_MsgMessage*> messages) const
{
    CommandMessages input;
    input.messages = std::move(messages);
    return input;
}

QList<_AbsDBItemNode*> MainWindow::sourcesHolding(const QList<_MsgMessage*>& messages) const
{
    QList<_AbsDBItemNode*> sources;
    if (messages.isEmpty())
        return sources;
    const QSet<const _MsgMessage*> wanted(messages.cbegin(), messages.cend());
    for (_AbsDBItemNode* node : m_modelMain->sourceNodes()) {
        const QHash<qint64, _MsgMessage*>& held = node->collection.messages();
        if (std::any_of(
                held.cbegin(), held.cend(), [&wanted](const _MsgMessage* message) { return wanted.contains(message); }))
            sources.append(node);
    }
    return sources;
}

ExportSource MainWindow::everywhereSource(const QList<_MsgMessage*>& messages) const
{
    const QList<_AbsDBItemNode*> nodes = sourcesHolding(messages);
    const auto sourceOf = [this](_AbsDBItemNode* node) {
        CommandMessages input;
        input.node = node;
        input.db = node->db;
        return exportSource(input);
    };
    // Messages of one source are exported as they would be from its own node.
    if (nodes.size() == 1)
        return sourceOf(nodes.first());
    ExportSource source;
    if (nodes.isEmpty())
        return source;
    source.kind = ExportSource::Kind::Several;
    for (_AbsDBItemNode* node : nodes)
        source.parts.push_back(sourceOf(node));
    return source;
}

void MainWindow::deleteEverywhere(const QList<_MsgMessage*>& messages)
{
    const CommandScope scope(this);
    // Each message goes from the database whose records hold it; a phone's messages stay, its cache
    // being filled anew on every load.
    struct StoreDeletion
    {
        _AbsDBItemNode* node;
        QSharedPointer<IOS6MessageDb> db;
        _MsgCollection records;
        QList<_MsgMessage*> messages;
    };
    std::vector<StoreDeletion> stores;
    qsizetype total = 0;
    for (_ItemNode* child : std::as_const(m_modelMain->rootLocalDb()->children)) {
        if (child->type != _ItemNode::TypeLocalDb)
            continue;
        auto* node = static_cast<_AbsDBItemNode*>(child);
        QList<_MsgMessage*> own;
        for (_MsgMessage* message : messages)
            if (node->collection.message(message->rowid) == message)
                own.append(message);
        if (own.isEmpty())
            continue;
        total += own.size();
        stores.push_back({ node, node->db, node->collection, std::move(own) });
    }
    if (messages.isEmpty())
        return;
    if (stores.empty()) {
        showInfoBox(tr("The messages shown are those of phones: only messages of local databases can be deleted."));
        return;
    }

    QStringList names;
    for (const StoreDeletion& store : stores)
        names << store.node->name.toHtmlEscaped();
    QString detail = stores.size() == 1
        ? tr("IDS_DEL_%1_SMS_FROM_LOCALDB_%2").arg(QString::number(total), names.first())
        : tr("%1 SMS will be deleted from %2 databases: %3.")
              .arg(QString::number(total), QString::number(stores.size()), names.join(QStringLiteral(", ")));
    if (const qsizetype kept = messages.size() - total; kept > 0)
        detail += QStringLiteral("<br/>") + tr("The %1 SMS of phones in the list stay.").arg(kept);
    if (!askYesNoDefaultNo(tr("IDS_CONFIRM_DEL_SEL_MESSAGES") + QStringLiteral("<br/><br/>") + detail))
        return;

    // The list and the conversation nodes point into the records about to go; the tree's choice is
    // made again once every store is done, by the conversation's identifier when its node was rebuilt.
    _AbsDBItemNode* chosenSource = currentSourceNode();
    const QString chosenIdentifier = chatIdentifierOf(currentNode());
    const QPersistentModelIndex chosen(m_treeViewDS->currentIndex());
    clearMessages();
    m_treeViewDS->setCurrentIndex(QModelIndex());

    QStringList changed;
    QStringList unchanged;
    for (StoreDeletion& store : stores) {
        if (!unchanged.isEmpty()) {
            unchanged << store.node->name.toHtmlEscaped();
            continue;
        }
        ProgressForm progress(QString(), this);
        DeleteMessagesThread thread(store.db.data(), &store.messages, &progress);
        if (!runWorkerWithDialog(thread, progress)) {
            unchanged << store.node->name.toHtmlEscaped();
            continue;
        }
        changed << tr("%1 (%2 SMS)").arg(store.node->name.toHtmlEscaped()).arg(store.messages.size());
        QSet<_MsgChat*> touched;
        for (_MsgMessage* message : std::as_const(store.messages)) {
            touched.insert(message->chat);
            store.records.removeMessage(message->rowid);
        }
        // The store drops a conversation with its last message; the tree follows.
        bool emptied = false;
        for (_MsgChat* chat : std::as_const(touched)) {
            if (chat && chat->messages.isEmpty()) {
                store.records.removeChat(chat->rowid);
                emptied = true;
            }
        }
        if (emptied)
            m_modelMain->rebuildConversations(store.node);
        countMessages(store.node);
    }

    _ItemNode* reselect = AbsTreeItemModel::nodeOf(chosen);
    if (!reselect && chosenSource) {
        reselect = chosenSource;
        for (_ItemNode* child : std::as_const(chosenSource->children))
            if (!chosenIdentifier.isNull() && chatIdentifierOf(child) == chosenIdentifier)
                reselect = child;
    }
    if (reselect)
        m_treeViewDS->setCurrentIndex(m_modelMain->nodeIndex(reselect));
    if (!changed.isEmpty() && !unchanged.isEmpty())
        showWarningBox(tr("SMS were deleted from: %1.<br/>Nothing was deleted from: %2.")
                           .arg(changed.join(QStringLiteral(", ")), unchanged.join(QStringLiteral(", "))));
}

void MainWindow::limitCommandsToScope()
{
    const bool everywhere = listShowsEverywhere();
    for (QAction* action : { m_actBackup, m_actDb2A }) {
        if (!action->property(normalToolTip).isValid())
            action->setProperty(normalToolTip, action->toolTip());
        if (everywhere) {
            action->setEnabled(false);
            action->setToolTip(tr("Not while the list shows every phone and database: choose \"This source\" or "
                                  "\"This conversation\" above the list."));
        } else {
            action->setToolTip(action->property(normalToolTip).toString());
        }
    }
    if (everywhere) {
        // What is shown can be exported, printed and deleted whichever node the tree has chosen.
        m_actExport->setEnabled(true);
        m_actPrint->setEnabled(true);
        m_actDelete->setEnabled(true);
    }
}

QList<CommandEntry> MainWindow::limitEntriesToScope(QList<CommandEntry> entries) const
{
    if (!listShowsEverywhere())
        return entries;
    for (CommandEntry& entry : entries)
        if (writesFromOneSource(entry.slot))
            entry.enabled = false;
    return entries;
}

QList<CommandEntry> MainWindow::everywhereListEntries()
{
    return {
        { tr("&Export Selected SMS to File"), QStringLiteral(":res/export.png"), &MainWindow::miExportSel },
        { tr("&Print Selected SMS"), QStringLiteral(":res/print.png"), &MainWindow::miPrintSel },
        { tr("&Delete Selected SMS"), QStringLiteral(":res/delete.png"), &MainWindow::miDelSel },
    };
}

bool MainWindow::allTakesDates() const
{
    return m_filterBar && m_filterBar->filter().hasDateRange();
}

bool MainWindow::limitAllToDates(CommandMessages& all) const
{
    if (!allTakesDates() || !all.node || all.messages.isEmpty())
        return true;
    all.messages = m_filterBar->filter().apply(std::move(all.messages));
    if (!all.messages.isEmpty())
        return true;
    showInfoBox(tr("No SMS of %1 fall within the dates of the filter.").arg(all.node->name.toHtmlEscaped()));
    return false;
}

void MainWindow::deleteAllOfDates()
{
    const CommandScope scope(this);
    const _ItemNode* node = currentNode();
    if (!node || node->type != _ItemNode::TypeLocalDb)
        return;
    CommandMessages all = allOfSource();
    if (limitAllToDates(all) && !all.messages.isEmpty())
        deleteListed(std::move(all));
}
