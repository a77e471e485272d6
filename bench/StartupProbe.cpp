// Starts a program and reports, as one line on stdout, "shown MS CPU_MS PID WINDOW": how long
// after the start its window (found by title) was mapped on the X display, the CPU time it had
// used by then, its process id and its window; then leaves it running until stdin reaches its end.
//
//   ostrivane_startup_probe TITLE PROGRAM [ARGS]
//
// The clock starts just before the fork. Without a window manager (as on the benchmarks' Xvfb) the
// X server exposes a window as it maps it: the mapping is when it is shown.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTimeout = std::chrono::seconds(30);
constexpr int kPollMs = 5;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "ostrivane_startup_probe: %s\n", message.c_str());
    std::exit(2);
}

// The X display, told of every window mapped on it: a top-level window is a child of the root.
class Display {
  public:
    Display() : x_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(x_) != 0) {
            Fail("cannot open the X display");
        }
        ::fcntl(Fd(), F_SETFD, FD_CLOEXEC);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        if (auto* error = xcb_request_check(
                x_, xcb_change_window_attributes_checked(x_, root, XCB_CW_EVENT_MASK, &mask))) {
            std::free(error);
            Fail("cannot watch the root window");
        }
        const std::string name = "_NET_WM_NAME";
        auto* atom =
            xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 0, name.size(), name.c_str()), nullptr);
        netWmName_ = atom != nullptr ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(atom);
    }
    ~Display() { xcb_disconnect(x_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    int Fd() const { return xcb_get_file_descriptor(x_); }

    // The next window mapped among the events already here, or 0.
    xcb_window_t NextMapped() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x_)) {
            xcb_window_t window = 0;
            if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            }
            std::free(event);
            if (window != 0) {
                return window;
            }
        }
        return 0;
    }

    std::string Title(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            x_, xcb_get_property(x_, 0, window, netWmName_, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr);
        if (reply == nullptr) {
            return {};
        }
        std::string title(static_cast<const char*>(xcb_get_property_value(reply)),
                          static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
        return title;
    }

  private:
    xcb_connection_t* x_;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};

// The CPU time a process's threads have run so far, in ms (from the scheduler's own accounting,
// which unlike the wall clock hardly depends on what else the machine is doing).
double CpuMs(pid_t pid) {
    double ns = 0;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "schedstat");
        double runNs = 0;
        if (stat >> runNs) {
            ns += runNs;
        }
    }
    return ns / 1e6;
}

pid_t Start(char** program) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Our stdout carries the result and our stdin the end of the run: the program gets neither.
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::execvp(program[0], program);
        std::perror(program[0]);
        ::_exit(127);
    }
    if (pid < 0) {
        Fail("cannot fork");
    }
    return pid;
}

void Stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        Fail("usage: ostrivane_startup_probe TITLE PROGRAM [ARGS]");
    }
    const std::string title = argv[1];
    Display display;

    const auto start = Clock::now();
    const pid_t pid = Start(argv + 2);
    xcb_window_t window = 0;
    Clock::time_point shown;
    double cpuMs = 0;
    while (window == 0) {
        if (Clock::now() > start + kTimeout) {
            Stop(pid);
            Fail("no window titled \"" + title + "\" appeared");
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            Fail("the program ended before showing its window");
        }
        pollfd fd{display.Fd(), POLLIN, 0};
        ::poll(&fd, 1, kPollMs);
        while (window == 0) {
            const xcb_window_t mapped = display.NextMapped();
            shown = Clock::now();
            if (mapped == 0) {
                break;
            }
            if (display.Title(mapped) == title) {
                window = mapped;
                cpuMs = CpuMs(pid);
            }
        }
    }

    const std::chrono::duration<double, std::milli> shownMs = shown - start;
    std::printf("shown %.3f %.3f %d %u\n", shownMs.count(), cpuMs, static_cast<int>(pid),
                static_cast<unsigned>(window));
    std::fflush(stdout);
    char buffer[256];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    Stop(pid);
    return 0;
}
