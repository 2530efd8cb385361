// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/RunSummary.h"

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
