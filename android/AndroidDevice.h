// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QDir>
#include <QMetaType>
#include <QString>

class QTcpSocket;

// A phone with the companion app, as described by its greeting. Over USB it is reached through adb
// by its serial; over WiFi by its address and the companion's service port.
class AndroidDevice
{
public:
    static constexpr int wifiServicePort = 44441;

    QString name;
    QString serial;
    QString uid;
    bool wifi = false;
    QString host;
    int port = 0;
    int version = 0;
    QString model;
    QString manufacturer;
    QString imei;
    QString sdk;
    int sdkId = 0;
    bool root = false;
    QString storage1;
    QString mmc;
    // The two-letter code of the SIM's country in lower case, as the phone's telephony reports it over
    // USB; empty when the phone names none or was reached over WiFi.
    QString simCountry;
    QDateTime time;
    // Read over USB through Android's own content providers, without the companion app: no imei is
    // readable then, so the serial names the cache folder, and messages can not be written back.
    bool direct = false;

    // Fills the fields named by the "key=value;" pairs of a greeting payload.
    void parseInfo(const QString& text);
    // Manufacturer and model, e.g. "Samsung SM-G991B".
    QString displayName() const;
    // The text by which the device is matched: its uid over WiFi, its adb serial over USB.
    QString deviceId() const;
    // The name of its node in the device tree: the display name, and how it was read when directly.
    QString treeName() const;
    // <data root>/android_cache/<name>, created when missing: the folder of the device's cache database,
    // named by cacheFolderName of the imei (of the serial for a phone read directly).
    QDir cacheDir() const;
    // The imei itself when it is a plain name (letters, digits, '-', '_' and inner dots, at most 64
    // characters, no device name of Windows), so the caches of ordinary phones keep their folders.
    // Any other value comes from a phone that must not choose where the desktop writes: it is named
    // "imei~" and a digest of the value, a name no plain imei can take.
    static QString cacheFolderName(const QString& imei);

    // A connected socket on which the companion has sent "$ready:" for the channel URL. The socket
    // has no parent: the caller deletes it. Throws std::runtime_error (or a protocol exception).
    QTcpSocket* openChannel(const QString& url, int timeoutMs) const;
    QTcpSocket* openUsbChannel(const QString& url, int timeoutMs) const;
    QTcpSocket* openWifiChannel(const QString& url, int timeoutMs) const;
};

Q_DECLARE_METATYPE(AndroidDevice)
