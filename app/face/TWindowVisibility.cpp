#include "TWindowVisibility.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>

TWindowVisibility::TWindowVisibility(std::function<void(bool)> changed) : changed_(std::move(changed))
{
}

TWindowVisibility::~TWindowVisibility()
{
    if (window_ != 0 && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TWindowVisibility::Watch(QWidget* window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr || window_ != 0)
        return;
    xcb_connection_t* c = x11->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());
    // The events Qt already takes on the window stay; the visibility notices are added to them.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    if (attributes == nullptr)
        return;
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    window_ = id;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

bool TWindowVisibility::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY)
        return false;
    const auto* notice = static_cast<const xcb_visibility_notify_event_t*>(message);
    if (notice->window == window_)
        changed_(notice->state == XCB_VISIBILITY_FULLY_OBSCURED);
    return false;
}
