// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadSMSThread.h"
#include "android/AndroidRestoreSMSThread.h"
#include "android/DirectPhone.h"
#include "base/DataFolders.h"
#include "message/MessageText.h"
#include "store/CountryLibDb.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"
#include "support/AdbTestServer.h"
#include "support/LocalPorts.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/RecordingProgress.h"
#include "support/TestHome.h"
#include "support/Words.h"
#include "tools/common/DemoMessages.h"
#include "tools/common/EdgeMessages.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString ownNumber = QStringLiteral("+447700900077");
const QStringList withoutCompanion = words("--packages android,com.android.phone,com.android.providers.telephony");

// The phone's messages: hostile texts first, text messages of the demo phone with an exact repeat,
// its picture messages and group picture, and messages in the boxes the shell does not see.
QList<SimMessage> phoneMessages()
{
    QList<SimMessage> messages = hostileMessages() + generateDemoMessages(7).mid(0, 400);
    messages.append(messages.last());
    const QList<SimMessage> pictures = generateDemoMultimedia(7);
    messages += pictures + hiddenBoxMessages(pictures.last().timeMs);
    return messages;
}

struct Outcome
{
    QStringList errors;
    QStringList successes;
    int updates = 0;
};

template <typename Thread>
Outcome runToEnd(Thread& thread, RecordingProgress& progress, const std::function<void()>& onFirstUpdate = {})
{
    QTimer watch;
    if (onFirstUpdate) {
        QObject::connect(&watch, &QTimer::timeout, &progress, [&] {
            // The first "sms: n/total": the phone has been read, its messages are being written.
            if (!progress.updates.isEmpty() && !progress.updates.last().text.isEmpty()) {
                watch.stop();
                onFirstUpdate();
            }
        });
        watch.start(2);
    }
    progress.runToEnd(&thread);
    return { progress.errors, progress.successes, int(progress.updates.size()) };
}

QString normalised(const QString& address)
{
    CountryLibDb library(countryLibPath(), QString());
    bool found = false;
    static const CountryInfo uk = library.findByMcc(QStringLiteral("234"), &found);
    return normalizePhoneNumber(uk, address);
}

// One message as the cache must hold it: its conversation's members, correspondent and contact name,
// text, subject, date, direction, and each attachment's type, name and bytes.
QString expectedRow(const SimMessage& m, const QHash<QString, QString>& contacts)
{
    // A text message has one address, as on the companion's road, even where it lists several.
    QStringList members;
    for (const QString& address :
        m.mms ? m.address.split(QLatin1Char(';'), Qt::SkipEmptyParts) : QStringList { m.address })
        members.append(normalised(address));
    members.sort();
    members.removeDuplicates();
    QString handle;
    if (members.size() == 1)
        handle = members.first();
    else if (m.direction != 1)
        handle = normalised(m.sender.isEmpty() ? m.address.section(QLatin1Char(';'), 0, 0) : m.sender);
    QString text = m.body;
    QStringList attachments;
    if (m.mms) {
        QStringList texts;
        for (const SimPart& part : m.parts) {
            if (part.data.isEmpty()) {
                if (!part.text.isEmpty())
                    texts.append(part.text);
                continue;
            }
            texts.append(QString(QChar(0xFFFC)));
            attachments.append(
                QStringLiteral("%1:%2:%3")
                    .arg(part.contentType, part.name,
                        QString::fromLatin1(QCryptographicHash::hash(part.data, QCryptographicHash::Md5).toHex())));
        }
        text = texts.join(QLatin1Char('\n'));
    }
    const qint64 seconds = m.timeMs / 1000;
    return QStringList { members.join(QLatin1Char(',')), handle, contacts.value(handle), text, m.subject,
        QString::number(seconds - messageDateOffset), QString::number(m.direction == 1 ? 1 : 0),
        attachments.join(QLatin1Char(' ')) }
        .join(QLatin1Char('|'));
}

