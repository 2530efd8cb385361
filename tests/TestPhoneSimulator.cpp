// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/LineProtocol.h"
#include "support/LocalPorts.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/TestHome.h"
#include "tools/common/SyntheticMessages.h"
#include "tools/phonesim/CompanionService.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <memory>
#include <stdexcept>

using namespace simpleprotocol;

namespace {

QString fromBase64(const QString& text)
{
    return QString::fromUtf8(QByteArray::fromBase64(text.toLatin1()));
}

QString base64(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

// The answer of the WiFi service port to one channel URL.
QString requestChannel(quint16 servicePort, const QString& url)
{
    QTcpSocket service;
    service.connectToHost(QStringLiteral("127.0.0.1"), servicePort);
    if (!service.waitForConnected(5000))
        throw std::runtime_error("service port not reachable");
    writeCommand(&service, url);
    return readCommand(&service, 5000);
}

std::unique_ptr<QTcpSocket> connectChannel(quint16 port, int readyTimeoutMs = 5000)
{
    auto channel = std::make_unique<QTcpSocket>();
    channel->connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!channel->waitForConnected(5000))
        throw std::runtime_error("channel port not reachable");
    expectCommand(channel.get(), QStringLiteral("$ready:"), readyTimeoutMs);
    return channel;
}

// Opens a channel over the WiFi service the way the desktop does.
std::unique_ptr<QTcpSocket> openWifiChannel(quint16 servicePort, const QString& kind)
{
    const quint16 port = freeLocalPort();
    const QString answer = requestChannel(servicePort, QStringLiteral("%1://127.0.0.1:%2").arg(kind).arg(port));
    if (answer.startsWith(QLatin1Char('0')))
        throw std::runtime_error((QStringLiteral("refused: ") + fromBase64(answer.mid(1))).toStdString());
    return connectChannel(port);
}

// Plays the desktop's side of a backup2 channel and describes what arrived, one event per entry.
QStringList receiveBackup(QTcpSocket* channel, QList<QStringList>* records)
{
    QStringList events;
    bool inBatch = false;
    int inThisBatch = 0;
    try {
        for (;;) {
            const QString line = readCommand(channel, 10000);
            if (inBatch) {
                if (line.startsWith(QLatin1String("$sms:"))) {
                    const QStringList fields = line.mid(5).split(QLatin1Char(','));
                    records->append(fields);
                    ++inThisBatch;
                    if (fields.size() != 6)
                        events << QStringLiteral("record %1 has %2 fields").arg(records->size()).arg(fields.size());
                } else if (line == QLatin1String("$end:")) {
                    events << QStringLiteral("batch %1").arg(inThisBatch);
                    writeCommand(channel, QStringLiteral("$batch:"));
                    inBatch = false;
                } else {
                    events << QStringLiteral("in batch: ") + line;
                }
            } else if (line.startsWith(QLatin1String("$count:"))) {
                events << line;
            } else if (line == QLatin1String("$batch:")) {
                inBatch = true;
                inThisBatch = 0;
            } else if (line == QLatin1String("$bye:")) {
                writeCommand(channel, QStringLiteral("$bye:"));
                events << QStringLiteral("bye");
                break;
            } else {
                events << QStringLiteral("unexpected: ") + line;
            }
        }
    } catch (const RemoteException& e) {
        events << QStringLiteral("error: ") + QString::fromUtf8(e.what());
    } catch (const SocketDataTransferException&) {
        events << QStringLiteral("broken");
    }
    return events;
}

QString restoreRecord(const SimMessage& message)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(message.timeMs)
        .arg(message.direction)
        .arg(base64(message.address), base64(message.body));
}

// Plays the desktop's side of a restore2 channel, batches of at most 100.
QStringList sendRestore(QTcpSocket* channel, const QList<SimMessage>& messages, bool answerDefSmsApp)
{
    QStringList events;
    try {
        const QString flag = expectCommand(channel, QStringLiteral("$defsmsapp:"), 10000);
        events << flag;
        if (flag != QLatin1String("$defsmsapp:0") && answerDefSmsApp)
            writeCommand(channel, QStringLiteral("$defsmsapp:"));
        for (qsizetype sent = 0; sent < messages.size();) {
            writeCommand(channel, QStringLiteral("$batch:"));
            const qsizetype end = std::min(messages.size(), sent + 100);
            for (; sent < end; ++sent)
                writeCommand(channel, QStringLiteral("$sms:"), restoreRecord(messages.at(sent)), false);
            writeCommand(channel, QStringLiteral("$end:"));
            const QString answer = readCommand(channel, 10000);
            events << (answer == QLatin1String("$batch:") ? QStringLiteral("ack %1").arg(sent) : answer);
            if (answer != QLatin1String("$batch:"))
                return events;
        }
        writeCommand(channel, QStringLiteral("$bye:"));
        events << QStringLiteral("bye");
    } catch (const RemoteException& e) {
        events << QStringLiteral("error: ") + QString::fromUtf8(e.what());
    } catch (const SocketDataTransferException&) {
        events << QStringLiteral("broken");
    }
    return events;
}

