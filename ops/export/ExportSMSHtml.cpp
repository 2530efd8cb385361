// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSHtml.h"

#include "message/MessageHtml.h"
#include "message/MessageText.h"
#include "ops/export/ShortDateTimeText.h"

#include <QFile>
#include <QUrl>

#include <charconv>
#include <iterator>
#include <stdexcept>

namespace {

const QLatin1String pageStart("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                              "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                              "<html xmlns=\"http://www.w3.org/1999/xhtml\">"
                              "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" />"
                              "<link rel=\"stylesheet\" type=\"text/css\" href=\"files/style.css\" />");

// Dates a reader elsewhere can not mistake, whatever this machine's locale. Each page heads with
// two of them: the local time comes from the per-day offsets the message lines use, not from a
// fresh time-zone lookup each.
QString dateText(int date)
{
    ByteBuffer text;
    appendFixedDateTimeUtf8(text, date);
    return QString::fromLatin1(text.data(), text.size());
}

template <qsizetype size> void appendLiteral(ByteBuffer& out, const char (&text)[size])
{
    out.append(text, size - 1);
}

void appendNumber(ByteBuffer& out, qint64 number)
{
    char* const room = out.room(24);
    out.setEnd(std::to_chars(room, room + 24, number).ptr);
}

void appendUtf8(ByteBuffer& out, QStringView text)
{
    out.setEnd(writeUtf8(out.room(utf8Room(text)), text));
}

void appendMessageHtml(ByteBuffer& out, QStringView text)
{
    out.setEnd(writeMessageHtmlUtf8(out.room(utf8Room(text)), text));
}

void appendHtmlEscaped(ByteBuffer& out, QStringView text)
{
    out.setEnd(writeHtmlEscapedUtf8(out.room(utf8Room(text)), text));
}

QString countText(int count)
{
    return count == 1 ? ExportSMSHtml::tr("1 message") : ExportSMSHtml::tr("%1 messages").arg(count);
}

QString periodText(const HtmlConversation& conversation)
{
    return ExportSMSHtml::tr("%1, %2 to %3")
        .arg(countText(conversation.messageCount), dateText(conversation.firstDate), dateText(conversation.lastDate));
}

bool isPicture(const _MsgAttachment& attachment)
{
    return attachment.mime_type.startsWith(QLatin1String("image/"), Qt::CaseInsensitive);
}

// An address inside an attribute: its characters made safe for a link, then for the attribute.
QString attributeAddress(const QString& relative)
{
    return QString::fromUtf8(QUrl::toPercentEncoding(relative, "/")).toHtmlEscaped();
}

// The text of a message is shown without white space at both ends, its emoji, object replacement
// characters and such handled, all of which lie outside ASCII: a text of ASCII alone is shown as it
// is, trimmed. Appends it escaped and returns true for such a text; false, appending nothing, for
// any other.
bool appendAsciiText(ByteBuffer& out, const QString& text)
{
    const char16_t* begin = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* end = begin + text.size();
    char16_t units = 0;
    for (const char16_t* it = begin; it != end; ++it)
        units |= *it;
    if (units >= 0x80)
        return false;
    const auto isSpace = [](char16_t unit) { return unit == ' ' || (unit >= '\t' && unit <= '\r'); };
    while (begin != end && isSpace(*begin))
        ++begin;
    while (end != begin && isSpace(end[-1]))
        --end;
    appendMessageHtml(out, QStringView(begin, end));
    return true;
}

} // namespace

QStringList htmlSharedFileNames()
{
    return { QStringLiteral("style.css"), QStringLiteral("bubble-received.png"), QStringLiteral("bubble-sent.png") };
}

