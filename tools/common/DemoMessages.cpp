// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/DemoMessages.h"

#include "tools/common/GeneratedPicture.h"
#include "tools/common/SeededRandom.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace {

// 2019-04-01 00:00 UTC; the messages run from there to late 2025.
constexpr qint64 firstDayMs = 1554076800000LL;
constexpr int lastDay = 2400;
constexpr qint64 dayMs = 86400000LL;

// What a conversation sounds like: a language for people, a kind of notice for service senders.
enum class Talk {
    English,
    Russian,
    Chinese,
    Greek,
    Arabic,
    German,
    Spanish,
    French,
    Japanese,
    Hebrew,
    Group,
    Bank,
    Parcel,
    Verify,
    Carrier,
    Surgery
};

struct DemoContact
{
    QString name;
    QString address;
    Talk talk;
    int weight;
    int firstDay = 0;
    int lastDay = ::lastDay;
};

// British numbers come from the range set aside for fiction, which is why they stay in national
// form: no real subscriber has them.
const QList<DemoContact>& contacts()
{
    static const QList<DemoContact> list = {
        { QStringLiteral("Alex ❤️"), QStringLiteral("07700 900417"), Talk::English, 30 },
        { QStringLiteral("Mum"), QStringLiteral("07700 900122"), Talk::English, 22 },
        { QStringLiteral("Dad"), QStringLiteral("07700 900183"), Talk::English, 10 },
        { QStringLiteral("Grandma Rose"), QStringLiteral("07700 900265"), Talk::English, 4, 0, 1900 },
        { QStringLiteral("Emma Clarke"), QStringLiteral("07700 900311"), Talk::English, 14 },
        { QStringLiteral("Oliver Hughes"), QStringLiteral("07700 900356"), Talk::English, 9 },
        { QStringLiteral("Priya Patel"), QStringLiteral("07700 900402"), Talk::English, 8 },
        { QStringLiteral("Tom Baxter"), QStringLiteral("07700 900448"), Talk::English, 6, 300 },
        { QStringLiteral("Hannah Price"), QStringLiteral("07700 900493"), Talk::English, 5 },
        { QStringLiteral("Liam O'Connor"), QStringLiteral("07700 900539"), Talk::English, 5 },
        { QStringLiteral("Chloe Evans"), QStringLiteral("07700 900584"), Talk::English, 4 },
        { QStringLiteral("Daniel Wright"), QStringLiteral("07700 900630"), Talk::English, 4, 800 },
        { QStringLiteral("Aisha Khan"), QStringLiteral("07700 900675"), Talk::English, 4 },
        { QStringLiteral("Ben Fletcher"), QStringLiteral("07700 900721"), Talk::English, 3 },
        { QStringLiteral("Grace Lin"), QStringLiteral("07700 900766"), Talk::English, 3 },
        { QStringLiteral("Marcus Reid"), QStringLiteral("07700 900812"), Talk::English, 3, 0, 1200 },
        { QStringLiteral("Ruth Morgan (landlady)"), QStringLiteral("07700 900857"), Talk::English, 2 },
        { QStringLiteral("Sam – work"), QStringLiteral("07700 900903"), Talk::English, 6, 1200 },
        { QStringLiteral("Jake the plumber"), QStringLiteral("07700 900948"), Talk::English, 1 },
        { QStringLiteral("Олег Смирнов"), QStringLiteral("+7 916 555-01-23"), Talk::Russian, 5 },
        { QStringLiteral("Наташа"), QStringLiteral("+7 921 555-48-09"), Talk::Russian, 3 },
        { QStringLiteral("李娜"), QStringLiteral("+86 138 5550 1234"), Talk::Chinese, 5 },
        { QStringLiteral("王伟"), QStringLiteral("+86 139 5550 8876"), Talk::Chinese, 2 },
        { QStringLiteral("Νίκος Παπαδόπουλος"), QStringLiteral("+30 694 555 0172"), Talk::Greek, 4 },
        { QStringLiteral("Ελένη"), QStringLiteral("+30 697 555 0348"), Talk::Greek, 2 },
        { QStringLiteral("ليلى حداد"), QStringLiteral("+971 50 555 0199"), Talk::Arabic, 4 },
        { QStringLiteral("عمر"), QStringLiteral("+20 100 555 0142"), Talk::Arabic, 2 },
        { QStringLiteral("Zoë Müller"), QStringLiteral("+49 151 5550 1234"), Talk::German, 3 },
        { QStringLiteral("Jürgen Weiß"), QStringLiteral("+49 170 5550 987"), Talk::German, 2 },
        { QStringLiteral("José García"), QStringLiteral("+34 612 555 014"), Talk::Spanish, 3 },
        { QStringLiteral("Camille Dubois"), QStringLiteral("+33 6 55 50 12 34"), Talk::French, 2 },
        { QStringLiteral("田中 由紀"), QStringLiteral("+81 90-5550-1234"), Talk::Japanese, 2 },
        { QStringLiteral("נועה לוי"), QStringLiteral("+972 52-555-0123"), Talk::Hebrew, 2 },
        { QStringLiteral("Five-a-side football"),
            QStringLiteral("+447700900356;+447700900721;+447700900812;+447700900630;+447700900539"), Talk::Group, 10 },
        { QString(), QStringLiteral("BANK-INFO"), Talk::Bank, 5 },
        { QString(), QStringLiteral("ParcelPost"), Talk::Parcel, 4 },
        { QString(), QStringLiteral("VERIFY"), Talk::Verify, 4 },
        { QString(), QStringLiteral("MyCarrier"), Talk::Carrier, 2 },
        { QString(), QStringLiteral("84433"), Talk::Surgery, 2 },
        { QStringLiteral("Yusuf"), QStringLiteral("07700 900974"), Talk::English, 1, 2000 },
    };
    return list;
}

