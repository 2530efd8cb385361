// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandRunner.h"
#include "cli/ConsoleProgress.h"
#include "cli/TerminalText.h"
#include "cli/UsageError.h"
#include "message/MessageText.h"
#include "ops/MessageSearch.h"
#include "ops/SearchMessagesThread.h"
#include "ops/export/ExportMessagesCsv.h"

#include <cstdio>
#include <stdexcept>

namespace {

void printLine(const QString& line, FILE* stream = stdout)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

} // namespace

int CommandRunner::search()
{
    const SearchQuery query(m_line.positional.first());
    if (query.isEmpty())
        throw UsageError(QStringLiteral("search needs a text with letters, digits or symbols to look for."));
    const QString format = m_line.value(QStringLiteral("format")).toLower();
    const bool csv = format == QLatin1String("csv");
    if (!csv && !format.isEmpty() && format != QLatin1String("txt"))
        throw UsageError(
            QStringLiteral("--format takes txt or csv, not \"%1\".").arg(m_line.value(QStringLiteral("format"))));
    SearchRange range;
    if (m_line.has(QStringLiteral("since")))
        range.since = dateBound(QStringLiteral("since"), m_line.value(QStringLiteral("since")));
    if (m_line.has(QStringLiteral("until")))
        range.until = dateBound(QStringLiteral("until"), m_line.value(QStringLiteral("until")));

    QList<SearchSource> sources;
    if (m_line.has(QStringLiteral("in"))) {
        const QString name = m_line.value(QStringLiteral("in"));
        sources.append(SearchSource { SearchSource::Kind::LocalDatabase, name, existingDatabase(name) });
    } else {
        sources = allSearchSources();
    }

    MessageSearch search(sources);
    ConsoleProgress progress;
    SearchMessagesThread worker(search, query, range, -1, &progress);
    runWorker(worker, progress);
    for (const QString& failed : search.failures())
        printLine(QStringLiteral("quillbarrow-sms: %1").arg(terminalText(failed, LineBreaks::Keep)), stderr);
    const QList<SearchHit>& hits = worker.results().hits;
    if (hits.isEmpty()) {
        if (!search.failures().isEmpty())
            return 1;
        throw std::runtime_error(QStringLiteral("No messages match \"%1\".").arg(query.text()).toStdString());
    }

    // A CSV field keeps its line breaks inside its quotes; every other control character is escaped.
    if (csv)
        printLine(QStringLiteral("Source,Conversation,Date,Message"));
    for (const SearchHit& hit : hits) {
        const QStringList fields { sources.at(hit.source).label(),
            hit.conversation.isEmpty() ? hit.chatIdentifier : hit.conversation,
            messageDateTime(hit.date).toString(QStringLiteral("yyyy-MM-dd HH:mm")), hit.text };
        QStringList printable;
        for (const QString& field : fields)
            printable << (csv ? csvField(terminalText(field, LineBreaks::Keep)) : terminalText(field));
        printLine(printable.join(csv ? QLatin1Char(',') : QLatin1Char('\t')));
    }
    std::fflush(stdout);
    return search.failures().isEmpty() ? 0 : 1;
}
