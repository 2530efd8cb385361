// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/LiveSearch.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeView;
class SearchHitsModel;

// One search box for every local database and phone cache: each keystroke asks the indexes again on
// a thread of their own, and the newest hits are listed with their count. Choosing a hit (a click,
// Enter) reports it; the window opens its conversation there.
class SearchPanel : public QWidget
{
    Q_OBJECT

public:
    // Hits listed at most; the count covers them all.
    static constexpr int listLimit = 500;

    explicit SearchPanel(QWidget* parent = nullptr);

    // Puts the focus into the box with its text selected, and searches the stores as they are now.
    void activate();
    SearchQuery query() const;

    QLineEdit* searchBox() const { return m_box; }
    QTreeView* hitsView() const { return m_view; }
    SearchHitsModel* hitsModel() const { return m_model; }
    QLabel* countLabel() const { return m_count; }

signals:
    void hitChosen(const SearchSource& source, const SearchIndexHit& hit);
    // After the hits of the latest text are listed.
    void hitsShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search();
    void show(const LiveSearch::Answer& answer);
    void choose(const QModelIndex& index);

    QLineEdit* m_box;
    QLabel* m_count;
    QTreeView* m_view;
    SearchHitsModel* m_model;
    LiveSearch* m_search;
    QString m_shownText;
};
