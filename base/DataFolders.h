// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>

// The per-user data folder: resolved once per run (honouring the redirect file), created on every call.
QDir dataRootDir();

// <data root>/local_databases, created when missing.
QDir localDatabasesDir();

// <data root>/settings.ini: what the window remembers between runs. Kept in the data folder rather than
// in the desktop's configuration folder, so that a redirected or temporary data folder brings its own.
QString settingsFilePath();

// <data root>/countries.db: the country library, copied there from the resources on first use.
QString countryLibPath();

// <data root>/android_cache (one folder per phone's cache) and <data root>/virtual_android (folders shown
// as offline phones); neither is created here.
QDir androidCacheDir();
QDir virtualAndroidDir();

// Whether a name can name a local database folder. A name that is blank is Empty; one holding any of
// \ / : * ? " < > | or a control character (a line break, a tab) is Invalid, and so is one made of
// dots only, which would name the databases folder itself or the data root. The name is used as
// given, surrounding blanks included.
enum class LocalDbNameCheck { Valid, Empty, Invalid };
LocalDbNameCheck checkLocalDbName(const QString& name);
// Why a name can not be a database folder, as the warning shown to the user (in the context of the
// database dialog); an empty text when it can.
QString localDbNameProblem(const QString& name);
