// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/IndexScenario.h"

#include "store/search/SearchIndex.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

ScenarioResult runIndexScenario(const BenchContext& context)
{
    SearchIndex index(context.storeDir());
    QFile::remove(index.indexPath());

    QElapsedTimer timer;
    timer.start();
    if (index.ensureUpToDate() != SearchIndex::Update::Rebuilt)
        throw std::runtime_error("the index was not built");
    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = index.messageCount();
    index.close();

    const double indexBytes = double(QFileInfo(index.indexPath()).size());
    const double storeBytes = double(QFileInfo(index.storePath()).size());
    std::printf("index_size index_mib=%.1f store_mib=%.1f fraction=%.3f\n", indexBytes / 1048576.0,
        storeBytes / 1048576.0, storeBytes > 0 ? indexBytes / storeBytes : 0.0);
    std::fflush(stdout);
    return result;
}
