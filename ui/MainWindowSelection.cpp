// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's lists: what the tree's choice shows in the message list and the conversation
// view, the messages a command takes from them, and the searches for a contact or a text in them.
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/ReadMessagesThread.h"
#include "store/IOS6MessageDb.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressForm.h"
#include "ui/UiLog.h"
#include "ui/WorkerRun.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QSet>

#include <exception>

namespace {

// Reads that end sooner than this show no progress dialog.
constexpr int readDialogDelayMs = 300;

// Errors of a store quote its paths and texts; the window's boxes show rich text. A quiet read logs
// its failure instead, for a caller that names what it left out in a box of its own.
class WindowStoreRead : public ReadMessagesThread
{
public:
    WindowStoreRead(IOS6MessageDb& store, const _MsgCollection& collection, const StoreRead& read,
        ProgressReceiver* progress, bool quiet)
        : ReadMessagesThread(store, collection, read, progress)
        , m_path(store.dbPath())
        , m_quiet(quiet)
    {
    }

    bool failed() const { return m_failed; }

protected:
    QString work() override
    {
        if (!m_quiet)
            return ReadMessagesThread::work();
        try {
            return ReadMessagesThread::work();
        } catch (const std::exception& error) {
            qCWarning(lcUi) << "can not read" << m_path << error.what();
            m_failed = true;
            return QString();
        }
    }
    QString errorText(const std::exception& error) const override { return escapeMarkup(exceptionText(error)); }

private:
    const QString m_path;
    const bool m_quiet;
    bool m_failed = false;
};

// The conversation's name with its numbers, as the heading of its transcript; the name alone when
// it is only the number.
QString conversationTitle(const _ChatSessionItemNode& node)
{
    QStringList numbers;
    for (const _MsgChat* chat : node.group) {
        if (!chat->chat_identifier.isEmpty() && chat->chat_identifier != node.name
            && !numbers.contains(chat->chat_identifier))
            numbers.append(chat->chat_identifier);
    }
    if (numbers.isEmpty())
        return node.name;
    return QStringLiteral("%1 (%2)").arg(node.name, numbers.join(QLatin1String(", ")));
}

} // namespace

QList<_MsgMessage*> MainWindow::selectedMessages() const
{
    QList<_MsgMessage*> messages;
    const QModelIndexList rows = m_treeViewSMS->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : rows) {
        if (auto* message = static_cast<_MsgMessage*>(index.internalPointer()))
            messages.append(message);
    }
    return messages;
}

QList<_MsgMessage*> MainWindow::shownMessages() const
{
    return m_modelSms->messages();
}

QList<_MsgMessage*> MainWindow::allMessagesOfSource()
{
    _AbsDBItemNode* node = currentSourceNode();
    if (!node || !readStore(*node->db, node->collection, StoreRead()))
        return {};
    QList<_MsgMessage*> messages = node->collection.messages().values();
    sortMessages(messages, m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder);
    return messages;
}

MainWindow::CommandMessages MainWindow::messagesOf(_AbsDBItemNode* node, QList<_MsgMessage*> messages)
{
    if (!node)
        return {};
    return { node, node->db, node->collection, std::move(messages) };
}

MainWindow::CommandMessages MainWindow::selectedOfList() const
{
    if (listShowsEverywhere())
        return everywhereOfList(selectedMessages());
    return messagesOf(m_listSource, selectedMessages());
}

MainWindow::CommandMessages MainWindow::shownOfList() const
{
    if (listShowsEverywhere())
        return everywhereOfList(shownMessages());
    return messagesOf(m_listSource, shownMessages());
}

MainWindow::CommandMessages MainWindow::allOfSource()
{
    QList<_MsgMessage*> messages = allMessagesOfSource();
    return messagesOf(currentSourceNode(), std::move(messages));
}

bool MainWindow::readStore(IOS6MessageDb& db, const _MsgCollection& collection, const StoreRead& read)
{
    return readStoreQuietly(db, collection, read, false) == StoreReadEnd::Read;
}

