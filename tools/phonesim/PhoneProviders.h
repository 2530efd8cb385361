// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/common/SyntheticMessages.h"
#include "tools/phonesim/ProviderTable.h"

#include <vector>

// The phone's message providers (authorities sms and mms) and contacts provider, as the shell sees
// them over one snapshot of the phone's messages. Row ids are those of the phone's tables: text
// messages, multimedia messages and their parts are counted from 1 in the store's order, each kind on
// its own, and messages the shell may not see keep their ids, so that the shell sees gaps. The shell
// is never the default messaging app, so it gets the restricted views: received and sent messages
// only, and only their parts and addresses. Contacts are the named correspondents of the messages.
class PhoneProviders
{
public:
    PhoneProviders(QList<SimMessage> messages, QString ownNumber);

    // The rows behind the path of a content URI of the authority; throws ProviderError for a path the
    // provider does not serve.
    ProviderTable table(const QString& authority, const QStringList& path, const QString& uri) const;
    // What `content read` of the URI gives: the bytes of a multimedia part's file. Throws
    // ProviderError (java.io.FileNotFoundException) as the provider does.
    QByteArray file(const QString& authority, const QStringList& path, const QString& uri) const;

private:
    struct SmsRow
    {
        const SimMessage* message;
        qint64 id;
        qint64 threadId;
    };
    struct MmsRow
    {
        const SimMessage* message;
        qint64 id;
        qint64 threadId;
        qint64 firstPartId;
        qint64 firstAddressId;
    };
    struct PartRow
    {
        qsizetype mms;
        // Index into the message's parts; -1 for the layout (SMIL) part that leads every message.
        int part;
        qint64 id;
    };
    struct ContactRow
    {
        QString name;
        QString number;
        qint64 contactId;
    };

    ProviderTable smsTable(const QStringList& path, const QString& uri) const;
    ProviderTable mmsTable(const QStringList& path, const QString& uri) const;
    ProviderTable partTable(std::vector<qsizetype> rows) const;
    ProviderTable addressTable(qsizetype mms) const;
    ProviderTable contactsTable() const;
    SqlValue smsValue(const SmsRow& row, int column) const;
    SqlValue mmsValue(const MmsRow& row, int column) const;
    SqlValue partValue(const PartRow& row, int column) const;
    // The address rows of a multimedia message: (address, type) with 137 from and 151 to.
    QList<QPair<QString, int>> addresses(const SimMessage& message) const;

    const QList<SimMessage> m_messages;
    const QString m_ownNumber;
    std::vector<SmsRow> m_sms;
    std::vector<MmsRow> m_mms;
    std::vector<PartRow> m_parts;
    std::vector<ContactRow> m_contacts;
};
