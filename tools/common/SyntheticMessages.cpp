// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/SyntheticMessages.h"

#include "tools/common/SeededRandom.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <stdexcept>

namespace {

using Random = SeededRandom;

struct Correspondent
{
    QString name;
    QStringList addresses;
    bool canReply = true;
    bool automated = false;
};

QString withSeparators(const QString& digits, const QList<int>& groups, QChar separator)
{
    QStringList parts;
    int at = 0;
    for (int size : groups) {
        parts.append(digits.mid(at, size));
        at += size;
    }
    if (at < digits.size())
        parts.append(digits.mid(at));
    return parts.join(separator);
}

// National and international forms of one mobile number of a random country.
QStringList phoneNumberForms(Random& random)
{
    switch (random.below(9)) {
    case 0: { // United States
        const QString area = QString::number(random.between(201, 989));
        const QString exchange = QString::number(random.between(200, 999));
        const QString line = random.digits(4);
        return { QStringLiteral("(%1) %2-%3").arg(area, exchange, line),
            QStringLiteral("+1 %1-%2-%3").arg(area, exchange, line),
            QStringLiteral("+1%1%2%3").arg(area, exchange, line) };
    }
    case 1: { // Germany
        static const QStringList prefixes = { QStringLiteral("151"), QStringLiteral("160"), QStringLiteral("170"),
            QStringLiteral("171"), QStringLiteral("176"), QStringLiteral("179") };
        const QString prefix = random.pick(prefixes);
        const QString rest = random.digits(7 + random.below(2));
        return { QStringLiteral("0%1 %2").arg(prefix, rest), QStringLiteral("+49 %1 %2").arg(prefix, rest),
            QStringLiteral("0049%1%2").arg(prefix, rest) };
    }
    case 2: { // United Kingdom
        const QString rest = QStringLiteral("7") + random.digits(9);
        return { QStringLiteral("0%1 %2").arg(rest.left(4), rest.mid(4)),
            QStringLiteral("+44 %1 %2").arg(rest.left(4), rest.mid(4)) };
    }
    case 3: { // France
        const QString rest = QString::number(random.between(6, 7)) + random.digits(8);
        return { QStringLiteral("0") + withSeparators(rest, { 1, 2, 2, 2, 2 }, u' '),
            QStringLiteral("+33 ") + withSeparators(rest, { 1, 2, 2, 2, 2 }, u' ') };
    }
    case 4: { // China
        const QString rest = QStringLiteral("13") + random.digits(9);
        return { rest, QStringLiteral("+86 ") + withSeparators(rest, { 3, 4, 4 }, u' ') };
    }
    case 5: { // India
        const QString rest = QString::number(random.between(7, 9)) + random.digits(9);
        return { QStringLiteral("0") + rest, QStringLiteral("+91 ") + withSeparators(rest, { 5, 5 }, u' ') };
    }
    case 6: { // Brazil
        const QString area = QString::number(random.between(11, 99));
        const QString rest = QStringLiteral("9") + random.digits(8);
        return { QStringLiteral("(%1) %2-%3").arg(area, rest.left(5), rest.mid(5)),
            QStringLiteral("+55 %1 %2-%3").arg(area, rest.left(5), rest.mid(5)) };
    }
    case 7: { // Russia
        const QString rest = QStringLiteral("9") + random.digits(9);
        const QString dashed
            = QStringLiteral("(%1) %2-%3-%4").arg(rest.left(3), rest.mid(3, 3), rest.mid(6, 2), rest.mid(8));
        return { QStringLiteral("8 ") + dashed, QStringLiteral("+7 ") + dashed };
    }
    default: { // Japan
        const QString rest = QStringLiteral("90") + random.digits(8);
        return { QStringLiteral("0") + withSeparators(rest, { 2, 4, 4 }, u'-'),
            QStringLiteral("+81 ") + withSeparators(rest, { 2, 4, 4 }, u'-') };
    }
    }
}

const QStringList& personNames()
{
    static const QStringList names = {
        QStringLiteral("Anna Schmidt"),
        QStringLiteral("Jürgen Weiß"),
        QStringLiteral("Mary O'Neil"),
        QStringLiteral("Tom \"Tommy\" Lee"),
        QStringLiteral("Smith, John"),
        QStringLiteral("Zoë Laurent"),
        QStringLiteral("王芳"),
        QStringLiteral("李伟"),
        QStringLiteral("Иван Петров"),
        QStringLiteral("Ольга"),
        QStringLiteral("محمد علي"),
        QStringLiteral("Δημήτρης"),
        QStringLiteral("さくら"),
        QStringLiteral("김민준"),
        QStringLiteral("דוד כהן"),
        QStringLiteral("प्रिया शर्मा"),
        QStringLiteral("João Silva"),
        QStringLiteral("Mum ❤️"),
        QStringLiteral("Work 🏢"),
        QStringLiteral("Dr. Ewa Nowak"),
        QStringLiteral("Ahmed"),
        QStringLiteral("Lena"),
        QStringLiteral("Pierre-Yves"),
        QStringLiteral("Chloé"),
    };
    return names;
}

Correspondent makeCorrespondent(Random& random, int index)
{
    Correspondent person;
    const int kind = random.below(100);
    if (kind < 70) {
        const QStringList forms = phoneNumberForms(random);
        // Some contacts write to us in more than one form of the same number.
        person.addresses.append(forms.at(random.below(int(forms.size()))));
        if (random.percent(30))
            person.addresses.append(forms.at(random.below(int(forms.size()))));
        if (random.percent(75))
            person.name = personNames().at(index % personNames().size());
    } else if (kind < 80) {
        person.addresses.append(QString::number(random.between(10000, 99999)));
        person.automated = true;
        person.canReply = random.percent(40);
    } else if (kind < 92) {
        static const QStringList senders = { QStringLiteral("BANK-INFO"), QStringLiteral("ParcelPost"),
            QStringLiteral("VERIFY"), QStringLiteral("TaxiNow"), QStringLiteral("CityPower"),
            QStringLiteral("Pharmacy24"), QStringLiteral("MyCarrier"), QStringLiteral("Info-SMS") };
        person.addresses.append(random.pick(senders));
        person.automated = true;
        person.canReply = false;
    } else {
        static const QStringList users = { QStringLiteral("anna.schmidt"), QStringLiteral("j.weiss"),
            QStringLiteral("mary+sms"), QStringLiteral("wang.fang") };
        static const QStringList domains
            = { QStringLiteral("example.org"), QStringLiteral("mail.example.com"), QStringLiteral("example.de") };
        person.addresses.append(random.pick(users) + QStringLiteral("@") + random.pick(domains));
        if (random.percent(50))
            person.name = personNames().at(index % personNames().size());
    }
    return person;
}

QString chatLine(Random& random)
{
    static const QStringList lines = {
        QStringLiteral("See you at 8, ok?"),
        QStringLiteral("Running late, be there in 10 minutes"),
        QStringLiteral("Can you pick up milk, eggs, and bread?"),
        QStringLiteral("He said \"no way\" and left."),
        QStringLiteral("Thanks!"),
        QStringLiteral("ok"),
        QStringLiteral("Call me back when you can."),
        QStringLiteral("Happy birthday!! 🎉🎂"),
        QStringLiteral("Meeting moved to 3pm, room 4.12"),
        QStringLiteral("It's the 'usual' place, 50% off today"),
        QStringLiteral("Where are you? 😀"),
        QStringLiteral("👍🏽"),
        QStringLiteral("Love you ❤️ 👨‍👩‍👧"),
        QStringLiteral("你好，今天晚上一起吃饭吗？"),
        QStringLiteral("Привет! Как дела?"),
        QStringLiteral("مرحبا، كيف حالك؟"),
        QStringLiteral("Καλημέρα! Τα λέμε αύριο."),
        QStringLiteral("こんにちは、元気ですか？"),
        QStringLiteral("안녕하세요, 내일 봐요"),
        QStringLiteral("שלום, מה נשמע?"),
        QStringLiteral("नमस्ते, आप कैसे हैं?"),
        QStringLiteral("Grüße aus München – bis später!"),
        QStringLiteral("Ça va? On se voit à 20h."),
        QStringLiteral("Price: €12,50 / £10 / ¥1500"),
        QStringLiteral("<b>not bold</b> & not a tag"),
        QStringLiteral("C:\\Users\\me\\notes.txt"),
        QStringLiteral("🙈🙉🙊"),
    };
    return random.pick(lines);
}

QString automatedBody(Random& random)
{
    switch (random.below(4)) {
    case 0:
        return QStringLiteral("Your code is %1. Don't share it with anyone.").arg(random.digits(6));
    case 1:
        return QStringLiteral("Your parcel %1 arrives today between 9:00 and 13:00.\nTrack: https://example.com/t/%1")
            .arg(random.digits(10));
    case 2:
        return QStringLiteral("Balance: %1,%2 EUR. Last payment \"Groceries\", card *%3")
            .arg(random.between(0, 9999))
            .arg(random.digits(2), random.digits(4));
    default:
        return QStringLiteral("Reply STOP to unsubscribe. Data 80% used 📶");
    }
}

QString personalBody(Random& random)
{
    const int shape = random.below(100);
    if (shape < 2)
        return QString();
    if (shape < 4) {
        // A long message that a phone sends as several parts.
        QString text;
        while (text.size() < 600 + random.below(1200))
            text += chatLine(random) + QLatin1Char(' ');
        return text;
    }
    if (shape < 20) {
        QStringList lines;
        const int count = random.between(2, 4);
        for (int i = 0; i < count; ++i)
            lines.append(random.percent(15) ? QString() : chatLine(random));
        return lines.join(random.percent(10) ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    }
    if (shape < 22)
        return QStringLiteral("  ") + chatLine(random) + QStringLiteral("\t ");
    return chatLine(random);
}

QString subjectFor(Random& random)
{
    static const QStringList subjects = { QStringLiteral("Re: dinner"), QStringLiteral("Fwd: photos, videos"),
        QStringLiteral("MMS"), QStringLiteral("Заказ №5") };
    return random.percent(3) ? random.pick(subjects) : QString();
}

QString stringValue(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

QJsonObject partObject(const SimPart& part)
{
    QJsonObject object;
    object.insert(QLatin1String("ct"), part.contentType);
    object.insert(QLatin1String("name"), part.name);
    if (part.data.isEmpty())
        object.insert(QLatin1String("text"), part.text);
    else
        object.insert(QLatin1String("data"), QString::fromLatin1(part.data.toBase64()));
    return object;
}

SimPart partFromObject(const QJsonObject& object)
{
    SimPart part;
    part.contentType = stringValue(object, QLatin1String("ct"));
    part.name = stringValue(object, QLatin1String("name"));
    part.text = stringValue(object, QLatin1String("text"));
    part.data = QByteArray::fromBase64(stringValue(object, QLatin1String("data")).toLatin1());
    return part;
}

} // namespace

int messageBox(const SimMessage& message)
{
    if (message.box != 0)
        return message.box;
    return message.direction == 1 ? 2 : 1;
}

bool inVisibleBox(const SimMessage& message)
{
    const int box = messageBox(message);
    return box == 1 || box == 2;
}

QList<SimMessage> generateMessages(int count, quint32 seed)
{
    QList<SimMessage> messages;
    if (count <= 0)
        return messages;
    messages.reserve(count);
    Random random(seed);

    const int poolSize = std::clamp(count / 25, 8, 3000);
    QList<Correspondent> people;
    people.reserve(poolSize);
    for (int i = 0; i < poolSize; ++i)
        people.append(makeCorrespondent(random, i));

    qint64 timeMs = 1356998400000LL + qint64(random.below(86400)) * 1000; // from 2013-01-01 UTC
    for (int i = 0; i < count; ++i) {
        if (!messages.isEmpty() && random.percent(2)) {
            messages.append(messages.at(random.below(int(messages.size()))));
            continue;
        }
        // Few correspondents get most of the messages, as on a real phone.
        const int who = std::min(random.below(poolSize), random.below(poolSize));
        const Correspondent& person = people.at(who);

        timeMs += qint64(random.between(1, 6 * 3600)) * 1000 + random.below(1000);
        SimMessage message;
        message.timeMs = random.percent(3) ? timeMs - qint64(random.between(1, 3600)) * 1000 : timeMs;
        message.direction = person.canReply && random.percent(45) ? 1 : 0;
        message.address = person.addresses.at(random.below(int(person.addresses.size())));
        message.contactName = person.name;
        message.body = person.automated ? automatedBody(random) : personalBody(random);
        message.subject = person.automated ? QString() : subjectFor(random);
        messages.append(message);
    }
    return messages;
}

QList<SimMessage> loadMessages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("can not read %1: %2").arg(path, file.errorString()).toStdString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull()) {
        throw std::runtime_error(QStringLiteral("%1 is not a message file: %2 at offset %3")
                                     .arg(path, parseError.errorString())
                                     .arg(parseError.offset)
                                     .toStdString());
    }
    // A bare array of records is accepted too, for files written by hand.
    const QJsonArray records
        = document.isArray() ? document.array() : document.object().value(QLatin1String("messages")).toArray();
    QList<SimMessage> messages;
    messages.reserve(records.size());
    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        SimMessage message;
        message.timeMs = record.value(QLatin1String("time")).toInteger();
        message.direction = record.value(QLatin1String("direction")).toInt();
        message.address = stringValue(record, QLatin1String("address"));
        message.contactName = stringValue(record, QLatin1String("contactName"));
        message.body = stringValue(record, QLatin1String("body"));
        message.subject = stringValue(record, QLatin1String("subject"));
        message.mms = record.value(QLatin1String("mms")).toBool();
        message.box = record.value(QLatin1String("box")).toInt();
        message.sender = stringValue(record, QLatin1String("sender"));
        for (const QJsonValue& part : record.value(QLatin1String("parts")).toArray())
            message.parts.append(partFromObject(part.toObject()));
        messages.append(message);
    }
    return messages;
}

