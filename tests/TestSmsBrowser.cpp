// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/FontCoverage.h"
#include "support/FileBytes.h"
#include "support/MessageRecords.h"
#include "support/TextOrder.h"
#include "ui/models/ItemModelSms.h"
#include "ui/views/SmsBrowser.h"

#include <QDesktopServices>
#include <QGlyphRun>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

namespace {

// The links and anchor names of the page on show, in document order.
struct PageAnchors
{
    QStringList links;
    QStringList names;
};

PageAnchors anchorsOf(const QTextDocument* document)
{
    PageAnchors anchors;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.anchorHref().isEmpty() && !anchors.links.contains(format.anchorHref()))
                anchors.links.append(format.anchorHref());
            for (const QString& name : format.anchorNames()) {
                if (name.startsWith(QLatin1String("sms_")) && !anchors.names.contains(name))
                    anchors.names.append(name);
            }
        }
    }
    return anchors;
}

// Where the anchor's text sits in the viewport, in pixels from its top.
int anchorTop(SmsBrowser& browser, const QString& name)
{
    const QTextDocument* document = browser.document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorNames().contains(name)) {
                QTextCursor cursor(browser.document());
                cursor.setPosition(it.fragment().position());
                return browser.cursorRect(cursor).top();
            }
        }
    }
    return -1;
}

QStringList texts(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

} // namespace

// Takes the addresses the desktop would be asked to open.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class TestSmsBrowser : public QObject
{
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void showMessage_data();
    void showMessage();
    void previousPageLandsAtItsEnd();
    void keysTurnPages_data();
    void keysTurnPages();
    void textIsEscaped_data();
    void textIsEscaped();
    void rightToLeftNameKeepsItsNumber();
    void attachmentsShowInTheirMessage();
    void emojiShownWhereAFontDrawsThem_data();
    void emojiShownWhereAFontDrawsThem();
};

void TestSmsBrowser::pages_data()
{
    QTest::addColumn<int>("count");
    // Per page: its links, then its first and last message anchors.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << 0 << QStringList();
    QTest::newRow("50: one page, no links") << 50 << texts({ "|sms_1..sms_50" });
    QTest::newRow("51: two pages") << 51
                                   << texts({ "/next_page /last_page|sms_1..sms_50",
                                          "/first_page /pre_page|sms_51..sms_51" });
    QTest::newRow("120: three pages") << 120
                                      << texts({ "/next_page /last_page|sms_1..sms_50",
                                             "/first_page /pre_page /next_page /last_page|sms_51..sms_100",
                                             "/first_page /pre_page|sms_101..sms_120" });
}

void TestSmsBrowser::pages()
{
    QFETCH(int, count);
    QFETCH(QStringList, expected);

    MessageRecords records;
    SmsBrowser browser;
    browser.setMessages(records.addConversation(count));
    QCOMPARE(browser.pageCount(), int(expected.size()));
    QStringList seen;
    for (int page = 1; page <= browser.pageCount(); ++page) {
        QCOMPARE(browser.currentPage(), page);
        const PageAnchors anchors = anchorsOf(browser.document());
        seen.append(anchors.links.join(QLatin1Char(' ')) + QLatin1Char('|') + anchors.names.value(0)
            + QLatin1String("..") + anchors.names.value(anchors.names.size() - 1));
        QCOMPARE(anchors.names.size(), page < browser.pageCount() ? 50 : count - 50 * (page - 1));
        browser.onAnchorClicked(QUrl(QStringLiteral("/next_page")));
    }
    QCOMPARE(seen, expected);
    QCOMPARE(browser.currentPage(), expected.isEmpty() ? 0 : int(expected.size()));
}

void TestSmsBrowser::showMessage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("anchor"); // empty: nothing happens

    QTest::newRow("row 50: page 2, first message") << 50 << 2 << QStringLiteral("sms_51");
    QTest::newRow("row 75: page 2, middle") << 75 << 2 << QStringLiteral("sms_76");
    QTest::newRow("row 10: page 1") << 10 << 1 << QStringLiteral("sms_11");
    QTest::newRow("row 120: past the end") << 120 << 1 << QString();
    QTest::newRow("row -1") << -1 << 1 << QString();
}

