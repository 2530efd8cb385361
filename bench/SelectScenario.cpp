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

namespace {

// Adds the store to the window as the load of a phone leaves it (conversations read, messages not
// yet) and selects its node; times the selection alone, or the whole with fromOpening.
ScenarioResult openAndSelect(const BenchContext& context, bool fromOpening)
{
    MainWindowOptions options;
    options.startMonitor = false;
    options.usbTipsDelayMs = -1;
    MainWindow window(nullptr, options);
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
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
    if (!fromOpening)
        timer.restart();

    tree->setCurrentIndex(window.mainModel()->nodeIndex(node));
    QCoreApplication::processEvents();

    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = window.smsModel()->rowCount();
    // The view opens at the newest messages, on its last page.
    if (result.messages == 0 || result.messages != node->collection.messages().size()
        || browser->currentPage() != browser->pageCount() || browser->toPlainText().isEmpty())
        throw std::runtime_error(QStringLiteral("the list (%1 rows) or the newest page (page %2) is not filled")
                                     .arg(result.messages)
                                     .arg(browser->currentPage())
                                     .toStdString());
    return result;
}

} // namespace

ScenarioResult runSelectScenario(const BenchContext& context)
{
    return openAndSelect(context, false);
}

ScenarioResult runOpenSelectScenario(const BenchContext& context)
{
    return openAndSelect(context, true);
}
