// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/PageHeadings.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/export/ShortDateTimeText.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTimeZone>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("SmsPageWriter", text);
}

// Dates a reader can not mistake: the same text in every locale.
QString fullDateText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString offsetText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString exportTimeText(const QDateTime& time)
{
    const QString abbreviation = time.timeZoneAbbreviation();
    const QString offset = offsetText(time);
    if (abbreviation.isEmpty() || abbreviation == offset)
        return QStringLiteral("%1 %2").arg(fullDateText(time), offset);
    return QStringLiteral("%1 %2 (%3)").arg(fullDateText(time), abbreviation, offset);
}

QString periodText(const ConversationSummary& summary)
{
    return tr("%1 to %2, local time of %3")
        .arg(fullDateText(messageDateTime(summary.firstDate)), fullDateText(messageDateTime(summary.lastDate)),
            QString::fromUtf8(QTimeZone::systemTimeZoneId()));
}

QString sourceText(const ExportSource& source)
{
    switch (source.kind) {
    case ExportSource::Kind::Database:
        return tr("the local database \"%1\"").arg(source.name);
    case ExportSource::Kind::Phone:
        return tr("the phone %1").arg(source.name);
    case ExportSource::Kind::Several: {
        QStringList parts;
        for (const ExportSource& part : source.parts)
            parts << sourceText(part);
        return tr("%1 sources: %2").arg(QString::number(parts.size()), parts.join(QStringLiteral(", ")));
    }
    case ExportSource::Kind::Unknown:
        break;
    }
    return QString();
}

QString attachmentName(const _MsgAttachment& attachment)
{
    if (!attachment.transfer_name.isEmpty())
        return attachment.transfer_name;
    const QString name = QFileInfo(attachment.filename).fileName();
    return name.isEmpty() ? QFileInfo(attachment.sourcePath).fileName() : name;
}

} // namespace

QList<PictureFile> messagePictures(const _MsgMessage& message)
{
    QList<PictureFile> pictures;
    if (message.attachments.isEmpty())
        return pictures;
    for (const _MsgAttachment* attachment : orderedAttachments(message)) {
        if (!attachment->mime_type.startsWith(QLatin1String("image/"), Qt::CaseInsensitive)
            || attachment->sourcePath.isEmpty() || !QFileInfo(attachment->sourcePath).isFile())
            continue;
        QImageReader reader(attachment->sourcePath);
        QSize size = reader.size();
        if (!reader.canRead() || size.isEmpty())
            continue;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            size.transpose();
        pictures.append({ attachment->sourcePath, size });
    }
    return pictures;
}

ConversationSummary summarizeConversation(const QList<const _MsgMessage*>& messages, bool withDigests)
{
    ConversationSummary summary;
    if (messages.isEmpty())
        return summary;
    const _MsgChat* chat = messages.first()->chat;
    summary.name = chat ? chatDisplayNameIsolated(*chat, true) : tr("Unknown");
    summary.messageCount = int(messages.size());
    summary.firstDate = summary.lastDate = messages.first()->date;

    // Received messages count for their sender, or for the only correspondent when none is named.
    const QList<const _MsgHandle*> handles = chat ? orderedHandles(*chat) : QList<const _MsgHandle*>();
    QHash<const _MsgHandle*, int> received;
    int sent = 0;
    int unknownSender = 0;
    int number = 0;
    for (const _MsgMessage* message : messages) {
        ++number;
        summary.firstDate = std::min(summary.firstDate, message->date);
        summary.lastDate = std::max(summary.lastDate, message->date);
        if (message->is_from_me != 0)
            ++sent;
        else if (message->handle)
            ++received[message->handle];
        else if (handles.size() == 1)
            ++received[handles.first()];
        else
            ++unknownSender;
        if (!withDigests || message->attachments.isEmpty())
            continue;
        for (const _MsgAttachment* attachment : orderedAttachments(*message)) {
            ConversationSummary::Attachment entry;
            entry.messageNumber = number;
            entry.name = attachmentName(*attachment);
            entry.mimeType = attachment->mime_type;
            if (!attachment->sourcePath.isEmpty() && QFileInfo(attachment->sourcePath).isFile()) {
                entry.sha256 = sha256OfFile(attachment->sourcePath);
                if (!entry.sha256.isEmpty())
                    entry.bytes = QFileInfo(attachment->sourcePath).size();
            }
            summary.attachments.append(entry);
        }
    }
    QList<const _MsgHandle*> senders = handles;
    for (auto it = received.cbegin(); it != received.cend(); ++it) {
        if (!senders.contains(it.key()))
            senders.append(it.key());
    }
    for (const _MsgHandle* handle : std::as_const(senders))
        summary.participants.append({ handleDisplayNameIsolated(*handle, true), received.value(handle) });
    if (unknownSender > 0)
        summary.participants.append({ tr("Unknown sender"), unknownSender });
    summary.participants.append({ tr("Sent from the phone"), sent });
    return summary;
}

