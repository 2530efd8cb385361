// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/ContentQuery.h"
#include "support/AdbTestServer.h"
#include "support/PhoneSimulatorProcess.h"
#include "support/TestHome.h"
#include "support/Words.h"
#include "tools/common/DemoMessages.h"
#include "tools/common/EdgeMessages.h"

#include <QProcess>
#include <QSet>
#include <QTest>

#include <functional>

using namespace contentquery;

namespace {

// What Android's `content query` prints for rows of `_id` and one text column; a null text prints
// as NULL.
QByteArray printed(const QList<qint64>& ids, const QString& column, const QStringList& texts)
{
    QByteArray out;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const QByteArray text = texts.at(i).isNull() ? QByteArray("NULL") : texts.at(i).toUtf8();
        out += "Row: " + QByteArray::number(i) + " _id=" + QByteArray::number(ids.at(i)) + ", " + column.toUtf8() + '='
            + text + '\n';
    }
    return ids.isEmpty() ? QByteArray("No result found.\n") : out;
}

// Reads one text column the way a loader must: the whole output, then each unsure row alone.
ContentRows readTextColumn(const std::function<QByteArray(const QString& where)>& query, const QString& column,
    const QList<qint64>& ids, const std::optional<QList<qint64>>& nulls)
{
    const qint64 max = ids.isEmpty() ? 0 : *std::max_element(ids.cbegin(), ids.cend());
    ContentRows rows = parseTextColumn(query(QStringLiteral("_id<=%1").arg(max)), column, ids, nulls);
    for (const qint64 id : rows.unsureIds()) {
        const std::optional<QList<qint64>> single = nulls
            ? std::optional<QList<qint64>>(nulls->contains(id) ? QList<qint64> { id } : QList<qint64>())
            : std::nullopt;
        rows.resolve(parseTextColumn(query(QStringLiteral("_id=%1").arg(id)), column, { id }, single));
    }
    return rows;
}

struct ShellRun
{
    QByteArray out;
    QByteArray err;
    int exitCode = -1;
};

// `adb -s SERIAL shell COMMAND` through the real adb, both streams and the exit status kept apart.
ShellRun adbShell(const QString& serial, const QString& command)
{
    QProcess adb;
    adb.start(QStringLiteral("adb"), { QStringLiteral("-s"), serial, QStringLiteral("shell"), command });
    adb.closeWriteChannel();
    if (!adb.waitForFinished(60000))
        adb.kill();
    return { adb.readAllStandardOutput(), adb.readAllStandardError(), adb.exitCode() };
}

// The rows of one provider table as a loader reads them through adb: ids, then each text column
// alone with the ids of its NULLs, then the ids again to show that none vanished meanwhile.
struct ProviderRead
{
    QList<qint64> ids;
    ContentRows integers;
    QHash<QString, ContentRows> texts;
};

ProviderRead readProvider(
    const QString& serial, const QString& uri, const QStringList& integerColumns, const QStringList& textColumns)
{
    ProviderRead read;
    const QString byId = QStringLiteral("_id ASC");
    const auto run = [&](const QStringList& projection, const QString& where) {
        const ShellRun result = adbShell(serial, queryCommand(uri, projection, where, byId));
        if (result.exitCode != 0 || !result.err.isEmpty())
            throw std::runtime_error(("content query failed: " + result.err).toStdString());
        return result.out;
    };
    read.ids = parseIds(run({ QStringLiteral("_id") }, QString()));
    const QString upToMax = QStringLiteral("_id<=%1").arg(read.ids.isEmpty() ? 0 : read.ids.last());
    read.integers = parseIntegerRows(
        run(QStringList { QStringLiteral("_id") } + integerColumns, upToMax), integerColumns, read.ids);
    for (const QString& column : textColumns) {
        const QList<qint64> nulls
            = parseIds(run({ QStringLiteral("_id") }, upToMax + QStringLiteral(" AND %1 IS NULL").arg(column)));
        read.texts.insert(column,
            readTextColumn(
                [&](const QString& where) {
                    return run({ QStringLiteral("_id"), column }, where);
                },
                column, read.ids, nulls));
    }
    if (parseIds(run({ QStringLiteral("_id") }, upToMax)) != read.ids)
        throw std::runtime_error("rows vanished while reading");
    return read;
}

