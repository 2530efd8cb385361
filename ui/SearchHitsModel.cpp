// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SearchHitsModel.h"

#include "message/MessageText.h"

#include <QLocale>

namespace {

// Words before the first hit that stay in view.
constexpr int leadingContext = 30;
constexpr int snippetLength = 200;

} // namespace

SearchHitsModel::SearchHitsModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int SearchHitsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchHitsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchHitsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_hits.size())
        return QVariant();
    const SearchHit& found = m_hits.at(index.row());
    if (role == HighlightedRole && index.column() == MessageColumn)
        return m_snippets.at(index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case SourceColumn:
        return sourceOf(index.row()).label();
    case ConversationColumn:
        return found.conversation.isEmpty() ? found.chatIdentifier : found.conversation;
    case DateColumn:
        return QLocale::system().toString(messageDateTime(found.date), QLocale::ShortFormat);
    case MessageColumn:
        return role == Qt::ToolTipRole ? found.text : found.text.simplified();
    default:
        return QVariant();
    }
}

QVariant SearchHitsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case SourceColumn:
        return tr("Source");
    case ConversationColumn:
        return tr("Conversation");
    case DateColumn:
        return tr("Date");
    case MessageColumn:
        return tr("Message");
    default:
        return QVariant();
    }
}

void SearchHitsModel::setHits(
    const QList<SearchSource>& sources, const QList<SearchHit>& hits, const SearchQuery& query)
{
    beginResetModel();
    m_sources = sources;
    m_hits = hits;
    m_snippets.clear();
    m_snippets.reserve(hits.size());
    for (const SearchHit& found : hits)
        m_snippets << snippetHtml(found.text, query);
    endResetModel();
}

void SearchHitsModel::clear()
{
    beginResetModel();
    m_sources.clear();
    m_hits.clear();
    m_snippets.clear();
    endResetModel();
}

QString SearchHitsModel::snippetHtml(const QString& text, const SearchQuery& query)
{
    // Line breaks become spaces one for one, so that the positions of the hits stay valid.
    QString line = text;
    for (QChar& c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    const QList<SearchSpan> spans = query.highlights(line);
    int from = 0;
    if (!spans.isEmpty() && spans.first().start > leadingContext) {
        from = spans.first().start - leadingContext;
        // Starts at a word, and never inside a surrogate pair.
        const int space = int(line.indexOf(QLatin1Char(' '), from));
        if (space >= 0 && space < spans.first().start)
            from = space + 1;
        else if (line.at(from).isLowSurrogate())
            ++from;
    }
    int to = std::min(int(line.size()), from + snippetLength);
    if (to < line.size() && line.at(to).isLowSurrogate())
        ++to;

    QString html;
    if (from > 0)
        html += QStringLiteral("…");
    int at = from;
    for (const SearchSpan& span : spans) {
        const int start = std::max(span.start, at);
        const int end = std::min(span.start + span.length, to);
        if (start >= end)
            continue;
        html += line.mid(at, start - at).toHtmlEscaped();
        html += QStringLiteral("<b style=\"background-color:#ffe37a;color:#000000\">")
            + line.mid(start, end - start).toHtmlEscaped() + QStringLiteral("</b>");
        at = end;
    }
    html += line.mid(at, to - at).toHtmlEscaped();
    if (to < line.size())
        html += QStringLiteral("…");
    return html;
}
