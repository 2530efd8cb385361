// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Who the simulator claims to be with --demo: a phone bought in Britain, so that a person
// trying the application sees what a real phone would show. Switches given next to --demo win.
struct DemoPhone
{
    QString model = QStringLiteral("Lumen 7");
    QString manufacturer = QStringLiteral("Ostara");
    // A well-formed IMEI: its last digit is the Luhn check digit of the others.
    QString imei = QStringLiteral("358462112345673");
    QString uid = QStringLiteral("a3f29c7e51d04b88");
    QString sdk = QStringLiteral("14");
    int sdkId = 34;
    QString mmc = QStringLiteral("234");
    QString simCountry = QStringLiteral("gb");
    // In the range set aside for fiction, as the demo contacts' numbers are.
    QString ownNumber = QStringLiteral("+447700900077");

    QString adbSerial = QStringLiteral("29031JEHN05417");
    QString adbProduct = QStringLiteral("lumen");
    QString adbModel = QStringLiteral("Lumen_7");
    QString adbDevice = QStringLiteral("lumen");
};
