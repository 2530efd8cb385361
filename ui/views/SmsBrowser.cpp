// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/SmsBrowser.h"

#include "message/MessageHtml.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/export/pdf/FontCoverage.h"
#include "ui/ShellOpen.h"
#include "ui/StyleSheet.h"
#include "ui/ThumbnailCache.h"

#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace {

const QString documentStyleSheet = QStringLiteral(
    ".t{font-size:13px;padding:5px 10px} .c,.sc{font-size:14px;padding:5px 10px;background-color:#EEEEEE;}"
    ".send{/*background-color:#CEE0EC;*/} .send .t{color:#008040;}.rec{/*background-color:#F5FFE2;*/} "
    ".rec .t{color:#0000FF;}");

// The same page on a dark desktop: the message cells a shade above the view's dark ground, and the
// headers and links in lighter tones of the light page's green and blue, which would be too dark to
// read there. The text itself takes the view's colour from the style sheet.
const QString darkDocumentStyleSheet = QStringLiteral(
    ".t{font-size:13px;padding:5px 10px} .c,.sc{font-size:14px;padding:5px 10px;background-color:#33373C;}"
    ".send .t{color:#6CD49A;} .rec .t{color:#8CB8FF;} a{color:#8CB8FF;}");

const QLatin1String firstPagePath("/first_page");
const QLatin1String previousPagePath("/pre_page");
const QLatin1String nextPagePath("/next_page");
const QLatin1String thumbnailScheme("qsms-thumbnail");
const QLatin1String pendingScheme("qsms-pending");

bool isPicture(const _MsgAttachment& attachment)
{
    return attachment.mime_type.startsWith(QLatin1String("image/"), Qt::CaseInsensitive);
}

// The resource name of a thumbnail: the file's path under a scheme of the view's own.
QString thumbnailUrl(const QString& path)
{
    QUrl url;
    url.setScheme(thumbnailScheme);
    url.setPath(path);
    return QString::fromLatin1(url.toEncoded());
}

QString fileLink(const QString& path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
}

// Shown while the thumbnail is made: a plain square a little apart from the message cell.
QImage pendingPicture(bool dark)
{
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(dark ? QColor(0x4A, 0x4F, 0x55) : QColor(0xDD, 0xDD, 0xDD));
    return image;
}

// The message's text with the tags of the attachments shown beside it left out.
QString textBesideFiles(const _MsgMessage& message)
{
    const bool anyShown = std::any_of(message.attachments.cbegin(), message.attachments.cend(),
        [](const _MsgAttachment& attachment) { return !attachment.sourcePath.isEmpty(); });
    if (!anyShown)
        return withDrawableEmoji(messageDisplayText(message, EmojiText::Characters));
    _MsgMessage untagged = message;
    untagged.attachments.removeIf([](const auto& entry) { return !entry.value().sourcePath.isEmpty(); });
    return withDrawableEmoji(messageDisplayText(untagged, EmojiText::Characters));
}

const QLatin1String lastPagePath("/last_page");

// A message's text as markup, with its web and mail addresses as links. Quotes and angle brackets
// end an address, so that no message can close the attribute it lands in.
QString textWithLinks(const QString& text)
{
    static const QRegularExpression address(
        QStringLiteral("\\b(?:https?://|www\\.|mailto:)[^\\s<>\"']*[^\\s<>\"'.,;:!?)\\]]"),
        QRegularExpression::CaseInsensitiveOption);
    QString html;
    qsizetype done = 0;
    for (auto it = address.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString shown = escapeMessageHtml(match.captured());
        const QString target
            = shown.startsWith(QLatin1String("www."), Qt::CaseInsensitive) ? QLatin1String("http://") + shown : shown;
        html += escapeMessageHtml(text.mid(done, match.capturedStart() - done));
        html += QStringLiteral("<a href=\"%1\">%2</a>").arg(target, shown);
        done = match.capturedEnd();
    }
    return done == 0 ? escapeMessageHtml(text) : html + escapeMessageHtml(text.mid(done));
}

QString anchorName(const _MsgMessage& message)
{
    return QStringLiteral("sms_%1").arg(message.rowid);
}

} // namespace

