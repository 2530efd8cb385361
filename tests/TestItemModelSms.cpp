// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageText.h"
#include "support/MessageRecords.h"
#include "support/TextOrder.h"
#include "ui/models/ItemModelSms.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QFontMetrics>
#include <QLocale>
#include <QPixmap>
#include <QtTest>

namespace {

// The messages the table names: a conversation with Ada, a two-person group named by its members,
// and a group event without conversation.
struct Fixture
{
    MessageRecords records;
    QHash<QString, _MsgMessage*> byName;

    Fixture()
    {
        _MsgHandle* ada = records.addHandle(1, QStringLiteral("+447700900001"), QStringLiteral("Ada"));
        _MsgHandle* bob = records.addHandle(2, QStringLiteral("+447700900002"));
        _MsgChat* single = records.addChat(1, ada->id, { ada });
        _MsgChat* group = records.addChat(2, QStringLiteral("group"), { ada, bob });
        byName.insert(QStringLiteral("sent sms"), records.addMessage(1, single, ada, 100, QStringLiteral("hi"), true));
        byName.insert(QStringLiteral("received sms"),
            records.addMessage(2, single, ada, 160, QStringLiteral("yo"), false, QStringLiteral("SMS")));
        byName.insert(QStringLiteral("sent chat"),
            records.addMessage(3, single, ada, 200, QStringLiteral("ok"), true, QStringLiteral("IMESSAGE")));
        byName.insert(QStringLiteral("received chat"),
            records.addMessage(4, single, ada, 260, QStringLiteral("k"), false, QStringLiteral("iMessage")));
        _MsgMessage* event = records.addMessage(5, group, bob, 300, QString(), false);
        event->item_type = 3;
        byName.insert(QStringLiteral("group event"), event);
        _MsgMessage* loose = records.addMessage(6, nullptr, nullptr, 400, QString(), false);
        loose->item_type = 3;
        byName.insert(QStringLiteral("event without conversation"), loose);
        byName.insert(
            QStringLiteral("group message"), records.addMessage(7, group, bob, 500, QStringLiteral("g"), false));
    }
};

QImage directionIcon(const char* path)
{
    return QPixmap(QLatin1String(path)).scaledToWidth(18, Qt::FastTransformation).toImage();
}

} // namespace

class TestItemModelSms : public QObject
{
    Q_OBJECT

private slots:
    void data_data();
    void data();
    void rowsTellDirectionAndFitTheirContent();
    void emptyListHeaders();
    void listsReplacedUnderTester();
    void rightToLeftNameKeepsItsNumber();
};

void TestItemModelSms::data_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const auto text = [](const char* value) { return QVariant(QString::fromUtf8(value)); };
    QTest::newRow("sent: To") << "sent sms" << 1 << int(Qt::DisplayRole) << text("To");
    QTest::newRow("received: From") << "received sms" << 1 << int(Qt::ToolTipRole) << text("From");
    QTest::newRow("contact with number") << "sent sms" << 2 << int(Qt::DisplayRole) << text("Ada (+447700900001)");
    QTest::newRow("event: empty flag") << "group event" << 1 << int(Qt::DisplayRole) << text("");
    QTest::newRow("event: conversation without numbers")
        << "group event" << 2 << int(Qt::DisplayRole) << text("Ada, +447700900002");
    QTest::newRow("event without conversation: empty contact")
        << "event without conversation" << 2 << int(Qt::DisplayRole) << text("");
    QTest::newRow("no fifth column") << "sent sms" << 4 << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("IMESSAGE sent icon") << "sent chat" << 0 << int(Qt::DecorationRole)
                                        << QVariant(directionIcon(":/res/imsg-send.png"));
    QTest::newRow("iMessage received icon")
        << "received chat" << 0 << int(Qt::DecorationRole) << QVariant(directionIcon(":/res/imsg-rec.png"));
    QTest::newRow("SMS sent icon") << "sent sms" << 0 << int(Qt::DecorationRole)
                                   << QVariant(directionIcon(":/res/icon_sms-sent.png"));
    QTest::newRow("SMS received icon") << "received sms" << 0 << int(Qt::DecorationRole)
                                       << QVariant(directionIcon(":/res/icon_sms-receive.png"));
    QTest::newRow("no icon beside the date") << "sent sms" << 1 << int(Qt::DecorationRole) << QVariant();
}

