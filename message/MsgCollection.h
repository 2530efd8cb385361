// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

struct _MsgMessage;
struct _MsgChat;

// The messages a conversation lists, one per row id, in the order of the decimal text of their row ids
// ("10" before "9"). That is the order in which the window and the exports meet a conversation's
// messages, and their stable sorts keep it among messages of equal rank.
class _MsgChatMessages
{
public:
    using const_iterator = QList<_MsgMessage*>::const_iterator;

    const_iterator begin() const { return m_messages.cbegin(); }
    const_iterator end() const { return m_messages.cend(); }
    qsizetype size() const { return m_messages.size(); }
    bool isEmpty() const { return m_messages.isEmpty(); }
    const QList<_MsgMessage*>& values() const { return m_messages; }
    // The decimal text of each row id, in list order.
    QStringList keys() const;

private:
    friend class _MsgCollection;

    // Lists the message in its place; one of the same row id already listed is replaced.
    void insert(_MsgMessage* message);
    // Takes the message off the list when it is listed; false when it is not.
    bool remove(const _MsgMessage* message);
    // For reading many messages at once: appended in any order, and put in order once by
    // restoreOrder, which also drops repeats of a row id.
    void appendUnordered(_MsgMessage* message) { m_messages.append(message); }
    void restoreOrder();

    QList<_MsgMessage*> m_messages;
};

// A correspondent (table `handle`).
struct _MsgHandle
{
    qint64 rowid = 0;
    QString id; // address, normalised on reading
    QString country; // lower-case two-letter code, may be empty
    QString service = QStringLiteral("SMS");
    QString uncanonicalized_id;
    QString _ct_name; // contact display name
    QByteArray _photo; // contact picture
};

// A conversation (table `chat`). The maps hold borrowed pointers to records owned elsewhere
// (by a _MsgCollection, or by the thread that built them), keyed by the decimal text of the row id.
struct _MsgChat
{
    qint64 rowid = 0;
    QString guid;
    int style = 45;
    int state = 3;
    QString account_id;
    QByteArray properties;
    QString chat_identifier;
    QString service_name = QStringLiteral("SMS");
    QString room_name;
    QString account_login = QStringLiteral("E:");
    int is_archived = 0;
    QString last_addressed_handle;
    QString display_name;
    int _last = 0; // date of the newest message
    QString group_id;
    QMap<QString, _MsgHandle*> handles;
    _MsgChatMessages messages;
};

// An attachment (table `attachment`) plus the local file that holds its data.
struct _MsgAttachment
{
    qint64 rowid = 0;
    QString guid;
    int created_date = 0;
    int start_date = 0;
    QString filename; // path as stored in the store
    QString uti;
    QString mime_type;
    int transfer_state = 0;
    int is_outgoing = 0;
    QByteArray user_info;
    QString transfer_name;
    qint64 total_bytes = 0;
    // The file: copied into the store when writing; after reading, its real path inside the
    // database folder, or empty when the file is missing or lies outside that folder.
    QString sourcePath;
};

// The columns of a message that nearly every message leaves at its default or shares with the
// messages stored next to it. Records hold them behind one shared pointer instead of inline, which
// takes half the size off each of a million records; records of equal values share one copy.
struct _MsgMessageExtras : QSharedData
{
    QString service_center;
    QByteArray attributedBody;
    QString account_guid;
    QString cache_roomnames;
    QString group_title;
    int is_emote = 0;
    int is_empty = 0;
    int is_delayed = 0;
    int is_auto_reply = 0;
    int is_system_message = 0;
    int has_dd_results = 0;
    int is_service_message = 0;
    int is_forward = 0;
    int was_downgraded = 0;
    int is_archive = 0;
    int was_deduplicated = 0;
    int is_audio_message = 0;
    int is_played = 0;
    int date_played = 0;
    int group_action_type = 0;
    int share_status = 0;
    int share_direction = 0;
    int is_expirable = 0;
    int expire_state = 0;
    int message_action_type = 0;

    bool operator==(const _MsgMessageExtras& other) const;
    bool operator!=(const _MsgMessageExtras& other) const { return !(*this == other); }
};

// A message (table `message`). Dates are seconds since 2001-01-01 00:00:00 UTC.
struct _MsgMessage
{
    qint64 rowid = 0;
    qint64 handle_id = 0;
    qint64 readRowId = 0; // ROWID in the store it was read from; 0 when not read from a store
    QString guid;
    QString text;
    QString subject;
    QString country;
    QString service;
    QString account;
    int replace = 0;
    int version = 10;
    int type = 0;
    int error = 0;
    int date = 0;
    int date_read = 0;
    int date_delivered = 0;
    int is_delivered = 0;
    int is_finished = 0;
    int is_from_me = 0;
    int is_prepared = 0;
    int is_read = 0;
    int is_sent = 0;
    int cache_has_attachments = 0;
    int was_data_detected = 0;
    int item_type = 0; // 0 ordinary message; 4 is never read
    int other_handle = -1;

