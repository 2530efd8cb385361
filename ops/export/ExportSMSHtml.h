// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/ExportFile.h"
#include "store/AbsFormatExport.h"

#include <QCoreApplication>

// One conversation as an XHTML file: a coloured time and "To:"/"From:" line and the escaped body
// per message, each behind an anchor named after the message's row id.
class ExportSMSHtml : public AbsFormatExport<_MsgMessage>
{
    Q_DECLARE_TR_FUNCTIONS(ExportSMSHtml)

public:
    explicit ExportSMSHtml(const QString& path);

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    ExportFile m_file;
    // The escaped name of the conversation, made once per file.
    const _MsgChat* m_namedChat = nullptr;
    QString m_contact;
    QString m_fragment; // kept to reuse its memory
};
