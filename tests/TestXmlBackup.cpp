// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageIdentity.h"
#include "message/RecordDefaults.h"
#include "ops/BackupSMSThread.h"
#include "ops/ExportSMSThread.h"
#include "ops/SearchIndexUpdates.h"
#include "ops/XmlImportThread.h"
#include "ops/export/ExportSMSXml.h"
#include "ops/xml/CharacterReferenceFilter.h"
#include "ops/xml/SmsXmlReader.h"
#include "store/ExportMessagesDb.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"
#include "support/FileBytes.h"
#include "support/RecordingProgress.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/Thrown.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <deque>

namespace {

const QString britain = QStringLiteral("234");

QByteArray backup(const QByteArray& elements)
{
    return "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"2\">\n" + elements + "</smses>\n";
}

QByteArray sms(const QByteArray& attributes)
{
    return "  <sms protocol=\"0\" " + attributes + " />\n";
}

// The messages of a database as its reader gives them: conversation participants, sender, date,
// direction, read flag, subject and text; sorted, so that row ids do not matter.
QStringList messageSummary(const QDir& folder)
{
    IOS6MessageDb store(folder, britain, true);
    _MsgCollection collection;
    store.messages(collection, 0);
    QStringList lines;
    for (const _MsgMessage* message : collection.messages()) {
        if (message->item_type != 0)
            continue;
        QStringList participants;
        for (const _MsgHandle* handle : message->chat->handles)
            participants.append(handle->id);
        participants.sort();
        lines.append(QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                         .arg(participants.join(QLatin1Char(',')), message->handle ? message->handle->id : QString())
                         .arg(message->date)
                         .arg(message->is_from_me)
                         .arg(message->is_read)
                         .arg(message->subject, message->text));
    }
    lines.sort();
    return lines;
}

QStringList filesUnder(const QDir& folder)
{
    // The search index that a successful import brings up to date in the background is among the
    // files, whole.
    waitForSearchIndexUpdates();
    QStringList files;
    QDirIterator it(folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

// An <mms> with text parts and <addr> elements given as (address, type) pairs.
QByteArray mms(const QByteArray& attributes, const QByteArray& text, const QList<QPair<QByteArray, int>>& addresses)
{
    QByteArray element = "  <mms " + attributes + ">\n    <parts><part seq=\"0\" ct=\"text/plain\" text=\"" + text
        + "\" /></parts>\n    <addrs>\n";
    for (const auto& [address, type] : addresses)
        element
            += "      <addr address=\"" + address + "\" type=\"" + QByteArray::number(type) + "\" charset=\"106\" />\n";
    return element + "    </addrs>\n  </mms>\n";
}

// The messages of a backup file as the reader gives them: text and box, sorted.
QStringList textsAndBoxes(const QString& path)
{
    QStringList lines;
    SmsXmlReader reader(path);
    SmsXmlRecord record;
    while (reader.next(record)) {
        QString text = record.body;
        for (const SmsXmlRecord::Part& part : std::as_const(record.parts)) {
            if (part.contentType == QLatin1String("text/plain"))
                text += part.text;
        }
        lines.append(QStringLiteral("%1|%2").arg(text).arg(record.box));
    }
    lines.sort();
    return lines;
}

// An <mms> part holding a file.
QByteArray mediaPart(const QByteArray& contentType, const QByteArray& name, const QByteArray& data)
{
    return "      <part ct=\"" + contentType + "\" name=\"null\" cl=\"" + name + "\" data=\"" + data.toBase64()
        + "\" />\n";
}

// The attachments of a database as read back: message text, mime type and name with the bytes of
// the file the reader found for it ("no file" when it found none); sorted.
QStringList attachmentsRead(const QDir& folder)
{
    IOS6MessageDb store(folder, britain, true);
    _MsgCollection collection;
    store.messages(collection, 0);
    QStringList lines;
    for (const _MsgMessage* message : collection.messages()) {
        for (const _MsgAttachment& attachment : message->attachments) {
            QFile file(attachment.sourcePath);
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll().toHex() : "no file";
            lines.append(
                QStringLiteral("%1|%2|%3|%4")
                    .arg(message->text, attachment.mime_type, attachment.transfer_name, QString::fromLatin1(bytes)));
        }
    }
    lines.sort();
    return lines;
}

} // namespace

// Import and export of the XML backup format of the common Android backup apps, end to end through
// the real worker threads, the store and files on disk.
class TestXmlBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void filterRewritesReferences_data();
    void filterRewritesReferences();
    void importMapsMessages_data();
    void importMapsMessages();
    void groupMmsWithImage();
    void roundTripAndSecondImport();
    void malformedFileLeavesDatabase_data();
    void malformedFileLeavesDatabase();
    void conversationsOfRealBackups_data();
    void conversationsOfRealBackups();
    void secondImportFindsEverything_data();
    void secondImportFindsEverything();
    void longPartNamesAreStored_data();
    void longPartNamesAreStored();
    void picturesTravelWithTheirMessages();
    void oversizedElementIsRefused_data();
    void oversizedElementIsRefused();

private:
    QString import(
        const QString& xmlPath, const QDir& folder, XmlImportThread** done = nullptr, const QString& mcc = britain);
    QString importBytes(const QByteArray& xml, const QDir& folder);
    QString exportAll(const QDir& folder, const QString& name);

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<XmlImportThread> m_lastImport;
};

void TestXmlBackup::initTestCase()
{
    useTemporaryHome();
}

void TestXmlBackup::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
}

