// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"
#include "message/MessageText.h"
#include "ops/MessageFilter.h"
#include "store/IOS6MessageDb.h"
#include "support/ScopedEnv.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

const QString program = QStringLiteral(QSMS_CLI_PROGRAM);
const QString database = QStringLiteral("Zones");

// Message n is called "mN"; conversation A is +447700900101, B +447700900102.
int at(const char* utc)
{
    return int(QDateTime::fromString(QLatin1String(utc), Qt::ISODate).toSecsSinceEpoch() - messageDateOffset);
}

} // namespace

class TestMessageFilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameMessagesAsCommandLine_data();
    void sameMessagesAsCommandLine();
};

void TestMessageFilter::initTestCase()
{
    useTemporaryHome();
    // Around the 10th of March 2024: midnight in Tokyo (UTC+9), in UTC, and in New York, which moves
    // to summer time that night.
    const QList<FixtureMessage> a { { at("2024-03-09T14:59:59Z"), QStringLiteral("m1"), false },
        { at("2024-03-09T15:00:00Z"), QStringLiteral("m2"), true },
        { at("2024-03-10T04:59:59Z"), QStringLiteral("m4"), false },
        { at("2024-03-10T05:00:00Z"), QStringLiteral("m5"), true },
        { at("2024-03-10T15:00:00Z"), QStringLiteral("m7"), false },
        { at("2024-03-10T23:59:59Z"), QStringLiteral("m8"), true },
        { at("2024-03-11T03:59:59Z"), QStringLiteral("m10"), false },
        { at("2024-03-11T04:00:00Z"), QStringLiteral("m11"), true } };
    const QList<FixtureMessage> b { { at("2024-03-10T00:00:00Z"), QStringLiteral("m3"), false },
        { at("2024-03-10T14:59:59Z"), QStringLiteral("m6"), true },
        { at("2024-03-11T00:00:00Z"), QStringLiteral("m9"), false } };
    writeStore(
        QDir(localDatabasesDir().filePath(database)), { { QStringLiteral("Ana"), a }, { QStringLiteral("Ben"), b } });
}

void TestMessageFilter::sameMessagesAsCommandLine_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("since");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QString>("chat");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, const char* zone, const char* since, const char* until, const char* chat,
                         const char* expected) {
        QTest::newRow(name) << QByteArray(zone) << QString::fromLatin1(since) << QString::fromLatin1(until)
                            << QString::fromLatin1(chat) << QString::fromLatin1(expected);
    };
    row("a day in UTC", "UTC", "2024-03-10", "2024-03-10", "", "m3 m4 m5 m6 m7 m8");
    row("a day in Tokyo", "Asia/Tokyo", "2024-03-10", "2024-03-10", "", "m2 m3 m4 m5 m6");
    row("a day of 23 hours in New York", "America/New_York", "2024-03-10", "2024-03-10", "", "m5 m6 m7 m8 m9 m10");
    row("one conversation in New York", "America/New_York", "2024-03-10", "2024-03-10", "+447700900101",
        "m5 m7 m8 m10");
    row("minutes, the last to its end", "UTC", "2024-03-10T04:59", "2024-03-10T15:00", "", "m4 m5 m6 m7");
    row("seconds, both included", "UTC", "2024-03-10T00:00:00", "2024-03-10T14:59:59", "", "m3 m4 m5 m6");
    row("from a day on", "Asia/Tokyo", "2024-03-11", "", "", "m7 m8 m9 m10 m11");
    row("up to a day, its last second included", "America/New_York", "", "2024-03-09", "+447700900101", "m1 m2 m4");
}

// The window's filter and the command line's --since, --until and --chat take the same messages, in
// the time zone of the machine, both bounds included.
void TestMessageFilter::sameMessagesAsCommandLine()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, since);
    QFETCH(QString, until);
    QFETCH(QString, chat);
    QFETCH(QString, expected);

    const ScopedTimeZone timeZone(zone);
    MessageFilter filter;
    if (!since.isEmpty())
        filter.since = *MessageFilter::parseBound(since, false);
    if (!until.isEmpty())
        filter.until = *MessageFilter::parseBound(until, true);
    filter.chatIdentifier = chat;
    IOS6MessageDb store(QDir(localDatabasesDir().filePath(database)), QString(), false);
    _MsgCollection collection;
    store.chats(collection);
    store.messages(collection, 0);
    QStringList filtered;
    for (const _MsgMessage* message : filter.apply(collection.messages().values()))
        filtered << message->text;
    filtered.sort();

    QTemporaryDir out;
    QStringList arguments { QStringLiteral("export"), database, QStringLiteral("--format"), QStringLiteral("csv"),
        QStringLiteral("--out"), out.filePath(QStringLiteral("out.csv")) };
    if (!since.isEmpty())
        arguments << QStringLiteral("--since") << since;
    if (!until.isEmpty())
        arguments << QStringLiteral("--until") << until;
    if (!chat.isEmpty())
        arguments << QStringLiteral("--chat") << chat;
    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(120000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    QFile csv(out.filePath(QStringLiteral("out.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QStringList exported;
    for (const QString& word : QString::fromUtf8(csv.readAll()).split(QRegularExpression(QStringLiteral("[^m0-9]+"))))
        if (word.size() >= 2 && word.startsWith(QLatin1Char('m')))
            exported << word;
    exported.sort();

    QStringList wanted = expected.split(QLatin1Char(' '));
    wanted.sort();
    QCOMPARE(filtered, wanted);
    QCOMPARE(exported, wanted);
}

QTEST_GUILESS_MAIN(TestMessageFilter)
#include "TestMessageFilter.moc"