// Messages whose text a careless encoding would change.
QList<SimMessage> awkwardMessages()
{
    return {
        { 1356998400000, 1, QStringLiteral("+49 171 2345678"), QStringLiteral("Jürgen, \"Jay\""),
            QStringLiteral("line one\nline two\r\nthree, with commas"), QString() },
        { 1356998401234, 0, QStringLiteral("BANK-INFO"), QString(), QString(), QStringLiteral("Re: 你好") },
        { 1400000000000, 0, QStringLiteral("anna@example.org"), QStringLiteral("Анна"),
            QStringLiteral("emoji 😀👍🏽 and \\ backslash \t tab"), QString() },
        { 1500000000000, 1, QStringLiteral("(415) 555-0134"), QString(), QStringLiteral(u"nul\u0000inside"),
            QString() },
        { -1000, 0, QStringLiteral("0"), QStringLiteral(" "), QStringLiteral("  padded  "), QStringLiteral("\n") },
    };
}

} // namespace

class TestPhoneSimulator : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_messagesPath;
    QList<SimMessage> m_messages;

    QString freshMessageFile(const QString& name, const QList<SimMessage>& messages)
    {
        const QString path = m_dir.filePath(name);
        saveMessages(path, messages);
        return path;
    }

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        QVERIFY(m_dir.isValid());
        m_messages = awkwardMessages() + generateMessages(2, 3);
        m_messagesPath = freshMessageFile(QStringLiteral("phone.json"), m_messages);
    }

    void messageFileKeepsEveryField_data()
    {
        QTest::addColumn<QList<SimMessage>>("messages");
        QTest::newRow("awkward") << awkwardMessages();
        QTest::newRow("generated") << generateMessages(3000, 11);
        QTest::newRow("empty") << QList<SimMessage>();
    }

    void messageFileKeepsEveryField()
    {
        QFETCH(QList<SimMessage>, messages);
        const QString path = freshMessageFile(QStringLiteral("roundtrip.json"), messages);
        const QList<SimMessage> loaded = loadMessages(path);
        QCOMPARE(loaded.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(loaded.at(i).timeMs, messages.at(i).timeMs);
            QCOMPARE(loaded.at(i).direction, messages.at(i).direction);
            QCOMPARE(loaded.at(i).address.toUtf8(), messages.at(i).address.toUtf8());
            QCOMPARE(loaded.at(i).contactName.toUtf8(), messages.at(i).contactName.toUtf8());
            QCOMPARE(loaded.at(i).body.toUtf8(), messages.at(i).body.toUtf8());
            QCOMPARE(loaded.at(i).subject.toUtf8(), messages.at(i).subject.toUtf8());
        }
    }

    void badMessageFileIsAnError()
    {
        const QString path = m_dir.filePath(QStringLiteral("broken.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"messages\": [ {\"time\": 1,");
        file.close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, loadMessages(path));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, loadMessages(m_dir.filePath(QStringLiteral("missing.json"))));

        PhoneSimulatorProcess sim;
        QVERIFY(
            !sim.start({ QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--messages"), path }, 5000));
    }

    void generatorHasTheVarietyOfAPhone()
    {
        const QList<SimMessage> messages = generateMessages(5000, 7);
        QCOMPARE(messages.size(), 5000);
        QCOMPARE(generateMessages(5000, 7), messages);
        QVERIFY(generateMessages(5000, 8) != messages);

        QSet<QString> addresses;
        QSet<QString> countryCodes;
        QSet<QString> bodies;
        int national = 0, alphanumeric = 0, email = 0, multiLine = 0, commas = 0, quotes = 0, nonLatin = 0, astral = 0,
            emptyBodies = 0, sent = 0, duplicates = 0, named = 0;
        static const QRegularExpression countryCode(QStringLiteral("^\\+(1|7|33|44|49|55|81|86|91)"));
        for (const SimMessage& m : messages) {
            addresses.insert(m.address);
            const auto code = countryCode.match(m.address);
            if (code.hasMatch())
                countryCodes.insert(code.captured(1));
            national += m.address.startsWith(QLatin1Char('0')) || m.address.startsWith(QLatin1Char('('));
            alphanumeric += m.address.contains(QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9-]+$")));
            email += m.address.contains(QLatin1Char('@'));
            multiLine += m.body.contains(QLatin1Char('\n'));
            commas += m.body.contains(QLatin1Char(','));
            quotes += m.body.contains(QLatin1Char('"'));
            nonLatin += std::any_of(m.body.cbegin(), m.body.cend(), [](QChar c) { return c.unicode() >= 0x0400; });
            astral += std::any_of(m.body.cbegin(), m.body.cend(), [](QChar c) { return c.isHighSurrogate(); });
            emptyBodies += m.body.isEmpty();
            sent += m.direction == 1;
            named += !m.contactName.isEmpty();
            QVERIFY(m.timeMs > 1356998400000LL - 86400000LL);
        }
        for (qsizetype i = 1; i < messages.size(); ++i) {
            if (messages.indexOf(messages.at(i)) < i)
                ++duplicates;
        }
        QVERIFY2(addresses.size() > 100, qPrintable(QString::number(addresses.size())));
        QVERIFY(countryCodes.size() >= 6);
        for (int count : { national, alphanumeric, email, multiLine, commas, quotes, nonLatin, astral, emptyBodies,
                 sent, duplicates, named })
            QVERIFY(count > 0);
        QVERIFY(sent < 5000);
    }

    void deviceChannel_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("expected");

        QTest::newRow("every key") << QStringList { QStringLiteral("--model"), QStringLiteral("X"),
            QStringLiteral("--manufacturer"), QStringLiteral("Y"), QStringLiteral("--imei"), QStringLiteral("1"),
            QStringLiteral("--mmc"), QStringLiteral("460"), QStringLiteral("--root"), QStringLiteral("1") }
                                   << QStringLiteral("$hello:version=12;model=X;manufacturer=Y;imei=1;uid=sim-5f3a2c91;"
                                                     "sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0;mmc=460");
        QTest::newRow("too old") << QStringList { QStringLiteral("--too-old") } << QStringLiteral("version=9;");
        QTest::newRow("chosen version") << QStringList { QStringLiteral("--companion-version"), QStringLiteral("31") }
                                        << QStringLiteral("version=31;");
        QTest::newRow("error instead of greeting") << QStringList { QStringLiteral("--error-at"),
            QStringLiteral("hello"), QStringLiteral("--error-text"), QStringLiteral("Zugriff verweigert ✋") }
                                                   << QStringLiteral("error: Zugriff verweigert ✋");
        QTest::newRow("error instead of ready") << QStringList { QStringLiteral("--error-at"), QStringLiteral("ready") }
                                                << QStringLiteral("error: Simulated failure at ready.");
    }

    void deviceChannel()
    {
        QFETCH(QStringList, switches);
        QFETCH(QString, expected);
        PhoneSimulatorProcess sim;
        QVERIFY2(
            sim.start(QStringList { QStringLiteral("--port"), QStringLiteral("0") } + switches), qPrintable(sim.log()));
        QString result;
        try {
            auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("device2"));
            result = readCommand(channel.get(), 5000);
            writeCommand(channel.get(), QStringLiteral("$bye:"));
            // The companion hangs up after the closing line.
            QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, readLine(channel.get(), 5000));
        } catch (const RemoteException& e) {
            result = QStringLiteral("error: ") + QString::fromUtf8(e.what());
        }
        QVERIFY2(result == expected || (!expected.startsWith(QLatin1Char('$')) && result.contains(expected)),
            qPrintable(result));
    }

    void backupChannel_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QStringList>("events");

        QTest::newRow("batches of three")
            << QStringList { QStringLiteral("--batch-size"), QStringLiteral("3") }
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 3"), QStringLiteral("batch 3"),
                   QStringLiteral("batch 1"), QStringLiteral("bye") };
        QTest::newRow("default batch size")
            << QStringList()
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("no count") << QStringList { QStringLiteral("--no-count") }
                                  << QStringList { QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("count announced as 0")
            << QStringList { QStringLiteral("--count"), QStringLiteral("0") }
            << QStringList { QStringLiteral("$count:0"), QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("short record") << QStringList { QStringLiteral("--short-record"), QStringLiteral("2"),
            QStringLiteral("--batch-size"), QStringLiteral("4") }
                                      << QStringList { QStringLiteral("$count:7"),
                                             QStringLiteral("record 2 has 5 fields"), QStringLiteral("batch 4"),
                                             QStringLiteral("batch 3"), QStringLiteral("bye") };
        QTest::newRow("unknown command in a batch")
            << QStringList { QStringLiteral("--unknown-command"), QStringLiteral("3") }
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("in batch: $progress:3"),
                   QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("closed after four records") << QStringList {
            QStringLiteral("--close-after"), QStringLiteral("4"), QStringLiteral("--batch-size"), QStringLiteral("3")
        } << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 3"), QStringLiteral("broken") };
        QTest::newRow("error instead of a record")
            << QStringList { QStringLiteral("--error-at"), QStringLiteral("sms") }
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("error: Simulated failure at sms.") };
        QTest::newRow("error instead of bye") << QStringList { QStringLiteral("--error-at"), QStringLiteral("bye") }
                                              << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"),
                                                     QStringLiteral("error: Simulated failure at bye.") };
        QTest::newRow("faults only on other channels")
            << QStringList { QStringLiteral("--fault-channel"), QStringLiteral("restore2"),
                   QStringLiteral("--error-at"), QStringLiteral("sms") }
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("delay per batch") << QStringList { QStringLiteral("--batch-delay"), QStringLiteral("50"),
            QStringLiteral("--batch-size"), QStringLiteral("5") }
                                         << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 5"),
                                                QStringLiteral("batch 2"), QStringLiteral("bye") };
    }

    void backupChannel()
    {
        QFETCH(QStringList, switches);
        QFETCH(QStringList, events);
        PhoneSimulatorProcess sim;
        QVERIFY2(sim.start(QStringList { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--messages"),
                               m_messagesPath }
                     + switches),
            qPrintable(sim.log()));
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("backup2"));
        QList<QStringList> records;
        QCOMPARE(receiveBackup(channel.get(), &records), events);

        // Every complete record carries the message of the file, field by field.
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QStringList& fields = records.at(i);
            const SimMessage& message = m_messages.at(i);
            QCOMPARE(fields.at(0), QString::number(message.timeMs));
            QCOMPARE(fields.at(1), QString::number(message.direction));
            QCOMPARE(fromBase64(fields.at(2)), message.address);
            QCOMPARE(fromBase64(fields.at(3)), message.contactName);
            QCOMPARE(QByteArray::fromBase64(fields.at(4).toLatin1()), message.body.toUtf8());
            if (fields.size() == 6)
                QCOMPARE(fromBase64(fields.at(5)), message.subject);
        }
    }

    void backupOfAnEmptyPhone()
    {
        PhoneSimulatorProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--port"), QStringLiteral("0") }));
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("backup2"));
        QList<QStringList> records;
        QCOMPARE(receiveBackup(channel.get(), &records),
            (QStringList { QStringLiteral("$count:0"), QStringLiteral("bye") }));
    }

    void backupOfManyGeneratedMessages()
    {
        PhoneSimulatorProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--generate"),
            QStringLiteral("20000"), QStringLiteral("--seed"), QStringLiteral("5") }));
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("backup2"));
        QList<QStringList> records;
        const QStringList events = receiveBackup(channel.get(), &records);
        QCOMPARE(events.first(), QStringLiteral("$count:20000"));
        QCOMPARE(events.size(), 202);
        QCOMPARE(events.last(), QStringLiteral("bye"));
        const QList<SimMessage> generated = generateMessages(20000, 5);
        QCOMPARE(records.size(), generated.size());
        QCOMPARE(fromBase64(records.last().at(4)), generated.last().body);
    }

    void restoreChannel_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("answerDefSmsApp");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("stored");

        QTest::newRow("three batches") << QStringList() << 250 << true
                                       << QStringList { QStringLiteral("$defsmsapp:0"), QStringLiteral("ack 100"),
                                              QStringLiteral("ack 200"), QStringLiteral("ack 250"),
                                              QStringLiteral("bye") }
                                       << 250;
        QTest::newRow("default app first")
            << QStringList { QStringLiteral("--defsmsapp"), QStringLiteral("1") } << 3 << true
            << QStringList { QStringLiteral("$defsmsapp:1"), QStringLiteral("ack 3"), QStringLiteral("bye") } << 3;
        QTest::newRow("default app not confirmed")
            << QStringList { QStringLiteral("--defsmsapp"), QStringLiteral("2") } << 3 << false
            << QStringList { QStringLiteral("$defsmsapp:2"),
                   QStringLiteral("error: invalid feedback [$batch:], must be [$defsmsapp:]") }
            << 0;
        QTest::newRow("nothing to send") << QStringList() << 0 << true
                                         << QStringList { QStringLiteral("$defsmsapp:0"), QStringLiteral("bye") } << 0;
        QTest::newRow("batch answered with bye")
            << QStringList { QStringLiteral("--wrong-ack") } << 5 << true
            << QStringList { QStringLiteral("$defsmsapp:0"), QStringLiteral("$bye:") } << 0;
        QTest::newRow("error instead of batch answer")
            << QStringList { QStringLiteral("--error-at"), QStringLiteral("ack") } << 5 << true
            << QStringList { QStringLiteral("$defsmsapp:0"), QStringLiteral("error: Simulated failure at ack.") } << 0;
        QTest::newRow("closed after 150 records")
            << QStringList { QStringLiteral("--close-after"), QStringLiteral("150") } << 250 << true
            << QStringList { QStringLiteral("$defsmsapp:0"), QStringLiteral("ack 100"), QStringLiteral("broken") } << 0;
    }

    void restoreChannel()
    {
        QFETCH(QStringList, switches);
        QFETCH(int, count);
        QFETCH(bool, answerDefSmsApp);
        QFETCH(QStringList, events);
        QFETCH(int, stored);

        const QList<SimMessage> before = awkwardMessages();
        const QString path = freshMessageFile(
            QStringLiteral("restore-%1.json")
                .arg(QString::fromUtf8(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'))),
            before);
        PhoneSimulatorProcess sim;
        QVERIFY2(
            sim.start(QStringList { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--messages"), path }
                + switches),
            qPrintable(sim.log()));

        // What a desktop sends: the correspondent's id and the text, no contact name, no subject.
        QList<SimMessage> toSend;
        for (const SimMessage& m : generateMessages(count, 17))
            toSend.append({ m.timeMs, m.direction, m.address, QString(), m.body, QString() });
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("restore2"));
        QCOMPARE(sendRestore(channel.get(), toSend, answerDefSmsApp), events);

        if (events.last() == QLatin1String("bye")) {
            QTRY_VERIFY2_WITH_TIMEOUT(
                sim.log().contains(QLatin1String("message file saved")), qPrintable(sim.log()), 10000);
            QCOMPARE(loadMessages(path), before + toSend.mid(0, stored));
            // The restored messages are part of the phone now: a later backup delivers them.
            auto backup = openWifiChannel(sim.servicePort(), QStringLiteral("backup2"));
            QList<QStringList> records;
            receiveBackup(backup.get(), &records);
            QCOMPARE(records.size(), before.size() + stored);
        } else {
            QTest::qWait(200);
            QCOMPARE(loadMessages(path), before);
        }
    }

    void serviceAnswers_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("answer");

        const QString reason = QStringLiteral("Kein Platz ☹");
        QTest::newRow("accepted") << QStringList() << QStringLiteral("device2://127.0.0.1:%1") << QStringLiteral("1");
        QTest::newRow("refused with reason")
            << QStringList { QStringLiteral("--refuse"), reason } << QStringLiteral("backup2://127.0.0.1:%1")
            << QStringLiteral("0") + base64(reason);
        QTest::newRow("refused without reason") << QStringList { QStringLiteral("--refuse"), QString() }
                                                << QStringLiteral("backup2://127.0.0.1:%1") << QStringLiteral("0");
        QTest::newRow("refusal limited to another kind") << QStringList {
            QStringLiteral("--refuse"), reason, QStringLiteral("--fault-channel"), QStringLiteral("backup2")
        } << QStringLiteral("restore2://127.0.0.1:%1") << QStringLiteral("1");
        QTest::newRow("unknown kind") << QStringList() << QStringLiteral("upload9://127.0.0.1:%1")
                                      << QStringLiteral("0")
                + base64(QStringLiteral("unknown channel URL upload9://127.0.0.1:%1"));
        QTest::newRow("error line") << QStringList { QStringLiteral("--error-at"), QStringLiteral("service") }
                                    << QStringLiteral("device2://127.0.0.1:%1")
                                    << QStringLiteral("error: Simulated failure at service.");
    }

    void serviceAnswers()
    {
        QFETCH(QStringList, switches);
        QFETCH(QString, url);
        QFETCH(QString, answer);
        PhoneSimulatorProcess sim;
        QVERIFY2(
            sim.start(QStringList { QStringLiteral("--port"), QStringLiteral("0") } + switches), qPrintable(sim.log()));
        const quint16 port = freeLocalPort();
        QString got;
        try {
            got = requestChannel(sim.servicePort(), url.arg(port));
        } catch (const RemoteException& e) {
            got = QStringLiteral("error: ") + QString::fromUtf8(e.what());
        }
        // The reason of an unknown URL names the URL, port included.
        const QString reason = fromBase64(answer.mid(1));
        const QString expected = answer.startsWith(QLatin1Char('0')) && reason.contains(QLatin1String("%1"))
            ? QStringLiteral("0") + base64(reason.arg(port))
            : answer;
        QCOMPARE(got, expected);
        if (got == QLatin1String("1"))
            connectChannel(port);
    }

    void silentChannelCanBeRetried()
    {
        PhoneSimulatorProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--no-ready") }));
        const quint16 port = freeLocalPort();
        QCOMPARE(
            requestChannel(sim.servicePort(), QStringLiteral("device2://127.0.0.1:%1").arg(port)), QStringLiteral("1"));
        for (int attempt = 0; attempt < 2; ++attempt) {
            QElapsedTimer clock;
            clock.start();
            QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, connectChannel(port, 300));
            QVERIFY(clock.elapsed() < 3000);
        }
    }

    void usbChannelThroughTheBroker()
    {
        const QString path = freshMessageFile(QStringLiteral("usb.json"), m_messages);
        CompanionService companion;
        QCommandLineParser parser;
        companion.addOptions(parser);
        QVERIFY(parser.parse({ QStringLiteral("sim"), QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--messages"), path, QStringLiteral("--batch-size"), QStringLiteral("4") }));
        QString error;
        QVERIFY2(companion.start(parser, &error), qPrintable(error));
        QCOMPARE(companion.channelEndpoint(31234), quint16(0));

        // The emulated adb device calls the broker from its own threads; the channel runs meanwhile.
        QFuture<QStringList> run = QtConcurrent::run([&companion] {
            const QString refusal = companion.announceChannel(QStringLiteral("backup2://127.0.0.1:31234"));
            if (!refusal.isEmpty())
                return QStringList { refusal };
            const quint16 endpoint = companion.channelEndpoint(31234);
            if (endpoint == 0 || endpoint == 31234)
                return QStringList { QStringLiteral("no endpoint") };
            QList<QStringList> records;
            try {
                auto channel = connectChannel(endpoint);
                return receiveBackup(channel.get(), &records);
            } catch (const std::exception& e) {
                return QStringList { QString::fromUtf8(e.what()) };
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(run.isFinished(), 15000);
        QCOMPARE(run.result(),
            (QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 4"), QStringLiteral("batch 3"),
                QStringLiteral("bye") }));
        // Once the channel is open its endpoint stops listening.
        QTRY_COMPARE(companion.channelEndpoint(31234), quint16(0));
    }

    void usbChannelRefused()
    {
        CompanionService companion;
        QCommandLineParser parser;
        companion.addOptions(parser);
        QVERIFY(parser.parse({ QStringLiteral("sim"), QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--refuse"), QStringLiteral("storage locked") }));
        QString error;
        QVERIFY2(companion.start(parser, &error), qPrintable(error));
        QCOMPARE(companion.announceChannel(QStringLiteral("device2://127.0.0.1:20001")),
            QStringLiteral("storage locked"));
        QCOMPARE(companion.announceChannel(QStringLiteral("nonsense")),
            QStringLiteral("unknown channel URL nonsense"));
        QCOMPARE(companion.channelEndpoint(20001), quint16(0));
    }
};

QTEST_GUILESS_MAIN(TestPhoneSimulator)
#include "TestPhoneSimulator.moc"
