#pragma once

#include <QAbstractNativeEventFilter>

class QWidget;

// Ends the event loop, with status 0, when another X11 client destroys the
// window (as `xdotool windowclose` does) instead of asking it to close: Qt
// would carry on without it. The program lives exactly as long as its window.
class DestroyedWatch : public QAbstractNativeEventFilter {
public:
    explicit DestroyedWatch(const QWidget *window);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    const QWidget *window_;
};
