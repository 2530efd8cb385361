// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestHome.h"
#include "support/WindowTree.h"
#include "ui/MessageBoxes.h"
#include "ui/dialogs/AboutUsForm.h"
#include "ui/dialogs/DataSourceSelForm.h"
#include "ui/dialogs/LocalDbSelForm.h"
#include "ui/models/ItemNodes.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `during` once the dialog's event loop runs, then closes the dialog if it is still open.
void whileOpen(QDialog& dialog, const std::function<void()>& during)
{
    QTimer::singleShot(0, &dialog, [&dialog, during] {
        during();
        if (dialog.isVisible())
            dialog.findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
    });
}

void pressOk(QDialog& dialog)
{
    emit dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
}

} // namespace

class TestSelectionDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void shape();
    void databaseName_data();
    void databaseName();
    void deviceChoice_data();
    void deviceChoice();
};

void TestSelectionDialogs::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
    setMessageBoxesScripted(true);
}

void TestSelectionDialogs::init()
{
    takeShownMessageBoxes();
}

void TestSelectionDialogs::shape()
{
    LocalDbSelForm database({ QStringLiteral("Family") }, QStringLiteral("Phone_Backup"));
    QCOMPARE(int(database.windowFlags()), 0x803);
    QCOMPARE(database.windowTitle(), QStringLiteral("Select one Database for backup"));
    QCOMPARE(database.findChild<QPushButton*>(QStringLiteral("btnOK"))->text(), QStringLiteral("Confirm"));
    auto* names = database.findChild<QComboBox*>(QStringLiteral("cbLocalDbNames"));
    QCOMPARE(names->count(), 2); // the empty first item, then the database
    QCOMPARE(names->currentText(), QStringLiteral("Phone_Backup"));
    const auto* label = database.findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());

    DataSourceSelForm device;
    QCOMPARE(int(device.windowFlags()), 0x803);
    QCOMPARE(
        device.findChild<QLabel*>(QStringLiteral("lbSelDevice"))->text(), QStringLiteral("Please select a Device."));
    QCOMPARE(device.findChild<QPushButton*>(QStringLiteral("btnClose"))->text(), QStringLiteral("Cancel"));

    AboutUsForm about;
    QCOMPARE(int(about.windowFlags()), 0x803);
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(
        about.findChild<QLabel*>(QStringLiteral("lbProduct"))->text(), QStringLiteral("Quillbarrow SMS Desk v2.14.11"));
    const QString copyright = about.findChild<QLabel*>(QStringLiteral("lbCopyRight"))->text();
    QVERIFY(copyright.contains(QString::number(QDate::currentDate().year())));
    // The licence the program comes under, not a reservation of every right.
    QVERIFY2(
        copyright.contains(QStringLiteral("GNU General Public License, version 3 or later")), qPrintable(copyright));
    QVERIFY2(!copyright.contains(QStringLiteral("reserved")), qPrintable(copyright));
    // The link goes to the home page the package's metadata names, not to an address of its own.
    QFile metadata(QStringLiteral(QSMS_METAINFO_SOURCE));
    QVERIFY(metadata.open(QIODevice::ReadOnly));
    const QString homePage = QString::fromUtf8(metadata.readAll())
                                 .section(QStringLiteral("<url type=\"homepage\">"), 1)
                                 .section(QLatin1Char('<'), 0, 0);
    QVERIFY(homePage.startsWith(QStringLiteral("https://")));
    QVERIFY2(about.findChild<QLabel*>(QStringLiteral("lbHomePage"))
                 ->text()
                 .contains(QStringLiteral("href=\"%1\"").arg(homePage)),
        qPrintable(homePage));
}

