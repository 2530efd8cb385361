// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>

// The per-user data folder: resolved once per run (honouring the redirect file), created on every call.
QDir dataRootDir();

// <data root>/local_databases, created when missing.
QDir localDatabasesDir();
