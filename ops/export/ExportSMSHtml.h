// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/ExportFile.h"
#include "store/AbsFormatExport.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The conversation a page shows: its name with numbers, how many messages and over which dates.
struct HtmlConversation
{
    QString name;
    // The conversation that name was made of, whose messages head the page; null when none.
    const _MsgChat* chat = nullptr;
    QString fileName; // of its page, in the export's folder
    int messageCount = 0;
    int firstDate = 0;
    int lastDate = 0;
};

// Puts an attachment's file beside the pages and returns its address relative to a page
// ("files/photo.jpg"), or an empty text when there is no file to put there.
using HtmlAttachmentPlacer = std::function<QString(const _MsgAttachment& attachment)>;

// The files every exported page refers to, in the "files" folder: the style sheet and the bubbles.
QStringList htmlSharedFileNames();
// The content of one of them, read from the program's resources.
QByteArray htmlSharedFile(const QString& name);

// One conversation as an XHTML page styled like the conversation view: a heading with the
// conversation's name, count and dates, then one bubble per message, received on the left and sent
// on the right, each behind an anchor named after the message's row id. Pictures are shown in their
// bubble, other attachments are linked. All styling lives in files/style.css.
class ExportSMSHtml : public AbsFormatExport<_MsgMessage>
{
    Q_DECLARE_TR_FUNCTIONS(ExportSMSHtml)

public:
    // `opened`, when given and open, is the file at path ready for writing.
    explicit ExportSMSHtml(const QString& path, const HtmlConversation& conversation = {},
        HtmlAttachmentPlacer placeAttachment = {}, std::shared_ptr<QFile> opened = {});

    void begin() override;
    void write(const _MsgMessage& message) override;
    void end() override;

private:
    void appendBodyWithAttachments(ByteBuffer& out, const _MsgMessage& message);

    ExportFile m_file;
    HtmlConversation m_conversation;
    HtmlAttachmentPlacer m_placeAttachment;
    // The escaped name of the conversation in UTF-8, made once per file.
    const _MsgChat* m_namedChat = nullptr;
    QByteArray m_contact;
};

// The index page of an HTML export: every conversation with a link to its page, its count and its
// first and last dates, in the order of the export.
void writeHtmlIndex(const QString& path, const QList<HtmlConversation>& conversations);
