// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/phonesim/PhoneProviders.h"

#include <QHash>
#include <QSet>

#include <memory>

namespace {

const QString illegalArgument = QStringLiteral("java.lang.IllegalArgumentException");
const QString fileNotFound = QStringLiteral("java.io.FileNotFoundException");
const QString creator = QStringLiteral("com.google.android.apps.messaging");
// Android's character set number for UTF-8.
constexpr qint64 utf8Charset = 106;

enum SmsColumn {
    SmsId,
    SmsThreadId,
    SmsAddress,
    SmsPerson,
    SmsDate,
    SmsDateSent,
    SmsProtocol,
    SmsRead,
    SmsStatus,
    SmsType,
    SmsReplyPathPresent,
    SmsSubject,
    SmsBody,
    SmsServiceCenter,
    SmsLocked,
    SmsSubId,
    SmsErrorCode,
    SmsCreator,
    SmsSeen
};
const QStringList smsColumns = { QStringLiteral("_id"), QStringLiteral("thread_id"), QStringLiteral("address"),
    QStringLiteral("person"), QStringLiteral("date"), QStringLiteral("date_sent"), QStringLiteral("protocol"),
    QStringLiteral("read"), QStringLiteral("status"), QStringLiteral("type"), QStringLiteral("reply_path_present"),
    QStringLiteral("subject"), QStringLiteral("body"), QStringLiteral("service_center"), QStringLiteral("locked"),
    QStringLiteral("sub_id"), QStringLiteral("error_code"), QStringLiteral("creator"), QStringLiteral("seen") };

enum MmsColumn {
    MmsId,
    MmsThreadId,
    MmsDate,
    MmsDateSent,
    MmsBox,
    MmsRead,
    MmsMessageId,
    MmsSubject,
    MmsSubjectCharset,
    MmsContentType,
    MmsContentLocation,
    MmsExpiry,
    MmsClass,
    MmsType,
    MmsVersion,
    MmsSize,
    MmsPriority,
    MmsReadReport,
    MmsTransactionId,
    MmsDeliveryReport,
    MmsLocked,
    MmsSubId,
    MmsSeen,
    MmsCreator,
    MmsTextOnly
};
const QStringList mmsColumns = { QStringLiteral("_id"), QStringLiteral("thread_id"), QStringLiteral("date"),
    QStringLiteral("date_sent"), QStringLiteral("msg_box"), QStringLiteral("read"), QStringLiteral("m_id"),
    QStringLiteral("sub"), QStringLiteral("sub_cs"), QStringLiteral("ct_t"), QStringLiteral("ct_l"),
    QStringLiteral("exp"), QStringLiteral("m_cls"), QStringLiteral("m_type"), QStringLiteral("v"),
    QStringLiteral("m_size"), QStringLiteral("pri"), QStringLiteral("rr"), QStringLiteral("tr_id"),
    QStringLiteral("d_rpt"), QStringLiteral("locked"), QStringLiteral("sub_id"), QStringLiteral("seen"),
    QStringLiteral("creator"), QStringLiteral("text_only") };

enum PartColumn {
    PartId,
    PartMessageId,
    PartSeq,
    PartContentType,
    PartName,
    PartCharset,
    PartDisposition,
    PartFileName,
    PartContentId,
    PartContentLocation,
    PartTypeStart,
    PartTypeType,
    PartData,
    PartText
};
const QStringList partColumns = { QStringLiteral("_id"), QStringLiteral("mid"), QStringLiteral("seq"),
    QStringLiteral("ct"), QStringLiteral("name"), QStringLiteral("chset"), QStringLiteral("cd"), QStringLiteral("fn"),
    QStringLiteral("cid"), QStringLiteral("cl"), QStringLiteral("ctt_s"), QStringLiteral("ctt_t"),
    QStringLiteral("_data"), QStringLiteral("text") };

const QStringList addressColumns = { QStringLiteral("_id"), QStringLiteral("msg_id"), QStringLiteral("contact_id"),
    QStringLiteral("address"), QStringLiteral("type"), QStringLiteral("charset") };

const QStringList contactColumns = { QStringLiteral("_id"), QStringLiteral("raw_contact_id"),
    QStringLiteral("contact_id"), QStringLiteral("mimetype"), QStringLiteral("display_name"), QStringLiteral("number"),
    QStringLiteral("normalized_number"), QStringLiteral("type"), QStringLiteral("label"),
    QStringLiteral("is_primary") };

bool isText(const SimPart& part)
{
    return part.data.isEmpty();
}

// The layout part a phone stores first in every multimedia message: one slide per part.
QString smilFor(const SimMessage& message)
{
    QString body;
    for (const SimPart& part : message.parts) {
        const QString element = isText(part) ? QStringLiteral("text") : QStringLiteral("img");
        const QString region = isText(part) ? QStringLiteral("Text") : QStringLiteral("Image");
        body += QStringLiteral("<par dur=\"5000ms\"><%1 src=\"%2\" region=\"%3\"/></par>")
                    .arg(element, part.name.toHtmlEscaped(), region);
    }
    return QStringLiteral("<smil><head><layout><root-layout width=\"320px\" height=\"480px\"/>"
                          "<region id=\"Image\" left=\"0\" top=\"0\" width=\"320px\" height=\"320px\" fit=\"meet\"/>"
                          "<region id=\"Text\" left=\"0\" top=\"320\" width=\"320px\" height=\"160px\" fit=\"meet\"/>"
                          "</layout></head><body>%1</body></smil>")
        .arg(body);
}

qint64 pathId(const QStringList& path, int index)
{
    bool ok = false;
    const qint64 id = path.value(index).toLongLong(&ok);
    return ok ? id : -1;
}

// A table over a list of rows of the provider, each row a value of Row.
template <typename Row, typename Value>
ProviderTable tableOf(QString name, QStringList columns, std::vector<Row> rows, QString defaultSort, Value value)
{
    auto shared = std::make_shared<std::vector<Row>>(std::move(rows));
    ProviderTable table;
    table.name = std::move(name);
    table.columns = std::move(columns);
    table.rowCount = qsizetype(shared->size());
    table.defaultSort = std::move(defaultSort);
    table.value = [shared, value](qsizetype row, int column) { return value((*shared)[std::size_t(row)], column); };
    return table;
}

} // namespace

