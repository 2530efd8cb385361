// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user drag a frameless window by pressing the left button anywhere on it and moving.
// Installs itself as event filter on the window and never consumes an event. Where the window system
// offers to move the window itself (Wayland ignores a window that moves itself), the drag is handed
// to it on the first move; elsewhere the window follows the mouse.
class WinMovable : public QObject
{
    Q_OBJECT

public:
    explicit WinMovable(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window;
    QPoint pressPos;
    bool dragging = false;
    // Whether this drag was offered to the window system, and whether it took it over.
    bool systemMoveTried = false;
    bool systemMove = false;
};
