// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/export/ExportSMSHtml.h"
#include "ops/export/pdf/PageHeadings.h"
#include "store/AbsFormatExport.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct _MsgMessage;

using ExportWriter = AbsFormatExport<_MsgMessage>;

// What a writer is made from: the file it writes to and what the page formats show beside the
// messages.
struct ExportWriterInput
{
    QString path;
    const PageDocumentInfo& pageInfo;
    HtmlConversation conversation; // of this file, for the formats with one file per conversation
    HtmlAttachmentPlacer placeAttachment;
    // The file at path, left open by its creation, for a writer that can take it over.
    std::shared_ptr<QFile> openedFile;
};

using ExportWriterFactory = std::shared_ptr<ExportWriter> (*)(const ExportWriterInput& input);

// One way to export messages, as the save dialog offers it and the command line names it.
struct ExportFormat
{
    unsigned code; // ExportSMSThread::FormatCode of its writer
    const char* commandLineName; // the value of --format
    const char* filter; // the save dialog's filter, to translate in the "MainWindow" context
    // Given to a chosen file name that has none. A folder format names its folder after the chosen
    // name with "-" and the suffix's letters ("my-pdf"), and each conversation's file with it.
    const char* suffix;
    bool folder; // one file per conversation in a folder, rather than one file
    bool evidence; // pages to hand over: a cover page and numbered messages
    ExportWriterFactory makeWriter;
};

// Every format, in the order the save dialog offers them. Some writers appear twice: under another
// suffix ("doc") or with evidence.
const QList<ExportFormat>& exportFormats();

// The first row of that code; throws std::runtime_error for a code no row has.
const ExportFormat& exportFormatByCode(unsigned code);

// The row for --format NAME (any case) with or without --evidence; null when there is none.
const ExportFormat* exportFormatByName(const QString& name, bool evidence);

// The names --format takes, each once, in table order.
QStringList exportFormatNames();

// The name a folder format gives its folder: "my" becomes "my-pdf".
QString exportFolderName(const ExportFormat& format, const QString& baseName);
