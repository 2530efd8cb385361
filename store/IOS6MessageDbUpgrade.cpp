// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"
#include "store/StoreLog.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QtDebug>

#include <sqlite3.h>
#include <stdexcept>

namespace {

[[noreturn]] void throwText(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// The message clean-up trigger of the schema script, for stores made with an earlier one.
const char narrowMessageTrigger[] = "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join\n"
                                    "BEGIN\n"
                                    "    DELETE FROM message WHERE ROWID = old.message_id\n"
                                    "        AND (SELECT 1 from chat_message_join WHERE message_id = old.message_id "
                                    "LIMIT 1) IS NULL;\n"
                                    "END;";

// The statement as a list of tokens: lower case, identifiers unquoted, one space between tokens.
QString normalizedSql(const QString& sql)
{
    static const QRegularExpression token(QStringLiteral("[a-z0-9_$]+|[^\\s\"`\\[\\]]"));
    QStringList tokens;
    QRegularExpressionMatchIterator it = token.globalMatch(sql.toLower());
    while (it.hasNext())
        tokens.append(it.next().captured());
    return tokens.join(QLatin1Char(' '));
}

// Whether the trigger is the clean-up that, for every deleted join row, deletes each message of the
// whole table left without a join. Phones and earlier versions of this application spell it with
// different case, spacing and quoting, and with or without the join table's name and the limit.
bool isWideMessageCleanUp(const QString& triggerSql)
{
    const QString sql = normalizedSql(triggerSql);
    const qsizetype begin = sql.indexOf(QLatin1String(" begin "));
    if (begin < 0 || !sql.endsWith(QLatin1String(" end")))
        return false;
    const QString head = sql.left(begin);
    // Every deleted join row, with no WHEN clause narrowing it.
    if (!head.startsWith(QLatin1String("create trigger "))
        || !(head.endsWith(QLatin1String(" after delete on chat_message_join"))
            || head.endsWith(QLatin1String(" after delete on chat_message_join for each row"))))
        return false;
    const QString body = sql.mid(begin + 7, sql.size() - begin - 7 - 4);
    for (const char* joinColumn : { "message_id", "chat_message_join . message_id" }) {
        const QString column = QLatin1String(joinColumn);
        const QString rowid = QStringLiteral("message . rowid");
        for (const QString& test : { column + QStringLiteral(" = ") + rowid, rowid + QStringLiteral(" = ") + column }) {
            for (const char* limit : { " limit 1", "" }) {
                const QString wide = QStringLiteral("delete from message where ( select 1 from chat_message_join "
                                                    "where %1%2 ) is null ;")
                                         .arg(test, QLatin1String(limit));
                if (body == wide)
                    return true;
            }
        }
    }
    return false;
}

// The triggers of the schema script by name, each as a normalised statement: the script is run on an
// empty database in memory, so that they are compared in the form SQLite keeps them.
QHash<QString, QString> scriptTriggers(const QByteArray& script)
{
    Sqlite3DB memory;
    memory.openThrow(QStringLiteral(":memory:"), Sqlite3DB::ReadWriteCreate);
    QString error;
    if (memory.exec(QString::fromLatin1(script), error) != 0)
        throwText(QStringLiteral("create IOS6MessageDb error. %1").arg(error));
    QHash<QString, QString> triggers;
    Sqlite3Cursor cursor = memory.queryThrow("select name, sql from sqlite_master where type='trigger'");
    while (cursor.moveNext())
        triggers.insert(cursor.getText(0), normalizedSql(cursor.getText(1)));
    return triggers;
}

} // namespace

QStringList IOS6MessageDb::foreignTriggers()
{
    static const QHash<QString, QString> own = scriptTriggers(schemaScript());
    open();
    QStringList foreign;
    Sqlite3Cursor cursor = queryThrow("select name, sql from sqlite_master where type='trigger' order by name");
    while (cursor.moveNext()) {
        const QString name = cursor.getText(0);
        const QString sql = cursor.getText(1);
        const auto known = own.constFind(name);
        const bool isOwn = known != own.constEnd()
            && (normalizedSql(sql) == *known
                || (name == QLatin1String("clean_orphaned_messages") && isWideMessageCleanUp(sql)));
        if (!isOwn)
            foreign.append(name);
    }
    return foreign;
}

void IOS6MessageDb::upgradeSchema()
{
    int step = 1;
    auto run = [this, &step](const QString& statement) {
        QString error;
        if (exec(statement, error) != 0)
            throwText(QStringLiteral("line:%1, sql:%2, error:%3").arg(QString::number(step), statement, error));
    };

    if (!tbInfo(QStringLiteral("chat")).contains(QStringLiteral("group_id")))
        run(QStringLiteral("ALTER TABLE chat ADD COLUMN group_id TEXT;"));

    const QMap<QString, _SqliteCol> messageColumns = tbInfo(QStringLiteral("message"));
    for (const MessageColumn& column : messageColumnTable) {
        if (!column.addedAs)
            continue;
        ++step;
        const QLatin1String name(column.name);
        if (messageColumns.contains(name))
            continue;
        run(QStringLiteral("ALTER TABLE message ADD COLUMN %1 %2;").arg(name, QLatin1String(column.addedAs)));
        // Duplicates are looked up by this column on every write.
        if (name == QLatin1String("logic_hash")) {
            ++step;
            run(QStringLiteral("CREATE INDEX message_idx_logic_hash ON message(logic_hash);"));
        }
    }

    // Speed-ups for deleting from older stores. A store that cannot take them now (another connection
    // is writing) works without them, and gets them on a later open; they do not wait for the lock.
    sqlite3_busy_timeout(rawHandle(), 0);
    for (auto speedUp : { &IOS6MessageDb::narrowMessageCleanUp, &IOS6MessageDb::indexHandleJoins }) {
        try {
            (this->*speedUp)();
        } catch (const std::exception& e) {
            qCWarning(lcStore).noquote() << QStringLiteral("optional upgrade of %1 skipped. %2")
                                                .arg(QDir::toNativeSeparators(dbPath()), QString::fromUtf8(e.what()));
        }
    }
    sqlite3_busy_timeout(rawHandle(), busyTimeoutMs);
}

// Stores made before the message clean-up looked only at the deleted join row's message scan the
// whole message table for every deleted join row: deleting a large conversation took minutes. They
// get the narrow trigger, which has the same effect on every deletion the application makes.
void IOS6MessageDb::narrowMessageCleanUp()
{
    QString messageTrigger;
    {
        Sqlite3Cursor trigger
            = queryThrow("select sql from sqlite_master where type='trigger' and name='clean_orphaned_messages'");
        if (trigger.moveNext())
            messageTrigger = trigger.getText(0);
    }
    if (!isWideMessageCleanUp(messageTrigger))
        return;
    // In one transaction, so that a failure never leaves the store without the trigger.
    QString error;
    if (exec(QStringLiteral("BEGIN; DROP TRIGGER clean_orphaned_messages; %1 COMMIT;")
                 .arg(QLatin1String(narrowMessageTrigger)),
            error)
        != 0) {
        QString ignored;
        exec(QStringLiteral("ROLLBACK"), ignored);
        throwText(QStringLiteral("sql:%1, error:%2").arg(QLatin1String(narrowMessageTrigger), error));
    }
}

// Without it, the correspondent clean-up scans every conversation join for each deleted message.
void IOS6MessageDb::indexHandleJoins()
{
    if (!tbInfo(QStringLiteral("chat_handle_join")).contains(QStringLiteral("handle_id")))
        return;
    // Any index that starts with handle_id will do; creating one, even "if not exists", writes.
    if (queryThrow("select 1 from pragma_index_list('chat_handle_join') as l, pragma_index_info(l.name) as i "
                   "where i.seqno = 0 and i.name = 'handle_id'")
            .moveNext())
        return;
    const QString statement
        = QStringLiteral("CREATE INDEX IF NOT EXISTS chat_handle_join_idx_handle_id ON chat_handle_join(handle_id);");
    QString error;
    if (exec(statement, error) != 0)
        throwText(QStringLiteral("sql:%1, error:%2").arg(statement, error));
}
