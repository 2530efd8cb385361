// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/CountryCodes.h"

#include "base/DataFolders.h"
#include "store/CountryLibDb.h"

bool isKnownCountry(const QString& mcc)
{
    if (mcc.isEmpty())
        return false;
    bool found = false;
    CountryLibDb library(countryLibPath(), mcc);
    library.findByMcc(mcc, &found);
    return found;
}

QString countryForLoad(const QString& phoneMcc, const QString& given)
{
    return isKnownCountry(phoneMcc) ? phoneMcc : given;
}
