// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

// Keeps the keepCount last files (by name) of the log folder, then routes every Qt message of the
// process into <logFolderPath>/log-yyyyMMdd.txt. Debug messages are also printed on standard output
// unless echoDebug is false (the command-line program keeps its standard output for results).
void installLogHandler(const QString& logFolderPath, int keepCount, bool echoDebug = true);

// The Qt message handler: one line per message, "(D hh:mm:ss) text" and so on by level.
// Safe to call from any thread; a fatal message aborts the process once its line is written.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
