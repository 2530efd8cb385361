// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/ProviderReader.h"
#include "store/CountryLibDb.h"
#include "message/MsgCollection.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

class CacheStaging;
class ExportMessagesDb;

// Reads every text and multimedia message of a phone, and the names of its contacts, through
// Android's `content` tool over adb, and writes them through the cache's staging writer with the
// same records a companion load makes: one conversation per correspondent's normalised address,
// group conversations for multimedia messages with several members, pictures and other media as
// attachments in the cache's file-relay folder. The shell is served the providers' restricted
// views, so only received and sent messages are read: drafts, outbox, failed and queued messages are
// not visible this way.
class DirectLoader
{
public:
    // `progress` gets the messages written so far and their total, for every message.
    DirectLoader(const QString& serial, CacheStaging& staging, std::function<void(int, int)> progress);
    ~DirectLoader();

    // Reads the phone, then writes every message. Throws on the phone's refusal or a broken link.
    void run();

    // The shell runner, replaced by tests and the benchmark to time the parser alone.
    void setShell(contentquery::ShellRunner shell) { m_shell = std::move(shell); }

private:
    struct Address
    {
        QString address;
        qint64 type = 0;
    };

    void readContacts();
    void writeTextMessages(const contentquery::ProviderRows& sms);
    void writeMultimediaMessages(const contentquery::ProviderRows& mms);
    // The own numbers of the phone, left out of the members of its multimedia messages: what sent ones
    // name as sender, and the one recipient of a received message sent to the phone alone.
    QSet<QString> ownNumbers(const contentquery::ProviderRows& mms, const std::vector<QList<Address>>& addresses);
    // Texts and media of one multimedia message, the media stored as attachments of `message`.
    void readParts(qint64 mmsId, _MsgMessage& message);
    _MsgAttachment storeMedia(
        const QByteArray& data, const QString& contentType, QString name, const _MsgMessage& message);

    QString normalised(const QString& address);
    _MsgHandle& handleFor(const QString& address);
    _MsgChat& chatFor(const QStringList& participants);
    void write(_MsgMessage& message);

    const QString m_serial;
    CacheStaging& m_staging;
    ExportMessagesDb* m_writer = nullptr;
    std::function<void(int, int)> m_progress;
    contentquery::ShellRunner m_shell;
    CountryInfo m_country;
    QDir m_fileRelay;

    QHash<QString, QString> m_normalised;
    QHash<QString, QString> m_contactNames; // by normalised number
    QHash<QString, std::shared_ptr<_MsgHandle>> m_handles;
    QHash<QString, std::shared_ptr<_MsgChat>> m_chats;
    contentquery::ProviderRows m_parts;
    QHash<qint64, QList<qsizetype>> m_partsOfMessage;
    int m_total = 0;
    int m_written = 0;
};
