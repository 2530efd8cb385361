// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class Sqlite3DB;
class _MsgMessage;
class Sqlite3Sql;

// Runs a script of several statements in one transaction, failing the test on any error.
void runScript(Sqlite3DB& db, const QString& script);

// The message database file of a database folder.
QString smsDbPath(const QDir& folder);

// Writes the message database of the folder by a script, making its folders first.
void writeStoreByScript(const QDir& folder, const QString& script);

// Runs a query on a connection of its own to the folder's message database and returns the first
// column of the first row as text (empty when there is no row).
QString scalar(const QDir& folder, const QString& sql);
// The first column of the query's first row as a number, -1 when there is no row.
qint64 scalar(Sqlite3DB& db, const Sqlite3Sql& sql);
// Every row of a query on the folder's message database, its columns joined by '|'.
QStringList queryRows(const QDir& folder, const QString& sql);

// The messages of the folder's message database in row order, one text for each: rowSql evaluated
// over the message (m), its correspondent (h) and its conversation (c), an empty text for NULL. The
// one way tests read a store back to compare what it holds.
QStringList storedRows(const QDir& folder, const QString& rowSql = QStringLiteral("m.text"));

// Writes the messages into the folder's database as a backup does, the store made when missing.
void writeMessages(const QDir& folder, const QList<_MsgMessage*>& messages, const QString& mcc = QString());

// One message of a conversation written by writeStore.
struct FixtureMessage
{
    int date;
    QString text;
    bool fromMe;
};

// Writes conversations (correspondent's name and messages, each conversation with a number of its
// own) into the database of the folder, created when missing.
void writeStore(const QDir& folder, const QList<QPair<QString, QList<FixtureMessage>>>& conversations);
