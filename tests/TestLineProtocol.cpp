// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/protocol/LineProtocol.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTime>

#include <functional>
#include <memory>

using namespace simpleprotocol;

namespace {

// The phone's end of a channel: a socket in a thread of its own, connected to the test's server,
// so that it can write while the test blocks in a read.
class PeerThread : public QThread
{
public:
    PeerThread(quint16 port, std::function<void(QTcpSocket&)> script)
        : m_port(port)
        , m_script(std::move(script))
    {
    }

protected:
    void run() override
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (!socket.waitForConnected(5000))
            return;
        m_script(socket);
        socket.flush();
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) { }
        // Stay until the test side hangs up, so nothing written is lost to a reset.
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
            socket.readAll();
    }

private:
    quint16 m_port;
    std::function<void(QTcpSocket&)> m_script;
};

void writeFully(QTcpSocket& socket, const QByteArray& bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) { }
}

// A device that accepts at most a few bytes per call and every other call none at all, like a
// socket whose send buffer is full.
class TrickleDevice : public QIODevice
{
public:
    QByteArray received;
    int waits = 0;
    bool waitFails = false;

    bool waitForBytesWritten(int) override
    {
        ++waits;
        return !waitFails;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (waitFails || (m_calls++ % 2) == 0)
            return 0;
        const qint64 taken = std::min<qint64>(size, 3);
        received.append(data, taken);
        return taken;
    }

private:
    int m_calls = 0;
};

} // namespace

class TestLineProtocol : public QObject
{
    Q_OBJECT

private:
    QTcpServer m_server;
    std::unique_ptr<PeerThread> m_peer;

    // Starts the peer with its script and returns the test's end of the channel.
    std::unique_ptr<QTcpSocket> connectPeer(std::function<void(QTcpSocket&)> script)
    {
        m_peer = std::make_unique<PeerThread>(m_server.serverPort(), std::move(script));
        m_peer->start();
        if (!m_server.waitForNewConnection(5000))
            return nullptr;
        return std::unique_ptr<QTcpSocket>(m_server.nextPendingConnection());
    }

