// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StyleSheet.h"

#include <QFile>

QString appStyleSheet()
{
    // GUI thread only, like every widget that uses it. An unreadable resource is tried again next time.
    static QString cached;
    if (cached.isEmpty()) {
        QFile file(QStringLiteral(":/style.css"));
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.readAll();
            const qsizetype zero = bytes.indexOf('\0');
            if (zero >= 0)
                bytes.truncate(zero);
            cached = QString::fromLatin1(bytes);
        }
    }
    return cached;
}
