// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QEvent>
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

// Like onNextDialog, but for a dialog that may close again within a few milliseconds (a progress
// dialog over a quick job): the answer is queued the moment the dialog is shown, so it runs first
// thing in the dialog's event loop instead of whenever a polling timer comes round.
template <typename T> void onNextDialogShown(const std::function<void(T*)>& action)
{
    class ShowWatcher : public QObject
    {
    public:
        ShowWatcher(std::function<void(T*)> action, QObject* parent)
            : QObject(parent)
            , m_action(std::move(action))
        {
            qApp->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* dialog = qobject_cast<T*>(watched);
            if (event->type() == QEvent::Show && dialog && dialog->isWindow()) {
                qApp->removeEventFilter(this);
                QMetaObject::invokeMethod(
                    dialog, [action = m_action, dialog] { action(dialog); }, Qt::QueuedConnection);
                deleteLater();
            }
            return false;
        }

    private:
        std::function<void(T*)> m_action;
    };
    new ShowWatcher(action, &pendingDialogAnswers());
}
