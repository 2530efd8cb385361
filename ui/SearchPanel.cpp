// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SearchPanel.h"

#include "ui/SearchHitsModel.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Draws the message column's snippet as rich text, on one line, elided by the cell.
class HighlightDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.text.clear();
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

        QTextDocument document;
        document.setDocumentMargin(0);
        document.setDefaultFont(cell.font);
        document.setHtml(index.data(SearchHitsModel::HighlightedRole).toString());
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = cell.palette;
        if (cell.state & QStyle::State_Selected)
            context.palette.setColor(QPalette::Text, cell.palette.color(QPalette::HighlightedText));
        painter->save();
        painter->translate(text.left(), text.top() + (text.height() - document.size().height()) / 2);
        painter->setClipRect(text.translated(-text.topLeft()));
        document.documentLayout()->draw(painter, context);
        painter->restore();
    }
};

} // namespace

SearchPanel::SearchPanel(QWidget* parent)
    : QWidget(parent)
    , m_box(new QLineEdit(this))
    , m_count(new QLabel(this))
    , m_view(new QTreeView(this))
    , m_model(new SearchHitsModel(this))
    , m_search(new LiveSearch(this))
{
    setObjectName(QStringLiteral("searchPanel"));
    m_box->setObjectName(QStringLiteral("txtSearchAll"));
    m_box->setPlaceholderText(tr("Search every database and phone (names, numbers, words)"));
    m_box->setClearButtonEnabled(true);
    m_box->installEventFilter(this);
    m_count->setObjectName(QStringLiteral("lbSearchCount"));
    m_count->setMinimumWidth(160);
    m_count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_view->setObjectName(QStringLiteral("treeViewSearch"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setItemDelegateForColumn(SearchHitsModel::MessageColumn, new HighlightDelegate(m_view));
    m_view->header()->setStretchLastSection(true);
    m_view->setColumnWidth(SearchHitsModel::SourceColumn, 130);
    m_view->setColumnWidth(SearchHitsModel::ConversationColumn, 190);
    m_view->setColumnWidth(SearchHitsModel::DateColumn, 140);

    auto* top = new QHBoxLayout;
    top->addWidget(m_box, 1);
    top->addWidget(m_count);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(m_view);

    connect(m_box, &QLineEdit::textChanged, this, &SearchPanel::search);
    connect(m_box, &QLineEdit::returnPressed, this, [this] {
        if (m_model->rowCount() > 0)
            choose(m_view->currentIndex().isValid() ? m_view->currentIndex() : m_model->index(0, 0));
    });
    connect(m_view, &QTreeView::clicked, this, &SearchPanel::choose);
    connect(m_view, &QTreeView::activated, this, &SearchPanel::choose);
    connect(m_search, &LiveSearch::answered, this, &SearchPanel::show);
    connect(m_search, &LiveSearch::indexing, this, [this](const QString& source, qint64 done, qint64 total) {
        m_count->setText(tr("Indexing %1: %2%").arg(source).arg(total > 0 ? done * 100 / total : 0));
    });
}

void SearchPanel::activate()
{
    m_search->reload();
    m_box->setFocus(Qt::ShortcutFocusReason);
    m_box->selectAll();
    search();
}

SearchQuery SearchPanel::query() const
{
    return SearchQuery(m_shownText);
}

void SearchPanel::search()
{
    const QString text = m_box->text();
    if (SearchQuery(text).isEmpty()) {
        m_shownText = text;
        m_model->clear();
        m_count->clear();
        // An answer still on its way is for an earlier text.
        m_search->request(QString(), SearchRange(), 0);
        return;
    }
    m_search->request(text, SearchRange(), listLimit);
}

void SearchPanel::show(const LiveSearch::Answer& answer)
{
    m_shownText = m_box->text();
    const SearchQuery query(m_shownText);
    if (query.isEmpty())
        return;
    m_model->setHits(answer.sources, answer.results.hits, query);
    const qint64 total = std::max<qint64>(answer.results.total, answer.results.hits.size());
    QString count = total == 0 ? tr("No messages found")
        : total == 1           ? tr("1 message found")
                               : tr("%1 messages found").arg(QLocale::system().toString(total));
    if (answer.results.hits.size() < total)
        count += tr(", newest %1 listed").arg(answer.results.hits.size());
    if (!answer.failures.isEmpty())
        count += tr(" (%1 could not be searched)").arg(answer.failures.size());
    m_count->setText(count);
    m_count->setToolTip(answer.failures.join(QLatin1Char('\n')));
    if (m_model->rowCount() > 0)
        m_view->setCurrentIndex(m_model->index(0, 0));
    emit hitsShown();
}

void SearchPanel::choose(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    m_view->setCurrentIndex(index);
    emit hitChosen(m_model->sourceOf(index.row()), m_model->hit(index.row()));
}

bool SearchPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Up and down in the box move through the hits, as in a browser's address bar.
    if (watched == m_box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Down || key == Qt::Key_Up) && m_model->rowCount() > 0) {
            const int row = m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
            const int next = std::clamp(row + (key == Qt::Key_Down ? 1 : -1), 0, m_model->rowCount() - 1);
            m_view->setCurrentIndex(m_model->index(next, 0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
