// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/SmsPageWriter.h"
#include "store/AbsFormatExport.h"

#include <QPrinter>

// One conversation as a PDF file on A4, laid out by SmsPageWriter. The file is created by the
// constructor and completed by end; begin throws when it could not be created, end when it did not
// reach the disk whole. Each throws the system's reason.
class ExportSMSPdf : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSPdf(const QString& path);

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    QPrinter m_printer;
    SmsPageWriter m_pages;
};
