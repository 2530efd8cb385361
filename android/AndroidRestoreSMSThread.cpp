// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidRestoreSMSThread.h"

#include "android/AndroidLog.h"
#include "android/DeviceCacheLock.h"
#include "android/DirectPhone.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/TaskReporting.h"
#include "message/MessageIdentity.h"
#include "message/MessageText.h"
#include "store/ExportMessagesDb.h"

#include <QDebug>
#include <QSet>
#include <QTcpSocket>

#include <utility>

using namespace simpleprotocol;

namespace {

// How long a cancelled transfer still waits for the phone to acknowledge a batch it has received whole.
constexpr int lastAnswerAfterCancelMs = 700;

void disposeChannel(QTcpSocket*& channel)
{
    if (!channel)
        return;
    channel->deleteLater();
    channel = nullptr;
}

} // namespace

AndroidRestoreSMSThread::AndroidRestoreSMSThread(
    const AndroidDevice& device, const QList<_MsgMessage*>& messages, ProgressReceiver* progress, QObject* parent)
    : WorkerThread(progress, parent)
    , m_device(device)
    , m_cacheWriter(std::make_unique<ExportMessagesDb>(device.cacheDir(), device.mmc))
{
    m_messages.reserve(messages.size());
    for (_MsgMessage* message : messages) {
        if (message->item_type != 0 || !message->handle)
            ++m_skipped;
        else
            m_messages.append(message);
    }
    sortMessages(m_messages, true);
}

AndroidRestoreSMSThread::~AndroidRestoreSMSThread() = default;

QByteArray AndroidRestoreSMSThread::smsLine(const _MsgMessage& message)
{
    const QByteArray address = message.handle ? message.handle->id.toUtf8().toBase64() : QByteArray();
    const QByteArray body = stripObjectReplacement(message.text).toUtf8().toBase64();
    QByteArray line;
    line.reserve(32 + address.size() + body.size());
    line += channelprotocol::smsCommand.latin1();
    line += QByteArray::number((qint64(message.date) + messageDateOffset) * 1000);
    line += message.is_from_me != 0 ? ",1," : ",0,";
    line += address;
    line += ',';
    line += body;
    line += '\n';
    return line;
}

QString AndroidRestoreSMSThread::work()
{
    // Only the default messaging app may write messages, which the companion becomes for a transfer.
    if (m_device.direct)
        throw std::runtime_error(directphone::transferNeedsCompanionText().toStdString());
    m_cacheLock = std::make_unique<DeviceCacheLock>(m_device.cacheDir());
    m_cacheLock->acquire(progress());
    const int handled = transfer(m_channel);
    m_cacheLock.reset();
    // The others were not sent: the phone held them already (by its cache, or sent earlier in this run).
    const int alreadyThere = handled - m_stored;
    QString text = tr("IDS_SUC_RESTORE_%1_SMS_%2_STORED_%3_KNOWN")
                       .arg(QString::number(handled), QString::number(m_stored), QString::number(alreadyThere));
    if (m_skipped != 0)
        text += QLatin1Char(' ') + tr("IDS_SKIP_%1_SMS_GROUP_OR_SYS_MESSAGES").arg(m_skipped);
    return text;
}

void AndroidRestoreSMSThread::abandon()
{
    disposeChannel(m_channel);
    closeCache();
    m_cacheLock.reset();
}