PhoneProviders::PhoneProviders(QList<SimMessage> messages, QString ownNumber)
    : m_messages(std::move(messages))
    , m_ownNumber(std::move(ownNumber))
{
    QHash<QString, qint64> threads;
    QHash<QString, qint64> contactIds;
    QSet<QPair<QString, QString>> numbers;
    qint64 smsId = 0;
    qint64 mmsId = 0;
    qint64 partId = 0;
    qint64 addressId = 0;
    for (const SimMessage& message : m_messages) {
        const qint64 threadId = threads.value(message.address, threads.size() + 1);
        threads.insert(message.address, threadId);
        if (message.mms) {
            ++mmsId;
            const qint64 firstPart = partId + 1;
            const qint64 firstAddress = addressId + 1;
            partId += 1 + message.parts.size();
            addressId += addresses(message).size();
            if (!inVisibleBox(message))
                continue;
            m_mms.push_back({ &message, mmsId, threadId, firstPart, firstAddress });
            for (int part = -1; part < message.parts.size(); ++part)
                m_parts.push_back({ qsizetype(m_mms.size() - 1), part, firstPart + 1 + part });
        } else {
            ++smsId;
            if (inVisibleBox(message))
                m_sms.push_back({ &message, smsId, threadId });
        }
        if (!message.contactName.isEmpty() && !message.address.contains(QLatin1Char(';'))
            && !numbers.contains({ message.contactName, message.address })) {
            numbers.insert({ message.contactName, message.address });
            const qint64 contactId = contactIds.value(message.contactName, contactIds.size() + 1);
            contactIds.insert(message.contactName, contactId);
            m_contacts.push_back({ message.contactName, message.address, contactId });
        }
    }
}

ProviderTable PhoneProviders::table(const QString& authority, const QStringList& path, const QString& uri) const
{
    if (authority == QLatin1String("sms"))
        return smsTable(path, uri);
    if (authority == QLatin1String("mms"))
        return mmsTable(path, uri);
    if (path == QStringList { QStringLiteral("data"), QStringLiteral("phones") })
        return contactsTable();
    throw ProviderError(illegalArgument, QStringLiteral("Unknown URL ") + uri);
}

