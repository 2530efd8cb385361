// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SyntheticRecords.h"

#include "base/DataFolders.h"
#include "message/MessageIdentity.h"
#include "message/MessageText.h"
#include "message/RecordDefaults.h"
#include "store/CountryLibDb.h"
#include "tools/common/SyntheticMessages.h"

#include <QHash>

namespace {

struct Party
{
    _MsgHandle* handle = nullptr;
    _MsgChat* chat = nullptr;
};

} // namespace

SyntheticRecords::SyntheticRecords(int count, quint32 seed, const QString& mcc)
{
    CountryLibDb countryLib(countryLibPath(), mcc);
    const CountryInfo country = countryLib.currentCountry();

    const QList<SimMessage> generated = generateMessages(count, seed);
    m_messages.reserve(size_t(generated.size()));

    QHash<QString, QString> normalised;
    QHash<QPair<QString, QString>, Party> parties;
    for (const SimMessage& sim : generated) {
        auto known = normalised.constFind(sim.address);
        if (known == normalised.constEnd())
            known = normalised.insert(sim.address, normalizePhoneNumber(country, sim.address));
        const QString& address = known.value();

        Party& party = parties[qMakePair(address, sim.contactName)];
        if (!party.handle) {
            _MsgHandle& handle = m_handles.emplace_back();
            _MsgChat& chat = m_chats.emplace_back();
            fillCorrespondent(address, handle, chat);
            handle._ct_name = sim.contactName;
            party = Party { &handle, &chat };
        }

        _MsgMessage& message = m_messages.emplace_back();
        message.handle = party.handle;
        message.chat = party.chat;
        message.text = sim.body;
        message.replace = 0;
        message.subject = sim.subject;
        message.version = 10;
        message.type = 0;
        message.service = QStringLiteral("SMS");
        message.account = QStringLiteral("e:");
        message.error = 0;
        const int date = int(sim.timeMs / 1000 - messageDateOffset);
        message.date = date;
        message.date_read = date;
        message.date_delivered = date;
        message.is_from_me = sim.direction == 1 ? 1 : 0;
        message.is_finished = 1;
        message.is_prepared = 1;
        message.is_read = 1;
        message.is_sent = 1;
        message.was_data_detected = 1;
        message.guid = guidFromBytes(logicHash(message).toUtf8());
    }
}
