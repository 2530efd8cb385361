// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The median of the values, the mean of the middle two for an even count; 0 for none.
double medianOf(std::vector<double> values);

// The figures of one scenario line, "scenario=NAME messages=N seconds=S rate=R peak_rss_mib=M
// [floor_rate=F ratio=X]", as a run printed them.
struct ResultFigures
{
    QString name;
    qint64 messages = 0;
    double seconds = 0;
    double rate = 0;
    double peakMiB = 0;
    std::optional<double> floorRate;
};

// The line of the figures; the ratio is the rate over the floor rate.
QString formatFigures(const ResultFigures& figures);
// Nothing for a line that is not a complete scenario line.
std::optional<ResultFigures> parseResultLine(const QString& line);

// One line for several runs of a scenario: each figure the median of the runs' figures, the ratio
// that of the median rate to the median floor rate, then " spread=MIN-MAX" of the rates.
QString summaryLine(const QList<ResultFigures>& runs);