// The members of the group conversation, by first name, as their messages are signed.
const QStringList& groupMembers()
{
    static const QStringList names = { QStringLiteral("Oliver"), QStringLiteral("Ben"), QStringLiteral("Marcus"),
        QStringLiteral("Daniel"), QStringLiteral("Liam") };
    return names;
}

// Each exchange is a list of lines; "<" starts one the contact sent, ">" one sent from the phone.
// {day}, {time}, {place}, {food}, {amount}, {code}, {digits} and {shop} are filled in by draw.
const QList<QStringList>& exchanges(Talk talk)
{
    static const QList<QStringList> english = {
        { QStringLiteral("<Are you free {day}?"), QStringLiteral(">Should be, why?"),
            QStringLiteral("<Dinner at {place}? {time}"), QStringLiteral(">Perfect 👍") },
        { QStringLiteral(">Running 10 min late, sorry!"), QStringLiteral("<No worries") },
        { QStringLiteral("<Can you pick up milk and bread on the way home?"), QStringLiteral(">Sure. Anything else?"),
            QStringLiteral("<Eggs maybe 🍳") },
        { QStringLiteral(">Happy birthday!! 🎉🎂 Have an amazing day"), QStringLiteral("<Thank you so much ❤️") },
        { QStringLiteral("<Did you see the match last night?"), QStringLiteral(">Yes!! What a finish ⚽"),
            QStringLiteral("<Unbelievable 😂") },
        { QStringLiteral(">Landed safely ✈️"), QStringLiteral("<Great, text me when you're at the hotel") },
        { QStringLiteral("<Call me when you get a chance"), QStringLiteral(">Will do, in a meeting till {time}") },
        { QStringLiteral(">Fancy the cinema {day}?"), QStringLiteral("<Yes! Which showing?"),
            QStringLiteral(">{time}, I'll book"), QStringLiteral("<🍿🍿") },
        { QStringLiteral("<Thanks for today, had a lovely time 😊"), QStringLiteral(">Me too, let's do it again soon") },
        { QStringLiteral(">Where did you park?"), QStringLiteral("<Level 3, near the lifts") },
        { QStringLiteral("<Can I borrow your drill this weekend?"),
            QStringLiteral(">Of course, I'll drop it round {day}") },
        { QStringLiteral(">Good luck with the interview today! 🙏"), QStringLiteral("<Thanks!! Nervous 😬"),
            QStringLiteral("<Got it!!! 🎉"), QStringLiteral(">Amazing, so proud of you") },
        { QStringLiteral("<Are we still on for {day}?"), QStringLiteral(">Yes, {time} at {place}") },
        { QStringLiteral(">Just seen this and thought of you 😂"), QStringLiteral("<Haha brilliant") },
        { QStringLiteral("<The heating is making that noise again"), QStringLiteral(">I'll have a look tonight") },
        { QStringLiteral(">Happy new year! 🎆"), QStringLiteral("<Happy new year to you too! xx") },
        { QStringLiteral("<What do you want for dinner?"), QStringLiteral(">{food}?"), QStringLiteral("<Deal") },
        { QStringLiteral(">Have you got the keys?"), QStringLiteral("<Under the mat 🔑") },
        { QStringLiteral("<Train's cancelled 🙄 getting the next one"), QStringLiteral(">Ugh, see you soon") },
        { QStringLiteral(">Can you send me that pancake recipe?"),
            QStringLiteral("<Sure:\n200g flour\n2 eggs\n300ml milk\npinch of salt\nWhisk, rest 30 min, fry thin 🍰"),
            QStringLiteral(">Thank you!") },
        { QStringLiteral("<Are you awake?"), QStringLiteral(">Yes, what's up?"),
            QStringLiteral("<Can't sleep, big day tomorrow"), QStringLiteral(">You'll be great. Get some rest 💤") },
        { QStringLiteral(">Leaving now"), QStringLiteral("<OK 👍") },
        { QStringLiteral("<Don't forget the bins tonight"), QStringLiteral(">On it") },
        { QStringLiteral(">Thinking of you today ❤️"), QStringLiteral("<Thank you, that means a lot") },
        { QStringLiteral("<Coffee {day}?"), QStringLiteral(">Yes please ☕ {time}?"),
            QStringLiteral("<See you at {place}") },
        { QStringLiteral(">On my way 🚗") },
        { QStringLiteral("<Sorry, missed your call. Everything OK?"), QStringLiteral(">All fine, call you later") },
        { QStringLiteral("<Nearly there") },
    };
    static const QList<QStringList> russian = {
        { QStringLiteral("<Привет! Как дела?"), QStringLiteral(">Привет! Всё хорошо, а у тебя?"),
            QStringLiteral("<Отлично 😊 Созвонимся вечером?"), QStringLiteral(">Давай, после семи") },
        { QStringLiteral(">С днём рождения! 🎉 Счастья и здоровья!"),
            QStringLiteral("<Спасибо большое! ❤️") },
        { QStringLiteral("<Ты уже дома?"), QStringLiteral(">Да, только что пришёл") },
        { QStringLiteral(">Спасибо за помощь!"), QStringLiteral("<Не за что 👍") },
    };
    static const QList<QStringList> chinese = {
        { QStringLiteral("<你好，今天晚上一起吃饭吗？"), QStringLiteral(">好啊！几点？"),
            QStringLiteral("<七点在老地方见 😊"), QStringLiteral(">好的，不见不散") },
        { QStringLiteral(">生日快乐！🎂"), QStringLiteral("<谢谢你！❤️") },
        { QStringLiteral("<你到家了吗？"), QStringLiteral(">到了，谢谢关心") },
        { QStringLiteral(">周末有空吗？"), QStringLiteral("<有空，我们去爬山吧 ⛰️") },
    };
    static const QList<QStringList> greek = {
        { QStringLiteral("<Καλημέρα! Τι κάνεις;"), QStringLiteral(">Καλά, εσύ;"),
            QStringLiteral("<Μια χαρά! Τα λέμε αύριο;"), QStringLiteral(">Ναι, στις οκτώ") },
        { QStringLiteral(">Χρόνια πολλά! 🎉"), QStringLiteral("<Ευχαριστώ πολύ! ❤️") },
        { QStringLiteral("<Έφτασες;"), QStringLiteral(">Ναι, μόλις τώρα 👍") },
    };
    static const QList<QStringList> arabic = {
        { QStringLiteral("<مرحبا، كيف حالك؟"), QStringLiteral(">الحمد لله بخير، وأنت؟"),
            QStringLiteral("<بخير، شكراً 😊") },
        { QStringLiteral(">عيد مبارك! 🌙"), QStringLiteral("<عيد مبارك، كل عام وأنت بخير") },
        { QStringLiteral("<هل وصلت؟"), QStringLiteral(">نعم، وصلت الآن") },
        { QStringLiteral(">شكراً جزيلاً على المساعدة"), QStringLiteral("<عفواً 👍") },
    };
    static const QList<QStringList> german = {
        { QStringLiteral("<Hallo! Wie geht's?"), QStringLiteral(">Gut, danke! Und dir?"),
            QStringLiteral("<Super 😊 Bis Samstag!") },
        { QStringLiteral(">Alles Gute zum Geburtstag! 🎉"), QStringLiteral("<Danke dir! ❤️") },
        { QStringLiteral("<Bist du schon da?"), QStringLiteral(">Fast, noch 5 Minuten") },
    };
    static const QList<QStringList> spanish = {
        { QStringLiteral("<¡Hola! ¿Qué tal?"), QStringLiteral(">¡Muy bien! ¿Y tú?"),
            QStringLiteral("<Genial. ¿Nos vemos el sábado?"), QStringLiteral(">¡Claro! 👍") },
        { QStringLiteral(">¡Feliz cumpleaños! 🎂"), QStringLiteral("<¡Muchas gracias! ❤️") },
    };
    static const QList<QStringList> french = {
        { QStringLiteral("<Salut ! Ça va ?"), QStringLiteral(">Oui très bien, et toi ?"),
            QStringLiteral("<Super ! On se voit à 20h ?"), QStringLiteral(">Parfait 👍") },
        { QStringLiteral(">Joyeux anniversaire ! 🎉"), QStringLiteral("<Merci beaucoup ! ❤️") },
    };
    static const QList<QStringList> japanese = {
        { QStringLiteral("<こんにちは！元気ですか？"), QStringLiteral(">元気です！そちらは？"),
            QStringLiteral("<元気です 😊 また来週会いましょう") },
        { QStringLiteral(">お誕生日おめでとう！🎂"), QStringLiteral("<ありがとう！❤️") },
    };
    static const QList<QStringList> hebrew = {
        { QStringLiteral("<שלום! מה נשמע?"), QStringLiteral(">הכל טוב, ואצלך?"),
            QStringLiteral("<מצוין 😊 נתראה בשבוע הבא") },
        { QStringLiteral(">יום הולדת שמח! 🎉"), QStringLiteral("<תודה רבה! ❤️") },
    };
    static const QList<QStringList> group = {
        { QStringLiteral("<Game on {day} at {time}? ⚽"), QStringLiteral("<I'm in"), QStringLiteral(">In 👍"),
            QStringLiteral("<Need one more, anyone?") },
        { QStringLiteral("<Who's got the bibs?"), QStringLiteral(">Me, will bring them") },
        { QStringLiteral("<Pitch booked for {day} 🙌"), QStringLiteral("<Legend"), QStringLiteral(">Nice one") },
        { QStringLiteral(">Can't make it this week, sorry lads"), QStringLiteral("<No worries") },
        { QStringLiteral("<Great game tonight 🔥"), QStringLiteral("<My legs are gone 😂"),
            QStringLiteral(">Same time next week?") },
        { QStringLiteral("<Pint after? 🍺"), QStringLiteral("<Always"), QStringLiteral("<{place}?") },
    };
    static const QList<QStringList> bank = {
        { QStringLiteral("<Your account ending 4821 was debited £{amount} at {shop}. Not you? Call the number on "
                         "the back of your card.") },
        { QStringLiteral("<Your balance is £{amount}. Reply STOP to end balance alerts.") },
        { QStringLiteral("<Your new card has been sent and should arrive within 5 working days.") },
    };
    static const QList<QStringList> parcel = {
        { QStringLiteral("<Your parcel {code} will be delivered today between 10:00 and 14:00. Track it: "
                         "https://example.com/t/{code}") },
        { QStringLiteral("<We tried to deliver parcel {code} but nobody was in. Choose a new day: "
                         "https://example.com/r/{code}") },
        { QStringLiteral("<Your parcel {code} has been left in your safe place 📦") },
    };
    static const QList<QStringList> verify = {
        { QStringLiteral("<Your verification code is {digits}. It expires in 10 minutes. Never share it.") },
        { QStringLiteral("<{digits} is your sign-in code.") },
    };
    static const QList<QStringList> carrier = {
        { QStringLiteral("<You've used 80% of your monthly data allowance 📶") },
        { QStringLiteral("<Your bill of £{amount} is ready. View it in the app.") },
        { QStringLiteral("<Welcome abroad! Calls and texts cost the same as at home; 5GB of roaming data "
                         "included.") },
    };
    static const QList<QStringList> surgery = {
        { QStringLiteral("<Reminder: your appointment at Riverside Surgery is on {day} at {time}. Reply Y to "
                         "confirm or C to cancel."),
            QStringLiteral(">Y"), QStringLiteral("<Thank you, your appointment is confirmed.") },
        { QStringLiteral("<Your flu jab is due. Call 01632 960123 to book.") },
    };
    switch (talk) {
    case Talk::English:
        return english;
    case Talk::Russian:
        return russian;
    case Talk::Chinese:
        return chinese;
    case Talk::Greek:
        return greek;
    case Talk::Arabic:
        return arabic;
    case Talk::German:
        return german;
    case Talk::Spanish:
        return spanish;
    case Talk::French:
        return french;
    case Talk::Japanese:
        return japanese;
    case Talk::Hebrew:
        return hebrew;
    case Talk::Group:
        return group;
    case Talk::Bank:
        return bank;
    case Talk::Parcel:
        return parcel;
    case Talk::Verify:
        return verify;
    case Talk::Carrier:
        return carrier;
    case Talk::Surgery:
        break;
    }
    return surgery;
}

