// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "message/MessageHtml.h"
#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "ops/ExportSMSThread.h"
#include "ops/ExportStaging.h"
#include "ops/export/ExportFile.h"
#include "ops/export/ExportSMSPdf.h"
#include "ops/export/ShortDateTimeText.h"
#include "store/IOS6MessageDb.h"
#include "store/Sqlite3DB.h"
#include "support/FileBytes.h"
#include "support/RecordingProgress.h"
#include "support/ScopedEnv.h"
#include "support/SmallFileSystem.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "ui/SMSPrinter.h"

#include <QApplication>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// 2014-03-05 21:05:00 UTC in seconds since 2001.
constexpr int baseDate = 415746300;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

int pdfPageCount(const QString& path)
{
    const QString info = runTool(QStringLiteral("pdfinfo"), { path });
    const qsizetype at = info.indexOf(QLatin1String("Pages:"));
    return at < 0 ? -1 : info.mid(at + 6, info.indexOf(QLatin1Char('\n'), at) - at - 6).trimmed().toInt();
}

QString pdfPageText(const QString& path, int page)
{
    const QString number = QString::number(page);
    // The PDF draws "fi" as one ligature glyph; compatibility normalisation splits it again.
    return runTool(QStringLiteral("pdftotext"),
        { QStringLiteral("-f"), number, QStringLiteral("-l"), number, path, QStringLiteral("-") })
        .normalized(QString::NormalizationForm_KC);
}

// Every page's text, in order.
QStringList pdfPages(const QString& path)
{
    QStringList pages;
    const int count = pdfPageCount(path);
    for (int page = 1; page <= count; ++page)
        pages.append(pdfPageText(path, page));
    return pages;
}

// The text without the direction marks that pdftotext puts around text written right to left.
QString withoutDirectionMarks(QString text)
{
    static const QRegularExpression marks(QStringLiteral("[\\x{200E}\\x{200F}\\x{202A}-\\x{202E}\\x{2066}-\\x{2069}]"));
    return text.remove(marks);
}

// The left and right edges of the lowest line of the first page above its page number, in points
// from the paper's edge.
QPair<double, double> lastLineEdges(const QString& path)
{
    const QString html = runTool(QStringLiteral("pdftotext"),
        { QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
            path, QStringLiteral("-") });
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\""));
    double lineTop = -1;
    QPair<double, double> edges(1e9, -1);
    for (const QRegularExpressionMatch& match : word.globalMatch(html)) {
        const double top = match.captured(2).toDouble();
        if (top > 780 || top < lineTop - 0.5)
            continue;
        if (top > lineTop + 0.5)
            edges = { 1e9, -1 };
        lineTop = std::max(lineTop, top);
        edges = { std::min(edges.first, match.captured(1).toDouble()),
            std::max(edges.second, match.captured(3).toDouble()) };
    }
    return edges;
}

QString sha256sum(const QString& path)
{
    return runTool(QStringLiteral("sha256sum"), { path }).section(QLatin1Char(' '), 0, 0);
}

// The last non-empty line of a page: its number at the bottom right.
QString lastLine(const QString& page)
{
    const QStringList lines = QString(page).remove(QChar(0x0C)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

// The row ids named by the anchors of an HTML export file, in file order.
QStringList anchorsIn(const QString& path)
{
    QStringList anchors;
    const QString html = QString::fromUtf8(readAll(path));
    for (const QRegularExpressionMatch& match :
        QRegularExpression(QStringLiteral("name=\"sms(\\d+)\"")).globalMatch(html))
        anchors.append(match.captured(1));
    return anchors;
}

// Relative paths of everything under the folder, folders marked with a trailing slash.
QStringList listing(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries.append(
            QDir(folder).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? QStringLiteral("/") : QString()));
    }
    entries.sort();
    return entries;
}

// A store as a phone writes it, with attachment tables of its own shape and dates in nanoseconds; one
// conversation with one message of stored text %1 (an SQL literal) and the attachments %2 (rows of
// "INSERT INTO attachment (ROWID, guid, mime_type, filename) VALUES ...").
const char phoneStore[] = R"(
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, state INTEGER,
  account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, account_login TEXT,
  is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name TEXT, group_id TEXT);
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  handle_id INTEGER DEFAULT 0, service TEXT, date INTEGER, is_from_me INTEGER DEFAULT 0,
  cache_has_attachments INTEGER DEFAULT 0, item_type INTEGER DEFAULT 0, associated_message_guid TEXT);
CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL,
  created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT,
  transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, user_info BLOB, transfer_name TEXT,
  total_bytes INTEGER DEFAULT 0, is_sticker INTEGER DEFAULT 0, hide_attachment INTEGER DEFAULT 0);
CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, handle_id));
CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, message_date INTEGER DEFAULT 0,
  PRIMARY KEY (chat_id, message_id));
CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER, UNIQUE(message_id, attachment_id));
INSERT INTO handle (ROWID, id, country, service) VALUES (1, '+447946123456', 'gb', 'SMS');
INSERT INTO chat (ROWID, guid, chat_identifier, service_name) VALUES (1, 'SMS;-;+447946123456', '+447946123456', 'SMS');
INSERT INTO chat_handle_join VALUES (1, 1);
INSERT INTO message (ROWID, guid, text, handle_id, service, date, cache_has_attachments)
  VALUES (1, 'm1', %1, 1, 'SMS', 415746300000000000, 1);
INSERT INTO chat_message_join (chat_id, message_id) VALUES (1, 1);
%2
)";

// The rows of a CSV file as Python's csv module reads them, or an empty list when it can not.
QList<QStringList> pythonCsvRows(const QString& path, const QString& encoding)
{
    const QString rows = runTool(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, json, sys\n"
                           "with open(sys.argv[1], encoding=sys.argv[2], newline='') as f:\n"
                           "    print(json.dumps(list(csv.reader(f))))"),
            path, encoding });
    QList<QStringList> result;
    for (const QJsonValue& row : QJsonDocument::fromJson(rows.toUtf8()).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields.append(field.toString());
        result.append(fields);
    }
    return result;
}

// Attaches the file, read from where it is, under the name a phone gives it; row ids count up per
// message unless given.
void attach(_MsgMessage* message, const QString& mime, const QString& source, qint64 rowid = 0)
{
    _MsgAttachment attachment;
    attachment.rowid = rowid > 0 ? rowid : message->attachments.size() + 1;
    attachment.mime_type = mime;
    attachment.sourcePath = source;
    attachment.filename = QStringLiteral("~/Library/SMS/Attachments/") + QFileInfo(source).fileName();
    message->attachments.insert(QString::number(attachment.rowid), attachment);
}

// Writes the messages into one PDF file as the PDF export draws a conversation.
void writePdf(const QList<_MsgMessage*>& messages, const QString& path, const PageDocumentInfo& info = {})
{
    ExportSMSPdf writer(path, info);
    writer.begin();
    for (const _MsgMessage* message : messages)
        writer.write(*message);
    writer.end();
}

// Runs an export to its end and returns the errors it reported.
QStringList exportErrors(const QList<_MsgMessage*>& messages, const QString& path, unsigned format, bool ascending)
{
    RecordingProgress progress;
    ExportSMSThread worker(messages, path, format, ascending, &progress);
    runDirect(worker, progress);
    return progress.errors;
}

// What an HTML export puts beside its conversation pages.
const QStringList htmlExtras = { QStringLiteral("files/"), QStringLiteral("files/bubble-received.png"),
    QStringLiteral("files/bubble-sent.png"), QStringLiteral("files/style.css"), QStringLiteral("index.html") };

} // namespace

// The export files: golden text, CSV and HTML files, one file per conversation even when names
// collide or conversations end at the same time, PDF pages, printing, and what a cancel or a
// failure leaves behind.
//
// Fixture, ascending by the conversations' newest message:
//   (no conversation): "orphan"
//   +447700900001 with Anna: "Hello Anna", a two-line body sent, a body with quotes and a comma;
//   chat-anna-a named "Anna?/" and chat-anna-b named "Anna", both newest at the same time, their
//       messages interleaved in time; one body holds markup;
//   chat-group-1 with Bob (no contact name) and Carol: "group hello" from Bob;
//   chat-marks named "???" with Carol: "question marks".
class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void goldenFiles_data();
    void goldenFiles();
    void oneFilePerConversation_data();
    void oneFilePerConversation();
    void conversationOrderFollowsTheComparison_data();
    void conversationOrderFollowsTheComparison();
    void cancelOrFailureRemovesOnlyWhatExportMade_data();
    void cancelOrFailureRemovesOnlyWhatExportMade();
    void filesThatExistedBeforeSurvive_data();
    void filesThatExistedBeforeSurvive();
    void failedCommitPutsBackWhatItReplaced();
    void filesInAFolderMadeHereTakeTheirNamesAtOnce();
    void htmlBodiesAreTheShownTexts_data();
    void htmlBodiesAreTheShownTexts();
    void conversationFileNames_data();
    void conversationFileNames();
    void typedNamesWithControlCharactersAreRefused_data();
    void typedNamesWithControlCharactersAreRefused();
    void rightToLeftNamesKeepTheirNumbersInHtml();
    void pdfPagesNeverCutAMessage();
    void rightToLeftNamesKeepTheirNumbersInPdf();
    void pdfTextAsWritten_data();
    void pdfTextAsWritten();
    void pdfPagesToHandOver();
    void dateTextsAsTheLocaleFormatsThem_data();
    void dateTextsAsTheLocaleFormatsThem();
    void printedPagesMatchPdfExport_data();
    void printedPagesMatchPdfExport();
    void previewOpensWithPdfPrinter();
    void phoneStoreAttachmentsShowTheirTags_data();
    void phoneStoreAttachmentsShowTheirTags();
    void handedOverFilesKeepEmoji_data();
    void handedOverFilesKeepEmoji();
    void csvReadBack_data();
    void csvReadBack();
    void htmlPagesIndexAndPictures();
    void filesWrittenOnThreadsAreTheSame_data();
    void filesWrittenOnThreadsAreTheSame();
    void exportFileLeavesNothingOfWhatWasThere();

private:
    enum Situation { Succeeds, Cancelled, LinkInPlace, PipeInPlace, LaterFileFails, DiskFull, DeviceFull, DeviceNull };

    _MsgMessage* add(_MsgChat* chat, _MsgHandle* sender, int minute, bool fromMe, const QString& text);
    QList<_MsgMessage*> fixture();
    QString goldenPath(const QString& name) const;
    _MsgChat* addChat(const QString& identifier, const QString& name, int last);
    // Prints the messages into a PDF file, on a printer set up as the print command sets it up.
    void printToPdf(const QList<_MsgMessage*>& messages, const QString& path);

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::deque<_MsgHandle> m_handles;
    std::deque<_MsgChat> m_chats;
    std::deque<_MsgMessage> m_messages;
};

