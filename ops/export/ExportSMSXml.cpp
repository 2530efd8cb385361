// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportSMSXml.h"

#include "message/MessageText.h"
#include "ops/xml/SmsXmlRecord.h"

#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr qsizetype flushSize = 1 << 20;
// The count is not known before the end: the root leaves room for it, padded with blanks inside the tag.
constexpr int countFieldWidth = 32;

bool isXmlChar(char32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

QByteArray countField(qint64 count)
{
    QByteArray field = "count=\"" + QByteArray::number(count) + '"';
    return field.leftJustified(countFieldWidth, ' ');
}

// "Mar 5, 2014 10:15:30 PM", the readable date the backup apps write beside the milliseconds.
QString readableDate(ShortDateTimeText& times, int date)
{
    static const char* const months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    QDate day;
    QTime time;
    times.localDayAndTime(date, day, time);
    if (!day.isValid())
        return QString();
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1 %2, %3 %4:%5:%6 %7")
        .arg(QLatin1String(months[day.month() - 1]))
        .arg(day.day())
        .arg(day.year())
        .arg(hour12)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(time.hour() < 12 ? "AM" : "PM"));
}

bool hasFile(const _MsgAttachment& attachment)
{
    return !attachment.sourcePath.isEmpty() && QFileInfo(attachment.sourcePath).isFile();
}

qint64 javaTime(int date)
{
    return (qint64(date) + messageDateOffset) * 1000;
}

int storedBox(const _MsgMessage& message)
{
    return SmsXmlRecord::boxOfStored(message.is_from_me, message.is_sent, message.error);
}

// A message's text and attachments in the order the text places them: each U+FFFC stands for the next
// attachment, and the line break that joined it to its neighbouring text is dropped, so that the
// reader, which joins the parts with line breaks again, rebuilds the same text. Attachments without
// a place in the text follow at the end.
struct MessagePiece
{
    QString text;
    const _MsgAttachment* attachment = nullptr;
};

QList<MessagePiece> messagePieces(const _MsgMessage& message)
{
    const QList<const _MsgAttachment*> attachments = orderedAttachments(message);
    const QStringList segments = message.text.split(QChar(0xFFFC));
    QList<MessagePiece> pieces;
    qsizetype next = 0;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        QString segment = segments.at(i);
        if (i > 0 && segment.startsWith(QLatin1Char('\n')))
            segment.remove(0, 1);
        if (i + 1 < segments.size() && segment.endsWith(QLatin1Char('\n')))
            segment.chop(1);
        if (!segment.isEmpty())
            pieces.append(MessagePiece { segment, nullptr });
        if (i + 1 < segments.size() && next < attachments.size())
            pieces.append(MessagePiece { QString(), attachments.at(next++) });
    }
    while (next < attachments.size())
        pieces.append(MessagePiece { QString(), attachments.at(next++) });
    return pieces;
}

// The text alone, its pieces joined as the reader joins text parts.
QString piecesText(const QList<MessagePiece>& pieces)
{
    QStringList texts;
    for (const MessagePiece& piece : pieces) {
        if (!piece.attachment)
            texts.append(piece.text);
    }
    return texts.join(QLatin1Char('\n'));
}

QString contactNames(const _MsgChat& chat)
{
    QStringList names;
    for (const _MsgHandle* handle : orderedHandles(chat))
        names.append(handle->_ct_name.isEmpty() ? handle->id : handle->_ct_name);
    return names.join(QLatin1String(", "));
}

} // namespace

ExportSMSXml::ExportSMSXml(const QString& path)
    : m_file(path)
    , m_times(QLocale::c())
{
}

void ExportSMSXml::appendAttributeValue(QByteArray& out, QStringView text)
{
    out.append('"');
    qsizetype plainStart = 0;
    const auto flushPlain = [&](qsizetype end) {
        if (end > plainStart)
            out.append(text.mid(plainStart, end - plainStart).toUtf8());
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char* escaped = nullptr;
        switch (c) {
        case '&':
            escaped = "&amp;";
            break;
        case '<':
            escaped = "&lt;";
            break;
        case '>':
            escaped = "&gt;";
            break;
        case '"':
            escaped = "&quot;";
            break;
        case '\n':
            escaped = "&#10;";
            break;
        case '\r':
            escaped = "&#13;";
            break;
        case '\t':
            escaped = "&#9;";
            break;
        default:
            break;
        }
        if (escaped) {
            flushPlain(i);
            out.append(escaped);
            plainStart = i + 1;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c) || !isXmlChar(c)) {
            flushPlain(i);
            out.append("\xEF\xBF\xBD");
            plainStart = i + 1;
        }
    }
    flushPlain(text.size());
    out.append('"');
}

