// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/models/ItemModelSms.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/export/pdf/FontCoverage.h"
#include "ui/StyleSheet.h"

#include <QBrush>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QPixmapCache>
#include <QSize>

namespace {

constexpr int rowHeight = 23;

// The direction icons are decoded and scaled once and kept in the application's pixmap cache: the
// list asks for one on every painted row.
QPixmap directionIcon(const _MsgMessage& message)
{
    const bool chatService = message.service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
    const bool sent = message.is_from_me != 0;
    const QString path = chatService
        ? (sent ? QStringLiteral(":/res/imsg-send.png") : QStringLiteral(":/res/imsg-rec.png"))
        : (sent ? QStringLiteral(":/res/icon_sms-sent.png") : QStringLiteral(":/res/icon_sms-receive.png"));
    // Through QIcon a high-density screen gets the icon drawn from its @2x or @3x version.
    const qreal ratio = qApp->devicePixelRatio();
    const QString key = QStringLiteral("qsms-list:%1:%2").arg(path).arg(ratio);
    QPixmap icon;
    if (!QPixmapCache::find(key, &icon)) {
        icon = QIcon(path).pixmap(QSize(ItemModelSms::iconWidth, ItemModelSms::iconWidth), ratio);
        QPixmapCache::insert(key, icon);
    }
    return icon;
}

} // namespace

ItemModelSms::ItemModelSms(QObject* parent)
    : QAbstractItemModel(parent)
{
}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, column == DateColumn ? m_messages.at(row) : nullptr);
}

QModelIndex ItemModelSms::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ItemModelSms::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

int ItemModelSms::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QModelIndex ItemModelSms::rowIndex(int row) const
{
    if (row < 0 || row >= m_messages.size())
        return QModelIndex();
    return index(row, DateColumn);
}

void ItemModelSms::setMessages(const QList<_MsgMessage*>& messages)
{
    beginResetModel();
    m_messages = messages;
    endResetModel();
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case DateColumn:
        return QStringLiteral("Date");
    case FlagColumn:
        return QStringLiteral("Flag");
    case ContactColumn:
        return QStringLiteral("Contact");
    case ContentColumn:
        return QStringLiteral("Content");
    default:
        return QVariant();
    }
}

QVariant ItemModelSms::displayText(const _MsgMessage& message, int column) const
{
    const bool event = message.item_type != 0;
    switch (column) {
    case DateColumn:
        return QLocale::system().toString(messageDateTime(message.date), QLocale::ShortFormat);
    case FlagColumn:
        if (event)
            return QString();
        return message.is_from_me != 0 ? QStringLiteral("To") : QStringLiteral("From");
    case ContactColumn: {
        QString contact;
        if (!event)
            contact = messageContactText(message);
        else if (message.chat)
            contact = chatDisplayNameIsolated(*message.chat, false);
        const QString source = m_sourceNames.value(message.chat);
        return source.isEmpty() ? contact : source + QStringLiteral(": ") + contact;
    }
    case ContentColumn:
        // The emoji themselves, and "[EMOJI]" only for one that no installed font can draw.
        return withDrawableEmoji(messageDisplayText(message, EmojiText::Characters));
    default:
        return QVariant();
    }
}

QVariant ItemModelSms::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_messages.size())
        return QVariant();
    const _MsgMessage& message = *m_messages.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return displayText(message, index.column());
    case Qt::DecorationRole:
        return index.column() == DateColumn ? QVariant(directionIcon(message)) : QVariant();
    case Qt::BackgroundRole:
        // Sent rows keep their green tint on a dark desktop too, in a dark shade under light text.
        if (desktopPrefersDark())
            return QBrush(message.is_from_me != 0 ? QColor(0x2B, 0x38, 0x27) : QColor(0x1F, 0x22, 0x25));
        return QBrush(message.is_from_me != 0 ? QColor(245, 255, 226) : QColor(255, 255, 255));
    case Qt::SizeHintRole:
        return QSize(0, rowHeight);
    default:
        return QVariant();
    }
}
