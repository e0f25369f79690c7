#include "wmdelete.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

bool sendWmDeleteWindow(const QByteArray &display, unsigned long window, QString *error)
{
    const std::unique_ptr<Display, int (*)(Display *)> connection(XOpenDisplay(display.constData()),
                                                                  XCloseDisplay);
    if (!connection) {
        *error = QStringLiteral("cannot open display %1").arg(QString::fromLatin1(display));
        return false;
    }
    Display *d = connection.get();
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);

    Atom *supported = nullptr;
    int count = 0;
    bool takesPart = false;
    if (XGetWMProtocols(d, window, &supported, &count)) {
        for (int i = 0; i < count; ++i)
            takesPart = takesPart || supported[i] == deleteWindow;
        XFree(supported);
    }
    if (!takesPart) {
        *error = QStringLiteral("window does not list WM_DELETE_WINDOW in WM_PROTOCOLS");
        return false;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
    return true;
}
