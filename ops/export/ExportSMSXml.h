// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message/MsgCollection.h"
#include "ops/export/ShortDateTimeText.h"
#include "store/AbsFormatExport.h"

#include <QByteArray>
#include <QFile>

// Messages as the XML backup of the common Android backup apps, which restore it to a phone: a root
// <smses count="N">, a message of a one-to-one conversation as <sms>, one of a group conversation
// as <mms> with its text part and its participants in <addrs>. Attachments whose files are at hand
// go along as base64 media parts of an <mms>; conversation events are left out.
class ExportSMSXml : public AbsFormatExport<_MsgMessage>
{
public:
    explicit ExportSMSXml(const QString& path);

    void begin() override;
    void write(const _MsgMessage& message) override;
    // Writes the closing tag and puts the number of messages written into the root's count.
    void end() override;

    // The text as an XML attribute value between double quotes, in UTF-8. Characters XML does not
    // allow become U+FFFD; line breaks and tabs are written as references so that readers keep them.
    static void appendAttributeValue(QByteArray& out, QStringView text);

private:
    void writeSms(const _MsgMessage& message);
    void writeMms(const _MsgMessage& message);
    void appendAttribute(const char* name, QStringView value);
    void appendAttribute(const char* name, qint64 value);
    void appendCommonDates(const _MsgMessage& message);
    void flushBuffer(bool always);

    QFile m_file;
    QByteArray m_buffer;
    qint64 m_countOffset = 0;
    qint64 m_count = 0;
    ShortDateTimeText m_times;
};
