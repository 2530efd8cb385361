// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window's search over every store, offscreen: Ctrl+F, typing, the hits with their count, and a
// hit chosen opening its conversation at that message in the tree, the list and the conversation view.
#include "base/DataFolders.h"
#include "support/StoreFiles.h"
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/SearchHitsModel.h"
#include "ui/SearchPanel.h"
#include "ui/models/AbsTreeItemModel.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>

class TestSearchPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchAndOpen_data();
    void searchAndOpen();
    void snippet_data();
    void snippet();
};

namespace {

// "source|message" of each hit listed, in order.
QStringList listedHits(const SearchHitsModel& model)
{
    QStringList hits;
    for (int row = 0; row < model.rowCount(); ++row)
        hits << model.index(row, SearchHitsModel::SourceColumn).data().toString() + QLatin1Char('|')
                + model.index(row, SearchHitsModel::MessageColumn).data().toString();
    return hits;
}

// Types the text a character at a time, as key presses with their text: QTest::keyClicks takes Latin-1 only.
void typeText(QWidget* widget, const QString& text)
{
    for (const uint codePoint : text.toUcs4()) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoint), 1);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, character);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

QTEST_MAIN(TestSearchPanel)

void TestSearchPanel::initTestCase()
{
    useTemporaryHome();
    setMessageBoxesScripted(true);
    // Each store numbers its conversations +447700900101, +447700900102, ...
    writeStore(QDir(localDatabasesDir().filePath(QStringLiteral("Home"))),
        { { QStringLiteral("José Núñez"),
              { { 100, QStringLiteral("Dinner at the café?"), false },
                  { 200, QStringLiteral("See you at eight"), true } } },
            { QStringLiteral("Mum"), { { 300, QStringLiteral("Happy birthday darling 🎂"), false } } } });
    writeStore(QDir(localDatabasesDir().filePath(QStringLiteral("Work"))),
        { { QStringLiteral("Anna García"), { { 150, QStringLiteral("The CAFÉ report is due"), false } } },
            { QStringLiteral("王芳"), { { 250, QStringLiteral("明天一起吃饭"), false } } } });
    writeStore(QDir(virtualAndroidDir().filePath(QStringLiteral("OldPhone"))),
        { { QStringLiteral("Dora"), { { 50, QStringLiteral("Old cafe days"), false } } } });
    // A phone's cache is searched, though no node shows it while the phone is away.
    writeStore(QDir(androidCacheDir().filePath(QStringLiteral("356938035643809"))),
        { { QStringLiteral("Eve"), { { 400, QStringLiteral("Café in the cache"), false } } } });
}

void TestSearchPanel::searchAndOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("hits"); // newest first
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("conversation"); // the tree's current node afterwards; empty: unchanged
    QTest::addColumn<QString>("marked"); // the first words marked in the conversation view

    // Hits separated by ";".
    const auto row = [](const char* name, const char* typed, const char* hits, const char* count, int chosen,
                         const char* conversation, const char* marked) {
        QTest::newRow(name) << QString::fromUtf8(typed)
                            << QString::fromUtf8(hits).split(QLatin1Char(';'), Qt::SkipEmptyParts)
                            << QString::fromUtf8(count) << chosen << QString::fromUtf8(conversation)
                            << QString::fromUtf8(marked);
    };
    row("accents and case, every store", "cafe",
        "android_cache/356938035643809|Café in the cache;Work|The CAFÉ report is due;Home|Dinner at the café?;"
        "virtual_android/OldPhone|Old cafe days",
        "4 messages found", 1, "Anna García", "CAFÉ");
    row("a name finds its conversation", "nunez", "Home|See you at eight;Home|Dinner at the café?", "2 messages found",
        0, "José Núñez", "Núñez");
    row("a national number finds the international one", "07700 900102",
        "Home|Happy birthday darling 🎂;Work|明天一起吃饭", "2 messages found", 1, "王芳", "");
    row("Chinese within a sentence", "吃饭", "Work|明天一起吃饭", "1 message found", 0, "王芳", "吃饭");
    row("an offline phone", "old do", "virtual_android/OldPhone|Old cafe days", "1 message found", 0, "Dora", "Dora");
    row("a phone that is away", "cache", "android_cache/356938035643809|Café in the cache", "1 message found", 0, "",
        "");
    row("nothing", "zebra", "", "No messages found", -1, "", "");
}

void TestSearchPanel::searchAndOpen()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, hits);
    QFETCH(QString, count);
    QFETCH(int, chosen);
    QFETCH(QString, conversation);
    QFETCH(QString, marked);

    MainWindow window(nullptr, quietWindowOptions());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* dock = window.findChild<QDockWidget*>(QStringLiteral("dockSearch"));
    auto* panel = window.findChild<SearchPanel*>();
    QVERIFY(dock && panel);
    QVERIFY(!dock->isVisible());
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(dock->isVisible());
    QCOMPARE(QApplication::focusWidget(), panel->searchBox());
    QAbstractItemModelTester tester(panel->hitsModel());

    // Typed a key at a time: each keystroke asks again, and only the answer to the whole text stays.
    typeText(panel->searchBox(), typed);
    QTRY_COMPARE_WITH_TIMEOUT(panel->countLabel()->text(), count, 20000);
    QCOMPARE(listedHits(*panel->hitsModel()), hits);
    if (chosen < 0)
        return;

    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    const _ItemNode* before = AbsTreeItemModel::nodeOf(tree->currentIndex());
    QTreeView* view = panel->hitsView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
        view->visualRect(panel->hitsModel()->index(chosen, SearchHitsModel::MessageColumn)).center());

    const QString message = hits.at(chosen).section(QLatin1Char('|'), 1);
    if (conversation.isEmpty()) {
        QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex()), before);
        QVERIFY(window.statusBar()->currentMessage().contains(QLatin1String("android_cache/356938035643809")));
        return;
    }
    QCOMPARE(AbsTreeItemModel::nodeOf(tree->currentIndex())->name, conversation);
    auto* list = window.findChild<MyTreeView*>(QStringLiteral("treeViewSMS"));
    QVERIFY(list->currentIndex().isValid());
    QCOMPARE(window.smsModel()->messages().at(list->currentIndex().row())->text, message);
    QCOMPARE(window.selectedMessages().size(), 1);
    auto* transcript = window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"));
    QVERIFY(transcript->toPlainText().contains(message));
    const QList<QTextEdit::ExtraSelection> marks = transcript->extraSelections();
    QCOMPARE(marks.isEmpty() ? QString() : marks.first().cursor.selectedText(), marked);
}

void TestSearchPanel::snippet_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");

    QTest::newRow("markup in a message stays text")
        << "tag"
        << "<b>tag</b> & more"
        << "&lt;b&gt;<b style=\"background-color:#ffe37a;color:#000000\">tag</b>&lt;/b&gt; &amp; more";
    QTest::newRow("a late hit is brought into view")
        << "needle" << QStringLiteral("word ").repeated(20) + QStringLiteral("needle\nend")
        << QStringLiteral("…") + QStringLiteral("word ").repeated(5)
            + QStringLiteral("<b style=\"background-color:#ffe37a;color:#000000\">needle</b> end");
    QTest::newRow("no hit in the text") << "mum"
                                        << "see you"
                                        << "see you";
}

void TestSearchPanel::snippet()
{
    QFETCH(QString, query);
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(SearchHitsModel::snippetHtml(text, SearchQuery(query)), html);
}

#include "TestSearchPanel.moc"
