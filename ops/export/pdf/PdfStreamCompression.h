// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// While one lives on a thread, the zlib streams opened there at zlib's default level are opened at
// the fastest level instead. cairo compresses every stream of a PDF file at the default level and
// has no setting for it: the emoji pictures, font subsets and pages, compressed anew for every
// file, took about a third of the export's time, and the fastest level makes the files only about
// a twentieth larger. Streams opened elsewhere, or with a level of their own, are left as asked.
class FastStreamCompression
{
public:
    FastStreamCompression();
    ~FastStreamCompression();
    FastStreamCompression(const FastStreamCompression&) = delete;
    FastStreamCompression& operator=(const FastStreamCompression&) = delete;
};
