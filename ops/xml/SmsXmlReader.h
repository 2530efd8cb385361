// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ops/xml/CharacterReferenceFilter.h"
#include "ops/xml/SmsXmlRecord.h"

#include <QFile>
#include <QXmlStreamReader>

// Reads the XML backup format of the common Android backup apps, a root <smses count="N"> holding
// <sms> and <mms> elements, one message at a time: the file is streamed, so memory does not grow
// with its size. Malformed input throws std::runtime_error with a text that names the file's line.
class SmsXmlReader
{
public:
    // Far more than a message of a phone holds; it bounds what one element costs in memory.
    static constexpr qint64 defaultMaxElementBytes = qint64(64) << 20;

    // Opens the file and reads up to its root element; throws when it can not be opened or is no backup.
    // An element larger than maxElementBytes ends the reading with an error.
    explicit SmsXmlReader(const QString& path, qint64 maxElementBytes = defaultMaxElementBytes);

    // Reading ends with an error soon after *stop turns true; it may be set from another thread.
    void setStopFlag(const std::atomic<bool>* stop) { m_filter.setStopFlag(stop); }
    // The <parts> of an <mms> are passed over: a record then holds the addresses, no text or media.
    void setPartsSkipped(bool skipped) { m_partsSkipped = skipped; }

    // The root's count attribute, -1 when it has none.
    qint64 declaredCount() const { return m_declaredCount; }
    // Reads the next message into record; false after the last one.
    bool next(SmsXmlRecord& record);

    qint64 fileSize() const { return m_fileSize; }
    qint64 bytesRead() const { return m_filter.sourceBytesRead(); }

private:
    void readSms(SmsXmlRecord& record);
    void readMms(SmsXmlRecord& record);
    void readParts(SmsXmlRecord& record);
    void readAddresses(SmsXmlRecord& record);
    [[noreturn]] void fail(const QString& what) const;
    [[noreturn]] void failOversized(qint64 line) const;
    void throwIfError() const;

    QString m_path;
    QFile m_file;
    CharacterReferenceFilter m_filter;
    QXmlStreamReader m_xml;
    qint64 m_fileSize = 0;
    qint64 m_declaredCount = -1;
    qint64 m_maxElementBytes;
    bool m_partsSkipped = false;
    bool m_finished = false;
};