QString TestXmlBackup::import(const QString& xmlPath, const QDir& folder, XmlImportThread** done, const QString& mcc)
{
    RecordingProgress progress;
    m_lastImport = std::make_unique<XmlImportThread>(xmlPath, folder, mcc, &progress);
    m_lastImport->start();
    progress.waitForOutcome(m_lastImport.get(), 120000);
    m_lastImport->wait();
    if (done)
        *done = m_lastImport.get();
    if (!progress.errors.isEmpty())
        return QStringLiteral("error: ") + progress.errors.first();
    return progress.successes.value(0, QStringLiteral("no outcome"));
}

QString TestXmlBackup::importBytes(const QByteArray& xml, const QDir& folder)
{
    const QString path = m_tmp->filePath(QStringLiteral("in.xml"));
    if (!writeFile(path, xml))
        return QStringLiteral("error: can not write ") + path;
    return import(path, folder);
}

// Exports every message of the database through the export thread's XML format; returns the file,
// empty when the export failed.
QString TestXmlBackup::exportAll(const QDir& folder, const QString& name)
{
    IOS6MessageDb store(folder, britain, true);
    _MsgCollection collection;
    store.messages(collection, 0);
    store.close();
    const QString xmlPath = m_tmp->filePath(name);
    RecordingProgress progress;
    ExportSMSThread exporter(collection.messages().values(), xmlPath, ExportSMSThread::Xml, true, &progress);
    exporter.start();
    progress.waitForOutcome(&exporter);
    exporter.wait();
    if (!progress.errors.isEmpty()) {
        qWarning() << "export failed:" << progress.errors;
        return QString();
    }
    return xmlPath;
}

void TestXmlBackup::filterRewritesReferences_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("padding");

    QTest::newRow("surrogate pair") << QByteArray("a&#55357;&#56832;b") << QByteArray("a&#x1F600;b") << 0;
    QTest::newRow("hexadecimal pair") << QByteArray("&#xD83D;&#xDE00;") << QByteArray("&#x1F600;") << 0;
    QTest::newRow("two emoji") << QByteArray("&#55357;&#56832;&#55356;&#57225;") << QByteArray("&#x1F600;&#x1F389;")
                               << 0;
    QTest::newRow("lone high surrogate") << QByteArray("&#55357;x") << QByteArray("&#xFFFD;x") << 0;
    QTest::newRow("high then entity") << QByteArray("&#55357;&amp;") << QByteArray("&#xFFFD;&amp;") << 0;
    QTest::newRow("lone low surrogate") << QByteArray("&#56832;") << QByteArray("&#xFFFD;") << 0;
    QTest::newRow("control character") << QByteArray("&#1;&#27;") << QByteArray("&#xFFFD;&#xFFFD;") << 0;
    QTest::newRow("allowed references kept")
        << QByteArray("&#10;&#233;&amp;&#x1F600;") << QByteArray("&#10;&#233;&amp;&#x1F600;") << 0;
    QTest::newRow("not a reference") << QByteArray("&#;&#12a;&") << QByteArray("&#;&#12a;&") << 0;
    // The filter reads in chunks of 256 KiB: references cut by a chunk's end are decided whole.
    QTest::newRow("pair across chunks") << QByteArray("&#55357;&#56832;") << QByteArray("&#x1F600;") << 256 * 1024 - 10;
    QTest::newRow("first across chunks") << QByteArray("&#55357;&#56832;") << QByteArray("&#x1F600;") << 256 * 1024 - 3;
    QTest::newRow("ampersand at chunk end")
        << QByteArray("&#55357;&#56832;") << QByteArray("&#x1F600;") << 256 * 1024 - 1;
}

void TestXmlBackup::filterRewritesReferences()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QFETCH(int, padding);
    const QByteArray pad(padding, 'p');
    const QByteArray out = CharacterReferenceFilter::filtered(pad + input + "\nend");
    QCOMPARE(out.mid(padding), expected + "\nend");
    QCOMPARE(out.left(padding), pad);
}

void TestXmlBackup::importMapsMessages_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<QStringList>("expected");

    // 1356998400000 ms is 2013-01-01 00:00:00 UTC, 378691200 s after 2001-01-01.
    QTest::newRow("received, sent, failed")
        << sms("address=\"+447700900123\" date=\"1356998400000\" type=\"1\" read=\"0\" body=\"in\"")
            + sms("address=\"+447700900123\" date=\"1356998400999\" type=\"2\" body=\"out\"")
            + sms("address=\"+447700900123\" date=\"1356998460000\" type=\"5\" body=\"failed\"")
        << QStringList { QStringLiteral("+447700900123|378691200|0|0|in"),
               QStringLiteral("+447700900123|378691200|1|1|out"),
               QStringLiteral("+447700900123|378691260|1|1|failed") };
    QTest::newRow("surrogate pairs") << sms("address=\"+447700900123\" date=\"1356998400000\" type=\"1\" "
                                            "body=\"smile &#55357;&#56832;&#10;line &amp; &quot;q&quot;\"")
                                     << QStringList { QString::fromUtf8(
                                            "+447700900123|378691200|0|1|smile \xF0\x9F\x98\x80\nline & \"q\"") };
    QTest::newRow("national spellings share one conversation")
        << sms("address=\"07946 123456\" date=\"1356998400000\" type=\"1\" body=\"a\"")
            + sms("address=\"447946123456\" date=\"1356998401000\" type=\"2\" body=\"b\"")
        << QStringList { QStringLiteral("+447946123456|378691200|0|1|a"),
               QStringLiteral("+447946123456|378691201|1|1|b") };
    QTest::newRow("date that is no number is skipped")
        << sms("address=\"+447700900123\" date=\"soon\" type=\"1\" body=\"x\"")
            + sms("address=\"+447700900123\" date=\"1356998400000\" type=\"1\" body=\"y\"")
        << QStringList { QStringLiteral("+447700900123|378691200|0|1|y") };
}

