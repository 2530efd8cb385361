// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"
#include "ops/ExportStaging.h"
#include "ops/export/ExportSMSHtml.h"
#include "ops/export/pdf/PageHeadings.h"
#include "store/AbsFormatExport.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

class FileRenderPool;
class HtmlExportFiles;
struct ExportFormat;
struct _MsgChat;
struct _MsgMessage;

// The name without \ / : * ? " < > |, with line breaks, tabs and other control characters made
// spaces, and without white space at both ends.
QString safeFileName(const QString& name);

// Whether a path the person gave may name an export: the file or folder it names, and every folder
// the export would have to make for it, hold no line break, tab or other control character.
bool isValidExportPath(const QString& path);

// Exports messages to one text, CSV or XML backup file, or to a folder with one PDF or HTML file per
// conversation. Files are written under temporary names and take their final names only when the
// whole export has succeeded; a cancel or a failure leaves every file that was there before as it
// was and removes what the export has written and the folders it made.
class ExportSMSThread : public WorkerThread
{
    Q_OBJECT

public:
    // The writers; the export-format table (ops/ExportFormats.h) says which file names, dialog filters
    // and command-line names lead to each.
    enum FormatCode : unsigned { Text = 0, Csv = 1, Pdf = 2, Html = 3, Xml = 4 };

    // path is the file for Text, Csv and Xml, the folder for Pdf and Html. ascending orders the
    // conversations of Pdf and Html. The records are borrowed and must outlive the thread.
    ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, unsigned formatCode, bool ascending,
        ProgressReceiver* progress, QObject* parent = nullptr);
    ~ExportSMSThread() override;

    // Where the messages come from, named in the heading of every PDF conversation.
    void setSource(const ExportSource& source) { m_pageInfo.source = source; }
    // PDF files to hand over: a cover page with the digests of the source and of every attachment,
    // and every message numbered.
    void setEvidence(bool evidence) { m_pageInfo.evidence = evidence; }
    // How many threads write the files of a PDF or HTML export beside the export's own thread; 0 writes
    // them on the export's thread. One per core unless set.
    void setFileThreads(int threads) { m_fileThreads = threads; }

protected:
    QString work() override;
    void abandon() override;

private:
    using Writer = AbsFormatExport<_MsgMessage>;

    // Writes every message into its file, on this thread or, once a conversation is complete, on the
    // render threads.
    void writeMessages();
    // Whether the messages fill more than one file; one file gains nothing from the render threads.
    bool hasSeveralConversations() const;
    void openWriterFor(const _MsgMessage& message);
    // Creates the format's writer for the staged file of finalPath and begins it.
    void openWriter(const QString& finalPath);
    // Runs a step of the current writer; a failure names the file it was writing.
    template <typename Step> void runWriterStep(const Step& step);
    // Ends the current writer. With render threads, the file is filled and completed there while the
    // next conversation is staged.
    void endWriter();
    // Hands the files ended so far to the render threads as one job.
    void submitPendingFiles();
    void reportRenderProgress();
    void openConversationFile(const _MsgMessage& message);
    // The conversation's file name, distinct from every other name of this export.
    QString conversationFileName(const _MsgMessage& message);
    // The conversation whose messages start at m_position: its name, count and dates.
    HtmlConversation htmlConversation(const _MsgMessage& message, const QString& fileName) const;

    QList<_MsgMessage*> m_messages;
    QString m_path;
    unsigned m_format;
    const ExportFormat* m_formatRow = nullptr; // of m_format, from the export-format table
    bool m_ascending;
    int m_fileThreads;

    std::shared_ptr<Writer> m_writer;
    QString m_writerPath; // the final name of the writer's file
    QString m_stagedPath; // the name the writer writes to until the export has succeeded
    const _MsgMessage* m_conversationStart = nullptr; // first message of the file being written
    qsizetype m_conversationFirst = 0; // its position
    QSet<QString> m_usedNames; // file names given in this export, folded to lower case
    qsizetype m_position = 0; // of the message being written
    QList<HtmlConversation> m_htmlConversations; // the pages written, for the index
    // The addresses of the current page's attachments, placed before a render thread writes the page.
    using PlacedAttachments = QHash<const _MsgAttachment*, QString>;
    std::shared_ptr<PlacedAttachments> m_placedAhead;
    // Files ended and not yet handed to the render threads: writer, messages and names.
    struct PendingFile
    {
        std::shared_ptr<Writer> writer;
        QList<_MsgMessage*> messages;
        QString finalPath;
        QString stagedPath;
    };
    std::vector<PendingFile> m_pendingFiles;
    qsizetype m_pendingMessages = 0;
    PageDocumentInfo m_pageInfo;
    qsizetype m_total = 0;
    QString m_progressFormat;
    ExportStaging m_staging;
    std::unique_ptr<HtmlExportFiles> m_htmlFiles; // staged with m_staging
    // Last, so that its threads have stopped before anything they use goes.
    std::unique_ptr<FileRenderPool> m_renderPool;
};
