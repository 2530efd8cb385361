// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/xml/SmsXmlReader.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The format writes "null" for a field without value.
QString optional(QStringView value)
{
    return value == QLatin1String("null") ? QString() : value.toString();
}

int number(QStringView value, int fallback)
{
    bool ok = false;
    const int result = value.toInt(&ok);
    return ok ? result : fallback;
}

} // namespace

SmsXmlReader::SmsXmlReader(const QString& path, qint64 maxElementBytes)
    : m_path(path)
    , m_file(path)
    , m_filter(&m_file)
    , m_maxElementBytes(maxElementBytes)
{
    m_filter.setMaxBytesWithoutMarkup(maxElementBytes);
    if (!m_file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("can not open %1. %2")
                                     .arg(QDir::toNativeSeparators(path), m_file.errorString())
                                     .toStdString());
    m_fileSize = m_file.size();
    m_xml.setDevice(&m_filter);
    // Nothing in a backup refers to an external entity; none is ever read.
    m_xml.setNamespaceProcessing(false);

    if (!m_xml.readNextStartElement()) {
        throwIfError();
        fail(QStringLiteral("the file holds no XML element"));
    }
    if (m_xml.name() != QLatin1String("smses"))
        fail(QStringLiteral("the root element is <%1>, not <smses>").arg(m_xml.name()));
    bool ok = false;
    const qint64 count = m_xml.attributes().value(QLatin1String("count")).toLongLong(&ok);
    m_declaredCount = ok && count >= 0 ? count : -1;
}

bool SmsXmlReader::next(SmsXmlRecord& record)
{
    if (m_finished)
        return false;
    while (m_xml.readNextStartElement()) {
        record = SmsXmlRecord();
        record.line = m_xml.lineNumber();
        if (m_xml.name() == QLatin1String("sms")) {
            readSms(record);
            return true;
        }
        if (m_xml.name() == QLatin1String("mms")) {
            readMms(record);
            return true;
        }
        m_xml.skipCurrentElement();
    }
    throwIfError();
    // The end of <smses>; whatever follows must still be well-formed.
    while (!m_xml.atEnd())
        m_xml.readNext();
    throwIfError();
    m_finished = true;
    return false;
}

void SmsXmlReader::readSms(SmsXmlRecord& record)
{
    record.kind = SmsXmlRecord::Kind::Sms;
    const QXmlStreamAttributes attributes = m_xml.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QStringView name = attribute.name();
        const QStringView value = attribute.value();
        if (name == QLatin1String("address"))
            record.address = value.toString();
        else if (name == QLatin1String("date"))
            record.date = value.toString();
        else if (name == QLatin1String("type"))
            record.box = number(value, 0);
        else if (name == QLatin1String("body"))
            record.body = value.toString();
        else if (name == QLatin1String("subject"))
            record.subject = optional(value);
        else if (name == QLatin1String("read"))
            record.read = number(value, 1) != 0 ? 1 : 0;
        else if (name == QLatin1String("contact_name"))
            record.contactName = optional(value);
        else if (name == QLatin1String("service_center"))
            record.serviceCenter = optional(value);
    }
    m_xml.skipCurrentElement();
    throwIfError();
}

void SmsXmlReader::readMms(SmsXmlRecord& record)
{
    record.kind = SmsXmlRecord::Kind::Mms;
    const QXmlStreamAttributes attributes = m_xml.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QStringView name = attribute.name();
        const QStringView value = attribute.value();
        if (name == QLatin1String("address"))
            record.address = optional(value);
        else if (name == QLatin1String("date"))
            record.date = value.toString();
        else if (name == QLatin1String("msg_box"))
            record.box = number(value, 0);
        else if (name == QLatin1String("sub"))
            record.subject = optional(value);
        else if (name == QLatin1String("read"))
            record.read = number(value, 1) != 0 ? 1 : 0;
        else if (name == QLatin1String("contact_name"))
            record.contactName = optional(value);
    }
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("parts") && !m_partsSkipped)
            readParts(record);
        else if (m_xml.name() == QLatin1String("addrs"))
            readAddresses(record);
        else
            m_xml.skipCurrentElement();
    }
    throwIfError();
}

void SmsXmlReader::readParts(SmsXmlRecord& record)
{
    qint64 bytes = 0;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() != QLatin1String("part")) {
            m_xml.skipCurrentElement();
            continue;
        }
        SmsXmlRecord::Part part;
        QString location;
        QString fileName;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        for (const QXmlStreamAttribute& attribute : attributes) {
            const QStringView name = attribute.name();
            const QStringView value = attribute.value();
            if (name == QLatin1String("ct"))
                part.contentType = optional(value).toLower();
            else if (name == QLatin1String("name"))
                part.name = optional(value);
            else if (name == QLatin1String("cl"))
                location = optional(value);
            else if (name == QLatin1String("fn"))
                fileName = optional(value);
            else if (name == QLatin1String("text"))
                part.text = optional(value);
            else if (name == QLatin1String("data") && value != QLatin1String("null"))
                part.data = QByteArray::fromBase64(value.toLatin1());
        }
        if (part.name.isEmpty())
            part.name = location.isEmpty() ? fileName : location;
        bytes += part.data.size() + qint64(sizeof(QChar)) * (part.text.size() + part.name.size());
        if (bytes > m_maxElementBytes)
            failOversized(record.line);
        record.parts.append(std::move(part));
        m_xml.skipCurrentElement();
    }
    throwIfError();
}

void SmsXmlReader::readAddresses(SmsXmlRecord& record)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == QLatin1String("addr")) {
            const QXmlStreamAttributes attributes = m_xml.attributes();
            SmsXmlRecord::Address address;
            address.address = optional(attributes.value(QLatin1String("address")));
            address.type = number(attributes.value(QLatin1String("type")), 0);
            record.addresses.append(address);
        }
        m_xml.skipCurrentElement();
    }
    throwIfError();
}

void SmsXmlReader::throwIfError() const
{
    if (m_filter.oversized())
        failOversized(m_xml.lineNumber());
    if (m_filter.stopped())
        throw std::runtime_error("reading the XML backup was stopped.");
    if (m_xml.hasError())
        fail(m_xml.errorString());
}

void SmsXmlReader::failOversized(qint64 line) const
{
    throw std::runtime_error(QStringLiteral("%1 can not be imported: the message at line %2 is larger than %3 MiB.")
                                 .arg(QFileInfo(m_path).fileName())
                                 .arg(line)
                                 .arg(m_maxElementBytes >> 20)
                                 .toStdString());
}

void SmsXmlReader::fail(const QString& what) const
{
    throw std::runtime_error(QStringLiteral("%1 is not a valid XML backup: %2 (line %3, column %4).")
                                 .arg(QFileInfo(m_path).fileName(), what)
                                 .arg(m_xml.lineNumber())
                                 .arg(m_xml.columnNumber())
                                 .toStdString());
}
