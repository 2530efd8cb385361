// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
