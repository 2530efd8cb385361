// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/ExportStaging.h"

#include <QHash>
#include <QSet>
#include <QString>

struct _MsgAttachment;

// The files the pages of one HTML export share, staged with the export's other files: the style
// sheet and the bubbles in "files", the program's emoji pictures in "emoji", and one copy in "files"
// of every attachment a page shows. The names given depend on the order of the calls, so one thread
// makes every call, in the order of the pages.
class HtmlExportFiles
{
public:
    HtmlExportFiles(ExportStaging& staging, const QString& folder);

    // Makes "files" and "emoji" and puts the shared files there; throws when one can not be written.
    void prepareFolders();
    // Copies an attachment's file into "files" once per export; its address from a page, or empty
    // when there is no file or it could not be copied.
    QString placeAttachment(const _MsgAttachment& attachment);

private:
    void copyPlainFiles(const QString& fromFolder, const QString& toFolder);
    // False when the copy was left out.
    bool copyFile(const QString& from, const QString& to, ExportStaging::Existing existing);

    ExportStaging& m_staging;
    QString m_folder;
    QHash<QString, QString> m_placedAttachments; // source file to its address from a page
    QSet<QString> m_usedAttachmentNames; // in "files", folded to lower case
};
