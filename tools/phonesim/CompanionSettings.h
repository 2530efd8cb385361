// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the companion reports about the phone, how it sends, and the faults it injects.
struct CompanionSettings
{
    // Greeting on a device2 channel.
    int version = 12;
    QString model = QStringLiteral("SimPhone 7");
    QString manufacturer = QStringLiteral("Simulated");
    QString imei = QStringLiteral("359881030314356");
    QString uid = QStringLiteral("sim-5f3a2c91");
    QString sdk = QStringLiteral("13");
    int sdkId = 33;
    int root = 0;
    QString storage1 = QStringLiteral("/storage/emulated/0");
    QString mmc = QStringLiteral("310");

    int batchSize = 100;
    // A USB channel is listened for this long after its broadcast, as a phone's receiver starts late.
    int usbListenDelayMs = 0;
    int defSmsApp = 0;
    bool verbose = false;

    // Faults apply to channels of faultChannel only, or to all kinds when it is empty.
    QString faultChannel;
    QString refuseReason;
    bool refuse = false;
    bool noReady = false;
    QString errorStep;
    QString errorText;
    bool errorTextGiven = false; // an empty --error-text sends an empty $error:
    int closeAfter = -1;
    int shortRecord = -1;
    int unknownCommandAt = -1;
    bool noCount = false;
    int countOverride = -1;
    int batchDelayMs = 0;
    bool wrongAck = false;
    bool resetAfterBye = false;
    int badDateAt = -1;
    // Before the line of holdStep the phone stays silent until holdFile exists (for good without
    // one); with partialLine it first sends that line without its line feed.
    QString holdStep;
    QString holdFile;
    bool partialLine = false;

    bool faultsApplyTo(const QString& kind) const { return faultChannel.isEmpty() || faultChannel == kind; }
};
