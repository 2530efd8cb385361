// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AdbCommands.h"
#include "android/AndroidDevice.h"
#include "android/protocol/ChannelProtocol.h"
#include "android/protocol/LineProtocol.h"
#include "base/DataFolders.h"
#include "store/CountryLibDb.h"
#include "support/AdbTestServer.h"
#include "support/FileBytes.h"
#include "support/LocalPorts.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/TestHome.h"
#include "support/Thrown.h"
#include "support/Words.h"
#include "tools/common/DemoMessages.h"
#include "tools/common/EdgeMessages.h"
#include "tools/common/SyntheticMessages.h"
#include "tools/phonesim/CompanionService.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
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

std::unique_ptr<QTcpSocket> connectChannel(quint16 port)
{
    auto channel = std::make_unique<QTcpSocket>();
    channel->connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!channel->waitForConnected(5000))
        throw std::runtime_error("channel port not reachable");
    expectCommand(channel.get(), QStringLiteral("$ready:"), 5000);
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

// The companion in this process, as the simulator runs it with the given switches on a free port.
bool startCompanion(CompanionService& companion, const QStringList& switches)
{
    QCommandLineParser parser;
    companion.addOptions(parser);
    QString error;
    const bool started
        = parser.parse(QStringList { QStringLiteral("sim"), QStringLiteral("--port"), QStringLiteral("0") } + switches)
        && companion.start(parser, &error);
    if (!started)
        qWarning("%s", qPrintable(parser.errorText() + error));
    return started;
}

// Over USB: asks for a greeting channel by a broadcast to the component and tries to open it once.
QString broadcastAndConnect(const QString& serial, const QString& component)
{
    const int port = freeLocalPort();
    activityManager(serial, QStringLiteral("broadcast"), component, {},
        channelprotocol::channelUrl(channelprotocol::deviceChannel, port), {}, {});
    forwardPort(serial, port, port);
    QTcpSocket channel;
    channel.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!channel.waitForConnected(5000))
        return QStringLiteral("no connection");
    try {
        expectCommand(&channel, channelprotocol::readyCommand, 3000);
        readCommand(&channel, 3000);
        writeCommand(&channel, channelprotocol::byeCommand);
        return QStringLiteral("greeted");
    } catch (const SocketDataTransferException&) {
        return QStringLiteral("no channel");
    }
}

// Over USB: pushes and installs a package file with the given content; the installer's failure code
// or "installed".
QString install(const QString& serial, const QByteArray& content)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("agent.apk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QStringLiteral("not written");
    file.close();
    const QString error = thrownText([&] { installPackage(serial, path); });
    static const QRegularExpression failure(QStringLiteral("Failure \\[([A-Z_]+)"));
    return error.isEmpty() ? QStringLiteral("installed") : failure.match(error).captured(1);
}

// Over WiFi: sends one batch holding the record; the phone's answer.
QString restoreOneRecord(quint16 servicePort, const QString& record)
{
    auto channel = openWifiChannel(servicePort, channelprotocol::restoreChannel);
    expectCommand(channel.get(), channelprotocol::defSmsAppCommand, 5000);
    writeCommand(channel.get(), channelprotocol::batchCommand);
    writeCommand(channel.get(), channelprotocol::smsCommand, record);
    writeCommand(channel.get(), channelprotocol::endCommand);
    const QString answer = readCommand(channel.get(), 5000);
    writeCommand(channel.get(), channelprotocol::byeCommand);
    return answer;
}

// Over WiFi: reads the phone's lines (acknowledging batches) up to the given command, then answers
// it with the answer, or hangs up when the answer is empty.
QString answerAfter(quint16 servicePort, const QString& kind, const QString& after, const QString& answer)
{
    auto channel = openWifiChannel(servicePort, kind);
    for (QString line = readCommand(channel.get(), 5000); !line.startsWith(after);
         line = readCommand(channel.get(), 5000)) {
        if (line == channelprotocol::endCommand)
            writeCommand(channel.get(), channelprotocol::batchCommand);
    }
    if (answer.isEmpty())
        return QStringLiteral("hung up");
    writeCommand(channel.get(), answer);
    return readCommand(channel.get(), 5000);
}

} // namespace

