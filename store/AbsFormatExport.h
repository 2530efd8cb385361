// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A writer of records: construct with its output, begin, write any number of records, end.
// A writer destroyed without end leaves its output incomplete.
template<typename Record>
class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    // Opens the output and writes what precedes the first record; throws std::runtime_error on failure.
    virtual void begin() = 0;
    virtual void write(const Record& record) = 0;
    // Writes what follows the last record, flushes and closes.
    virtual void end() = 0;
};
