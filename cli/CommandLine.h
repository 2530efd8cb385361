// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The command and its arguments, checked against what the command accepts. Parsing needs no
// application object, so that the program can choose its kind of application from the command.
class CommandLine
{
public:
    // The arguments after the program's name. Throws UsageError.
    static CommandLine parse(const QStringList& arguments);
    // The text of --help.
    static QString usage();

    // "help", "devices", "load", "backup", "list", "export", "import", "restore" or "search".
    QString command;
    QStringList positional;

    bool has(const QString& option) const { return m_options.contains(option); }
    QString value(const QString& option) const { return m_options.value(option); }

private:
    QMap<QString, QString> m_options;
};

// The values export's --format takes, as a sentence: "txt, doc, csv or xml".
QString exportFormatChoices();
// The values of --format that --evidence goes with, as a sentence.
QString evidenceFormatNames();
