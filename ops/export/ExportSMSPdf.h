// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/pdf/PageHeadings.h"
#include "store/AbsFormatExport.h"

#include <QFile>
#include <QList>

#include <functional>

// One conversation as a PDF file on A4, laid out by SmsPageWriter under the conversation's heading.
// begin opens the file and throws when it can not; write only takes the message; end lays the
// pages out, draws them and completes the file, and throws when it did not reach the disk whole.
// Each throws the system's reason. Only end does real work, on whichever thread calls it.
class ExportSMSPdf : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSPdf(const QString& path, const PageDocumentInfo& info = PageDocumentInfo());

    // Runs in end once for every message laid out and once for every message drawn; may throw to stop.
    void setStep(std::function<void()> step) { m_step = std::move(step); }

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    QString m_path;
    PageDocumentInfo m_info;
    QString m_fontFamily;
    QFile m_file;
    QList<const _MsgMessage*> m_messages;
    std::function<void()> m_step;
};