void TestExport::initTestCase()
{
    useTemporaryHome();
    QCOMPARE(QLocale::system().name(), QStringLiteral("C"));
}

void TestExport::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_handles.clear();
    m_chats.clear();
    m_messages.clear();
}

QString TestExport::goldenPath(const QString& name) const
{
    return QStringLiteral(QSMS_EXPORT_GOLDEN_DIR "/") + name;
}

_MsgMessage* TestExport::add(_MsgChat* chat, _MsgHandle* sender, int minute, bool fromMe, const QString& text)
{
    _MsgMessage& message = m_messages.emplace_back();
    message.rowid = qint64(m_messages.size());
    message.readRowId = message.rowid;
    message.guid = QStringLiteral("guid-%1").arg(message.rowid);
    message.text = text;
    message.date = baseDate + minute * 60;
    message.is_from_me = fromMe ? 1 : 0;
    message.handle = sender;
    message.chat = chat;
    if (chat)
        chat->_last = qMax(chat->_last, message.date);
    return &message;
}

QList<_MsgMessage*> TestExport::fixture()
{
    auto handle = [this](const QString& id, const QString& name) {
        _MsgHandle& handle = m_handles.emplace_back();
        handle.rowid = qint64(m_handles.size());
        handle.id = id;
        handle._ct_name = name;
        return &handle;
    };
    auto chat = [this](const QString& identifier, const QString& name, const QList<_MsgHandle*>& handles) {
        _MsgChat& chat = m_chats.emplace_back();
        chat.rowid = qint64(m_chats.size());
        chat.guid = QStringLiteral("SMS;-;") + identifier;
        chat.chat_identifier = identifier;
        chat.display_name = name;
        for (_MsgHandle* handle : handles)
            chat.handles.insert(QString::number(handle->rowid), handle);
        return &chat;
    };
    _MsgHandle* anna = handle(QStringLiteral("+447700900001"), QStringLiteral("Anna"));
    _MsgHandle* annaToo = handle(QStringLiteral("+447700900002"), QStringLiteral("Anna"));
    _MsgHandle* bob = handle(QStringLiteral("+447700900003"), QString());
    _MsgHandle* carol = handle(QStringLiteral("+447700900004"), QStringLiteral("Carol"));
    _MsgChat* withAnna = chat(anna->id, QString(), { anna });
    _MsgChat* annaA = chat(QStringLiteral("chat-anna-a"), QStringLiteral("Anna?/"), { annaToo });
    _MsgChat* annaB = chat(QStringLiteral("chat-anna-b"), QStringLiteral("Anna"), { bob });
    _MsgChat* group = chat(QStringLiteral("chat-group-1"), QString(), { bob, carol });
    _MsgChat* marks = chat(QStringLiteral("chat-marks"), QStringLiteral("???"), { carol });

    // Handed over in an order that is not the export's.
    return {
        add(annaB, bob, 31, false, QStringLiteral("Anna B second")),
        add(withAnna, anna, 1, false, QStringLiteral("Hello Anna")),
        add(withAnna, nullptr, 2, true, QStringLiteral("Line one\nLine two")),
        add(withAnna, anna, 3, false, QStringLiteral("say \"hi\", bye")),
        add(annaA, annaToo, 10, false, QStringLiteral("<b>bold</b> & more")),
        add(annaB, nullptr, 11, true, QStringLiteral("Anna B first")),
        add(annaA, nullptr, 31, true, QStringLiteral("Anna A second")),
        add(group, bob, 40, false, QStringLiteral("group hello")),
        add(marks, carol, 50, false, QStringLiteral("question marks")),
        add(nullptr, nullptr, 0, false, QStringLiteral("orphan")),
    };
}

void TestExport::goldenFiles_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("file"); // inside the temporary folder; its first part is the export's output
    QTest::addColumn<QString>("golden");

    QTest::newRow("text") << unsigned(ExportSMSThread::Text) << QStringLiteral("all.txt") << "export.txt";
    QTest::newRow("doc") << unsigned(ExportSMSThread::Text) << QStringLiteral("all.doc") << "export.txt";
    QTest::newRow("csv") << unsigned(ExportSMSThread::Csv) << QStringLiteral("all.csv") << "export.csv";
    QTest::newRow("html") << unsigned(ExportSMSThread::Html) << QStringLiteral("html/Anna.html") << "Anna.html";
}

void TestExport::goldenFiles()
{
    QFETCH(unsigned, format);
    QFETCH(QString, file);
    QFETCH(QString, golden);

    RecordingProgress progress;
    ExportSMSThread worker(fixture(), m_tmp->filePath(file.section(QLatin1Char('/'), 0, 0)), format, true, &progress);
    runDirect(worker, progress);
    QCOMPARE(progress.errors, QStringList());
    QCOMPARE(progress.successes, QStringList { QStringLiteral("IDS_SUC_EXPORT_10_MMS") });
    QCOMPARE(progress.updates.first().status, QStringLiteral("IDS_EXPORTING_MESSAGES_TO_FILE"));
    QCOMPARE(progress.updates.first().progress, -1);
    QCOMPARE(progress.updates.last().text, QStringLiteral("Messages: 10/10"));

    const QByteArray written = readAll(m_tmp->filePath(file));
    if (qEnvironmentVariableIsSet("QSMS_UPDATE_GOLDEN")) {
        QFile update(goldenPath(golden));
        QVERIFY(update.open(QIODevice::WriteOnly | QIODevice::Truncate));
        update.write(written);
    }
    QCOMPARE(written, readAll(goldenPath(golden)));
}

void TestExport::oneFilePerConversation_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<bool>("ascending");

    QTest::newRow("html ascending") << unsigned(ExportSMSThread::Html) << true;
    QTest::newRow("html descending") << unsigned(ExportSMSThread::Html) << false;
    QTest::newRow("pdf ascending") << unsigned(ExportSMSThread::Pdf) << true;
}

void TestExport::oneFilePerConversation()
{
    QFETCH(unsigned, format);
    QFETCH(bool, ascending);

    const QString folder = m_tmp->filePath(QStringLiteral("out/conversations"));
    QCOMPARE(exportErrors(fixture(), folder, format, ascending), QStringList());

    // Both "Anna" conversations keep a file each, the one met first in the export's order taking
    // the plain name; a name left empty becomes unknown-chat, like a message without conversation.
    const QString suffix = format == ExportSMSThread::Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
    const QString first = ascending ? QStringLiteral("Anna") : QStringLiteral("Anna (2)");
    const QString second = ascending ? QStringLiteral("Anna (2)") : QStringLiteral("Anna");
    const QString orphan = ascending ? QStringLiteral("unknown-chat") : QStringLiteral("unknown-chat (2)");
    const QString marks = ascending ? QStringLiteral("unknown-chat (2)") : QStringLiteral("unknown-chat");
    const QList<QPair<QString, QStringList>> expected = {
        { QStringLiteral("Anna (+447700900001)"),
            { QStringLiteral("Hello Anna"), QStringLiteral("Line one"), QStringLiteral("say") } },
        { first, { QStringLiteral("bold"), QStringLiteral("Anna A second") } },
        { second, { QStringLiteral("Anna B first"), QStringLiteral("Anna B second") } },
        { QStringLiteral("chat-group-1"), { QStringLiteral("group hello") } },
        { marks, { QStringLiteral("question marks") } },
        { orphan, { QStringLiteral("orphan") } },
    };
    const QStringList bodies
        = { QStringLiteral("Hello Anna"), QStringLiteral("Line one"), QStringLiteral("say"), QStringLiteral("bold"),
              QStringLiteral("Anna A second"), QStringLiteral("Anna B first"), QStringLiteral("Anna B second"),
              QStringLiteral("group hello"), QStringLiteral("question marks"), QStringLiteral("orphan") };

    QStringList expectedNames;
    for (const auto& [name, texts] : expected)
        expectedNames.append(name + suffix);
    if (format == ExportSMSThread::Html)
        expectedNames.append(htmlExtras);
    expectedNames.sort();
    QCOMPARE(listing(folder), expectedNames);

    for (const auto& [name, texts] : expected) {
        const QString path = QDir(folder).filePath(name + suffix);
        const QString content
            = format == ExportSMSThread::Pdf ? pdfPages(path).join(QString()) : QString::fromUtf8(readAll(path));
        for (const QString& body : bodies)
            QVERIFY2(content.contains(body) == texts.contains(body), qPrintable(name + QLatin1String(": ") + body));
    }
}

