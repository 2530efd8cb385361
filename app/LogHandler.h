// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

// Keeps the keepCount last files (by name) of the log folder, then routes every Qt message of the
// process into <logFolderPath>/log-yyyyMMdd.txt.
void installLogHandler(const QString& logFolderPath, int keepCount);

// The Qt message handler: one line per message, "(D hh:mm:ss) text" and so on by level.
// Safe to call from any thread; a fatal message aborts the process once its line is written.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