void ExportSMSXml::begin()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(m_file.errorString().toUtf8().toStdString());
    m_count = 0;
    m_buffer.clear();
    m_buffer.reserve(flushSize + 64 * 1024);
    m_buffer.append("<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses ");
    m_countOffset = m_buffer.size();
    m_buffer.append(countField(0));
    m_buffer.append(">\n");
}

void ExportSMSXml::write(const _MsgMessage& message)
{
    // Conversation events (a participant added, a name given) are no messages a phone could hold.
    if (message.item_type != 0)
        return;
    // An <sms> holds text only: a message with media at hand goes as <mms> in any conversation.
    const bool hasMedia = std::any_of(message.attachments.cbegin(), message.attachments.cend(),
        [](const _MsgAttachment& attachment) { return hasFile(attachment); });
    if (message.chat && (isGroupChat(*message.chat) || hasMedia))
        writeMms(message);
    else
        writeSms(message);
    ++m_count;
    flushBuffer(false);
}

void ExportSMSXml::end()
{
    m_buffer.append("</smses>\n");
    flushBuffer(true);
    const bool counted = m_file.seek(m_countOffset) && m_file.write(countField(m_count)) == countFieldWidth;
    const bool written = counted && m_file.flush() && m_file.error() == QFileDevice::NoError;
    const QString error = m_file.errorString();
    m_file.close();
    if (!written)
        throw std::runtime_error(error.toUtf8().toStdString());
}

void ExportSMSXml::writeSms(const _MsgMessage& message)
{
    const _MsgHandle* correspondent = message.handle;
    if (!correspondent && message.chat && !message.chat->handles.isEmpty())
        correspondent = message.chat->handles.first();
    QString address = correspondent ? correspondent->id : QString();
    if (address.isEmpty() && message.chat)
        address = message.chat->chat_identifier;

    m_buffer.append("  <sms protocol=\"0\"");
    appendAttribute("address", address);
    appendAttribute("date", javaTime(message.date));
    appendAttribute("type", storedBox(message));
    if (message.subject.isEmpty())
        m_buffer.append(" subject=\"null\"");
    else
        appendAttribute("subject", message.subject);
    appendAttribute("body", piecesText(messagePieces(message)));
    m_buffer.append(" toa=\"null\" sc_toa=\"null\"");
    const QString& serviceCenter = message.extras().service_center;
    if (serviceCenter.isEmpty())
        m_buffer.append(" service_center=\"null\"");
    else
        appendAttribute("service_center", serviceCenter);
    appendAttribute("read", message.is_read ? 1 : 0);
    m_buffer.append(" status=\"-1\" locked=\"0\"");
    appendCommonDates(message);
    appendAttribute("contact_name",
        correspondent && !correspondent->_ct_name.isEmpty() ? correspondent->_ct_name : QStringLiteral("(Unknown)"));
    m_buffer.append(" />\n");
}