void TestXmlBackup::importMapsMessages()
{
    QFETCH(QByteArray, elements);
    QFETCH(QStringList, expected);
    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString outcome = importBytes(backup(elements), folder);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));
    QCOMPARE(queryRows(folder,
                 QStringLiteral("select h.id, m.date, m.is_from_me, m.is_read, m.text from message m "
                                "join handle h on h.rowid = m.handle_id order by m.date, m.is_from_me")),
        expected);
    // Every message of one address lands in that address's one-to-one conversation.
    QCOMPARE(queryRows(folder,
                 QStringLiteral("select count(*) from chat where chat_identifier not in "
                                "(select id from handle)")),
        QStringList { QStringLiteral("0") });
}

void TestXmlBackup::groupMmsWithImage()
{
    const QByteArray image = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray(300, '\x7f');
    const QByteArray mms = "  <mms date=\"1356998400000\" msg_box=\"1\" address=\"+447700900001~07946 123456\" "
                           "read=\"1\" sub=\"null\" m_type=\"132\">\n"
                           "    <parts>\n"
                           "      <part seq=\"-1\" ct=\"application/smil\" name=\"null\" text=\"&lt;smil/&gt;\" />\n"
                           "      <part seq=\"0\" ct=\"image/png\" name=\"null\" cl=\"photo.png\" data=\""
        + image.toBase64()
        + "\" />\n"
          "      <part seq=\"1\" ct=\"text/plain\" name=\"null\" text=\"look &#55357;&#56832;\" />\n"
          "    </parts>\n"
          "    <addrs>\n"
          "      <addr address=\"+447700900001\" type=\"137\" charset=\"106\" />\n"
          "      <addr address=\"+447700900099\" type=\"151\" charset=\"106\" />\n"
          "      <addr address=\"07946 123456\" type=\"151\" charset=\"106\" />\n"
          "    </addrs>\n"
          "  </mms>\n";
    const QByteArray sent = "  <mms date=\"1356998460000\" msg_box=\"2\" address=\"+447946123456~+447700900001\">\n"
                            "    <parts><part seq=\"0\" ct=\"text/plain\" text=\"thanks\" /></parts>\n"
                            "    <addrs><addr address=\"+447700900099\" type=\"137\" /></addrs>\n"
                            "  </mms>\n";
    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString outcome = importBytes(backup(mms + sent), folder);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));

    // Both messages in one group conversation of the two participants; the received one from its sender.
    QCOMPARE(messageSummary(folder),
        QStringList({ QString::fromUtf8("+447700900001,+447946123456|+447700900001|378691200|0|1||\xEF\xBF\xBC\nlook "
                                        "\xF0\x9F\x98\x80"),
            QStringLiteral("+447700900001,+447946123456||378691260|1|1||thanks") }));
    QCOMPARE(queryRows(folder, QStringLiteral("select count(*) from chat")), QStringList { QStringLiteral("1") });

    // The image is an attachment of the received message, its file in the database folder.
    const QStringList attachment = queryRows(folder,
        QStringLiteral("select a.mime_type, a.transfer_name, a.filename from attachment a "
                       "join message_attachment_join j on j.attachment_id = a.rowid "
                       "join message m on m.rowid = j.message_id where m.is_from_me = 0"));
    QCOMPARE(attachment.size(), 1);
    const QStringList fields = attachment.first().split(QLatin1Char('|'));
    QCOMPARE(fields.mid(0, 2), QStringList({ QStringLiteral("image/png"), QStringLiteral("photo.png") }));
    QVERIFY(fields.at(2).startsWith(QLatin1String("~/")));
    QFile stored(folder.filePath(QStringLiteral("file-relay/var/mobile/") + fields.at(2).mid(2)));
    QVERIFY2(stored.open(QIODevice::ReadOnly), qPrintable(stored.fileName()));
    QCOMPARE(stored.readAll(), image);

    // A message whose attachment file is at hand goes out as <mms> with the image, and comes back in.
    _MsgHandle ann;
    _MsgChat chat;
    fillCorrespondent(QStringLiteral("+447700900123"), ann, chat);
    _MsgMessage message;
    fillLoadedMessage(message);
    message.chat = &chat;
    message.handle = &ann;
    message.date = 378691200;
    message.text = QStringLiteral("pic");
    _MsgAttachment picture;
    picture.rowid = 1;
    picture.filename = QStringLiteral("~/Library/SMS/Attachments/photo.png");
    picture.mime_type = QStringLiteral("image/png");
    picture.sourcePath = stored.fileName();
    message.attachments.insert(QStringLiteral("1"), picture);
    const QString xmlPath = m_tmp->filePath(QStringLiteral("media.xml"));
    ExportSMSXml writer(xmlPath);
    writer.begin();
    writer.write(message);
    writer.end();
    const QDir copy(m_tmp->filePath(QStringLiteral("copy")));
    QVERIFY(!import(xmlPath, copy).startsWith(QLatin1String("error")));
    const QStringList copied = queryRows(copy, QStringLiteral("select filename from attachment"));
    QCOMPARE(copied.size(), 1);
    QFile copiedFile(copy.filePath(QStringLiteral("file-relay/var/mobile/") + copied.first().mid(2)));
    QVERIFY(copiedFile.open(QIODevice::ReadOnly));
    QCOMPARE(copiedFile.readAll(), image);
    QCOMPARE(messageSummary(copy),
        QStringList { QString::fromUtf8("+447700900123|+447700900123|378691200|0|1||pic\n\xEF\xBF\xBC") });
}

