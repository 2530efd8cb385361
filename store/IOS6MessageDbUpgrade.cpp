// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/IOS6MessageDb.h"
#include "store/MessageColumns.h"

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

} // namespace

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

    // Stores made before the message clean-up looked only at the deleted join row's message scan
    // the whole message table for every deleted join row, and the correspondent clean-up scans every
    // conversation join: deleting a large conversation took minutes. They get the narrow trigger,
    // with the same effect on every deletion the application makes, and the index by correspondent.
    step = 20;
    QString messageTrigger;
    {
        Sqlite3Cursor trigger
            = queryThrow("select sql from sqlite_master where type='trigger' and name='clean_orphaned_messages'");
        if (trigger.moveNext())
            messageTrigger = trigger.getText(0);
    }
    if (messageTrigger.contains(QLatin1String("message_id = message.ROWID"))) {
        // In one transaction, so that a failure never leaves the store without the trigger.
        QString error;
        if (exec(QStringLiteral("BEGIN; DROP TRIGGER clean_orphaned_messages; %1 COMMIT;")
                     .arg(QLatin1String(narrowMessageTrigger)),
                error)
            != 0) {
            QString ignored;
            exec(QStringLiteral("ROLLBACK"), ignored);
            throwText(QStringLiteral("line:%1, sql:%2, error:%3")
                          .arg(QString::number(step), QLatin1String(narrowMessageTrigger), error));
        }
    }
    step = 21;
    if (tbInfo(QStringLiteral("chat_handle_join")).contains(QStringLiteral("handle_id")))
        run(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS chat_handle_join_idx_handle_id ON chat_handle_join(handle_id);"));
}