void saveMessages(const QString& path, const QList<SimMessage>& messages)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(QStringLiteral("can not write %1: %2").arg(path, file.errorString()).toStdString());
    // One record per line keeps large files readable and easy to compare.
    QByteArray text = "{\"format\":\"qsms-phone-messages\",\"version\":1,\"messages\":[\n";
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const SimMessage& message = messages.at(i);
        QJsonObject record;
        record.insert(QLatin1String("time"), message.timeMs);
        record.insert(QLatin1String("direction"), message.direction);
        record.insert(QLatin1String("address"), message.address);
        record.insert(QLatin1String("contactName"), message.contactName);
        record.insert(QLatin1String("body"), message.body);
        record.insert(QLatin1String("subject"), message.subject);
        if (message.mms)
            record.insert(QLatin1String("mms"), true);
        if (message.box != 0)
            record.insert(QLatin1String("box"), message.box);
        if (!message.sender.isEmpty())
            record.insert(QLatin1String("sender"), message.sender);
        if (!message.parts.isEmpty()) {
            QJsonArray parts;
            for (const SimPart& part : message.parts)
                parts.append(partObject(part));
            record.insert(QLatin1String("parts"), parts);
        }
        text += QJsonDocument(record).toJson(QJsonDocument::Compact);
        text += i + 1 < messages.size() ? ",\n" : "\n";
    }
    text += "]}\n";
    if (file.write(text) != text.size() || !file.commit())
        throw std::runtime_error(QStringLiteral("can not write %1: %2").arg(path, file.errorString()).toStdString());
}
