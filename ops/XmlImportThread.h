// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/WorkerThread.h"
#include "message/MsgCollection.h"
#include "ops/xml/SmsXmlRecord.h"
#include "store/CountryLibDb.h"

#include <QDir>
#include <QHash>
#include <QStringList>

#include <memory>
#include <unordered_map>

class ExportMessagesDb;
class QTemporaryDir;
class SmsXmlReadAhead;

// Imports an XML backup of the common Android backup apps into a local database. Every <sms> and
// <mms> becomes a message as a load from the phone makes it: addresses normalised for the country
// code, one conversation per correspondent, and a group conversation for an <mms> with several
// participants; media parts become attachments stored in the database folder. The file is streamed,
// and everything is written in one transaction through the store's writer, so messages already
// stored are not stored again and a malformed file, a failure or a cancel leaves the database (and
// its attachment files) as it was; a database the import created is removed again.
class XmlImportThread : public WorkerThread
{
    Q_OBJECT

public:
    // mcc chooses the country for numbers without a country prefix (empty: none). A database keeps the
    // country its numbers were normalised for; its numbers are read for that one whatever mcc says, so
    // that a file imported again finds its messages (countryNote() then says so).
    XmlImportThread(const QString& xmlPath, const QDir& databaseFolder, const QString& mcc, ProgressReceiver* progress,
        QObject* parent = nullptr);
    ~XmlImportThread() override;

    // Results of a successful run. Messages read from the file are new, already in the database, or
    // repeated in the file; skipped ones have no usable date.
    qint64 messagesRead() const { return m_read; }
    qint64 newMessages() const { return m_new; }
    qint64 presentMessages() const { return m_present; }
    qint64 repeatedMessages() const { return m_repeated; }
    qint64 skippedMessages() const { return m_skipped; }
    // Which country the numbers were read for when the database chose it; empty otherwise.
    const QString& countryNote() const { return m_countryNote; }

protected:
    QString work() override;
    void abandon() override;

private:
    void store(const SmsXmlRecord& record);
    _MsgHandle& handleFor(const QString& address);
    // The one-to-one conversation of one participant, the group conversation of several.
    _MsgChat& chatFor(const QStringList& participants);
    _MsgAttachment attachmentFor(const QByteArray& data, const QString& contentType,
        const SmsXmlRecord::Prepared::Media& media, const _MsgMessage& message);
    CountryInfo chooseCountry();
    // The SMS group conversations of the database by their participants, to add to them.
    void readKnownGroups();
    void removeCreatedFiles();
    void removeEmptyFoldersAbove(const QString& file);

    QString m_xmlPath;
    QDir m_folder;
    QString m_mcc;
    bool m_folderExisted = false;
    bool m_databaseExisted = false;
    bool m_writing = false; // the database may hold changes of this run

    std::unique_ptr<SmsXmlReadAhead> m_readAhead;
    std::unique_ptr<ExportMessagesDb> m_writer;
    std::unique_ptr<QTemporaryDir> m_scratch;
    QHash<QString, QPair<QString, QString>> m_knownGroups; // participants joined by '~': guid, identifier
    std::unordered_map<QString, std::unique_ptr<_MsgHandle>> m_handles;
    std::unordered_map<QString, std::unique_ptr<_MsgChat>> m_chats;
    QStringList m_createdFiles;
    qint64 m_scratchFiles = 0;

    QString m_countryCode; // lower-case two-letter code written with every correspondent
    QString m_countryNote;

    qint64 m_read = 0;
    qint64 m_new = 0;
    qint64 m_present = 0;
    qint64 m_repeated = 0;
    qint64 m_skipped = 0;
};
