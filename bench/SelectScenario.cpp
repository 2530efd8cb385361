// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/SelectScenario.h"

#include "android/AndroidDevice.h"
#include "store/IOS6MessageDb.h"
#include "ui/MainWindow.h"
#include "ui/models/ItemModelMain.h"
#include "ui/models/ItemModelSms.h"
#include "ui/models/ItemNodes.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>

ScenarioResult runSelectScenario(const BenchContext& context)
{
    MainWindowOptions options;
    options.startMonitor = false;
    options.usbTipsDelayMs = -1;
    MainWindow window(nullptr, options);
    window.show();

    // The node as the load of a phone leaves it: conversations read, messages not yet.
    AndroidDevice device;
    device.model = QStringLiteral("Bench");
    device.uid = context.storeDir().absolutePath();
    auto db = QSharedPointer<IOS6MessageDb>::create(context.storeDir(), context.mcc, true);
    _AndroidDeviceItemNode* node = window.mainModel()->addAndroidDevice(db, device);
    db->chats(node->collection);
    window.mainModel()->rebuildConversations(node);
    auto* tree = window.findChild<MyTreeView*>(QStringLiteral("treeViewDS"));
    auto* browser = window.findChild<SmsBrowser*>(QStringLiteral("txtSMS"));
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    tree->setCurrentIndex(window.mainModel()->nodeIndex(node));
    QCoreApplication::processEvents();

    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = window.smsModel()->rowCount();
    if (result.messages == 0 || result.messages != node->collection.messages().size() || browser->currentPage() != 1
        || browser->toPlainText().isEmpty())
        throw std::runtime_error(QStringLiteral("the list (%1 rows) or the first page (page %2) is not filled")
                                     .arg(result.messages)
                                     .arg(browser->currentPage())
                                     .toStdString());
    return result;
}