void TestSelectionDialogs::databaseName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("chosen"); // what chooseName returns; empty when the dialog was cancelled
    QTest::addColumn<QStringList>("warnings");

    const QString invalid = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");
    const QString missing = QStringLiteral("Select one Database or enter a new Database name");
    QTest::newRow("plain") << QStringLiteral("Family") << QStringLiteral("Family") << QStringList();
    QTest::newRow("blanks kept") << QStringLiteral(" x ") << QStringLiteral(" x ") << QStringList();
    QTest::newRow("inner dots") << QStringLiteral("a.b") << QStringLiteral("a.b") << QStringList();
    QTest::newRow("slash") << QStringLiteral("a/b") << QString() << QStringList { invalid };
    QTest::newRow("backslash") << QStringLiteral("a\\b") << QString() << QStringList { invalid };
    QTest::newRow("pipe") << QStringLiteral("a|b") << QString() << QStringList { invalid };
    QTest::newRow("blanks only") << QStringLiteral("   ") << QString() << QStringList { missing };
    QTest::newRow("empty") << QString() << QString() << QStringList { missing };
    // A name of dots would be the databases folder itself or the data folder above it.
    QTest::newRow("dot") << QStringLiteral(".") << QString() << QStringList { invalid };
    QTest::newRow("dot dot") << QStringLiteral("..") << QString() << QStringList { invalid };
    QTest::newRow("dots in blanks") << QStringLiteral(" ... ") << QString() << QStringList { invalid };
    // Pasted text can carry control characters, which a folder name must not.
    QTest::newRow("line break inside") << QStringLiteral("Family\nOld") << QString() << QStringList { invalid };
    QTest::newRow("trailing line break") << QStringLiteral("Family\r\n") << QString() << QStringList { invalid };
    QTest::newRow("tab") << QStringLiteral("a\tb") << QString() << QStringList { invalid };
    QTest::newRow("line separator") << QStringLiteral("a\u2028b") << QString() << QStringList { invalid };
    QTest::newRow("line break only") << QStringLiteral("\n") << QString() << QStringList { missing };
    QTest::newRow("letters of other scripts")
        << QStringLiteral("Семья 家") << QStringLiteral("Семья 家") << QStringList();
}

void TestSelectionDialogs::databaseName()
{
    QFETCH(QString, typed);
    QFETCH(QString, chosen);
    QFETCH(QStringList, warnings);

    LocalDbSelForm form({ QStringLiteral("Family") }, QString());
    whileOpen(form, [&form, typed] {
        form.findChild<QComboBox*>()->setEditText(typed);
        pressOk(form);
    });
    QCOMPARE(form.chooseName(), chosen);
    QCOMPARE(boxTexts(takeShownMessageBoxes()), warnings);
}

void TestSelectionDialogs::deviceChoice_data()
{
    QTest::addColumn<int>("candidates");
    QTest::addColumn<int>("pick"); // the row chosen before Confirm; -1 chooses nothing
    QTest::addColumn<int>("expected"); // the candidate returned; -1 for none
    QTest::addColumn<int>("warnings");

    QTest::newRow("one candidate preselected") << 1 << -1 << 0 << 0;
    QTest::newRow("two need a choice") << 2 << -1 << -1 << 1;
    QTest::newRow("two, second chosen") << 2 << 1 << 1 << 0;
}

void TestSelectionDialogs::deviceChoice()
{
    QFETCH(int, candidates);
    QFETCH(int, pick);
    QFETCH(int, expected);
    QFETCH(int, warnings);

    _RootDeviceItemNode root(QStringLiteral("Devices"));
    QList<DataSourceSelForm::Choice> choices;
    QList<_ItemNode*> nodes;
    for (int i = 0; i < candidates; ++i) {
        nodes.append(new _ItemNode(_ItemNode::TypeAndroidDevice, QStringLiteral("Phone %1").arg(i), &root));
        root.children.append(nodes.last());
        choices.append({ QStringLiteral(":res/android.png"), nodes.last()->name, nodes.last() });
    }

    DataSourceSelForm form;
    whileOpen(form, [&form, pick] {
        if (pick >= 0)
            form.findChild<QComboBox*>()->setCurrentIndex(pick);
        pressOk(form);
    });
    _ItemNode* chosen = form.selectOne(QStringLiteral("Please select an Android device:"), choices);
    QCOMPARE(chosen, expected < 0 ? nullptr : nodes.at(expected));
    QCOMPARE(form.findChild<QLabel*>()->text(), QStringLiteral("Please select an Android device:"));
    const QStringList shown = boxTexts(takeShownMessageBoxes());
    QCOMPARE(shown.size(), warnings);
    if (warnings)
        QCOMPARE(shown.first(), QStringLiteral("Need to select a Device to continue."));
}

QTEST_MAIN(TestSelectionDialogs)
#include "TestSelectionDialogs.moc"