ProviderTable PhoneProviders::smsTable(const QStringList& path, const QString& uri) const
{
    static const QStringList boxes = { QString(), QStringLiteral("inbox"), QStringLiteral("sent"),
        QStringLiteral("draft"), QStringLiteral("outbox"), QStringLiteral("failed"), QStringLiteral("queued") };
    const qsizetype box = path.size() == 1 ? boxes.indexOf(path.first()) : -1;
    const qint64 id = path.size() == 1 ? pathId(path, 0) : -1;
    if (!path.isEmpty() && box < 1 && id < 0)
        throw ProviderError(illegalArgument, QStringLiteral("Unknown URL ") + uri);
    std::vector<SmsRow> rows;
    for (const SmsRow& row : m_sms) {
        if ((box < 1 || messageBox(*row.message) == box) && (id < 0 || row.id == id))
            rows.push_back(row);
    }
    return tableOf(QStringLiteral("sms_restricted"), smsColumns, std::move(rows), QStringLiteral("date DESC"),
        [this](const SmsRow& row, int column) { return smsValue(row, column); });
}

ProviderTable PhoneProviders::mmsTable(const QStringList& path, const QString& uri) const
{
    static const QStringList boxes = { QString(), QStringLiteral("inbox"), QStringLiteral("sent"),
        QStringLiteral("drafts"), QStringLiteral("outbox") };
    const auto unknown = [&uri] { return ProviderError(illegalArgument, QStringLiteral("Unknown URL ") + uri); };
    if (path.value(0) == QLatin1String("part")) {
        if (path.size() > 2 || (path.size() == 2 && pathId(path, 1) < 0))
            throw unknown();
        std::vector<qsizetype> rows;
        for (qsizetype i = 0; i < qsizetype(m_parts.size()); ++i) {
            if (path.size() == 1 || m_parts[std::size_t(i)].id == pathId(path, 1))
                rows.push_back(i);
        }
        return partTable(std::move(rows));
    }
    const qint64 id = pathId(path, 0);
    if (path.size() == 2 && id >= 0 && (path.at(1) == QLatin1String("part") || path.at(1) == QLatin1String("addr"))) {
        const auto mms = std::find_if(m_mms.cbegin(), m_mms.cend(), [id](const MmsRow& row) { return row.id == id; });
        const qsizetype index = mms == m_mms.cend() ? -1 : qsizetype(mms - m_mms.cbegin());
        if (path.at(1) == QLatin1String("addr"))
            return addressTable(index);
        std::vector<qsizetype> rows;
        for (qsizetype i = 0; i < qsizetype(m_parts.size()); ++i) {
            if (m_parts[std::size_t(i)].mms == index)
                rows.push_back(i);
        }
        return partTable(std::move(rows));
    }
    const qsizetype box = path.size() == 1 ? boxes.indexOf(path.first()) : -1;
    if (path.size() > 1 || (path.size() == 1 && box < 1 && id < 0))
        throw unknown();
    std::vector<MmsRow> rows;
    for (const MmsRow& row : m_mms) {
        if ((box < 1 || messageBox(*row.message) == box) && (id < 0 || row.id == id))
            rows.push_back(row);
    }
    return tableOf(QStringLiteral("pdu_restricted"), mmsColumns, std::move(rows), QStringLiteral("date DESC"),
        [this](const MmsRow& row, int column) { return mmsValue(row, column); });
}

ProviderTable PhoneProviders::partTable(std::vector<qsizetype> rows) const
{
    return tableOf(QStringLiteral("part"), partColumns, std::move(rows), QString(),
        [this](qsizetype row, int column) { return partValue(m_parts[std::size_t(row)], column); });
}

ProviderTable PhoneProviders::addressTable(qsizetype mms) const
{
    struct AddressRow
    {
        qint64 id;
        qint64 messageId;
        QString address;
        int type;
    };
    std::vector<AddressRow> rows;
    if (mms >= 0) {
        const MmsRow& message = m_mms[std::size_t(mms)];
        qint64 id = message.firstAddressId;
        for (const auto& [address, type] : addresses(*message.message))
            rows.push_back({ id++, message.id, address, type });
    }
    return tableOf(
        QStringLiteral("addr"), addressColumns, std::move(rows), QString(), [](const AddressRow& row, int column) {
            switch (column) {
            case 0:
                return SqlValue::of(row.id);
            case 1:
                return SqlValue::of(row.messageId);
            case 3:
                return SqlValue::of(row.address);
            case 4:
                return SqlValue::of(qint64(row.type));
            case 5:
                return SqlValue::of(utf8Charset);
            default:
                return SqlValue::null();
            }
        });
}