QString filled(QString text, SeededRandom& random)
{
    static const QStringList days = { QStringLiteral("tonight"), QStringLiteral("tomorrow"), QStringLiteral("Friday"),
        QStringLiteral("Saturday"), QStringLiteral("Sunday"), QStringLiteral("Tuesday") };
    static const QStringList times = { QStringLiteral("6pm"), QStringLiteral("6:30"), QStringLiteral("7pm"),
        QStringLiteral("7:30"), QStringLiteral("8pm"), QStringLiteral("12:30"), QStringLiteral("4pm") };
    static const QStringList places = { QStringLiteral("The Crown"), QStringLiteral("the usual place"),
        QStringLiteral("Luigi's"), QStringLiteral("the café on Mill Lane"), QStringLiteral("the Thai place"),
        QStringLiteral("the station") };
    static const QStringList foods = { QStringLiteral("Curry"), QStringLiteral("Pizza"),
        QStringLiteral("Fish and chips"), QStringLiteral("Stir fry"), QStringLiteral("Pasta") };
    static const QStringList shops = { QStringLiteral("CORNER SHOP"), QStringLiteral("CITY BAKERY"),
        QStringLiteral("PETROL STATION 24"), QStringLiteral("BOOKS & MORE"), QStringLiteral("MARKET HALL") };
    const QString code = random.digits(10);
    text.replace(QLatin1String("{day}"), random.pick(days));
    text.replace(QLatin1String("{time}"), random.pick(times));
    text.replace(QLatin1String("{place}"), random.pick(places));
    text.replace(QLatin1String("{food}"), random.pick(foods));
    text.replace(QLatin1String("{shop}"), random.pick(shops));
    text.replace(QLatin1String("{amount}"), QStringLiteral("%1.%2").arg(random.between(2, 900)).arg(random.digits(2)));
    text.replace(QLatin1String("{code}"), code);
    text.replace(QLatin1String("{digits}"), random.digits(6));
    return text;
}

