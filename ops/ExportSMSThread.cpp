// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/ExportSMSThread.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/ExportFormats.h"
#include "ops/ExportOrder.h"
#include "ops/HtmlExportFiles.h"
#include "ops/export/ExportFile.h"
#include "ops/export/ExportSMSHtml.h"
#include "ops/export/ExportSMSPdf.h"
#include "ops/export/FileRenderPool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

const QString unknownChatName = QStringLiteral("unknown-chat");
// The longest file name most file systems take, in bytes of UTF-8.
constexpr qsizetype maxFileNameBytes = 255;
// HTML pages go to the file threads in groups: enough messages that handing a group over costs
// little beside writing it, and few enough files, each held open until written.
constexpr qsizetype pageGroupMessages = 1000;
constexpr qsizetype pageGroupFiles = 32;

const QString& chatIdentifier(const _MsgMessage& message)
{
    static const QString none;
    return message.chat ? message.chat->chat_identifier : none;
}

bool sameConversation(const _MsgMessage& a, const _MsgMessage& b)
{
    return a.chat == b.chat || QString::compare(chatIdentifier(a), chatIdentifier(b), Qt::CaseInsensitive) == 0;
}

// Line breaks, tabs and the other control characters: a name holding one is hard to type, to show
// and to use in a script.
bool isControlCharacter(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

bool hasControlCharacter(const QString& name)
{
    return std::any_of(name.cbegin(), name.cend(), isControlCharacter);
}

// The longest start of the name that takes at most `bytes` bytes in UTF-8, cut between two
// characters as a reader sees them (an emoji with its modifiers, a flag, a letter with its marks).
QString cutToUtf8Bytes(const QString& name, qsizetype bytes)
{
    // Three bytes at most per UTF-16 unit: no need to count for most names.
    if (name.size() * 3 <= bytes || name.toUtf8().size() <= bytes)
        return name;
    qsizetype cut = 0;
    qsizetype used = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    for (qsizetype next = graphemes.toNextBoundary(); next > 0; next = graphemes.toNextBoundary()) {
        used += QStringView(name).sliced(cut, next - cut).toUtf8().size();
        if (used > bytes)
            break;
        cut = next;
    }
    // One cluster longer than the whole room (a letter under hundreds of marks) is cut between code
    // points instead, which never parts a surrogate pair either.
    if (cut == 0) {
        used = 0;
        for (const uint codePoint : name.toUcs4()) {
            const qsizetype units = QChar::requiresSurrogates(codePoint) ? 2 : 1;
            used += QStringView(name).sliced(cut, units).toUtf8().size();
            if (used > bytes)
                break;
            cut += units;
        }
    }
    return name.left(cut);
}

// "can not write PATH: REASON." for a failure of a writer writing finalPath under stagedPath.
std::runtime_error writerFailure(const QString& finalPath, const QString& stagedPath, const std::exception& error)
{
    QString reason = QString::fromUtf8(error.what());
    // Qt's own text when it has lost the system's reason. A device is not probed: what the
    // probe writes would reach whatever reads from it.
    if ((reason.isEmpty() || reason == QLatin1String("Unknown error")) && stagedPath != finalPath)
        reason = writeFailureReason(stagedPath);
    return exportWriteError(finalPath, reason);
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
            result += isControlCharacter(c) ? QLatin1Char(' ') : c;
        }
    }
    return result.trimmed();
}