    // A pair of connected sockets in this thread: the test's end and the phone's end.
    std::pair<std::unique_ptr<QTcpSocket>, std::unique_ptr<QTcpSocket>> localPair()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QStringLiteral("127.0.0.1"), m_server.serverPort());
        m_server.waitForNewConnection(5000);
        std::unique_ptr<QTcpSocket> accepted(m_server.nextPendingConnection());
        client->waitForConnected(5000);
        return { std::move(client), std::move(accepted) };
    }

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    void cleanup()
    {
        if (m_peer) {
            m_peer->wait(15000);
            m_peer.reset();
        }
    }

    void readLine_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("plain") << QList<QByteArray> { "$ready:\n" } << QStringList { QStringLiteral("$ready:") };
        QTest::newRow("crlf") << QList<QByteArray> { "$bye:\r\n" } << QStringList { QStringLiteral("$bye:") };
        QTest::newRow("cr anywhere") << QList<QByteArray> { "\ra\rb\r\rc\r\n" }
                                     << QStringList { QStringLiteral("abc") };
        QTest::newRow("empty line") << QList<QByteArray> { "\n" } << QStringList { QString() };
        QTest::newRow("bytes above 127 are one character each")
            << QList<QByteArray> { "\xc3\xa9\xff\x80\n" }
            << QStringList { QStringLiteral(u"\u00c3\u00a9\u00ff\u0080") };
        QTest::newRow("several lines in one piece")
            << QList<QByteArray> { "$count:3\n$batch:\n$end:\n" }
            << QStringList { QStringLiteral("$count:3"), QStringLiteral("$batch:"), QStringLiteral("$end:") };
        QTest::newRow("line in pieces with pauses") << QList<QByteArray> { "$sms:13", "56998400000,", "1\r", "\n$en",
            "d:\n" } << QStringList { QStringLiteral("$sms:1356998400000,1"), QStringLiteral("$end:") };
        QTest::newRow("long line") << QList<QByteArray> { QByteArray(300000, 'x') + '\n' }
                                   << QStringList { QString(300000, u'x') };
    }

    void readLine()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, lines);
        auto socket = connectPeer([chunks](QTcpSocket& peer) {
            for (const QByteArray& chunk : chunks) {
                writeFully(peer, chunk);
                QThread::msleep(30);
            }
        });
        QVERIFY(socket);
        for (const QString& expected : lines)
            QCOMPARE(simpleprotocol::readLine(socket.get(), 5000), expected);
    }

    void readCommand_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("exception");
        QTest::addColumn<QString>("result");

        const QString remoteText = QStringLiteral("Speicher voll – 😞");
        QTest::newRow("command") << QByteArray("$hello:version=12;mmc=460\n") << QString()
                                 << QStringLiteral("$hello:version=12;mmc=460");
        QTest::newRow("null command") << QByteArray("\r\n") << QStringLiteral("transfer")
                                      << QStringLiteral("Null command.");
        QTest::newRow("error empty") << QByteArray("$error:\n") << QStringLiteral("remote") << QString();
        QTest::newRow("error utf-8") << QByteArray("$error:" + remoteText.toUtf8().toBase64() + "\n")
                                     << QStringLiteral("remote") << remoteText;
        QTest::newRow("error not base64") << QByteArray("$error:@@@\n") << QStringLiteral("remote") << QString();
        QTest::newRow("error word is case-sensitive")
            << QByteArray("$ERROR:eA==\n") << QString() << QStringLiteral("$ERROR:eA==");
    }

    void readCommand()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, exception);
        QFETCH(QString, result);
        auto [local, phone] = localPair();
        writeFully(*phone, input);

        QString caught;
        QString text;
        try {
            text = simpleprotocol::readCommand(local.get(), 5000);
        } catch (const SocketDataTransferException& e) {
            caught = QStringLiteral("transfer");
            text = QString::fromUtf8(e.what());
        } catch (const RemoteException& e) {
            caught = QStringLiteral("remote");
            text = QString::fromUtf8(e.what());
        }
        QCOMPARE(caught, exception);
        QCOMPARE(text, result);
    }

    void expectCommandMismatchTellsThePhone()
    {
        auto [local, phone] = localPair();
        writeFully(*phone, "$bye:\n");
        const QString message = QStringLiteral("invalid feedback [$bye:], must be [$batch:]");
        try {
            expectCommand(local.get(), QStringLiteral("$batch:"), 5000);
            QFAIL("no exception");
        } catch (const LocalException& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QVERIFY(phone->waitForReadyRead(5000) || phone->canReadLine());
        QCOMPARE(phone->readLine(), QByteArray("$error:" + message.toUtf8().toBase64() + "\n"));
    }

    void phoneTextIsCut_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("start");

        const QByteArray longText(2 * 1024 * 1024, 'x');
        QTest::newRow("unexpected line") << QByteArray("$bye:" + longText + "\n")
                                         << QStringLiteral("invalid feedback [$bye:xxxxxxxx");
        QTest::newRow("error text") << QByteArray("$error:" + longText.toBase64() + "\n") << QStringLiteral("xxxxxxxx");
        const QByteArray markup = "<a href=\"file:///etc\">HERE</a>" + longText;
        QTest::newRow("markup in an unexpected line")
            << QByteArray("$bye:" + markup + "\n")
            << QStringLiteral("invalid feedback [$bye:&lt;a href=&quot;file:///etc&quot;&gt;HERE&lt;/a&gt;x");
        QTest::newRow("markup in an error text")
            << QByteArray("$error:" + markup.toBase64() + "\n")
            << QStringLiteral("&lt;a href=&quot;file:///etc&quot;&gt;HERE&lt;/a&gt;x");
    }

    void phoneTextIsCut()
    {
        // A phone's text ends up in the log, in a box and, for an unexpected line, back on the phone:
        // megabytes of it are cut to a sane size with a mark, and its markup is escaped for the box.
        QFETCH(QByteArray, line);
        QFETCH(QString, start);
        auto socket = connectPeer([line](QTcpSocket& peer) { writeFully(peer, line); });
        QVERIFY(socket);
        QString text;
        try {
            expectCommand(socket.get(), QStringLiteral("$batch:"), 10000);
        } catch (const std::exception& e) {
            text = QString::fromUtf8(e.what());
        }
        socket->abort();
        QVERIFY(text.startsWith(start));
        QVERIFY2(text.size() < 65 * 1024, qPrintable(QString::number(text.size())));
        QVERIFY2(text.contains(QLatin1String("more characters cut]")), qUtf8Printable(text.right(100)));
    }

    void expectCommandMatchReturnsWholeLine()
    {
        auto [local, phone] = localPair();
        writeFully(*phone, "$defsmsapp:1\n$Batch:\n");
        QCOMPARE(expectCommand(local.get(), QStringLiteral("$defsmsapp:"), 5000), QStringLiteral("$defsmsapp:1"));
        // Prefixes are compared with regard to case.
        QVERIFY_THROWS_EXCEPTION(LocalException, expectCommand(local.get(), QStringLiteral("$batch:"), 5000));
    }

    void writeCommandSendsUtf8()
    {
        auto [local, phone] = localPair();
        writeCommand(local.get(), QStringLiteral("$error:"), QStringLiteral("é😀,\"x\""));
        writeCommand(local.get(), QStringLiteral("$bye:"));
        QTRY_VERIFY(phone->bytesAvailable() >= 19 || phone->waitForReadyRead(100));
        QCOMPARE(phone->readAll(), QByteArray("$error:\xc3\xa9\xf0\x9f\x98\x80,\"x\"\n$bye:\n"));
    }

    void failuresOfTheConnection_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("closeAfterwards");
        QTest::addColumn<int>("timeoutMs");

        QTest::newRow("peer closes mid-line") << QByteArray("$sms:1356998400000,1,") << true << -1;
        QTest::newRow("peer closes before anything") << QByteArray() << true << -1;
        QTest::newRow("peer stays silent") << QByteArray("$rea") << false << 200;
    }

    void failuresOfTheConnection()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, closeAfterwards);
        QFETCH(int, timeoutMs);
        auto [local, phone] = localPair();
        if (!sent.isEmpty())
            writeFully(*phone, sent);
        if (closeAfterwards) {
            phone->disconnectFromHost();
            if (phone->state() != QAbstractSocket::UnconnectedState)
                phone->waitForDisconnected(1000);
        }
        QElapsedTimer clock;
        clock.start();
        try {
            simpleprotocol::readLine(local.get(), timeoutMs);
            QFAIL("no exception");
        } catch (const SocketDataTransferException& e) {
            QVERIFY(!QString::fromUtf8(e.what()).isEmpty());
        }
        QVERIFY(clock.elapsed() < 5000);
    }

    void lineLongerThanTheCapEndsTheRead()
    {
        auto socket = connectPeer([](QTcpSocket& peer) {
            const QByteArray block(1024 * 1024, 'A');
            for (int i = 0; i < 64; ++i)
                writeFully(peer, block);
            writeFully(peer, "AB\n");
        });
        QVERIFY(socket);
        try {
            simpleprotocol::readLine(socket.get(), 10000);
            QFAIL("no exception");
        } catch (const SocketDataTransferException& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("line too long."));
        }
        socket->abort();
    }

    void writeAllLoopsOnPartialWrites()
    {
        TrickleDevice device;
        QVERIFY(device.open(QIODevice::WriteOnly));
        const QByteArray line = "$sms:1356998400000,0,KzQ5MTcx,,SGk=\n";
        writeAll(&device, line, true, 1000);
        QCOMPARE(device.received, line);
        QVERIFY(device.waits > 0);

        device.waitFails = true;
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, writeAll(&device, "$end:\n", true, 1000));
        // Nothing to write succeeds without touching the device.
        writeAll(&device, QByteArray(), true, 1000);
    }

    void writingToAClosedSocketFails()
    {
        auto [local, phone] = localPair();
        local->abort();
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, writeCommand(local.get(), QStringLiteral("$bye:")));
        // The error line of LocalException cannot be written: the transfer failure leaves instead.
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, LocalException(local.get(), QStringLiteral("x")));
    }

    void choosePort_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int>("counter");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("nextCounter");

        // (7 % 4 + 1) * 10000 + 59 * 100 + 1: the counter 100 starts again at 1.
        QTest::newRow("counter 100 wraps") << QTime(10, 7, 59) << 100 << 45901 << 2;
        QTest::newRow("lowest") << QTime(0, 0, 0) << 1 << 10001 << 2;
        QTest::newRow("highest") << QTime(23, 59, 59) << 99 << 45999 << 100;
        QTest::newRow("counter 200 wraps too") << QTime(12, 4, 0) << 200 << 10001 << 2;
        QTest::newRow("mid") << QTime(8, 30, 15) << 42 << 31542 << 43;
    }

    void choosePort()
    {
        QFETCH(QTime, time);
        QFETCH(int, counter);
        QFETCH(int, port);
        QFETCH(int, nextCounter);
        setPortCounter(counter);
        QCOMPARE(simpleprotocol::choosePort(time), port);
        QCOMPARE(portCounter(), nextCounter);
    }

    void successivePortsDiffer()
    {
        setPortCounter(1);
        const int first = simpleprotocol::choosePort();
        const int second = simpleprotocol::choosePort();
        QVERIFY(first >= 10001 && first <= 45999);
        QVERIFY(first != second);
    }
};

QTEST_GUILESS_MAIN(TestLineProtocol)
#include "TestLineProtocol.moc"