void TestSmsBrowser::showMessage()
{
    QFETCH(int, row);
    QFETCH(int, page);
    QFETCH(QString, anchor);

    MessageRecords records;
    SmsBrowser browser;
    browser.resize(500, 300);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.setMessages(records.addConversation(120));
    const QString firstPage = browser.toHtml();

    browser.showMessage(row);
    QCOMPARE(browser.currentPage(), page);
    if (anchor.isEmpty()) {
        QCOMPARE(browser.toHtml(), firstPage);
        return;
    }
    // The scroll is queued: it waits until the new page is in place.
    QCOMPARE(browser.verticalScrollBar()->value(), 0);
    QTRY_VERIFY(qAbs(anchorTop(browser, anchor)) <= 2);
}

void TestSmsBrowser::previousPageLandsAtItsEnd()
{
    MessageRecords records;
    SmsBrowser browser;
    browser.setMessages(records.addConversation(120));
    browser.nextPage();
    browser.nextPage();
    QCOMPARE(browser.currentPage(), 3);
    browser.onAnchorClicked(QUrl(QStringLiteral("/pre_page")));
    QCOMPARE(browser.currentPage(), 2);
    QVERIFY(browser.textCursor().atEnd());
    QCOMPARE(anchorsOf(browser.document()).names.value(0), QStringLiteral("sms_51"));
    browser.onAnchorClicked(QUrl(QStringLiteral("/pre_page")));
    browser.onAnchorClicked(QUrl(QStringLiteral("/pre_page")));
    QCOMPARE(browser.currentPage(), 1);
}

// From the first page: keys pressed in the transcript, and the page and the scroll position they end at.
void TestSmsBrowser::keysTurnPages_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("position"); // top, bottom or between

    QTest::newRow("End stays on the page") << "End" << 1 << "bottom";
    QTest::newRow("Page Down inside the page scrolls") << "PgDown" << 1 << "between";
    QTest::newRow("Page Down at the bottom turns the page") << "End PgDown" << 2 << "top";
    QTest::newRow("Page Up at the top goes back, to its end") << "End PgDown PgUp" << 1 << "bottom";
    QTest::newRow("Page Up on the first page stays") << "PgUp" << 1 << "top";
    QTest::newRow("Ctrl+End: last message") << "Ctrl+End" << 3 << "bottom";
    QTest::newRow("Ctrl+Home: first message") << "Ctrl+End Ctrl+Home" << 1 << "top";
    QTest::newRow("Home back to the top") << "End Home" << 1 << "top";
}