class TestPhoneSimulator : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AdbTestServer> m_adb;
    QString m_messagesPath;
    QList<SimMessage> m_messages;

    // Started on first use: most tests talk to the simulator without adb.
    AdbTestServer& adb()
    {
        if (!m_adb)
            m_adb = std::make_unique<AdbTestServer>();
        return *m_adb;
    }

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
        QTest::newRow("multimedia and hidden boxes") << hostileMessages() + hiddenBoxMessages(1356998400000);
    }

    void messageFileKeepsEveryField()
    {
        QFETCH(QList<SimMessage>, messages);
        const QString path = freshMessageFile(QStringLiteral("roundtrip.json"), messages);
        QCOMPARE(loadMessages(path), messages);
    }

    // Files written before multimedia messages hold text messages only, in the inbox or sent box.
    void messageFileWithoutMultimediaKeys()
    {
        const QString path = m_dir.filePath(QStringLiteral("texts-only.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"messages":[{"time":5,"direction":1,"address":"+4471","contactName":"","body":"hi",)"
                   R"("subject":""}]})");
        file.close();
        const QList<SimMessage> loaded = loadMessages(path);
        QCOMPARE(loaded.size(), 1);
        QVERIFY(!loaded.first().mms);
        QVERIFY(loaded.first().parts.isEmpty());
        QCOMPARE(messageBox(loaded.first()), 2);
        QVERIFY(inVisibleBox(loaded.first()));
    }

    void badMessageFileIsAnError()
    {
        const QString path = m_dir.filePath(QStringLiteral("broken.json"));
        QVERIFY(writeFile(path, "{\"messages\": [ {\"time\": 1,"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, loadMessages(path));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, loadMessages(m_dir.filePath(QStringLiteral("missing.json"))));

        PhoneSimulatorProcess sim;
        QVERIFY(!sim.start(SimulatorOptions::wifi(0).messages(path), 5000));
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

    void demoPhoneLooksLikeARealOne()
    {
        const QList<SimMessage> messages = generateDemoMessages(1);
        QCOMPARE(messages.size(), demoMessageCount);
        QCOMPARE(generateDemoMessages(1), messages);
        QVERIFY(generateDemoMessages(2) != messages);

        // The conversations as the desktop will form them, for the phone's own country.
        const CountryInfo britain = CountryLibDb(countryLibPath(), QStringLiteral("234")).currentCountry();
        QHash<QString, int> perConversation;
        QSet<QString> named;
        QHash<QString, int> scripts { { QStringLiteral("Arabic"), 0 }, { QStringLiteral("Chinese"), 0 },
            { QStringLiteral("Cyrillic"), 0 }, { QStringLiteral("Greek"), 0 }, { QStringLiteral("Hebrew"), 0 } };
        int sent = 0, emoji = 0, attachments = 0, longest = 0, signedInGroup = 0, sentToGroup = 0;
        static const QRegularExpression attachment(
            QStringLiteral("^\\[(Photo: IMG_\\d{8}_\\d{6}\\.jpg|Video: VID_\\d{8}_\\d{6}\\.mp4|Voice message: "
                           "AUD_\\d{8}_\\d{6}\\.m4a|Contact card: .+\\.vcf)\\]"));
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const SimMessage& m = messages.at(i);
            if (i > 0)
                QVERIFY(messages.at(i - 1).timeMs <= m.timeMs);
            const QString conversation = normalizePhoneNumber(britain, m.address);
            ++perConversation[conversation];
            if (!m.contactName.isEmpty())
                named.insert(conversation);
            sent += m.direction;
            emoji += std::any_of(m.body.cbegin(), m.body.cend(), [](QChar c) { return c.isHighSurrogate(); });
            attachments += attachment.match(m.body).hasMatch();
            longest = std::max(longest, int(m.body.size()));
            if (m.address.count(QLatin1Char(';')) >= 2) {
                sentToGroup += m.direction;
                signedInGroup += m.direction == 0 && m.body.contains(QRegularExpression(QStringLiteral("^\\w+: ")));
            }
            for (const QChar c : m.body + m.contactName) {
                const char16_t u = c.unicode();
                const QString script = u >= 0x0600 && u <= 0x06FF ? QStringLiteral("Arabic")
                    : u >= 0x4E00 && u <= 0x9FFF                  ? QStringLiteral("Chinese")
                    : u >= 0x0400 && u <= 0x04FF                  ? QStringLiteral("Cyrillic")
                    : u >= 0x0370 && u <= 0x03FF                  ? QStringLiteral("Greek")
                    : u >= 0x0590 && u <= 0x05FF                  ? QStringLiteral("Hebrew")
                                                                  : QString();
                if (!script.isEmpty())
                    ++scripts[script];
            }
        }
        QCOMPARE(perConversation.size(), demoConversationCount);
        QVERIFY2(named.size() >= 30, qPrintable(QString::number(named.size())));
        QVERIFY(messages.last().timeMs - messages.first().timeMs > 5 * 365 * 86400000LL);
        QVERIFY2(sent > 500 && sent < 1500, qPrintable(QString::number(sent)));
        QVERIFY2(emoji >= 50, qPrintable(QString::number(emoji)));
        QVERIFY2(attachments >= 20, qPrintable(QString::number(attachments)));
        QVERIFY(longest >= 1000);
        QVERIFY(signedInGroup >= 10 && sentToGroup >= 5);
        for (auto it = scripts.cbegin(); it != scripts.cend(); ++it)
            QVERIFY2(it.value() > 0, qPrintable(it.key()));

        // The simulator started as the demo phone hands over exactly this set.
        PhoneSimulatorProcess sim;
        QVERIFY(sim.start(SimulatorOptions::wifi(0).with(words("--demo"))));
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("backup2"));
        QList<QStringList> records;
        QCOMPARE(receiveBackup(channel.get(), &records).first(), QStringLiteral("$count:%1").arg(demoMessageCount));
        QCOMPARE(records.size(), messages.size());
        for (const qsizetype i : { qsizetype(0), messages.size() / 2, messages.size() - 1 }) {
            QCOMPARE(records.at(i).at(0), QString::number(messages.at(i).timeMs));
            QCOMPARE(fromBase64(records.at(i).at(4)), messages.at(i).body);
        }
    }

    void deviceChannel_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("expected");

        QTest::newRow("every key") << words("--model X --manufacturer Y --imei 1 --mmc 460 --root 1")
                                   << QStringLiteral("$hello:version=12;model=X;manufacturer=Y;imei=1;uid=sim-5f3a2c91;"
                                                     "sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0;mmc=460");
        QTest::newRow("demo phone")
            << words("--demo")
            << QStringLiteral("$hello:version=12;model=Lumen 7;manufacturer=Ostara;imei=358462112345673;"
                              "uid=a3f29c7e51d04b88;sdk=14;sdk_id=34;root=0;storage1=/storage/emulated/0;mmc=234");
        QTest::newRow("demo phone with another country")
            << words("--demo --mmc 262")
            << QStringLiteral("$hello:version=12;model=Lumen 7;manufacturer=Ostara;imei=358462112345673;"
                              "uid=a3f29c7e51d04b88;sdk=14;sdk_id=34;root=0;storage1=/storage/emulated/0;mmc=262");
    }

    void deviceChannel()
    {
        QFETCH(QStringList, switches);
        QFETCH(QString, expected);
        PhoneSimulatorProcess sim;
        QVERIFY2(sim.start(SimulatorOptions::wifi(0).with(switches)), qPrintable(sim.log()));
        auto channel = openWifiChannel(sim.servicePort(), QStringLiteral("device2"));
        QCOMPARE(readCommand(channel.get(), 5000), expected);
        writeCommand(channel.get(), QStringLiteral("$bye:"));
        // The companion hangs up after the closing line.
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, readLine(channel.get(), 5000));
    }

    void backupChannel_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QStringList>("events");

        QTest::newRow("default batch size")
            << QStringList()
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"), QStringLiteral("bye") };
        QTest::newRow("error instead of bye") << words("--error-at bye")
                                              << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"),
                                                     QStringLiteral("error: Simulated failure at bye.") };
        QTest::newRow("faults only on other channels")
            << words("--fault-channel restore2 --error-at sms")
            << QStringList { QStringLiteral("$count:7"), QStringLiteral("batch 7"), QStringLiteral("bye") };
    }

    void backupChannel()
    {
        QFETCH(QStringList, switches);
        QFETCH(QStringList, events);
        PhoneSimulatorProcess sim;
        QVERIFY2(sim.start(SimulatorOptions::wifi(0).messages(m_messagesPath).with(switches)), qPrintable(sim.log()));
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

    void serviceAnswers_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("answer");

        const QString reason = QStringLiteral("Kein Platz ☹");
        QTest::newRow("accepted") << QStringList() << QStringLiteral("device2://127.0.0.1:%1") << QStringLiteral("1");
        QTest::newRow("refusal limited to another kind") << QStringList {
            QStringLiteral("--refuse"), reason, QStringLiteral("--fault-channel"), QStringLiteral("backup2")
        } << QStringLiteral("restore2://127.0.0.1:%1") << QStringLiteral("1");
        QTest::newRow("unknown kind") << QStringList() << QStringLiteral("upload9://127.0.0.1:%1")
                                      << QStringLiteral("0")
                + base64(QStringLiteral("unknown channel URL upload9://127.0.0.1:%1"));
        QTest::newRow("error line") << words("--error-at service") << QStringLiteral("device2://127.0.0.1:%1")
                                    << QStringLiteral("error: Simulated failure at service.");
    }

    void serviceAnswers()
    {
        QFETCH(QStringList, switches);
        QFETCH(QString, url);
        QFETCH(QString, answer);
        PhoneSimulatorProcess sim;
        QVERIFY2(sim.start(SimulatorOptions::wifi(0).with(switches)), qPrintable(sim.log()));
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
        if (got == QLatin1String("1")) {
            auto channel = connectChannel(port);
            if (url.startsWith(channelprotocol::deviceChannel)) {
                readCommand(channel.get(), 5000);
                writeCommand(channel.get(), channelprotocol::byeCommand);
            }
        }
        // Asking for a channel with anything but a channel URL is the desktop's fault.
        QCOMPARE(sim.stopAndTakeViolations().size(), url.startsWith(QLatin1String("upload9")) ? 1 : 0);
    }

    void usbChannelRefused()
    {
        CompanionService companion;
        QVERIFY(startCompanion(companion, { QStringLiteral("--refuse"), QStringLiteral("storage locked") }));
        QCOMPARE(
            companion.announceChannel(QStringLiteral("device2://127.0.0.1:20001")), QStringLiteral("storage locked"));
        QCOMPARE(companion.announceChannel(QStringLiteral("nonsense")), QStringLiteral("unknown channel URL nonsense"));
        QCOMPARE(companion.channelEndpoint(20001), quint16(0));
    }

    // Each row a desktop that breaks the protocol in one way (and a few that keep it): what it sees,
    // and the violation the simulator counts, which fails the test of such a desktop.
    void desktopMisbehaviourIsRefused_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("violation");

        const QString receiver = QStringLiteral("com.quillbarrow.smsagent/.AdbSyncBroadcastReceiver");
        const QString hi = base64(QStringLiteral("hi"));
        const QString number = base64(QStringLiteral("+4471"));
        const char* bad = "invalid sms record [$sms:";
        const QString record = QStringLiteral("1356998400000,1,%1,%2");
        const auto row = [](const char* name, const char* fault, const QString& detail, const char* switches,
                             const char* seen, const char* violation) {
            QTest::newRow(name) << QString::fromLatin1(fault) << detail << words(switches) << QString::fromLatin1(seen)
                                << QString::fromLatin1(violation);
        };

        row("companion's receiver", "broadcast", receiver, "", "greeted", "");
        row("fully named receiver", "broadcast",
            QStringLiteral("com.quillbarrow.smsagent/com.quillbarrow.smsagent.AdbSyncBroadcastReceiver"), "", "greeted",
            "");
        row("wrong receiver", "broadcast", QStringLiteral("com.quillbarrow.smsagent/.SyncReceiver"), "", "no channel",
            "not to the companion's receiver");
        row("companion not installed", "broadcast", receiver, "--packages android", "no channel", "");
        row("companion's package", "install", QString(), "", "installed", "");
        row("not a package", "install", QStringLiteral("text"), "", "INSTALL_PARSE_FAILED_NOT_APK", "");
        row("another archive", "install", QStringLiteral("altered"), "", "INSTALL_PARSE_FAILED_NO_CERTIFICATES", "");
        row("good record", "record", record.arg(number, hi), "", "$batch:", "");
        row("empty body", "record", QStringLiteral("-1000,0,%1,").arg(number), "", "$batch:", "");
        row("five fields", "record", record.arg(number, hi) + QLatin1Char(',') + hi, "", bad, "5 fields instead of 4");
        row("three fields", "record", QStringLiteral("1356998400000,1,%1").arg(number), "", bad,
            "3 fields instead of 4");
        row("bad direction", "record", QStringLiteral("1356998400000,2,%1,%2").arg(number, hi), "", bad, "direction");
        row("time in seconds with a fraction", "record", QStringLiteral("1356998400.5,1,%1,%2").arg(number, hi), "",
            bad, "time");
        row("bad base64", "record", record.arg(number, QStringLiteral("aGk")), "", bad, "body is not base64");
        row("base64 of no UTF-8", "record", record.arg(QString::fromLatin1(QByteArray("\xff\xfe").toBase64()), hi), "",
            bad, "address is not base64");
        row("no closing bye after the greeting", "answer", QStringLiteral("device2|$hello:|"), "", "hung up",
            "without its closing $bye:");
        row("no closing bye after a load", "answer", QStringLiteral("backup2|$bye:|"), "", "hung up",
            "without its closing $bye:");
        row("unexpected line for a batch", "answer", QStringLiteral("backup2|$end:|$hello:"), "",
            "invalid feedback [$hello:], must be [$batch:]", "invalid feedback [$hello:]");
        row("default app not confirmed", "answer", QStringLiteral("restore2|$defsmsapp:|$batch:"), "--defsmsapp 2",
            "invalid feedback [$batch:], must be [$defsmsapp:]", "invalid feedback [$batch:]");
        row("unasked default app answer", "answer", QStringLiteral("restore2|$defsmsapp:|$defsmsapp:"), "",
            "invalid feedback [$defsmsapp:], must be [$batch:]", "invalid feedback [$defsmsapp:]");
    }

    void desktopMisbehaviourIsRefused()
    {
        QFETCH(QString, fault);
        QFETCH(QString, detail);
        QFETCH(QStringList, switches);
        QFETCH(QString, seen);
        QFETCH(QString, violation);

        const bool overUsb = fault == QLatin1String("broadcast") || fault == QLatin1String("install");
        PhoneSimulatorProcess sim;
        const QString file = freshMessageFile(QStringLiteral("misbehaviour.json"), m_messages);
        SimulatorOptions options = overUsb ? SimulatorOptions::usb() : SimulatorOptions::wifi(0);
        QVERIFY2(sim.start(options.messages(file).with(switches)), qPrintable(sim.log()));
        QString serial;
        if (overUsb) {
            serial = adb().connectDevice(sim);
            QVERIFY2(!serial.isEmpty(), qPrintable(sim.log()));
        }

        QString outcome;
        try {
            if (fault == QLatin1String("broadcast")) {
                outcome = broadcastAndConnect(serial, detail);
            } else if (fault == QLatin1String("install")) {
                QFile package(QStringLiteral(":/res/com.quillbarrow.smsagent.apk"));
                QVERIFY(package.open(QIODevice::ReadOnly));
                QByteArray content = package.readAll();
                if (detail == QLatin1String("text"))
                    content = "not an archive\n";
                else if (detail == QLatin1String("altered"))
                    content[content.size() / 2] = char(content.at(content.size() / 2) ^ 0x20);
                outcome = install(serial, content);
            } else if (fault == QLatin1String("record")) {
                outcome = restoreOneRecord(sim.servicePort(), detail);
            } else {
                const QStringList parts = detail.split(QLatin1Char('|'));
                outcome = answerAfter(sim.servicePort(), parts.at(0), parts.at(1), parts.at(2));
            }
        } catch (const RemoteException& e) {
            outcome = QString::fromUtf8(e.what());
        } catch (const std::exception& e) {
            outcome = QStringLiteral("failed: ") + QString::fromUtf8(e.what());
        }
        QVERIFY2(outcome.startsWith(seen), qPrintable(outcome));

        const QStringList violations = sim.stopAndTakeViolations();
        if (violation.isEmpty()) {
            QVERIFY2(violations.isEmpty(), qPrintable(violations.join(QLatin1Char('\n'))));
        } else {
            QCOMPARE(violations.size(), 1);
            QVERIFY2(violations.first().contains(violation), qPrintable(violations.first()));
        }
        if (overUsb)
            adb().disconnectDevice(serial);
    }

    // The desktop's own USB channel opening against a companion that starts listening late: adb
    // closes the early forwarded connections at once, and the desktop tries again at once.
    void usbChannelOpensOnceTheCompanionListens()
    {
        PhoneSimulatorProcess sim;
        QVERIFY(sim.start(SimulatorOptions::usb().with(words("--usb-listen-delay 1500"))));
        AndroidDevice device;
        device.serial = adb().connectDevice(sim);
        QVERIFY2(!device.serial.isEmpty(), qPrintable(sim.log()));

        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QTcpSocket> channel;
        const QString error = thrownText([&] {
            channel.reset(device.openChannel(
                channelprotocol::channelUrl(channelprotocol::deviceChannel, freeLocalPort()), 10000));
        });
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(error.isEmpty(), qPrintable(error + QLatin1Char('\n') + sim.log()));
        QVERIFY(readCommand(channel.get(), 5000).startsWith(channelprotocol::helloCommand));
        writeCommand(channel.get(), channelprotocol::byeCommand);
        channel.reset();

        // A connection left open by adb would have cost the first attempt its whole 5 s wait.
        QVERIFY2(elapsed >= 1400 && elapsed < 4000, qPrintable(QString::number(elapsed)));
        QVERIFY2(sim.log().contains(QLatin1String("no channel for tcp:")), qPrintable(sim.log()));
        adb().disconnectDevice(device.serial);
    }
};

QTEST_GUILESS_MAIN(TestPhoneSimulator)
#include "TestPhoneSimulator.moc"
