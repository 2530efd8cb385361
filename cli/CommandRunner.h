// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CommandLine.h"
#include "message/MsgCollection.h"

#include <QDir>
#include <QList>
#include <QString>

class AndroidDevice;
class ConsoleProgress;
class WorkerThread;
struct MessageSource;
struct _MsgMessage;

// Runs one command of the command line with the window's own workers, store and phone link: each
// worker runs as under the progress dialog, its posts shown on standard error, and the results go to
// standard output. A failure throws std::runtime_error with the window's text, a bad argument
// UsageError, and Ctrl-C TaskCancelled once the running worker has undone its step.
class CommandRunner
{
public:
    explicit CommandRunner(const CommandLine& line);

    // The exit status of a command that ran to its end: 0, or 1 when part of it failed.
    int run();

private:
    int devices();
    int load();
    int backup();
    int list();
    int exportMessages();
    int importXml();
    int restore();
    int search();

    // Checks --country against the country library before anything connects.
    void checkCountryOption() const;
    AndroidDevice connectDevice();
    // Settles the country code the way the window does (the phone's, else --country) and loads the
    // phone into its cache. Returns the line that says what the load stored and what it skipped, and why.
    QString loadDevice(AndroidDevice& device);
    // Starts the worker, runs until it ends and throws its failure, or TaskCancelled after Ctrl-C.
    static void runWorker(WorkerThread& worker, ConsoleProgress& progress);

    // The folder of a local database name, refused like the window's database dialog refuses it.
    static QDir databaseFolder(const QString& name);
    // The folder of a local database that must exist.
    static QDir existingDatabase(const QString& name);
    // Every message of the source, oldest first, read on a worker into m_collection.
    QList<_MsgMessage*> readMessages(const MessageSource& source);
    // Seconds since 2001 of a --since or --until value.
    static qint64 dateBound(const QString& option, const QString& text);

    const CommandLine& m_line;
    // The records of the store the command reads; they live as long as the runner.
    _MsgCollection m_collection;
};
