// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScreenColormap.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#if defined(QSMS_HAVE_XCB) && QT_CONFIG(xcb)
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

// A window on the visual of its screen's root can share that screen's default colormap; windows on
// other visuals (an alpha visual, say) keep their own, which they need.
void shareScreenColormap(xcb_connection_t* connection, xcb_window_t window)
{
    const xcb_get_window_attributes_cookie_t attributesCookie = xcb_get_window_attributes(connection, window);
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(connection, window);
    xcb_get_window_attributes_reply_t* attributes
        = xcb_get_window_attributes_reply(connection, attributesCookie, nullptr);
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(connection, geometryCookie, nullptr);
    if (attributes && geometry) {
        for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
             xcb_screen_next(&it)) {
            const xcb_screen_t* screen = it.data;
            if (screen->root != geometry->root)
                continue;
            if (attributes->visual == screen->root_visual && attributes->colormap != screen->default_colormap) {
                const uint32_t colormap = screen->default_colormap;
                xcb_change_window_attributes(connection, window, XCB_CW_COLORMAP, &colormap);
            }
            break;
        }
    }
    std::free(attributes);
    std::free(geometry);
}

class ScreenColormapFilter : public QObject
{
public:
    ScreenColormapFilter(xcb_connection_t* connection, QObject* parent)
        : QObject(parent)
        , m_connection(connection)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Sent when the window's X window exists, before it is mapped.
        if (event->type() == QEvent::PlatformSurface
            && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType()
                == QPlatformSurfaceEvent::SurfaceCreated) {
            if (auto* window = qobject_cast<QWindow*>(watched))
                shareScreenColormap(m_connection, static_cast<xcb_window_t>(window->winId()));
        }
        return false;
    }

private:
    xcb_connection_t* m_connection;
};

} // namespace

void useScreenColormapOnX11(QGuiApplication& app)
{
    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    // Windows made before this call (there should be none) keep their colormaps.
    app.installEventFilter(new ScreenColormapFilter(x11->connection(), &app));
}

#else

void useScreenColormapOnX11(QGuiApplication&) { }

#endif
