// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageHtml.h"
#include "message/MessageText.h"
#include "support/TestHome.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

#include <deque>

namespace {

// Participants are written "rowid|id|contact name"; attachments "rowid|mime type".
struct Records
{
    std::deque<_MsgHandle> handles;
    _MsgChat chat;

    _MsgHandle* addHandle(const QString& description)
    {
        const QStringList parts = description.split(QLatin1Char('|'));
        _MsgHandle& handle = handles.emplace_back();
        handle.rowid = parts.value(0).toLongLong();
        handle.id = parts.value(1);
        handle._ct_name = parts.value(2);
        return &handle;
    }

    void addParticipants(const QStringList& descriptions)
    {
        for (const QString& description : descriptions) {
            _MsgHandle* handle = addHandle(description);
            chat.handles.insert(QString::number(handle->rowid), handle);
        }
    }
};

void addAttachments(_MsgMessage& message, const QStringList& descriptions)
{
    for (const QString& description : descriptions) {
        const QStringList parts = description.split(QLatin1Char('|'));
        _MsgAttachment attachment;
        attachment.rowid = parts.value(0).toLongLong();
        attachment.mime_type = parts.value(1);
        message.attachments.insert(parts.value(0), attachment);
    }
}

QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* text : texts)
        result.append(QString::fromUtf8(text));
    return result;
}

int dateOf(const QDateTime& local)
{
    return int(local.toSecsSinceEpoch() - 978307200);
}

// The event date written out field by field, independent of the format string the code uses.
QString expectedEventDate(const QDateTime& when)
{
    const QTime time = when.time();
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1 %2 %3 %4:%5 %6")
        .arg(when.date().day(), 2, 10, QLatin1Char('0'))
        .arg(QLocale::system().monthName(when.date().month(), QLocale::ShortFormat))
        .arg(when.date().year())
        .arg(hour12)
        .arg(time.minute())
        .arg(time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

_MsgMessage orderMessage(int date, qint64 readRowId)
{
    _MsgMessage message;
    message.date = date;
    message.readRowId = readRowId;
    return message;
}

} // namespace

class TestMessageText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void messageDateTimeConvertsFromReferenceDate();
    void handleDisplayName_data();
    void handleDisplayName();
    void chatAndContactText_data();
    void chatAndContactText();
    void displayText_data();
    void displayText();
    void emojiCodePoints_data();
    void emojiCodePoints();
    void eventText_data();
    void eventText();
    void order_data();
    void order();
    void sortOfMixedMessagesIsDeterministic_data();
    void sortOfMixedMessagesIsDeterministic();
    void collectionsFollowNumericRowIdOrder();
    void htmlTextAsUtf8_data();
    void htmlTextAsUtf8();
};

void TestMessageText::initTestCase()
{
    useTemporaryHome();
    // A second run of these tests sets LANG and LC_ALL to a locale with non-ASCII digits; make sure
    // Qt really took it as the system locale, or that run would prove nothing.
    const QString expectedLocale = qEnvironmentVariable("QSMS_EXPECT_LOCALE");
    if (!expectedLocale.isEmpty()) {
        QCOMPARE(QLocale::system().name(), expectedLocale);
        QVERIFY(QLocale::system().zeroDigit() != QLatin1String("0"));
    }
}

