// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

// One device line of the adb listing: the trimmed line, the serial and the state word after it.
class AdbDevice
{
public:
    QString line;
    QString serial;
    QString state;

    // Only a device in the "device" state accepts commands; offline or unauthorized ones do not.
    bool isOnline() const { return state.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0; }
};

Q_DECLARE_METATYPE(AdbDevice)
