// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The filter bar above the message list: what the list shows, and with it what the commands on the
// shown messages take.
#include "store/IOS6MessageDb.h"
#include "ui/FilterBar.h"
#include "ui/MainWindow.h"
#include "ui/UiLog.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QtDebug>

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

QList<_MsgMessage*> MainWindow::filteredForList(QList<_MsgMessage*> list)
{
    if (!m_filterBar)
        return list;
    // A conversation chosen in the tree stands for its whole phone or database.
    const _ItemNode* node = currentNode();
    if (m_filterBar->scope() == FilterBar::Scope::Source && m_listSource && node
        && node->type == _ItemNode::TypeChatSession && node->parent == m_listSource) {
        try {
            m_listSource->db->messages(m_listSource->collection, 0);
            list = m_listSource->collection.messages().values();
        } catch (const std::exception& error) {
            qCWarning(lcUi) << "can not read the messages of" << m_listSource->name << error.what();
        }
    }
    return m_filterBar->filter().apply(std::move(list));
}

void MainWindow::refilterList()
{
    // The node chosen is shown again, through the filter as it is now.
    if (m_treeViewDS->selectionModel() && m_treeViewDS->selectionModel()->hasSelection())
        onMainTreeSelected(m_treeViewDS->selectionModel()->selection(), QItemSelection());
}
