// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/ByteBuffer.h"

#include <QByteArray>
#include <QFile>
#include <QLatin1String>
#include <QString>
#include <QStringEncoder>

#include <memory>

// Every exported file ends its lines with a carriage return and a line feed, on every platform,
// so that a file made here reads the same as one made on Windows.
inline constexpr QLatin1String exportLineEnd("\r\n");

// An export file written as UTF-8 without byte-order mark. Every write is checked: a failure throws
// std::runtime_error with the system's reason ("No space left on device"), which Qt's own error text
// loses when a write stops part way.
class ExportFile
{
public:
    explicit ExportFile(const QString& path);
    // Writes to a file that its creator left open for writing (see ExportStaging::stageFile), or
    // opens the path itself when that file is missing or closed.
    ExportFile(const QString& path, std::shared_ptr<QFile> opened);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Opens the file write-only, emptied when it holds anything; a file handed over open is taken as
    // it is.
    void open();
    void write(QStringView text);
    void write(QLatin1String text) { write(QString(text)); }
    // Text already in UTF-8, gathered in place: a writer appends to bytes() and then calls
    // bytesAdded(), which hands them to the system once enough have gathered. Not to be mixed with
    // write(QStringView), whose encoder may still hold half of a surrogate pair.
    ByteBuffer& bytes() { return m_buffer; }
    void bytesAdded()
    {
        if (m_buffer.size() >= bufferLimit)
            writeBuffer();
    }
    // Writes what is still buffered and closes the file.
    void close();

private:
    // Encoded text is handed to the system in pieces of about this size.
    static constexpr qsizetype bufferLimit = 1 << 16;

    void writeBuffer();

    std::shared_ptr<QFile> m_file;
    QStringEncoder m_encoder;
    ByteBuffer m_buffer;
};

// Opens the file write-only, emptied when it holds anything, with the further mode given; false,
// with the file's error set, when it can not.
bool openEmptied(QFile& file, QIODevice::OpenMode extraMode = {});

// Why writing to the file fails: tries to add to it and returns the system's reason, or a plain
// statement when the file takes the bytes after all. Meant for a file whose writer could not say.
QString writeFailureReason(const QString& path);
