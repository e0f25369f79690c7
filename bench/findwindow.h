// The window of a title, looked up straight through Xlib, for the probes
// that time the real program.
#pragma once

#include <X11/Xlib.h>

#include <cstring>

// Windows come and go while the probes look: their errors are no news.
inline int ignoreErrors(Display *, XErrorEvent *) { return 0; }

// The first window below parent whose title is name, or 0.
inline Window findNamed(Display *d, Window parent, const char *name)
{
    Window root, up, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char *title = nullptr;
        if (XFetchName(d, children[i], &title) && title) {
            if (std::strcmp(title, name) == 0)
                found = children[i];
            XFree(title);
        }
        if (!found)
            found = findNamed(d, children[i], name);
    }
    if (children)
        XFree(children);
    return found;
}