QStringList expectedRows(const QList<SimMessage>& messages)
{
    // The phone's contacts are the names its one-to-one messages carry; the first name of a number counts.
    QHash<QString, QString> contacts;
    for (const SimMessage& m : messages) {
        if (!m.contactName.isEmpty() && !m.address.contains(QLatin1Char(';'))
            && !contacts.contains(normalised(m.address)))
            contacts.insert(normalised(m.address), m.contactName);
    }
    QStringList rows;
    for (const SimMessage& m : messages) {
        if (inVisibleBox(m))
            rows.append(expectedRow(m, contacts));
    }
    rows.sort();
    rows.removeDuplicates();
    return rows;
}

QStringList cacheRows(const AndroidDevice& device)
{
    IOS6MessageDb store(device.cacheDir(), device.mmc, false);
    Sqlite3DB db;
    db.openThrow(store.dbPath(), Sqlite3DB::ReadOnly);
    QHash<qint64, QString> members;
    Sqlite3Cursor joins = db.queryThrow(Sqlite3Sql("select j.chat_id, h.id from chat_handle_join j join handle h on "
                                                   "h.rowid = j.handle_id order by h.id"));
    while (joins.moveNext()) {
        QString& list = members[joins.getInt64(0)];
        list += (list.isEmpty() ? QString() : QStringLiteral(",")) + joins.getText(1);
    }
    QHash<qint64, QStringList> attachments;
    Sqlite3Cursor files = db.queryThrow(Sqlite3Sql("select j.message_id, a.mime_type, a.transfer_name, a.filename from "
                                                   "message_attachment_join j join attachment a on a.rowid = "
                                                   "j.attachment_id order by a.rowid"));
    while (files.moveNext()) {
        QFile file(store.fileRelayDir().filePath(relayRelativePath(files.getText(3))));
        const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
        attachments[files.getInt64(0)].append(
            QStringLiteral("%1:%2:%3")
                .arg(files.getText(1), files.getText(2),
                    QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex())));
    }
    QStringList rows;
    Sqlite3Cursor cursor = db.queryThrow(
        Sqlite3Sql("select m.rowid, cm.chat_id, coalesce(h.id, ''), coalesce(h._ct_name, ''), m.text, "
                   "coalesce(m.subject, ''), m.date, m.is_from_me, m.service, m.account, m.is_sent, m.is_read "
                   "from message m join chat_message_join cm on cm.message_id = m.rowid "
                   "left join handle h on h.rowid = m.handle_id"));
    while (cursor.moveNext()) {
        // Every loaded message has the fields of a companion load.
        if (cursor.getText(8) != QLatin1String("SMS") || cursor.getText(9) != QLatin1String("e:")
            || cursor.getInt(10) != 1 || cursor.getInt(11) != 1)
            rows.append(QStringLiteral("not a loaded message: %1").arg(cursor.getText(4)));
        rows.append(QStringList { members.value(cursor.getInt64(1)), cursor.getText(2), cursor.getText(3),
            cursor.getText(4), cursor.getText(5), QString::number(cursor.getInt(6)), QString::number(cursor.getInt(7)),
            attachments.value(cursor.getInt64(0)).join(QLatin1Char(' ')) }
                        .join(QLatin1Char('|')));
    }
    rows.sort();
    return rows;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDirectLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        m_adb = std::make_unique<AdbTestServer>();
        QVERIFY(m_folder.isValid());
        m_messages = phoneMessages();
        m_messagesFile = m_folder.filePath(QStringLiteral("phone.json"));
        saveMessages(m_messagesFile, m_messages);
    }

    void cleanupTestCase() { m_adb.reset(); }

    // A phone without the companion, through the real adb: connected directly as it is plugged in,
    // loaded with every field of every visible message, loaded again with the same cache, and a
    // transfer to it refused in a sentence.
    void loadsThePhoneExactly()
    {
        PhoneSimulatorProcess phone;
        QVERIFY2(startPhone(phone, {}), qUtf8Printable(phone.log()));
        const AndroidDevice device = connect(phone, directphone::UsbRoad::Automatic);
        QVERIFY(device.direct);
        QCOMPARE(device.displayName(), QStringLiteral("Ostara Lumen 7"));
        QCOMPARE(device.treeName(), QStringLiteral("Ostara Lumen 7 (read directly over USB)"));
        QCOMPARE(device.mmc, QStringLiteral("234"));
        QCOMPARE(device.cacheDir().dirName(), AndroidDevice::cacheFolderName(device.serial));

        const QStringList expected = expectedRows(m_messages);
        for (int round = 0; round < 2; ++round) {
            RecordingProgress progress;
            AndroidLoadSMSThread load(device, &progress);
            const Outcome outcome = runToEnd(load, progress);
            QCOMPARE(outcome.errors, QStringList());
            QCOMPARE(outcome.successes, QStringList { QString() });
            QCOMPARE(load.loaded, load.total);
            QCOMPARE(load.storedMessages, qint64(expected.size()));
            QCOMPARE(load.storedMessages + load.repeatedMessages, qint64(load.total));
            QCOMPARE(progress.updates.last().text, QStringLiteral("sms: %1/%1").arg(load.total));
            QCOMPARE(progress.updates.last().progress, 100);
            const QStringList rows = cacheRows(device);
            for (qsizetype i = 0; i < std::min(rows.size(), expected.size()); ++i)
                QCOMPARE(rows.at(i), expected.at(i));
            QCOMPARE(rows.size(), expected.size());
        }

        RecordingProgress progress;
        AndroidRestoreSMSThread transfer(device, {}, &progress);
        QCOMPARE(runToEnd(transfer, progress).errors, QStringList { directphone::transferNeedsCompanionText() });
    }

    // A load that ends early leaves the cache of the load before as it was, its files included.
    void failedLoadKeepsTheCache_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("error");

        QTest::newRow("cancel") << QStringList() << QStringLiteral("cancel") << QString();
        QTest::newRow("unplugged") << QStringList() << QStringLiteral("unplug")
                                   << QStringLiteral("The phone is no longer connected (adb says \"error: ");
        QTest::newRow("messages refused")
            << words("--content-denied sms") << QString()
            << QStringLiteral("The phone does not let its messages be read over USB: its maker restricts this "
                              "access (\"java.lang.SecurityException: Permission Denial: reading "
                              "com.android.providers.telephony.SmsProvider uri content://sms");
        QTest::newRow("pictures refused") << words("--content-denied mms") << QString()
                                          << QStringLiteral("The phone does not let its messages be read over USB");
    }

    void failedLoadKeepsTheCache()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stop);
        QFETCH(QString, error);

        PhoneSimulatorProcess phone;
        // The second phone takes this port again. A port the kernel chose could be handed to that
        // phone's own companion service in between, so it comes from the range kept for the tests.
        QVERIFY2(startPhone(phone, { QStringLiteral("--adb-port"), QString::number(freeLocalPort()) }),
            qUtf8Printable(phone.log()));
        AndroidDevice device = connect(phone, directphone::UsbRoad::Direct);
        QVERIFY(device.direct);
        {
            RecordingProgress progress;
            AndroidLoadSMSThread load(device, &progress);
            QCOMPARE(runToEnd(load, progress).successes, QStringList { QString() });
        }
        const QString cache = IOS6MessageDb(device.cacheDir(), device.mmc, false).dbPath();
        const QByteArray before = fileBytes(cache);
        const QStringList rowsBefore = cacheRows(device);
        QVERIFY(!before.isEmpty());
        m_adb->disconnectDevice(device.serial);
        phone.stop();

        PhoneSimulatorProcess second;
        // The same serial, so that the same cache is replaced.
        QVERIFY2(
            startPhone(second,
                arguments + QStringList { QStringLiteral("--adb-port"), device.serial.section(QLatin1Char(':'), 1) }),
            qUtf8Printable(second.log()));
        QCOMPARE(m_adb->connectDevice(second), device.serial);
        RecordingProgress progress;
        AndroidLoadSMSThread load(device, &progress);
        const Outcome outcome = runToEnd(load, progress, [&] {
            if (stop == QLatin1String("cancel"))
                progress.cancelled = true;
            else if (stop == QLatin1String("unplug"))
                m_adb->disconnectDevice(device.serial);
        });
        QCOMPARE(outcome.successes, QStringList());
        if (error.isEmpty())
            QCOMPARE(outcome.errors, QStringList());
        else
            QVERIFY2(outcome.errors.value(0).startsWith(error), qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
        QVERIFY(fileBytes(cache) == before);
        QCOMPARE(cacheRows(device), rowsBefore);
        QCOMPARE(device.cacheDir().entryList({ AndroidLoadSMSThread::stagingFolderPrefix() + QLatin1Char('*') },
                     QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
        m_adb->disconnectDevice(device.serial);
    }

    // What adb prints for a device it can not use, and what the person is told.
    void deviceRefusals_data()
    {
        QTest::addColumn<QString>("adbError");
        QTest::addColumn<QString>("start");

        QTest::newRow("unauthorized")
            << QStringLiteral("error: device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set\nTry "
                              "'adb kill-server' if that seems wrong.\nOtherwise check for a confirmation dialog on "
                              "your device.")
            << QStringLiteral("The phone has not allowed this computer yet (adb says \"error: device unauthorized.\"). "
                              "Unlock the phone, accept the prompt");
        QTest::newRow("no permissions")
            << QStringLiteral("error: insufficient permissions for device: user in plugdev group; are your udev "
                              "rules wrong?\nSee [http://developer.android.com/tools/device.html] for more information")
            << QStringLiteral("This user may not open the phone over USB (adb says \"error: insufficient permissions "
                              "for device: user in plugdev group; are your udev rules wrong?\"). On Linux install");
        QTest::newRow("gone") << QStringLiteral("error: device '0123456789ABCDEF' not found")
                              << QStringLiteral("The phone is no longer connected");
        QTest::newRow("offline") << QStringLiteral("error: device offline")
                                 << QStringLiteral("The phone is no longer connected");
        QTest::newRow("pulled out mid-answer")
            << QStringLiteral("error: protocol fault (couldn't read status): Success")
            << QStringLiteral("The phone is no longer connected");
        QTest::newRow("something else") << QStringLiteral("/system/bin/sh: content: not found") << QString();
    }

    void deviceRefusals()
    {
        QFETCH(QString, adbError);
        QFETCH(QString, start);
        const QString text = directphone::deviceErrorText(adbError);
        if (start.isEmpty())
            QCOMPARE(text, QString());
        else
            QVERIFY2(text.startsWith(start), qUtf8Printable(text));
    }

private:
    bool startPhone(PhoneSimulatorProcess& phone, const QStringList& arguments)
    {
        QStringList all = withoutCompanion
            + QStringList { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--messages"), m_messagesFile,
                  QStringLiteral("--own-number"), ownNumber, QStringLiteral("--model"), QStringLiteral("Lumen 7"),
                  QStringLiteral("--manufacturer"), QStringLiteral("Ostara"), QStringLiteral("--mmc"),
                  QStringLiteral("234") }
            + arguments;
        if (!arguments.contains(QStringLiteral("--adb-port")))
            all += words("--adb-port 0");
        return phone.start(all);
    }

    AndroidDevice connect(PhoneSimulatorProcess& phone, directphone::UsbRoad road)
    {
        const QString serial = m_adb->connectDevice(phone);
        if (serial.isEmpty())
            return {};
        RecordingProgress progress;
        AndroidConnectWithUSBThread thread(serial, &progress);
        thread.setRoad(road);
        const Outcome outcome = runToEnd(thread, progress);
        if (!outcome.errors.isEmpty())
            qWarning("connect failed: %s", qUtf8Printable(outcome.errors.join(QLatin1Char('\n'))));
        return thread.device();
    }

    std::unique_ptr<AdbTestServer> m_adb;
    QTemporaryDir m_folder;
    QList<SimMessage> m_messages;
    QString m_messagesFile;
};

QTEST_GUILESS_MAIN(TestDirectLoad)
#include "TestDirectLoad.moc"
