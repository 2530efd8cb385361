// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/models/AbsTreeItemModel.h"

#include <QSharedPointer>

class AndroidDevice;
class IOS6MessageDb;
class _AbsDBItemNode;
class _AndroidDeviceItemNode;
class _ChatSessionItemNode;
class _LocalDBItemNode;
class _RootDeviceItemNode;
class _RootLocalDBItemNode;

// The tree of the main window: the "Devices" and "Local Databases" roots, the phones and local
// databases under them, and one node per conversation identifier under each of those.
class ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT

public:
    explicit ItemModelMain(QObject* parent = nullptr);
    ~ItemModelMain() override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    _RootDeviceItemNode* rootDevice() const { return m_rootDevice; }
    _RootLocalDBItemNode* rootLocalDb() const { return m_rootLocalDb; }
    // Every phone and local database node, in the tree's order.
    QList<_AbsDBItemNode*> sourceNodes() const;

    // Appends a device node under "Devices", named by the device's display name. Its collection starts empty.
    _AndroidDeviceItemNode* addAndroidDevice(const QSharedPointer<IOS6MessageDb>& db, const AndroidDevice& device);
    // Appends a database node under "Local Databases", named by the database's folder name.
    _LocalDBItemNode* addLocalDb(const QSharedPointer<IOS6MessageDb>& db, const QString& name);
    // Replaces the node's conversation nodes by one per chat_identifier of its collection, newest first.
    void rebuildConversations(_AbsDBItemNode* dbNode);
    // Sets the number of messages shown beside a database's name (-1: none shown).
    void setMessageCount(_AbsDBItemNode* node, qint64 count);
    // The number of phone nodes under "Devices".
    int countDevices() const;

private:
    QVariant conversationPicture(_ChatSessionItemNode* node) const;

    _RootDeviceItemNode* m_rootDevice;
    _RootLocalDBItemNode* m_rootLocalDb;
};
