// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The search over every store: the panel behind Ctrl+F, and opening a hit where it lies in the tree,
// the list and the conversation view.
#include "base/TaskReporting.h"
#include "store/search/ConversationTerms.h"
#include "ui/MainWindow.h"
#include "ui/SearchPanel.h"
#include "ui/UiLog.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QAction>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QtDebug>

void MainWindow::buildSearchPanel()
{
    m_searchDock = new QDockWidget(tr("Search"), this);
    m_searchDock->setObjectName(QStringLiteral("dockSearch"));
    m_searchDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    m_searchPanel = new SearchPanel(m_searchDock);
    m_searchDock->setWidget(m_searchPanel);
    addDockWidget(Qt::BottomDockWidgetArea, m_searchDock);
    m_searchDock->hide();
    connect(m_searchPanel, &SearchPanel::hitChosen, this, &MainWindow::openSearchHit);

    auto* action = new QAction(tr("&Search All Messages..."), this);
    action->setObjectName(QStringLiteral("actSearchAll"));
    setShortcut(action, QKeySequence::Find);
    connect(action, &QAction::triggered, this, [this] {
        // A third of the window, so that the list and the conversation keep room for the hit opened.
        if (!m_searchDock->isVisible())
            resizeDocks({ m_searchDock }, { height() / 3 }, Qt::Vertical);
        m_searchDock->show();
        m_searchDock->raise();
        m_searchPanel->activate();
    });
    // After the menu's own entries, which keep their places.
    if (auto* tools = menuBar()->findChild<QMenu*>(QStringLiteral("menuTools"))) {
        tools->addSeparator();
        tools->addAction(action);
    }
}

_AbsDBItemNode* MainWindow::sourceNodeOf(const QDir& folder) const
{
    const QString path = QDir::cleanPath(folder.absolutePath());
    for (_ItemNode* root :
        { static_cast<_ItemNode*>(m_modelMain->rootLocalDb()), static_cast<_ItemNode*>(m_modelMain->rootDevice()) }) {
        for (_ItemNode* child : std::as_const(root->children)) {
            auto* node = static_cast<_AbsDBItemNode*>(child);
            if (node->db && QDir::cleanPath(node->db->folder().absolutePath()) == path)
                return node;
        }
    }
    return nullptr;
}

void MainWindow::openSearchHit(const SearchSource& source, const SearchIndexHit& hit)
{
    _AbsDBItemNode* node = sourceNodeOf(source.folder);
    if (!node) {
        statusBar()->showMessage(
            tr("%1 is not in the tree: connect the phone to open its messages.").arg(source.label()), 10000);
        return;
    }
    // A local database shows its conversations once it has been read, which selecting it does.
    if (node->children.isEmpty())
        m_treeViewDS->setCurrentIndex(m_modelMain->nodeIndex(node));
    _ItemNode* conversation = nullptr;
    for (_ItemNode* child : std::as_const(node->children)) {
        const auto& group = static_cast<_ChatSessionItemNode*>(child)->group;
        if (std::any_of(
                group.cbegin(), group.cend(), [&hit](const _MsgChat* chat) { return chat->rowid == hit.chatRowId; })) {
            conversation = child;
            break;
        }
    }
    if (!conversation) {
        statusBar()->showMessage(tr("This conversation is no longer in %1.").arg(source.label()), 10000);
        return;
    }
    m_treeViewDS->expand(m_modelMain->nodeIndex(node));
    const QModelIndex conversationIndex = m_modelMain->nodeIndex(conversation);
    m_treeViewDS->setCurrentIndex(conversationIndex);
    m_treeViewDS->scrollTo(conversationIndex);

    const QList<_MsgMessage*>& messages = m_modelSms->messages();
    const auto found = std::find_if(messages.cbegin(), messages.cend(),
        [&hit](const _MsgMessage* message) { return message->rowid == hit.messageRowId; });
    if (found == messages.cend()) {
        statusBar()->showMessage(tr("This message is no longer in %1.").arg(source.label()), 10000);
        return;
    }
    const QModelIndex row = m_modelSms->rowIndex(int(found - messages.cbegin()));
    m_treeViewSMS->setCurrentIndex(row);
    m_treeViewSMS->scrollTo(row, QAbstractItemView::PositionAtCenter);
    highlightInTranscript(**found, m_searchPanel->query());
}

void MainWindow::highlightInTranscript(const _MsgMessage& message, const SearchQuery& query)
{
    // The conversation view marks each message with an anchor; the message runs to the next one.
    const QString anchor = QStringLiteral("sms_%1").arg(message.rowid);
    QList<QTextEdit::ExtraSelection> selections;
    QTextCharFormat marked;
    marked.setBackground(QColor(0xff, 0xe3, 0x7a));
    bool inMessage = false;
    for (QTextBlock block = m_txtSMS->document()->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QStringList names = fragment.fragment().charFormat().anchorNames();
            if (names.contains(anchor))
                inMessage = true;
            else if (inMessage && !names.isEmpty())
                inMessage = false;
        }
        if (!inMessage)
            continue;
        for (const SearchSpan& span : query.highlights(block.text())) {
            QTextCursor cursor(block);
            cursor.setPosition(block.position() + span.start);
            cursor.setPosition(block.position() + span.start + span.length, QTextCursor::KeepAnchor);
            selections.append({ cursor, marked });
        }
    }
    m_txtSMS->setExtraSelections(selections);
}

std::function<bool(const _ItemNode&)> MainWindow::conversationMatcher(_AbsDBItemNode* source, const QString& keyword)
{
    // Names as they are shown match by any part, as before; names and numbers also match as a search
    // does, accents and case aside and a number in any of its forms.
    const SearchQuery query(keyword);
    QHash<const _ItemNode*, std::vector<std::string>> tokens;
    if (source && source->db && !query.isEmpty()) {
        try {
            ConversationTerms terms(source->db->countryLib(), source->collection.numberCountry());
            for (const _ItemNode* child : std::as_const(source->children)) {
                QString text = child->name;
                for (const _MsgChat* chat : static_cast<const _ChatSessionItemNode*>(child)->group)
                    text += QLatin1Char(' ') + terms.terms(*chat);
                tokens.insert(child, searchTokens(text));
            }
        } catch (const std::exception& error) {
            qCWarning(lcUi).noquote() << QStringLiteral("conversation search by number:") << exceptionText(error);
        }
    }
    return [keyword, query, tokens](const _ItemNode& node) {
        if (node.name.contains(keyword, Qt::CaseInsensitive))
            return true;
        const auto found = tokens.constFind(&node);
        if (found == tokens.cend())
            return false;
        return std::all_of(query.terms().cbegin(), query.terms().cend(), [&found](const SearchQuery::Term& term) {
            return std::any_of(term.cbegin(), term.cend(),
                [&found](const SearchQuery::Sequence& sequence) { return sequence.occursIn(*found); });
        });
    };
}