void TestMessageText::messageDateTimeConvertsFromReferenceDate()
{
    const QDateTime when = messageDateTime(378691200);
    QCOMPARE(when.timeSpec(), Qt::LocalTime);
    QCOMPARE(when.toUTC(), QDateTime(QDate(2013, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(messageDateTime(-978307200).toSecsSinceEpoch(), qint64(0));
}

void TestMessageText::handleDisplayName_data()
{
    QTest::addColumn<QString>("handle");
    QTest::addColumn<bool>("withNumber");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name with number") << "1|+33612345678|Anna" << true << "Anna (+33612345678)";
    QTest::newRow("name without number") << "1|+33612345678|Anna" << false << "Anna";
    QTest::newRow("no name, with number") << "1|+33612345678|" << true << "+33612345678";
    QTest::newRow("no name, without number") << "1|+33612345678|" << false << "+33612345678";
}

void TestMessageText::handleDisplayName()
{
    QFETCH(QString, handle);
    QFETCH(bool, withNumber);
    QFETCH(QString, expected);

    Records records;
    QCOMPARE(::handleDisplayName(*records.addHandle(handle), withNumber), expected);
}

// Names of conversations and of the correspondents of messages. A name in a right-to-left script,
// or with a direction override, is isolated together with every other name beside it; in the expected
// texts "[" stands for U+2068 FIRST STRONG ISOLATE and "]" for U+2069 POP DIRECTIONAL ISOLATE. The
// plain names, which name export files, never carry the marks.
void TestMessageText::chatAndContactText_data()
{
    QTest::addColumn<bool>("hasChat");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QStringList>("participants");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("chatName");
    QTest::addColumn<QString>("chatNameWithNumbers");
    QTest::addColumn<QString>("contactText");

    // Participants separated by ";".
    const auto row = [](const char* name, bool hasChat, const char* displayName, const char* participants,
                         const char* sender, const char* chatName, const char* withNumbers, const char* contactText) {
        QTest::newRow(name) << hasChat << QString::fromUtf8(displayName)
                            << QString::fromUtf8(participants).split(QLatin1Char(';'), Qt::SkipEmptyParts)
                            << QString::fromUtf8(sender) << QString::fromUtf8(chatName)
                            << QString::fromUtf8(withNumbers) << QString::fromUtf8(contactText);
    };
    row("no conversation", false, "", "", "", "", "", "unknown");
    row("no participants, no name", true, "", "", "", "Unknown", "Unknown", "Unknown");
    row("own name wins", true, "Trip", "1|+4471|Bob;2|+4472|Cid", "1|+4471|Bob", "Trip", "Trip", "Trip (Bob)");
    row("one participant with name", true, "", "4|+4471|Bob", "4|+4471|Bob", "Bob", "Bob (+4471)", "Bob (+4471)");
    row("one participant, no sender", true, "", "4|+4471|", "", "+4471", "+4471", "+4471");
    row("group, sender without name", true, "", "1|+4471|Bob;2|+4472|", "2|+4472|", "Bob, +4472", "Bob (+4471), +4472",
        "Bob (+4471), +4472 (+4472)");
    row("group, sender with name", true, "", "1|+4471|Bob;2|+4472|Cid", "2|+4472|Cid", "Bob, Cid",
        "Bob (+4471), Cid (+4472)", "Bob (+4471), Cid (+4472) (Cid)");
    row("group, message from me", true, "", "1|+4471|Bob;2|+4472|Cid", "", "Bob, Cid", "Bob (+4471), Cid (+4472)",
        "Bob (+4471), Cid (+4472)");
    row("Arabic name and its number", true, "", "1|+201005550142|عمر", "1|+201005550142|عمر", "[عمر]",
        "[عمر] ([+201005550142])", "[عمر] ([+201005550142])");
    row("Latin names unchanged", true, "", "1|+447700900001|Anna", "1|+447700900001|Anna", "Anna",
        "Anna (+447700900001)", "Anna (+447700900001)");
    row("group of Hebrew and Latin names, Hebrew sender", true, "", "1|+972501234567|דנה;2|+4471|Bob;3|+4472|",
        "1|+972501234567|דנה", "[דנה], [Bob], [+4472]", "[דנה] ([+972501234567]), [Bob] ([+4471]), [+4472]",
        "[דנה] ([+972501234567]), [Bob] ([+4471]), [+4472] ([דנה])");
    row("Arabic conversation name, Latin sender", true, "رحلة", "1|+4471|Bob;2|+4472|Cid", "2|+4472|Cid", "[رحلة]",
        "[رحلة]", "[رحلة] ([Cid])");
    row("right-to-left override in a Latin name", true, "", "1|+4471|Bob\u202Egpj.exe", "", "[Bob\u202Egpj.exe]",
        "[Bob\u202Egpj.exe] ([+4471])", "[Bob\u202Egpj.exe] ([+4471])");
}

void TestMessageText::chatAndContactText()
{
    QFETCH(bool, hasChat);
    QFETCH(QString, displayName);
    QFETCH(QStringList, participants);
    QFETCH(QString, sender);
    QFETCH(QString, chatName);
    QFETCH(QString, chatNameWithNumbers);
    QFETCH(QString, contactText);

    const auto isolates = [](QString text) {
        return text.replace(QLatin1Char('['), QChar(0x2068)).replace(QLatin1Char(']'), QChar(0x2069));
    };
    const auto plain = [](QString text) { return text.remove(QLatin1Char('[')).remove(QLatin1Char(']')); };
    Records records;
    records.chat.display_name = displayName;
    records.addParticipants(participants);
    _MsgMessage message;
    if (hasChat) {
        message.chat = &records.chat;
        QCOMPARE(chatDisplayName(records.chat, false), plain(chatName));
        QCOMPARE(chatDisplayName(records.chat, true), plain(chatNameWithNumbers));
        QCOMPARE(chatDisplayNameIsolated(records.chat, false), isolates(chatName));
        QCOMPARE(chatDisplayNameIsolated(records.chat, true), isolates(chatNameWithNumbers));
        QCOMPARE(isGroupChat(records.chat), participants.size() > 1);
    }
    if (!sender.isEmpty())
        message.handle = records.addHandle(sender);
    QCOMPARE(messageContactText(message), isolates(contactText));
}

void TestMessageText::displayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("attachments");
    QTest::addColumn<QString>("expected");

    const QString emojiGrin = QString::fromUtf16(u"\U0001F600");
    const QString check = QString(QChar(0x2714));
    const QString fffc = QString(QChar(0xFFFC));

    QTest::newRow("plain") << "Hello" << QStringList() << "Hello";
    QTest::newRow("image only, upper-case type") << QString() << strings({ "1|IMAGE/JPEG" }) << "[IMAGE]";
    QTest::newRow("vcard then other") << "Hi" << strings({ "1|text/X-VCARD", "2|application/pdf" })
                                      << "Hi [VCARD] [ATTA]";
    QTest::newRow("video, audio, vcard") << "x" << strings({ "1|video/mp4", "2|Audio/AMR", "3|text/vcard" })
                                         << "x [VIDEO] [AUDIO] [VCARD]";
    QTest::newRow("vcard prefix only is other") << QString() << strings({ "1|text/vcard-extra" }) << "[ATTA]";
    QTest::newRow("empty type") << QString() << strings({ "1|" }) << "[ATTA]";
    QTest::newRow("object replacement only")
        << fffc + QStringLiteral("  ") + fffc + QStringLiteral(" ") << QStringList() << QString();
    QTest::newRow("object replacement stripped")
        << QStringLiteral("a") + fffc + QStringLiteral("b") << strings({ "1|image/png" }) << "ab [IMAGE]";
    QTest::newRow("trimmed") << "  padded \n" << QStringList() << "padded";
    QTest::newRow("surrogate-pair emoji") << QStringLiteral("ok ") + emojiGrin << QStringList() << "ok [EMOJI]";
    QTest::newRow("symbol twice") << check + check << QStringList() << "[EMOJI][EMOJI]";
    QTest::newRow("private-use range ends")
        << QString(QChar(0xE000)) + QStringLiteral("-") + QString(QChar(0xE537)) + QString(QChar(0xE538))
        << QStringList() << QStringLiteral("[EMOJI]-[EMOJI]") + QString(QChar(0xE538));
    QTest::newRow("flag lead D83C") << QString::fromUtf16(u"\U0001F1E6") << QStringList() << "[EMOJI]";
    QTest::newRow("lead D83E kept") << QString::fromUtf16(u"\U0001F900") << QStringList()
                                    << QString::fromUtf16(u"\U0001F900");
    QTest::newRow("lone lead at end kept")
        << QStringLiteral("a") + QChar(0xD83D) << QStringList() << QStringLiteral("a") + QChar(0xD83D);
    QTest::newRow("lead takes any next unit")
        << QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("bc") << QStringList() << "a[EMOJI]c";
    QTest::newRow("lead takes a line feed")
        << QString(QChar(0xD83C)) + QStringLiteral("\nz") << QStringList() << "[EMOJI]z";
}

void TestMessageText::displayText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, attachments);
    QFETCH(QString, expected);

    _MsgMessage message;
    message.text = text;
    addAttachments(message, attachments);
    QCOMPARE(messageDisplayText(message), expected);
    QCOMPARE(message.text, text);
}

