// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/AbsDb.h"
#include "store/CountryLibDb.h"
#include "store/IOSContactsMemDb.h"

#include <QDir>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>

#include <memory>

class _MsgCollection;
struct _MsgAttachment;
struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;

// The message store of a database folder: file-relay/var/mobile/Library/SMS/sms.db, created from
// the embedded schema when missing and upgraded in place when older. Opened lazily.
class IOS6MessageDb : public AbsDb
{
public:
    IOS6MessageDb(const QDir& folder, const QString& mcc, bool upgrade);
    ~IOS6MessageDb() override;

    // Opens the file, creating it when missing. An existing file that cannot be written (the file or
    // its folder) is opened for reading only and not upgraded.
    void open() override;
    int version() const { return 6; }
    // Whether the open file is read without being written; false while closed.
    bool isReadOnly() const { return isOpen() && m_readOnly; }

    // Fills the collection's conversations and correspondents; records already there are kept.
    void chats(_MsgCollection& collection);
    // Fills the messages of one conversation (all of them when chatRowId <= 0) and links them, with
    // their attachments: the rows, and as source path the attachment's file when it lies inside the
    // database folder. The files themselves are not read.
    void messages(_MsgCollection& collection, qint64 chatRowId);
    // The file an attachment's stored path names inside the database folder, with every link resolved;
    // empty when there is no such file or the path (or a link on it) leads out of the folder.
    QString attachmentFile(const QString& filename) const;

    // Names of the triggers of the file that are not those the schema script makes (or made in an earlier
    // version): they would run on every row a writer stores, so writers refuse such a file.
    QStringList foreignTriggers();
    // The country (its lower-case two-letter code) the numbers of the store's correspondents were
    // normalised for, the most common when several; empty when no correspondent names one.
    QString numberCountry();

    // Removes one message; a conversation left without messages goes too.
    void deleteMessage(const _MsgMessage& message);

    // A writer run: one writer, inside one transaction, is the only one changing the file. Until
    // endWriterRun the store remembers the row ids it found or made for conversations (by guid) and
    // correspondents (by id and service), and the conversation joins it made or found, so that known
    // ones cost a hash lookup instead of a query; in a store that held no message when the run began,
    // a message whose duplicate key or guid the run has not written is not looked up at all. It keeps
    // the newest date of each conversation in memory, written by flushNewestDates with one update per
    // conversation. A run that begins inside a transaction on a store without messages drops the
    // message indexes the run does not look up by, and builds them again, in the same transaction,
    // before that transaction commits.
    void beginWriterRun();
    void flushNewestDates();
    // Forgets everything remembered; pending newest dates not flushed are dropped.
    void endWriterRun();

    // Writing (used by ExportMessagesDb). Lookups return 0 when nothing matches.
    qint64 findChatByGuid(const QString& guid);
    qint64 findHandle(const _MsgHandle& handle);
    bool isHandleInChat(qint64 chatRowId, qint64 handleRowId);
    void joinHandleToChat(qint64 chatRowId, qint64 handleRowId);
    qint64 findMessageByLogicHash(const QString& logicHash);
    qint64 findMessageByGuid(const QString& guid);
    void joinMessageToChat(qint64 chatRowId, qint64 messageRowId);
    void keepNewestDate(qint64 chatRowId, int date);
    void setLastAddressedHandle(qint64 chatRowId, const QString& handleId);
    qint64 findAttachmentByGuid(const QString& guid);
    void joinAttachmentToMessage(qint64 messageRowId, qint64 attachmentRowId);
    qint64 insertChat(const _MsgChat& chat);
    qint64 insertHandle(const _MsgHandle& handle);
    qint64 insertMessage(const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId);
    // The same with the message's logicHash already computed (ignored when the table lacks the column).
    qint64 insertMessage(
        const _MsgMessage& message, qint64 handleRowId, qint64 otherHandleRowId, const QString& logicHash);
    // Whether messages get a logic_hash column written and looked up.
    bool writesLogicHash();
    qint64 insertAttachment(const _MsgAttachment& attachment);

    // Column tests on the CREATE statements of the open file.
    const QMap<QString, QString>& tableSql() const { return m_tableSql; }
    bool messageHasItemType() const;
    // The store's messages as the window and the command line count them, without reading them: rows
    // of item type 4 do not count. 0 for a folder that holds no store, which is not created.
    qint64 messageCount();
    bool chatKeepsLast() const;
    bool handleHasContactName() const;
    bool handleHasContactPhoto() const;
    bool chatHasColumn(const QString& column) const;
    bool messageHasColumn(const QString& column) const;
    bool attachmentHasColumn(const QString& column) const;

    const QDir& folder() const { return m_folder; }
    const QDir& fileRelayDir() const { return m_fileRelay; }
    QString dbPath() const;
    CountryLibDb& countryLib() { return m_countryLib; }
    IOSContactsMemDb& contacts() { return m_contacts; }

    // How many messages a writer run into an empty store remembers by fingerprint before it looks
    // message keys up through the store's indexes; the value before the change is returned.
    static qsizetype setRememberedMessagesLimit(qsizetype messages);

    // How a read of a whole store splits over threads: into at most `parts` parts (by default one per
    // core, at most four) of at least minRowsPerPart rows each. The setting before the change is returned.
    struct ReadSplit
    {
        int parts;
        qint64 minRowsPerPart;
    };
    static ReadSplit setReadSplit(ReadSplit split);

protected:
    void beforeCommit() override;

private:
    static QByteArray schemaScript();
    void openExisting(const QString& path);
    void openReadOnly(const QString& path);
    void requireMessageTables(const QString& path);
    void createSchema();
    void upgradeSchema();
    void narrowMessageCleanUp();
    void indexHandleJoins();
    void registerFunctions();
    void readTableSql();
    void readAttachments(_MsgCollection& collection, qint64 chatRowId);
    // Reads a whole store's messages (sql, with about `expected` rows) in parts on several threads, each
    // with a connection of its own, into records the collection then indexes and links. False, with
    // nothing read, when the read is too short to split, runs inside a transaction, the store is
    // in write-ahead mode (where the parts could see different commits), or the conversation list has
    // no row ids.
    bool readMessagesInParts(_MsgCollection& collection, const QString& sql, qint64 expected);
    QString attachmentFileBelow(const QString& filename, const QString& canonicalFolder) const;
    void storeNewestDate(qint64 chatRowId, int date);
    qint64 findMessage(const QString& query, const QString& key, bool byLogicHash);
    qint64 findWrittenByLogicHash(const QString& logicHash);
    void deferMessageIndexes();
    void restoreDeferredIndexes();
    // Builds the deferred indexes and lets go of the run's fingerprints: from here on every message
    // key is looked up in the store.
    void lookUpWrittenMessagesInStore();

    // Column tests and insert statement texts of the open file, kept for the writing operations,
    // which run them for every message. Rebuilt whenever tableSql is refilled.
    struct WriteCache;
    WriteCache& writeCache();
    std::shared_ptr<WriteCache> m_writeCache;
    struct WriterRun;
    std::shared_ptr<WriterRun> m_writerRun;
    // Indexes a writer run dropped, by name with their CREATE statements, still to be made again.
    QList<QPair<QString, QString>> m_deferredIndexes;

    QDir m_folder;
    QDir m_fileRelay;
    IOSContactsMemDb m_contacts;
    CountryLibDb m_countryLib;
    QMap<QString, QString> m_tableSql;
    QString m_relativeDbPath;
    bool m_upgrade;
    bool m_readOnly = false;
};
