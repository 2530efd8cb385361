// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/models/ItemModelMain.h"

#include "message/MessageText.h"
#include "ui/models/ItemNodes.h"

#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QPixmapCache>
#include <QSize>

#include <algorithm>

namespace {

constexpr int pictureSize = 18;

// Resource pictures are decoded once and kept in the application's pixmap cache, which outlives no
// application: the tree asks for them on every paint. Through QIcon a high-density screen gets the
// picture drawn from its @2x or @3x version instead of an enlarged small one.
QPixmap resourcePicture(const QString& path)
{
    const qreal ratio = qApp->devicePixelRatio();
    const QString key = QStringLiteral("qsms-tree:%1:%2").arg(path).arg(ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QIcon(path).pixmap(QSize(pictureSize, pictureSize), ratio);
        QPixmapCache::insert(key, picture);
    }
    return picture;
}

struct ConversationGroup
{
    QList<_MsgChat*> chats;
    int lastDate = 0;
};

} // namespace

ItemModelMain::ItemModelMain(QObject* parent)
    : AbsTreeItemModel(parent)
    , m_rootDevice(new _RootDeviceItemNode(tr("IDS_ROOT_DEVICE")))
    , m_rootLocalDb(new _RootLocalDBItemNode(tr("IDS_ROOT_LOCALDB")))
{
    appendNode(m_rootDevice);
    appendNode(m_rootLocalDb);
}

ItemModelMain::~ItemModelMain() = default;

int ItemModelMain::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QVariant ItemModelMain::data(const QModelIndex& index, int role) const
{
    if (index.row() < 0 || index.column() < 0 || !index.model())
        return QVariant();
    _ItemNode* node = nodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (node->type == _ItemNode::TypeLocalDb) {
            const qint64 count = static_cast<const _AbsDBItemNode*>(node)->messageCount;
            if (count >= 0)
                return QStringLiteral("%1 (%2)").arg(node->name, QLocale().toString(count));
        }
        return node->name;
    case Qt::SizeHintRole:
        return QSize(0, 25);
    case Qt::DecorationRole:
        switch (node->type) {
        case _ItemNode::TypeRootDevice:
            return resourcePicture(QStringLiteral(":/res/devices.png"));
        case _ItemNode::TypeRootLocalDb:
            return resourcePicture(QStringLiteral(":/res/databases.png"));
        case _ItemNode::TypeAndroidDevice:
            return resourcePicture(QStringLiteral(":/res/android.png"));
        case _ItemNode::TypeLocalDb:
            return resourcePicture(QStringLiteral(":/res/database.png"));
        case _ItemNode::TypeChatSession:
            return conversationPicture(static_cast<_ChatSessionItemNode*>(node));
        default:
            return QVariant();
        }
    default:
        return QVariant();
    }
}

// The correspondent's own photo for a one-to-one conversation, else the group or contact picture.
QVariant ItemModelMain::conversationPicture(_ChatSessionItemNode* node) const
{
    if (node->group.isEmpty())
        return QVariant();
    if (!node->picture.isNull())
        return node->picture;
    const _MsgChat* chat = node->group.first();
    QPixmap picture;
    if (chat->handles.size() == 1) {
        const QByteArray& photo = chat->handles.first()->_photo;
        if (!photo.isEmpty() && (picture.loadFromData(photo, "JPEG") || picture.loadFromData(photo, "PNG")))
            picture = picture.scaledToHeight(pictureSize, Qt::FastTransformation);
    }
    if (picture.isNull()) {
        const QString path
            = chat->handles.size() > 1 ? QStringLiteral(":/res/group.png") : QStringLiteral(":/res/contact.png");
        picture = resourcePicture(path);
    }
    node->picture = picture;
    return picture;
}

_AndroidDeviceItemNode* ItemModelMain::addAndroidDevice(
    const QSharedPointer<IOS6MessageDb>& db, const AndroidDevice& device)
{
    auto* node = new _AndroidDeviceItemNode(device.treeName(), m_rootDevice, db, device);
    appendNode(node);
    return node;
}

_LocalDBItemNode* ItemModelMain::addLocalDb(const QSharedPointer<IOS6MessageDb>& db, const QString& name)
{
    auto* node = new _LocalDBItemNode(name, m_rootLocalDb, db);
    appendNode(node);
    return node;
}

void ItemModelMain::rebuildConversations(_AbsDBItemNode* dbNode)
{
    clearChildren(dbNode);

    // The collection is a hash; conversations are grouped in row id order so the result is the same
    // on every run.
    QList<_MsgChat*> chats = dbNode->collection.chats().values();
    std::sort(chats.begin(), chats.end(), [](const _MsgChat* a, const _MsgChat* b) { return a->rowid < b->rowid; });
    QList<ConversationGroup> groups;
    QHash<QString, qsizetype> groupOfIdentifier;
    for (_MsgChat* chat : std::as_const(chats)) {
        auto found = groupOfIdentifier.constFind(chat->chat_identifier);
        if (found == groupOfIdentifier.cend()) {
            groupOfIdentifier.insert(chat->chat_identifier, groups.size());
            groups.append({ { chat }, chat->_last });
        } else {
            ConversationGroup& group = groups[*found];
            group.chats.append(chat);
            group.lastDate = std::max(group.lastDate, chat->_last);
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
        [](const ConversationGroup& a, const ConversationGroup& b) { return a.lastDate > b.lastDate; });

    QList<_ItemNode*> nodes;
    nodes.reserve(groups.size());
    for (const ConversationGroup& group : std::as_const(groups)) {
        const QString name = group.chats.isEmpty() ? QString() : chatDisplayName(*group.chats.first(), false);
        nodes.append(new _ChatSessionItemNode(name, dbNode, group.chats, group.lastDate));
    }
    appendNodes(dbNode, nodes);
}

void ItemModelMain::setMessageCount(_AbsDBItemNode* node, qint64 count)
{
    if (node->messageCount == count)
        return;
    node->messageCount = count;
    const QModelIndex index = nodeIndex(node);
    emit dataChanged(index, index, { Qt::DisplayRole, Qt::ToolTipRole });
}

QList<_AbsDBItemNode*> ItemModelMain::sourceNodes() const
{
    QList<_AbsDBItemNode*> nodes;
    for (const _ItemNode* root : { static_cast<_ItemNode*>(m_rootDevice), static_cast<_ItemNode*>(m_rootLocalDb) }) {
        for (_ItemNode* child : root->children) {
            if (child->type == _ItemNode::TypeAndroidDevice || child->type == _ItemNode::TypeLocalDb)
                nodes.append(static_cast<_AbsDBItemNode*>(child));
        }
    }
    return nodes;
}

int ItemModelMain::countDevices() const
{
    return int(std::count_if(m_rootDevice->children.cbegin(), m_rootDevice->children.cend(),
        [](const _ItemNode* node) { return node->type == _ItemNode::TypeAndroidDevice; }));
}
