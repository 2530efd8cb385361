// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportFile.h"

#include <QFile>
#include <QTextStream>

#include <stdexcept>

void openExportFile(QFile& file, QTextStream& stream)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(file.errorString().toUtf8().toStdString());
    stream.setDevice(&file);
    stream.setEncoding(QStringConverter::Utf8);
    stream.setGenerateByteOrderMark(false);
}

void closeExportFile(QFile& file, QTextStream& stream)
{
    stream.flush();
    const bool written = stream.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
    const QString error = file.errorString();
    file.close();
    if (!written)
        throw std::runtime_error(error.toUtf8().toStdString());
}