void TestMessageText::emojiCodePoints_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << "plain text" << QStringList() << "plain text";
    QTest::newRow("private use") << QString(QChar(0xE04A)) << strings({ "E04A" }) << "<E04A>";
    QTest::newRow("symbol") << QStringLiteral("a") + QChar(0x2714) << strings({ "2714" }) << "a<2714>";
    QTest::newRow("pair") << QString::fromUtf16(u"x\U0001F600y") << strings({ "1F600" }) << "x<1F600>y";
    QTest::newRow("first pass before second")
        << QString::fromUtf16(u"\U0001F1E6") + QChar(0x3030) << strings({ "3030", "1F1E6" }) << "<1F1E6><3030>";
}

void TestMessageText::emojiCodePoints()
{
    QFETCH(QString, text);
    QFETCH(QStringList, codes);
    QFETCH(QString, expected);

    QStringList seen;
    const QString result = replaceEmoji(text, [&seen](const QString& code) {
        seen.append(code);
        return QLatin1Char('<') + code + QLatin1Char('>');
    });
    QCOMPARE(result, expected);
    QCOMPARE(seen, codes);
}

void TestMessageText::eventText_data()
{
    QTest::addColumn<int>("itemType");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("groupTitle");
    QTest::addColumn<int>("shareStatus");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");

    const QDateTime evening(QDate(2014, 3, 5), QTime(21, 5), Qt::LocalTime);
    const QDateTime morning(QDate(2020, 12, 31), QTime(0, 59), Qt::LocalTime);
    const QString bob = QStringLiteral("1|+4471|Bob");
    const QString cid = QStringLiteral("2|+4472|");

    QTest::newRow("named by me") << 2 << QString() << QString() << "Trip" << 0 << evening
                                 << "You named the conversation \"Trip\".\n%D";
    QTest::newRow("added") << 1 << bob << cid << QString() << 0 << morning
                           << "Bob Added +4472 to the conversation.\n%D";
    QTest::newRow("I added") << 1 << QString() << bob << QString() << 0 << morning
                             << "You Added Bob to the conversation.\n%D";
    QTest::newRow("left") << 3 << cid << QString() << QString() << 0 << evening << "+4472 left the conversation.\n%D";
    QTest::newRow("sharing started") << 4 << bob << QString() << QString() << 0 << evening
                                     << "Bob started sharing location with You.\n%D";
    QTest::newRow("sharing stopped") << 4 << bob << cid << QString() << 2 << evening
                                     << "Bob stopped sharing location with +4472.\n%D";
    QTest::newRow("other type") << 7 << bob << QString() << QString() << 0 << evening << "System Information.\n%D";
    QTest::newRow("negative type") << -1 << QString() << QString() << QString() << 0 << morning
                                   << "System Information.\n%D";
    QTest::newRow("emoji in title") << 2 << bob << QString() << QString(QChar(0x2714)) << 0 << morning
                                    << "Bob named the conversation \"[EMOJI]\".\n%D";
}

