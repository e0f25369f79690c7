// Starts the program with its arguments, clicks the signal-to-noise bar's
// upper arrow every 400 ms for 12 s, and watches the bar's readout: when
// each tick shows it (the readout changes at every tick, since every tick
// follows at least two clicks) and how long each click takes to show.
// Usage: responsiveness PROGRAM [ARGS...]   (DISPLAY must be set)
// Prints the ticks' spacing, the clicks' latency and the peak resident
// memory; the program is ended.
#include "findwindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The readout of the signal-to-noise bar, as pixels.
std::string readout(Display *d, Window w)
{
    XImage *image = XGetImage(d, w, 408, 488, 35, 28, AllPlanes, ZPixmap);
    if (!image)
        return {};
    std::string pixels(image->data, std::size_t(image->bytes_per_line) * std::size_t(image->height));
    XDestroyImage(image);
    return pixels;
}

long peakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: responsiveness PROGRAM [ARGS...]\n");
        return 2;
    }
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "responsiveness: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    const auto start = Clock::now();
    Window window = 0;
    while (!window && msSince(start) < 10000) {
        window = findNamed(d, DefaultRootWindow(d), "Form1");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!window) {
        std::fprintf(stderr, "responsiveness: no window\n");
        kill(pid, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // past the first ticks
    const std::string click = "xdotool mousemove --window " + std::to_string(window) + " 364 534 click 1";

    std::vector<double> clicks, changes;
    std::string shown = readout(d, window);
    const auto begin = Clock::now();
    double nextClick = 0;
    while (msSince(begin) < 12500) {
        if (msSince(begin) >= nextClick && nextClick < 12000) {
            clicks.push_back(msSince(begin));
            if (std::system(click.c_str()) != 0)
                std::fprintf(stderr, "responsiveness: xdotool failed\n");
            nextClick += 400;
        }
        const std::string now = readout(d, window);
        if (now != shown) {
            changes.push_back(msSince(begin));
            shown = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const long peak = peakKiB(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    std::vector<double> spacing;
    for (std::size_t i = 1; i < changes.size(); ++i)
        spacing.push_back(changes[i] - changes[i - 1]);
    std::vector<double> latency;
    for (const double at : clicks) {
        const auto seen = std::upper_bound(changes.begin(), changes.end(), at);
        if (seen != changes.end())
            latency.push_back(*seen - at);
    }
    if (spacing.empty() || latency.empty()) {
        std::fprintf(stderr, "responsiveness: the readout never changed\n");
        return 1;
    }
    const auto [fewest, most] = std::minmax_element(spacing.begin(), spacing.end());
    std::printf("ticks %zu apart %.0f to %.0f ms; click to screen at most %.0f ms; peak resident %.1f MB\n",
                spacing.size(), *fewest, *most, *std::max_element(latency.begin(), latency.end()), peak / 1024.0);
    return 0;
}
