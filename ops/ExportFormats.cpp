// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportFormats.h"

#include "ops/ExportSMSThread.h"
#include "ops/export/ExportMessagesCsv.h"
#include "ops/export/ExportMessagesTxt.h"
#include "ops/export/ExportSMSHtml.h"
#include "ops/export/ExportSMSPdf.h"
#include "ops/export/ExportSMSXml.h"

#include <QCoreApplication>

#include <stdexcept>

namespace {

std::shared_ptr<ExportWriter> textWriter(const ExportWriterInput& input)
{
    return std::make_shared<ExportMessagesTxt>(input.path);
}

std::shared_ptr<ExportWriter> csvWriter(const ExportWriterInput& input)
{
    return std::make_shared<ExportMessagesCsv>(input.path);
}

std::shared_ptr<ExportWriter> pdfWriter(const ExportWriterInput& input)
{
    return std::make_shared<ExportSMSPdf>(input.path, input.pageInfo);
}

std::shared_ptr<ExportWriter> htmlWriter(const ExportWriterInput& input)
{
    return std::make_shared<ExportSMSHtml>(input.path, input.conversation, input.placeAttachment, input.openedFile);
}

std::shared_ptr<ExportWriter> xmlWriter(const ExportWriterInput& input)
{
    return std::make_shared<ExportSMSXml>(input.path);
}

} // namespace

const QList<ExportFormat>& exportFormats()
{
    static const QList<ExportFormat> formats {
        { ExportSMSThread::Text, "txt", QT_TRANSLATE_NOOP("MainWindow", "Text Files(*.txt)"), ".txt", false, false,
            textWriter },
        { ExportSMSThread::Text, "doc", QT_TRANSLATE_NOOP("MainWindow", "Doc Files(*.doc)"), ".doc", false, false,
            textWriter },
        { ExportSMSThread::Csv, "csv", QT_TRANSLATE_NOOP("MainWindow", "CSV Files(*.csv)"), ".csv", false, false,
            csvWriter },
        { ExportSMSThread::Pdf, "pdf", QT_TRANSLATE_NOOP("MainWindow", "PDF Files(*.pdf)"), ".pdf", true, false,
            pdfWriter },
        { ExportSMSThread::Html, "html", QT_TRANSLATE_NOOP("MainWindow", "HTML Files(*.html)"), ".html", true, false,
            htmlWriter },
        { ExportSMSThread::Xml, "xml", QT_TRANSLATE_NOOP("MainWindow", "XML Backup(*.xml)"), ".xml", false, false,
            xmlWriter },
        { ExportSMSThread::Pdf, "pdf",
            QT_TRANSLATE_NOOP("MainWindow", "PDF Files to Hand Over, with Cover Page(*.pdf)"), ".pdf", true, true,
            pdfWriter },
    };
    return formats;
}

const ExportFormat& exportFormatByCode(unsigned code)
{
    for (const ExportFormat& format : exportFormats()) {
        if (format.code == code)
            return format;
    }
    throw std::runtime_error("not support export format.");
}

const ExportFormat* exportFormatByName(const QString& name, bool evidence)
{
    for (const ExportFormat& format : exportFormats()) {
        if (name.compare(QLatin1String(format.commandLineName), Qt::CaseInsensitive) == 0
            && format.evidence == evidence)
            return &format;
    }
    return nullptr;
}

QStringList exportFormatNames()
{
    QStringList names;
    for (const ExportFormat& format : exportFormats()) {
        const QString name = QLatin1String(format.commandLineName);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

QString exportFolderName(const ExportFormat& format, const QString& baseName)
{
    return baseName + QLatin1Char('-') + QLatin1String(format.suffix).mid(1);
}