// One message: a header row (time, direction, correspondent) and a content row, each in the left
// half for a received message and in the right half for a sent one.
void SmsBrowser::appendMessageHtml(QString& html, const _MsgMessage& message)
{
    const bool sent = message.is_from_me != 0;
    const QString emptyHeaderCell = QStringLiteral("<td width=\"50%\" class=\"st\"></td>");
    const QString emptyContentCell = QStringLiteral("<td width=\"50%\" class=\"sc\"></td>");
    const QString when = QLocale::system().toString(messageDateTime(message.date), QLocale::ShortFormat);

    html += QStringLiteral("<a name=\"%1\"></a>").arg(anchorName(message));
    html += QStringLiteral("<table class=\"%1\" width=\"100%\" cellpadding=\"0\" border=\"0\" cellspacing=\"0\">")
                .arg(sent ? QLatin1String("send") : QLatin1String("rec"));
    html += sent ? QStringLiteral("<tr>") + emptyHeaderCell : QStringLiteral("<tr>");
    // Contact names come from the phone and from address books: escaped like the content, so that
    // no name can add markup or links to the page.
    html += QStringLiteral("<td width=\"50%\" class=\"t\">%1<br/>%2 %3</td>")
                .arg(when, sent ? QLatin1String("To:") : QLatin1String("From:"),
                    escapeMessageHtml(messageContactText(message)));
    html += sent ? QStringLiteral("</tr>") : emptyHeaderCell + QStringLiteral("</tr>");
    html += sent ? QStringLiteral("<tr>") + emptyContentCell : QStringLiteral("<tr>");
    // The emoji themselves, and "[EMOJI]" only for one that no installed font can draw.
    if (message.attachments.isEmpty()) {
        html += QStringLiteral("<td width=\"50%\" class=\"c\">%1</td>")
                    .arg(textWithLinks(withDrawableEmoji(messageDisplayText(message, EmojiText::Characters))));
    } else {
        const QString text = textBesideFiles(message);
        html += QStringLiteral("<td width=\"50%\" class=\"c\">") + textWithLinks(text);
        appendAttachmentsHtml(html, message, !text.isEmpty());
        html += QStringLiteral("</td>");
    }
    html += sent ? QStringLiteral("</tr>") : emptyContentCell + QStringLiteral("</tr>");
    html += QStringLiteral("</table>");
}

void SmsBrowser::appendAttachmentsHtml(QString& html, const _MsgMessage& message, bool afterText)
{
    bool lineBefore = afterText;
    for (const _MsgAttachment* attachment : orderedAttachments(message)) {
        const QString& path = attachment->sourcePath;
        if (path.isEmpty())
            continue;
        m_pageFiles.insert(path);
        if (lineBefore)
            html += QStringLiteral("<br/>");
        lineBefore = true;
        html += QStringLiteral("<a href=\"%1\">").arg(fileLink(path));
        QImage thumbnail;
        if (isPicture(*attachment) && !m_thumbnails->hasFailed(path)) {
            thumbnail = m_thumbnails->thumbnail(path);
            if (thumbnail.isNull() && !m_thumbnails->hasFailed(path)) {
                m_pendingPictures.insert(path);
                html += QStringLiteral("<img src=\"%1:\"/></a>").arg(pendingScheme);
                continue;
            }
        }
        if (!thumbnail.isNull()) {
            html += QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\"/></a>")
                        .arg(thumbnailUrl(path))
                        .arg(thumbnail.width())
                        .arg(thumbnail.height());
        } else {
            const QString name = attachment->transfer_name.isEmpty() ? QFileInfo(attachment->filename).fileName()
                                                                     : attachment->transfer_name;
            html += escapeMessageHtml(name.isEmpty() ? QFileInfo(path).fileName() : name) + QStringLiteral("</a>");
        }
    }
}

SmsBrowser::SmsBrowser(QWidget* parent)
    : QTextBrowser(parent)
    , m_document(new QTextDocument(this))
    , m_thumbnails(new ThumbnailCache(this))
    , m_thumbnailRefresh(new QTimer(this))
{
    m_document->setDefaultStyleSheet(documentStyleSheet);
    setDocument(m_document);
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &SmsBrowser::onAnchorClicked);
    connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, &SmsBrowser::onThumbnailReady);
    m_thumbnailRefresh->setSingleShot(true);
    m_thumbnailRefresh->setInterval(50);
    connect(m_thumbnailRefresh, &QTimer::timeout, this, [this] {
        // Rendered again where the reader is: the page keeps its scroll position.
        const int position = verticalScrollBar()->value();
        renderPage(m_currentPage);
        verticalScrollBar()->setValue(position);
    });
}

void SmsBrowser::onThumbnailReady(const QString& path)
{
    if (m_pendingPictures.contains(path) && !m_thumbnailRefresh->isActive())
        m_thumbnailRefresh->start();
}

QVariant SmsBrowser::loadResource(int type, const QUrl& name)
{
    if (type == QTextDocument::ImageResource && name.scheme() == pendingScheme) {
        static const QImage pending[2] = { pendingPicture(false), pendingPicture(true) };
        return pending[desktopPrefersDark() ? 1 : 0];
    }
    if (type == QTextDocument::ImageResource && name.scheme() == thumbnailScheme) {
        // Only files of the page on show; the cache holds what the page was rendered with.
        if (!m_pageFiles.contains(name.path()))
            return QVariant();
        const QImage image = m_thumbnails->thumbnail(name.path());
        return image.isNull() ? QVariant() : QVariant(image);
    }
    return QTextBrowser::loadResource(type, name);
}

void SmsBrowser::setMessages(const QList<_MsgMessage*>& messages)
{
    m_messages = messages;
    if (m_messages.isEmpty()) {
        m_pageCount = 0;
        m_currentPage = 0;
        QTextBrowser::clear();
        return;
    }
    m_pageCount = int((m_messages.size() + pageSize - 1) / pageSize);
    firstPage();
}

