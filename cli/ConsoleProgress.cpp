// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ConsoleProgress.h"

#include "cli/TerminalText.h"

#include <QRegularExpression>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Least time between two plain progress lines of one status.
constexpr qint64 plainLineIntervalMs = 3000;

void writeError(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

int terminalColumns()
{
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
    return 80;
}

} // namespace

ConsoleProgress::ConsoleProgress(QObject* parent)
    : QObject(parent)
    , m_terminal(isatty(STDERR_FILENO) == 1)
{
}

ConsoleProgress::~ConsoleProgress()
{
    endLine();
}

QString ConsoleProgress::plainText(const QString& richText)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("</?[A-Za-z][^<>]*>"));
    QString text = richText;
    text.replace(lineBreak, QStringLiteral("\n"));
    text.remove(tag);
    text.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.trimmed();
}

void ConsoleProgress::endLine()
{
    if (m_lineOpen)
        writeError(QStringLiteral("\n"));
    m_lineOpen = false;
}

void ConsoleProgress::updateProgress(const QString& status, int curProgress, const QString& progressText)
{
    const bool newStatus = !status.isEmpty() && status != m_status;
    if (!status.isEmpty())
        m_status = status;
    // A phone that announces fewer messages than it sends would otherwise run the percentage past 100.
    curProgress = std::min(curProgress, 100);
    if (curProgress >= 0)
        m_percent = curProgress;
    m_text = progressText;

    if (m_terminal) {
        if (newStatus) {
            completeBar();
            endLine();
        }
        drawBar();
        return;
    }
    if (newStatus) {
        writeError(terminalText(m_status) + QLatin1Char('\n'));
        m_lastPrintedDecile = curProgress >= 0 ? curProgress / 10 : -1;
        m_sincePlainLine.start();
        return;
    }
    if (curProgress >= 0 && curProgress / 10 > m_lastPrintedDecile
        && (!m_sincePlainLine.isValid() || m_sincePlainLine.elapsed() >= plainLineIntervalMs)) {
        m_lastPrintedDecile = curProgress / 10;
        m_sincePlainLine.start();
        const QString detail = m_text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_text);
        writeError(terminalText(m_status + QLatin1Char(' ') + QString::number(m_percent) + QLatin1Char('%') + detail)
            + QLatin1Char('\n'));
    }
}

void ConsoleProgress::drawBar()
{
    // A phone's load reports every message: redraw for a new percentage, otherwise at most ten
    // times a second, so that the terminal does not slow the load down.
    if (m_lineOpen && m_percent == m_drawnPercent && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < 100)
        return;
    m_drawnPercent = m_percent;
    m_sinceDrawn.start();

    const QString percent = QStringLiteral("%1%").arg(m_percent, 3);
    const QString status = terminalText(m_status);
    const QString text = m_text.isEmpty() ? QString() : QLatin1Char(' ') + terminalText(m_text);
    // The bar gives way to the texts on a narrow terminal, down to 10 characters.
    const int columns = terminalColumns() - 1;
    const int room = columns - static_cast<int>(status.size() + percent.size() + text.size()) - 4;
    const int barWidth = std::clamp(room, 10, 30);
    const int filled = std::clamp(m_percent * barWidth / 100, 0, barWidth);
    const QString bar = QString(filled, QLatin1Char('#')) + QString(barWidth - filled, QLatin1Char('-'));
    QString line = QStringLiteral("%1 [%2] %3").arg(status, bar, percent) + text;
    line.truncate(columns);
    // Back to the start of the line and clear it, so that a shorter line leaves nothing behind.
    writeError(QStringLiteral("\r\x1b[K") + line);
    m_lineOpen = true;
}

void ConsoleProgress::errorOccurred(const QString& text)
{
    endLine();
    m_failed = true;
    m_errorText = plainText(text);
}

void ConsoleProgress::completeBar()
{
    // A new step, or success, means the step on the bar is done, whatever its last report said: a
    // step that reports only its start would otherwise stay at 0 % on the screen.
    if (!m_lineOpen || m_percent >= 100)
        return;
    m_percent = 100;
    m_drawnPercent = -1;
    drawBar();
}

void ConsoleProgress::succeed(const QString& tipsStr)
{
    completeBar();
    endLine();
    m_succeeded = true;
    m_successText = plainText(tipsStr);
}

void ConsoleProgress::tipsWait(const QString& info)
{
    endLine();
    writeError(terminalText(plainText(info), LineBreaks::Keep) + QLatin1Char('\n'));
    if (isatty(STDIN_FILENO) != 1) {
        // Nobody can answer: a script runs on as if OK had been pressed.
        tipClosed();
        return;
    }
    writeError(QStringLiteral("Press Enter to go on.\n"));
    m_enterKey = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(m_enterKey.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        Q_UNUSED(got);
        m_enterKey->setEnabled(false);
        m_enterKey.release()->deleteLater();
        tipClosed();
    });
}

void ConsoleProgress::tipClosed()
{
    waitingForTips = false;
}
