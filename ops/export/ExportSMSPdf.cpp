// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSPdf.h"

#include <QPageSize>

#include <stdexcept>

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
        throw std::runtime_error(
            QStringLiteral("can not write the PDF file %1.").arg(m_printer.outputFileName()).toUtf8().toStdString());
}

void ExportSMSPdf::write(const _MsgMessage& message)
{
    m_pages.writeMessage(message);
}

void ExportSMSPdf::end()
{
    m_pages.endPages();
}
