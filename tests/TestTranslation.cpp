// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The embedded English translation: every key the code looks up has an English text in the context
// it is looked up in. The keys are those lupdate finds in the sources now, so a key added to the code
// without its text fails here instead of showing as IDS_... in a window.
#include "support/TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

struct SourceKey
{
    QString context;
    QString source;
};

// A source text that is no English of its own: an identifier, or Chinese.
bool needsEnglish(const QString& source)
{
    if (source.startsWith(QLatin1String("IDS_")))
        return true;
    return std::any_of(source.cbegin(), source.cend(), [](QChar c) { return c.script() == QChar::Script_Han; });
}

QList<SourceKey> readTs(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<SourceKey> keys;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            keys.append({ context, xml.readElementText() });
    }
    return keys;
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyKeyInTheCodeHasEnglish();
    void keyOutsideItsContextIsNotTranslated();

private:
    QTranslator translator;
};

void TestTranslation::initTestCase()
{
    useTemporaryHome();
    QVERIFY(translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&translator);
}

void TestTranslation::everyKeyInTheCodeHasEnglish()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString scanned = dir.filePath(QStringLiteral("scanned.ts"));
    QStringList arguments { QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none") };
    for (const char* folder : { "base", "message", "store", "android", "ops", "ui", "app", "cli" })
        arguments << QDir(QStringLiteral(QSMS_SOURCE_DIR)).filePath(QLatin1String(folder));
    arguments << QStringLiteral("-ts") << scanned;
    QProcess lupdate;
    lupdate.start(QStringLiteral(QSMS_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(120000) && lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());

    const QList<SourceKey> keys = readTs(scanned);
    QStringList withoutEnglish;
    int checked = 0;
    for (const SourceKey& key : keys) {
        if (!needsEnglish(key.source))
            continue;
        ++checked;
        const QByteArray context = key.context.toUtf8();
        const QByteArray source = key.source.toUtf8();
        const QString english = QCoreApplication::translate(context.constData(), source.constData());
        if (english.isEmpty() || english == key.source)
            withoutEnglish << key.context + QStringLiteral("::") + key.source;
    }
    // The scan must have found the code's keys at all; the program has dozens.
    QVERIFY2(checked >= 20, qPrintable(QStringLiteral("%1 keys found").arg(checked)));
    QVERIFY2(withoutEnglish.isEmpty(),
        qUtf8Printable(QStringLiteral("no English text for: ") + withoutEnglish.join(QStringLiteral(", "))));
}

void TestTranslation::keyOutsideItsContextIsNotTranslated()
{
    // Each class looks its keys up in its own context: a key stored elsewhere shows as the bare key.
    QCOMPARE(QCoreApplication::translate("MainWindow", "IDS_PRINT_SMS"), QStringLiteral("IDS_PRINT_SMS"));
    QVERIFY(translator.translate("MainWindow", "IDS_BACKING_UP_SMS").isEmpty());
}

QTEST_GUILESS_MAIN(TestTranslation)

#include "TestTranslation.moc"
