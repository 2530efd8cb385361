// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"

#include <QDir>
#include <QStringList>

#include <memory>

class ExportMessagesDb;
class Sqlite3DB;

// Converts the single-file databases of the older format, lying directly in the local databases
// folder, into database folders of the same names. Each file is worked on under its name plus
// ".__tmp", so that a run that did not finish is picked up at the next start; a converted file is
// deleted. The first failure stops the run and leaves the failing file under its work name.
class LocalDbUpdateThread : public WorkerThread
{
    Q_OBJECT

public:
    // Converts the named plain files of folder, in that order (see legacyDatabaseFiles).
    LocalDbUpdateThread(
        const QDir& folder, const QStringList& fileNames, ProgressReceiver* progress, QObject* parent = nullptr);
    ~LocalDbUpdateThread() override;

    // The names of the plain files of folder that are databases of the older format: SQLite files
    // with the view view_sms. Any other plain file (a note, a journal, a foreign database) is logged
    // and left alone, so that it is neither renamed nor taken for an unfinished conversion.
    static QStringList legacyDatabaseFiles(const QDir& folder);

protected:
    QString work() override;
    void abandon() override;

private:
    void convertFile(const QString& fileName);

    QDir m_folder;
    QStringList m_fileNames;
    QStringList m_convertedPaths;
    std::unique_ptr<Sqlite3DB> m_legacy;
    std::unique_ptr<ExportMessagesDb> m_writer;
};
