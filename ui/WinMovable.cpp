// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WinMovable.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WinMovable::WinMovable(QWidget* window)
    : QObject(window)
    , window(window)
{
    window->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window)
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pressPos = mouse->position().toPoint();
        dragging = mouse->button() == Qt::LeftButton;
        systemMove = false;
        systemMoveTried = false;
        break;
    }
    case QEvent::MouseMove: {
        // A press position of (0, 0) counts as "no press remembered".
        if (!pressPos.isNull() && dragging && !systemMove) {
            if (!systemMoveTried) {
                systemMoveTried = true;
                QWindow* handle = window->windowHandle();
                systemMove = handle && handle->startSystemMove();
                if (systemMove)
                    break;
            }
            const auto* mouse = static_cast<QMouseEvent*>(event);
            window->move(window->pos() + mouse->position().toPoint() - pressPos);
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        dragging = false;
        break;
    default:
        break;
    }
    return false;
}
