// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/DeleteConfirmation.h"

#include "store/IOS6MessageDb.h"
#include "ui/MessageBoxes.h"
#include "ui/UiLog.h"

#include <QCoreApplication>

#include <exception>

namespace {

QString tr(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

// The question, then what goes. The line break makes the box show rich text, so that a name holding
// markup characters is shown as written.
bool ask(const char* questionKey, const QString& detail)
{
    return askYesNoDefaultNo(tr(questionKey) + QStringLiteral("<br/><br/>") + detail);
}

} // namespace

bool confirmDeleteSelection(qsizetype count, const QString& database)
{
    return ask("IDS_CONFIRM_DEL_SEL_MESSAGES",
        tr("IDS_DEL_%1_SMS_FROM_LOCALDB_%2").arg(QString::number(count), database.toHtmlEscaped()));
}

bool confirmDeleteConversation(qsizetype count, const QString& contact, const QString& database)
{
    return ask("IDS_CONFIRM_DEL_THIS_CHAT",
        tr("IDS_DEL_%1_SMS_WITH_%2_FROM_LOCALDB_%3")
            .arg(QString::number(count), contact.toHtmlEscaped(), database.toHtmlEscaped()));
}

bool confirmDeleteDatabase(const QString& database, qint64 count)
{
    const QString detail = count < 0
        ? tr("IDS_DEL_LOCALDB_%1_ALL_SMS").arg(database.toHtmlEscaped())
        : tr("IDS_DEL_LOCALDB_%1_WITH_%2_SMS").arg(database.toHtmlEscaped(), QString::number(count));
    return ask("IDS_CONFIRM_DEL_THIS_LOCALDB", detail);
}

qint64 storedMessageCount(IOS6MessageDb& db)
{
    try {
        return db.messageCount();
    } catch (const std::exception& error) {
        qCWarning(lcUi, "can not count the messages of %s: %s", qUtf8Printable(db.dbPath()), error.what());
        return -1;
    }
}
