// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QSet>
#include <QTextBrowser>
#include <QUrl>

struct _MsgMessage;
class QTextDocument;
class QTimer;
class ThumbnailCache;

// The conversation view: the current message list as a transcript, received messages on the left
// half and sent ones on the right, one page of 50 messages at a time with links to the neighbouring
// pages. Positions in the list are the rows of the message list above it. Attachments whose files
// are at hand are shown inside their message: pictures as thumbnails, other files as a named line,
// each opened with the desktop's viewer when clicked.
class SmsBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    static constexpr int pageSize = 50;

    explicit SmsBrowser(QWidget* parent = nullptr);

    // Stores the list (borrowed records) and shows its first page; an empty list empties the view.
    void setMessages(const QList<_MsgMessage*>& messages);
    // Forgets the list and empties the view; the page numbers stay until the next setMessages.
    void clear();
    // Shows the page holding the message at that position and scrolls to it once the page is laid out.
    void showMessage(int row);

    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();

    const QList<_MsgMessage*>& messages() const { return m_messages; }
    int pageCount() const { return m_pageCount; }
    int currentPage() const { return m_currentPage; }

public slots:
    void onAnchorClicked(const QUrl& link);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void renderPage(int page);
    void scrollToEnd();
    QString pageHtml(int page);
    void appendMessageHtml(QString& html, const _MsgMessage& message);
    void appendAttachmentsHtml(QString& html, const _MsgMessage& message, bool afterText);
    void onThumbnailReady(const QString& path);

    QTextDocument* m_document;
    ThumbnailCache* m_thumbnails;
    // Renders the page again once thumbnails it waits for are ready, a few at a time.
    QTimer* m_thumbnailRefresh;
    // The attachment files of the page on show, and its pictures whose thumbnails are not ready yet.
    QSet<QString> m_pageFiles;
    QSet<QString> m_pendingPictures;
    QList<_MsgMessage*> m_messages;
    int m_pageCount = 0;
    int m_currentPage = 0;
};
