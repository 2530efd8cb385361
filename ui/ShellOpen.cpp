// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ShellOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>

bool openFolderInExplorer(const QString& path)
{
#ifdef Q_OS_WIN
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer"));
    explorer.setNativeArguments(QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"'));
    return explorer.startDetached();
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

bool shellOpen(const QString& target)
{
    // Web addresses pass unchanged; a document path becomes a file URL.
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}
