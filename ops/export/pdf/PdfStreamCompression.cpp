// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/PdfStreamCompression.h"

#include <zlib.h>

namespace {

thread_local int fastScopes = 0;
// zlib's default memory level, as deflateInit_ itself uses.
constexpr int defaultMemoryLevel = 8;

} // namespace

FastStreamCompression::FastStreamCompression()
{
    ++fastScopes;
}

FastStreamCompression::~FastStreamCompression()
{
    --fastScopes;
}

// Defined in the program, this takes the place of zlib's own for the libraries it loads, cairo
// among them. It is zlib's own apart from the level; this file is linked whenever a canvas is.
extern "C" int deflateInit_(z_streamp stream, int level, const char* version, int streamSize)
{
    if (level == Z_DEFAULT_COMPRESSION && fastScopes > 0)
        level = Z_BEST_SPEED;
    return deflateInit2_(
        stream, level, Z_DEFLATED, MAX_WBITS, defaultMemoryLevel, Z_DEFAULT_STRATEGY, version, streamSize);
}
