// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLoadSMSThread.h"

#include "android/AndroidLog.h"
#include "android/CacheStaging.h"
#include "android/DirectLoader.h"
#include "android/SmsRecord.h"
#include "android/StorePipeline.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"
#include "message/MessageIdentity.h"
#include "message/MessageText.h"
#include "message/RecordDefaults.h"
#include "store/ExportMessagesDb.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QTcpSocket>
#include <QtDebug>

#include <algorithm>
#include <stdexcept>

using namespace channelprotocol;

namespace {

constexpr int channelOpenTimeoutMs = 10000;

// guidFromBytes of the UTF-8 bytes of a logic hash, formatted without intermediate strings: it is
// computed for every loaded message. The hash is hexadecimal ASCII, so its Latin-1 bytes are its UTF-8 bytes.
QString guidOfLogicHash(const QString& hash)
{
    char hashBytes[32];
    const qsizetype length = std::min<qsizetype>(hash.size(), sizeof hashBytes);
    for (qsizetype i = 0; i < length; ++i)
        hashBytes[i] = static_cast<char>(hash.at(i).unicode());
    if (length != hash.size())
        return guidFromBytes(hash.toUtf8());
    const QByteArray digest = QCryptographicHash::hash(QByteArrayView(hashBytes, length), QCryptographicHash::Md5);
    static const char hexDigits[] = "0123456789ABCDEF";
    QString guid(36, Qt::Uninitialized);
    QChar* out = guid.data();
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *out++ = QLatin1Char('-');
        const auto byte = static_cast<unsigned char>(digest.at(i));
        *out++ = QLatin1Char(hexDigits[byte >> 4]);
        *out++ = QLatin1Char(hexDigits[byte & 0x0f]);
    }
    return guid;
}

QString quotedStart(QStringView field)
{
    constexpr qsizetype shown = 40;
    return QLatin1Char('"') + field.left(shown).toString() + QLatin1String(field.size() > shown ? "...\"" : "\"");
}

} // namespace

