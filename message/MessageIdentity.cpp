// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageIdentity.h"

#include "message/MsgCollection.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QtEndian>

#include <algorithm>

namespace {

// The file-name part of a stored attachment path. Both separators count, so that the duplicate
// key does not depend on the platform the message was written on.
QString attachmentFileName(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

// Feeds the UTF-8 bytes of the text to the hash. ASCII, the common case, goes through a buffer on
// the stack in pieces; from the first other character on, the rest is encoded as a whole (it starts
// after an ASCII character, so no surrogate pair is cut).
void addUtf8(QCryptographicHash& hash, QStringView text)
{
    char buffer[256];
    const char16_t* chars = text.utf16();
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = std::min(text.size(), start + qsizetype(sizeof buffer));
        qsizetype i = start;
        for (; i < end && chars[i] < 0x80; ++i)
            buffer[i - start] = static_cast<char>(chars[i]);
        hash.addData(QByteArrayView(buffer, i - start));
        if (i < end) {
            hash.addData(text.mid(i).toUtf8());
            return;
        }
        start = end;
    }
}

// The MD5 digest as 32 hexadecimal digits.
QString hexDigest(const QCryptographicHash& hash, bool upper)
{
    static const char lowerDigits[] = "0123456789abcdef";
    static const char upperDigits[] = "0123456789ABCDEF";
    const char* digits = upper ? upperDigits : lowerDigits;
    const QByteArrayView digest = hash.resultView();
    QString hex(digest.size() * 2, Qt::Uninitialized);
    QChar* out = hex.data();
    for (const char byte : digest) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QLatin1Char(digits[value >> 4]);
        *out++ = QLatin1Char(digits[value & 0x0f]);
    }
    return hex;
}

} // namespace

QString logicHash(const _MsgMessage& message)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (message.item_type != 0) {
        addUtf8(hash, message.guid);
        return hexDigest(hash, false);
    }

    if (message.handle)
        addUtf8(hash, message.handle->id);
    char date[4];
    qToLittleEndian<qint32>(message.date, date);
    hash.addData(QByteArrayView(date, 4));
    const char fromMe = static_cast<char>(message.is_from_me & 0xff);
    hash.addData(QByteArrayView(&fromMe, 1));
    if (message.text.contains(QChar(0xFFFC))) {
        QString text = message.text;
        text.remove(QChar(0xFFFC));
        addUtf8(hash, text);
    } else {
        addUtf8(hash, message.text);
    }

    if (!message.attachments.isEmpty()) {
        QStringList names;
        for (const _MsgAttachment& attachment : message.attachments) {
            if (!attachment.filename.isEmpty())
                names.append(attachmentFileName(attachment.filename).toLower());
        }
        std::sort(names.begin(), names.end());
        for (const QString& name : std::as_const(names))
            hash.addData(name.toUtf8());
    }
    return hexDigest(hash, false);
}

QString guidFromBytes(const QByteArray& bytes)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(bytes);
    const QString hex = hexDigest(hash, true);
    QString guid(36, Qt::Uninitialized);
    QChar* out = guid.data();
    for (qsizetype i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20)
            *out++ = QLatin1Char('-');
        *out++ = hex.at(i);
    }
    return guid;
}
