// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

struct _MsgMessage;

// Where the exported or printed messages were read from.
struct ExportSource
{
    enum class Kind { Unknown, Database, Phone, Several };
    Kind kind = Kind::Unknown;
    QString name; // the local database's or the phone's name
    QString file; // the message database file; empty when not known
    // Of Several: each phone or database, in the tree's order. Initialised here, so that a source
    // made from its first three fields need not name it.
    std::vector<ExportSource> parts {};
};

// What the pages of one export or printout share.
struct PageDocumentInfo
{
    ExportSource source;
    QDateTime exportedAt; // local time
    bool printed = false; // made on a printer rather than exported
    // Pages to hand over as evidence: a cover page per conversation with the digests of the source
    // and of every attachment, and every message numbered.
    bool evidence = false;
    QString sourceSha256; // of source.file, for evidence; empty when it could not be read
    QStringList partSha256; // of each part's file of several sources, in the same way
};

// A picture attachment that can be drawn: its file and its size in pixels, upright.
struct PictureFile
{
    QString path;
    QSize pixels;
};

// The picture attachments of a message whose files exist and hold a picture, in attachment order.
QList<PictureFile> messagePictures(const _MsgMessage& message);

// One conversation of a set of pages: what its heading and its cover page say.
struct ConversationSummary
{
    QString name; // with numbers
    int messageCount = 0;
    int firstDate = 0;
    int lastDate = 0;
    QList<QPair<QString, int>> participants; // each correspondent, then the phone's owner, with their messages
    struct Attachment
    {
        int messageNumber = 0;
        QString name;
        QString mimeType;
        qint64 bytes = -1; // -1 when the file is missing
        QString sha256;
    };
    QList<Attachment> attachments; // only when asked for digests
};

// The summary of one conversation's messages, in the order they are laid out.
ConversationSummary summarizeConversation(const QList<const _MsgMessage*>& messages, bool withDigests);

// The heading at the top of a conversation's first page, below its title (the name).
QString conversationHeadingText(const ConversationSummary& summary, const PageDocumentInfo& info);
QString coverPageTitle();
QString coverPageText(const ConversationSummary& summary, const PageDocumentInfo& info);
// The time line of a message; numbered for evidence.
QString messageTimeText(int date, int number);
// "Page X of Y".
QString pageNumberText(int page, int pages);

// The SHA-256 of the file in lower-case hexadecimal; empty when it can not be read.
QString sha256OfFile(const QString& path);