QString conversationHeadingText(const ConversationSummary& summary, const PageDocumentInfo& info)
{
    QStringList lines;
    const QString count = summary.messageCount == 1 ? tr("1 message") : tr("%1 messages").arg(summary.messageCount);
    lines << QStringLiteral("%1, %2").arg(count, periodText(summary));
    const QString source = sourceText(info.source);
    if (!source.isEmpty())
        lines << tr("Read from %1").arg(source);
    lines << (info.printed ? tr("Printed on %1") : tr("Exported on %1")).arg(exportTimeText(info.exportedAt));
    return lines.join(QLatin1Char('\n'));
}

QString coverPageTitle()
{
    return tr("Record of text messages");
}

QString coverPageText(const ConversationSummary& summary, const PageDocumentInfo& info)
{
    const QString unknown = tr("not known");
    QStringList lines;
    lines << tr("Conversation: %1").arg(summary.name);
    const QString source = sourceText(info.source);
    lines << tr("Source: %1").arg(source.isEmpty() ? unknown : source);
    const auto fileLines = [&lines](const QString& file, const QString& sha256) {
        if (file.isEmpty())
            return;
        lines << tr("Source file: %1").arg(file);
        lines << tr("SHA-256 of the source file:");
        lines << (sha256.isEmpty() ? tr("the file could not be read") : sha256);
    };
    fileLines(info.source.file, info.sourceSha256);
    for (size_t i = 0; i < info.source.parts.size(); ++i)
        fileLines(info.source.parts[i].file, info.partSha256.value(qsizetype(i)));
    lines << tr("Exported on %1").arg(exportTimeText(info.exportedAt));
    lines << tr("Period: %1").arg(periodText(summary));
    lines << tr("Messages: %1, numbered No. 1 to No. %1 on the pages that follow").arg(summary.messageCount);
    lines << QString() << tr("Participants and their messages:");
    for (const auto& [name, count] : summary.participants)
        lines << QStringLiteral("%1: %2").arg(name).arg(count);
    lines << QString();
    if (summary.attachments.isEmpty()) {
        lines << tr("Attachments: none");
    } else {
        lines << tr("Attachments and their SHA-256:");
        for (const ConversationSummary::Attachment& attachment : summary.attachments) {
            const QString file = attachment.bytes < 0 ? tr("file missing") : tr("%1 bytes").arg(attachment.bytes);
            lines << tr("No. %1: %2 (%3, %4)")
                         .arg(QString::number(attachment.messageNumber), attachment.name, attachment.mimeType, file);
            if (attachment.bytes >= 0)
                lines << attachment.sha256;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString messageTimeText(int date, int number)
{
    if (number <= 0)
        return shortDateTimeText(date);
    return tr("No. %1 \u2014 %2").arg(number).arg(shortDateTimeText(date));
}

QString pageNumberText(int page, int pages)
{
    return tr("Page %1 of %2").arg(page).arg(pages);
}

QString sha256OfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}