void TestXmlBackup::roundTripAndSecondImport()
{
    // A database as a load and a group message make it, with texts that need escaping.
    const QDir original(m_tmp->filePath(QStringLiteral("original")));
    std::deque<_MsgHandle> handles(3);
    std::deque<_MsgChat> chats(2);
    fillCorrespondent(QStringLiteral("+447700900123"), handles[0], chats[0]);
    handles[0]._ct_name = QStringLiteral("Ann <A&B>");
    handles[1].id = QStringLiteral("+447700900001");
    handles[2].id = QStringLiteral("+447700900002");
    chats[1].guid = QStringLiteral("SMS;+;chat-round-trip");
    chats[1].chat_identifier = QStringLiteral("chat-round-trip");
    chats[1].handles.insert(handles[1].id, &handles[1]);
    chats[1].handles.insert(handles[2].id, &handles[2]);
    const struct
    {
        int chat;
        int handle; // -1: none
        int date;
        int fromMe;
        const char* text;
    } samples[] = {
        { 0, 0, 378691200, 0, "plain" },
        { 0, 0, 378691201, 1, "quotes \" ' & < > and\nlines\ttab" },
        { 0, 0, 378691202, 0, "emoji \xF0\x9F\x98\x80 and accents \xC3\xA9" },
        { 1, 1, 378691300, 0, "group hello" },
        { 1, -1, 378691301, 1, "group reply" },
    };
    {
        ExportMessagesDb writer(original, britain);
        writer.begin();
        for (const auto& sample : samples) {
            _MsgMessage message;
            fillLoadedMessage(message);
            message.chat = &chats[size_t(sample.chat)];
            message.handle = sample.handle < 0 ? nullptr : &handles[size_t(sample.handle)];
            message.date = message.date_read = message.date_delivered = sample.date;
            message.is_from_me = sample.fromMe;
            message.text = QString::fromUtf8(sample.text);
            message.guid = guidFromBytes(logicHash(message).toUtf8());
            writer.write(message);
        }
        // A conversation event, which no phone could hold, stays out of the backup.
        _MsgMessage event;
        event.chat = &chats[1];
        event.handle = &handles[1];
        event.item_type = 2;
        event.editExtras().group_title = QStringLiteral("Renamed");
        event.guid = QStringLiteral("event-1");
        writer.write(event);
        writer.end();
    }
    const QStringList before = messageSummary(original);
    QCOMPARE(before.size(), 5);

    // Export all of it through the export thread's XML format.
    const QString xmlPath = exportAll(original, QStringLiteral("backup.xml"));
    QVERIFY(!xmlPath.isEmpty());
    QFile xml(xmlPath);
    QVERIFY(xml.open(QIODevice::ReadOnly));
    const QByteArray written = xml.readAll();
    QVERIFY(written.contains("<smses count=\"5\""));
    QCOMPARE(written.count("<sms "), 3);
    QCOMPARE(written.count("<mms "), 2);

    // Imported into a new database, the messages are the same; a second import stores nothing new.
    const QDir copy(m_tmp->filePath(QStringLiteral("copy")));
    XmlImportThread* first = nullptr;
    QVERIFY2(!import(xmlPath, copy, &first).startsWith(QLatin1String("error")), "first import failed");
    QCOMPARE(first->newMessages(), 5);
    QCOMPARE(messageSummary(copy), before);
    const QStringList dumpAfterFirst = queryRows(copy, QStringLiteral("select * from message order by rowid"));

    XmlImportThread* second = nullptr;
    QVERIFY2(!import(xmlPath, copy, &second).startsWith(QLatin1String("error")), "second import failed");
    QCOMPARE(second->newMessages(), 0);
    QCOMPARE(second->presentMessages(), 5);
    QCOMPARE(queryRows(copy, QStringLiteral("select * from message order by rowid")), dumpAfterFirst);

    // Importing the export into the database it came from finds every message and conversation there.
    const QStringList chatsBefore = queryRows(original, QStringLiteral("select rowid, guid from chat order by rowid"));
    XmlImportThread* back = nullptr;
    QVERIFY2(!import(xmlPath, original, &back).startsWith(QLatin1String("error")), "import into original failed");
    QCOMPARE(back->newMessages(), 0);
    QCOMPARE(queryRows(original, QStringLiteral("select rowid, guid from chat order by rowid")), chatsBefore);
}

