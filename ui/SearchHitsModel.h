// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/MessageSearch.h"

#include <QAbstractTableModel>
#include <QList>

// The hits of a search over every store, newest first: source, conversation, date and a one-line
// snippet of the message around its first hit.
class SearchHitsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { SourceColumn, ConversationColumn, DateColumn, MessageColumn, ColumnCount };
    // The message column's snippet as rich text, the words found in <b>, dark on a light background even
    // in a selected row; the rest escaped.
    static constexpr int HighlightedRole = Qt::UserRole + 1;

    explicit SearchHitsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setHits(const QList<SearchSource>& sources, const QList<SearchHit>& hits, const SearchQuery& query);
    void clear();

    const SearchSource& sourceOf(int row) const { return m_sources.at(m_hits.at(row).source); }
    const SearchHit& hit(int row) const { return m_hits.at(row); }

    // The part of a message shown in one line, starting a little before its first hit, with the hits
    // highlighted.
    static QString snippetHtml(const QString& text, const SearchQuery& query);

private:
    QList<SearchSource> m_sources;
    QList<SearchHit> m_hits;
    QStringList m_snippets;
};