void TestSmsBrowser::keysTurnPages()
{
    QFETCH(QString, keys);
    QFETCH(int, page);
    QFETCH(QString, position);

    MessageRecords records;
    SmsBrowser browser;
    browser.resize(500, 300);
    browser.setMessages(records.addConversation(120));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    const QScrollBar* bar = browser.verticalScrollBar();
    for (const QString& key : keys.split(QLatin1Char(' '))) {
        const QKeySequence sequence(key);
        QTest::keyClick(&browser, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
        QCoreApplication::processEvents();
    }
    QCOMPARE(browser.currentPage(), page);
    QVERIFY(bar->maximum() > 0);
    const QString at = bar->value() == bar->minimum() ? QStringLiteral("top")
        : bar->value() == bar->maximum()              ? QStringLiteral("bottom")
                                                      : QStringLiteral("between");
    QCOMPARE(at, position);
}

void TestSmsBrowser::textIsEscaped_data()
{
    QTest::addColumn<QString>("contactName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("links");

    QTest::newRow("markup in the text") << QStringLiteral("Ada") << QStringLiteral("a<b & c\nd") << QStringList();
    QTest::newRow("carriage return and line feed")
        << QStringLiteral("Ada") << QStringLiteral("x\r\n<i>y</i>") << QStringList();
    QTest::newRow("markup in the contact name")
        << QStringLiteral("<b>Bob</b> <table") << QStringLiteral("hi") << QStringList();
    QTest::newRow("local file link in the contact name")
        << QStringLiteral("<a href=\"file:///etc/passwd\">Eve</a>") << QStringLiteral("hi") << QStringList();
    QTest::newRow("web address with a query, sentence dot left out")
        << QStringLiteral("Ada") << QStringLiteral("see https://example.org/a?b=1&c=<2>.")
        << QStringList { QStringLiteral("https://example.org/a?b=1&c=") };
    QTest::newRow("www address and mail address")
        << QStringLiteral("Ada") << QStringLiteral("www.example.org or mailto:ada@example.org, ok")
        << QStringList { QStringLiteral("http://www.example.org"), QStringLiteral("mailto:ada@example.org") };
    QTest::newRow("quote ends the address") << QStringLiteral("Ada") << QStringLiteral("http://x.example/\"onclick=\"y")
                                            << QStringList { QStringLiteral("http://x.example/") };
    QTest::newRow("address in the contact name stays text")
        << QStringLiteral("https://name.example") << QStringLiteral("hi") << QStringList();
}

void TestSmsBrowser::textIsEscaped()
{
    QFETCH(QString, contactName);
    QFETCH(QString, text);
    QFETCH(QStringList, links);

    MessageRecords records;
    _MsgHandle* handle = records.addHandle(1, QStringLiteral("+447700900001"), contactName);
    _MsgChat* chat = records.addChat(1, handle->id, { handle });
    SmsBrowser browser;
    browser.setMessages({ records.addMessage(1, chat, handle, 0, text, false) });

    const QString shown = browser.document()->toPlainText();
    QVERIFY2(shown.contains(contactName + QStringLiteral(" (+447700900001)")), qPrintable(shown));
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QVERIFY2(shown.contains(lines), qPrintable(shown));
    QCOMPARE(anchorsOf(browser.document()).links, links);
    QCOMPARE(anchorsOf(browser.document()).names, QStringList({ QStringLiteral("sms_1") }));
}

void TestSmsBrowser::rightToLeftNameKeepsItsNumber()
{
    // The header line of a message from an Arabic-named correspondent, as the view lays it out.
    MessageRecords records;
    _MsgHandle* handle = records.addHandle(1, QStringLiteral("+201005550142"), QString::fromUtf8("عمر"));
    _MsgChat* chat = records.addChat(1, handle->id, { handle });
    SmsBrowser browser;
    browser.resize(800, 600);
    browser.setMessages({ records.addMessage(1, chat, handle, 0, QStringLiteral("hi"), false) });
    // The cells of the page's tables are laid out when they are painted.
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.viewport()->grab();
    const QTextBlock header = browser.document()->find(QStringLiteral("From:")).block();
    QVERIFY(header.isValid() && header.layout() && header.layout()->lineCount() > 0);
    QVERIFY2(numberReadsAfterName(*header.layout(), header.text(), int(header.text().indexOf(QLatin1String("From:")))),
        qPrintable(header.text()));
}

void TestSmsBrowser::attachmentsShowInTheirMessage()
{
    QTemporaryDir files;
    const QString picture = files.filePath(QStringLiteral("red.png"));
    QImage red(440, 330, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(picture));
    const QString document = files.filePath(QStringLiteral("stored-name.pdf"));
    const QString broken = files.filePath(QStringLiteral("broken.jpg"));
    for (const QString& path : { document, broken }) {
        QVERIFY(writeFile(path, "no picture"));
    }
    auto attach = [](_MsgMessage* message, const QString& mimeType, const QString& path, const QString& name) {
        _MsgAttachment attachment;
        attachment.rowid = message->attachments.size() + 1;
        attachment.mime_type = mimeType;
        attachment.filename = QStringLiteral("~/Library/SMS/Attachments/") + name;
        attachment.transfer_name = name;
        attachment.sourcePath = path;
        message->attachments.insert(QString::number(attachment.rowid), attachment);
    };
    MessageRecords records;
    _MsgHandle* handle = records.addHandle(1, QStringLiteral("+447700900001"));
    _MsgChat* chat = records.addChat(1, handle->id, { handle });
    const QString replacement(QChar(0xFFFC));
    _MsgMessage* withFiles
        = records.addMessage(1, chat, handle, 0, QStringLiteral("look") + replacement + replacement, false);
    attach(withFiles, QStringLiteral("image/png"), picture, QStringLiteral("red.png"));
    attach(withFiles, QStringLiteral("application/pdf"), document, QStringLiteral("notes.pdf"));
    _MsgMessage* fileMissing = records.addMessage(2, chat, nullptr, 60, replacement, true);
    attach(fileMissing, QStringLiteral("image/jpeg"), QString(), QStringLiteral("gone.jpg"));
    _MsgMessage* noPicture = records.addMessage(3, chat, handle, 120, replacement, false);
    attach(noPicture, QStringLiteral("image/jpeg"), broken, QStringLiteral("broken.jpg"));

    SmsBrowser browser;
    browser.resize(800, 600);
    browser.setMessages({ withFiles, fileMissing, noPicture });
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    // The thumbnail is made in the background and the page shows it once it is there; a file that is
    // no picture becomes a named line, and a picture whose file is not at hand keeps its tag.
    QTRY_VERIFY(browser.document()->toHtml().contains(QLatin1String("qsms-thumbnail:")));
    QTRY_VERIFY(browser.document()->toPlainText().contains(QLatin1String("broken.jpg")));
    const QString shown = browser.document()->toPlainText();
    QVERIFY2(shown.contains(QLatin1String("notes.pdf")), qPrintable(shown));
    QVERIFY2(shown.contains(QLatin1String("[IMAGE]")), qPrintable(shown));
    QVERIFY2(!shown.contains(QLatin1String("look [")), qPrintable(shown));
    QCOMPARE(anchorsOf(browser.document()).links,
        QStringList({ QUrl::fromLocalFile(picture).toString(), QUrl::fromLocalFile(document).toString(),
            QUrl::fromLocalFile(broken).toString() }));

    // The picture is on screen, made small: red pixels, fewer than the picture has.
    const QImage screen = browser.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (qEnvironmentVariableIsSet("QSMS_SHOTS_DIR"))
        screen.save(QDir(qEnvironmentVariable("QSMS_SHOTS_DIR")).filePath(QStringLiteral("transcript-picture.png")));
    int redPixels = 0;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x)
            redPixels += screen.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
    }
    QVERIFY2(redPixels >= 200 * 150 && redPixels <= 220 * 165, qPrintable(QString::number(redPixels)));

    // A click on an attachment opens that file; other local links still show their folder.
    OpenedUrls opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    browser.onAnchorClicked(QUrl::fromLocalFile(picture));
    browser.onAnchorClicked(QUrl::fromLocalFile(document));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(opened.urls, QList<QUrl>({ QUrl::fromLocalFile(picture), QUrl::fromLocalFile(document) }));
}