void TestExport::conversationOrderFollowsTheComparison_data()
{
    QTest::addColumn<bool>("ascending");
    // 0: scrambled; 1: sorted, as the message list gives it; 2: in date order, which the comparison
    // overrules by row id for messages close in time.
    QTest::addColumn<int>("listedAs");
    // The row ids of "Chat.html", "Chat (2).html" and "Chat (3).html".
    QTest::addColumn<QList<QStringList>>("files");
    const auto ids = [](const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    const QList<QStringList> up = { ids("4 5"), ids("6 7 8"), ids("1 3 2") };
    const QList<QStringList> down = { ids("2 3 1"), ids("8 7 6"), ids("5 4") };
    QTest::newRow("ascending") << true << 0 << up;
    QTest::newRow("descending") << false << 0 << down;
    QTest::newRow("ascending, listed in order") << true << 1 << up;
    QTest::newRow("descending, listed in order") << false << 1 << down;
    QTest::newRow("ascending, listed by date") << true << 2 << up;
    QTest::newRow("descending, listed by date") << false << 2 << down;
}

void TestExport::conversationOrderFollowsTheComparison()
{
    // Conversations whose identifiers are equal but for case share a file. All files want one name,
    // so the numbers they take show their order: by the newest date of any of their conversations
    // (chat-a's older one must not count), equal dates by identifier. Inside a file, messages close
    // in time and row id go by row id, others by date.
    QFETCH(bool, ascending);
    QFETCH(int, listedAs);
    QFETCH(QList<QStringList>, files);
    for (const char* identifier : { "chat-a", "CHAT-A", "chat-b", "Chat-C", "chat-c" }) {
        _MsgChat& chat = m_chats.emplace_back();
        chat.chat_identifier = QString::fromLatin1(identifier);
        chat.display_name = QStringLiteral("Chat");
    }
    const struct
    {
        int chat;
        int seconds;
        qint64 readRowId;
    } rows[] = { { 0, 0, 1 }, { 1, 100, 30 }, { 0, 200, 10 }, { 2, 50, 40 }, { 2, 50, 45 }, { 3, 300, 100 },
        { 4, 290, 101 }, { 4, 500, 60 } };
    QList<_MsgMessage*> messages;
    for (const auto& row : rows) {
        _MsgMessage* message = add(&m_chats[size_t(row.chat)], nullptr, 0, row.chat % 2 == 1, QStringLiteral("m"));
        message->date = baseDate + row.seconds;
        message->readRowId = row.readRowId;
        messages.append(message);
    }
    if (listedAs == 0)
        messages = { messages[6], messages[1], messages[4], messages[0], messages[7], messages[2], messages[5],
            messages[3] };
    if (listedAs == 1)
        sortMessages(messages, ascending);
    if (listedAs == 2) {
        std::stable_sort(messages.begin(), messages.end(), [&](const _MsgMessage* a, const _MsgMessage* b) {
            return ascending ? a->date < b->date : b->date < a->date;
        });
    }
    m_chats[2]._last = m_chats[3]._last = baseDate + 1000;
    m_chats[0]._last = baseDate + 900;
    m_chats[1]._last = baseDate + 1100;

    const QString folder = m_tmp->filePath(QStringLiteral("order"));
    QCOMPARE(exportErrors(messages, folder, ExportSMSThread::Html, ascending), QStringList());
    const QStringList names
        = { QStringLiteral("Chat.html"), QStringLiteral("Chat (2).html"), QStringLiteral("Chat (3).html") };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(anchorsIn(QDir(folder).filePath(names.at(i))), files.at(i));
    QStringList expectedNames = htmlExtras + names;
    expectedNames.sort();
    QCOMPARE(listing(folder), expectedNames);
}

void TestExport::cancelOrFailureRemovesOnlyWhatExportMade_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("userFiles"); // the output folder already holds the user's files
    QTest::addColumn<int>("cancelAfterUpdates"); // 0: cancelled before the first message; -1: never
    QTest::addColumn<bool>("fails");

    const auto row = [](const char* name, ExportSMSThread::FormatCode format, const char* output, bool userFiles,
                         int cancelAfterUpdates, bool fails) {
        QTest::newRow(name) << unsigned(format) << QString::fromLatin1(output) << userFiles << cancelAfterUpdates
                            << fails;
    };
    row("text cancelled before the first message", ExportSMSThread::Text, "all.txt", false, 0, false);
    row("csv cancelled after some messages", ExportSMSThread::Csv, "all.csv", false, 4, false);
    // HTML pages are written on threads of their own too, and progress follows the messages they
    // have written: the third report comes at the latest once the last page is done, before the
    // files take their names.
    row("html cancelled in a folder with the user's files", ExportSMSThread::Html, "mine", true, 3, false);
    row("html failing in a folder with the user's files", ExportSMSThread::Html, "mine", true, -1, true);
    row("html cancelled in a new folder", ExportSMSThread::Html, "new/html", false, 3, false);
    row("html failing in a new folder", ExportSMSThread::Html, "new/html", false, -1, true);
    // PDF files are drawn on threads of their own, which report progress every 50 ms: the cancel
    // comes with the first of those reports, while a long conversation is being drawn.
    row("pdf cancelled in a new folder", ExportSMSThread::Pdf, "new/pdf", false, 2, false);
    row("pdf failing", ExportSMSThread::Pdf, "new/pdf", false, -1, true);
}

void TestExport::cancelOrFailureRemovesOnlyWhatExportMade()
{
    QFETCH(unsigned, format);
    QFETCH(QString, output);
    QFETCH(bool, userFiles);
    QFETCH(int, cancelAfterUpdates);
    QFETCH(bool, fails);

    const QDir root(m_tmp->path());
    const QString path = root.filePath(output);
    if (userFiles) {
        QVERIFY(root.mkpath(output + QStringLiteral("/files")));
        QVERIFY(writeFile(root.filePath(output + QStringLiteral("/notes.txt")), "mine"));
        QVERIFY(writeFile(root.filePath(output + QStringLiteral("/files/style.css")), "mine"));
    }
    if (fails) {
        // A folder where the fourth conversation's file should go: opening that file fails.
        const QString blocked = format == ExportSMSThread::Pdf ? QStringLiteral("/chat-group-1.pdf")
                                                               : QStringLiteral("/chat-group-1.html");
        QVERIFY(root.mkpath(output + blocked));
    }
    const QStringList before = listing(m_tmp->path());

    QList<_MsgMessage*> messages = fixture();
    if (format == ExportSMSThread::Pdf && cancelAfterUpdates > 0) {
        for (int i = 0; i < 3000; ++i)
            messages.append(add(&m_chats.front(), nullptr, 100 + i, i % 2 == 0, QStringLiteral("message %1").arg(i)));
    }
    RecordingProgress progress;
    progress.cancelled = cancelAfterUpdates == 0;
    progress.cancelAfterUpdates = cancelAfterUpdates;
    ExportSMSThread worker(messages, path, format, true, &progress);
    runDirect(worker, progress);

    QCOMPARE(progress.successes, QStringList());
    QCOMPARE(progress.errors.size(), fails ? 1 : 0);
    if (userFiles)
        QCOMPARE(readAll(root.filePath(output + QStringLiteral("/notes.txt"))), QByteArray("mine"));
    QCOMPARE(listing(m_tmp->path()), before);
}

_MsgChat* TestExport::addChat(const QString& identifier, const QString& name, int last)
{
    _MsgHandle& handle = m_handles.emplace_back();
    handle.rowid = qint64(m_handles.size());
    handle.id = identifier;
    handle._ct_name = name;
    _MsgChat& chat = m_chats.emplace_back();
    chat.rowid = qint64(m_chats.size());
    chat.chat_identifier = identifier;
    chat.handles.insert(QString::number(handle.rowid), &handle);
    chat._last = last;
    return &chat;
}

void TestExport::filesThatExistedBeforeSurvive_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("output"); // file or folder, inside the temporary folder
    QTest::addColumn<QString>("existing"); // the person's file (or link) at one of the export's names
    QTest::addColumn<QString>("blocked"); // a folder in place of a later file, or empty
    QTest::addColumn<int>("situation");
    QTest::addColumn<QString>("error"); // %1 is the temporary folder

    const QString link = QStringLiteral("%1/%2 is a symbolic link; the export does not write through it.");
    const QString cannotWrite = QStringLiteral("can not write %1/%2: %3.");
    const QString full = QStringLiteral("No space left on device");
    const QString anna = QStringLiteral("Anna (+447700900001)");
    struct Kind
    {
        const char* name;
        ExportSMSThread::FormatCode format;
        QString output;
        QString first; // the file of the first message
        QString later; // a file written after others, for the formats with several
    };
    const Kind kinds[] = {
        { "txt", ExportSMSThread::Text, QStringLiteral("all.txt"), QStringLiteral("all.txt"), QString() },
        { "csv", ExportSMSThread::Csv, QStringLiteral("all.csv"), QStringLiteral("all.csv"), QString() },
        { "xml", ExportSMSThread::Xml, QStringLiteral("all.xml"), QStringLiteral("all.xml"), QString() },
        { "html", ExportSMSThread::Html, QStringLiteral("html"), QStringLiteral("html/%1.html").arg(anna),
            QStringLiteral("html/chat-group-1.html") },
        { "pdf", ExportSMSThread::Pdf, QStringLiteral("pdf"), QStringLiteral("pdf/%1.pdf").arg(anna),
            QStringLiteral("pdf/chat-group-1.pdf") },
    };
    for (const Kind& kind : kinds) {
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(
                       qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(kind.name), QLatin1String(what))))
                << unsigned(kind.format);
        };
        row("replaced when the export succeeds")
            << kind.output << kind.first << QString() << int(Succeeds) << QString();
        row("cancelled while writing") << kind.output << kind.first << QString() << int(Cancelled) << QString();
        row("a link at the first name") << kind.output << kind.first << QString() << int(LinkInPlace)
                                        << link.arg(QStringLiteral("%1"), kind.first);
        if (!kind.later.isEmpty()) {
            row("a link at a later name") << kind.output << kind.later << QString() << int(LinkInPlace)
                                          << link.arg(QStringLiteral("%1"), kind.later);
            row("a pipe at a later name")
                << kind.output << kind.later << QString() << int(PipeInPlace)
                << cannotWrite.arg(QStringLiteral("%1"), kind.later, QStringLiteral("it is not a plain file"));
            row("failing at a later file")
                << kind.output << kind.first << kind.later << int(LaterFileFails)
                << cannotWrite.arg(QStringLiteral("%1"), kind.later, QStringLiteral("it is a folder"));
        }
        row("disk full") << QStringLiteral("disk/") + kind.output << QStringLiteral("disk/") + kind.first << QString()
                         << int(DiskFull)
                         << cannotWrite.arg(QStringLiteral("%1"), QStringLiteral("disk/") + kind.first, full);
    }
    QTest::newRow("txt: a full device") << unsigned(ExportSMSThread::Text) << "disk/full"
                                        << "disk/full" << QString() << int(DeviceFull)
                                        << cannotWrite.arg(QStringLiteral("%1"), QStringLiteral("disk/full"), full);
    QTest::newRow("txt: an empty device") << unsigned(ExportSMSThread::Text) << "disk/null"
                                          << "disk/null" << QString() << int(DeviceNull) << QString();
}

