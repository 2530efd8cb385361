// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include "cli/UsageError.h"
#include "ops/ExportFormats.h"

#include <QCommandLineParser>

namespace {

// What one command accepts: its options (each takes a value), how many positional arguments, and
// the groups of options of which exactly one must be given.
struct CommandShape
{
    QString name;
    QStringList options;
    int minPositional = 0;
    int maxPositional = 0;
    QList<QStringList> exactlyOneOf;
    QStringList required;
    QStringList flags = {}; // options without a value
    // What the positional argument is, for the error when it is missing.
    QString positionalMeaning = QStringLiteral("a database or file name");
};

const QList<CommandShape>& commandShapes()
{
    static const QString usb = QStringLiteral("usb");
    static const QString wifi = QStringLiteral("wifi");
    static const QString from = QStringLiteral("from");
    static const QString to = QStringLiteral("to");
    static const QString country = QStringLiteral("country");
    static const QString direct = QStringLiteral("direct");
    static const QList<CommandShape> shapes {
        { QStringLiteral("devices"), {}, 0, 0, {}, {} },
        { QStringLiteral("load"), { usb, wifi, country }, 0, 0, { { usb, wifi } }, {}, { direct } },
        { QStringLiteral("backup"), { usb, wifi, from, to, country }, 0, 0, { { usb, wifi, from } }, { to },
            { direct } },
        { QStringLiteral("list"), {}, 0, 1, {}, {} },
        { QStringLiteral("export"),
            { QStringLiteral("format"), QStringLiteral("out"), QStringLiteral("chat"), QStringLiteral("since"),
                QStringLiteral("until") },
            1, 1, {}, { QStringLiteral("format"), QStringLiteral("out") }, { QStringLiteral("evidence") } },
        { QStringLiteral("import"), { to, country }, 1, 1, {}, { to } },
        { QStringLiteral("restore"), { usb, wifi, country }, 1, 1, { { usb, wifi } }, {} },
        { QStringLiteral("search"),
            { QStringLiteral("in"), QStringLiteral("since"), QStringLiteral("until"), QStringLiteral("format") }, 1, 1,
            {}, {}, {}, QStringLiteral("a text to look for") },
    };
    return shapes;
}

// "a", "a or b", "a, b or c".
QString choiceList(const QStringList& names, const QString& conjunction = QStringLiteral("or"))
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QLatin1Char(' ') + conjunction + QLatin1Char(' ')
        + names.last();
}

QStringList formatNames(bool folder)
{
    QStringList names;
    for (const ExportFormat& format : exportFormats()) {
        const QString name = QLatin1String(format.commandLineName);
        if (format.folder == folder && !names.contains(name))
            names.append(name);
    }
    return names;
}

// Words joined by spaces into lines of at most `width` characters, each after `indent`.
QString wrapped(const QString& text, const QString& indent, int width)
{
    QString result;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            result += indent + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        result += indent + line + QLatin1Char('\n');
    return result;
}

QString optionList(const QStringList& names)
{
    QStringList dashed;
    for (const QString& name : names)
        dashed << QStringLiteral("--") + name;
    return dashed.join(QStringLiteral(", "));
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("no command given; see --help."));
    const QString& first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        line.command = QStringLiteral("help");
        return line;
    }
    if (first == QLatin1String("--version")) {
        line.command = QStringLiteral("version");
        return line;
    }

    const CommandShape* shape = nullptr;
    for (const CommandShape& candidate : commandShapes()) {
        if (candidate.name == first)
            shape = &candidate;
    }
    if (!shape)
        throw UsageError(QStringLiteral("unknown command \"%1\"; see --help.").arg(first));
    line.command = shape->name;

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    parser.addOption(help);
    for (const QString& name : shape->options)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    for (const QString& name : shape->flags)
        parser.addOption(QCommandLineOption(name));
    // The parser takes the first argument for the program's name.
    if (!parser.parse(QStringList { QStringLiteral("quillbarrow-sms") } + arguments.mid(1)))
        throw UsageError(parser.errorText());
    if (parser.isSet(help)) {
        line.command = QStringLiteral("help");
        return line;
    }

    for (const QString& name : shape->options) {
        const QStringList values = parser.values(name);
        if (values.size() > 1)
            throw UsageError(QStringLiteral("--%1 given more than once.").arg(name));
        if (values.size() == 1) {
            if (values.first().isEmpty())
                throw UsageError(QStringLiteral("--%1 needs a value.").arg(name));
            line.m_options.insert(name, values.first());
        }
    }
    for (const QString& name : shape->flags) {
        if (parser.isSet(name))
            line.m_options.insert(name, QString());
    }
    if (line.has(QStringLiteral("direct")) && !line.has(QStringLiteral("usb")))
        throw UsageError(QStringLiteral("--direct reads a phone over USB; give --usb SERIAL."));
    for (const QStringList& group : shape->exactlyOneOf) {
        int given = 0;
        for (const QString& name : group)
            given += line.has(name) ? 1 : 0;
        if (given != 1)
            throw UsageError(QStringLiteral("%1 needs exactly one of %2.").arg(shape->name, optionList(group)));
    }
    for (const QString& name : shape->required) {
        if (!line.has(name))
            throw UsageError(QStringLiteral("%1 needs --%2.").arg(shape->name, name));
    }

    line.positional = parser.positionalArguments();
    const int count = static_cast<int>(line.positional.size());
    if (count < shape->minPositional)
        throw UsageError(QStringLiteral("%1 needs %2; see --help.").arg(shape->name, shape->positionalMeaning));
    if (count > shape->maxPositional)
        throw UsageError(QStringLiteral("unexpected argument \"%1\".").arg(line.positional.at(shape->maxPositional)));
    return line;
}

