// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QList>

class _ItemNode;

// A tree model over _ItemNode objects. Each node remembers the parts of the index last made for it,
// so that parent() needs no search while the tree is unchanged.
class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // The node of an index; null for the invalid index.
    static _ItemNode* nodeOf(const QModelIndex& index);
    // The index of a node; the invalid index for null.
    QModelIndex nodeIndex(_ItemNode* node) const;
    // Removes and destroys the children of the node (of the top level when null).
    void clearChildren(_ItemNode* node);
    // Removes and destroys the node with its children.
    void removeNode(_ItemNode* node);
    // True from the announcement of an insertion or removal of rows to its end. A view moves its
    // selection within that window, when the current row goes away.
    bool isChanging() const { return m_changing > 0; }

protected:
    // Takes ownership of the node and appends it to its parent's children (to the top level when it
    // has no parent), announcing the new row.
    void appendNode(_ItemNode* node);
    // Appends several nodes under one parent with one announcement.
    void appendNodes(_ItemNode* parent, const QList<_ItemNode*>& nodes);

    const QList<_ItemNode*>& topLevelNodes() const { return m_topLevel; }

private:
    QList<_ItemNode*>& siblingsOf(_ItemNode* node);
    const QList<_ItemNode*>& childrenOf(const QModelIndex& parent) const;

    QList<_ItemNode*> m_topLevel; // owned
    int m_changing = 0;
};