void TestExport::filesThatExistedBeforeSurvive()
{
    // Whatever ends an export, a file that was there before it is left as it was, and no link is
    // written through; only an export that succeeds replaces the file, keeping its permissions.
    QFETCH(unsigned, format);
    QFETCH(QString, output);
    QFETCH(QString, existing);
    QFETCH(QString, blocked);
    QFETCH(int, situation);
    QFETCH(QString, error);

    const QDir root(m_tmp->path());
    std::unique_ptr<SmallFileSystem> disk;
    if (output.startsWith(QLatin1String("disk/"))) {
        QVERIFY(root.mkpath(QStringLiteral("disk")));
        disk = std::make_unique<SmallFileSystem>(root.filePath(QStringLiteral("disk")), 64 * 1024);
        if (!disk->isMounted())
            QSKIP("no file system of its own can be mounted here");
    }
    const QByteArray own("the person's own file\n");
    QFileDevice::Permissions permissions;
    const QString existingPath = root.filePath(existing);
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere.txt"));
    QVERIFY(QFileInfo(existingPath).dir().mkpath(QStringLiteral(".")));
    if (situation == DeviceFull || situation == DeviceNull) {
        const dev_t device = situation == DeviceFull ? makedev(1, 7) : makedev(1, 3);
        if (::mknod(QFile::encodeName(existingPath).constData(), S_IFCHR | 0666, device) != 0)
            QSKIP("no device file can be made here");
    } else if (situation == PipeInPlace) {
        QVERIFY(::mkfifo(QFile::encodeName(existingPath).constData(), 0600) == 0);
    } else if (situation == LinkInPlace) {
        QVERIFY(writeFile(elsewhere, own));
        QVERIFY(QFile::link(elsewhere, existingPath));
    } else {
        QVERIFY(writeFile(existingPath, own));
        QVERIFY(QFile::setPermissions(existingPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        permissions = QFile::permissions(existingPath);
    }
    if (!blocked.isEmpty())
        QVERIFY(root.mkpath(blocked));

    QList<_MsgMessage*> messages = fixture();
    if (situation == Cancelled || situation == DiskFull) {
        // Enough to write a good part of a file before the cancel, and more than the disk holds.
        if (situation == DiskFull) {
            messages.removeIf([&](const _MsgMessage* message) { return message->chat != &m_chats.front(); });
            QVERIFY(writeFile(root.filePath(QStringLiteral("disk/filler")), QByteArray(40 * 1024, 'x')));
        }
        // PDF files are drawn on threads of their own, which report progress every 50 ms: the
        // cancel comes with the first of those reports, while the long conversation is drawn.
        const bool drawnApart = format == ExportSMSThread::Pdf && situation == Cancelled;
        for (int i = 0; i < (drawnApart ? 3000 : 600); ++i)
            messages.append(add(&m_chats.front(), nullptr, 100 + i, i % 2 == 0,
                QStringLiteral("message %1, long enough to fill a disk that holds only a little").arg(i)));
    }
    const QStringList before = listing(m_tmp->path());

    RecordingProgress progress;
    // HTML pages follow the messages written on their threads: the third report comes at the latest
    // once the last page is done.
    if (situation == Cancelled)
        progress.cancelAfterUpdates = format == ExportSMSThread::Pdf ? 2 : format == ExportSMSThread::Html ? 3 : 80;
    ExportSMSThread worker(messages, root.filePath(output), format, true, &progress);
    runDirect(worker, progress);

    const auto isKind = [&](mode_t kind) {
        struct stat status;
        return ::lstat(QFile::encodeName(existingPath).constData(), &status) == 0 && (status.st_mode & S_IFMT) == kind;
    };
    if (situation == DeviceNull) {
        QCOMPARE(progress.errors, QStringList());
        QVERIFY(isKind(S_IFCHR));
        QCOMPARE(listing(m_tmp->path()), before);
        return;
    }
    if (situation == Succeeds) {
        QCOMPARE(progress.errors, QStringList());
        QVERIFY(readAll(existingPath).size() > 100);
        QCOMPARE(QFile::permissions(existingPath), permissions);
        const QStringList after = listing(m_tmp->path());
        QVERIFY2(!after.join(QLatin1Char('\n')).contains(QLatin1String(".quillbarrow")),
            qPrintable(after.join(QLatin1Char(' '))));
        return;
    }
    QCOMPARE(progress.successes, QStringList());
    QCOMPARE(progress.errors, error.isEmpty() ? QStringList() : QStringList { error.arg(root.path()) });
    QCOMPARE(listing(m_tmp->path()), before);
    if (situation == DeviceFull) {
        QVERIFY(isKind(S_IFCHR));
    } else if (situation == PipeInPlace) {
        QVERIFY(isKind(S_IFIFO));
    } else if (situation == LinkInPlace) {
        QCOMPARE(QFileInfo(existingPath).symLinkTarget(), elsewhere);
        QCOMPARE(readAll(elsewhere), own);
    } else {
        QCOMPARE(readAll(existingPath), own);
        QCOMPARE(QFile::permissions(existingPath), permissions);
    }
}

void TestExport::failedCommitPutsBackWhatItReplaced()
{
    // The second file can not take its name when the files are put in place: the first, already
    // renamed onto the person's file, gives the name back to it.
    const QDir root(m_tmp->path());
    QVERIFY(writeFile(root.filePath(QStringLiteral("a.txt")), "old a"));
    ExportStaging staging;
    const auto stage = [&](const char* name) {
        return staging.stageFile(
            root.filePath(QLatin1String(name)), ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse);
    };
    QVERIFY(writeFile(stage("a.txt"), "new a"));
    QVERIFY(writeFile(stage("b.txt"), "new b"));
    QVERIFY(writeFile(stage("c.txt"), "new c"));
    QVERIFY(root.mkpath(QStringLiteral("c.txt")));

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, staging.commit());
    staging.discard();
    QCOMPARE(readAll(root.filePath(QStringLiteral("a.txt"))), QByteArray("old a"));
    QCOMPARE(listing(root.path()), QStringList({ QStringLiteral("a.txt"), QStringLiteral("c.txt/") }));
}

void TestExport::filesInAFolderMadeHereTakeTheirNamesAtOnce()
{
    // A folder the export made holds nothing of the person's: its files are written under their
    // final names. A link that appears there all the same is still never written through.
    const QDir root(m_tmp->path());
    const QString folder = root.filePath(QStringLiteral("new/pages"));
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere.txt"));
    QVERIFY(writeFile(elsewhere, "mine"));

    ExportStaging staging;
    staging.makeFolder(folder);
    const QString page = QDir(folder).filePath(QStringLiteral("a.html"));
    QCOMPARE(staging.stageFile(page, ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse), page);
    const QString linked = QDir(folder).filePath(QStringLiteral("b.html"));
    QVERIFY(QFile::link(elsewhere, linked));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
        staging.stageFile(linked, ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse));
    staging.discard();
    QCOMPARE(listing(root.path()), QStringList { QStringLiteral("elsewhere.txt") });
    QCOMPARE(readAll(elsewhere), QByteArray("mine"));

    // Committed, the files are where they were written, and the folders stay.
    ExportStaging committed;
    committed.makeFolder(folder);
    QFile written(committed.stageFile(page, ExportStaging::Existing::Replace, ExportStaging::Devices::Refuse));
    QVERIFY(written.open(QIODevice::WriteOnly | QIODevice::Append));
    written.write("page");
    written.close();
    committed.commit();
    committed.discard();
    QCOMPARE(readAll(page), QByteArray("page"));
}

void TestExport::conversationFileNames_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QStringList>("names"); // conversation names, one conversation each
    QTest::addColumn<QStringList>("files");

    const QString a300(300, QLatin1Char('A'));
    const QString cjk86(86, QChar(0x6F22));
    const QString grin = QString::fromUtf16(u"\U0001F600");
    const QString flag = QString::fromUtf16(u"\U0001F1EC\U0001F1E7");
    const unsigned html = ExportSMSThread::Html;
    const unsigned pdf = ExportSMSThread::Pdf;
    QTest::newRow("300 characters") << html << QStringList { a300 }
                                    << QStringList { a300.left(250) + QStringLiteral(".html") };
    QTest::newRow("300 characters as pdf")
        << pdf << QStringList { a300 } << QStringList { a300.left(251) + QStringLiteral(".pdf") };
    QTest::newRow("two long names equal at the cut")
        << html << QStringList { a300, a300 + QStringLiteral("B") }
        << QStringList { a300.left(250) + QStringLiteral(".html"), a300.left(246) + QStringLiteral(" (2).html") };
    QTest::newRow("86 CJK characters") << html << QStringList { cjk86 }
                                       << QStringList { cjk86.left(83) + QStringLiteral(".html") };
    QTest::newRow("emoji across the boundary")
        << html << QStringList { QString(248, QLatin1Char('a')) + grin + QStringLiteral("b") }
        << QStringList { QString(248, QLatin1Char('a')) + QStringLiteral(".html") };
    QTest::newRow("emoji just fitting") << html
                                        << QStringList { QString(246, QLatin1Char('a')) + grin + QStringLiteral("b") }
                                        << QStringList { QString(246, QLatin1Char('a')) + grin
                                               + QStringLiteral(".html") };
    QTest::newRow("flag across the boundary")
        << html << QStringList { QString(244, QLatin1Char('a')) + flag }
        << QStringList { QString(244, QLatin1Char('a')) + QStringLiteral(".html") };
    QTest::newRow("blank at the cut") << html << QStringList { QString(249, QLatin1Char('a')) + QStringLiteral(" bc") }
                                      << QStringList { QString(249, QLatin1Char('a')) + QStringLiteral(".html") };
    QTest::newRow("line breaks and tabs") << html << QStringList { QStringLiteral("Anna\nSmith\r\n\tJr\n") }
                                          << QStringList { QStringLiteral("Anna Smith   Jr.html") };
    QTest::newRow("only a line break") << html << QStringList { QStringLiteral("\n") }
                                       << QStringList { QStringLiteral("unknown-chat.html") };
    QTest::newRow("right-to-left name without direction marks")
        << html << QStringList { QString::fromUtf8("عمر") } << QStringList { QString::fromUtf8("عمر.html") };
}

void TestExport::conversationFileNames()
{
    // Names from conversations fit a file name of 255 bytes with their number and suffix, cut
    // between characters as a reader sees them, and hold no control character.
    QFETCH(unsigned, format);
    QFETCH(QStringList, names);
    QFETCH(QStringList, files);

    QList<_MsgMessage*> messages;
    for (const QString& name : std::as_const(names)) {
        _MsgChat* chat = addChat(QStringLiteral("+4477009%1").arg(m_chats.size()), QString(), baseDate);
        chat->display_name = name;
        messages.append(add(chat, nullptr, int(m_chats.size()), false, QStringLiteral("hello")));
    }
    const QString folder = m_tmp->filePath(QStringLiteral("names"));
    QCOMPARE(exportErrors(messages, folder, format, true), QStringList());

    QStringList expected = files;
    if (format == ExportSMSThread::Html)
        expected.append(htmlExtras);
    expected.sort();
    QCOMPARE(listing(folder), expected);
    for (const QString& file : std::as_const(files))
        QVERIFY(QFile::encodeName(file).size() <= 255);
}

void TestExport::typedNamesWithControlCharactersAreRefused_data()
{
    QTest::addColumn<unsigned>("format");
    QTest::addColumn<QString>("output");

    QTest::newRow("line feed in a file name") << unsigned(ExportSMSThread::Text) << "a\nb.txt";
    QTest::newRow("tab in a folder to make") << unsigned(ExportSMSThread::Pdf) << "new\tfolder/out-pdf";
    QTest::newRow("line separator in an output folder")
        << unsigned(ExportSMSThread::Html) << QString::fromUtf16(u"out\u2028more-html");
}

void TestExport::typedNamesWithControlCharactersAreRefused()
{
    QFETCH(unsigned, format);
    QFETCH(QString, output);

    RecordingProgress progress;
    ExportSMSThread worker(fixture(), m_tmp->filePath(output), format, true, &progress);
    runDirect(worker, progress);
    QCOMPARE(progress.successes, QStringList());
    QCOMPARE(progress.errors, QStringList { QStringLiteral("IDS_INVALID_LOCALDB_NAME") });
    QCOMPARE(listing(m_tmp->path()), QStringList());
}

