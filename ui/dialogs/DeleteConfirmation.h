// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class IOS6MessageDb;

// The questions asked before messages or a whole local database are deleted. Each names what goes and
// how many messages, and No is its default answer, so that Enter keeps the data. True on Yes.
bool confirmDeleteSelection(qsizetype count, const QString& database);
bool confirmDeleteConversation(qsizetype count, const QString& contact, const QString& database);
// A negative count stands for a store that could not be counted; the question then names no number.
bool confirmDeleteDatabase(const QString& database, qint64 count);

// The messages of a store as the message list counts them (group events left out), counted without
// reading them and without creating a store that is missing; -1 when the store can not be read.
qint64 storedMessageCount(IOS6MessageDb& db);
