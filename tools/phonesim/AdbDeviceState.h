// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class MessageStore;

// What the emulated device remembers while it runs: its identity, installed packages, files pushed
// to it, and the faults it was told to inject. Shared by every host connection.
struct AdbDeviceState
{
    QString serial;
    QString product;
    QString model;
    QString device;
    // What getprop prints, by property name.
    QMap<QString, QString> properties;

    // The phone's own content providers, which `content` reads: the messages the companion also
    // reads, the phone's number (in the addresses of received multimedia messages), and the
    // authorities whose provider refuses the shell ("all" for every one).
    QSharedPointer<MessageStore> messages;
    QString ownNumber;
    QStringList deniedAuthorities;

    QSet<QString> packages;
    // `pm -l` prints nothing at all, as an unreadable package manager would.
    bool hidePackages = false;
    // `pm list packages` answers only once holdFile exists (never without one).
    bool holdPackages = false;
    QString holdFile;
    // Non-empty: every `pm install` prints "Failure [installFailure]".
    QString installFailure;
    // Non-empty: every `am broadcast` prints "Error: broadcastError".
    QString broadcastError;

    // Device ports relayed to a fixed 127.0.0.1 port, ahead of any channel the companion announced.
    QHash<quint16, quint16> relays;

    // Files pushed through sync, by device path.
    QHash<QString, QByteArray> files;
};

// Writes one "adb: ..." line of the device's log to standard error.
void logAdb(const QString& text);