// What a phone keeps of a picture, video, recording or contact card sent by MMS.
QString attachmentPlaceholder(qint64 timeMs, SeededRandom& random)
{
    const QString stamp = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(QStringLiteral("yyyyMMdd_HHmmss"));
    static const QStringList cards = { QStringLiteral("Ruth Morgan.vcf"), QStringLiteral("Jake the plumber.vcf"),
        QStringLiteral("Riverside Surgery.vcf") };
    static const QStringList captions = { QStringLiteral("Look at this! 😍"), QStringLiteral("From today"),
        QStringLiteral("The view from here 🏔️"), QStringLiteral("Guess where I am"),
        QStringLiteral("For you ❤️") };
    QString placeholder;
    switch (random.below(10)) {
    case 0:
    case 1:
        placeholder = QStringLiteral("[Video: VID_%1.mp4]").arg(stamp);
        break;
    case 2:
        placeholder = QStringLiteral("[Voice message: AUD_%1.m4a]").arg(stamp);
        break;
    case 3:
        placeholder = QStringLiteral("[Contact card: %1]").arg(random.pick(cards));
        break;
    default:
        placeholder = QStringLiteral("[Photo: IMG_%1.jpg]").arg(stamp);
    }
    return random.percent(40) ? placeholder + QLatin1Char('\n') + random.pick(captions) : placeholder;
}

