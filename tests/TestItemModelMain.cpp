// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/AndroidDevice.h"
#include "store/IOS6MessageDb.h"
#include "support/MessageRecords.h"
#include "support/TestHome.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QSharedPointer<IOS6MessageDb> storeIn(const QTemporaryDir& dir, const QString& name)
{
    return QSharedPointer<IOS6MessageDb>::create(QDir(dir.filePath(name)), QStringLiteral("234"), true);
}

QStringList texts(std::initializer_list<const char*> items)
{
    QStringList result;
    for (const char* item : items)
        result.append(QString::fromUtf8(item));
    return result;
}

// Conversations written "rowid|chat_identifier|_last|display name".
void addChats(const _MsgCollection& collection, const QStringList& chats)
{
    MessageRecords records(collection);
    for (const QString& description : chats) {
        const QStringList parts = description.split(QLatin1Char('|'));
        records.addChat(parts.at(0).toLongLong(), parts.at(1), {}, parts.at(2).toInt(), parts.at(3));
    }
}

// The conversation nodes of a database node written "name:lastDate:conversations".
QStringList describeConversations(const _ItemNode* dbNode)
{
    QStringList described;
    for (const _ItemNode* child : dbNode->children) {
        const auto* session = static_cast<const _ChatSessionItemNode*>(child);
        described.append(
            QStringLiteral("%1:%2:%3").arg(session->name).arg(session->lastDate).arg(session->group.size()));
    }
    return described;
}

