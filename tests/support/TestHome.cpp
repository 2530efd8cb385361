// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTranslator>

QString useTemporaryHome()
{
    static QTemporaryDir home;
    static const bool ready = [] {
        const QByteArray path = QFile::encodeName(home.path());
        qputenv("HOME", path);
        qputenv("XDG_DATA_HOME", path + "/.local/share");
        qputenv("XDG_CONFIG_HOME", path + "/.config");
        QDir().mkpath(home.path() + QStringLiteral("/.local/share"));
        return home.isValid();
    }();
    Q_UNUSED(ready);
    return home.path();
}

bool installEnglishTranslation()
{
    static QTranslator translator;
    static const bool loaded = [] {
        const bool ok = translator.load(QStringLiteral(":/en.qm"));
        if (ok)
            QCoreApplication::installTranslator(&translator);
        return ok;
    }();
    return loaded;
}
