// What a window manager and a screen grabber do to a window, straight
// through Xlib: fast enough to catch a picture before the next tick.
#pragma once

#include <QImage>
#include <QString>

#include <memory>

struct _XDisplay;

class XConnection {
public:
    // Fails (isOpen() false) when the display does not take connections.
    explicit XConnection(const QByteArray &display);
    ~XConnection();
    bool isOpen() const { return display_ != nullptr; }

    // The window's contents, or a null image when it is not viewable.
    QImage grab(unsigned long window) const;

    // Asks a window to close the way a window manager does: a
    // WM_DELETE_WINDOW client message. Fails if the window does not take
    // part in that protocol.
    bool sendWmDeleteWindow(unsigned long window, QString *error) const;

private:
    _XDisplay *display_;
};