QByteArray encodedPhoto(const char* format)
{
    QImage photo(36, 24, QImage::Format_RGB32);
    photo.fill(QColor(200, 30, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, format);
    return bytes;
}

QImage pictureOf(const QVariant& decoration)
{
    return decoration.value<QPixmap>().toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourcePicture(const QString& path, bool scaled)
{
    const QPixmap picture(path);
    return (scaled ? picture.scaledToWidth(18, Qt::FastTransformation) : picture)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestItemModelMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lifecycleInRealView();
    void parentAfterEarlierRowRemoved();
    void grouping_data();
    void grouping();
    void conversationPicture_data();
    void conversationPicture();
    void fixedNodes();

private:
    QTemporaryDir m_stores;
};

void TestItemModelMain::initTestCase()
{
    useTemporaryHome();
    QVERIFY(installEnglishTranslation());
}

// Databases, a device and its conversations come and go under a shown view with the model checked
// after every change; the order the databases are given in is the order shown.
void TestItemModelMain::lifecycleInRealView()
{
    ItemModelMain model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    MyTreeView view;
    view.setModel(&model);
    view.resize(300, 400);
    view.show();
    view.expandAll();

    for (const char* name : { "B2", "a", "b" })
        model.addLocalDb(storeIn(m_stores, QLatin1String(name)), QLatin1String(name));
    QStringList shown;
    const QModelIndex databases = model.nodeIndex(model.rootLocalDb());
    for (int row = 0; row < model.rowCount(databases); ++row)
        shown.append(model.index(row, 0, databases).data().toString());
    QCOMPARE(shown, texts({ "B2", "a", "b" }));

    AndroidDevice phone;
    phone.manufacturer = QStringLiteral("Acme");
    phone.model = QStringLiteral("X1");
    phone.serial = QStringLiteral("emulator-5554");
    _AndroidDeviceItemNode* device = model.addAndroidDevice(storeIn(m_stores, QStringLiteral("phone")), phone);
    QCOMPARE(device->name, QStringLiteral("Acme X1"));
    QCOMPARE(model.countDevices(), 1);
    addChats(device->collection, texts({ "1|+4477|30|Ann", "2|+4478|20|Bob", "3|+4479|10|Cy" }));
    model.rebuildConversations(device);
    model.rebuildConversations(device);
    QCOMPARE(model.rowCount(model.nodeIndex(device)), 3);

    view.expandAll();
    const QModelIndex selected = model.index(1, 0, model.nodeIndex(device));
    QSignalSpy selectionSpy(&view, &MyTreeView::onSelectionChanged);
    view.setCurrentIndex(selected);
    QCOMPARE(selectionSpy.count(), 1);
    QCOMPARE(view.currentIndex().data().toString(), QStringLiteral("Bob"));

    model.removeNode(device);
    QCOMPARE(model.countDevices(), 0);
    QCOMPARE(model.rowCount(model.nodeIndex(model.rootDevice())), 0);
    // The view moves the selection to the root and says so, which lets the window drop the
    // messages of the removed device.
    const QModelIndexList nowSelected = selectionSpy.last().at(0).value<QItemSelection>().indexes();
    QCOMPARE(nowSelected.size(), 1);
    QCOMPARE(AbsTreeItemModel::nodeOf(nowSelected.first()), model.rootDevice());
    QCOMPARE(view.selectionModel()->selectedIndexes(), nowSelected);
}

// Without a view re-reading every row, a node keeps the row it had before an earlier row went; the
// indexes made for it and its children must still name its present row.
void TestItemModelMain::parentAfterEarlierRowRemoved()
{
    ItemModelMain model;
    for (const char* name : { "first", "second", "third" })
        model.addLocalDb(storeIn(m_stores, QLatin1String(name)), QLatin1String(name));
    for (int row = 0; row < 3; ++row)
        model.index(row, 0, model.nodeIndex(model.rootLocalDb()));
    auto* third = static_cast<_AbsDBItemNode*>(model.rootLocalDb()->children.at(2));
    model.removeNode(model.rootLocalDb()->children.at(0));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    addChats(third->collection, texts({ "7|x|5|X" }));
    model.rebuildConversations(third);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(0).value<QModelIndex>().row(), 1);
    const QModelIndex conversation = model.index(0, 0, model.nodeIndex(third));
    QCOMPARE(model.parent(conversation).row(), 1);
    QCOMPARE(model.parent(conversation).data().toString(), QStringLiteral("third"));
}

void TestItemModelMain::grouping_data()
{
    QTest::addColumn<QStringList>("chats");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("one identifier, two conversations, the newer date")
        << texts({ "1|+447700900001|100|Ann", "2|+447700900001|300|Ann chat", "3|+447700900002|200|Bob" })
        << texts({ "Ann:300:2", "Bob:200:1" });
    QTest::newRow("newest group first") << texts({ "1|a|10|Oldest", "2|b|30|Newest", "3|c|20|Middle" })
                                        << texts({ "Newest:30:1", "Middle:20:1", "Oldest:10:1" });
    QTest::newRow("identifiers are case-sensitive")
        << texts({ "1|abc|10|lower", "2|ABC|20|upper" }) << texts({ "upper:20:1", "lower:10:1" });
    QTest::newRow("group named by its first conversation")
        << texts({ "9|same|50|Second", "4|same|40|First" }) << texts({ "First:50:2" });
    QTest::newRow("no conversations") << QStringList() << QStringList();
}

void TestItemModelMain::grouping()
{
    QFETCH(QStringList, chats);
    QFETCH(QStringList, expected);

    ItemModelMain model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    _LocalDBItemNode* db = model.addLocalDb(storeIn(m_stores, QStringLiteral("grouping")), QStringLiteral("grouping"));
    addChats(db->collection, chats);
    model.rebuildConversations(db);
    QCOMPARE(describeConversations(db), expected);
}

void TestItemModelMain::conversationPicture_data()
{
    QTest::addColumn<int>("participants");
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QString>("expected"); // "photo" or the resource picture

    QTest::newRow("one with a JPEG photo") << 1 << encodedPhoto("JPEG") << QStringLiteral("photo");
    QTest::newRow("one with a PNG photo") << 1 << encodedPhoto("PNG") << QStringLiteral("photo");
    QTest::newRow("one without photo") << 1 << QByteArray() << QStringLiteral(":/res/contact.png");
    QTest::newRow("one with an unreadable photo")
        << 1 << QByteArray("not a picture") << QStringLiteral(":/res/contact.png");
    QTest::newRow("two, one with photo") << 2 << encodedPhoto("PNG") << QStringLiteral(":/res/group.png");
    QTest::newRow("no participants") << 0 << QByteArray() << QStringLiteral(":/res/contact.png");
}

void TestItemModelMain::conversationPicture()
{
    QFETCH(int, participants);
    QFETCH(QByteArray, photo);
    QFETCH(QString, expected);

    ItemModelMain model;
    _LocalDBItemNode* db = model.addLocalDb(storeIn(m_stores, QStringLiteral("pictures")), QStringLiteral("pictures"));
    MessageRecords records(db->collection);
    QList<_MsgHandle*> handles;
    for (int i = 1; i <= participants; ++i)
        handles.append(records.addHandle(i, QStringLiteral("+4477009000%1").arg(i), QString(), photo));
    records.addChat(1, QStringLiteral("id"), handles);
    model.rebuildConversations(db);

    const QImage shown = pictureOf(model.index(0, 0, model.nodeIndex(db)).data(Qt::DecorationRole));
    if (expected == QLatin1String("photo")) {
        QCOMPARE(shown.size(), QSize(27, 18));
        QVERIFY(qAbs(QColor(shown.pixel(13, 9)).red() - 200) < 20);
    } else {
        QCOMPARE(shown, resourcePicture(expected, true));
    }
}

void TestItemModelMain::fixedNodes()
{
    ItemModelMain model;
    _LocalDBItemNode* db = model.addLocalDb(storeIn(m_stores, QStringLiteral("fixed")), QStringLiteral("fixed"));
    const QModelIndex devices = model.nodeIndex(model.rootDevice());
    const QModelIndex databases = model.nodeIndex(model.rootLocalDb());
    QCOMPARE(devices.data().toString(), QStringLiteral("Devices"));
    QCOMPARE(databases.data(Qt::ToolTipRole).toString(), QStringLiteral("Local Databases"));
    QCOMPARE(pictureOf(devices.data(Qt::DecorationRole)), resourcePicture(QStringLiteral(":/res/devices.png"), false));
    QCOMPARE(pictureOf(model.nodeIndex(db).data(Qt::DecorationRole)),
        resourcePicture(QStringLiteral(":/res/database.png"), false));
    QCOMPARE(model.nodeIndex(db).data(Qt::SizeHintRole).toSize(), QSize(0, 25));
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
    QVERIFY(!model.nodeIndex(db).data(Qt::EditRole).isValid());

    // The pictures the menus, the tool bar and the about box name are compiled in as well.
    for (const char* name : { "search", "backup", "db2a", "export", "print", "delete", "open_db_folder", "exit", "help",
             "unmount", "group", "contact", "android", "databases" }) {
        QVERIFY2(!QPixmap(QStringLiteral(":/res/%1.png").arg(QLatin1String(name))).isNull(), name);
    }
    QVERIFY(!QPixmap(QStringLiteral(":main")).isNull());
}

QTEST_MAIN(TestItemModelMain)
#include "TestItemModelMain.moc"
