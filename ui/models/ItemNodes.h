// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/AndroidDevice.h"
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"

#include <QDateTime>
#include <QList>
#include <QPixmap>
#include <QSharedPointer>
#include <QString>

class QAbstractItemModel;

// The nodes of the device and database tree. A node's kind is its type number; the classes only add
// what that kind carries.
class _ItemNode
{
public:
    enum Type { TypeRootDevice = 1, TypeRootLocalDb = 2, TypeAndroidDevice = 4, TypeLocalDb = 5, TypeChatSession = 6 };

    _ItemNode(int type, const QString& name, _ItemNode* parent);
    _ItemNode(const _ItemNode&) = delete;
    _ItemNode& operator=(const _ItemNode&) = delete;
    virtual ~_ItemNode();

    // Destroys every child, depth first, and empties the list.
    void deleteChildren();

    int type;
    QString name;
    // The parts of this node's index, as the model last made it; -1 and null until then.
    int row = -1;
    int column = -1;
    void* internalPointer = nullptr;
    const QAbstractItemModel* model = nullptr;
    _ItemNode* parent;
    QList<_ItemNode*> children; // owned
};

class _RootDeviceItemNode : public _ItemNode
{
public:
    explicit _RootDeviceItemNode(const QString& name);
};

class _RootLocalDBItemNode : public _ItemNode
{
public:
    explicit _RootLocalDBItemNode(const QString& name);
};

// A device or a local database: the open store and what has been read from it.
class _AbsDBItemNode : public _ItemNode
{
public:
    _AbsDBItemNode(int type, const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db);
    // The conversation nodes point into the collection, so they go before it.
    ~_AbsDBItemNode() override;

    QSharedPointer<IOS6MessageDb> db;
    _MsgCollection collection;
    // The messages its store holds, shown beside a database's name; -1 while not known.
    qint64 messageCount = -1;
};

class _AndroidDeviceItemNode : public _AbsDBItemNode
{
public:
    _AndroidDeviceItemNode(
        const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db, const AndroidDevice& device);

    AndroidDevice device;
    // When the load that made this node left the phone's cache database; null for an offline device,
    // and once the cache no longer holds what the phone held.
    QDateTime loadedCacheTime;
};

class _LocalDBItemNode : public _AbsDBItemNode
{
public:
    _LocalDBItemNode(const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db);
};

// The conversations of one chat_identifier; the records belong to the parent node's collection.
class _ChatSessionItemNode : public _ItemNode
{
public:
    _ChatSessionItemNode(const QString& name, _ItemNode* parent, const QList<_MsgChat*>& group, int lastDate);

    QList<_MsgChat*> group;
    int lastDate;
    // The conversation picture, made on first use (null until then).
    QPixmap picture;
};
