// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DataFolders.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

const QString productId = QStringLiteral("7C1E0A93B5D24f6a8E07C3D91B2A5F60");

QString roamingDir()
{
    const QDir home(QDir::homePath());
    const QString roaming = home.absoluteFilePath(QStringLiteral("AppData/Roaming"));
    if (QFileInfo(roaming).isDir())
        return roaming;
#ifdef Q_OS_WIN
    return home.absoluteFilePath(QStringLiteral("Application Data"));
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}

QString resolveDataRoot()
{
    const QString defaultBase = QDir(roamingDir()).absoluteFilePath(QStringLiteral("Quillbarrow"));
    QString base = defaultBase;

    // The redirect is used exactly as written: a trailing line break makes it name a missing path.
    QFile redirect(QDir(defaultBase).absoluteFilePath(productId + QStringLiteral(".redirect")));
    if (redirect.exists() && redirect.open(QIODevice::ReadOnly)) {
        QByteArray bytes = redirect.readAll();
        const qsizetype zero = bytes.indexOf('\0');
        if (zero >= 0)
            bytes.truncate(zero);
        const QString target = QString::fromUtf8(bytes);
        if (!target.isEmpty() && QFile::exists(target))
            base = target;
    }
    return QDir(base).absoluteFilePath(productId);
}

} // namespace

QDir dataRootDir()
{
    static const QString root = resolveDataRoot();
    QDir().mkpath(root);
    return QDir(root);
}

QDir localDatabasesDir()
{
    QDir dir(dataRootDir().absoluteFilePath(QStringLiteral("local_databases")));
    if (!dir.exists())
        QDir().mkpath(dir.absolutePath());
    return dir;
}

QString settingsFilePath()
{
    return dataRootDir().absoluteFilePath(QStringLiteral("settings.ini"));
}

QString countryLibPath()
{
    return dataRootDir().absoluteFilePath(QStringLiteral("countries.db"));
}

QDir androidCacheDir()
{
    return QDir(dataRootDir().absoluteFilePath(QStringLiteral("android_cache")));
}

QDir virtualAndroidDir()
{
    return QDir(dataRootDir().absoluteFilePath(QStringLiteral("virtual_android")));
}

LocalDbNameCheck checkLocalDbName(const QString& name)
{
    if (name.trimmed().isEmpty())
        return LocalDbNameCheck::Empty;
    // Line breaks, tabs and other control characters make a name that lists, logs and shells show broken.
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\p{Cc}\\p{Zl}\\p{Zp}]"));
    static const QRegularExpression dotsOnly(QStringLiteral("^\\.+$"));
    if (name.contains(forbidden) || dotsOnly.match(name.trimmed()).hasMatch())
        return LocalDbNameCheck::Invalid;
    return LocalDbNameCheck::Valid;
}

QString localDbNameProblem(const QString& name)
{
    switch (checkLocalDbName(name)) {
    case LocalDbNameCheck::Empty:
        return QCoreApplication::translate("LocalDbSelForm", "IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
    case LocalDbNameCheck::Invalid:
        return QCoreApplication::translate("LocalDbSelForm", "IDS_INVALID_LOCALDB_NAME");
    case LocalDbNameCheck::Valid:
        break;
    }
    return QString();
}
