// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/StoreFiles.h"

#include "store/Sqlite3DB.h"

QString smsDbPath(const QDir& folder)
{
    return folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

QString scalar(const QDir& folder, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    return cursor.moveNext() ? cursor.getText(0) : QString();
}
