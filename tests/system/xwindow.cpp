#include "xwindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

} // namespace

XConnection::XConnection(const QByteArray &display)
    : display_(XOpenDisplay(display.constData()))
{
    // A window that goes away between two calls is not the test's failure.
    XSetErrorHandler(ignoreErrors);
}

XConnection::~XConnection()
{
    if (display_)
        XCloseDisplay(display_);
}

QImage XConnection::grab(unsigned long window) const
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable)
        return {};
    XImage *image = XGetImage(display_, window, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (!image)
        return {};
    QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < attributes.width; ++x)
            row[x] = 0xff000000 | (XGetPixel(image, x, y) & 0xffffff);
    }
    XDestroyImage(image);
    return picture;
}

bool XConnection::sendWmDeleteWindow(unsigned long window, QString *error) const
{
    const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);

    Atom *supported = nullptr;
    int count = 0;
    bool takesPart = false;
    if (XGetWMProtocols(display_, window, &supported, &count)) {
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
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
    return true;
}
