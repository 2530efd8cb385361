// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QSharedPointer>
#include <QString>

class AndroidLoadSMSThread;
class IOS6MessageDb;
class AndroidDevice;

// Where the messages of one source live, as the window and the command line both open it: a local
// database's folder or a phone's cache, with the country its numbers are read in (empty: each number
// keeps its own).
struct MessageSource
{
    QDir folder;
    QString mcc;
};

// The folder of the local database of that name: an entry directly inside local_databases. Empty
// when the name could lead anywhere else (empty, only dots, or with a separator or a character a
// database name may not hold); localDbNameProblem says why.
QString localDatabaseFolder(const QString& name);

// The local database in that folder.
MessageSource localDatabaseSource(const QDir& folder);

// The cache a load of the phone fills.
MessageSource deviceCacheSource(const AndroidDevice& device);

// The source's message store, created when missing, for a caller that keeps it open.
QSharedPointer<IOS6MessageDb> openMessageStore(const MessageSource& source);

// What a finished load put into the phone's cache, with what it skipped and why.
QString loadSummary(const AndroidLoadSMSThread& load, const AndroidDevice& device);