SimMessage message(const DemoContact& contact, qint64 timeMs, int direction, const QString& body)
{
    SimMessage m;
    m.timeMs = timeMs;
    m.direction = direction;
    m.address = contact.address;
    m.contactName = contact.name;
    m.body = body;
    return m;
}

void addExchange(const DemoContact& contact, SeededRandom& random, QList<SimMessage>& out)
{
    const bool abroad = contact.talk > Talk::English && contact.talk < Talk::Group;
    const QList<QStringList>& table = exchanges(abroad && random.percent(20) ? Talk::English : contact.talk);
    const QStringList& lines = random.pick(table);

    const int day = random.between(contact.firstDay, contact.lastDay);
    qint64 timeMs
        = firstDayMs + day * dayMs + qint64(random.between(7 * 3600 + 30 * 60, 23 * 3600)) * 1000 + random.below(1000);
    const bool withAttachment = contact.talk < Talk::Group && random.percent(8);
    const int attachmentAt = random.below(int(lines.size()) + 1);
    for (int i = 0; i <= lines.size(); ++i) {
        if (withAttachment && i == attachmentAt) {
            out.append(message(contact, timeMs, random.below(2), attachmentPlaceholder(timeMs, random)));
            timeMs += qint64(random.between(20, 600)) * 1000 + random.below(1000);
        }
        if (i == lines.size())
            break;
        const QString& line = lines.at(i);
        const int direction = line.startsWith(QLatin1Char('>')) ? 1 : 0;
        QString body = filled(line.mid(1), random);
        if (contact.talk == Talk::Group && direction == 0)
            body = random.pick(groupMembers()) + QStringLiteral(": ") + body;
        out.append(message(contact, timeMs, direction, body));
        timeMs += qint64(random.between(20, 1200)) * 1000 + random.below(1000);
    }
}

