// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportSMSThread.h"

#include "message/MessageText.h"
#include "ops/export/ExportMessagesCsv.h"
#include "ops/export/ExportMessagesTxt.h"
#include "ops/export/ExportSMSHtml.h"
#include "ops/export/ExportSMSPdf.h"
#include "ops/export/ExportSMSXml.h"
#include "store/MsgCollection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

const QString unknownChatName = QStringLiteral("unknown-chat");

const QString& chatIdentifier(const _MsgMessage& message)
{
    static const QString none;
    return message.chat ? message.chat->chat_identifier : none;
}

int chatLast(const _MsgMessage& message)
{
    return message.chat ? message.chat->_last : 0;
}

bool sameConversation(const _MsgMessage& a, const _MsgMessage& b)
{
    return a.chat == b.chat || QString::compare(chatIdentifier(a), chatIdentifier(b), Qt::CaseInsensitive) == 0;
}

// Sorts in conversation order, ascending or descending, with the same answers as comparing the
// messages through conversationLessThan but without comparing identifiers text by text each time:
// each conversation gets the rank of its identifier among all identifiers, folded to one case.
void sortByConversation(QList<_MsgMessage*>& messages, bool ascending)
{
    QHash<const _MsgChat*, int> ranks;
    for (const _MsgMessage* message : std::as_const(messages))
        ranks.insert(message->chat, 0);
    std::vector<const _MsgChat*> chats;
    chats.reserve(size_t(ranks.size()));
    for (auto it = ranks.cbegin(); it != ranks.cend(); ++it)
        chats.push_back(it.key());
    const auto identifierOf = [](const _MsgChat* chat) -> const QString& {
        static const QString none;
        return chat ? chat->chat_identifier : none;
    };
    std::sort(chats.begin(), chats.end(), [&](const _MsgChat* a, const _MsgChat* b) {
        return QString::compare(identifierOf(a), identifierOf(b), Qt::CaseInsensitive) < 0;
    });
    int rank = 0;
    for (size_t i = 0; i < chats.size(); ++i) {
        if (i > 0 && QString::compare(identifierOf(chats[i - 1]), identifierOf(chats[i]), Qt::CaseInsensitive) != 0)
            ++rank;
        ranks[chats[i]] = rank;
    }

    struct Ranked
    {
        int rank;
        int last;
        _MsgMessage* message;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(size_t(messages.size()));
    for (_MsgMessage* message : std::as_const(messages))
        ranked.push_back({ ranks.value(message->chat), chatLast(*message), message });
    const auto lessThan = [](const Ranked& a, const Ranked& b) {
        if (a.rank == b.rank)
            return messageLessThan(*a.message, *b.message);
        if (a.last != b.last)
            return a.last < b.last;
        return a.rank < b.rank;
    };
    // A stable sort, comparing b with a for the descending order, never reads outside the list
    // and keeps messages that neither order puts first where they were.
    if (ascending)
        std::stable_sort(ranked.begin(), ranked.end(), lessThan);
    else
        std::stable_sort(
            ranked.begin(), ranked.end(), [&](const Ranked& a, const Ranked& b) { return lessThan(b, a); });
    for (size_t i = 0; i < ranked.size(); ++i)
        messages[qsizetype(i)] = ranked[i].message;
}

} // namespace

QString safeFileName(const QString& name)
{
    QString result;
    result.reserve(name.size());
    for (const QChar c : name) {
        switch (c.unicode()) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            break;
        default:
            result += c;
        }
    }
    return result.trimmed();
}

bool conversationLessThan(const _MsgMessage& a, const _MsgMessage& b)
{
    const int byIdentifier = QString::compare(chatIdentifier(a), chatIdentifier(b), Qt::CaseInsensitive);
    if (byIdentifier == 0)
        return messageLessThan(a, b);
    if (chatLast(a) != chatLast(b))
        return chatLast(a) < chatLast(b);
    return byIdentifier < 0;
}

bool conversationGreaterThan(const _MsgMessage& a, const _MsgMessage& b)
{
    return conversationLessThan(b, a);
}

ExportSMSThread::ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, unsigned formatCode,
    bool ascending, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_messages(messages)
    , m_path(path)
    , m_format(formatCode)
    , m_ascending(ascending)
{
}

