// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsDb.h"

// One row of the country library; r1 is stored anchored ("^" + r1 + "$").
struct CountryInfo
{
    QString sn;
    QString n;
    QString ln;
    QString pnum;
    QString mmc;
    QString numc;
    QString r1;

    bool isEmpty() const { return sn.isEmpty(); }
    // True when one of the comma-separated lengths in numc equals n.
    bool isNumberLength(int n) const;
    // True when the anchored national-number pattern matches the number.
    bool matchesNumberPattern(const QString& number) const;
};

// Canonical form of a correspondent address: a "+" number where the country's plan allows it,
// lower case for alphanumeric senders and e-mail addresses, otherwise the cleaned digits.
QString normalizePhoneNumber(const CountryInfo& country, const QString& address);

// The read-only country library `countries.db` at the path its caller gives, copied there from the
// resources on first use.
class CountryLibDb : public AbsDb
{
public:
    CountryLibDb(const QString& path, const QString& mcc);

    void open() override;
    CountryInfo currentCountry();
    CountryInfo findByMcc(const QString& mcc, bool* found = nullptr);
    CountryInfo findBySn(const QString& sn, bool* found = nullptr);

    const QString& mcc() const { return m_mcc; }

private:
    QString m_path;
    QString m_mcc;
    CountryInfo m_current;
};
