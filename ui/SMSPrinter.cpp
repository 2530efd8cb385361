// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SMSPrinter.h"

#include "ops/export/SmsPageWriter.h"

#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>

SMSPrinter::SMSPrinter(QObject* parent)
    : QObject(parent)
{
}

void SMSPrinter::print(const QList<_MsgMessage*>& list)
{
    m_messages = list;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(tr("IDS_PRINT_SMS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &SMSPrinter::onPaintRequested);
    dialog.exec();
}

void SMSPrinter::onPaintRequested(QPrinter* printer)
{
    SmsPageWriter pages;
    pages.beginPages(printer);
    for (const _MsgMessage* message : std::as_const(m_messages))
        pages.writeMessage(*message);
}