int AndroidRestoreSMSThread::transfer(QTcpSocket*& channel)
{
    postUpdateProgress(progress(), tr("IDS_RESTORING_SMS_TO_ANDROID"), 0, QString());
    m_cacheWriter->begin();
    channel = m_device.openChannel(channelprotocol::channelUrl(channelprotocol::restoreChannel, choosePort()), 10000);

    const QString prefix = channelprotocol::defSmsAppCommand;
    const int flag = expectCommand(channel, prefix).mid(prefix.size()).toInt();
    if (flag != 0) {
        postTipsWait(progress(),
            tr("Please click \"YES\" to temporarily set our Quillbarrow app as your default SMS app when the "
               "message pops out on your Android's screen. Then click the \"OK\" button to start "
               "transferring messages to your Android.<br/><br/>Note: It will resume your default "
               "Messaging app settings after transferring messages to Android."));
        waitForTipsClosed(progress());
        // A cancel while the tip was shown must not let the companion take the messaging role.
        throwIfCancelled(progress());
        writeCommand(channel, prefix);
    }

    const int total = static_cast<int>(m_messages.size());
    int sent = 0;
    if (total > 0) {
        throwIfCancelled(progress());
        for (;;) {
            sendBatch(channel, sent);
            if (sent >= total)
                break;
            throwIfCancelled(progress());
        }
    }

    writeCommand(channel, channelprotocol::byeCommand);
    disposeChannel(channel);
    closeCache();
    return sent;
}

void AndroidRestoreSMSThread::sendBatch(QTcpSocket* channel, int& sent)
{
    const int total = static_cast<int>(m_messages.size());
    const int count = std::min(batchLimit, total - sent);
    const QString progressFormat = tr("SMS: %1/%2");
    IOS6MessageDb& cache = m_cacheWriter->db();

    // A batch goes into the cache only once the phone has acknowledged it: a batch cut short
    // (cancel, broken channel, error answer) never reached the phone's storage, and caching it
    // would make the next transfer skip those messages as already on the phone. Until then the
    // keys sent stand in for the cache, so a message repeated in the selection goes only once.
    PendingBatch batch;
    batch.messages.reserve(count);
    writeCommand(channel, channelprotocol::batchCommand);
    for (int i = 0; i < count; ++i) {
        throwIfCancelled(progress());
        const _MsgMessage& message = *m_messages.at(sent);
        ++sent;
        postUpdateProgress(progress(), QString(), percentOf(sent, total), progressFormat.arg(sent).arg(total));
        if (message.handle) {
            QString key = logicHash(message);
            if (!m_sentKeys.contains(key) && cache.findMessageByLogicHash(key) == 0) {
                writeAll(channel, smsLine(message), false);
                m_sentKeys.insert(key);
                batch.sentKeys.append(std::move(key));
            }
        }
        batch.messages.append(&message);
    }
    writeCommand(channel, channelprotocol::endCommand);
    // While the phone stores this batch, the one it acknowledged before goes into the cache.
    cacheAcknowledged();
    try {
        expectCommand(channel, channelprotocol::batchCommand);
    } catch (const TaskCancelled&) {
        // The phone has the whole batch and is storing it. Its answer, when it comes soon, lets the
        // batch go into the cache, so that the next transfer does not send those messages again.
        const TaskCancelScope lastAnswer(nullptr);
        try {
            expectCommand(channel, channelprotocol::batchCommand, lastAnswerAfterCancelMs);
            m_acknowledged = std::move(batch);
        } catch (const std::exception&) {
        }
        throw;
    }
    // The phone's "$batch:" says it stored every record of the batch.
    m_stored += static_cast<int>(batch.sentKeys.size());
    m_acknowledged = std::move(batch);
}

void AndroidRestoreSMSThread::cacheAcknowledged()
{
    // The phone holds this batch already: a cancel must not stop its statements half-way, or the next
    // transfer would send the batch again.
    const TaskCancelScope mustFinish(nullptr);
    const PendingBatch batch = std::exchange(m_acknowledged, PendingBatch());
    for (const _MsgMessage* message : batch.messages)
        m_cacheWriter->write(*message);
    for (const QString& key : batch.sentKeys)
        m_sentKeys.remove(key);
}

void AndroidRestoreSMSThread::closeCache()
{
    // Commits what the phone acknowledged. A failure here only means that a later transfer sends
    // those messages again, so it does not turn the transfer into a failure.
    const TaskCancelScope mustFinish(nullptr);
    try {
        cacheAcknowledged();
        m_cacheWriter->end();
    } catch (const std::exception& error) {
        qCWarning(lcAndroid) << "can not close the cache database." << error.what();
    }
}
