// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppLog.h"
#include "app/InstanceGuard.h"
#include "base/DataFolders.h"
#include "base/FontWarningFilter.h"
#include "base/HeapPages.h"
#include "base/LogHandler.h"
#include "store/Sqlite3DB.h"
#include "ui/LegacyConversion.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ScreenColormap.h"

#include <QApplication>
#include <QDir>
#include <QTranslator>

int main(int argc, char** argv)
{
    restartWithHugeHeapPages(argv);
    QApplication app(argc, argv);
    useScreenColormapOnX11(app);
    // Names the installed desktop entry, through which Wayland desktops find the window's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quillbarrow.smsdesk"));

    // Every IDS_... key shown to the user gets its English text from this table.
    QTranslator translator;
    const bool translationLoaded = translator.load(QStringLiteral(":/en.qm"));
    Q_UNUSED(translationLoaded);
    app.installTranslator(&translator);

    // Checked before the data folder and the log exist, so a wrong library is reported on screen only.
    if (sqlite_qt_version() != 5) {
        showErrorBox(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    installLogHandler(dataRootDir().absoluteFilePath(QStringLiteral("qlogs")), 10);
    installFontWarningFilter();
    // The first line opens the day's log file, so that every run leaves a trace for support.
    qCInfo(lcApp, "start-up, data root %s", qUtf8Printable(QDir::toNativeSeparators(dataRootDir().absolutePath())));

    // One window per data folder: a second start brings the running window forward and ends.
    InstanceGuard guard(dataRootDir());
    if (!guard.acquire()) {
        if (guard.askRunningToRaise(15000)) {
            qCInfo(lcApp, "the window of this data folder runs already and was asked to come forward");
        } else {
            qCWarning(lcApp, "the window of this data folder runs already but did not answer");
            showInfoBox(QCoreApplication::translate("InstanceGuard",
                "Quillbarrow SMS Desk is running already for this data folder, but its window does not answer. "
                "Close it, or end it if it hangs, and start again.<br/><br/>(%1)")
                            .arg(QDir::toNativeSeparators(guard.lockFilePath()).toHtmlEscaped()));
        }
        return 0;
    }

    MainWindow window;
    QObject::connect(&guard, &InstanceGuard::raiseRequested, &window, [&window] {
        qCInfo(lcApp, "another start asked for this window: brought forward");
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
    window.show();
    convertLegacyDatabases(&window);
    return app.exec();
}