// A file that can not be read whole, or a picture the store can not take (a file stands where its
// folder would go), fails the import with the reason and leaves the database as it was, instead of
// importing part of the file or a message without its picture.
void TestXmlBackup::malformedFileLeavesDatabase_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("attachmentsBlocked");
    QTest::addColumn<QString>("expectedError"); // a pattern

    const QString invalid = QStringLiteral("^error: in\\.xml is not a valid XML backup.*");
    const QByteArray good = backup(sms("address=\"+447700900555\" date=\"1356998500000\" type=\"1\" body=\"new\""));
    QTest::newRow("truncated") << good.left(good.indexOf("</smses>")) + "  <sms address=\"+4477\" da" << false
                               << invalid + QStringLiteral("line 4");
    QTest::newRow("mismatched tag") << backup(
        sms("address=\"+447700900555\" date=\"1356998500000\" body=\"x\"") + "  <mms date=\"1\"><parts></mms>\n")
                                    << false << invalid + QStringLiteral("line 4");
    QTest::newRow("not a backup") << QByteArray("<?xml version='1.0'?>\n<contacts/>\n") << false
                                  << invalid + QStringLiteral("line 2");
    QTest::newRow("image part cut") << good.left(good.indexOf("</smses>"))
            + "  <mms date=\"1356998500000\" msg_box=\"1\" address=\"+447700900555\"><parts>"
              "<part ct=\"image/png\" data=\"iVBORw0KGgo=\" /></parts></mms>\n  <sms "
                                    << false << invalid + QStringLiteral("line 5");
    QTest::newRow("picture not stored")
        << backup("  <mms date=\"1356998460000\" msg_box=\"1\" address=\"+447700900123\">\n"
                  "    <parts><part ct=\"image/png\" name=\"p.png\" data=\"iVBORw0KGgo=\" /></parts>\n  </mms>\n")
        << true
        << QStringLiteral("^error: The message at line 3 of in\\.xml can not be imported\\. can not copy the "
                          "attachment ~/Library/SMS/Attachments/");
}

void TestXmlBackup::malformedFileLeavesDatabase()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, attachmentsBlocked);
    QFETCH(QString, expectedError);

    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString first
        = importBytes(backup(sms("address=\"+447700900123\" date=\"1356998400000\" type=\"1\" body=\"kept\"")), folder);
    QVERIFY2(!first.startsWith(QLatin1String("error")), qPrintable(first));
    if (attachmentsBlocked)
        QVERIFY(
            writeFile(folder.filePath(QStringLiteral("file-relay/var/mobile/Library/SMS/Attachments")), "in the way"));
    const QStringList messagesBefore = queryRows(folder, QStringLiteral("select * from message"));
    const QStringList filesBefore = filesUnder(folder);

    const QString outcome = importBytes(xml, folder);
    QVERIFY2(QRegularExpression(expectedError).match(outcome).hasMatch(), qPrintable(outcome));
    QCOMPARE(queryRows(folder, QStringLiteral("select * from message")), messagesBefore);
    QCOMPARE(filesUnder(folder), filesBefore);
    if (attachmentsBlocked)
        return;

    // A database the failed import would have created is not left behind, nor its folder when new.
    const QDir fresh(m_tmp->filePath(QStringLiteral("fresh")));
    QVERIFY(importBytes(xml, fresh).startsWith(QLatin1String("error")));
    QVERIFY(!fresh.exists());
    QVERIFY(QDir().mkpath(fresh.path()));
    QVERIFY(importBytes(xml, fresh).startsWith(QLatin1String("error")));
    QCOMPARE(fresh.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// Files as the common backup app writes them: conversations by their participants, whatever order the
// messages come in and whatever the <mms> address names.
void TestXmlBackup::conversationsOfRealBackups_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("chats");

    const QStringList groupOfTwo {
        QStringLiteral("+447946100001,+447946100002|+447946100001|378691200|0|1||first"),
        QStringLiteral("+447946100001,+447946100002||378691260|1|1||reply"),
    };
    // The owner (+447946100099) is a recipient of the received message and the sender of the sent one.
    QTest::newRow("chat group named by its identifier")
        << mms("date=\"1356998400000\" msg_box=\"1\" address=\"group_8@rcs.google.com\" read=\"1\"", "first",
               { { "+447946100001", 137 }, { "+447946100099", 151 }, { "+447946100002", 151 } })
            + mms("date=\"1356998460000\" msg_box=\"2\" address=\"group_8@rcs.google.com\"", "reply",
                { { "+447946100099", 137 }, { "+447946100001", 151 }, { "07946 100002", 130 } })
        << groupOfTwo << 1;
    QTest::newRow("received before the first sent message")
        << mms("date=\"1356998400000\" msg_box=\"1\" address=\"+447946100001~+447946100002~+447946100099\"", "first",
               { { "+447946100001", 137 }, { "+447946100002", 151 }, { "+447946100099", 151 } })
            + sms("address=\"+447946100005\" date=\"1356998430000\" type=\"1\" body=\"between\"")
            + mms("date=\"1356998460000\" msg_box=\"2\" address=\"+447946100001~+447946100002~07946 100099\"", "reply",
                { { "07946 100099", 137 }, { "+447946100001", 151 }, { "+447946100002", 151 } })
        << groupOfTwo + QStringList { QStringLiteral("+447946100005|+447946100005|378691230|0|1||between") } << 2;
    // A sender name is no number, but it is the one the <addrs> name: the address still tells.
    QTest::newRow("named sender") << mms("date=\"1356998400000\" msg_box=\"1\" address=\"VODAFONE\"", "offer",
        { { "VODAFONE", 137 }, { "+447946100099", 151 } })
                                  << QStringList { QStringLiteral("vodafone|vodafone|378691200|0|1||offer") } << 1;
}