QByteArray htmlSharedFile(const QString& name)
{
    QFile file(QStringLiteral(":/export/html/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("missing resource " + name.toStdString());
    return file.readAll();
}

ExportSMSHtml::ExportSMSHtml(const QString& path, const HtmlConversation& conversation,
    HtmlAttachmentPlacer placeAttachment, std::shared_ptr<QFile> opened)
    : m_file(path, std::move(opened))
    , m_conversation(conversation)
    , m_placeAttachment(std::move(placeAttachment))
{
}

void ExportSMSHtml::begin()
{
    m_file.open();
    ByteBuffer& out = m_file.bytes();
    out.append(pageStart.data(), pageStart.size());
    QByteArray name;
    appendHtmlEscapedUtf8(name, m_conversation.name);
    appendLiteral(out, "<title>");
    out.append(name);
    appendLiteral(out, "</title></head><body><div class=\"top\"><a class=\"back\" href=\"index.html\">");
    appendUtf8(out, tr("All conversations"));
    appendLiteral(out, "</a><h1 dir=\"auto\">");
    out.append(name);
    appendLiteral(out, "</h1>");
    if (m_conversation.messageCount > 0) {
        appendLiteral(out, "<p>");
        appendHtmlEscaped(out, periodText(m_conversation));
        appendLiteral(out, "</p>");
    }
    appendLiteral(out, "</div><div class=\"chat\">\r\n");
    m_file.bytesAdded();
    // The page's own conversation names its messages: its name is not made a second time.
    if (m_conversation.chat) {
        m_namedChat = m_conversation.chat;
        m_contact = QByteArray("");
        appendMessageHtmlUtf8(m_contact, m_conversation.name);
    }
}

void ExportSMSHtml::write(const _MsgMessage& message)
{
    const bool fromMe = message.is_from_me != 0;
    if (message.chat != m_namedChat || m_contact.isNull()) {
        m_namedChat = message.chat;
        // Not null even when empty: the name is known.
        m_contact = QByteArray("");
        if (message.chat)
            appendMessageHtmlUtf8(m_contact, chatDisplayNameIsolated(*message.chat, true));
    }

    // The line goes straight into the file's buffer as UTF-8: the text of a message is the only
    // part that needs more than copying bytes.
    ByteBuffer& out = m_file.bytes();
    if (fromMe)
        appendLiteral(out, "<div class=\"m send\"><a name=\"sms");
    else
        appendLiteral(out, "<div class=\"m rec\"><a name=\"sms");
    appendNumber(out, message.rowid);
    appendLiteral(out, "\"></a><div class=\"h\">");
    appendShortDateTimeUtf8(out, message.date);
    if (fromMe)
        appendLiteral(out, "<br/>To: ");
    else
        appendLiteral(out, "<br/>From: ");
    out.append(m_contact);
    // A body written right to left reads from the right, with its punctuation where it belongs. The
    // page is read on other machines, whose fonts draw the emoji: the characters themselves.
    appendLiteral(out, "</div><div class=\"b\" dir=\"auto\">");
    if (!message.attachments.isEmpty() && m_placeAttachment)
        appendBodyWithAttachments(out, message);
    else if (message.item_type != 0 || !message.attachments.isEmpty() || !appendAsciiText(out, message.text))
        appendMessageHtml(out, messageDisplayText(message, EmojiText::Characters));
    appendLiteral(out, "</div></div>\r\n");
    m_file.bytesAdded();
}

void ExportSMSHtml::appendBodyWithAttachments(ByteBuffer& out, const _MsgMessage& message)
{
    // An attachment whose file is on the page is shown there; one without keeps its tag in the text.
    QString body = messageBodyText(message, EmojiText::Characters);
    QString shown;
    for (const _MsgAttachment* attachment : orderedAttachments(message)) {
        const QString placed = m_placeAttachment(*attachment);
        if (placed.isEmpty()) {
            body += attachmentTag(attachment->mime_type);
            continue;
        }
        const QString address = attributeAddress(placed);
        const QString name = attachmentFileName(*attachment).toHtmlEscaped();
        if (isPicture(*attachment))
            shown
                += QStringLiteral("<a class=\"pic\" href=\"%1\"><img src=\"%1\" alt=\"%2\" /></a>").arg(address, name);
        else
            shown += QStringLiteral("<a class=\"file\" href=\"%1\">%2</a>").arg(address, name);
    }
    appendMessageHtml(out, body.trimmed());
    appendUtf8(out, shown);
}

void ExportSMSHtml::end()
{
    appendLiteral(m_file.bytes(), "</div></body></html>");
    m_file.close();
}

void writeHtmlIndex(const QString& path, const QList<HtmlConversation>& conversations)
{
    ExportFile file(path);
    file.open();
    QString head = pageStart;
    head += QStringLiteral("<title>%1</title></head><body><div class=\"top\"><h1>%1</h1><p>%2</p></div>")
                .arg(ExportSMSHtml::tr("Conversations"),
                    ExportSMSHtml::tr("%1 conversations").arg(conversations.size()).toHtmlEscaped());
    head += QLatin1String("<table class=\"index\"><tr><th>");
    head += ExportSMSHtml::tr("Conversation");
    head += QLatin1String("</th><th>");
    head += ExportSMSHtml::tr("Messages");
    head += QLatin1String("</th><th>");
    head += ExportSMSHtml::tr("First");
    head += QLatin1String("</th><th>");
    head += ExportSMSHtml::tr("Last");
    head += QLatin1String("</th></tr>");
    head += exportLineEnd;
    ByteBuffer& out = file.bytes();
    appendUtf8(out, head);
    for (const HtmlConversation& conversation : conversations) {
        appendLiteral(out, "<tr><td dir=\"auto\"><a href=\"");
        appendHtmlEscaped(out, QString::fromLatin1(QUrl::toPercentEncoding(conversation.fileName, "/")));
        appendLiteral(out, "\">");
        appendHtmlEscaped(out, conversation.name);
        appendLiteral(out, "</a></td><td class=\"n\">");
        appendNumber(out, conversation.messageCount);
        appendLiteral(out, "</td><td>");
        appendFixedDateTimeUtf8(out, conversation.firstDate);
        appendLiteral(out, "</td><td>");
        appendFixedDateTimeUtf8(out, conversation.lastDate);
        appendLiteral(out, "</td></tr>\r\n");
        file.bytesAdded();
    }
    appendLiteral(out, "</table></body></html>");
    file.close();
}