    _MsgHandle* handle = nullptr; // the correspondent, borrowed
    _MsgChat* chat = nullptr; // the conversation, borrowed
    QMap<QString, _MsgAttachment> attachments; // keyed by the decimal text of the row id
    _MsgHandle* otherHandle = nullptr; // the second correspondent, borrowed

    // The rarely set columns; all at their defaults unless set.
    const _MsgMessageExtras& extras() const { return m_extras ? *m_extras.constData() : defaultExtras(); }
    // The rarely set columns for changing, copied first when shared with other records.
    _MsgMessageExtras& editExtras();
    // Shares the columns with another record, as a reader does for rows of equal values.
    void shareExtras(const QSharedDataPointer<_MsgMessageExtras>& extras) { m_extras = extras; }

private:
    static const _MsgMessageExtras& defaultExtras();

    QSharedDataPointer<_MsgMessageExtras> m_extras;
};

// All conversations, correspondents and messages read from one store, keyed by row id. Copies
// share one body, which owns every record in it.
class _MsgCollection
{
public:
    _MsgCollection();

    const QHash<qint64, _MsgChat*>& chats() const;
    const QHash<qint64, _MsgHandle*>& handles() const;
    const QHash<qint64, _MsgMessage*>& messages() const;

    _MsgChat* chat(qint64 rowid) const;
    _MsgHandle* handle(qint64 rowid) const;
    _MsgMessage* message(qint64 rowid) const;

    // Take ownership of a record under its rowid; an existing record of that rowid is kept and the
    // new one is discarded. Returns the record held. A message's fields move into storage the
    // collection holds in large blocks, so the returned record is not the one passed in.
    _MsgChat* addChat(std::unique_ptr<_MsgChat> chat);
    _MsgHandle* addHandle(std::unique_ptr<_MsgHandle> handle);
    _MsgMessage* addMessage(std::unique_ptr<_MsgMessage> message);
    // A fresh message record held under the rowid, or the record already held under it (created
    // says which). Takes no allocation of its own for most messages.
    _MsgMessage* addMessage(qint64 rowid, bool* created = nullptr);

    // For reading many messages into a collection: a fresh record of the rowid that is neither indexed by
    // it nor listed by the conversation (which may be null) until indexUnindexedMessages, so that a read
    // loop does not interleave the index's and the lists' scattered writes with its own work.
    _MsgMessage* addUnindexedMessage(qint64 rowid, _MsgChat* chat);
    // Indexes the records added by addUnindexedMessage since the last call, in the order they were added,
    // and links each to its conversation as linkMessagesToChats does. Of several records of one rowid the
    // one held first stays and takes the others' links; the others are emptied.
    void indexUnindexedMessages();
    // Takes over the records another collection holds from addUnindexedMessage, after the ones this one
    // holds unindexed, as if added here: a read in parts fills one collection per thread. The other
    // collection must hold nothing else; it is left empty. Its records keep their conversations, which
    // must be this collection's.
    void adoptUnindexedMessages(_MsgCollection& part);
    // Sizes the next block of records for about count more messages. Only an estimate: on systems
    // that map large blocks, records never used cost address space, not memory.
    void expectMessages(qsizetype count);

    // Links the message to the conversation and lists it in the conversation's list. A message linked to
    // several conversations keeps the last one as its chat and stays listed in all of them.
    void linkMessageToChat(_MsgMessage* message, _MsgChat* chat);
    // Does what linkMessageToChat does for each pair in turn, ordering each list once at the end.
    void linkMessagesToChats(const std::vector<std::pair<_MsgMessage*, _MsgChat*>>& links);
    void reserve(qsizetype chats, qsizetype handles, qsizetype messages);

    // The country (lower-case two-letter code) the store's numbers were normalised for, as the read of
    // its conversations found it: matching those conversations by number needs no read of the store.
    const QString& numberCountry() const;
    void setNumberCountry(const QString& code);

    // Removes a message from the collection and from the maps of the conversations listing it, and destroys it.
    void removeMessage(qint64 rowid);
    // Removes a conversation (its messages stay) and destroys it.
    void removeChat(qint64 rowid);
    void clear();

    bool sharesBodyWith(const _MsgCollection& other) const { return d == other.d; }

private:
    struct Body;
    class LinkBatch;
    std::shared_ptr<Body> d;
};
