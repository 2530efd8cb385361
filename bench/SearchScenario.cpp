// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SearchScenario.h"

#include "base/DataFolders.h"
#include "ops/MessageSearch.h"
#include "store/IOS6MessageDb.h"

#include <QElapsedTimer>
#include <QHash>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

constexpr int storeCount = 4;
constexpr int rounds = 5;
constexpr int firstPage = 50;

// Store i of storeCount gets every message whose row id leaves remainder i, with every conversation.
void writePart(const QDir& filled, const QDir& folder, int part)
{
    QDir(folder).removeRecursively();
    IOS6MessageDb store(folder, QString(), true);
    store.open();
    store.executeThrow(Sqlite3Sql(QStringLiteral("ATTACH ? AS filled"))
                           .addTextParam(IOS6MessageDb(filled, QString(), false).dbPath()));
    store.beginTran();
    for (const char* table : { "chat", "handle", "chat_handle_join" })
        store.executeThrow(QStringLiteral("INSERT INTO main.%1 SELECT * FROM filled.%1").arg(QLatin1String(table)));
    store.executeThrow(QStringLiteral("INSERT INTO main.message SELECT * FROM filled.message WHERE ROWID % %1 = %2")
                           .arg(storeCount)
                           .arg(part));
    store.executeThrow(QStringLiteral(
        "INSERT INTO main.chat_message_join SELECT * FROM filled.chat_message_join WHERE message_id % %1 = %2")
                           .arg(storeCount)
                           .arg(part));
    store.commitTran();
    store.executeThrow("DETACH filled");
}

// A number of the store in its national form with a space, as people type it: 07946 123456.
QString nationalNumber(const QDir& filled)
{
    IOS6MessageDb store(filled, QString(), false);
    store.open();
    Sqlite3Cursor number = store.queryThrow("select id from handle where id like '+447%' order by ROWID limit 1");
    if (!number.moveNext())
        return QStringLiteral("07700 900123");
    const QString digits = number.getText(0).mid(3);
    return QLatin1Char('0') + digits.left(4) + QLatin1Char(' ') + digits.mid(4);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

ScenarioResult runSearchScenario(const BenchContext& context)
{
    QList<SearchSource> sources;
    for (int i = 0; i < storeCount - 1; ++i) {
        const QString name = QStringLiteral("Search%1").arg(i + 1);
        sources.append({ SearchSource::Kind::LocalDatabase, name, QDir(localDatabasesDir().filePath(name)) });
    }
    const QString phone = QStringLiteral("356938035643809");
    sources.append({ SearchSource::Kind::DeviceCache, phone, QDir(androidCacheDir().filePath(phone)) });
    for (int i = 0; i < storeCount; ++i)
        writePart(context.storeDir(), sources.at(i).folder, i);

    MessageSearch search(sources);
    QElapsedTimer build;
    build.start();
    search.update();
    const double buildSeconds = double(build.nsecsElapsed()) / 1e9;
    if (!search.failures().isEmpty())
        throw std::runtime_error(search.failures().join(QLatin1Char('\n')).toStdString());

    const QStringList whole { QStringLiteral("see"), QStringLiteral("birthday"), QStringLiteral("late minutes"),
        QStringLiteral("milk bread"), QStringLiteral("\"no way\""), QStringLiteral("jürgen"),
        QStringLiteral("anna schmidt"), nationalNumber(context.storeDir()), QStringLiteral("吃饭"),
        QStringLiteral("مرحبا"), QStringLiteral("καλημερα"), QStringLiteral("🎉"), QStringLiteral("zebra"),
        QStringLiteral("parcel today") };
    const QStringList prefixes { QStringLiteral("th"), QStringLiteral("tha"), QStringLiteral("bir"),
        QStringLiteral("birt"), QStringLiteral("you"), QStringLiteral("whe"), QStringLiteral("pri"),
        QStringLiteral("mee"), QStringLiteral("an"), QStringLiteral("jü") };

    qint64 indexed = 0;
    for (const SearchSource& source : search.sources()) {
        SearchIndex index(source.folder);
        indexed += index.hasStore() ? index.messageCount() : 0;
    }

    const auto time = [&](const QString& text, bool count) {
        const SearchQuery query(text);
        QElapsedTimer timer;
        timer.start();
        const SearchResults results = search.search(query, SearchRange(), firstPage, count);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (count && results.total < results.hits.size())
            throw std::runtime_error("the count is below the hits shown");
        return seconds;
    };
    // Once each to warm the page cache, as a window that has searched before has it.
    for (const QString& text : whole + prefixes)
        time(text, true);
    std::vector<double> wholeTimes;
    std::vector<double> prefixTimes;
    QHash<QString, std::vector<double>> perQuery;
    for (int round = 0; round < rounds; ++round) {
        for (const QString& text : whole) {
            wholeTimes.push_back(time(text, true));
            perQuery[text].push_back(wholeTimes.back());
        }
        for (const QString& text : prefixes) {
            prefixTimes.push_back(time(text, false));
            perQuery[text].push_back(prefixTimes.back());
        }
    }
    // The slowest query of each kind by its own median, to tell which one a target misses on.
    const auto slowest = [&perQuery](const QStringList& texts) {
        QString worst;
        double worstMedian = -1;
        for (const QString& text : texts) {
            const double own = median(perQuery.value(text));
            if (own > worstMedian) {
                worst = text;
                worstMedian = own;
            }
        }
        return std::make_pair(worst, worstMedian);
    };
    const auto [slowWhole, slowWholeMedian] = slowest(whole);
    const auto [slowPrefix, slowPrefixMedian] = slowest(prefixes);
    std::printf("search_slowest query=\"%s\" median_ms=%.2f prefix=\"%s\" prefix_median_ms=%.2f\n",
        slowWhole.toUtf8().constData(), slowWholeMedian * 1e3, slowPrefix.toUtf8().constData(), slowPrefixMedian * 1e3);

    std::printf("search stores=%d queries=%d median_ms=%.2f max_ms=%.2f prefix_first_page_median_ms=%.2f "
                "prefix_first_page_max_ms=%.2f index_seconds=%.2f\n",
        storeCount, int(whole.size() + prefixes.size()), median(wholeTimes) * 1e3,
        *std::max_element(wholeTimes.cbegin(), wholeTimes.cend()) * 1e3, median(prefixTimes) * 1e3,
        *std::max_element(prefixTimes.cbegin(), prefixTimes.cend()) * 1e3, buildSeconds);
    std::fflush(stdout);

    for (const SearchSource& source : std::as_const(sources))
        QDir(source.folder).removeRecursively();
    ScenarioResult result;
    result.messages = indexed;
    result.seconds = median(wholeTimes);
    return result;
}