void TestXmlBackup::conversationsOfRealBackups()
{
    QFETCH(QByteArray, elements);
    QFETCH(QStringList, expected);
    QFETCH(int, chats);
    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString outcome = importBytes(backup(elements), folder);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));
    expected.sort();
    QCOMPARE(messageSummary(folder), expected);
    QCOMPARE(queryRows(folder, QStringLiteral("select count(*) from chat")), QStringList { QString::number(chats) });
}

// A file imported again stores nothing: whatever country the second import is given, and after a round
// trip through an export, which puts every message of the owner back in the box it came from.
void TestXmlBackup::secondImportFindsEverything_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<QString>("secondMcc");
    QTest::addColumn<bool>("viaExport");

    const QByteArray national = sms("address=\"07946 123456\" date=\"1356998400000\" type=\"1\" body=\"a\"")
        + sms("address=\"07946 123456\" date=\"1356998401000\" type=\"2\" body=\"b\"")
        + sms("address=\"020 7946 0958\" date=\"1356998402000\" type=\"1\" body=\"c\"");
    QTest::newRow("another country") << national << QStringLiteral("262") << false;
    QTest::newRow("no country") << national << QString() << false;
    QByteArray boxes;
    for (int type = 1; type <= 6; ++type) {
        const QByteArray n = QByteArray::number(type);
        boxes += sms(
            "address=\"+447700900123\" date=\"13569984" + n + "0000\" type=\"" + n + "\" body=\"type " + n + "\"");
    }
    for (int box = 1; box <= 5; ++box)
        boxes += mms("date=\"13569985" + QByteArray::number(box) + "0000\" msg_box=\"" + QByteArray::number(box)
                + "\" address=\"+447700900001~+447700900002\"",
            "box " + QByteArray::number(box),
            { { box == 1 ? "+447700900001" : "insert-address-token", 137 }, { "+447700900002", 151 } });
    QTest::newRow("drafts, outbox, failed and queued") << boxes << britain << true;
}

void TestXmlBackup::secondImportFindsEverything()
{
    QFETCH(QByteArray, elements);
    QFETCH(QString, secondMcc);
    QFETCH(bool, viaExport);

    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString xmlPath = m_tmp->filePath(QStringLiteral("in.xml"));
    QVERIFY(writeFile(xmlPath, backup(elements)));
    XmlImportThread* first = nullptr;
    QVERIFY(!import(xmlPath, folder, &first).startsWith(QLatin1String("error")));
    const qint64 count = first->newMessages();
    QCOMPARE(count, first->messagesRead());
    const QStringList stored = messageSummary(folder);
    const QStringList states
        = queryRows(folder, QStringLiteral("select text, is_from_me, is_sent, error from message order by text"));

    QString again = xmlPath;
    if (viaExport) {
        again = exportAll(folder, QStringLiteral("out.xml"));
        QVERIFY(!again.isEmpty());
        QCOMPARE(textsAndBoxes(again), textsAndBoxes(xmlPath));
    }
    XmlImportThread* second = nullptr;
    const QString outcome = import(again, folder, &second, secondMcc);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));
    QCOMPARE(second->newMessages(), 0);
    QCOMPARE(second->presentMessages(), count);
    QCOMPARE(messageSummary(folder), stored);
    if (secondMcc != britain) {
        QVERIFY2(outcome.contains(QLatin1String("United Kingdom (234)")), qPrintable(outcome));
        QVERIFY(!second->countryNote().isEmpty());
    }

    if (viaExport) {
        // In a new database the messages keep their states as well.
        const QDir copy(m_tmp->filePath(QStringLiteral("copy")));
        QVERIFY(!import(again, copy).startsWith(QLatin1String("error")));
        QCOMPARE(messageSummary(copy), stored);
        QCOMPARE(queryRows(copy, QStringLiteral("select text, is_from_me, is_sent, error from message order by text")),
            states);
    }
}

// Part names as phones write them, in any script and of any length: each picture is stored as a file
// inside the database folder under a name of at most 255 bytes, or the import fails.
void TestXmlBackup::longPartNamesAreStored_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");

    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("200 CJK characters") << QString(200, QChar(0x4E2D)) << QString(85, QChar(0x4E2D));
    QTest::newRow("emoji after 119 letters")
        << QString(119, QLatin1Char('a')) + emoji + QStringLiteral(".jpg") << QString(119, QLatin1Char('a'));
    QTest::newRow("long ASCII name, cut as always")
        << QString(126, QLatin1Char('b')) + QStringLiteral(".jpg") << QString(120, QLatin1Char('b'));
    QTest::newRow("characters a path can not hold") << QStringLiteral("a:b*c?\"<d>|.png") << QStringLiteral("abcd.png");
    QTest::newRow("dots and spaces") << QStringLiteral(". . .") << QStringLiteral("attachment-1");
}

