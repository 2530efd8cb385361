// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/WorkerThread.h"
#include "ops/ExportCreatedPaths.h"
#include "store/AbsFormatExport.h"

#include <QList>
#include <QSet>
#include <QString>

#include <memory>

struct _MsgChat;
struct _MsgMessage;

// The name without \ / : * ? " < > | and without white space at both ends.
QString safeFileName(const QString& name);

// The order of a per-conversation export: conversations by the date of their newest message, ties
// broken by chat_identifier so that two conversations never interleave; inside a conversation,
// message order. conversationGreaterThan is the descending order (b before a).
bool conversationLessThan(const _MsgMessage& a, const _MsgMessage& b);
bool conversationGreaterThan(const _MsgMessage& a, const _MsgMessage& b);

// Exports messages to one text, CSV or XML backup file, or to a folder with one PDF or HTML file per
// conversation. A cancel or a failure removes what the export has written and the folders it made.
class ExportSMSThread : public WorkerThread
{
    Q_OBJECT

public:
    enum FormatCode : unsigned { Text = 0, Csv = 1, Pdf = 2, Html = 3, Xml = 4 };

    // path is the file for Text, Csv and Xml, the folder for Pdf and Html. ascending orders the
    // conversations of Pdf and Html. The records are borrowed and must outlive the thread.
    ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, unsigned formatCode, bool ascending,
        ProgressReceiver* progress, QObject* parent = nullptr);
    ~ExportSMSThread() override;

protected:
    QString work() override;
    void abandon() override;

private:
    using Writer = AbsFormatExport<_MsgMessage>;

    void openWriterFor(const _MsgMessage& message);
    void openConversationFile(const _MsgMessage& message);
    // The conversation's file name, distinct from every other name of this export.
    QString conversationFileName(const _MsgMessage& message);
    void prepareHtmlFolders();
    void copyPlainFiles(const QString& fromFolder, const QString& toFolder);

    QList<_MsgMessage*> m_messages;
    QString m_path;
    unsigned m_format;
    bool m_ascending;

    std::shared_ptr<Writer> m_writer;
    const _MsgMessage* m_conversationStart = nullptr; // first message of the file being written
    QSet<QString> m_usedNames; // file names given in this export, folded to lower case
    ExportCreatedPaths m_created;
};