void SmsBrowser::clear()
{
    m_messages.clear();
    m_pageFiles.clear();
    m_pendingPictures.clear();
    setUpdatesEnabled(false);
    setText(QString());
    setUpdatesEnabled(true);
}

void SmsBrowser::firstPage()
{
    m_currentPage = 1;
    renderPage(m_currentPage);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::lastPage()
{
    if (m_pageCount < 1)
        return;
    m_currentPage = m_pageCount;
    renderPage(m_currentPage);
    scrollToEnd();
}

void SmsBrowser::scrollToEnd()
{
    moveCursor(QTextCursor::End);
    // The page's tables finish their layout once painted, which can lengthen the page after the move.
    QMetaObject::invokeMethod(
        this, [this] { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }, Qt::QueuedConnection);
}

void SmsBrowser::previousPage()
{
    if (m_currentPage < 2)
        return;
    --m_currentPage;
    renderPage(m_currentPage);
    scrollToEnd();
}

void SmsBrowser::nextPage()
{
    if (m_currentPage >= m_pageCount)
        return;
    ++m_currentPage;
    renderPage(m_currentPage);
    moveCursor(QTextCursor::Start);
}

void SmsBrowser::showMessage(int row)
{
    if (row < 0 || row >= m_messages.size())
        return;
    const int page = row / pageSize + 1;
    if (page != m_currentPage) {
        m_currentPage = page;
        renderPage(page);
    }
    // Queued, so that the scroll runs on the laid-out page rather than on the one being replaced.
    const QString anchor = anchorName(*m_messages.at(row));
    QMetaObject::invokeMethod(
        this, [this, anchor] { scrollToAnchor(anchor); }, Qt::QueuedConnection);
}

void SmsBrowser::onAnchorClicked(const QUrl& link)
{
    const QString scheme = link.scheme().toLower();
    // Only the page's own links are bare paths; an address in a message may end in the same path.
    const QString path = scheme.isEmpty() ? link.path() : QString();
    if (path == firstPagePath)
        firstPage();
    else if (path == previousPagePath)
        previousPage();
    else if (path == nextPagePath)
        nextPage();
    else if (path == lastPagePath)
        lastPage();
    else if (link.isLocalFile() && m_pageFiles.contains(link.toLocalFile()))
        shellOpen(link.toLocalFile());
    else if (link.isLocalFile())
        openFolderInExplorer(link.toLocalFile());
    else if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        shellOpen(link.toString());
}

void SmsBrowser::keyPressEvent(QKeyEvent* event)
{
    // The keys read on from one page into the next: Page Down at the bottom of a page turns to the
    // next, Page Up at its top to the previous; Ctrl+Home and Ctrl+End go to the first and the last
    // message of the whole list.
    const QScrollBar* bar = verticalScrollBar();
    if (event->matches(QKeySequence::MoveToNextPage) && bar->value() >= bar->maximum() && m_currentPage < m_pageCount) {
        nextPage();
    } else if (event->matches(QKeySequence::MoveToPreviousPage) && bar->value() <= bar->minimum()
        && m_currentPage > 1) {
        previousPage();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument) && m_pageCount > 0) {
        firstPage();
    } else if (event->matches(QKeySequence::MoveToEndOfDocument) && m_pageCount > 0) {
        lastPage();
    } else {
        QTextBrowser::keyPressEvent(event);
        return;
    }
    event->accept();
}

void SmsBrowser::renderPage(int page)
{
    if (page <= 0 || page > m_pageCount)
        return;
    const QString html = pageHtml(page);
    // Read on every page, so that a desktop switched between light and dark is followed at the next one.
    m_document->setDefaultStyleSheet(desktopPrefersDark() ? darkDocumentStyleSheet : documentStyleSheet);
    setUpdatesEnabled(false);
    setHtml(html);
    setUpdatesEnabled(true);
}

QString SmsBrowser::pageHtml(int page)
{
    m_pageFiles.clear();
    m_pendingPictures.clear();
    QString html = QStringLiteral("<a name=\"start\"></a>");
    // Where the page lies among all, beside the links to the others.
    const QString pageOf = m_pageCount > 1 ? tr("page %1 of %2").arg(page).arg(m_pageCount) : QString();
    if (page != 1)
        html += QStringLiteral("<p><a href=\"/first_page\">|&lt;First Page</a>&nbsp;&nbsp;"
                               "<a href=\"/pre_page\">&lt;&lt;Previous Page</a>&nbsp;&nbsp;%1</p>")
                    .arg(pageOf);
    else if (!pageOf.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(pageOf);
    const qsizetype first = qsizetype(page - 1) * pageSize;
    const qsizetype end = std::min<qsizetype>(first + pageSize, m_messages.size());
    for (qsizetype i = first; i < end; ++i)
        appendMessageHtml(html, *m_messages.at(i));
    if (page != m_pageCount)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a>&nbsp;&nbsp;"
                               "<a href=\"/last_page\">Last Page&gt;|</a>&nbsp;&nbsp;%1</p>")
                    .arg(pageOf);
    html += QStringLiteral("<a name=\"end\"></a>");
    return html;
}
