// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1String>

class QFile;
class QTextStream;

// Every exported file ends its lines with a carriage return and a line feed, on every platform,
// so that a file made here reads the same as one made on Windows.
inline constexpr QLatin1String exportLineEnd("\r\n");

// Opens the file write-only and truncated, and the stream on it as UTF-8 without byte-order mark.
// Throws std::runtime_error with the file's error text when it can not be opened.
void openExportFile(QFile& file, QTextStream& stream);
// Flushes the stream and closes the file; throws when what was written did not reach the file.
void closeExportFile(QFile& file, QTextStream& stream);
