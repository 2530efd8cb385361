// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/HtmlExportFiles.h"

#include "message/MessageText.h"
#include "ops/ExportSMSThread.h"
#include "ops/export/ExportSMSHtml.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

HtmlExportFiles::HtmlExportFiles(ExportStaging& staging, const QString& folder)
    : m_staging(staging)
    , m_folder(folder)
{
}

void HtmlExportFiles::prepareFolders()
{
    const QDir output(m_folder);
    const QDir application(QCoreApplication::applicationDirPath());
    const QString files = output.filePath(QStringLiteral("files"));
    m_staging.makeFolder(files);
    // The style sheet and the bubbles every page refers to; a new export brings its own.
    for (const QString& name : htmlSharedFileNames()) {
        const QString target = QDir(files).filePath(name);
        const QString staged
            = m_staging.stageFile(target, ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse);
        const QByteArray content = htmlSharedFile(name);
        QFile file(staged);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()
            || !file.flush())
            throw exportWriteError(target, file.errorString());
    }
    if (application.exists(QStringLiteral("bubble")))
        copyPlainFiles(application.filePath(QStringLiteral("bubble")), files);
    if (application.exists(QStringLiteral("emoji"))) {
        const QString emoji = output.filePath(QStringLiteral("emoji"));
        m_staging.makeFolder(emoji);
        copyPlainFiles(application.filePath(QStringLiteral("emoji")), emoji);
    }
}

QString HtmlExportFiles::placeAttachment(const _MsgAttachment& attachment)
{
    const QString source = attachment.sourcePath;
    if (source.isEmpty())
        return QString();
    const auto placed = m_placedAttachments.constFind(source);
    if (placed != m_placedAttachments.cend())
        return *placed;
    QString address;
    if (QFileInfo(source).isFile()) {
        QString base = safeFileName(attachmentFileName(attachment));
        if (base.isEmpty() || base.startsWith(QLatin1Char('.')))
            base = QStringLiteral("attachment") + base;
        // Attachments of the same name keep a file each; the style sheet and bubbles keep theirs.
        const QFileInfo info(base);
        const QString suffix = info.completeSuffix().isEmpty() ? QString() : QLatin1Char('.') + info.completeSuffix();
        QString name = base;
        for (int n = 2; m_usedAttachmentNames.contains(name.toLower())
             || htmlSharedFileNames().contains(name, Qt::CaseInsensitive);
             ++n)
            name = QStringLiteral("%1 (%2)%3").arg(info.baseName()).arg(n).arg(suffix);
        m_usedAttachmentNames.insert(name.toLower());
        const QString target = QDir(QDir(m_folder).filePath(QStringLiteral("files"))).filePath(name);
        // A copy that fails leaves the picture out, not the whole export.
        try {
            if (copyFile(source, target, ExportStaging::Existing::Replace))
                address = QStringLiteral("files/") + name;
        } catch (const std::exception&) {
        }
    }
    m_placedAttachments.insert(source, address);
    return address;
}

void HtmlExportFiles::copyPlainFiles(const QString& fromFolder, const QString& toFolder)
{
    // A folder reached through a link lies outside the export.
    if (QFileInfo(toFolder).isSymLink())
        return;
    const QFileInfoList entries = QDir(fromFolder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString target = QDir(toFolder).filePath(entry.fileName());
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink())
            continue;
        // A copy that fails is left out: the pages do not refer to these files.
        try {
            copyFile(entry.filePath(), target, ExportStaging::Existing::Keep);
        } catch (const std::exception&) {
        }
    }
}

bool HtmlExportFiles::copyFile(const QString& from, const QString& to, ExportStaging::Existing existing)
{
    const QString staged = m_staging.stageFile(to, existing, ExportStaging::Devices::Refuse);
    QFile source(from);
    QFile copy(staged);
    if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_staging.unstage(staged);
        return false;
    }
    const QByteArray content = source.readAll();
    if (copy.write(content) != content.size() || !copy.flush()) {
        copy.close();
        m_staging.unstage(staged);
        return false;
    }
    return true;
}