void TestSmsBrowser::emojiShownWhereAFontDrawsThem_data()
{
    QTest::addColumn<QString>("emoji");
    QTest::addColumn<bool>("drawable"); // whether some installed font has it

    QTest::newRow("grinning face, a surrogate pair") << QString::fromUtf16(u"\U0001F600") << true;
    QTest::newRow("exploding head, from U+1F900") << QString::fromUtf16(u"\U0001F92F") << true;
    QTest::newRow("mountain, a single unit") << QString::fromUtf16(u"\u26F0") << true;
    QTest::newRow("check mark, once a placeholder") << QString::fromUtf16(u"\u2714") << true;
    QTest::newRow("flag, two regional indicators") << QString::fromUtf16(u"\U0001F1EC\U0001F1E7") << true;
    QTest::newRow("old private-use emoji, in no font") << QString::fromUtf16(u"\uE04A") << false;
}

void TestSmsBrowser::emojiShownWhereAFontDrawsThem()
{
    QFETCH(QString, emoji);
    QFETCH(bool, drawable);
    // The machine's fonts as the project installs them: the colour emoji font, and none for the
    // private-use codes of old phones.
    QCOMPARE(anyFontHasCharacter(emoji.toUcs4().first()), drawable);

    MessageRecords records;
    _MsgHandle* handle = records.addHandle(1, QStringLiteral("+447700900001"), QStringLiteral("Ada"));
    _MsgChat* chat = records.addChat(1, handle->id, { handle });
    const QString text = QStringLiteral("hi ") + emoji + QStringLiteral(" there");
    const QString expected
        = QStringLiteral("hi ") + (drawable ? emoji : QStringLiteral("[EMOJI]")) + QStringLiteral(" there");
    const QList<_MsgMessage*> messages = { records.addMessage(1, chat, handle, 0, text, false) };

    ItemModelSms model;
    model.setMessages(messages);
    QCOMPARE(model.index(0, ItemModelSms::ContentColumn).data().toString(), expected);

    SmsBrowser browser;
    browser.resize(800, 600);
    browser.setMessages(messages);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.viewport()->grab();
    const QTextCursor found = browser.document()->find(expected);
    QVERIFY2(!found.isNull(), qPrintable(browser.document()->toPlainText()));

    // What the view lays out draws: no glyph of the line is the empty box of a missing one.
    const QTextBlock block = found.block();
    QVERIFY(block.layout() && block.layout()->lineCount() > 0);
    for (const QGlyphRun& run : block.layout()->glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes())
            QVERIFY2(glyph != 0, qPrintable(run.rawFont().familyName()));
    }
}

QTEST_MAIN(TestSmsBrowser)
#include "TestSmsBrowser.moc"
