// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ShowScenario.h"

#include "message/MessageText.h"
#include "message/MsgCollection.h"
#include "store/IOS6MessageDb.h"
#include "ui/models/ItemModelSms.h"
#include "ui/views/MyTreeView.h"
#include "ui/views/SmsBrowser.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>

ScenarioResult runShowScenario(const BenchContext& context)
{
    ItemModelSms model;
    MyTreeView list;
    list.setUniformRowHeights(true);
    list.setModel(&model);
    list.resize(750, 300);
    SmsBrowser browser;
    browser.resize(750, 300);
    list.show();
    browser.show();
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    IOS6MessageDb store(context.storeDir(), context.mcc, true);
    _MsgCollection collection;
    store.chats(collection);
    store.messages(collection, 0);
    QList<_MsgMessage*> messages = collection.messages().values();
    sortMessages(messages, true);
    model.setMessages(messages);
    browser.clear();
    browser.setMessages(model.messages());
    QCoreApplication::processEvents();

    ScenarioResult result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.messages = model.rowCount();
    if (browser.pageCount() != int((result.messages + SmsBrowser::pageSize - 1) / SmsBrowser::pageSize))
        throw std::runtime_error("the conversation view does not hold the whole list");
    return result;
}
