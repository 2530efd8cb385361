// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/TaskReporting.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// The progress dialog of the command-line program: receives a worker's posts and shows them on
// standard error, as a bar redrawn in place on a terminal and as plain lines otherwise (each status,
// then a new tenth percent at most every few seconds, so that a log file stays short). Every text is
// printed through terminalText. Keeps the worker's outcome for the caller.
class ConsoleProgress : public QObject, public ProgressReceiver
{
    Q_OBJECT

public:
    explicit ConsoleProgress(QObject* parent = nullptr);
    ~ConsoleProgress() override;

    QObject* reportTarget() override { return this; }

    bool succeeded() const { return m_succeeded; }
    bool failed() const { return m_failed; }
    // The success text, as plain text.
    const QString& successText() const { return m_successText; }
    // The error text, as plain text; may be empty even when failed().
    const QString& errorText() const { return m_errorText; }

    // Ends a bar line that is still open, so that what follows starts on a line of its own.
    void endLine();

    // The text of a box of the window as plain text: line breaks for <br/>, no tags, entities decoded.
    static QString plainText(const QString& richText);

public slots:
    void updateProgress(const QString& status, int curProgress, const QString& progressText);
    void errorOccurred(const QString& text);
    void succeed(const QString& tipsStr);
    void tipsWait(const QString& info);

private:
    void drawBar();
    // Draws the open bar full before its line ends.
    void completeBar();
    void tipClosed();

    const bool m_terminal;
    QString m_status;
    int m_percent = 0;
    QString m_text;
    bool m_lineOpen = false;
    int m_drawnPercent = -1;
    QElapsedTimer m_sinceDrawn;
    int m_lastPrintedDecile = -1;
    QElapsedTimer m_sincePlainLine;
    bool m_succeeded = false;
    bool m_failed = false;
    QString m_successText;
    QString m_errorText;
    std::unique_ptr<QSocketNotifier> m_enterKey;
};
