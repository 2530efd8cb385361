// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>

// The message database file of a database folder.
QString smsDbPath(const QDir& folder);

// Runs a query on a connection of its own to the folder's message database and returns the first
// column of the first row as text (empty when there is no row).
QString scalar(const QDir& folder, const QString& sql);