QString textOf(const ContentRows& rows, qsizetype row)
{
    const ContentValue& value = rows.value(row, 1);
    return value.null ? QString() : value.text;
}

} // namespace

class TestContentQuery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AdbTestServer> m_adb;
    PhoneSimulatorProcess m_phone;
    QString m_serial;
    // A phone whose maker keeps the message providers from the shell.
    PhoneSimulatorProcess m_refusing;
    QString m_refusingSerial;
    QList<SimMessage> m_stored;

private slots:
    void initTestCase()
    {
        useTemporaryHome();
        m_adb = std::make_unique<AdbTestServer>();
        QVERIFY(m_phone.start(words("--port 0 --demo --hostile-messages --hidden-boxes")));
        m_serial = m_adb->connectDevice(m_phone);
        QVERIFY2(!m_serial.isEmpty(), qPrintable(m_phone.log()));
        QVERIFY(m_refusing.start(words("--port 0 --demo --content-denied sms,mms")));
        m_refusingSerial = m_adb->connectDevice(m_refusing);
        QVERIFY(!m_refusingSerial.isEmpty());
        // The store as the simulator builds it for these switches.
        m_stored = hostileMessages() + generateDemoMessages(1) + generateDemoMultimedia(1);
    }

    void cleanupTestCase()
    {
        for (const QString& serial : { m_serial, m_refusingSerial }) {
            if (m_adb && !serial.isEmpty())
                m_adb->disconnectDevice(serial);
        }
        m_phone.stop();
        m_refusing.stop();
        m_adb.reset();
    }

    // Each row: a text put in the middle of four rows and read back; {next} and {prev} stand for the
    // exact line starts of the rows around it, {self} for its own.
    void textReadsBackExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("See you at 8");
        QTest::newRow("empty") << QStringLiteral("");
        QTest::newRow("NULL as text") << QStringLiteral("NULL");
        QTest::newRow("no result line") << QStringLiteral("No result found.");
        QTest::newRow("pairs") << QStringLiteral("Hi, date=1700000000000, type=2, body=x");
        QTest::newRow("fake next row") << QStringLiteral("a{next}b");
        QTest::newRow("fake next row at the end") << QStringLiteral("a{next}");
        QTest::newRow("fake next row alone") << QStringLiteral("{next}");
        QTest::newRow("fake own and previous rows") << QStringLiteral("{self}x{prev}y");
        QTest::newRow("next row twice") << QStringLiteral("{next}{next}\n");
        QTest::newRow("other row numbers") << QStringLiteral("\nRow: 5 _id=42, body=\nRow: 2 _id=11, body=\nRow: 3 ");
        QTest::newRow("line breaks") << QStringLiteral("\n\r\nline\n\n");
        QTest::newRow("emoji") << QStringLiteral("😀👍🏽 👨‍👩‍👧 🇬🇧 ❤️");
        QTest::newRow("right to left") << QStringLiteral("שלום, body=مرحبا\u200f\u202e");
        QTest::newRow("trailing spaces") << QStringLiteral("spaces   ");
        QTest::newRow("trailing backslash") << QStringLiteral("back\\");
        QTest::newRow("quotes") << QStringLiteral("' \" ` '\\''");
        QTest::newRow("control characters") << QStringLiteral("\t\x01\x1b[0m");
    }

    void textReadsBackExactly()
    {
        QFETCH(QString, text);
        const QList<qint64> ids { 3, 10, 11, 40 };
        const QString column = QStringLiteral("body");
        const auto lineStart
            = [&](int row) { return QStringLiteral("\nRow: %1 _id=%2, body=").arg(row).arg(ids.value(row)); };
        QStringList texts { QStringLiteral("before"), text, text, QStringLiteral("after\n") };
        for (int row = 1; row <= 2; ++row) {
            texts[row].replace(QLatin1String("{next}"), lineStart(row + 1));
            texts[row].replace(QLatin1String("{prev}"), lineStart(row - 1));
            texts[row].replace(QLatin1String("{self}"), lineStart(row));
        }
        // A NULL in the first row, next to the text "NULL" that must stay a text.
        texts[0] = QString();
        const QList<qint64> nulls { 3 };

        const ContentRows rows = readTextColumn(
            [&](const QString& where) {
                if (where.startsWith(QLatin1String("_id<=")))
                    return printed(ids, column, texts);
                const qint64 id = where.mid(4).toLongLong();
                return printed({ id }, column, { texts.at(ids.indexOf(id)) });
            },
            column, ids, nulls);
        QVERIFY(rows.unsureIds().isEmpty());
        QCOMPARE(rows.ids(), ids);
        QVERIFY(rows.value(0, 1).null);
        for (qsizetype row = 1; row < ids.size(); ++row) {
            QVERIFY(!rows.value(row, 1).null);
            QCOMPARE(rows.value(row, 1).text.toUtf8(), texts.at(row).toUtf8());
        }
        QCOMPARE(rows.row(3).value(QStringLiteral("_id")).number, 40);
    }

    // Outputs that are not exactly the expected rows are refused, never read as something else.
    void otherRowsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("integers");

        QTest::newRow("a row vanished") << QByteArray("Row: 0 _id=1, body=a\nRow: 1 _id=3, body=c\n") << false;
        QTest::newRow("rows swapped") << QByteArray(
            "Row: 0 _id=1, body=a\nRow: 1 _id=3, body=c\nRow: 2 _id=2, body=b\n")
                                      << false;
        QTest::newRow("no final line break")
            << QByteArray("Row: 0 _id=1, body=a\nRow: 1 _id=2, body=b\nRow: 2 _id=3, body=c") << false;
        QTest::newRow("no rows") << QByteArray("No result found.\n") << false;
        QTest::newRow("error text") << QByteArray("Error while accessing provider:sms\n") << false;
        QTest::newRow("other column") << QByteArray(
            "Row: 0 _id=1, text=a\nRow: 1 _id=2, text=b\nRow: 2 _id=3, text=c\n")
                                      << false;
        QTest::newRow("text in an integer column") << QByteArray(
            "Row: 0 _id=1, date=5, type=2, type=1\nRow: 1 _id=2, date=6, type=1\nRow: 2 _id=3, date=7, "
            "type=1\n") << true;
        QTest::newRow("line in an integer column") << QByteArray(
            "Row: 0 _id=1, date=5, type=1\nRow: 1 _id=2, date=6, type=1\nRow: 2 _id=3, date=7\nRow: "
            "2 _id=3, date=7, type=1\n") << true;
        QTest::newRow("leading zero") << QByteArray("Row: 0 _id=1, date=05, type=1\nRow: 1 _id=2, date=6, type=1\nRow: "
                                                    "2 _id=3, date=7, type=1\n")
                                      << true;
        QTest::newRow("one row too many")
            << QByteArray("Row: 0 _id=1, date=5, type=1\nRow: 1 _id=2, date=6, type=1\nRow: 2 _id=3, date=7, "
                          "type=1\nRow: 3 _id=4, date=8, type=1\n")
            << true;
        QTest::newRow("overflow") << QByteArray("Row: 0 _id=1, date=9223372036854775808, type=1\nRow: 1 _id=2, "
                                                "date=6, type=1\nRow: 2 _id=3, date=7, type=1\n")
                                  << true;
    }

    void otherRowsAreRefused()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, integers);
        const QList<qint64> ids { 1, 2, 3 };
        if (integers) {
            QVERIFY_THROWS_EXCEPTION(
                ContentQueryError, parseIntegerRows(output, { QStringLiteral("date"), QStringLiteral("type") }, ids));
        } else {
            QVERIFY_THROWS_EXCEPTION(ContentQueryError, parseTextColumn(output, QStringLiteral("body"), ids));
        }
    }

    void integerRowsKeepNullsAndSigns()
    {
        const ContentRows rows = parseIntegerRows(
            "Row: 0 _id=7, date=-9223372036854775808, status=NULL\nRow: 1 _id=9, date=0, status=-1\n",
            { QStringLiteral("date"), QStringLiteral("status") }, { 7, 9 });
        QCOMPARE(rows.value(0, 1).number, std::numeric_limits<qint64>::min());
        QVERIFY(rows.value(0, 2).null);
        QCOMPARE(rows.value(1, 2).number, -1);
        QCOMPARE(rows.columnIndex(u"status"), 2);
    }

    // Words quoted for the phone's shell come back unchanged from `echo` through the real adb.
    void shellQuotingSurvivesThePhoneShell_data()
    {
        QTest::addColumn<QString>("word");
        for (const QString& word : { QStringLiteral("plain"), QStringLiteral("it's"), QStringLiteral("two  spaces"),
                 QStringLiteral("$HOME $(id) `id`"), QStringLiteral("\\"), QStringLiteral("\"\\\""),
                 QStringLiteral("<>|&;()"), QStringLiteral("#not a comment"), QStringLiteral("*"),
                 QStringLiteral("line\nbreak"), QStringLiteral("_id<=5 AND address='a, b'"), QStringLiteral("😀 עב") })
            QTest::newRow(qPrintable(word)) << word;
    }

    void shellQuotingSurvivesThePhoneShell()
    {
        QFETCH(QString, word);
        const ShellRun echo = adbShell(m_serial, QStringLiteral("echo ") + shellQuote(word));
        QCOMPARE(echo.err, QByteArray());
        QCOMPARE(echo.out, word.toUtf8() + '\n');
    }

    // The selections and orders a loader sends, over the hostile messages (text message ids 1 to 14,
    // the multimedia message 1 with parts 1 to 3).
    void selectionsAndOrders_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("sort");
        QTest::addColumn<QList<qint64>>("expected");
        const QString sms = QStringLiteral("content://sms");
        const QString ascending = QStringLiteral("_id ASC");
        QTest::newRow("up to") << sms << "_id<=3" << ascending << QList<qint64> { 1, 2, 3 };
        QTest::newRow("descending") << sms << "_id<=3"
                                    << "_id DESC" << QList<qint64> { 3, 2, 1 };
        QTest::newRow("above and below") << sms << "_id < 3 OR _id >= 99999999" << ascending << QList<qint64> { 1, 2 };
        QTest::newRow("in") << sms << "_id IN (1, 4, 99999999)" << ascending << QList<qint64> { 1, 4 };
        QTest::newRow("sent among the first")
            << sms << "_id<=10 AND type=2" << ascending << QList<qint64> { 2, 5, 9, 10 };
        QTest::newRow("not and parentheses")
            << sms << "(_id=1 OR _id=2 OR _id=4) AND NOT type=2" << ascending << QList<qint64> { 1, 4 };
        QTest::newRow("subject not null")
            << sms << "_id<=14 AND subject IS NOT NULL" << ascending << QList<qint64> { 2, 3 };
        QTest::newRow("text NULL is not NULL")
            << sms << "body = 'NULL' AND body IS NOT NULL" << ascending << QList<qint64> { 3 };
        QTest::newRow("quoted text") << sms << "address = 'Info, address=+1'" << ascending << QList<qint64> { 13 };
        QTest::newRow("backslash is no escape")
            << sms << "body = 'trailing backslash \\'" << ascending << QList<qint64> { 10 };
        QTest::newRow("doubled quote") << sms << "_id<=2 AND body <> 'it''s'" << ascending << QList<qint64> { 1, 2 };
        QTest::newRow("parts of a message") << QStringLiteral("content://mms/part") << "mid=1"
                                            << "_id DESC" << QList<qint64> { 3, 2, 1 };
    }

    void selectionsAndOrders()
    {
        QFETCH(QString, uri);
        QFETCH(QString, where);
        QFETCH(QString, sort);
        QFETCH(QList<qint64>, expected);
        const ShellRun run = adbShell(m_serial, queryCommand(uri, { QStringLiteral("_id") }, where, sort));
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(parseIds(run.out), expected);
    }

    // What the phone's shell makes of a command line: both streams and the exit status apart.
    void shellRunsCommandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("sequence") << "echo a; echo b" << QByteArray("a\nb\n") << QByteArray() << 0;
        QTest::newRow("and, or") << "nosuch && echo no || echo yes" << QByteArray("yes\n")
                                 << QByteArray("/system/bin/sh: nosuch: not found\n") << 0;
        QTest::newRow("not found") << "nosuch" << QByteArray() << QByteArray("/system/bin/sh: nosuch: not found\n")
                                   << 127;
        QTest::newRow("errors into output")
            << "nosuch 2>&1" << QByteArray("/system/bin/sh: nosuch: not found\n") << QByteArray() << 127;
        QTest::newRow("output discarded")
            << "echo a >/dev/null; getprop ro.product.brand" << QByteArray("ostara\n") << QByteArray() << 0;
        QTest::newRow("unclosed quote") << "echo 'a" << QByteArray()
                                        << QByteArray("/system/bin/sh: syntax error: no closing quote\n") << 1;
        QTest::newRow("unquoted redirection")
            << "content query --uri content://sms --where _id<=5" << QByteArray()
            << QByteArray("/system/bin/sh: can't open =5: No such file or directory\n") << 1;
        QTest::newRow("double quotes keep backslashes")
            << "echo \"a\\b\\$HOME\\\"\"" << QByteArray("a\\b$HOME\"\n") << QByteArray() << 0;
        QTest::newRow("content without a value")
            << "content query --uri" << QByteArray("[ERROR] No value for argument: --uri\n") << QByteArray() << 0;
        QTest::newRow("content with a write")
            << "content insert --uri content://sms" << QByteArray("[ERROR] Unsupported operation: insert\n")
            << QByteArray() << 0;
    }

    void shellRunsCommandLines()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(int, exitCode);
        const ShellRun run = adbShell(m_serial, command);
        // The tool's usage text comes before its error line.
        QCOMPARE(out.startsWith("[ERROR]") ? run.out.mid(run.out.lastIndexOf("[ERROR]")) : run.out, out);
        QCOMPARE(run.err, err);
        QCOMPARE(run.exitCode, exitCode);
    }

    // The text messages through the real adb and the simulator, hostile ones first: each text column
    // read back exactly, NULL apart from "NULL", and nothing of the hidden boxes.
    void textMessagesReadBackExactly()
    {
        const ProviderRead read = readProvider(m_serial, QStringLiteral("content://sms"),
            { QStringLiteral("date"), QStringLiteral("type") },
            { QStringLiteral("address"), QStringLiteral("body"), QStringLiteral("subject") });
        QList<SimMessage> expected;
        for (const SimMessage& m : m_stored) {
            if (!m.mms)
                expected.append(m);
        }
        QCOMPARE(read.ids.size(), expected.size());
        // The four hidden text messages keep their ids: the shell sees a gap of four.
        QCOMPARE(read.ids.last() - read.ids.first() + 1, expected.size() + 4);
        for (qsizetype row = 0; row < expected.size(); ++row) {
            const SimMessage& m = expected.at(row);
            QCOMPARE(read.integers.value(row, 1).number, m.timeMs);
            QCOMPARE(read.integers.value(row, 2).number, m.direction == 1 ? 2 : 1);
            QCOMPARE(textOf(read.texts.value(QStringLiteral("body")), row).toUtf8(), m.body.toUtf8());
            QCOMPARE(textOf(read.texts.value(QStringLiteral("address")), row).toUtf8(), m.address.toUtf8());
            QCOMPARE(textOf(read.texts.value(QStringLiteral("subject")), row).toUtf8(), m.subject.toUtf8());
        }
        QVERIFY(!read.texts.value(QStringLiteral("subject")).value(1, 1).null);
        QVERIFY(read.texts.value(QStringLiteral("subject")).value(0, 1).null);

        for (const QString& uri : { QStringLiteral("content://sms/draft"), QStringLiteral("content://sms/outbox") })
            QCOMPARE(adbShell(m_serial, queryCommand(uri, {})).out, QByteArray("No result found.\n"));
        QCOMPARE(adbShell(m_serial,
                     queryCommand(QStringLiteral("content://sms"), { QStringLiteral("_id") },
                         QStringLiteral("type IN (3, 4, 5, 6) OR body = 'draft never sent'")))
                     .out,
            QByteArray("No result found.\n"));
    }

    // Multimedia messages: their parts (texts exact, pictures byte for byte), the members of the
    // group message, and hidden drafts and outbox messages left out.
    void multimediaMessagesReadBackExactly()
    {
        QList<const SimMessage*> expected;
        for (const SimMessage& m : m_stored) {
            if (m.mms)
                expected.append(&m);
        }
        const ProviderRead messages = readProvider(
            m_serial, QStringLiteral("content://mms"), { QStringLiteral("date"), QStringLiteral("msg_box") }, {});
        QCOMPARE(messages.ids.size(), expected.size());
        const ProviderRead parts = readProvider(m_serial, QStringLiteral("content://mms/part"),
            { QStringLiteral("mid"), QStringLiteral("seq") },
            { QStringLiteral("ct"), QStringLiteral("name"), QStringLiteral("text") });
        const ContentRows& types = parts.texts.value(QStringLiteral("ct"));
        const ContentRows& names = parts.texts.value(QStringLiteral("name"));
        const ContentRows& texts = parts.texts.value(QStringLiteral("text"));

        qsizetype part = 0;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const SimMessage& m = *expected.at(i);
            QCOMPARE(messages.integers.value(i, 1).number, m.timeMs / 1000);
            QCOMPARE(messages.integers.value(i, 2).number, m.direction == 1 ? 2 : 1);
            // Each message starts with its layout part.
            QCOMPARE(parts.integers.value(part, 1).number, messages.ids.at(i));
            QCOMPARE(textOf(types, part), QStringLiteral("application/smil"));
            ++part;
            for (const SimPart& stored : m.parts) {
                QCOMPARE(parts.integers.value(part, 1).number, messages.ids.at(i));
                QCOMPARE(textOf(types, part), stored.contentType);
                if (stored.data.isEmpty()) {
                    QVERIFY(names.value(part, 1).null);
                    QCOMPARE(textOf(texts, part).toUtf8(), stored.text.toUtf8());
                } else {
                    QCOMPARE(textOf(names, part), stored.name);
                    QVERIFY(texts.value(part, 1).null);
                    const ShellRun file = adbShell(
                        m_serial, readCommand(QStringLiteral("content://mms/part/%1").arg(parts.ids.at(part))));
                    QCOMPARE(file.err, QByteArray());
                    QCOMPARE(file.out.size(), stored.data.size());
                    QVERIFY(file.out == stored.data);
                }
                ++part;
            }
        }
        QCOMPARE(part, parts.ids.size());

        // The group message names who sent it, the phone's own number and the other members.
        const qsizetype group = std::find_if(expected.cbegin(), expected.cend(), [](const SimMessage* m) {
            return m->address.count(QLatin1Char(';')) >= 2;
        }) - expected.cbegin();
        QVERIFY(group < expected.size());
        const ProviderRead members
            = readProvider(m_serial, QStringLiteral("content://mms/%1/addr").arg(messages.ids.at(group)),
                { QStringLiteral("type") }, { QStringLiteral("address") });
        QStringList from, to;
        for (qsizetype row = 0; row < members.ids.size(); ++row) {
            const QString address = textOf(members.texts.value(QStringLiteral("address")), row);
            (members.integers.value(row, 1).number == 137 ? from : to).append(address);
        }
        const SimMessage& sent = *expected.at(group);
        QCOMPARE(from, QStringList { sent.sender });
        QStringList others = sent.address.split(QLatin1Char(';'));
        others.removeAll(sent.sender);
        QCOMPARE(to, QStringList { QStringLiteral("+447700900077") } + others);

        // The parts of hidden drafts leave a gap, and they cannot be read either.
        qsizetype gap = 1;
        while (gap < parts.ids.size() && parts.ids.at(gap) == parts.ids.at(gap - 1) + 1)
            ++gap;
        QVERIFY(gap < parts.ids.size());
        const ShellRun hidden
            = adbShell(m_serial, readCommand(QStringLiteral("content://mms/part/%1").arg(parts.ids.at(gap - 1) + 1)));
        QCOMPARE(hidden.out, QByteArray());
        QVERIFY2(providerError(hidden.err).startsWith(QLatin1String("java.io.FileNotFoundException: No entry for")),
            hidden.err.constData());
    }

    void contactsAndPropertiesAsAndroidPrintsThem()
    {
        const ProviderRead contacts
            = readProvider(m_serial, QStringLiteral("content://com.android.contacts/data/phones"), {},
                { QStringLiteral("display_name"), QStringLiteral("number") });
        QSet<QPair<QString, QString>> read;
        for (qsizetype row = 0; row < contacts.ids.size(); ++row) {
            read.insert({ textOf(contacts.texts.value(QStringLiteral("display_name")), row),
                textOf(contacts.texts.value(QStringLiteral("number")), row) });
        }
        QCOMPARE(read.size(), contacts.ids.size());
        QVERIFY(read.contains(
            { QStringLiteral("Smith, John\nRow: 1 _id=2, display_name=Not John"), QStringLiteral("+447700900123") }));
        QVERIFY(read.contains({ QStringLiteral("Mum"), QStringLiteral("07700 900122") }));

        QCOMPARE(adbShell(m_serial, QStringLiteral("getprop ro.product.model")).out, QByteArray("Lumen 7\n"));
        QCOMPARE(adbShell(m_serial, QStringLiteral("getprop ro.product.manufacturer")).out, QByteArray("Ostara\n"));
        QCOMPARE(adbShell(m_serial, QStringLiteral("getprop gsm.sim.operator.numeric")).out.left(3), QByteArray("234"));
        QCOMPARE(adbShell(m_serial, QStringLiteral("getprop no.such.property")).out, QByteArray("\n"));
        const QByteArray all = adbShell(m_serial, QStringLiteral("getprop")).out;
        QVERIFY(all.contains("\n[ro.product.model]: [Lumen 7]\n"));
    }

    // Errors on standard error with exit status 0, as the tool reports them; nothing on standard output.
    void refusalsAndErrorsAsAndroidPrintsThem_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("exception");
        QTest::newRow("refused provider") << queryCommand(QStringLiteral("content://sms"), { QStringLiteral("_id") })
                                          << "java.lang.SecurityException: Permission Denial: reading "
                                             "com.android.providers.telephony.SmsProvider uri content://sms from pid=";
        QTest::newRow("refused part") << readCommand(QStringLiteral("content://mms/part/1"))
                                      << "java.lang.SecurityException: Permission Denial: reading "
                                         "com.android.providers.telephony.MmsProvider uri content://mms/part/1";
        QTest::newRow("unknown provider") << queryCommand(QStringLiteral("content://nothing/here"), {})
                                          << "java.lang.IllegalStateException: Could not find provider: nothing";
        QTest::newRow("unknown column") << queryCommand(QStringLiteral("content://com.android.contacts/data/phones"),
            { QStringLiteral(
                "nope") }) << "android.database.sqlite.SQLiteException: no such column: nope (code 1 SQLITE_ERROR)";
        QTest::newRow("where unquoted for the shell")
            << QStringLiteral("content query --uri content://com.android.contacts/data/phones --where _id IN (1)")
            << "/system/bin/sh: syntax error: '(' unexpected";
    }

    void refusalsAndErrorsAsAndroidPrintsThem()
    {
        QFETCH(QString, command);
        QFETCH(QString, exception);
        const ShellRun run = adbShell(m_refusingSerial, command);
        QCOMPARE(run.out, QByteArray());
        if (exception.startsWith(QLatin1String("/system/bin/sh"))) {
            QCOMPARE(QString::fromUtf8(run.err), exception + QLatin1Char('\n'));
            QCOMPARE(run.exitCode, 1);
            return;
        }
        QVERIFY2(run.err.startsWith("Error while accessing provider:"), run.err.constData());
        QVERIFY2(providerError(run.err).startsWith(exception), run.err.constData());
        QCOMPARE(run.exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestContentQuery)
#include "TestContentQuery.moc"
