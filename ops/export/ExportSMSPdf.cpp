// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSPdf.h"

#include "ops/export/ExportFile.h"

#include <QFile>
#include <QPageSize>

#include <stdexcept>

namespace {

std::runtime_error failure(const QString& reason)
{
    return std::runtime_error(reason.toUtf8().toStdString());
}

// The printer writes the end-of-file marker last and reports no failed write: a file that does not
// end with it did not reach the disk whole.
bool endsWithPdfTrailer(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16 || !file.seek(file.size() - 16))
        return false;
    return file.read(16).trimmed().endsWith("%%EOF");
}

} // namespace

ExportSMSPdf::ExportSMSPdf(const QString& path)
    : m_printer(QPrinter::ScreenResolution)
{
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(path);
    m_printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    m_pages.beginPages(&m_printer);
}

void ExportSMSPdf::begin()
{
    // A file that can not be written must fail the export instead of reporting it done.
    if (!m_pages.isActive())
        throw failure(writeFailureReason(m_printer.outputFileName()));
}

void ExportSMSPdf::write(const _MsgMessage& message)
{
    m_pages.writeMessage(message);
}

void ExportSMSPdf::end()
{
    m_pages.endPages();
    if (!endsWithPdfTrailer(m_printer.outputFileName()))
        throw failure(writeFailureReason(m_printer.outputFileName()));
}