const QString& longLetter()
{
    static const QString text = QStringLiteral(
        "My dear, I hope this finds you well. I have finally learned how to send these long messages on the new "
        "phone, so you will have to put up with a proper letter from your old gran!\n\n"
        "The garden is doing beautifully this year. The roses by the gate came back after that awful winter, and "
        "the sweet peas are climbing all over the fence. Mr Patterson next door says they are the best in the "
        "street, but he says that every year to get a bunch for his wife.\n\n"
        "I went to the market on Saturday with Margaret. We had tea and a scone at the little café by the river "
        "and talked about the summer we all went to the seaside, when you were six and refused to come out of the "
        "water until your lips were blue. Your grandad laughed so much that day. I found the photographs from that "
        "trip in the loft last week, I will keep them for you.\n\n"
        "Now, I know you are very busy with work, but do try to eat properly and get some sleep. And call your "
        "mother, she worries. If you can come for Sunday lunch at the end of the month I will make the apple "
        "crumble you like, with custard, not cream.\n\n"
        "All my love, and a big hug,\nGran xxx");
    return text;
}

} // namespace

QList<SimMessage> generateDemoMessages(quint32 seed)
{
    SeededRandom random(seed);
    QList<SimMessage> messages;
    messages.reserve(demoMessageCount + 8);

    const DemoContact& gran = contacts().at(3);
    const qint64 letterMs = firstDayMs + 520 * dayMs + (10 * 3600 + 12 * 60) * 1000LL;
    messages.append(message(gran, letterMs, 0, longLetter()));
    messages.append(message(gran, letterMs + 2 * 3600 * 1000LL, 1,
        QStringLiteral("Thank you Gran, that made my day ❤️ Sunday lunch at the end of the month, I promise!")));

    // Every contact has written at least once; after that the busy ones get most of the messages.
    int totalWeight = 0;
    for (const DemoContact& contact : contacts()) {
        addExchange(contact, random, messages);
        totalWeight += contact.weight;
    }
    while (messages.size() < demoMessageCount) {
        int draw = random.below(totalWeight);
        for (const DemoContact& contact : contacts()) {
            draw -= contact.weight;
            if (draw < 0) {
                addExchange(contact, random, messages);
                break;
            }
        }
    }
    messages.resize(demoMessageCount);
    std::stable_sort(
        messages.begin(), messages.end(), [](const SimMessage& a, const SimMessage& b) { return a.timeMs < b.timeMs; });
    return messages;
}

