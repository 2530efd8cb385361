// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/search/ConversationTerms.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"

#include <QRegularExpression>

namespace {

// Longest calling code of the numbering plans: three digits.
constexpr int longestCallingCode = 3;

} // namespace

ConversationTerms::ConversationTerms(CountryLibDb& countryLib, const QString& storeCountry)
    : m_countryLib(countryLib)
    , m_storeCountry(storeCountry)
{
    m_countryLib.open();
    Sqlite3Cursor codes = m_countryLib.queryThrow("select distinct pnum from countries");
    while (codes.moveNext()) {
        const QString code = codes.getText(0).trimmed();
        if (!code.isEmpty())
            m_callingCodes.insert(code);
    }
}

CountryInfo ConversationTerms::countryOf(const QString& code)
{
    const QString key = code.isEmpty() ? m_storeCountry : code;
    if (key.isEmpty())
        return CountryInfo();
    auto known = m_countries.constFind(key);
    if (known == m_countries.constEnd()) {
        bool found = false;
        CountryInfo country = m_countryLib.findBySn(key, &found);
        known = m_countries.insert(key, found ? country : CountryInfo());
    }
    return known.value();
}

QStringList ConversationTerms::numberForms(const QString& address, const QString& country)
{
    static const QRegularExpression letters(QStringLiteral("[a-zA-Z@]"));
    if (address.contains(letters))
        return {};
    QString digits;
    for (const QChar c : address) {
        if (c.isDigit())
            digits += QChar(u'0' + c.digitValue());
    }
    if (digits.isEmpty())
        return {};

    QStringList forms { digits };
    QString national;
    if (address.trimmed().startsWith(QLatin1Char('+'))) {
        // The number names its country: the longest calling code it starts with.
        for (int length = longestCallingCode; length >= 1 && national.isEmpty(); --length) {
            if (digits.size() > length && m_callingCodes.contains(digits.left(length)))
                national = digits.mid(length);
        }
    } else {
        const CountryInfo home = countryOf(country);
        if (!home.pnum.isEmpty()) {
            if (digits.startsWith(QLatin1Char('0')) && digits.size() > 1)
                national = digits.mid(1);
            else if (home.isNumberLength(int(digits.size())))
                national = digits;
            if (!national.isEmpty())
                forms << home.pnum + national;
        }
    }
    if (!national.isEmpty())
        forms << QLatin1Char('0') + national << national;
    forms.removeDuplicates();
    return forms;
}

QStringList ConversationTerms::addressTerms(const QString& address, const QString& country)
{
    const QStringList forms = numberForms(address, country);
    return forms.isEmpty() ? QStringList { address } : forms;
}

QString ConversationTerms::terms(const _MsgChat& chat)
{
    QStringList words;
    words << chat.display_name;
    QString firstCountry;
    for (const _MsgHandle* handle : orderedHandles(chat)) {
        if (firstCountry.isEmpty())
            firstCountry = handle->country;
        words << handle->_ct_name << addressTerms(handle->id, handle->country);
    }
    words << addressTerms(chat.chat_identifier, firstCountry);
    words.removeAll(QString());
    words.removeDuplicates();
    return words.join(QLatin1Char(' '));
}
