// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/GeneratedPicture.h"

#include "tools/common/SeededRandom.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

quint32 crc32(const QByteArray& bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes)
        crc = table[(crc ^ static_cast<quint8>(byte)) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

void appendBigEndian(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    appendBigEndian(png, static_cast<quint32>(data.size()));
    const QByteArray typed = QByteArray(type, 4) + data;
    png += typed;
    appendBigEndian(png, crc32(typed));
}

} // namespace

QByteArray generatedPng(quint32 seed, int width, int height)
{
    SeededRandom random(seed);
    struct Disc
    {
        int x, y, radius;
        quint8 r, g, b;
    };
    const quint8 top[3] = { quint8(random.below(256)), quint8(random.below(256)), quint8(random.below(256)) };
    const quint8 bottom[3] = { quint8(random.below(256)), quint8(random.below(256)), quint8(random.below(256)) };
    Disc discs[4];
    for (Disc& disc : discs) {
        disc = { random.below(width), random.below(height), random.between(3, std::max(4, height / 3)),
            quint8(random.below(256)), quint8(random.below(256)), quint8(random.below(256)) };
    }

    // Each scan line starts with filter type 0 (none), then RGB triples.
    QByteArray pixels;
    pixels.reserve(height * (1 + 3 * width));
    for (int y = 0; y < height; ++y) {
        pixels += '\0';
        for (int x = 0; x < width; ++x) {
            quint8 rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = quint8((top[c] * (height - y) + bottom[c] * y) / std::max(1, height));
            for (const Disc& disc : discs) {
                const int dx = x - disc.x;
                const int dy = y - disc.y;
                if (dx * dx + dy * dy <= disc.radius * disc.radius) {
                    rgb[0] = disc.r;
                    rgb[1] = disc.g;
                    rgb[2] = disc.b;
                }
            }
            pixels.append(reinterpret_cast<const char*>(rgb), 3);
        }
    }

    QByteArray header;
    appendBigEndian(header, static_cast<quint32>(width));
    appendBigEndian(header, static_cast<quint32>(height));
    header += QByteArray("\x08\x02\x00\x00\x00", 5); // 8 bits per channel, RGB, no interlace

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    // qCompress gives a zlib stream behind a four-byte length of its own.
    appendChunk(png, "IDAT", qCompress(pixels, 9).mid(4));
    appendChunk(png, "IEND", QByteArray());
    return png;
}