void TestMessageText::eventText()
{
    QFETCH(int, itemType);
    QFETCH(QString, sender);
    QFETCH(QString, other);
    QFETCH(QString, groupTitle);
    QFETCH(int, shareStatus);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);

    Records records;
    _MsgMessage message;
    message.item_type = itemType;
    message.editExtras().group_title = groupTitle;
    message.editExtras().share_status = shareStatus;
    message.date = dateOf(when);
    message.text = QStringLiteral("ignored for events");
    addAttachments(message, { QStringLiteral("1|image/png") });
    if (!sender.isEmpty())
        message.handle = records.addHandle(sender);
    if (!other.isEmpty())
        message.otherHandle = records.addHandle(other);

    QCOMPARE(messageDisplayText(message), expected.replace(QLatin1String("%D"), expectedEventDate(when)));
}

void TestMessageText::order_data()
{
    QTest::addColumn<int>("dateA");
    QTest::addColumn<qint64>("rowA");
    QTest::addColumn<int>("dateB");
    QTest::addColumn<qint64>("rowB");
    QTest::addColumn<bool>("aBeforeB");
    QTest::addColumn<bool>("bBeforeA");

    QTest::newRow("close: row id wins") << 1030 << qint64(5) << 1000 << qint64(3) << false << true;
    QTest::newRow("200 s apart: time wins") << 1200 << qint64(3) << 1000 << qint64(5) << false << true;
    QTest::newRow("row ids 21 apart: time wins") << 1000 << qint64(30) << 1001 << qint64(9) << true << false;
    QTest::newRow("row ids 20 apart, 120 s: row id wins") << 1120 << qint64(1) << 1000 << qint64(21) << true << false;
    QTest::newRow("121 s apart: time wins") << 1121 << qint64(1) << 1000 << qint64(21) << false << true;
    QTest::newRow("equal") << 1000 << qint64(7) << 1000 << qint64(7) << false << false;
    QTest::newRow("equal dates, far row ids") << 1000 << qint64(1) << 1000 << qint64(100) << false << false;
    QTest::newRow("not read from a store") << 1000 << qint64(0) << 1050 << qint64(0) << false << false;
    QTest::newRow("extreme row ids do not overflow")
        << 1000 << std::numeric_limits<qint64>::min() << 1001 << std::numeric_limits<qint64>::max() << true << false;
    QTest::newRow("extreme dates") << std::numeric_limits<int>::min() << qint64(1) << std::numeric_limits<int>::max()
                                   << qint64(2) << true << false;
}

