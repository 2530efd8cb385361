// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/models/ItemNodes.h"

#include <utility>

_ItemNode::_ItemNode(int type, const QString& name, _ItemNode* parent)
    : type(type)
    , name(name)
    , parent(parent)
{
}

_ItemNode::~_ItemNode()
{
    deleteChildren();
}

void _ItemNode::deleteChildren()
{
    const QList<_ItemNode*> owned = std::exchange(children, {});
    qDeleteAll(owned);
}

_RootDeviceItemNode::_RootDeviceItemNode(const QString& name)
    : _ItemNode(TypeRootDevice, name, nullptr)
{
}

_RootLocalDBItemNode::_RootLocalDBItemNode(const QString& name)
    : _ItemNode(TypeRootLocalDb, name, nullptr)
{
}

_AbsDBItemNode::_AbsDBItemNode(
    int type, const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db)
    : _ItemNode(type, name, parent)
    , db(db)
{
}

_AbsDBItemNode::~_AbsDBItemNode()
{
    deleteChildren();
}

_AndroidDeviceItemNode::_AndroidDeviceItemNode(
    const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db, const AndroidDevice& device)
    : _AbsDBItemNode(TypeAndroidDevice, name, parent, db)
    , device(device)
{
}

_LocalDBItemNode::_LocalDBItemNode(const QString& name, _ItemNode* parent, const QSharedPointer<IOS6MessageDb>& db)
    : _AbsDBItemNode(TypeLocalDb, name, parent, db)
{
}

_ChatSessionItemNode::_ChatSessionItemNode(
    const QString& name, _ItemNode* parent, const QList<_MsgChat*>& group, int lastDate)
    : _ItemNode(TypeChatSession, name, parent)
    , group(group)
    , lastDate(lastDate)
{
}
