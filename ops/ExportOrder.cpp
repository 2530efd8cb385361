// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportOrder.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace {

// True when no message of the range is ordered before one that comes earlier in it: dates and row
// ids both run in the sort's direction, so that a stable sort would leave the range as it is. Most
// lists come from the message list, already in order.
bool inMessageOrder(const QList<_MsgMessage*>& messages, qsizetype first, qsizetype count, bool ascending)
{
    for (qsizetype i = first + 1; i < first + count; ++i) {
        const _MsgMessage* before = messages.at(i - 1);
        const _MsgMessage* after = messages.at(i);
        const bool inOrder = ascending ? before->date <= after->date && before->readRowId <= after->readRowId
                                       : before->date >= after->date && before->readRowId >= after->readRowId;
        if (!inOrder)
            return false;
    }
    return true;
}

} // namespace

void sortByConversation(QList<_MsgMessage*>& messages, bool ascending)
{
    // Every conversation gets the rank of its group: the groups of equal identifiers (ignoring case)
    // ordered by their newest date, then by identifier. Comparing two messages by rank is a
    // consistent order, which comparing the dates of their own conversations is not when a third
    // conversation ends between two that share an identifier. Each message's conversation is looked
    // up once; the rest works on indexes.
    QHash<const _MsgChat*, int> chatIndexes;
    std::vector<const _MsgChat*> chats;
    std::vector<int> chatOfMessage;
    chatOfMessage.reserve(size_t(messages.size()));
    for (const _MsgMessage* message : std::as_const(messages)) {
        const auto found = chatIndexes.constFind(message->chat);
        if (found != chatIndexes.cend()) {
            chatOfMessage.push_back(*found);
            continue;
        }
        chatOfMessage.push_back(int(chats.size()));
        chatIndexes.insert(message->chat, int(chats.size()));
        chats.push_back(message->chat);
    }
    const auto identifierOf = [](const _MsgChat* chat) -> const QString& {
        static const QString none;
        return chat ? chat->chat_identifier : none;
    };
    std::vector<int> byIdentifier(chats.size());
    for (size_t i = 0; i < chats.size(); ++i)
        byIdentifier[i] = int(i);
    std::sort(byIdentifier.begin(), byIdentifier.end(), [&](int a, int b) {
        return QString::compare(identifierOf(chats[size_t(a)]), identifierOf(chats[size_t(b)]), Qt::CaseInsensitive)
            < 0;
    });

    struct Group
    {
        size_t first; // into byIdentifier
        size_t end;
        int last;
    };
    std::vector<Group> groups;
    for (size_t i = 0; i < byIdentifier.size(); ++i) {
        const _MsgChat* chat = chats[size_t(byIdentifier[i])];
        const int last = chat ? chat->_last : 0;
        if (i > 0
            && QString::compare(
                   identifierOf(chats[size_t(byIdentifier[i - 1])]), identifierOf(chat), Qt::CaseInsensitive)
                == 0) {
            groups.back().end = i + 1;
            groups.back().last = std::max(groups.back().last, last);
        } else {
            groups.push_back({ i, i + 1, last });
        }
    }
    // Groups are in identifier order already; a stable sort by date keeps it among equal dates.
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.last < b.last; });
    if (!ascending)
        std::reverse(groups.begin(), groups.end());
    std::vector<int> rankOfChat(chats.size());
    for (size_t rank = 0; rank < groups.size(); ++rank) {
        for (size_t i = groups[rank].first; i < groups[rank].end; ++i)
            rankOfChat[size_t(byIdentifier[i])] = int(rank);
    }

    // The messages of each group in the order the message list gives them, the groups one after
    // the other: each file reads like its conversation in the list.
    std::vector<qsizetype> groupStart(groups.size() + 1, 0);
    for (const int chat : chatOfMessage)
        ++groupStart[size_t(rankOfChat[size_t(chat)]) + 1];
    for (size_t rank = 1; rank < groupStart.size(); ++rank)
        groupStart[rank] += groupStart[rank - 1];
    std::vector<qsizetype> next(groupStart.begin(), groupStart.end() - 1);
    const QList<_MsgMessage*> listed = messages;
    for (qsizetype i = 0; i < listed.size(); ++i)
        messages[next[size_t(rankOfChat[size_t(chatOfMessage[size_t(i)])])]++] = listed.at(i);

    for (size_t rank = 0; rank < groups.size(); ++rank) {
        const qsizetype first = groupStart[rank];
        const qsizetype count = groupStart[rank + 1] - first;
        if (inMessageOrder(messages, first, count, ascending))
            continue;
        QList<_MsgMessage*> group = messages.mid(first, count);
        sortMessages(group, ascending);
        std::copy(group.cbegin(), group.cend(), messages.begin() + first);
    }
}