void TestItemModelSms::data()
{
    QFETCH(QString, message);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    Fixture fixture;
    ItemModelSms model;
    model.setMessages(fixture.byName.values());
    const int row = int(model.messages().indexOf(fixture.byName.value(message)));
    const QVariant actual = model.index(row, column).data(role);
    if (expected.typeId() == QMetaType::QImage)
        QCOMPARE(actual.value<QPixmap>().toImage(), expected.value<QImage>());
    else
        QCOMPARE(actual, expected);
}

// A reader tells sent from received rows by their ground, and each row is tall enough for a line of
// the list's font and for its direction icon. Readability of the text on those grounds is checked on
// the painted list in the appearance test.
void TestItemModelSms::rowsTellDirectionAndFitTheirContent()
{
    Fixture fixture;
    ItemModelSms model;
    model.setMessages(fixture.byName.values());
    const int lineHeight = QFontMetrics(QApplication::font()).height();
    QSet<QRgb> sentGrounds;
    QSet<QRgb> receivedGrounds;
    for (int row = 0; row < model.rowCount(); ++row) {
        const _MsgMessage* message = model.messages().at(row);
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            const QColor ground = index.data(Qt::BackgroundRole).value<QBrush>().color();
            QVERIFY(ground.isValid());
            (message->is_from_me != 0 ? sentGrounds : receivedGrounds).insert(ground.rgb());
            const int height = index.data(Qt::SizeHintRole).toSize().height();
            QVERIFY2(height >= lineHeight, qPrintable(QStringLiteral("%1 < %2").arg(height).arg(lineHeight)));
            const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
            QVERIFY(height >= icon.height());
        }
    }
    QCOMPARE(sentGrounds.size(), 1);
    QCOMPARE(receivedGrounds.size(), 1);
    QVERIFY(sentGrounds != receivedGrounds);
}

void TestItemModelSms::emptyListHeaders()
{
    ItemModelSms model;
    QCOMPARE(model.rowCount(), 0);
    QStringList headers;
    for (int section = 0; section < model.columnCount(); ++section)
        headers.append(model.headerData(section, Qt::Horizontal).toString());
    QCOMPARE(headers,
        QStringList(
            { QStringLiteral("Date"), QStringLiteral("Flag"), QStringLiteral("Contact"), QStringLiteral("Content") }));
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestItemModelSms::listsReplacedUnderTester()
{
    ItemModelSms model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    MessageRecords records;
    QList<_MsgMessage*> messages = records.addConversation(5);
    model.setMessages(messages);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.rowIndex(4).internalPointer(), messages.at(4));
    QVERIFY(!model.index(4, 1).internalPointer());
    QCOMPARE(model.rowCount(model.rowIndex(0)), 0);
    QVERIFY(!model.rowIndex(-1).isValid());
    QVERIFY(!model.rowIndex(5).isValid());
    QCOMPARE(
        model.index(0, 0).data().toString(), QLocale::system().toString(messageDateTime(60), QLocale::ShortFormat));

    sortMessages(messages, false);
    model.setMessages(messages);
    QCOMPARE(model.messages(), messages);
    QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("message 5"));
    model.setMessages({});
    QCOMPARE(model.rowCount(), 0);
}

void TestItemModelSms::rightToLeftNameKeepsItsNumber()
{
    MessageRecords records;
    _MsgHandle* omar = records.addHandle(1, QStringLiteral("+201005550142"), QString::fromUtf8("عمر"));
    _MsgChat* chat = records.addChat(1, omar->id, { omar });
    ItemModelSms model;
    model.setMessages({ records.addMessage(1, chat, omar, 100, QStringLiteral("hi"), false) });
    const QString shown = model.index(0, ItemModelSms::ContactColumn).data().toString();
    QVERIFY(numberReadsAfterName(shown));
    // Without the isolates the same text comes out as "(201005550142+) name": the check above sees it.
    QVERIFY(!numberReadsAfterName(QString(shown).remove(QChar(0x2068)).remove(QChar(0x2069))));
}

QTEST_MAIN(TestItemModelSms)
#include "TestItemModelSms.moc"
