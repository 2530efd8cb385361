// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSPdf.h"

#include "message/MessageText.h"
#include "ops/export/ExportFile.h"
#include "ops/export/SmsPageWriter.h"
#include "ops/export/pdf/CairoPdfCanvas.h"

#include <QCoreApplication>

#include <stdexcept>

namespace {

std::runtime_error failure(const QString& reason)
{
    return std::runtime_error(reason.toUtf8().toStdString());
}

// The person who made the file, as the system knows them.
QString authorName()
{
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return user.isEmpty() ? QStringLiteral("Quillbarrow SMS Desk") : user;
}

} // namespace

ExportSMSPdf::ExportSMSPdf(const QString& path, const PageDocumentInfo& info)
    : m_path(path)
    , m_info(info)
    , m_fontFamily(pageFontFamily())
    , m_file(path)
{
    if (!m_info.exportedAt.isValid())
        m_info.exportedAt = QDateTime::currentDateTime();
}

void ExportSMSPdf::begin()
{
    // A file that can not be written must fail the export instead of reporting it done.
    if (!openEmptied(m_file))
        throw failure(writeFailureReason(m_path));
}

void ExportSMSPdf::write(const _MsgMessage& message)
{
    m_messages.append(&message);
}

void ExportSMSPdf::end()
{
    if (!m_file.isOpen())
        begin();
    const ConversationSummary summary = summarizeConversation(m_messages, m_info.evidence);
    PdfMetadata metadata;
    if (!m_messages.isEmpty()) {
        const _MsgChat* chat = m_messages.first()->chat;
        metadata.title = QCoreApplication::translate("SmsPageWriter", "Text messages with %1")
                             .arg(chat ? chatDisplayName(*chat, true) : summary.name);
    }
    metadata.author = authorName();
    metadata.subject = conversationHeadingText(summary, m_info).replace(QLatin1Char('\n'), QLatin1String("; "));
    metadata.created = m_info.exportedAt;

    CairoPdfCanvas canvas(
        [this](const char* data, qsizetype size) { return m_file.write(data, size) == size; }, metadata, m_fontFamily);
    SmsPageWriter pages(canvas, m_info);
    if (!m_messages.isEmpty())
        pages.beginConversation(summary);
    int number = 0;
    for (const _MsgMessage* message : std::as_const(m_messages)) {
        pages.writeMessage(*message, m_info.evidence ? ++number : 0);
        if (m_step)
            m_step();
    }
    pages.drawPages(m_step);
    const bool drawn = canvas.finish();
    if (!drawn || !m_file.flush())
        throw failure(writeFailureReason(m_path));
    m_file.close();
}
