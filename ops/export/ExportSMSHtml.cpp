// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSHtml.h"

#include "message/MessageHtml.h"
#include "message/MessageText.h"
#include "ops/export/ShortDateTimeText.h"

ExportSMSHtml::ExportSMSHtml(const QString& path)
    : m_file(path)
{
}

void ExportSMSHtml::begin()
{
    m_file.open();
    m_file.write(QLatin1String("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                               "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\">"
                               "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"));
    m_file.write(QStringLiteral("<title>%1</title></head><body>").arg(tr("Quillbarrow SMS Desk")));
}

void ExportSMSHtml::write(const _MsgMessage& message)
{
    const bool fromMe = message.is_from_me != 0;
    if (message.chat != m_namedChat || m_contact.isNull()) {
        m_namedChat = message.chat;
        m_contact = message.chat ? escapeMessageHtml(chatDisplayNameIsolated(*message.chat, true)) : QLatin1String("");
    }
    const QString& contact = m_contact;

    QString& fragment = m_fragment;
    fragment.resize(0);
    fragment += QLatin1String("<a name=\"sms");
    fragment += QString::number(message.rowid);
    fragment += QLatin1String("\"></a><div style=\"color:");
    fragment += fromMe ? QLatin1String("#008040") : QLatin1String("#0000FF");
    fragment += QLatin1String(";font-size:16px;\"><div>");
    appendShortDateTimeText(fragment, message.date);
    fragment += QLatin1String("</div><div>");
    fragment += fromMe ? QLatin1String("To: ") : QLatin1String("From: ");
    fragment += contact;
    // A body written right to left reads from the right, with its punctuation where it belongs.
    fragment += QLatin1String("</div></div><div style=\"font-size:14px;\" dir=\"auto\">");
    fragment += escapeMessageHtml(messageDisplayText(message));
    fragment += QLatin1String("</div><br/><br/>");
    fragment += exportLineEnd;
    m_file.write(fragment);
}

void ExportSMSHtml::end()
{
    m_file.write(QLatin1String("</body></html>"));
    m_file.close();
}