ExportSMSThread::~ExportSMSThread() = default;

QString ExportSMSThread::work()
{
    reportStatus(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1);
    if (m_format == Pdf || m_format == Html) {
        m_created.makeFolder(m_path);
        sortByConversation(m_messages, m_ascending);
    }

    const qsizetype total = m_messages.size();
    const QString progressFormat = tr("Messages: %1/%2");
    qsizetype done = 0;
    for (const _MsgMessage* message : std::as_const(m_messages)) {
        checkCancelled();
        reportProgress(++done, total, progressFormat);
        openWriterFor(*message);
        m_writer->write(*message);
    }
    if (m_writer)
        m_writer->end();
    m_writer.reset();
    return tr("IDS_SUC_EXPORT_%1_MMS").arg(total);
}

void ExportSMSThread::abandon()
{
    // Releasing the writer closes its file before the file is removed.
    m_writer.reset();
    m_created.removeAll();
}

void ExportSMSThread::openWriterFor(const _MsgMessage& message)
{
    switch (m_format) {
    case Text:
    case Csv:
    case Xml:
        if (!m_writer) {
            if (m_format == Text)
                m_writer = std::make_shared<ExportMessagesTxt>(m_path);
            else if (m_format == Csv)
                m_writer = std::make_shared<ExportMessagesCsv>(m_path);
            else
                m_writer = std::make_shared<ExportSMSXml>(m_path);
            // Only a file the export could open is its own to remove: one it could not open may
            // be a file of the user's.
            m_writer->begin();
            m_created.addFile(m_path);
        }
        return;
    case Pdf:
    case Html:
        if (!m_writer || !sameConversation(*m_conversationStart, message))
            openConversationFile(message);
        return;
    default:
        throw std::runtime_error("not support export format.");
    }
}

void ExportSMSThread::openConversationFile(const _MsgMessage& message)
{
    if (m_writer)
        m_writer->end();
    const bool firstFile = !m_writer;
    m_writer.reset();
    m_conversationStart = &message;
    if (m_format == Html && firstFile)
        prepareHtmlFolders();

    const QString path = QDir(m_path).filePath(conversationFileName(message));
    if (m_format == Pdf)
        m_writer = std::make_shared<ExportSMSPdf>(path);
    else
        m_writer = std::make_shared<ExportSMSHtml>(path);
    m_writer->begin();
    m_created.addFile(path);
}

QString ExportSMSThread::conversationFileName(const _MsgMessage& message)
{
    QString base;
    if (message.chat)
        base = safeFileName(
            isGroupChat(*message.chat) ? message.chat->chat_identifier : chatDisplayName(*message.chat, true));
    if (base.isEmpty())
        base = unknownChatName;
    const QString suffix = m_format == Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");

    // Two conversations whose names come out the same must not share, and overwrite, one file.
    QString name = base + suffix;
    for (int n = 2; m_usedNames.contains(name.toLower()); ++n)
        name = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
    m_usedNames.insert(name.toLower());
    return name;
}

void ExportSMSThread::prepareHtmlFolders()
{
    const QDir output(m_path);
    const QDir application(QCoreApplication::applicationDirPath());
    const QString files = output.filePath(QStringLiteral("files"));
    m_created.makeFolder(files);
    if (application.exists(QStringLiteral("bubble")))
        copyPlainFiles(application.filePath(QStringLiteral("bubble")), files);
    if (application.exists(QStringLiteral("emoji"))) {
        const QString emoji = output.filePath(QStringLiteral("emoji"));
        m_created.makeFolder(emoji);
        copyPlainFiles(application.filePath(QStringLiteral("emoji")), emoji);
    }
}

void ExportSMSThread::copyPlainFiles(const QString& fromFolder, const QString& toFolder)
{
    const QFileInfoList entries = QDir(fromFolder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString target = QDir(toFolder).filePath(entry.fileName());
        if (QFileInfo::exists(target))
            continue;
        // A copy that fails is left out: the pages do not refer to these files.
        if (QFile::copy(entry.filePath(), target))
            m_created.addFile(target);
    }
}