bool isValidExportPath(const QString& path)
{
    const QFileInfo target(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (hasControlCharacter(target.fileName()))
        return false;
    for (QFileInfo folder(target.absolutePath()); !folder.exists() && !folder.isRoot();
         folder = QFileInfo(folder.absolutePath())) {
        if (hasControlCharacter(folder.fileName()))
            return false;
    }
    return true;
}

ExportSMSThread::ExportSMSThread(const QList<_MsgMessage*>& messages, const QString& path, unsigned formatCode,
    bool ascending, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_messages(messages)
    , m_path(path)
    , m_format(formatCode)
    , m_ascending(ascending)
    , m_fileThreads(FileRenderPool::defaultThreads())
{
}

ExportSMSThread::~ExportSMSThread() = default;

QString ExportSMSThread::work()
{
    reportStatus(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1);
    if (!isValidExportPath(m_path))
        throw std::runtime_error(
            QCoreApplication::translate("LocalDbSelForm", "IDS_INVALID_LOCALDB_NAME").toUtf8().toStdString());
    m_formatRow = &exportFormatByCode(m_format);
    if (m_formatRow->folder) {
        m_staging.makeFolder(m_path);
        sortByConversation(m_messages, m_ascending);
    }
    if (m_format == Pdf) {
        m_pageInfo.exportedAt = QDateTime::currentDateTime();
        if (m_pageInfo.evidence && !m_pageInfo.source.file.isEmpty())
            m_pageInfo.sourceSha256 = sha256OfFile(m_pageInfo.source.file);
        for (const ExportSource& part : m_pageInfo.source.parts)
            m_pageInfo.partSha256 << (m_pageInfo.evidence && !part.file.isEmpty() ? sha256OfFile(part.file)
                                                                                  : QString());
    }
    if ((m_format == Pdf || (m_format == Html && hasSeveralConversations())) && m_fileThreads > 0)
        m_renderPool = std::make_unique<FileRenderPool>(m_fileThreads, &progress()->cancelled);

    m_total = m_messages.size();
    m_progressFormat = tr("Messages: %1/%2");
    const QString& progressFormat = m_progressFormat;
    try {
        writeMessages();
    } catch (const std::exception&) {
        // A file that failed on a render thread came before the one this thread was at: its failure
        // is the one to report, as it is when the files are written one after the other.
        if (m_renderPool) {
            submitPendingFiles();
            m_renderPool->finish([this] { checkCancelled(); });
        }
        throw;
    }
    if (m_renderPool) {
        m_renderPool->finish([this] {
            checkCancelled();
            reportRenderProgress();
        });
        reportProgress(m_total, m_total, progressFormat);
    }
    if (m_format == Html && !m_htmlConversations.isEmpty()) {
        m_writerPath = QDir(m_path).filePath(QStringLiteral("index.html"));
        m_stagedPath
            = m_staging.stageFile(m_writerPath, ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse);
        runWriterStep([&] { writeHtmlIndex(m_stagedPath, m_htmlConversations); });
    }
    // The last moment to cancel: from here on the files take their final names.
    checkCancelled();
    m_staging.commit();
    return tr("IDS_SUC_EXPORT_%1_MMS").arg(m_total);
}

void ExportSMSThread::writeMessages()
{
    qsizetype done = 0;
    for (m_position = 0; m_position < m_total; ++m_position) {
        const _MsgMessage* message = m_messages.at(m_position);
        checkCancelled();
        if (m_renderPool)
            reportRenderProgress();
        else
            reportProgress(++done, m_total, m_progressFormat);
        openWriterFor(*message);
        // With render threads the file is filled there once its conversation is complete; the
        // files a page shows are placed here, in the order the pages refer to them.
        if (!m_renderPool)
            runWriterStep([&] { m_writer->write(*message); });
        else if (m_placedAhead && !message->attachments.isEmpty())
            for (const _MsgAttachment* attachment : orderedAttachments(*message))
                m_placedAhead->insert(attachment, m_htmlFiles->placeAttachment(*attachment));
    }
    if (m_writer)
        endWriter();
    m_writer.reset();
    if (m_renderPool)
        submitPendingFiles();
}

bool ExportSMSThread::hasSeveralConversations() const
{
    // The messages come grouped by conversation.
    return m_messages.size() > 1 && !sameConversation(*m_messages.first(), *m_messages.last());
}

void ExportSMSThread::abandon()
{
    // The render threads let go of their files before the files are removed.
    if (m_renderPool)
        m_renderPool->stop();
    // Releasing the writers closes their files before the files are removed.
    m_pendingFiles.clear();
    m_writer.reset();
    m_staging.discard();
}

void ExportSMSThread::openWriterFor(const _MsgMessage& message)
{
    if (!m_formatRow->folder) {
        if (!m_writer)
            openWriter(m_path);
    } else if (!m_writer || !sameConversation(*m_conversationStart, message)) {
        openConversationFile(message);
    }
}

void ExportSMSThread::openWriter(const QString& finalPath)
{
    m_writerPath = finalPath;
    // An HTML page is written through the file its creation opened: a page costs one open.
    std::shared_ptr<QFile> opened = m_format == Html ? std::make_shared<QFile>() : nullptr;
    // A device or pipe is written to only where the person named it: the one-file formats.
    m_stagedPath = m_staging.stageFile(finalPath, ExportStaging::Existing::Replace,
        m_formatRow->folder ? ExportStaging::Devices::Refuse : ExportStaging::Devices::WriteDirectly, opened.get());
    ExportWriterInput input { m_stagedPath, m_pageInfo, {}, {}, std::move(opened) };
    if (m_formatRow->folder)
        input.conversation = htmlConversation(*m_conversationStart, QFileInfo(finalPath).fileName());
    if (m_format == Html) {
        m_htmlConversations.append(input.conversation);
        if (m_renderPool) {
            const auto placed = std::make_shared<PlacedAttachments>();
            m_placedAhead = placed;
            input.placeAttachment = [placed](const _MsgAttachment& attachment) { return placed->value(&attachment); };
        } else {
            input.placeAttachment
                = [this](const _MsgAttachment& attachment) { return m_htmlFiles->placeAttachment(attachment); };
        }
    }
    m_writer = m_formatRow->makeWriter(input);
    runWriterStep([&] { m_writer->begin(); });
}

template <typename Step> void ExportSMSThread::runWriterStep(const Step& step)
{
    try {
        step();
    } catch (const std::exception& error) {
        throw writerFailure(m_writerPath, m_stagedPath, error);
    }
}

void ExportSMSThread::endWriter()
{
    if (!m_renderPool) {
        runWriterStep([&] { m_writer->end(); });
        return;
    }
    // A PDF message counts twice on the render threads, laid out and drawn; an HTML one once, written.
    FileRenderPool* pool = m_renderPool.get();
    if (m_format == Pdf)
        std::static_pointer_cast<ExportSMSPdf>(m_writer)->setStep([pool] { pool->step(); });
    const qsizetype count = m_position - m_conversationFirst;
    m_pendingFiles.push_back({ m_writer, m_messages.mid(m_conversationFirst, count), m_writerPath, m_stagedPath });
    m_pendingMessages += count;
    // A PDF file is work enough on its own.
    if (m_format == Pdf || m_pendingMessages >= pageGroupMessages || qsizetype(m_pendingFiles.size()) >= pageGroupFiles)
        submitPendingFiles();
}

void ExportSMSThread::submitPendingFiles()
{
    if (m_pendingFiles.empty())
        return;
    FileRenderPool* pool = m_renderPool.get();
    const bool stepPerWrite = m_format != Pdf;
    // The job owns its writers, their files and their lists of messages; the records are only read.
    m_renderPool->submit(
        [pool, stepPerWrite, files = std::exchange(m_pendingFiles, {})] {
            for (const PendingFile& file : files) {
                try {
                    for (const _MsgMessage* message : file.messages) {
                        file.writer->write(*message);
                        if (stepPerWrite)
                            pool->step();
                    }
                    file.writer->end();
                } catch (const std::exception& error) {
                    throw writerFailure(file.finalPath, file.stagedPath, error);
                }
            }
        },
        [this] {
            checkCancelled();
            reportRenderProgress();
        });
    m_pendingMessages = 0;
}

void ExportSMSThread::reportRenderProgress()
{
    reportProgress(m_renderPool->stepsDone() / (m_format == Pdf ? 2 : 1), m_total, m_progressFormat);
}

void ExportSMSThread::openConversationFile(const _MsgMessage& message)
{
    if (m_writer)
        endWriter();
    const bool firstFile = !m_writer;
    m_writer.reset();
    m_conversationStart = &message;
    m_conversationFirst = m_position;
    if (m_format == Html && firstFile) {
        m_htmlFiles = std::make_unique<HtmlExportFiles>(m_staging, m_path);
        m_htmlFiles->prepareFolders();
    }
    openWriter(QDir(m_path).filePath(conversationFileName(message)));
}

QString ExportSMSThread::conversationFileName(const _MsgMessage& message)
{
    // The index page keeps its name whatever the conversations are called.
    if (m_format == Html && m_usedNames.isEmpty())
        m_usedNames.insert(QStringLiteral("index.html"));
    QString base;
    if (message.chat)
        base = safeFileName(
            isGroupChat(*message.chat) ? message.chat->chat_identifier : chatDisplayName(*message.chat, true));
    if (base.isEmpty())
        base = unknownChatName;
    const QString suffix = QLatin1String(m_formatRow->suffix);

    // Two conversations whose names come out the same must not share, and overwrite, one file. A
    // long name is cut so that it still fits with its number and its suffix.
    for (int n = 1;; ++n) {
        const QString tail = n == 1 ? suffix : QStringLiteral(" (%1)%2").arg(n).arg(suffix);
        QString fitted = cutToUtf8Bytes(base, maxFileNameBytes - tail.toUtf8().size()).trimmed();
        if (fitted.isEmpty())
            fitted = unknownChatName;
        const QString name = fitted + tail;
        if (!m_usedNames.contains(name.toLower())) {
            m_usedNames.insert(name.toLower());
            return name;
        }
    }
}

HtmlConversation ExportSMSThread::htmlConversation(const _MsgMessage& message, const QString& fileName) const
{
    HtmlConversation page;
    page.fileName = fileName;
    page.name = message.chat ? chatDisplayNameIsolated(*message.chat, true) : QStringLiteral("Unknown");
    page.chat = message.chat;
    page.firstDate = page.lastDate = message.date;
    for (qsizetype i = m_position; i < m_total && sameConversation(message, *m_messages.at(i)); ++i) {
        ++page.messageCount;
        page.firstDate = std::min(page.firstDate, m_messages.at(i)->date);
        page.lastDate = std::max(page.lastDate, m_messages.at(i)->date);
    }
    return page;
}
