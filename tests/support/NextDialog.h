// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// The timers of answers not given yet. An answer usually refers to its test's local objects, so one
// left over when its dialog never came must not answer a dialog of a later test.
inline QObject& pendingDialogAnswers()
{
    static QObject* const holder = new QObject;
    return *holder;
}

// Drops every answer that was not given; call it in a test class's cleanup().
inline void forgetNextDialogs()
{
    // Deleting a child takes it out of the list, so the list is copied first.
    const QObjectList answers = pendingDialogAnswers().children();
    qDeleteAll(answers);
}

// Acts on the next dialog of type T once it is shown modally, like a person answering it.
template <typename T> void onNextDialog(const std::function<void(T*)>& action)
{
    auto* timer = new QTimer(&pendingDialogAnswers());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(widget);
            if (dialog && dialog->isVisible()) {
                timer->deleteLater();
                timer->stop();
                action(dialog);
                return;
            }
        }
    });
    timer->start();
}
