// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// One window per data folder, with the application itself started offscreen: a second start brings
// the running window forward and ends, a start with another data folder runs alongside, and the lock
// of a window that was killed does not keep the next start away.
#include "support/AdbTestServer.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString alone = QStringLiteral("the window of this data folder runs alone");

// The application with its own home folder, so that its data folder is that home's.
class Desk
{
public:
    explicit Desk(const QString& home)
        : m_home(home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QSMS_DESK_PROGRAM), QStringList());
    }
    ~Desk()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    QProcess& process() { return m_process; }

    // Everything the application logged into this home's data folder.
    QString log() const
    {
        const QDir logs(m_home + QStringLiteral("/.local/share/Quillbarrow/7C1E0A93B5D24f6a8E07C3D91B2A5F60/qlogs"));
        QString text;
        for (const QString& name : logs.entryList(QDir::Files, QDir::Name)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                text += QString::fromUtf8(file.readAll());
        }
        return text;
    }

private:
    QString m_home;
    QProcess m_process;
};

} // namespace

class TestInstanceGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void secondStartRaisesFirstAndEnds();
    void killedWindowLeavesNoLock();

private:
    // The application's own adb server talk goes to a private server that is running already.
    std::unique_ptr<AdbTestServer> m_adb;
};

void TestInstanceGuard::initTestCase()
{
    useTemporaryHome();
    m_adb = std::make_unique<AdbTestServer>();
}

void TestInstanceGuard::secondStartRaisesFirstAndEnds()
{
    QTemporaryDir home;
    QTemporaryDir otherHome;
    Desk first(home.path());
    QTRY_VERIFY_WITH_TIMEOUT(first.log().count(alone) == 1, 60000);

    Desk second(home.path());
    QVERIFY2(second.process().waitForFinished(60000), qUtf8Printable(first.log()));
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process().exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        first.log().contains(QLatin1String("another start asked for this window: brought forward")), 10000);
    QVERIFY(first.log().contains(QLatin1String("runs already and was asked to come forward")));
    QCOMPARE(first.log().count(alone), 1);
    QCOMPARE(first.process().state(), QProcess::Running);

    // Another data folder is another window.
    Desk elsewhere(otherHome.path());
    QTRY_VERIFY_WITH_TIMEOUT(elsewhere.log().count(alone) == 1, 60000);
    QTest::qWait(500);
    QCOMPARE(elsewhere.process().state(), QProcess::Running);
    QCOMPARE(first.process().state(), QProcess::Running);
    QVERIFY(!first.log().contains(QLatin1String("did not answer")));
}

void TestInstanceGuard::killedWindowLeavesNoLock()
{
    QTemporaryDir home;
    {
        Desk crashed(home.path());
        QTRY_VERIFY_WITH_TIMEOUT(crashed.log().count(alone) == 1, 60000);
        crashed.process().kill();
        QVERIFY(crashed.process().waitForFinished(10000));
    }
    QVERIFY(QFile::exists(home.filePath(QStringLiteral(".local/share/Quillbarrow/7C1E0A93B5D24f6a8E07C3D91B2A5F60/"
                                                       "quillbarrow-sms-desk.lock"))));

    Desk next(home.path());
    QTRY_VERIFY_WITH_TIMEOUT(next.log().count(alone) == 2, 60000);
    QTest::qWait(500);
    QCOMPARE(next.process().state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "TestInstanceGuard.moc"