void TestMessageText::order()
{
    QFETCH(int, dateA);
    QFETCH(qint64, rowA);
    QFETCH(int, dateB);
    QFETCH(qint64, rowB);
    QFETCH(bool, aBeforeB);
    QFETCH(bool, bBeforeA);

    const _MsgMessage a = orderMessage(dateA, rowA);
    const _MsgMessage b = orderMessage(dateB, rowB);
    QCOMPARE(messageLessThan(a, b), aBeforeB);
    QCOMPARE(messageLessThan(b, a), bBeforeA);
    QCOMPARE(messageGreaterThan(a, b), !aBeforeB);
    QCOMPARE(messageGreaterThan(b, a), !bBeforeA);

    QList<_MsgMessage*> list { const_cast<_MsgMessage*>(&a), const_cast<_MsgMessage*>(&b) };
    sortMessages(list, true);
    QCOMPARE(list.first(), bBeforeA ? &b : &a);
    sortMessages(list, false);
    QCOMPARE(list.first(), aBeforeB ? &b : &a);
}

void TestMessageText::sortOfMixedMessagesIsDeterministic_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::newRow("ascending") << true;
    QTest::newRow("descending") << false;
}

void TestMessageText::sortOfMixedMessagesIsDeterministic()
{
    QFETCH(bool, ascending);

    // Thousands of messages no order puts before one another stay in place: the comparison of
    // descending order is true for every pair, which an unguarded sort would follow out of the list.
    std::vector<_MsgMessage> equivalent(5000, orderMessage(5000, 42));
    for (size_t i = 0; i < equivalent.size(); ++i)
        equivalent[i].guid = QString::number(i);
    QList<_MsgMessage*> unmoved;
    for (_MsgMessage& message : equivalent)
        unmoved.append(&message);
    const QList<_MsgMessage*> original = unmoved;
    sortMessages(unmoved, ascending);
    QCOMPARE(unmoved, original);

    // Dates and row ids drawn from narrow ranges, so that the tolerances overlap and the order is
    // not transitive; a few messages share both values.
    QRandomGenerator random(1234);
    std::vector<_MsgMessage> messages;
    for (int i = 0; i < 4000; ++i)
        messages.push_back(orderMessage(random.bounded(600), random.bounded(80)));
    QList<const _MsgMessage*> list;
    for (const _MsgMessage& message : messages)
        list.append(&message);
    QList<const _MsgMessage*> again = list;
    // The order a stable sort gives when it compares the records themselves.
    QList<const _MsgMessage*> direct = list;
    std::stable_sort(direct.begin(), direct.end(), [ascending](const _MsgMessage* a, const _MsgMessage* b) {
        return ascending ? messageLessThan(*a, *b) : messageLessThan(*b, *a);
    });

    sortMessages(list, ascending);
    sortMessages(again, ascending);
    QCOMPARE(list, again);
    QCOMPARE(list, direct);
    QList<const _MsgMessage*> sortedPointers = list;
    std::sort(sortedPointers.begin(), sortedPointers.end());
    QCOMPARE(std::adjacent_find(sortedPointers.cbegin(), sortedPointers.cend()), sortedPointers.cend());
    QCOMPARE(sortedPointers.size(), qsizetype(messages.size()));

    // Where dates lie far apart the order is plain time order, and the sort must honour it.
    std::vector<_MsgMessage> spread;
    for (int i = 0; i < 3000; ++i)
        spread.push_back(orderMessage(int(random.bounded(1000)) * 1000, random.bounded(1000000)));
    QList<const _MsgMessage*> spreadList;
    for (const _MsgMessage& message : spread)
        spreadList.append(&message);
    sortMessages(spreadList, ascending);
    for (qsizetype i = 1; i < spreadList.size(); ++i) {
        const int previous = spreadList.at(i - 1)->date;
        const int current = spreadList.at(i)->date;
        QVERIFY2(ascending ? previous <= current : previous >= current, qPrintable(QString::number(i)));
    }
}

