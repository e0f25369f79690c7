#include "window/destroyedwatch.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QWidget>

#include <xcb/xcb.h>

DestroyedWatch::DestroyedWatch(const QWidget *window)
    : window_(window)
{
}

bool DestroyedWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY)
        return false;
    const auto *destroyed = static_cast<const xcb_destroy_notify_event_t *>(message);
    if (destroyed->window != window_->internalWinId())
        return false;
    // Qt will now destroy the window again, and the X server will say it
    // is not there: that is known, not the user's business.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.xcb*=false"));
    QCoreApplication::quit();
    return false;
}