MainWindow::StoreReadEnd MainWindow::readStoreQuietly(
    IOS6MessageDb& db, const _MsgCollection& collection, const StoreRead& read, bool quiet)
{
    ProgressForm progress(QString(), this);
    WindowStoreRead thread(db, collection, read, &progress, quiet);
    // A read started from inside another one's dialog (a queued event) must not end the outer one's hold.
    const bool outerRead = m_readingStore;
    m_readingStore = true;
    const bool done = runWorkerWithDialog(thread, progress, readDialogDelayMs);
    m_readingStore = outerRead;
    if (progress.cancelled)
        return StoreReadEnd::Cancelled;
    return done && !thread.failed() ? StoreReadEnd::Read : StoreReadEnd::Failed;
}

void MainWindow::showMessages(QList<_MsgMessage*> list)
{
    list = filteredForList(std::move(list));
    sortMessages(list, m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder);
    m_modelSms->setMessages(list);
    m_txtSMS->clear();
    m_txtSMS->setMessages(m_modelSms->messages());
    m_lbSMSCount->setText(tr("Messages: %1").arg(list.size()));
    showNewestMessage();
}

void MainWindow::showNewestMessage()
{
    const int rows = m_modelSms->rowCount();
    if (rows == 0)
        return;
    const int row = m_treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder ? rows - 1 : 0;
    const QModelIndex newest = m_modelSms->rowIndex(row);
    // Current but not selected: the commands of the File menu and the tool bar keep working on the
    // whole conversation until rows are chosen.
    m_treeViewSMS->selectionModel()->setCurrentIndex(newest, QItemSelectionModel::NoUpdate);
    m_treeViewSMS->scrollTo(newest);
    m_txtSMS->showMessage(row);
}

void MainWindow::clearMessages()
{
    m_listSource = nullptr;
    m_lbChatName->setText(tr("Conversations"));
    m_modelSms->setMessages({});
    m_txtSMS->clear();
    m_txtSMS->setMessages({});
    m_lbSMSCount->setText(tr("Messages: 0"));
}

void MainWindow::selectNode(_ItemNode* node)
{
    const QPersistentModelIndex index(m_modelMain->nodeIndex(node));
    m_treeViewDS->expand(index);
    MyTreeView* view = m_treeViewDS;
    QMetaObject::invokeMethod(
        view,
        [view, index] {
            if (index.isValid())
                view->setCurrentIndex(index);
        },
        Qt::QueuedConnection);
}

void MainWindow::onMainTreeSelected(const QItemSelection& selected, const QItemSelection&)
{
    // A read error is shown in a box while the view is still handling this selection; phones that
    // come or go meanwhile wait until it has finished with it.
    const CommandScope scope(this);
    updateCommandActions();
    // When the current row is removed, the view selects a neighbour from inside the removal. Reading a
    // store and refilling the list (or a database's conversations) there would change the tree inside its
    // own change; the selection the view ends up with is shown once the tree has changed.
    // So does a selection made while a store is read: the read fills the records the list would show.
    if (m_modelMain->isChanging() || m_readingStore) {
        if (!m_treeSelectionQueued) {
            m_treeSelectionQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_treeSelectionQueued = false;
                    onMainTreeSelected(m_treeViewDS->selectionModel()->selection(), QItemSelection());
                },
                Qt::QueuedConnection);
        }
        return;
    }
    if (selected.isEmpty() || selected.first().indexes().isEmpty())
        return;
    _ItemNode* node = AbsTreeItemModel::nodeOf(selected.first().indexes().first());
    if (!node)
        return;

    switch (node->type) {
    case _ItemNode::TypeLocalDb: {
        auto* dbNode = static_cast<_AbsDBItemNode*>(node);
        if (dbNode->children.isEmpty()) {
            // Into records of their own, so that a read that fails leaves the node as it was.
            StoreRead read;
            read.chats = true;
            const _MsgCollection records;
            if (!readStore(*dbNode->db, records, read))
                return;
            dbNode->collection = records;
            m_modelMain->rebuildConversations(dbNode);
            // A database made while the window was open may have been counted before it was written.
            countMessages(dbNode);
            const QPersistentModelIndex index(m_modelMain->nodeIndex(dbNode));
            MyTreeView* view = m_treeViewDS;
            QMetaObject::invokeMethod(
                view,
                [view, index] {
                    if (index.isValid())
                        view->expand(index);
                },
                Qt::QueuedConnection);
            if (dbNode->children.isEmpty())
                return;
        }
        m_listSource = dbNode;
        m_lbChatName->setText(dbNode->name);
        showMessages(dbNode->collection.messages().values());
        break;
    }
    case _ItemNode::TypeAndroidDevice: {
        auto* dbNode = static_cast<_AbsDBItemNode*>(node);
        if (!readStore(*dbNode->db, dbNode->collection, StoreRead()))
            return;
        m_listSource = dbNode;
        m_lbChatName->setText(dbNode->name);
        showMessages(dbNode->collection.messages().values());
        break;
    }
    case _ItemNode::TypeChatSession: {
        auto* chatNode = static_cast<_ChatSessionItemNode*>(node);
        if (chatNode->group.isEmpty()) {
            clearMessages();
            break;
        }
        auto* dbNode = static_cast<_AbsDBItemNode*>(chatNode->parent);
        StoreRead read;
        for (const _MsgChat* chat : std::as_const(chatNode->group))
            read.ofChats.append(chat->rowid);
        if (!readStore(*dbNode->db, dbNode->collection, read))
            return;
        QList<_MsgMessage*> messages;
        QSet<_MsgMessage*> seen;
        for (_MsgChat* chat : std::as_const(chatNode->group)) {
            for (_MsgMessage* message : std::as_const(chat->messages)) {
                // A message linked to two conversations of the group is listed once.
                if (!seen.contains(message)) {
                    seen.insert(message);
                    messages.append(message);
                }
            }
        }
        m_listSource = dbNode;
        m_lbChatName->setText(conversationTitle(*chatNode));
        showMessages(messages);
        break;
    }
    default:
        clearMessages();
        break;
    }
}

