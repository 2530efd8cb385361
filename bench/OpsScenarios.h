// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/BenchScenarios.h"

class IgnoringProgress;
class WorkerThread;

// Runs the worker to its end and times it; a failure throws with the worker's error text.
ScenarioResult timeWorker(WorkerThread& worker, IgnoringProgress& progress, qsizetype messages);

// The operations on every message of the filled store, each timed from the worker's start to its
// end with the progress posts delivered as the dialog would take them: a backup into a new local
// database, and the exports to text, CSV, HTML, PDF (on the first 10,000 messages at most) and XML.
// The HTML export reports the median of three runs, each into a new folder, and as its floor the
// median of three creations of the same files. The picture variants of the HTML and PDF exports
// give one message in ten a photo of 1600x1200 pixels.
ScenarioResult runBackupScenario(const BenchContext& context);
ScenarioResult runExportTxtScenario(const BenchContext& context);
ScenarioResult runExportCsvScenario(const BenchContext& context);
ScenarioResult runExportHtmlScenario(const BenchContext& context);
ScenarioResult runExportHtmlPicturesScenario(const BenchContext& context);
ScenarioResult runExportPdfScenario(const BenchContext& context);
ScenarioResult runExportPdfPicturesScenario(const BenchContext& context);
ScenarioResult runExportXmlScenario(const BenchContext& context);