void ExportSMSXml::writeMms(const _MsgMessage& message)
{
    const _MsgChat& chat = *message.chat;
    const QList<const _MsgHandle*> participants = orderedHandles(chat);
    QStringList addresses;
    for (const _MsgHandle* handle : participants)
        addresses.append(handle->id);

    QList<MessagePiece> pieces = messagePieces(message);
    // An attachment whose file is not at hand leaves no part.
    pieces.removeIf([](const MessagePiece& piece) { return piece.attachment && !hasFile(*piece.attachment); });
    const bool withMedia
        = std::any_of(pieces.cbegin(), pieces.cend(), [](const MessagePiece& piece) { return piece.attachment; });
    if (!withMedia)
        pieces = { MessagePiece { piecesText(pieces), nullptr } };
    const bool sent = message.is_from_me != 0;

    m_buffer.append("  <mms");
    appendAttribute("date", javaTime(message.date));
    m_buffer.append(" ct_t=\"application/vnd.wap.multipart.related\"");
    // A message box has no "queued": such a message waits in the outbox.
    const int box = storedBox(message);
    appendAttribute("msg_box", box == 6 ? 4 : box);
    appendAttribute("address", addresses.join(QLatin1Char('~')));
    if (message.subject.isEmpty())
        m_buffer.append(" sub=\"null\"");
    else
        appendAttribute("sub", message.subject);
    appendAttribute("read", message.is_read ? 1 : 0);
    m_buffer.append(" seen=\"1\" locked=\"0\" sub_id=\"-1\" m_cls=\"personal\" pri=\"129\" v=\"18\"");
    appendAttribute("m_type", sent ? 128 : 132);
    appendAttribute("text_only", withMedia ? 0 : 1);
    // The apps write an <mms> date_sent in seconds, as the phone keeps it, and its date in milliseconds.
    appendAttribute("date_sent", sent ? 0 : javaTime(message.date) / 1000);
    appendAttribute("readable_date", readableDate(m_times, message.date));
    appendAttribute("contact_name", contactNames(chat));
    m_buffer.append(">\n    <parts>\n");

    int seq = 0;
    for (const MessagePiece& piece : std::as_const(pieces)) {
        if (!piece.attachment) {
            const QString name = QStringLiteral("text_%1").arg(seq);
            m_buffer.append("      <part");
            appendAttribute("seq", seq++);
            m_buffer.append(" ct=\"text/plain\" name=\"null\" chset=\"106\" cd=\"null\" fn=\"null\"");
            appendAttribute("cid", QLatin1Char('<') + name + QLatin1Char('>'));
            appendAttribute("cl", name + QLatin1String(".txt"));
            m_buffer.append(" ctt_s=\"null\" ctt_t=\"null\"");
            appendAttribute("text", piece.text);
            m_buffer.append(" />\n");
            continue;
        }
        const _MsgAttachment* attachment = piece.attachment;
        QFile file(attachment->sourcePath);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString name = attachment->transfer_name.isEmpty() ? QFileInfo(attachment->filename).fileName()
                                                                 : attachment->transfer_name;
        m_buffer.append("      <part");
        appendAttribute("seq", seq++);
        appendAttribute(
            "ct", attachment->mime_type.isEmpty() ? QStringLiteral("application/octet-stream") : attachment->mime_type);
        appendAttribute("name", name);
        m_buffer.append(" chset=\"null\" cd=\"null\"");
        appendAttribute("fn", name);
        appendAttribute("cid", QLatin1Char('<') + name + QLatin1Char('>'));
        appendAttribute("cl", name);
        m_buffer.append(" ctt_s=\"null\" ctt_t=\"null\" text=\"null\" data=\"");
        m_buffer.append(file.readAll().toBase64());
        m_buffer.append("\" />\n");
        flushBuffer(false);
    }
    m_buffer.append("    </parts>\n    <addrs>\n");

    // The sender is type 137, every other participant a recipient (151); the phone's own number is
    // not known here, the apps fill it in for a sent message.
    const QString sender
        = sent ? QStringLiteral("insert-address-token") : (message.handle ? message.handle->id : QString());
    if (!sender.isEmpty()) {
        m_buffer.append("      <addr");
        appendAttribute("address", sender);
        m_buffer.append(" type=\"137\" charset=\"106\" />\n");
    }
    for (const QString& address : std::as_const(addresses)) {
        if (address == sender)
            continue;
        m_buffer.append("      <addr");
        appendAttribute("address", address);
        m_buffer.append(" type=\"151\" charset=\"106\" />\n");
    }
    m_buffer.append("    </addrs>\n  </mms>\n");
}

void ExportSMSXml::appendAttribute(const char* name, QStringView value)
{
    m_buffer.append(' ');
    m_buffer.append(name);
    m_buffer.append('=');
    appendAttributeValue(m_buffer, value);
}

void ExportSMSXml::appendAttribute(const char* name, qint64 value)
{
    m_buffer.append(' ');
    m_buffer.append(name);
    m_buffer.append("=\"");
    m_buffer.append(QByteArray::number(value));
    m_buffer.append('"');
}

void ExportSMSXml::appendCommonDates(const _MsgMessage& message)
{
    appendAttribute("date_sent", message.is_from_me ? 0 : javaTime(message.date));
    appendAttribute("readable_date", readableDate(m_times, message.date));
}

void ExportSMSXml::flushBuffer(bool always)
{
    if (m_buffer.isEmpty() || (!always && m_buffer.size() < flushSize))
        return;
    if (m_file.write(m_buffer) != m_buffer.size())
        throw std::runtime_error(m_file.errorString().toUtf8().toStdString());
    m_buffer.resize(0);
}
