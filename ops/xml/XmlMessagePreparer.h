// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/xml/SmsXmlRecord.h"
#include "store/CountryLibDb.h"

#include <QHash>
#include <QSet>

#include <atomic>

// Works out what storing a message of an XML backup needs, as a load does for a phone's record:
// the date of the store, the addresses normalised for the country, the conversation's participants
// and the sender, the text, the attachment names and the message guid from its duplicate key. It
// needs no database, so the import runs it on the thread that reads the file.
class XmlMessagePreparer
{
public:
    // xmlPath is the file the records come from: the phone's own numbers are learnt from all of it.
    XmlMessagePreparer(const CountryInfo& country, const QString& xmlPath);

    // stop ends a reading of the file that this call makes (it then throws).
    void prepare(SmsXmlRecord& record, const std::atomic<bool>& stop);

    // The stored path of an attachment: "~/Library/SMS/Attachments/" and a folder per content key.
    static QString attachmentPath(const QString& key, const QString& name);
    // A part's name as the last part of a stored path: nothing a path or the store would change, at
    // most 255 bytes of UTF-8 (a file name's limit) cut between characters.
    static QString safeAttachmentName(const QString& name, qsizetype index);

private:
    // The phone's own numbers are no participants. They are the senders of its sent <mms>, learnt from
    // the whole file when the first <mms> comes: a received message may come before any sent one.
    void learnOwnNumbers(const std::atomic<bool>& stop);
    void addOwnNumbers(const SmsXmlRecord& record);
    QString normalised(const QString& address);
    QStringList participantsOf(const SmsXmlRecord& record);
    QString senderOf(const SmsXmlRecord& record, const QStringList& participants);

    CountryInfo m_country;
    QString m_xmlPath;
    QHash<QString, QString> m_normalised;
    QSet<QString> m_ownNumbers;
    bool m_ownNumbersLearnt = false;
};