void TestXmlBackup::longPartNamesAreStored()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    const QByteArray image = QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(200, '\x42');
    QString escaped = name;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('"'), QLatin1String("&quot;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    const QByteArray element = "  <mms date=\"1356998400000\" msg_box=\"1\" address=\"+447700900001\">\n"
                               "    <parts><part seq=\"0\" ct=\"image/jpeg\" name=\""
        + escaped.toUtf8() + "\" data=\"" + image.toBase64()
        + "\" /></parts>\n"
          "    <addrs><addr address=\"+447700900001\" type=\"137\" /></addrs>\n  </mms>\n";
    const QDir folder(m_tmp->filePath(QStringLiteral("db")));
    const QString outcome = importBytes(backup(element), folder);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));

    const QStringList fields
        = queryRows(folder, QStringLiteral("select transfer_name, filename, total_bytes from attachment"))
              .value(0)
              .split(QLatin1Char('|'));
    QCOMPARE(fields.value(0), stored);
    QVERIFY2(fields.value(1).endsWith(QLatin1Char('/') + stored), qPrintable(fields.value(1)));
    QCOMPARE(fields.value(2), QString::number(image.size()));
    QVERIFY(stored.toUtf8().size() <= 255);

    // The one file below file-relay is the picture, where the store's path says.
    const QString relay = QDir(folder.filePath(QStringLiteral("file-relay"))).canonicalPath();
    QStringList pictures = filesUnder(QDir(relay));
    pictures.removeIf([](const QString& path) { return path.contains(QLatin1String("/Library/SMS/sms.db")); });
    const QString expectedPath = relay + QStringLiteral("/var/mobile/") + fields.value(1).mid(2);
    QCOMPARE(pictures, QStringList { expectedPath });
    QFile picture(expectedPath);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    QCOMPARE(picture.readAll(), image);
}

// An element beyond the reader's bound ends the reading with a clear error, having read little more
// than the bound: memory does not grow with the element.
void TestXmlBackup::oversizedElementIsRefused_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("error"); // empty: the file reads
    QTest::addColumn<qint64>("readAtMost"); // bytes of the file read when the error comes

    // The reader takes the file in chunks of 256 KiB.
    constexpr int bound = 1 << 20;
    constexpr int chunk = 256 * 1024;
    const QString tooLarge = QStringLiteral("in.xml can not be imported: the message at line 3 is larger than 1 MiB.");
    const QByteArray head = "address=\"+447700900001\" date=\"1356998400000\" type=\"1\" body=\"";
    const QByteArray huge = sms(head + QByteArray(8 * bound, 'x') + '"');
    QTest::newRow("attribute beyond the bound") << huge << false << tooLarge << qint64(bound + 2 * chunk);
    QTest::newRow("attribute within the bound")
        << sms(head + QByteArray(bound - 4096, 'x') + '"') << false << QString() << qint64(0);
    // Each part within the bound, but not the three first together.
    QByteArray parts = "  <mms date=\"1356998400000\" msg_box=\"1\" address=\"+447700900001\">\n    <parts>\n";
    for (int i = 0; i < 12; ++i)
        parts += "      <part ct=\"image/png\" data=\"" + QByteArray(bound / 2, 'p').toBase64() + "\" />\n";
    parts += "    </parts>\n  </mms>\n";
    QTest::newRow("parts beyond the bound together") << parts << false << tooLarge << qint64(3 * bound);
    QTest::newRow("stopped") << huge << true << QStringLiteral("reading the XML backup was stopped.")
                             << qint64(2 * chunk);
}

void TestXmlBackup::oversizedElementIsRefused()
{
    QFETCH(QByteArray, elements);
    QFETCH(bool, stop);
    QFETCH(QString, error);
    QFETCH(qint64, readAtMost);
    constexpr qint64 bound = 1 << 20;
    const QString path = m_tmp->filePath(QStringLiteral("in.xml"));
    QVERIFY(writeFile(path, backup(elements)));

    SmsXmlReader reader(path, bound);
    std::atomic<bool> stopFlag { stop };
    reader.setStopFlag(&stopFlag);
    SmsXmlRecord record;
    QCOMPARE(thrownText([&] {
        while (reader.next(record)) { }
    }),
        error);
    if (!error.isEmpty())
        QVERIFY2(reader.bytesRead() <= readAtMost, qPrintable(QString::number(reader.bytesRead())));
}

