// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/LogHandler.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace {

// Allocated once and never destroyed: Qt may still log while static objects are torn down at exit.
struct LogState
{
    QMutex mutex;
    QString folderPath;
    QFile file;
    bool echoDebug = true;
};

LogState& logState()
{
    static LogState* state = new LogState;
    return *state;
}

// A message raised by Qt while the handler itself runs (on the same thread) must not deadlock on the mutex.
thread_local bool insideHandler = false;

QString lineTemplate(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("(D %1) %2\n");
    case QtWarningMsg:
        return QStringLiteral("(W %1) %2\n");
    case QtCriticalMsg:
        return QStringLiteral("(C %1) %2\n");
    case QtFatalMsg:
        return QStringLiteral("(F %1) %2\n");
    default:
        return QStringLiteral("(%1) %2\n");
    }
}

// Tried again with every message while it fails: a log folder that is missing or locked at the
// first message (a removable drive, a folder being moved) must not cost the rest of the run's lines.
void openLogFile(LogState& state)
{
    // The name is fixed by the first message of the run, even when the run passes midnight.
    if (state.file.fileName().isEmpty()) {
        const QString name
            = QStringLiteral("log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
        state.file.setFileName(QDir(state.folderPath).absoluteFilePath(name));
    }
    if (!QDir(state.folderPath).exists())
        QDir().mkpath(state.folderPath);
    state.file.open(QIODevice::ReadWrite | QIODevice::Append);
}

} // namespace

void installLogHandler(const QString& logFolderPath, int keepCount, bool echoDebug)
{
    LogState& state = logState();
    {
        QMutexLocker locker(&state.mutex);
        state.folderPath = logFolderPath;
        state.echoDebug = echoDebug;
    }

    QDir folder(logFolderPath);
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (qsizetype i = 0; i < names.size() - keepCount; ++i)
        folder.remove(names.at(i));

    qInstallMessageHandler(logMessageHandler);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    if (insideHandler) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    insideHandler = true;

    LogState& state = logState();
    {
        QMutexLocker locker(&state.mutex);
        if (!state.file.isOpen())
            openLogFile(state);

        if (type == QtDebugMsg && state.echoDebug) {
            std::fprintf(stdout, "%s\n", message.toLocal8Bit().constData());
            std::fflush(stdout);
        }

        const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
        if (state.file.isOpen()) {
            state.file.write(lineTemplate(type).arg(time, message).toUtf8());
            state.file.flush();
        }
    }

    insideHandler = false;
    if (type == QtFatalMsg)
        std::abort();
}