void TestExport::rightToLeftNamesKeepTheirNumbersInHtml()
{
    _MsgChat* chat = addChat(QStringLiteral("+201005550142"), QString::fromUtf8("عمر"), baseDate);
    const QList<_MsgMessage*> messages = { add(chat, nullptr, 0, false, QString::fromUtf8("مرحبا 42!")) };
    const QString folder = m_tmp->filePath(QStringLiteral("rtl"));
    QCOMPARE(exportErrors(messages, folder, ExportSMSThread::Html, true), QStringList());

    const QString html
        = QString::fromUtf8(readAll(QDir(folder).filePath(QString::fromUtf8("عمر (+201005550142).html"))));
    QVERIFY2(html.contains(QString::fromUtf16(u"<br/>From: \u2068عمر\u2069 (\u2068+201005550142\u2069)</div>")),
        qPrintable(html));
    QVERIFY2(html.contains(QString::fromUtf8("dir=\"auto\">مرحبا 42!</div>")), qPrintable(html));
}

void TestExport::htmlBodiesAreTheShownTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("itemType");
    QTest::newRow("blanks at both ends") << QStringLiteral(" \t\v\f see you at 8 \r\n \n") << 0;
    QTest::newRow("only blanks") << QStringLiteral(" \r\n\t ") << 0;
    QTest::newRow("markup and line breaks") << QStringLiteral("a<b>&c\r\nd\re\nf") << 0;
    QTest::newRow("no-break space at the end") << QString::fromUtf16(u"ok\u00a0") << 0;
    QTest::newRow("object replacement") << QString::fromUtf16(u" photo \ufffc ") << 0;
    QTest::newRow("emoji") << QString::fromUtf16(u"hi \U0001F600 <3") << 0;
    QTest::newRow("group event") << QStringLiteral("ignored") << 3;
    // Long runs of plain ASCII are copied in blocks: markup, line breaks and units outside ASCII
    // (some whose low byte is "&", "<" or a line feed) at every place in a block and at its ends.
    QTest::newRow("markup across blocks")
        << QStringLiteral("0123456<89abcdef&hijklmno>qrstuvw\nxyz0123\r\n4567890abcdefgh&") << 0;
    QTest::newRow("other units across blocks")
        << QString::fromUtf16(u"abcdefgh\u00e9ijklmnop\u0126xyzabcdefg\u263c01234567\u010a89abcdef\u0080") << 0;
}

void TestExport::htmlBodiesAreTheShownTexts()
{
    // A page shows each message's text as the conversation view does: trimmed, its line breaks and
    // markup escaped, its emoji as they are.
    QFETCH(QString, text);
    QFETCH(int, itemType);
    _MsgChat* chat = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna"), baseDate);
    _MsgMessage* message = add(chat, nullptr, 0, false, text);
    message->item_type = itemType;
    const QString folder = m_tmp->filePath(QStringLiteral("bodies"));
    QCOMPARE(exportErrors({ message }, folder, ExportSMSThread::Html, true), QStringList());

    const QByteArray page = readAll(QDir(folder).filePath(QStringLiteral("Anna (+447700900001).html")));
    const QByteArray start("<div class=\"b\" dir=\"auto\">");
    const qsizetype body = page.indexOf(start) + start.size();
    QVERIFY(body >= start.size());
    QCOMPARE(page.mid(body, page.indexOf("</div></div>\r\n", body) - body),
        escapeMessageHtml(messageDisplayText(*message, EmojiText::Characters)).toUtf8());
}

void TestExport::rightToLeftNamesKeepTheirNumbersInPdf()
{
    // The number beside an Arabic name keeps its plus sign in front, in the heading, on the cover
    // page and in the "From:" line, exported and printed alike.
    _MsgChat* chat = addChat(QStringLiteral("+201005550142"), QString::fromUtf8("عمر"), baseDate);
    _MsgMessage* message = add(chat, nullptr, 0, false, QString::fromUtf8("مرحبا 42!"));

    const QString exported = m_tmp->filePath(QStringLiteral("rtl.pdf"));
    PageDocumentInfo info;
    info.evidence = true;
    writePdf({ message }, exported, info);
    const QString printed = m_tmp->filePath(QStringLiteral("rtl-printed.pdf"));
    printToPdf({ message }, printed);

    for (const QString& file : { exported, printed }) {
        const QStringList lines = withoutDirectionMarks(pdfPages(file).join(QString())).split(QLatin1Char('\n'));
        const QStringList named = lines.filter(QStringLiteral("201005550142"));
        // Title and "From:" line; on the cover page also the conversation and its participant.
        QCOMPARE(named.size(), file == exported ? 4 : 2);
        for (const QString& line : named)
            QVERIFY2(line.contains(QLatin1String("+201005550142)")), qPrintable(file + QLatin1Char('\n') + line));
    }
}

void TestExport::pdfPagesNeverCutAMessage()
{
    // Enough short messages to fill more than a page, then a body taller than a page, then one more.
    fixture();
    _MsgChat* chat = &m_chats.front();
    QList<_MsgMessage*> list;
    for (int i = 1; i <= 14; ++i)
        list.append(add(chat, nullptr, 100 + i, i % 2 == 0, QStringLiteral("short message %1").arg(i)));
    QStringList longLines;
    for (int i = 1; i <= 150; ++i)
        longLines.append(QStringLiteral("long line %1").arg(i, 3, 10, QLatin1Char('0')));
    list.append(add(chat, nullptr, 200, false, longLines.join(QLatin1Char('\n'))));
    list.append(add(chat, nullptr, 201, true, QStringLiteral("after the long one")));

    const QString path = m_tmp->filePath(QStringLiteral("pages.pdf"));
    writePdf(list, path);
    const QStringList pages = pdfPages(path);
    QVERIFY2(pages.size() >= 4, qPrintable(QString::number(pages.size())));
    for (int page = 0; page < pages.size(); ++page)
        QCOMPARE(lastLine(pages.at(page)), QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages.size()));

    // A short message is drawn whole on one page: its time and its body are on the same page.
    QLocale locale = QLocale::system();
    bool someMessageStartedANewPage = false;
    for (int i = 0; i < 14; ++i) {
        const QString time
            = locale.toString(QDateTime::fromSecsSinceEpoch(list.at(i)->date + 978307200LL), QLocale::ShortFormat);
        const QString body = QStringLiteral("short message %1\n").arg(i + 1);
        int bodyPage = -1;
        for (int page = 0; page < pages.size(); ++page) {
            if (pages.at(page).contains(body)) {
                bodyPage = page;
                QVERIFY2(pages.at(page).contains(time), qPrintable(body));
            }
        }
        QVERIFY2(bodyPage >= 0, qPrintable(body));
        someMessageStartedANewPage = someMessageStartedANewPage
            || (bodyPage > 0 && i > 0 && !pages.at(bodyPage).contains(QStringLiteral("short message %1\n").arg(i)));
    }
    QVERIFY(someMessageStartedANewPage);

    // The long body runs on over the pages in order, every line of it present once.
    const QString all = pages.join(QString());
    qsizetype at = 0;
    for (const QString& line : std::as_const(longLines)) {
        const qsizetype found = all.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(line));
        at = found + line.size();
    }
    QVERIFY(all.indexOf(QLatin1String("after the long one"), at) > 0);
}

void TestExport::pdfTextAsWritten_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("extracted"); // as pdftotext gives it back, in logical order
    QTest::addColumn<bool>("rightToLeft");

    QTest::newRow("latin") << QStringLiteral("Grüße aus München – bis später!")
                           << QStringLiteral("Grüße aus München – bis später!") << false;
    QTest::newRow("chinese") << QStringLiteral("你好，今天晚上一起吃饭吗？")
                             << QStringLiteral("你好，今天晚上一起吃饭吗？") << false;
    // Punctuation at the ends of a right-to-left run is put elsewhere by pdftotext, whatever wrote the file.
    QTest::newRow("hebrew") << QStringLiteral("שלום מה נשמע") << QStringLiteral("שלום מה נשמע") << true;
    QTest::newRow("arabic") << QStringLiteral("مرحبا كيف حالك") << QStringLiteral("مرحبا كيف حالك") << true;
    QTest::newRow("emoji, also from U+1F900 on and outside the old list")
        << QStringLiteral("Where are you? 😀 👍🏽 🥰 ⛰ ✔")
        << QStringLiteral("Where are you? 😀 👍🏽 🥰 ⛰ ✔") << false;
    QTest::newRow("a character no font has") << QStringLiteral("ok \uE04A!") << QStringLiteral("ok [EMOJI]!") << false;
}

void TestExport::pdfTextAsWritten()
{
    // Each script comes back out of the file in its own order, written in the direction of its
    // paragraph: a right-to-left body ends at the right edge of the content, a left-to-right one
    // starts at its left edge.
    QFETCH(QString, body);
    QFETCH(QString, extracted);
    QFETCH(bool, rightToLeft);
    _MsgChat* chat = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna"), baseDate);
    _MsgMessage* message = add(chat, nullptr, 0, false, body);

    const QString path = m_tmp->filePath(QStringLiteral("text.pdf"));
    writePdf({ message }, path);
    // The file's streams (pages, font subsets, emoji pictures) are compressed at zlib's fastest
    // level, header 78 01; what is compressed at the default level elsewhere keeps it, 78 9C.
    const QByteArray bytes = readAll(path);
    const QByteArray streamStart(">>\nstream\n");
    int streams = 0;
    for (qsizetype at = bytes.indexOf(streamStart); at >= 0; at = bytes.indexOf(streamStart, at + 1), ++streams)
        QCOMPARE(bytes.mid(at + streamStart.size(), 2).toHex(), QByteArray("7801"));
    QVERIFY(streams >= 3);
    QCOMPARE(qCompress(QByteArray(64, 'x')).mid(4, 2).toHex(), QByteArray("789c"));

    const QString printed = m_tmp->filePath(QStringLiteral("printed.pdf"));
    printToPdf({ message }, printed);

    const QString expected = extracted.normalized(QString::NormalizationForm_KC);
    const double contentLeft = 40;
    const double contentRight = QPageSize::size(QPageSize::A4, QPageSize::Point).width() - 40;
    for (const QString& file : { path, printed }) {
        const QString page = withoutDirectionMarks(pdfPageText(file, 1));
        // Colour glyphs reach a printer as pictures only.
        if (file == path || !body.contains(QStringLiteral("😀")))
            QVERIFY2(page.contains(expected), qPrintable(file + QLatin1Char('\n') + page));
        const auto [left, right] = lastLineEdges(file);
        const QString edges = QStringLiteral("%1: %2 to %3").arg(file).arg(left).arg(right);
        if (rightToLeft) {
            QVERIFY2(qAbs(right - contentRight) < 2, qPrintable(edges));
            QVERIFY2(left > contentRight - 200, qPrintable(edges));
        } else {
            QVERIFY2(qAbs(left - contentLeft) < 2, qPrintable(edges));
            QVERIFY2(right < contentLeft + 400, qPrintable(edges));
        }
    }
}

