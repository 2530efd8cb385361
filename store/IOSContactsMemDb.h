// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsDb.h"
#include "store/CountryLibDb.h"

#include <QDir>

// A contact found by number; every field empty when nothing matched.
struct IOSContact
{
    QString first;
    QString middle;
    QString last;
    QByteArray photo;

    // First name, then the trimmed middle and last names when not blank, separated by spaces.
    QString displayName() const;
};

// Contact names and pictures of a database folder's address book, condensed into `ct-phone.db`
// (rebuilt only when the address book changed, or when it was built for another country: numbers are
// normalised for the country, so a number found under one may be missing under another). Stays closed when the folder
// has no address book.
class IOSContactsMemDb : public AbsDb
{
public:
    IOSContactsMemDb(const QDir& folder, const QString& mcc);

    void open() override;
    // The contact with this normalised number, or an empty contact.
    IOSContact lookup(const QString& number);

    QString addressBookPath() const;
    QString imagesPath() const;
    // The condensed lookup file `ct-phone.db` in the database folder.
    QString lookupPath() const;

private:
    bool isBuiltFor(const CountryInfo& country) const;
    void rebuild(const CountryInfo& country);

    QDir m_folder;
    QString m_mcc;
};
