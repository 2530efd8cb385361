// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user drag a frameless window by pressing the left button anywhere on it and moving.
// Installs itself as event filter on the window and never consumes an event.
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
};
