// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/FontWarningFilter.h"

#include <QMutex>
#include <QSet>
#include <QString>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// Allocated once and never destroyed: Qt may still log while static objects are torn down at exit.
struct FilterState
{
    QMutex mutex;
    std::atomic<QtMessageHandler> next { nullptr };
    QSet<int> reportedScripts;
};

FilterState& filterState()
{
    static FilterState* state = new FilterState;
    return *state;
}

// Qt's text, without the two spaces it starts with: "OpenType support missing for "NAME", script N".
const QLatin1String missingPrefix("OpenType support missing for ");
const QLatin1String scriptMarker(", script ");

// True for a repeat of a warning already let through for the same script.
bool isRepeatedFontWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtWarningMsg || (context.category && qstrcmp(context.category, "default") != 0))
        return false;
    const QString text = message.trimmed();
    if (!text.startsWith(missingPrefix))
        return false;
    const qsizetype marker = text.lastIndexOf(scriptMarker);
    bool isNumber = false;
    const int script = marker < 0 ? -1 : text.mid(marker + scriptMarker.size()).toInt(&isNumber);
    if (!isNumber)
        return false;
    FilterState& state = filterState();
    QMutexLocker locker(&state.mutex);
    if (state.reportedScripts.contains(script))
        return true;
    state.reportedScripts.insert(script);
    return false;
}

void filterFontWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isRepeatedFontWarning(type, context, message))
        return;
    const QtMessageHandler next = filterState().next.load();
    if (next) {
        next(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void installFontWarningFilter()
{
    FilterState& state = filterState();
    QMutexLocker locker(&state.mutex);
    const QtMessageHandler previous = qInstallMessageHandler(&filterFontWarnings);
    // Installed twice, the filter must not hand messages on to itself.
    if (previous != &filterFontWarnings)
        state.next.store(previous);
}
