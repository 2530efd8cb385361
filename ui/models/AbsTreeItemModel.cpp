// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/models/AbsTreeItemModel.h"

#include "ui/models/ItemNodes.h"

#include <QScopeGuard>

#include <utility>

AbsTreeItemModel::AbsTreeItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(std::exchange(m_topLevel, {}));
}

_ItemNode* AbsTreeItemModel::nodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<_ItemNode*>(index.internalPointer()) : nullptr;
}

const QList<_ItemNode*>& AbsTreeItemModel::childrenOf(const QModelIndex& parent) const
{
    const _ItemNode* node = nodeOf(parent);
    return node ? node->children : m_topLevel;
}

QList<_ItemNode*>& AbsTreeItemModel::siblingsOf(_ItemNode* node)
{
    return node->parent ? node->parent->children : m_topLevel;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    _ItemNode* node = childrenOf(parent).at(row);
    node->row = row;
    node->column = column;
    node->internalPointer = node;
    node->model = this;
    return createIndex(row, column, node);
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex& index) const
{
    const _ItemNode* node = nodeOf(index);
    return node ? nodeIndex(node->parent) : QModelIndex();
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(childrenOf(parent).size());
}

QModelIndex AbsTreeItemModel::nodeIndex(_ItemNode* node) const
{
    if (!node)
        return QModelIndex();
    const QList<_ItemNode*>& siblings = node->parent ? node->parent->children : m_topLevel;
    // A cached row goes stale when rows before the node are removed; it is used only while it still
    // names this node.
    const bool cacheHolds = node->row >= 0 && node->column >= 0 && node->model == this && node->row < siblings.size()
        && siblings.at(node->row) == node;
    if (cacheHolds)
        return createIndex(node->row, node->column, node->internalPointer);
    const qsizetype row = siblings.indexOf(node);
    if (row < 0)
        return QModelIndex();
    node->row = int(row);
    node->column = 0;
    node->internalPointer = node;
    node->model = this;
    return createIndex(node->row, 0, node);
}

void AbsTreeItemModel::clearChildren(_ItemNode* node)
{
    QList<_ItemNode*>& children = node ? node->children : m_topLevel;
    if (children.isEmpty())
        return;
    ++m_changing;
    const auto changed = qScopeGuard([this] { --m_changing; });
    beginRemoveRows(nodeIndex(node), 0, int(children.size()) - 1);
    qDeleteAll(std::exchange(children, {}));
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(_ItemNode* node)
{
    if (!node)
        return;
    clearChildren(node);
    QList<_ItemNode*>& siblings = siblingsOf(node);
    const qsizetype row = siblings.indexOf(node);
    if (row < 0)
        return;
    ++m_changing;
    const auto changed = qScopeGuard([this] { --m_changing; });
    beginRemoveRows(nodeIndex(node->parent), int(row), int(row));
    siblings.removeAt(row);
    delete node;
    endRemoveRows();
}

void AbsTreeItemModel::appendNode(_ItemNode* node)
{
    appendNodes(node->parent, { node });
}

void AbsTreeItemModel::appendNodes(_ItemNode* parent, const QList<_ItemNode*>& nodes)
{
    if (nodes.isEmpty())
        return;
    QList<_ItemNode*>& children = parent ? parent->children : m_topLevel;
    const int first = int(children.size());
    ++m_changing;
    const auto changed = qScopeGuard([this] { --m_changing; });
    beginInsertRows(nodeIndex(parent), first, first + int(nodes.size()) - 1);
    children.append(nodes);
    endInsertRows();
}
