// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLoadSMSThread.h"

#include "android/AndroidLog.h"
#include "android/DeviceCacheLock.h"
#include "android/SmsRecord.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"
#include "message/MessageIdentity.h"
#include "message/MessageText.h"
#include "message/RecordDefaults.h"
#include "store/ExportMessagesDb.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtDebug>

#include <algorithm>
#include <array>
#include <filesystem>
#include <stdexcept>
#include <system_error>

using namespace channelprotocol;

namespace {

constexpr int channelOpenTimeoutMs = 10000;
// Enough to keep the store stage busy while the next batch arrives, little enough to bound memory.
constexpr size_t maxQueued = 4096;
// The store stage gives back the budget of what it has written in steps of this size, so that the
// reader goes on during a run of large records without taking the lock for every small one.
constexpr qint64 releaseStep = qint64(1) << 20;

std::runtime_error cannotOverwrite(const QString& path)
{
    return std::runtime_error(QStringLiteral("can not overwrite %1.").arg(path).toStdString());
}

// A cache that is a folder, or sits in a folder we may not change, can not be replaced; anything
// else is found out when the committed load takes its place.
bool canReplace(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return (info.isFile() || info.isSymLink()) && QFileInfo(info.absolutePath()).isWritable();
}

// Files SQLite keeps beside a database: left over from the old cache they would be taken for the
// new one's and rolled into it.
const char* const sideFileSuffixes[] = { "-journal", "-wal", "-shm" };

// Moves the committed staging database over the cache database in one step.
void replaceCache(const QString& stagedPath, const QString& cachePath)
{
    if (!canReplace(cachePath) || !QDir().mkpath(QFileInfo(cachePath).absolutePath()))
        throw cannotOverwrite(cachePath);
    for (const char* suffix : sideFileSuffixes) {
        const QString sideFile = cachePath + QLatin1String(suffix);
        if (QFileInfo::exists(sideFile) && !QFile::remove(sideFile))
            throw cannotOverwrite(cachePath);
    }
    std::error_code error;
    std::filesystem::rename(
        QFile::encodeName(stagedPath).toStdString(), QFile::encodeName(cachePath).toStdString(), error);
    if (error)
        throw cannotOverwrite(cachePath);
}

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

// A folder between the cache folder and its database that is a symbolic link would make the load
// remove and replace files elsewhere.
void refuseLinkedFolders(const QDir& cacheFolder, const QString& cachePath)
{
    const QString top = QDir::cleanPath(cacheFolder.absolutePath());
    for (QString folder = QFileInfo(cachePath).absolutePath();; folder = QFileInfo(folder).absolutePath()) {
        if (QFileInfo(folder).isSymLink())
            throw std::runtime_error(QStringLiteral("%1 is a symbolic link; the cache is not replaced through it.")
                                         .arg(folder)
                                         .toStdString());
        if (folder.size() <= top.size())
            return;
    }
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
    return QStringLiteral(".loading");
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

void AndroidLoadSMSThread::prepareCacheFolder(const QDir& cacheFolder, const QString& cachePath)
{
    refuseLinkedFolders(cacheFolder, cachePath);
    m_cacheLock = std::make_unique<DeviceCacheLock>(cacheFolder);
    m_cacheLock->acquire(progress());
    if (!canReplace(cachePath))
        throw cannotOverwrite(cachePath);

    // With the lock held no other load is running, so every staging folder left here belongs to a
    // load that was cut short by a crash. A link is removed itself, never what it points to.
    const QFileInfoList leftovers = cacheFolder.entryInfoList({ stagingFolderPrefix() + QLatin1Char('*') },
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& leftover : leftovers) {
        const bool removed = leftover.isDir() && !leftover.isSymLink()
            ? QDir(leftover.absoluteFilePath()).removeRecursively()
            : QFile::remove(leftover.absoluteFilePath());
        if (!removed)
            throw cannotOverwrite(leftover.absoluteFilePath());
    }
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
    const QString cachePath = IOS6MessageDb(cacheFolder, m_device.mmc, false).dbPath();
    prepareCacheFolder(cacheFolder, cachePath);
    m_staging
        = std::make_unique<QTemporaryDir>(cacheFolder.filePath(stagingFolderPrefix() + QStringLiteral("-XXXXXX")));
    if (!m_staging->isValid())
        throw cannotOverwrite(m_staging->path());
    m_writer = std::make_unique<ExportMessagesDb>(QDir(m_staging->path()), m_device.mmc);
    const QString stagedPath = m_writer->db().dbPath();

    m_writer->begin();
    m_country = m_writer->db().countryLib().currentCountry();
    m_byEncodedAddress.clear();
    m_byAddress.clear();

    // Everything but the text, subject, dates, direction and guid is the same for every loaded message.
    m_stored = _MsgMessage();
    fillLoadedMessage(m_stored);
    m_message = m_stored;
    startStoreStage();

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
    finishStoreStage();
    m_writer->end();
    storedMessages = m_writer->addedMessages();
    repeatedMessages = m_writer->knownMessages();
    m_writer.reset();
    answerBye();
    closeChannel();
    replaceCache(stagedPath, cachePath);
    m_staging.reset();
    m_cacheLock.reset();
}

void AndroidLoadSMSThread::readBatch()
{
    for (;;) {
        throwIfCancelled(progress());
        waitForData();
        const QString line = simpleprotocol::readCommand(m_channel.get(), -1);
        if (line.startsWith(smsCommand)) {
            ++loaded;
            // "sms: %1/%2" built by appending: it is posted for every record.
            QString progressText;
            progressText.reserve(32);
            progressText.append(QLatin1String("sms: "))
                .append(QString::number(loaded))
                .append(QLatin1Char('/'))
                .append(QString::number(total));
            postUpdateProgress(progress(), QString(), percentOf(loaded, total), progressText);
            parseRecord(QStringView(line).mid(smsCommand.size()));
        } else if (line.startsWith(endCommand)) {
            publishQueued();
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

    Correspondent& correspondent = correspondentFor(fields[2]);
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
    record.guid = guidOfLogicHash(logicHash(m_message));
    record.text = m_message.text;
    record.subject = SmsRecord::decodeText(fields[5], m_decodeBuffer);
    record.date = date;
    record.isFromMe = m_message.is_from_me;
    enqueue(std::move(record));
}

void AndroidLoadSMSThread::startStoreStage()
{
    m_queue.clear();
    m_pendingBytes = 0;
    m_inputDone = false;
    m_stopStoring = false;
    m_storeError = nullptr;
    m_storeStage = std::thread([this] { storeStageLoop(); });
}

void AndroidLoadSMSThread::storeStageLoop()
{
    std::deque<ParsedRecord> taken;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_inputDone || m_stopStoring; });
            if (m_stopStoring || (m_queue.empty() && m_inputDone))
                return;
            taken.swap(m_queue);
        }
        m_queueChanged.notify_all();
        qint64 written = 0;
        const auto release = [this, &written] {
            {
                std::lock_guard<std::mutex> lock(m_queueMutex);
                m_pendingBytes -= written;
            }
            written = 0;
            m_queueChanged.notify_all();
        };
        try {
            for (ParsedRecord& record : taken) {
                if (m_stopStoring)
                    return;
                // The correspondent's records are read by the writer here only; the parser never touches them
                // after making them.
                _MsgHandle& handle = record.correspondent->handle;
                handle._ct_name = std::move(record.contactName);
                m_stored.handle = &handle;
                m_stored.chat = &record.correspondent->chat;
                m_stored.text = std::move(record.text);
                m_stored.subject = std::move(record.subject);
                m_stored.guid = std::move(record.guid);
                m_stored.date = record.date;
                m_stored.date_read = record.date;
                m_stored.date_delivered = record.date;
                m_stored.is_from_me = record.isFromMe;
                m_writer->write(m_stored);
                written += record.bytes;
                if (written >= releaseStep) {
                    // Large texts are let go of before the budget they held is given back.
                    m_stored.text.clear();
                    m_stored.subject.clear();
                    release();
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            m_storeError = std::current_exception();
            m_queueChanged.notify_all();
            return;
        }
        taken.clear();
        release();
    }
}

void AndroidLoadSMSThread::enqueue(ParsedRecord&& record)
{
    // The store stage is woken for runs of records, not for each one.
    constexpr size_t wakeEvery = 64;
    record.bytes = qint64(sizeof record)
        + qint64(sizeof(QChar))
            * (record.contactName.size() + record.text.size() + record.subject.size() + record.guid.size());
    size_t queued = 0;
    {
        std::unique_lock<std::mutex> lock(m_queueMutex);
        // A record larger than the whole budget still goes, alone.
        const auto hasRoom = [this, &record] {
            return m_storeError
                || (m_queue.size() < maxQueued
                    && (m_pendingBytes == 0 || m_pendingBytes + record.bytes <= m_queueBudget));
        };
        if (!hasRoom()) {
            // The store stage may sleep until the end of the batch: what is queued must go now.
            m_queueChanged.notify_all();
            m_queueChanged.wait(lock, hasRoom);
        }
        if (m_storeError)
            std::rethrow_exception(m_storeError);
        m_pendingBytes += record.bytes;
        peakQueuedBytes = std::max(peakQueuedBytes, m_pendingBytes);
        m_queue.push_back(std::move(record));
        queued = m_queue.size();
    }
    if (queued % wakeEvery == 0)
        m_queueChanged.notify_all();
}

void AndroidLoadSMSThread::publishQueued()
{
    m_queueChanged.notify_all();
}

void AndroidLoadSMSThread::finishStoreStage()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_inputDone = true;
    }
    m_queueChanged.notify_all();
    m_storeStage.join();
    if (m_storeError)
        std::rethrow_exception(m_storeError);
}

void AndroidLoadSMSThread::stopStoreStage()
{
    if (!m_storeStage.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_stopStoring = true;
    }
    m_queueChanged.notify_all();
    m_storeStage.join();
    m_queue.clear();
}

AndroidLoadSMSThread::Correspondent& AndroidLoadSMSThread::correspondentFor(QStringView encodedAddress)
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
    std::shared_ptr<Correspondent>& shared = m_byAddress[address];
    if (!shared) {
        shared = std::make_shared<Correspondent>();
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
    // The writer goes without end: its transaction is rolled back and the staging folder is removed
    // with it, so nothing of this load remains and the previous cache stays as it was.
    stopStoreStage();
    m_writer.reset();
    closeChannel();
    m_byEncodedAddress.clear();
    m_byAddress.clear();
    if (m_staging && !m_staging->remove())
        qCWarning(lcAndroid) << "can not remove" << m_staging->path();
    m_staging.reset();
    m_cacheLock.reset();
}
