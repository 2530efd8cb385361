// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StyleSheet.h"

#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QStyleHints>

namespace {

QString readResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(bytes);
}

} // namespace

QString appStyleSheet(bool dark)
{
    // GUI thread only, like every widget that uses it. An unreadable resource is tried again next time.
    static QString cached[2];
    QString& sheet = cached[dark ? 1 : 0];
    if (sheet.isEmpty()) {
        const QString base = readResource(QStringLiteral(":/style.css"));
        // The dark rules come last, so that they win over the light ones they repeat.
        const QString overrides = dark ? readResource(QStringLiteral(":/style-dark.css")) : QString();
        if (!dark)
            sheet = base;
        else if (!base.isEmpty() && !overrides.isEmpty())
            sheet = base + QLatin1Char('\n') + overrides;
    }
    return sheet;
}

QString appStyleSheet()
{
    return appStyleSheet(desktopPrefersDark());
}

bool isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool desktopPrefersDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const Qt::ColorScheme scheme = QGuiApplication::styleHints()->colorScheme();
    if (scheme != Qt::ColorScheme::Unknown)
        return scheme == Qt::ColorScheme::Dark;
#endif
    return isDarkPalette(QGuiApplication::palette());
}
