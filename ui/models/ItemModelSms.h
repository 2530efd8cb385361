// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QString>

struct _MsgChat;
struct _MsgMessage;

// The message list: one row per message of a list sorted by the caller, in four columns (date,
// direction, contact, text). The records are borrowed from the collection of the selected tree node.
class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { DateColumn, FlagColumn, ContactColumn, ContentColumn, ColumnCount };
    // The width of the direction icon beside each date, in the view's pixels.
    static constexpr int iconWidth = 18;

    explicit ItemModelSms(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The phone or database of each conversation, named before the contact when the list mixes several
    // sources; empty when it shows one. Takes effect with the next setMessages().
    void setSourceNames(QHash<const _MsgChat*, QString> names) { m_sourceNames = std::move(names); }
    void setMessages(const QList<_MsgMessage*>& messages);
    const QList<_MsgMessage*>& messages() const { return m_messages; }
    // The index of column 0 of the row; invalid when there is no such row.
    QModelIndex rowIndex(int row) const;

private:
    QVariant displayText(const _MsgMessage& message, int column) const;

    QList<_MsgMessage*> m_messages;
    QHash<const _MsgChat*, QString> m_sourceNames;
};
