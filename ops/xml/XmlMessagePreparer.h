// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/xml/SmsXmlRecord.h"
#include "store/CountryLibDb.h"

#include <QHash>
#include <QSet>

// Works out what storing a message of an XML backup needs, as a load does for a phone's record:
// the date of the store, the addresses normalised for the country, the conversation's participants
// and the sender, the text, the attachment names and the message guid from its duplicate key. It
// needs no database, so the import runs it on the thread that reads the file; records must come in
// file order, since the phone's own numbers are learnt from the senders of sent <mms>.
class XmlMessagePreparer
{
public:
    explicit XmlMessagePreparer(const CountryInfo& country);

    void prepare(SmsXmlRecord& record);

    // The stored path of an attachment: "~/Library/SMS/Attachments/" and a folder per content key.
    static QString attachmentPath(const QString& key, const QString& name);

private:
    QString normalised(const QString& address);
    QStringList participantsOf(const SmsXmlRecord& record);
    QString senderOf(const SmsXmlRecord& record, const QStringList& participants);

    CountryInfo m_country;
    QHash<QString, QString> m_normalised;
    // The phone's own numbers: they are no participants.
    QSet<QString> m_ownNumbers;
};
