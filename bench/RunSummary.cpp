// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/RunSummary.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

QString formatFigures(const ResultFigures& figures)
{
    QString line = QStringLiteral("scenario=%1 messages=%2 seconds=%3 rate=%4 peak_rss_mib=%5")
                       .arg(figures.name)
                       .arg(figures.messages)
                       .arg(figures.seconds, 0, 'f', 3)
                       .arg(figures.rate, 0, 'f', 0)
                       .arg(figures.peakMiB, 0, 'f', 1);
    if (figures.floorRate) {
        const double ratio = *figures.floorRate > 0 ? figures.rate / *figures.floorRate : 0;
        line += QStringLiteral(" floor_rate=%1 ratio=%2").arg(*figures.floorRate, 0, 'f', 0).arg(ratio, 0, 'f', 2);
    }
    return line;
}

std::optional<ResultFigures> parseResultLine(const QString& line)
{
    QHash<QString, QString> fields;
    for (const QString& field : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = field.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        fields.insert(field.left(equals), field.mid(equals + 1));
    }
    bool complete = true;
    const auto number = [&fields, &complete](const char* key) {
        bool ok = false;
        const double value = fields.value(QLatin1String(key)).toDouble(&ok);
        complete = complete && ok;
        return value;
    };
    ResultFigures figures;
    figures.name = fields.value(QStringLiteral("scenario"));
    figures.messages = qint64(number("messages"));
    figures.seconds = number("seconds");
    figures.rate = number("rate");
    figures.peakMiB = number("peak_rss_mib");
    if (fields.contains(QStringLiteral("floor_rate")))
        figures.floorRate = number("floor_rate");
    if (!complete || figures.name.isEmpty())
        return std::nullopt;
    return figures;
}

QString summaryLine(const QList<ResultFigures>& runs)
{
    std::vector<double> messages, seconds, rates, peaks, floorRates;
    for (const ResultFigures& run : runs) {
        messages.push_back(double(run.messages));
        seconds.push_back(run.seconds);
        rates.push_back(run.rate);
        peaks.push_back(run.peakMiB);
        if (run.floorRate)
            floorRates.push_back(*run.floorRate);
    }
    ResultFigures median;
    median.name = runs.value(0).name;
    median.messages = qint64(medianOf(messages));
    median.seconds = medianOf(seconds);
    median.rate = medianOf(rates);
    median.peakMiB = medianOf(peaks);
    if (!floorRates.empty())
        median.floorRate = medianOf(floorRates);
    const auto [slowest, fastest] = std::minmax_element(rates.begin(), rates.end());
    QString line = formatFigures(median);
    if (slowest != rates.end())
        line += QStringLiteral(" spread=%1-%2").arg(*slowest, 0, 'f', 0).arg(*fastest, 0, 'f', 0);
    return line;
}