AndroidLoadSMSThread::AndroidLoadSMSThread(const AndroidDevice& device, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_device(device)
{
}

AndroidLoadSMSThread::~AndroidLoadSMSThread() = default;

QString AndroidLoadSMSThread::stagingFolderPrefix()
{
    return CacheStaging::stagingFolderPrefix();
}

QString AndroidLoadSMSThread::work()
{
    total = -1;
    loaded = 0;
    storedMessages = repeatedMessages = 0;
    incompleteRecords = undatedRecords = 0;
    peakQueuedBytes = 0;
    reportStatus(tr("IDS_ANDROID_LOADING_SMS"), 0);
    load(m_device.cacheDir());
    return QString();
}

void AndroidLoadSMSThread::abandon()
{
    dropLoad();
}

QString AndroidLoadSMSThread::errorText(const std::exception& error) const
{
    const QString text = WorkerThread::errorText(error);
    if (text.isEmpty() && dynamic_cast<const simpleprotocol::RemoteException*>(&error))
        return tr("The phone reported an error without saying what it was.");
    return text;
}

void AndroidLoadSMSThread::answerBye()
{
    try {
        simpleprotocol::writeCommand(m_channel.get(), byeCommand, QString(), true, -1);
    } catch (const std::exception& error) {
        qCWarning(lcAndroid) << "the phone has gone before the closing $bye: was answered; the load is complete."
                             << error.what();
    }
}

void AndroidLoadSMSThread::load(const QDir& cacheFolder)
{
    m_staging = std::make_unique<CacheStaging>(cacheFolder, m_device.mmc);
    m_writer = &m_staging->begin(progress());
    if (m_device.direct) {
        loadDirectly();
        return;
    }
    m_country = m_writer->db().countryLib().currentCountry();
    m_byEncodedAddress.clear();
    m_byAddress.clear();

    m_message = _MsgMessage();
    fillLoadedMessage(m_message);
    m_pipeline = std::make_unique<StorePipeline>(*m_writer, m_queueBudget);

    const QString url = channelUrl(backupChannel, simpleprotocol::choosePort());
    m_channel.reset(m_device.openChannel(url, channelOpenTimeoutMs));

    for (;;) {
        waitForData();
        const QString line = simpleprotocol::readCommand(m_channel.get(), -1);
        if (line.startsWith(countCommand)) {
            bool isNumber = false;
            const int announced = QStringView(line).mid(countCommand.size()).toInt(&isNumber);
            total = isNumber && announced > 0 ? announced : -1;
        } else if (line.startsWith(batchCommand)) {
            readBatch();
        } else if (line.startsWith(byeCommand)) {
            break;
        }
    }

    // The phone has sent everything: the load is committed first, and answering it can no longer undo that.
    m_pipeline->finish();
    peakQueuedBytes = m_pipeline->peakQueuedBytes();
    m_pipeline.reset();
    m_writer = nullptr;
    m_staging->commit();
    storedMessages = m_staging->addedMessages();
    repeatedMessages = m_staging->knownMessages();
    answerBye();
    closeChannel();
    m_staging->replaceCache();
    m_staging.reset();
}

void AndroidLoadSMSThread::loadDirectly()
{
    DirectLoader loader(m_device.serial, *m_staging, [this](int done, int count) {
        loaded = done;
        total = count > 0 ? count : -1;
        postLoaded();
    });
    loader.run();
    m_writer = nullptr;
    m_staging->commit();
    storedMessages = m_staging->addedMessages();
    repeatedMessages = m_staging->knownMessages();
    m_staging->replaceCache();
    m_staging.reset();
}

void AndroidLoadSMSThread::postLoaded()
{
    // At most every 50 ms or per percent: posting for every record cost a fifth of the reading thread.
    reportProgress(loaded, total, QStringLiteral("sms: %1/%2"));
}

void AndroidLoadSMSThread::readBatch()
{
    for (;;) {
        throwIfCancelled(progress());
        waitForData();
        const QString line = simpleprotocol::readCommand(m_channel.get(), -1);
        if (line.startsWith(smsCommand)) {
            ++loaded;
            postLoaded();
            parseRecord(QStringView(line).mid(smsCommand.size()));
        } else if (line.startsWith(endCommand)) {
            flushProgress();
            m_pipeline->publish();
            simpleprotocol::writeCommand(m_channel.get(), batchCommand, QString(), true, -1);
            return;
        }
    }
}

void AndroidLoadSMSThread::waitForData()
{
    // Lines are read without a time limit; the wait looks at the cancel flag while the phone is silent
    // and leaves a broken connection for readCommand to report.
    if (m_channel->bytesAvailable() == 0)
        simpleprotocol::waitForReadable(m_channel.get(), -1);
}

void AndroidLoadSMSThread::parseRecord(QStringView payload)
{
    SmsRecord::Fields fields;
    if (!SmsRecord::split(payload, fields)) {
        ++incompleteRecords;
        return;
    }

    qint32 date = 0;
    switch (SmsRecord::convertDate(fields[0], date)) {
    case SmsRecord::DateOutcome::Exact:
        break;
    case SmsRecord::DateOutcome::Clamped:
        qCWarning(lcAndroid, "record %d: date %s is out of range, stored as %s.", loaded,
            qUtf8Printable(quotedStart(fields[0])),
            qUtf8Printable(QDateTime::fromSecsSinceEpoch(date + messageDateOffset, Qt::UTC).toString(Qt::ISODate)));
        break;
    case SmsRecord::DateOutcome::NotANumber:
        qCWarning(lcAndroid, "record %d: date %s is not a number, record skipped.", loaded,
            qUtf8Printable(quotedStart(fields[0])));
        ++undatedRecords;
        return;
    }

    LoadedCorrespondent& correspondent = correspondentFor(fields[2]);
    if (correspondent.encodedName != fields[3]) {
        correspondent.encodedName = fields[3].toString();
        correspondent.contactName = SmsRecord::decodeText(fields[3], m_decodeBuffer);
    }

    m_message.text = SmsRecord::decodeText(fields[4], m_decodeBuffer);
    m_message.date = date;
    m_message.is_from_me = SmsRecord::fromMe(fields[1]);
    m_message.handle = &correspondent.handle;

    ParsedRecord record;
    record.correspondent = &correspondent;
    record.contactName = correspondent.contactName;
    // Computed once: the writer takes it for the duplicate key.
    record.hash = logicHash(m_message);
    record.guid = guidOfLogicHash(record.hash);
    record.text = m_message.text;
    record.subject = SmsRecord::decodeText(fields[5], m_decodeBuffer);
    record.date = date;
    record.isFromMe = m_message.is_from_me;
    m_pipeline->enqueue(std::move(record));
}

LoadedCorrespondent& AndroidLoadSMSThread::correspondentFor(QStringView encodedAddress)
{
    const QString key = encodedAddress.toString();
    const auto known = m_byEncodedAddress.constFind(key);
    if (known != m_byEncodedAddress.constEnd())
        return **known;

    QByteArray bytes = QByteArray::fromBase64(key.toLatin1());
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    const QString address = normalizePhoneNumber(m_country, QString::fromUtf8(bytes));

    // Different spellings of one number share the records of its normalised address.
    std::shared_ptr<LoadedCorrespondent>& shared = m_byAddress[address];
    if (!shared) {
        shared = std::make_shared<LoadedCorrespondent>();
        fillCorrespondent(address, shared->handle, shared->chat);
    }
    m_byEncodedAddress.insert(key, shared.get());
    return *shared;
}

void AndroidLoadSMSThread::closeChannel()
{
    if (!m_channel)
        return;
    m_channel->disconnectFromHost();
    m_channel.reset();
}

void AndroidLoadSMSThread::dropLoad()
{
    m_pipeline.reset();
    m_writer = nullptr;
    m_staging.reset();
    closeChannel();
    m_byEncodedAddress.clear();
    m_byAddress.clear();
#include "android/AndroidLog.h"
#include "android/CacheStaging.h"
#include "android/DirectLoader.h"
#include "android/SmsRecord.h"
#include "android/StorePipeline.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"
#include "message/MessageIdentity.h"
}