void TestExport::pdfPagesToHandOver()
{
    // An export to hand over: a cover page with the source's digest and every attachment's, a
    // heading, numbered messages, pictures scaled into the page, page numbers, title and author.
    qputenv("USER", "examiner");
    const QDir root(m_tmp->path());
    const QString photo = root.filePath(QStringLiteral("photo.jpg"));
    const QString tall = root.filePath(QStringLiteral("tall.png"));
    QImage landscape(1600, 1200, QImage::Format_RGB32);
    landscape.fill(QColor(200, 120, 40));
    QVERIFY(landscape.save(photo, "JPEG", 80));
    QImage portrait(300, 1400, QImage::Format_ARGB32);
    portrait.fill(QColor(40, 120, 200));
    QVERIFY(portrait.save(tall, "PNG"));
    const QString source = root.filePath(QStringLiteral("sms.db"));
    QVERIFY(writeFile(source, QByteArray(5000, 'q')));

    _MsgChat* chat = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna"), baseDate);
    QList<_MsgMessage*> messages;
    messages << add(chat, nullptr, 0, false, QStringLiteral("first words"));
    messages << add(chat, nullptr, 1, true, QStringLiteral("a photo"));
    attach(messages.last(), QStringLiteral("image/jpeg"), photo);
    messages << add(chat, nullptr, 2, false, QString());
    attach(messages.last(), QStringLiteral("IMAGE/PNG"), tall);
    attach(messages.last(), QStringLiteral("audio/amr"), root.filePath(QStringLiteral("gone.amr")));
    QStringList longLines;
    for (int i = 1; i <= 120; ++i)
        longLines << QStringLiteral("line %1 of a long letter").arg(i);
    messages << add(chat, nullptr, 3, true, longLines.join(QLatin1Char('\n')));
    messages << add(chat, nullptr, 4, false, QStringLiteral("last words"));

    RecordingProgress progress;
    const QString folder = root.filePath(QStringLiteral("evidence"));
    ExportSMSThread worker(messages, folder, ExportSMSThread::Pdf, true, &progress);
    worker.setSource({ ExportSource::Kind::Database, QStringLiteral("Nightly"), source });
    worker.setEvidence(true);
    runDirect(worker, progress);
    QCOMPARE(progress.errors, QStringList());
    const QString path = QDir(folder).filePath(QStringLiteral("Anna (+447700900001).pdf"));

    const QString info = runTool(QStringLiteral("pdfinfo"), { path });
    QVERIFY2(
        info.contains(QLatin1String("Title:           Text messages with Anna (+447700900001)\n")), qPrintable(info));
    QVERIFY2(info.contains(QLatin1String("Author:          examiner\n")), qPrintable(info));
    const QString fonts = runTool(QStringLiteral("pdffonts"), { path });
    for (const QString& line : fonts.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2))
        QVERIFY2(line.contains(QRegularExpression(QStringLiteral(" yes yes yes "))), qPrintable(fonts));

    const QStringList pages = pdfPages(path);
    QVERIFY2(pages.size() >= 4, qPrintable(pages.join(QLatin1String("\n=====\n"))));
    for (int page = 0; page < pages.size(); ++page)
        QCOMPARE(lastLine(pages.at(page)), QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages.size()));
    const QString cover = pages.first().simplified();
    const QStringList coverParts = {
        QStringLiteral("Record of text messages"),
        QStringLiteral("Source: the local database \"Nightly\""),
        QStringLiteral("SHA-256 of the source file: ") + sha256sum(source),
        QStringLiteral("Messages: 5, numbered No. 1 to No. 5"),
        QStringLiteral("Anna (+447700900001): 3"),
        QStringLiteral("Sent from the phone: 2"),
        QStringLiteral("No. 2: photo.jpg (image/jpeg, %1 bytes) %2").arg(QFileInfo(photo).size()).arg(sha256sum(photo)),
        QStringLiteral("No. 3: tall.png (IMAGE/PNG, %1 bytes) %2").arg(QFileInfo(tall).size()).arg(sha256sum(tall)),
        QStringLiteral("No. 3: gone.amr (audio/amr, file missing)"),
    };
    for (const QString& part : coverParts)
        QVERIFY2(cover.contains(part), qPrintable(part + QLatin1String("\n---\n") + cover));
    QVERIFY(!cover.contains(QStringLiteral("No. 1 —")));

    const QString heading = pages.at(1).simplified();
    QVERIFY2(heading.startsWith(QLatin1String("Anna (+447700900001) 5 messages, 2014-03-05 21:05:00 to "
                                              "2014-03-05 21:09:00, local time of UTC Read from the local database "
                                              "\"Nightly\" Exported on ")),
        qPrintable(heading));
    const QString all = pages.mid(1).join(QString());
    qsizetype at = 0;
    for (int number = 1; number <= 5; ++number) {
        at = all.indexOf(QStringLiteral("No. %1 — ").arg(number), at);
        QVERIFY2(at >= 0, qPrintable(QString::number(number)));
    }
    QVERIFY(all.indexOf(QLatin1String("line 120 of a long letter")) < all.indexOf(QLatin1String("last words")));

    // Both pictures, each at its own size; the tall one, too tall for the rest of its page, on a page
    // after its message's text.
    const QStringList images = runTool(QStringLiteral("pdfimages"), { QStringLiteral("-list"), path })
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                   .mid(2);
    QStringList shown;
    for (const QString& line : images) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.at(2) == QLatin1String("image"))
            shown << QStringLiteral("page %1: %2x%3 %4").arg(fields.at(0), fields.at(3), fields.at(4), fields.at(8));
    }
    int tallTextPage = 0;
    for (int page = 0; page < pages.size(); ++page) {
        if (pages.at(page).contains(QStringLiteral("No. 3 —")))
            tallTextPage = page + 1;
    }
    QVERIFY(tallTextPage > 0);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.at(0).endsWith(QLatin1String(": 1600x1200 jpeg")), qPrintable(shown.join(QLatin1Char(','))));
    QCOMPARE(shown.at(1), QStringLiteral("page %1: 300x1400 image").arg(tallTextPage + 1));
}

void TestExport::dateTextsAsTheLocaleFormatsThem_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("zone");
    for (const char* name : { "C", "en_US", "de_DE", "ar_EG", "ja_JP", "fa_IR", "bg_BG", "ru_RU", "zh_CN", "sv_SE" })
        QTest::newRow(name) << QString::fromLatin1(name) << QByteArray("UTC");
    QTest::newRow("en_GB in London") << QStringLiteral("en_GB") << QByteArray("Europe/London");
    QTest::newRow("de_DE in Berlin") << QStringLiteral("de_DE") << QByteArray("Europe/Berlin");
    QTest::newRow("en_AU on Lord Howe") << QStringLiteral("en_AU") << QByteArray("Australia/Lord_Howe");
}

void TestExport::dateTextsAsTheLocaleFormatsThem()
{
    // The cached day, minute and second texts join to what the locale gives for the whole date.
    QFETCH(QString, locale);
    QFETCH(QByteArray, zone);
    const ScopedTimeZone timeZone(zone);
    const QLocale system(locale);
    ShortDateTimeText texts(system);

    // Dates on both sides of 2001 and 1970, and every minute around the changes to and from summer
    // time in Europe and on Lord Howe in 2015, where the change falls within a UTC hour.
    QList<qint64> dates;
    for (qint64 date = -1200000000; date < 600000000; date += 86400 * 3 + 3607)
        dates.append(date);
    for (qint64 date = 449110800 - 7200; date < 449110800 + 7200; date += 60)
        dates.append(date);
    for (qint64 date = 467254800 - 7200; date < 467254800 + 7200; date += 61)
        dates.append(date);
    for (qint64 date = 465579000 - 7200; date < 465579000 + 7200; date += 59)
        dates.append(date); // Lord Howe at 15:30 UTC on 2015-10-03
    for (const qint64 date : std::as_const(dates)) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(date + 978307200LL);
        const QString expected = system.toString(when, QLocale::ShortFormat);
        QCOMPARE(texts.text(int(date)), expected);
        ByteBuffer utf8;
        utf8.append("x", 1);
        texts.appendUtf8(utf8, int(date));
        QCOMPARE(QByteArray(utf8.data(), utf8.size()), "x" + expected.toUtf8());
        // The HTML pages head with the same local time in a fixed form.
        QDate day;
        QTime time;
        texts.localDayAndTime(int(date), day, time);
        const QString fixed = when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QCOMPARE(day.toString(u"yyyy-MM-dd") + QLatin1Char(' ') + time.toString(u"HH:mm"), fixed);
        utf8.clear();
        texts.appendFixedUtf8(utf8, int(date));
        QCOMPARE(QByteArray(utf8.data(), utf8.size()), fixed.toUtf8());
    }
}

void TestExport::filesWrittenOnThreadsAreTheSame_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("ascending");

    QTest::newRow("one thread beside the export's") << 1 << true;
    QTest::newRow("more threads than cores, descending") << 6 << false;
}

