// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FilterBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {

QDateEdit* dateEdit(const char* name, QWidget* parent)
{
    auto* edit = new QDateEdit(QDate::currentDate(), parent);
    edit->setObjectName(QLatin1String(name));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setEnabled(false);
    return edit;
}

} // namespace

FilterBar::FilterBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("filterBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_useFrom = new QCheckBox(tr("From"), this);
    m_useFrom->setObjectName(QStringLiteral("chkFilterFrom"));
    m_from = dateEdit("dateFilterFrom", this);
    m_from->setDate(QDate::currentDate().addYears(-1));
    m_useTo = new QCheckBox(tr("To"), this);
    m_useTo->setObjectName(QStringLiteral("chkFilterTo"));
    m_to = dateEdit("dateFilterTo", this);
    m_scope = new QComboBox(this);
    m_scope->setObjectName(QStringLiteral("cmbFilterScope"));
    m_scope->addItem(tr("This conversation"), int(Scope::Conversation));
    m_scope->addItem(tr("This source"), int(Scope::Source));
    m_scope->addItem(tr("Everywhere"), int(Scope::Everywhere));
    m_scope->setToolTip(tr("With a conversation chosen: only its messages, or those of every conversation of its "
                           "phone or database. Everywhere: the messages of every phone and database in the tree."));
    m_clear = new QToolButton(this);
    m_clear->setObjectName(QStringLiteral("btnClearFilter"));
    m_clear->setText(tr("Show All"));
    m_clear->setEnabled(false);

    layout->addWidget(m_useFrom);
    layout->addWidget(m_from);
    layout->addWidget(m_useTo);
    layout->addWidget(m_to);
    layout->addWidget(m_scope);
    layout->addStretch(1);
    layout->addWidget(m_clear);

    const auto onChange = [this] {
        m_dateSettle->stop();
        updateWidgets();
        emit changed();
    };
    connect(m_useFrom, &QCheckBox::toggled, this, onChange);
    connect(m_useTo, &QCheckBox::toggled, this, onChange);
    m_dateSettle = new QTimer(this);
    m_dateSettle->setSingleShot(true);
    m_dateSettle->setInterval(300);
    connect(m_dateSettle, &QTimer::timeout, this, &FilterBar::changed);
    connect(m_from, &QDateEdit::dateChanged, this, [this] {
        if (m_useFrom->isChecked())
            m_dateSettle->start();
    });
    connect(m_to, &QDateEdit::dateChanged, this, [this] {
        if (m_useTo->isChecked())
            m_dateSettle->start();
    });
    connect(m_scope, &QComboBox::currentIndexChanged, this, onChange);
    connect(m_clear, &QToolButton::clicked, this, &FilterBar::clear);
}

MessageFilter FilterBar::filter() const
{
    MessageFilter filter;
    if (m_useFrom->isChecked())
        filter.since = MessageFilter::dayStart(m_from->date());
    if (m_useTo->isChecked())
        filter.until = MessageFilter::dayEnd(m_to->date());
    return filter;
}

FilterBar::Scope FilterBar::scope() const
{
    return Scope(m_scope->currentData().toInt());
}

bool FilterBar::isActive() const
{
    return filter().isActive() || scope() != Scope::Conversation;
}

void FilterBar::setRange(const QDate& from, const QDate& to)
{
    {
        const QSignalBlocker blockers[] { QSignalBlocker(m_useFrom), QSignalBlocker(m_from), QSignalBlocker(m_useTo),
            QSignalBlocker(m_to) };
        m_useFrom->setChecked(from.isValid());
        if (from.isValid())
            m_from->setDate(from);
        m_useTo->setChecked(to.isValid());
        if (to.isValid())
            m_to->setDate(to);
    }
    m_dateSettle->stop();
    updateWidgets();
    emit changed();
}

void FilterBar::setScope(Scope scope)
{
    m_scope->setCurrentIndex(m_scope->findData(int(scope)));
}

void FilterBar::clear()
{
    {
        const QSignalBlocker blockers[] { QSignalBlocker(m_useFrom), QSignalBlocker(m_useTo), QSignalBlocker(m_scope) };
        m_useFrom->setChecked(false);
        m_useTo->setChecked(false);
        m_scope->setCurrentIndex(0);
    }
    m_dateSettle->stop();
    updateWidgets();
    emit changed();
}

void FilterBar::updateWidgets()
{
    m_from->setEnabled(m_useFrom->isChecked());
    m_to->setEnabled(m_useTo->isChecked());
    m_clear->setEnabled(isActive());
}