void TestMessageText::collectionsFollowNumericRowIdOrder()
{
    // Keys "10" and "9" come out of the map as "10", "9"; the texts list row id 9 first.
    for (const bool reversed : { false, true }) {
        Records records;
        QStringList participants { QStringLiteral("9|+4479|Nina"), QStringLiteral("10|+4410|Theo"),
            QStringLiteral("100|+44100|") };
        if (reversed)
            std::reverse(participants.begin(), participants.end());
        records.addParticipants(participants);
        QCOMPARE(chatDisplayName(records.chat, false), QStringLiteral("Nina, Theo, +44100"));

        _MsgMessage message;
        message.text = QStringLiteral("see");
        QStringList attachments { QStringLiteral("10|audio/ogg"), QStringLiteral("9|image/gif") };
        if (reversed)
            std::reverse(attachments.begin(), attachments.end());
        addAttachments(message, attachments);
        QCOMPARE(messageDisplayText(message), QStringLiteral("see [IMAGE] [AUDIO]"));

        const QList<const _MsgHandle*> handles = orderedHandles(records.chat);
        QCOMPARE(handles.size(), 3);
        QCOMPARE(handles.at(0)->rowid, qint64(9));
        QCOMPARE(handles.at(2)->rowid, qint64(100));
    }

    // Records built in memory have no row id yet and are keyed by address: they keep key order.
    Records unsaved;
    for (const char* id : { "+4472", "+4471" }) {
        _MsgHandle* handle = unsaved.addHandle(QStringLiteral("0|%1|").arg(QLatin1String(id)));
        unsaved.chat.handles.insert(handle->id, handle);
    }
    QCOMPARE(chatDisplayName(unsaved.chat, true), QStringLiteral("+4471, +4472"));
}

void TestMessageText::htmlTextAsUtf8_data()
{
    QTest::addColumn<QString>("text");
    const auto units = [](std::initializer_list<char16_t> list) {
        return QString(reinterpret_cast<const QChar*>(list.begin()), qsizetype(list.size()));
    };
    QTest::newRow("empty") << QString();
    QTest::newRow("plain") << QStringLiteral("See you at 8?");
    QTest::newRow("markup and quotes") << QStringLiteral("a<b> & \"c\" 'd' &amp;");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\rfour\n\rfive\r");
    QTest::newRow("two to four bytes") << QString::fromUtf8("\u00e9\u07ff\u0800 \u6f22\uffff \U0001F600\U0010FFFF");
    QTest::newRow("right to left") << QString::fromUtf8("\u0645\u0631\u062d\u0628\u0627 <b>");
    QTest::newRow("high surrogate at the end") << units({ 'a', 0xD83D });
    QTest::newRow("high surrogate before markup") << units({ 0xD83D, '<', 0xD83D, '\n' });
    QTest::newRow("low surrogate alone") << units({ 0xDE00, 'x', 0xDE00 });
    QTest::newRow("pair reversed") << units({ 0xDE00, 0xD83D, 0xDE00 });
    QTest::newRow("two high surrogates") << units({ 0xD83D, 0xD83D, 0xDE00 });
}

void TestMessageText::htmlTextAsUtf8()
{
    // The pages are written as these bytes; they must be the bytes of the escaped texts encoded as
    // the file encoder does, after whatever the page already holds.
    QFETCH(QString, text);
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const QByteArray before("<p>\xc3\xa9");

    QByteArray out = before;
    appendMessageHtmlUtf8(out, text);
    QCOMPARE(out, before + QByteArray(encoder.encode(escapeMessageHtml(text))));
    out = before;
    appendHtmlEscapedUtf8(out, text);
    QCOMPARE(out, before + QByteArray(encoder.encode(text.toHtmlEscaped())));
    out = before;
    appendUtf8(out, text);
    QCOMPARE(out, before + QByteArray(encoder.encode(text)));
}

QTEST_GUILESS_MAIN(TestMessageText)
#include "TestMessageText.moc"