QString exportFormatChoices()
{
    return choiceList(exportFormatNames());
}

QString evidenceFormatNames()
{
    QStringList names;
    for (const ExportFormat& format : exportFormats()) {
        const QString name = QLatin1String(format.commandLineName);
        if (format.evidence && !names.contains(name))
            names.append(name);
    }
    return choiceList(names);
}

QString CommandLine::usage()
{
    // Said from the export-format table, so that a new format is listed with the others.
    const QString exportText = wrapped(
        QStringLiteral(
            "Export the database's messages: %1 write the file PATH; %2 write one file per conversation into the "
            "folder PATH. --chat keeps one conversation (its identifier as shown by list); --since and --until keep "
            "the messages from and up to a local date (YYYY-MM-DD) or time (YYYY-MM-DDTHH:MM[:SS]); --until takes "
            "the day or minute it names to its end. --evidence (%3 only) makes files to hand over: a cover page with "
            "the SHA-256 of the database and of every attachment, and every message numbered.")
            .arg(choiceList(formatNames(false), QStringLiteral("and")),
                choiceList(formatNames(true), QStringLiteral("and")), evidenceFormatNames()),
        QStringLiteral("      "), 88);
    return QStringLiteral(
        "Usage: quillbarrow-sms COMMAND [OPTIONS]\n"
        "       quillbarrow-sms --help | --version\n"
        "\n"
        "Backs up, lists, exports and restores the text messages of Android phones from scripts, with\n"
        "the same data folder, local databases and phone link as the Quillbarrow SMS Desk window.\n"
        "\n"
        "Commands:\n"
        "  devices\n"
        "      Phones reachable over USB through adb, one line each: serial and state.\n"
        "  load (--usb SERIAL [--direct] | --wifi ADDRESS) [--country MCC]\n"
        "      Connect to the phone and load its messages into its cache, as the window does. Over\n"
        "      USB a phone without the Quillbarrow SMS Agent app is read directly through Android's\n"
        "      own providers (received and sent messages only); --direct reads it so in any case.\n"
        "  backup (--usb SERIAL [--direct] | --wifi ADDRESS | --from DATABASE) --to NAME [--country MCC]\n"
        "      Load the phone (or read local database DATABASE), then back every message up into the\n"
        "      local database NAME, created when missing. Prints how many messages were new and how\n"
        "      many the database held already.\n"
        "  list [DATABASE]\n"
        "      The local databases with their message counts; with DATABASE its conversations:\n"
        "      identifier, message count, date of the newest message and name.\n"
        "  export DATABASE --format %1 --out PATH [--chat IDENTIFIER]\n"
        "         [--since DATE] [--until DATE] [--evidence]\n"
        "%2"
        "  import FILE.xml --to NAME [--country MCC]\n"
        "      Import an XML backup file of the common Android backup apps into the local database\n"
        "      NAME, created when missing.\n"
        "  restore DATABASE (--usb SERIAL | --wifi ADDRESS) [--country MCC]\n"
        "      Load the phone, then transfer the database's messages to it.\n"
        "  search TEXT [--in DATABASE] [--since DATE] [--until DATE] [--format txt|csv]\n"
        "      The messages of every local database and phone cache (or of DATABASE only) that hold\n"
        "      every word of TEXT, newest first, one per line: source, conversation, date and message.\n"
        "      Case and accents do not matter, words match their beginnings, \"quoted words\" match as a\n"
        "      phrase, and a conversation's names and numbers (in any form) find its messages. --since\n"
        "      and --until as for export; csv prints the same fields as CSV.\n"
        "\n"
        "--country MCC gives the mobile country code (for example 310) for a phone that reports none;\n"
        "addresses are normalised with it.\n"
        "\n"
        "Progress goes to standard error (a bar on a terminal), results to standard output.\n"
        "Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted (Ctrl-C cancels the\n"
        "running step and leaves every database as it was before the run).\n")
        .arg(exportFormatNames().join(QLatin1Char('|')), exportText);
}