QList<SimMessage> generateDemoMultimedia(quint32 seed)
{
    // A draw of its own, so that the text messages of the same seed do not change.
    SeededRandom random(seed ^ 0x6d6d7321u);
    struct Picture
    {
        int contact;
        int direction;
        QString caption;
    };
    const QList<Picture> pictures = {
        { 0, 0, QStringLiteral("Look at this! 😍") },
        { 1, 1, QStringLiteral("The view from here 🏔️") },
        { 4, 0, QString() },
        { 23, 0, QStringLiteral("Καλημέρα από την Αθήνα ☀️") },
        { 0, 1, QStringLiteral("For you ❤️") },
    };
    const DemoContact& team = contacts().at(33);
    QList<SimMessage> messages;
    int counter = 0;
    const auto pictureMessage = [&](const DemoContact& contact, int direction, const QString& caption) {
        const int day = random.between(contact.firstDay, contact.lastDay);
        const qint64 timeMs
            = firstDayMs + day * dayMs + qint64(random.between(8 * 3600, 22 * 3600)) * 1000 + random.below(1000);
        const QString stamp
            = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(QStringLiteral("yyyyMMdd_HHmmss"));
        SimMessage m = message(contact, timeMs, direction, QString());
        m.mms = true;
        if (!caption.isEmpty())
            m.parts.append({ QStringLiteral("text/plain"), QStringLiteral("text_0.txt"), caption, {} });
        m.parts.append({ QStringLiteral("image/png"), QStringLiteral("IMG_%1.png").arg(stamp), QString(),
            generatedPng(seed * 31u + quint32(++counter), 64 + 16 * random.below(3), 48) });
        return m;
    };
    for (const Picture& picture : pictures)
        messages.append(pictureMessage(contacts().at(picture.contact), picture.direction, picture.caption));
    SimMessage toTeam = pictureMessage(team, 0, QStringLiteral("Team photo from tonight ⚽ Same time next week?"));
    toTeam.sender = team.address.section(QLatin1Char(';'), 2, 2);
    messages.append(toTeam);
    std::stable_sort(
        messages.begin(), messages.end(), [](const SimMessage& a, const SimMessage& b) { return a.timeMs < b.timeMs; });
    return messages;
}
