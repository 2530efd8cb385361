// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/MessageFilter.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QTimer;
class QToolButton;

// The bar above the message list that narrows what it shows: a first and a last day, each taken whole
// and each used only when ticked, and whether a conversation chosen in the tree stands for itself, for
// every conversation of its phone or database, or for every phone and database in the tree. The
// commands on what is shown act on what it lets through.
class FilterBar : public QWidget
{
    Q_OBJECT

public:
    enum class Scope { Conversation, Source, Everywhere };

    explicit FilterBar(QWidget* parent = nullptr);

    // The dates ticked, as the command line's --since and --until of those days take them.
    MessageFilter filter() const;
    Scope scope() const;
    // Whether the list shows less, or more, than the node chosen in the tree.
    bool isActive() const;

    void setRange(const QDate& from, const QDate& to);
    void setScope(Scope scope);
    // Unticks both days and goes back to the chosen conversation.
    void clear();

signals:
    void changed();

private:
    void updateWidgets();

    QCheckBox* m_useFrom;
    QDateEdit* m_from;
    QCheckBox* m_useTo;
    QDateEdit* m_to;
    QComboBox* m_scope;
    QToolButton* m_clear;
    // A date being stepped through or typed is applied once it rests: each change reads the list again.
    QTimer* m_dateSettle;
};
