// Clicks on an X display through XTest, stamping CLOCK_MONOTONIC right before the press. Reads
// one command a line on standard input and answers each with one line:
//   move WINDOW X Y    the pointer to (X, Y) in WINDOW (0: the screen)  -> "ok"
//   click              a press and release of button 1 where it is      -> "clicked NS"
//   click WINDOW X Y   the pointer there, then at once the click        -> "clicked NS"
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/latency/Onset.h"

namespace {

bool Move(Display* display, Window window, int x, int y) {
    if (window == 0) {
        window = DefaultRootWindow(display);
    }
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                               &child)) {
        return false;
    }
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XSync(display, False);  // the server has moved the pointer before the click is stamped
    return true;
}

std::int64_t Click(Display* display) {
    const std::int64_t stamp = latency::MonotonicNs();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    return stamp;
}

}  // namespace

int main() {
    Display* display = XOpenDisplay(nullptr);
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (display == nullptr || !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "clicker: no X display with XTest\n");
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        unsigned long window = 0;
        int x = 0;
        int y = 0;
        words >> command;
        const bool placed = bool(words >> window >> x >> y);
        if ((command == "move" || command == "click") && placed &&
            !Move(display, Window(window), x, y)) {
            std::printf("error no such window\n");
        } else if (command == "move" && placed) {
            std::printf("ok\n");
        } else if (command == "click") {
            std::printf("clicked %lld\n", (long long)Click(display));
        } else {
            std::printf("error %s\n", line.c_str());
        }
        std::fflush(stdout);
    }
    XCloseDisplay(display);
    return 0;
}