// Pictures imported from a backup are read back with their files, carried into another database by
// a backup, and written into an XML export from which a second import stores nothing new.
void TestXmlBackup::picturesTravelWithTheirMessages()
{
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(2000, '\x11');
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a") + QByteArray(700, '\x22');
    const QByteArray gif = QByteArray("GIF89a") + QByteArray(90, '\x33');
    const QByteArray smil = "      <part ct=\"application/smil\" name=\"null\" text=\"&lt;smil/&gt;\" />\n";
    const QByteArray xml = backup(
        // A received picture with text after it, a sent picture alone, a group message with text and a
        // picture, and a plain SMS.
        "  <mms date=\"1356998400000\" msg_box=\"1\" address=\"+447700900123\" read=\"1\">\n    <parts>\n" + smil
        + mediaPart("image/jpeg", "IMG_0001.jpg", jpeg)
        + "      <part ct=\"text/plain\" text=\"look\" />\n    </parts>\n    <addrs>\n"
          "      <addr address=\"+447700900123\" type=\"137\" />\n"
          "      <addr address=\"+447700900999\" type=\"151\" />\n    </addrs>\n  </mms>\n"
          "  <mms date=\"1356998460000\" msg_box=\"2\" address=\"+447700900123\" read=\"1\">\n    <parts>\n"
        + smil + mediaPart("image/png", "reply.png", png)
        + "    </parts>\n    <addrs>\n      <addr address=\"insert-address-token\" type=\"137\" />\n"
          "      <addr address=\"+447700900123\" type=\"151\" />\n    </addrs>\n  </mms>\n"
          "  <mms date=\"1356998520000\" msg_box=\"1\" address=\"+447700900001~+447700900002\" read=\"1\">\n"
          "    <parts>\n      <part ct=\"text/plain\" text=\"all of us\" />\n"
        + mediaPart("image/gif", "wave.gif", gif)
        + "    </parts>\n    <addrs>\n      <addr address=\"+447700900001\" type=\"137\" />\n"
          "      <addr address=\"+447700900002\" type=\"151\" />\n    </addrs>\n  </mms>\n"
        + sms("address=\"+447700900123\" date=\"1356998580000\" type=\"1\" body=\"plain\" read=\"1\""));
    const QDir imported(m_tmp->filePath(QStringLiteral("imported")));
    const QString outcome = importBytes(xml, imported);
    QVERIFY2(!outcome.startsWith(QLatin1String("error")), qPrintable(outcome));

    const QString image = QString(QChar(0xFFFC));
    QStringList pictures {
        image + QStringLiteral("\nlook|image/jpeg|IMG_0001.jpg|") + QString::fromLatin1(jpeg.toHex()),
        image + QStringLiteral("|image/png|reply.png|") + QString::fromLatin1(png.toHex()),
        QStringLiteral("all of us\n") + image + QStringLiteral("|image/gif|wave.gif|")
            + QString::fromLatin1(gif.toHex()),
    };
    pictures.sort();
    QCOMPARE(attachmentsRead(imported), pictures);

    // Backed up into another database: the same rows, each file copied.
    const QDir backedUp(m_tmp->filePath(QStringLiteral("backed-up")));
    {
        IOS6MessageDb store(imported, britain, true);
        _MsgCollection collection;
        store.messages(collection, 0);
        store.close();
        RecordingProgress progress;
        BackupSMSThread worker(collection.messages().values(), backedUp, QString(), &progress);
        worker.start();
        progress.waitForOutcome(&worker);
        worker.wait();
        QCOMPARE(progress.errors, QStringList());
    }
    const QString attachmentRows = QStringLiteral(
        "select m.guid, a.guid, a.filename, a.mime_type, a.transfer_name, a.total_bytes from attachment a join "
        "message_attachment_join j on j.attachment_id = a.rowid join message m on m.rowid = j.message_id order by 2");
    QCOMPARE(queryRows(backedUp, attachmentRows), queryRows(imported, attachmentRows));
    QCOMPARE(queryRows(backedUp, attachmentRows).size(), 3);
    QCOMPARE(attachmentsRead(backedUp), pictures);
    QCOMPARE(messageSummary(backedUp), messageSummary(imported));

    // Exported: each picture message as <mms> with its picture, no text part without text and no text
    // that starts with the line break that joined it to a picture.
    const QString xmlPath = exportAll(backedUp, QStringLiteral("pictures.xml"));
    QVERIFY(!xmlPath.isEmpty());
    QFile exported(xmlPath);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QByteArray written = exported.readAll();
    QCOMPARE(written.count("<mms "), 3);
    QCOMPARE(written.count("<sms "), 1);
    QCOMPARE(written.count("ct=\"text/plain\""), 2);
    QVERIFY(!written.contains("text=\"\""));
    QVERIFY(!written.contains("=\"&#10;"));
    QVERIFY(written.contains(jpeg.toBase64()));

    // Imported again where it came from: nothing new; into a new database: the same messages and bytes.
    XmlImportThread* again = nullptr;
    QVERIFY(!import(xmlPath, backedUp, &again).startsWith(QLatin1String("error")));
    QCOMPARE(again->newMessages(), 0);
    QCOMPARE(again->presentMessages(), 4);
    QCOMPARE(queryRows(backedUp, attachmentRows).size(), 3);
    const QDir fresh(m_tmp->filePath(QStringLiteral("fresh")));
    QVERIFY(!import(xmlPath, fresh).startsWith(QLatin1String("error")));
    QCOMPARE(messageSummary(fresh), messageSummary(imported));
    QCOMPARE(attachmentsRead(fresh), pictures);
}

QTEST_GUILESS_MAIN(TestXmlBackup)
#include "TestXmlBackup.moc"
