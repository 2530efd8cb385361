// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/MessageSources.h"

#include "android/AndroidDevice.h"
#include "android/AndroidLoadSMSThread.h"
#include "base/DataFolders.h"
#include "store/IOS6MessageDb.h"

#include <QStringList>

QString localDatabaseFolder(const QString& name)
{
    if (checkLocalDbName(name) != LocalDbNameCheck::Valid)
        return QString();
    return localDatabasesDir().absoluteFilePath(name);
}

MessageSource localDatabaseSource(const QDir& folder)
{
    return { folder, QString() };
}

MessageSource deviceCacheSource(const AndroidDevice& device)
{
    return { device.cacheDir(), device.mmc };
}

QSharedPointer<IOS6MessageDb> openMessageStore(const MessageSource& source)
{
    return QSharedPointer<IOS6MessageDb>::create(source.folder, source.mcc, true);
}

QString loadSummary(const AndroidLoadSMSThread& load, const AndroidDevice& device)
{
    const QString into = QDir::toNativeSeparators(device.cacheDir().absolutePath());
    QStringList skipped;
    if (load.incompleteRecords != 0)
        skipped << QStringLiteral("%1 with fewer than six fields").arg(load.incompleteRecords);
    if (load.undatedRecords != 0)
        skipped << QStringLiteral("%1 with a time that is not a number").arg(load.undatedRecords);
    if (load.repeatedMessages != 0)
        skipped << QStringLiteral("%1 repeating a message already loaded").arg(load.repeatedMessages);
    if (skipped.isEmpty())
        return QStringLiteral("Loaded %1 messages from %2 into %3").arg(load.loaded).arg(device.displayName(), into);
    return QStringLiteral("Loaded %1 of %2 messages from %3 into %4; skipped %5.")
        .arg(load.storedMessages)
        .arg(load.loaded)
        .arg(device.displayName(), into, skipped.join(QStringLiteral(", ")));
}
