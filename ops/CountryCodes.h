// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Which mobile country code a phone's numbers are read with. A phone that reports no code, or one
// the country library does not know, needs one from the person: the window asks for it, the command
// line takes --country.

// Whether the country library knows the code; an empty code is unknown. Throws std::runtime_error
// when the library can not be read.
bool isKnownCountry(const QString& mcc);

// The code a load of the phone uses: its own when the library knows it, else the one the person gave
// (empty when none was given, and the load can not go on).
QString countryForLoad(const QString& phoneMcc, const QString& given);