void TestExport::filesWrittenOnThreadsAreTheSame()
{
    // Pages written side by side make the very folder that writing them one after the other makes:
    // the same pages and index, and attachments of one name met in several conversations numbered
    // in the order of the pages, each the copy of its own file. Progress still counts to the end.
    QFETCH(int, threads);
    QFETCH(bool, ascending);

    const QDir sources(m_tmp->filePath(QStringLiteral("sources")));
    for (const QString& folder : { QStringLiteral("a"), QStringLiteral("b") }) {
        QVERIFY(sources.mkpath(folder));
        for (int i = 0; i < 5; ++i)
            QVERIFY(writeFile(sources.filePath(QStringLiteral("%1/photo-%2.jpg").arg(folder).arg(i)),
                (folder + QString::number(i)).toUtf8()));
    }
    QList<_MsgMessage*> messages;
    for (int c = 0; c < 60; ++c) {
        _MsgChat* chat = addChat(QStringLiteral("+44770090%1").arg(c, 4, 10, QLatin1Char('0')),
            c % 5 == 0 ? QString::fromUtf16(u"N\u00e9stor \u0645\u062d\u0645\u062f %1").arg(c)
                       : QStringLiteral("Person %1").arg(c),
            0);
        // From one message to a few hundred, over months: the pages take very different times.
        const int count = 1 + (c * 37) % 240;
        for (int m = 0; m < count; ++m) {
            const QString text = m % 4 == 1 ? QString::fromUtf16(u"caf\u00e9 \U0001F600 %1").arg(m)
                                            : QStringLiteral("message %1 of %2").arg(m).arg(c);
            _MsgMessage* message = add(chat, nullptr, c * 7000 + m * 131, m % 3 == 0, text);
            if (m % 7 == 3) {
                // Files of one name in two folders, and one that is gone.
                const int n = (c + m) % 12;
                const QString source = n < 10
                    ? sources.filePath(
                        QStringLiteral("%1/photo-%2.jpg").arg(n % 2 ? QLatin1Char('a') : QLatin1Char('b')).arg(n / 2))
                    : sources.filePath(QStringLiteral("gone.jpg"));
                attach(message, n % 4 == 0 ? QStringLiteral("application/pdf") : QStringLiteral("image/jpeg"), source);
            }
            messages.append(message);
        }
    }

    const QString single = m_tmp->filePath(QStringLiteral("single"));
    const QString pooled = m_tmp->filePath(QStringLiteral("pooled"));
    RecordingProgress oneByOne;
    ExportSMSThread first(messages, single, ExportSMSThread::Html, ascending, &oneByOne);
    first.setFileThreads(0);
    runDirect(first, oneByOne);
    QCOMPARE(oneByOne.errors, QStringList());
    RecordingProgress sideBySide;
    ExportSMSThread second(messages, pooled, ExportSMSThread::Html, ascending, &sideBySide);
    second.setFileThreads(threads);
    runDirect(second, sideBySide);
    QCOMPARE(sideBySide.errors, QStringList());

    const QStringList files = listing(single);
    QCOMPARE(files.size(), 60 + 10 + htmlExtras.size());
    QCOMPARE(listing(pooled), files);
    for (const QString& file : files) {
        if (!file.endsWith(QLatin1Char('/')))
            QVERIFY2(readAll(QDir(single).filePath(file)) == readAll(QDir(pooled).filePath(file)), qPrintable(file));
    }

    int percent = -1;
    for (const RecordingProgress::Update& update : std::as_const(sideBySide.updates)) {
        QVERIFY2(update.progress >= percent, qPrintable(update.text));
        percent = std::max(percent, update.progress);
    }
    QCOMPARE(sideBySide.updates.last().progress, 100);
    QCOMPARE(sideBySide.updates.last().text, QStringLiteral("Messages: %1/%1").arg(messages.size()));
}

void TestExport::exportFileLeavesNothingOfWhatWasThere()
{
    // A file written over a longer one holds only what was written, in each writer's way of opening.
    const QString path = m_tmp->filePath(QStringLiteral("over.txt"));
    for (const bool pdfWay : { false, true }) {
        QVERIFY(writeFile(path, QByteArray(100000, 'x')));
        if (pdfWay) {
            QFile file(path);
            QVERIFY(openEmptied(file));
            file.write("new");
        } else {
            ExportFile file(path);
            file.open();
            file.write(QLatin1String("new"));
            file.close();
        }
        QCOMPARE(readAll(path), QByteArray("new"));
    }
}

void TestExport::phoneStoreAttachmentsShowTheirTags_data()
{
    QTest::addColumn<QString>("text"); // an SQL literal
    QTest::addColumn<QStringList>("mimeTypes");
    QTest::addColumn<QString>("body");

    QTest::newRow("picture alone") << "char(65532)" << QStringList { QStringLiteral("image/jpeg") } << "[IMAGE]";
    QTest::newRow("picture without text") << "NULL" << QStringList { QStringLiteral("image/heic") } << "[IMAGE]";
    QTest::newRow("two pictures") << "char(65532, 65532)"
                                  << QStringList { QStringLiteral("image/jpeg"), QStringLiteral("IMAGE/PNG") }
                                  << "[IMAGE] [IMAGE]";
    QTest::newRow("text and video") << "'see' || char(65532)" << QStringList { QStringLiteral("video/quicktime") }
                                    << "see [VIDEO]";
    QTest::newRow("voice") << "char(65532)" << QStringList { QStringLiteral("audio/amr") } << "[AUDIO]";
    QTest::newRow("contact card") << "char(65532)" << QStringList { QStringLiteral("text/x-vCard") } << "[VCARD]";
    QTest::newRow("document") << "char(65532)" << QStringList { QStringLiteral("application/pdf") } << "[ATTA]";
}

void TestExport::phoneStoreAttachmentsShowTheirTags()
{
    QFETCH(QString, text);
    QFETCH(QStringList, mimeTypes);
    QFETCH(QString, body);

    const QDir folder(m_tmp->filePath(QStringLiteral("phone")));
    QString attachments;
    for (qsizetype i = 0; i < mimeTypes.size(); ++i) {
        attachments
            += QStringLiteral("INSERT INTO attachment (ROWID, guid, mime_type, filename) VALUES (%1, 'a%1', '%2', "
                              "'~/Library/SMS/Attachments/%1/file');"
                              "INSERT INTO message_attachment_join VALUES (1, %1);")
                   .arg(i + 1)
                   .arg(mimeTypes.at(i));
    }
    writeStoreByScript(folder, QString::fromLatin1(phoneStore).arg(text, attachments));
    IOS6MessageDb store(folder, QStringLiteral("234"), true);
    _MsgCollection collection;
    store.messages(collection, 0);
    store.close();
    QCOMPARE(collection.messages().size(), 1);

    const QString output = m_tmp->filePath(QStringLiteral("phone.txt"));
    QCOMPARE(exportErrors(collection.messages().values(), output, ExportSMSThread::Text, true), QStringList());
    const QStringList lines = QString::fromUtf8(readAll(output)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    // Date (30), flag (6) and name (40) come before the message.
    QCOMPARE(lines.at(1).mid(76).trimmed(), body);
}

void TestExport::printToPdf(const QList<_MsgMessage*>& messages, const QString& path)
{
    // The preview stores the list; while it is open, the slot paints on a PDF printer of ours.
    SMSPrinter smsPrinter;
    QTimer::singleShot(100, this, [&] {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
        smsPrinter.onPaintRequested(&printer);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* preview = qobject_cast<QPrintPreviewDialog*>(widget))
                preview->reject();
        }
    });
    smsPrinter.print(messages);
}

void TestExport::printedPagesMatchPdfExport_data()
{
    QTest::addColumn<bool>("empty");
    QTest::newRow("one conversation") << false;
    QTest::newRow("empty list") << true;
}

void TestExport::printedPagesMatchPdfExport()
{
    QFETCH(bool, empty);
    QList<_MsgMessage*> list = fixture().mid(1, 3);
    if (empty)
        list.clear();
    for (int i = 0; !empty && i < 40; ++i)
        list.append(add(&m_chats.front(), nullptr, 60 + i, i % 3 == 0, QStringLiteral("printed %1").arg(i)));

    const QString exported = m_tmp->filePath(QStringLiteral("exported.pdf"));
    writePdf(list, exported);
    const QString printed = m_tmp->filePath(QStringLiteral("printed.pdf"));
    printToPdf(list, printed);

    // The same pages, but for the line that says when and how they were made.
    static const QRegularExpression made(QStringLiteral("\n(Printed|Exported) on [^\n]*"));
    QStringList printedPages = pdfPages(printed);
    QStringList exportedPages = pdfPages(exported);
    QVERIFY(empty || printedPages.first().contains(QLatin1String("\nPrinted on ")));
    printedPages.replaceInStrings(made, QStringLiteral("\nmade"));
    exportedPages.replaceInStrings(made, QStringLiteral("\nmade"));
    QCOMPARE(printedPages, exportedPages);
    if (empty) {
        QCOMPARE(printedPages.size(), 1);
        QCOMPARE(lastLine(printedPages.first()), QStringLiteral("Page 1 of 1"));
    } else {
        QVERIFY(printedPages.size() >= 2);
        QVERIFY(printedPages.join(QString()).contains(QLatin1String("printed 39")));
    }
}

void TestExport::previewOpensWithPdfPrinter()
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        QSKIP("a printer is installed here; the PDF fallback is not taken");
    SMSPrinter printer;
    QPrinter::OutputFormat format = QPrinter::NativeFormat;
    QString title;
    bool seen = false;
    QTimer::singleShot(100, this, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* preview = qobject_cast<QPrintPreviewDialog*>(widget)) {
                seen = true;
                format = preview->printer()->outputFormat();
                title = preview->windowTitle();
                preview->reject();
            }
        }
    });
    printer.print(fixture().mid(1, 3));
    QVERIFY(seen);
    QCOMPARE(format, QPrinter::PdfFormat);
    QCOMPARE(title, QStringLiteral("IDS_PRINT_SMS"));
}

void TestExport::handedOverFilesKeepEmoji_data()
{
    goldenFiles_data();
}

void TestExport::handedOverFilesKeepEmoji()
{
    QFETCH(unsigned, format);
    QFETCH(QString, file);

    // Files read on other machines carry every character, also those no font here draws: the
    // reader's fonts draw them.
    _MsgChat* chat = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna"), baseDate);
    chat->display_name = QStringLiteral("Anna");
    const QString text = QString::fromUtf16(u"ok \U0001F600 \u26F0 \U0001F92F \u2714 \uE04A \U0001F1EC\U0001F1E7 done");
    const QString output = m_tmp->filePath(file.section(QLatin1Char('/'), 0, 0));
    QCOMPARE(exportErrors({ add(chat, nullptr, 0, false, text) }, output, format, true), QStringList());

    const QString written = QString::fromUtf8(readAll(m_tmp->filePath(file)));
    QVERIFY2(written.contains(text), qPrintable(written));
    QVERIFY2(!written.contains(QLatin1String("[EMOJI]")), qPrintable(written));
}

void TestExport::csvReadBack_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QByteArray>("timeZone");
    QTest::addColumn<QString>("offset"); // of 2014-03-05 in that zone
    QTest::addColumn<QString>("firstTime"); // the local time of 21:06 UTC, minutes to hours

    QTest::newRow("python, UTC") << "python" << QByteArray("UTC") << "+00:00"
                                 << "21:06";
    QTest::newRow("python, east of UTC") << "python" << QByteArray("Europe/Berlin") << "+01:00"
                                         << "22:06";
    QTest::newRow("python, west of UTC by a half hour") << "python" << QByteArray("America/St_Johns") << "-03:30"
                                                        << "17:36";
    QTest::newRow("libreoffice") << "libreoffice" << QByteArray("UTC") << "+00:00"
                                 << "21:06";
}

