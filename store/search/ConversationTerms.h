// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/CountryLibDb.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

struct _MsgChat;

// What a conversation is found by besides its messages' texts: its name, its correspondents' names
// and addresses, and each phone number in the forms people type it, digits only: international
// (447700900122), national with the trunk prefix (07700900122) and the national number alone
// (7700900122). The forms are made with the country library, from the number's own country code
// for an international number and from its correspondent's country (or the store's) otherwise.
class ConversationTerms
{
public:
    // countryLib is the store's; storeCountry the store's most common correspondent country.
    ConversationTerms(CountryLibDb& countryLib, const QString& storeCountry);

    // The conversation's terms as one text, words separated by spaces.
    QString terms(const _MsgChat& chat);

    // The digit forms of one address; none for an address with letters (a sender name, an e-mail).
    QStringList numberForms(const QString& address, const QString& country);

private:
    // A number's forms, or the address itself when it is not a number.
    QStringList addressTerms(const QString& address, const QString& country);
    CountryInfo countryOf(const QString& code);

    CountryLibDb& m_countryLib;
    QString m_storeCountry;
    QHash<QString, CountryInfo> m_countries;
    QSet<QString> m_callingCodes;
};
