// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidLoadSMSThread.h"

#include "android/ChannelProtocol.h"
#include "android/LineProtocol.h"
#include "app/TaskReporting.h"
#include "message/MessageText.h"
#include "store/ExportMessagesDb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QtDebug>

#include <algorithm>
#include <array>
#include <filesystem>
#include <stdexcept>
#include <system_error>

using namespace channelprotocol;

namespace {

constexpr int channelOpenTimeoutMs = 10000;
constexpr int recordFields = 6;

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

// Seconds since 2001 of a phone time in milliseconds since 1970, truncated, as a 32-bit number.
int storeDate(qint64 phoneMs)
{
    return static_cast<int>(static_cast<qint32>(phoneMs / 1000 - messageDateOffset));
}

} // namespace

AndroidLoadSMSThread::AndroidLoadSMSThread(const AndroidDevice& device, ProgressReceiver* progress, QObject* parent)
    : QThread(parent)
    , m_device(device)
    , m_progress(progress)
{
}

AndroidLoadSMSThread::~AndroidLoadSMSThread() = default;

QString AndroidLoadSMSThread::stagingFolderName()
{
    return QStringLiteral(".loading");
}

void AndroidLoadSMSThread::fillCorrespondent(const QString& address, _MsgHandle& handle, _MsgChat& chat)
{
    handle.id = address;
    handle.service = QStringLiteral("SMS");
    chat.guid = QStringLiteral("SMS;-;") + address;
    chat.style = 45;
    chat.state = 3;
    chat.chat_identifier = address;
    chat.service_name = QStringLiteral("SMS");
    chat.account_login = QStringLiteral("E:");
    chat.handles.insert(address, &handle);
}

void AndroidLoadSMSThread::run()
{
    const TaskCancelScope cancelScope(m_progress);
    total = -1;
    loaded = 0;
    postUpdateProgress(m_progress, tr("IDS_ANDROID_LOADING_SMS"), 0, QString());

    const QDir cacheFolder = m_device.cacheDir();
    try {
        load(cacheFolder);
        postSucceed(m_progress, QString());
    } catch (const TaskCancelled&) {
        dropLoad(cacheFolder);
    } catch (const std::exception& error) {
        dropLoad(cacheFolder);
        postError(m_progress, exceptionText(error));
    }
}

void AndroidLoadSMSThread::load(const QDir& cacheFolder)
{
    const QDir staging(cacheFolder.filePath(stagingFolderName()));
    m_writer = std::make_unique<ExportMessagesDb>(staging, m_device.mmc);
    const QString stagedPath = m_writer->db().dbPath();
    const QString cachePath = cacheFolder.filePath(staging.relativeFilePath(stagedPath));
    if (!canReplace(cachePath))
        throw cannotOverwrite(cachePath);
    // What a load that was cut short by a crash left behind.
    if (staging.exists() && !QDir(staging).removeRecursively())
        throw cannotOverwrite(stagedPath);

    m_writer->begin();
    m_country = m_writer->db().countryLib().currentCountry();
    m_byEncodedAddress.clear();
    m_byAddress.clear();

    // Everything but the text, subject, dates, direction and guid is the same for every loaded message.
    m_stored = _MsgMessage();
    m_stored.replace = 0;
    m_stored.version = 10;
    m_stored.type = 0;
    m_stored.service = QStringLiteral("SMS");
    m_stored.account = QStringLiteral("e:");
    m_stored.error = 0;
    m_stored.is_finished = 1;
    m_stored.is_prepared = 1;
    m_stored.is_read = 1;
    m_stored.is_sent = 1;
    m_stored.was_data_detected = 1;
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
    simpleprotocol::writeCommand(m_channel.get(), byeCommand, QString(), true, -1);

    finishStoreStage();
    m_writer->end();
    m_writer.reset();
    closeChannel();
    replaceCache(stagedPath, cachePath);
    QDir(staging).removeRecursively();
}

void AndroidLoadSMSThread::readBatch()
{
    for (;;) {
        throwIfCancelled(m_progress);
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
            postUpdateProgress(m_progress, QString(), percentOf(loaded, total), progressText);
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
    // Base64 never holds a comma; fields after the sixth are ignored.
    std::array<QStringView, recordFields> fields;
    qsizetype start = 0;
    int count = 0;
    for (; count < recordFields; ++count) {
        const qsizetype comma = payload.indexOf(QLatin1Char(','), start);
        fields[static_cast<size_t>(count)] = payload.mid(start, comma < 0 ? -1 : comma - start);
        if (comma < 0) {
            ++count;
            break;
        }
        start = comma + 1;
    }
    if (count < recordFields)
        return;

    const auto decode = [this](QStringView field) {
        if (field.isEmpty())
            return QString();
        // The line arrived as one character per byte, so the field converts back to its bytes losslessly.
        m_decodeBuffer.resize(field.size());
        char* bytes = m_decodeBuffer.data();
        for (QChar c : field)
            *bytes++ = static_cast<char>(c.unicode());
        // Decoded in place: the buffer is reused for every field of every record.
        m_decodeBuffer = std::move(QByteArray::fromBase64Encoding(std::move(m_decodeBuffer)).decoded);
        const qsizetype zero = m_decodeBuffer.indexOf('\0');
        return QString::fromUtf8(
            zero < 0 ? QByteArrayView(m_decodeBuffer) : QByteArrayView(m_decodeBuffer).first(zero));
    };

    Correspondent& correspondent = correspondentFor(fields[2]);
    if (correspondent.encodedName != fields[3]) {
        correspondent.encodedName = fields[3].toString();
        correspondent.contactName = decode(fields[3]);
    }

    const int date = storeDate(fields[0].toLongLong());
    m_message.text = decode(fields[4]);
    m_message.date = date;
    m_message.is_from_me = fields[1].toInt() == 1 ? 1 : 0;
    m_message.handle = &correspondent.handle;

    ParsedRecord record;
    record.correspondent = &correspondent;
    record.contactName = correspondent.contactName;
    record.guid = guidOfLogicHash(logicHash(m_message));
    record.text = m_message.text;
    record.subject = decode(fields[5]);
    record.date = date;
    record.isFromMe = m_message.is_from_me;
    enqueue(std::move(record));
}

void AndroidLoadSMSThread::startStoreStage()
{
    m_queue.clear();
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
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            m_storeError = std::current_exception();
            m_queueChanged.notify_all();
            return;
        }
        taken.clear();
    }
}

void AndroidLoadSMSThread::enqueue(ParsedRecord&& record)
{
    // Enough to keep the store stage busy while the next batch arrives, little enough to bound memory.
    constexpr size_t maxQueued = 4096;
    // The store stage is woken for runs of records, not for each one.
    constexpr size_t wakeEvery = 64;
    size_t queued = 0;
    {
        std::unique_lock<std::mutex> lock(m_queueMutex);
        m_queueChanged.wait(lock, [this] { return m_queue.size() < maxQueued || m_storeError; });
        if (m_storeError)
            std::rethrow_exception(m_storeError);
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

void AndroidLoadSMSThread::dropLoad(const QDir& cacheFolder)
{
    // The writer goes without end: its transaction is rolled back and the staging file is removed
    // with its folder, so nothing of this load remains and the previous cache stays as it was.
    stopStoreStage();
    m_writer.reset();
    closeChannel();
    m_byEncodedAddress.clear();
    m_byAddress.clear();
    const QString staging = cacheFolder.filePath(stagingFolderName());
    if (QFileInfo::exists(staging) && !QDir(staging).removeRecursively())
        qWarning() << "AndroidLoadSMSThread: can not remove" << staging;
}