void TestExport::csvReadBack()
{
    QFETCH(QString, reader);
    QFETCH(QByteArray, timeZone);
    QFETCH(QString, offset);
    QFETCH(QString, firstTime);
    const ScopedTimeZone zone(timeZone);

    _MsgChat* anna = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna, \"Nan\""), baseDate);
    _MsgChat* plain = addChat(QStringLiteral("07700900123"), QString(), baseDate);
    _MsgMessage* withFiles = add(plain, nullptr, 2, true, QStringLiteral("Line one\nLine two"));
    _MsgAttachment picture;
    picture.rowid = 1;
    picture.mime_type = QStringLiteral("image/jpeg");
    picture.transfer_name = QStringLiteral("IMG 1.jpg");
    withFiles->attachments.insert(QStringLiteral("1"), picture);
    _MsgAttachment card;
    card.rowid = 2;
    card.mime_type = QStringLiteral("text/vcard");
    card.filename = QStringLiteral("~/Library/SMS/Attachments/ab/card.vcf");
    withFiles->attachments.insert(QStringLiteral("2"), card);
    const QList<_MsgMessage*> messages
        = { add(anna, nullptr, 1, false, QString::fromUtf16(u"say \"hi\", bye \U0001F600")), withFiles,
              add(plain, nullptr, 3, false, QStringLiteral("0123")) };

    const QString path = m_tmp->filePath(QStringLiteral("all.csv"));
    QCOMPARE(exportErrors(messages, path, ExportSMSThread::Csv, true), QStringList());
    QVERIFY(readAll(path).startsWith("\xEF\xBB\xBF"
                                     "date,"));

    QList<QStringList> rows;
    if (reader == QLatin1String("python")) {
        rows = pythonCsvRows(path, QStringLiteral("utf-8-sig"));
    } else {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            QSKIP("LibreOffice is not installed");
        // Opened as the import dialog offers this file (UTF-8, quoted fields as text) and saved as
        // CSV again, which shows what the cells hold.
        const QString sheetFolder = m_tmp->filePath(QStringLiteral("sheet"));
        QProcess office;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_tmp->path());
        office.setProcessEnvironment(environment);
        office.start(QStringLiteral("soffice"),
            { QStringLiteral("--headless"), QStringLiteral("--norestore"),
                QStringLiteral("--infilter=CSV:44,34,76,1,,0,true"), QStringLiteral("--convert-to"),
                QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"), sheetFolder,
                path });
        QVERIFY(office.waitForFinished(240000));
        rows = pythonCsvRows(QDir(sheetFolder).filePath(QStringLiteral("all.csv")), QStringLiteral("utf-8"));
    }

    // The three messages are a minute apart.
    const auto when = [&](int minutes) {
        return QStringLiteral("2014-03-05T")
            + QTime::fromString(firstTime, QStringLiteral("HH:mm"))
                  .addSecs(minutes * 60)
                  .toString(QStringLiteral("HH:mm:ss"))
            + offset;
    };
    const QList<QStringList> expected = {
        { QStringLiteral("date"), QStringLiteral("direction"), QStringLiteral("person"), QStringLiteral("number"),
            QStringLiteral("content"), QStringLiteral("attachments") },
        { when(0), QStringLiteral("received"), QStringLiteral("Anna, \"Nan\""), QStringLiteral("+447700900001"),
            QString::fromUtf16(u"say \"hi\", bye \U0001F600"), QString() },
        { when(1), QStringLiteral("sent"), QString(), QStringLiteral("07700900123"),
            QStringLiteral("Line one\nLine two [IMAGE] [VCARD]"), QStringLiteral("IMG 1.jpg; card.vcf") },
        { when(2), QStringLiteral("received"), QString(), QStringLiteral("07700900123"), QStringLiteral("0123"),
            QString() },
    };
    QCOMPARE(rows, expected);
}

void TestExport::htmlPagesIndexAndPictures()
{
    // A picture in a colour nothing else on the page has, a document, and a file that is gone.
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    QVERIFY(QDir().mkpath(m_tmp->filePath(QStringLiteral("source"))));
    const QString picturePath = m_tmp->filePath(QStringLiteral("source/photo.png"));
    QVERIFY(red.save(picturePath));
    const QString documentPath = m_tmp->filePath(QStringLiteral("source/notes & plans.pdf"));
    QVERIFY(writeFile(documentPath, "%PDF-1.4\n"));

    _MsgChat* anna = addChat(QStringLiteral("+447700900001"), QStringLiteral("Anna"), baseDate + 120);
    _MsgChat* named = addChat(QStringLiteral("+447700900002"), QStringLiteral("Bob"), baseDate + 660);
    named->display_name = QStringLiteral("index");
    _MsgMessage* photo = add(anna, nullptr, 0, false, QStringLiteral("look"));
    attach(photo, QStringLiteral("image/png"), picturePath, 1);
    _MsgMessage* reply = add(anna, nullptr, 2, true, QString::fromUtf16(u"nice \U0001F600 <3"));
    _MsgMessage* files = add(named, nullptr, 10, false, QStringLiteral("plans"));
    attach(files, QStringLiteral("application/pdf"), documentPath, 2);
    attach(files, QStringLiteral("image/jpeg"), m_tmp->filePath(QStringLiteral("source/gone.jpg")), 3);
    // The same picture again: one copy serves both messages.
    _MsgMessage* again = add(named, nullptr, 11, true, QString());
    attach(again, QStringLiteral("image/png"), picturePath, 4);

    const QString folder = m_tmp->filePath(QStringLiteral("html"));
    QCOMPARE(exportErrors({ again, files, reply, photo }, folder, ExportSMSThread::Html, true), QStringList());

    // The conversation called "index" leaves that name to the index page.
    QCOMPARE(listing(folder),
        QStringList({ QStringLiteral("Anna (+447700900001).html"), QStringLiteral("files/"),
            QStringLiteral("files/bubble-received.png"), QStringLiteral("files/bubble-sent.png"),
            QStringLiteral("files/notes & plans.pdf"), QStringLiteral("files/photo.png"),
            QStringLiteral("files/style.css"), QStringLiteral("index (2).html"), QStringLiteral("index.html") }));
    QCOMPARE(readAll(QDir(folder).filePath(QStringLiteral("files/photo.png"))), readAll(picturePath));

    static const QRegularExpression indexRow(
        QStringLiteral("<tr><td dir=\"auto\"><a href=\"([^\"]*)\">([^<]*)</a></td><td class=\"n\">(\\d+)</td>"
                       "<td>([^<]*)</td><td>([^<]*)</td></tr>"));
    QStringList rows;
    for (const QRegularExpressionMatch& match :
        indexRow.globalMatch(QString::fromUtf8(readAll(QDir(folder).filePath(QStringLiteral("index.html")))))) {
        rows.append(match.capturedTexts().mid(1).join(QLatin1Char('|')));
    }
    QCOMPARE(rows,
        QStringList({ QStringLiteral("Anna%20%28%2B447700900001%29.html|Anna (+447700900001)|2|"
                                     "2014-03-05 21:05|2014-03-05 21:07"),
            QStringLiteral("index%20%282%29.html|index|2|2014-03-05 21:15|2014-03-05 21:16") }));

    const QString annaPage
        = QString::fromUtf8(readAll(QDir(folder).filePath(QStringLiteral("Anna (+447700900001).html"))));
    const QStringList annaParts = {
        QStringLiteral("<link rel=\"stylesheet\" type=\"text/css\" href=\"files/style.css\" />"),
        QStringLiteral("<h1 dir=\"auto\">Anna (+447700900001)</h1><p>2 messages, 2014-03-05 21:05 to 2014-03-05 "
                       "21:07</p>"),
        QStringLiteral("<div class=\"m rec\"><a name=\"sms1\"></a>"),
        QStringLiteral("<div class=\"b\" dir=\"auto\">look<a class=\"pic\" href=\"files/photo.png\"><img "
                       "src=\"files/photo.png\" alt=\"photo.png\" /></a></div>"),
        QStringLiteral("<div class=\"m send\"><a name=\"sms2\"></a>"),
        QString::fromUtf16(u"dir=\"auto\">nice \U0001F600 &lt;3</div>"),
    };
    for (const QString& part : annaParts)
        QVERIFY2(annaPage.contains(part), qPrintable(part + QLatin1Char('\n') + annaPage));
    const QString namedPage = QString::fromUtf8(readAll(QDir(folder).filePath(QStringLiteral("index (2).html"))));
    QVERIFY2(
        namedPage.contains(QStringLiteral("plans [IMAGE]<a class=\"file\" href=\"files/notes%20%26%20plans.pdf\">notes "
                                          "&amp; plans.pdf</a></div>")),
        qPrintable(namedPage));
    QVERIFY2(namedPage.contains(QStringLiteral("<img src=\"files/photo.png\"")), qPrintable(namedPage));
    QVERIFY2(!namedPage.contains(QLatin1String("gone.jpg")), qPrintable(namedPage));

    // As a browser shows the page: the picture in the received bubble on the left, the sent
    // bubble on the right.
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        QSKIP("Chromium is not installed");
    const QString shot = m_tmp->filePath(QStringLiteral("shot.png"));
    QProcess browser;
    browser.start(QStringLiteral("chromium"),
        { QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
            QStringLiteral("--hide-scrollbars"), QStringLiteral("--window-size=800,600"),
            QStringLiteral("--user-data-dir=") + m_tmp->filePath(QStringLiteral("chromium")),
            QStringLiteral("--screenshot=") + shot,
            QUrl::fromLocalFile(QDir(folder).filePath(QStringLiteral("Anna (+447700900001).html"))).toString() });
    QVERIFY(browser.waitForFinished(120000));
    const QImage page(shot);
    QVERIFY2(!page.isNull(), browser.readAllStandardError().constData());
    int redLeft = 0;
    int sentRight = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QRgb pixel = page.pixel(x, y) | 0xFF000000;
            if (pixel == qRgb(255, 0, 0) && x < page.width() / 2)
                ++redLeft;
            if (pixel == qRgb(0xE2, 0xF5, 0xD0) && x > page.width() / 2)
                ++sentRight;
        }
    }
    QVERIFY2(redLeft >= 40 * 30 / 2, qPrintable(QString::number(redLeft)));
    QVERIFY2(sentRight > 200, qPrintable(QString::number(sentRight)));
}

// Golden files hold dates: they are written in UTC under the C locale whatever the machine's.
int main(int argc, char** argv)
{
    qputenv("TZ", "UTC");
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    // Before any thread starts: the full-disk cases mount a small file system of their own.
    enterPrivateMountNamespace();
    QApplication app(argc, argv);
    TestExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestExport.moc"