ProviderTable PhoneProviders::contactsTable() const
{
    std::vector<qsizetype> rows(m_contacts.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = qsizetype(i);
    return tableOf(
        QStringLiteral("view_data"), contactColumns, std::move(rows), QString(), [this](qsizetype index, int column) {
            const ContactRow& row = m_contacts[std::size_t(index)];
            switch (column) {
            case 0:
                return SqlValue::of(qint64(index + 1));
            case 1:
            case 2:
                return SqlValue::of(row.contactId);
            case 3:
                return SqlValue::of(QStringLiteral("vnd.android.cursor.item/phone_v2"));
            case 4:
                return SqlValue::of(row.name);
            case 5:
                return SqlValue::of(row.number);
            case 6: {
                if (!row.number.startsWith(QLatin1Char('+')))
                    return SqlValue::null();
                QString normalized = QStringLiteral("+");
                for (const QChar c : row.number) {
                    if (c.isDigit())
                        normalized += c;
                }
                return SqlValue::of(normalized);
            }
            case 7:
                return SqlValue::of(qint64(2));
            case 9:
                return SqlValue::of(qint64(0));
            default:
                return SqlValue::null();
            }
        });
}

SqlValue PhoneProviders::smsValue(const SmsRow& row, int column) const
{
    const SimMessage& m = *row.message;
    const bool received = messageBox(m) == 1;
    switch (column) {
    case SmsId:
        return SqlValue::of(row.id);
    case SmsThreadId:
        return SqlValue::of(row.threadId);
    case SmsAddress:
        return SqlValue::textOrNull(m.address);
    case SmsDate:
        return SqlValue::of(m.timeMs);
    case SmsDateSent:
        // The service centre's time stamp has whole seconds and comes a moment before the message.
        return SqlValue::of(received ? (m.timeMs / 1000 - 2) * 1000 : 0);
    case SmsProtocol:
    case SmsReplyPathPresent:
        return received ? SqlValue::of(qint64(0)) : SqlValue::null();
    case SmsRead:
    case SmsSubId:
    case SmsSeen:
        return SqlValue::of(qint64(1));
    case SmsStatus:
        return SqlValue::of(qint64(-1));
    case SmsType:
        return SqlValue::of(qint64(messageBox(m)));
    case SmsSubject:
        return SqlValue::textOrNull(m.subject);
    case SmsBody:
        return SqlValue::of(m.body);
    case SmsLocked:
    case SmsErrorCode:
        return SqlValue::of(qint64(0));
    case SmsCreator:
        return SqlValue::of(creator);
    default:
        return SqlValue::null();
    }
}

SqlValue PhoneProviders::mmsValue(const MmsRow& row, int column) const
{
    const SimMessage& m = *row.message;
    const bool received = messageBox(m) == 1;
    const QString stamp = QString::number(m.timeMs, 16).toUpper() + QString::number(row.id);
    switch (column) {
    case MmsId:
        return SqlValue::of(row.id);
    case MmsThreadId:
        return SqlValue::of(row.threadId);
    case MmsDate:
        return SqlValue::of(m.timeMs / 1000);
    case MmsDateSent:
        return SqlValue::of(received ? m.timeMs / 1000 - 2 : 0);
    case MmsBox:
        return SqlValue::of(qint64(messageBox(m)));
    case MmsRead:
    case MmsSubId:
    case MmsSeen:
        return SqlValue::of(qint64(1));
    case MmsMessageId:
        return SqlValue::of(stamp);
    case MmsSubject:
        return SqlValue::textOrNull(m.subject);
    case MmsSubjectCharset:
        return m.subject.isEmpty() ? SqlValue::null() : SqlValue::of(utf8Charset);
    case MmsContentType:
        return SqlValue::of(QStringLiteral("application/vnd.wap.multipart.related"));
    case MmsExpiry:
        return received ? SqlValue::of(qint64(604800)) : SqlValue::null();
    case MmsClass:
        return SqlValue::of(QStringLiteral("personal"));
    case MmsType:
        return SqlValue::of(qint64(received ? 132 : 128));
    case MmsVersion:
        return SqlValue::of(qint64(18));
    case MmsSize: {
        qint64 size = 0;
        for (const SimPart& part : m.parts)
            size += isText(part) ? part.text.toUtf8().size() : part.data.size();
        return SqlValue::of(size);
    }
    case MmsPriority:
    case MmsReadReport:
    case MmsDeliveryReport:
        return SqlValue::of(qint64(129));
    case MmsTransactionId:
        return SqlValue::of(QStringLiteral("T") + stamp);
    case MmsLocked:
        return SqlValue::of(qint64(0));
    case MmsCreator:
        return SqlValue::of(creator);
    case MmsTextOnly:
        return SqlValue::of(qint64(std::all_of(m.parts.cbegin(), m.parts.cend(), isText) ? 1 : 0));
    default:
        return SqlValue::null();
    }
}

SqlValue PhoneProviders::partValue(const PartRow& row, int column) const
{
    const MmsRow& mms = m_mms[std::size_t(row.mms)];
    const bool smil = row.part < 0;
    const SimPart* part = smil ? nullptr : &mms.message->parts.at(row.part);
    const bool text = smil || isText(*part);
    const QString location = smil ? QStringLiteral("smil.xml") : part->name;
    switch (column) {
    case PartId:
        return SqlValue::of(row.id);
    case PartMessageId:
        return SqlValue::of(mms.id);
    case PartSeq:
        return SqlValue::of(qint64(smil ? -1 : 0));
    case PartContentType:
        return SqlValue::of(smil ? QStringLiteral("application/smil") : part->contentType);
    case PartName:
        return text ? SqlValue::null() : SqlValue::textOrNull(part->name);
    case PartCharset:
        return text && !smil ? SqlValue::of(utf8Charset) : SqlValue::null();
    case PartContentId:
        return SqlValue::of(QStringLiteral("<%1>").arg(location.section(QLatin1Char('.'), 0, 0)));
    case PartContentLocation:
        return SqlValue::textOrNull(location);
    case PartData:
        if (text)
            return SqlValue::null();
        return SqlValue::of(QStringLiteral("/data/user_de/0/com.android.providers.telephony/app_parts/PART_%1_%2")
                                .arg(mms.message->timeMs + row.id)
                                .arg(part->name));
    case PartText:
        if (smil)
            return SqlValue::of(smilFor(*mms.message));
        return text ? SqlValue::of(part->text) : SqlValue::null();
    default:
        return SqlValue::null();
    }
}

QList<QPair<QString, int>> PhoneProviders::addresses(const SimMessage& message) const
{
    const QStringList members = message.address.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QList<QPair<QString, int>> rows;
    if (messageBox(message) == 1) {
        const QString from = message.sender.isEmpty() ? members.value(0) : message.sender;
        rows.append({ from, 137 });
        rows.append({ m_ownNumber, 151 });
        for (const QString& member : members) {
            if (member != from)
                rows.append({ member, 151 });
        }
    } else {
        rows.append({ QStringLiteral("insert-address-token"), 137 });
        for (const QString& member : members)
            rows.append({ member, 151 });
    }
    return rows;
}

QByteArray PhoneProviders::file(const QString& authority, const QStringList& path, const QString& uri) const
{
    if (authority != QLatin1String("mms"))
        throw ProviderError(fileNotFound, QStringLiteral("No files supported by provider at ") + uri);
    const qint64 id = pathId(path, 1);
    const auto part = std::find_if(m_parts.cbegin(), m_parts.cend(), [id](const PartRow& row) { return row.id == id; });
    if (path.size() != 2 || path.first() != QLatin1String("part") || part == m_parts.cend())
        throw ProviderError(fileNotFound, QStringLiteral("No entry for ") + uri);
    if (part->part < 0 || isText(m_mms[std::size_t(part->mms)].message->parts.at(part->part)))
        throw ProviderError(fileNotFound, QStringLiteral("Column _data not found."));
    return m_mms[std::size_t(part->mms)].message->parts.at(part->part).data;
}