void MainWindow::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    const QModelIndexList indexes = selected.indexes();
    for (const QModelIndex& index : indexes) {
        if (index.internalPointer()) {
            m_txtSMS->showMessage(index.row());
            return;
        }
    }
}

void MainWindow::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder)
{
    if (logicalIndex != 0) {
        // Raises the signal again, for column 0.
        m_treeViewSMS->header()->setSortIndicator(0, Qt::DescendingOrder);
        return;
    }
    showMessages(shownMessages());
}

void MainWindow::searchCotnact()
{
    _ItemNode* node = currentNode();
    if (!node)
        return;
    _ItemNode* parentNode = nullptr;
    qsizetype start = 0;
    if (asSourceNode(node)) {
        parentNode = node;
    } else if (node->type == _ItemNode::TypeChatSession) {
        parentNode = node->parent;
        start = parentNode->children.indexOf(node) + 1;
    } else {
        return;
    }

    const QString keyword = m_txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;

    const auto matches = conversationMatcher(static_cast<_AbsDBItemNode*>(parentNode), keyword);
    const QList<_ItemNode*>& conversations = parentNode->children;
    const qsizetype count = conversations.size();
    for (qsizetype step = 0; step < count; ++step) {
        _ItemNode* candidate = conversations.at((start + step) % count);
        if (matches(*candidate)) {
            m_treeViewDS->expand(m_modelMain->nodeIndex(parentNode));
            m_treeViewDS->setCurrentIndex(m_modelMain->nodeIndex(candidate));
            return;
        }
    }
    showInfoBox(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword));
}

void MainWindow::searchMessages()
{
    const QString keyword = m_txtSMSKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_MsgMessage*>& messages = m_modelSms->messages();
    if (messages.isEmpty()) {
        showInfoBox(tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }

    const QModelIndex current = m_treeViewSMS->currentIndex();
    const qsizetype start = current.isValid() ? current.row() + 1 : 0;
    const qsizetype count = messages.size();
    for (qsizetype step = 0; step < count; ++step) {
        const qsizetype row = (start + step) % count;
        if (messageDisplayText(*messages.at(row), EmojiText::Characters).contains(keyword, Qt::CaseInsensitive)) {
            const QModelIndex hit = m_modelSms->rowIndex(int(row));
            m_treeViewSMS->setCurrentIndex(hit);
            m_treeViewSMS->scrollTo(hit);
            return;
        }
    }
    showInfoBox(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
}
