// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/StoreFiles.h"

#include "store/ExportMessagesDb.h"
#include "store/Sqlite3DB.h"
#include "support/MessageRecords.h"

#include <QFileInfo>
#include <QTest>

QString smsDbPath(const QDir& folder)
{
    return folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/sms.db"));
}

void writeStoreByScript(const QDir& folder, const QString& script)
{
    QVERIFY(QDir().mkpath(QFileInfo(smsDbPath(folder)).absolutePath()));
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadWriteCreate);
    runScript(db, script);
}

void runScript(Sqlite3DB& db, const QString& script)
{
    QString error;
    QVERIFY2(db.exec(QStringLiteral("BEGIN;") + script + QStringLiteral(";COMMIT;"), error) == 0,
        qPrintable(script + QStringLiteral(": ") + error));
}

QString scalar(const QDir& folder, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    return cursor.moveNext() ? cursor.getText(0) : QString();
}

qint64 scalar(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : -1;
}

QStringList queryRows(const QDir& folder, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    QStringList lines;
    while (cursor.moveNext()) {
        QStringList columns;
        for (int i = 0; i < cursor.count(); ++i)
            columns.append(cursor.getText(i));
        lines.append(columns.join(QLatin1Char('|')));
    }
    return lines;
}

QStringList storedRows(const QDir& folder, const QString& rowSql)
{
    Sqlite3DB db;
    db.openThrow(smsDbPath(folder), Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("select ") + rowSql
        + QStringLiteral(" from message m left join handle h on h.ROWID = m.handle_id "
                         "left join chat_message_join j on j.message_id = m.ROWID "
                         "left join chat c on c.ROWID = j.chat_id order by m.ROWID")));
    QStringList rows;
    while (cursor.moveNext())
        rows << cursor.getText(0);
    return rows;
}

void writeStore(const QDir& folder, const QList<QPair<QString, QList<FixtureMessage>>>& conversations)
{
    MessageRecords records;
    qint64 rowid = 0;
    QList<_MsgMessage*> messages;
    for (const auto& [name, texts] : conversations) {
        ++rowid;
        const QString number = QStringLiteral("+4477009001%1").arg(rowid, 2, 10, QLatin1Char('0'));
        _MsgHandle* handle = records.addHandle(rowid, number, name);
        _MsgChat* chat = records.addChat(rowid, number, { handle }, texts.last().date);
        for (const FixtureMessage& m : texts)
            messages.append(records.addMessage(rowid * 100 + messages.size(), chat, handle, m.date, m.text, m.fromMe));
    }
    writeMessages(folder, messages);
}

void writeMessages(const QDir& folder, const QList<_MsgMessage*>& messages, const QString& mcc)
{
    ExportMessagesDb store(folder, mcc);
    store.begin();
    for (const _MsgMessage* message : messages)
        store.write(*message);
    store.end();
}
