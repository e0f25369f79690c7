// Starts a program and reports how long its window "Form1" takes to show a
// complete plot frame: the ends of both axes and the last grid dots.
// Usage: firstframe PROGRAM [ARGS...]   (DISPLAY must be set)
// Prints "pid N" and "first_frame_ms T"; the program is left running.
#include "findwindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

bool isBlack(Display *d, Window w, int x, int y)
{
    XImage *image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return false;
    const bool black = (XGetPixel(image, 0, 0) & 0xffffff) == 0;
    XDestroyImage(image);
    return black;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: firstframe PROGRAM [ARGS...]\n");
        return 2;
    }
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "firstframe: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO); // our stdout is for the figures only
        execvp(argv[1], argv + 1);
        _exit(127);
    }

    Window window = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        if (!window)
            window = findNamed(d, DefaultRootWindow(d), "Form1");
        XWindowAttributes attributes;
        if (window && XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable
            && isBlack(d, window, 620, 433) && isBlack(d, window, 6, 220) && isBlack(d, window, 620, 220)
            && isBlack(d, window, 618, 28)) {
            const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
            std::printf("pid %d\nfirst_frame_ms %.1f\n", int(pid), ms.count());
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::fprintf(stderr, "firstframe: no frame within 10 s\n");
    return 1;
}
