// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One simple command of a shell command line, with its redirections.
struct ShellCommand
{
    QStringList words;
    // "<" file; empty when standard input is left as it is.
    QString inputFile;
    // ">" or ">>" file for descriptors 1 and 2; empty for adb's stream.
    QString outputFile;
    bool appendOutput = false;
    QString errorFile;
    bool appendError = false;
    // "2>&1" and ">&2".
    bool errorToOutput = false;
    bool outputToError = false;
    // What joins it to the next command: ";", "&&", "||", "|" or "&"; empty for the last one.
    QString joiner;
};

struct ShellLine
{
    QList<ShellCommand> commands;
    // Set when the shell refuses the line, as "syntax error: ..." or another text of the shell's.
    QString error;
};

// Reads a command line as the phone's POSIX shell does before running anything: unquoted white
// space separates words; single quotes keep everything; inside double quotes a backslash escapes
// only $ ` " \ and a line break; outside quotes it escapes any character; $NAME, ${NAME} and the
// special parameters expand (to what an adb shell holds); an unquoted # starts a comment; ; & | and
// line breaks separate commands; < > >> and N>&M redirect. Command substitution and subshells are
// refused, since nothing the desktop sends needs them and a word that would start one was meant to
// be quoted.
ShellLine parseShellLine(const QString& line);

// What a command run on the phone gives back: its two output streams and its exit status.
struct ShellResult
{
    QByteArray out;
    QByteArray err;
    int exitCode = 0;
};
