// Starts a program and reports, as one JSON line on stdout, how long after the start its window
// (found by title) was mapped on the X display, the CPU time it had used by then, and its memory
// once it has settled.
//
//   ostrivane_startup_probe [--hold] TITLE PROGRAM [ARGS]
//
// The clock starts just before the fork. Without a window manager (as on the benchmarks' Xvfb) the
// X server exposes a window as it maps it, so map and expose coincide; both are reported when seen.
// With
// --hold the program is left running after the line is printed, until stdin reaches its end.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kSettle = std::chrono::milliseconds(500);  // before the memory is read
constexpr auto kTimeout = std::chrono::seconds(30);

struct Options {
    std::string title;
    bool hold = false;
    std::vector<char*> program;  // null-terminated
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "ostrivane_startup_probe: %s\n", message.c_str());
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options options;
    int i = 1;
    options.hold = i < argc && std::string_view(argv[i]) == "--hold";
    i += options.hold ? 1 : 0;
    if (argc - i < 2) {
        Fail("usage: ostrivane_startup_probe [--hold] TITLE PROGRAM [ARGS]");
    }
    options.title = argv[i];
    options.program.assign(argv + i + 1, argv + argc);
    options.program.push_back(nullptr);
    return options;
}

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
    auto* reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

class Display {
  public:
    Display() : x_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(x_) != 0) {
            Fail("cannot open the X display");
        }
        ::fcntl(xcb_get_file_descriptor(x_), F_SETFD, FD_CLOEXEC);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        netWmName_ = Atom(x_, "_NET_WM_NAME");
        utf8_ = Atom(x_, "UTF8_STRING");
        // Every top-level window is a child of the root: its creation and mapping come to us.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        if (auto* error = xcb_request_check(
                x_, xcb_change_window_attributes_checked(x_, root_, XCB_CW_EVENT_MASK, &mask))) {
            std::free(error);
            Fail("cannot watch the root window");
        }
    }
    ~Display() { xcb_disconnect(x_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    int Fd() const { return xcb_get_file_descriptor(x_); }
    xcb_generic_event_t* Next() { return xcb_poll_for_event(x_); }

    // Asks for the expose events of a newly created window (in case it is mapped after this).
    void WatchExpose(xcb_window_t window) {
        const std::uint32_t mask = XCB_EVENT_MASK_EXPOSURE;
        xcb_change_window_attributes(x_, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x_);
    }

    std::string Title(xcb_window_t window) {
        for (const auto& [property, type] :
             {std::pair{netWmName_, utf8_},
              std::pair<xcb_atom_t, xcb_atom_t>{XCB_ATOM_WM_NAME, XCB_ATOM_STRING}}) {
            auto* reply = xcb_get_property_reply(
                x_, xcb_get_property(x_, 0, window, property, type, 0, 1024), nullptr);
            if (reply == nullptr) {
                continue;
            }
            std::string title(static_cast<const char*>(xcb_get_property_value(reply)),
                              static_cast<std::size_t>(xcb_get_property_value_length(reply)));
            std::free(reply);
            if (!title.empty()) {
                return title;
            }
        }
        return {};
    }

  private:
    xcb_connection_t* x_;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
    xcb_atom_t utf8_ = XCB_ATOM_NONE;
};

// The CPU time a process's threads have run so far, in ms (from the scheduler's own accounting,
// which unlike the wall clock hardly depends on what else the machine is doing).
double CpuMs(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double ns = 0;
    if (DIR* dir = ::opendir(tasks.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
            double runNs = 0;
            if (stat >> runNs) {
                ns += runNs;
            }
        }
        ::closedir(dir);
    }
    return ns / 1e6;
}

// VmHWM (the peak resident set) and VmRSS of a process, in KiB.
std::pair<long, long> Memory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long hwm = -1;
    long rss = -1;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            hwm = std::atol(line.c_str() + 6);
        } else if (line.starts_with("VmRSS:")) {
            rss = std::atol(line.c_str() + 6);
        }
    }
    return {hwm, rss};
}

pid_t Start(const Options& options) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Our stdout carries the result and our stdin the end of --hold: the program gets neither.
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::execvp(options.program[0], options.program.data());
        std::perror(options.program[0]);
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

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    Display display;

    const auto start = Clock::now();
    const pid_t pid = Start(options);
    const auto deadline = start + kTimeout;

    std::optional<Clock::time_point> mapped;
    double cpuMs = 0;
    std::optional<Clock::time_point> exposed;
    xcb_window_t window = 0;
    // After the map, a little longer for an expose that may follow.
    std::optional<Clock::time_point> stopWaiting;
    while (!stopWaiting || Clock::now() < *stopWaiting) {
        if (Clock::now() > deadline) {
            Stop(pid);
            Fail("no window titled \"" + options.title + "\" appeared");
        }
        if (int status = 0; ::waitpid(pid, &status, WNOHANG) == pid) {
            Fail("the program ended before showing its window");
        }
        pollfd fd{display.Fd(), POLLIN, 0};
        ::poll(&fd, 1, 5);
        while (xcb_generic_event_t* event = display.Next()) {
            const auto now = Clock::now();
            switch (event->response_type & 0x7F) {
                case XCB_CREATE_NOTIFY:
                    display.WatchExpose(
                        reinterpret_cast<xcb_create_notify_event_t*>(event)->window);
                    break;
                case XCB_MAP_NOTIFY: {
                    const auto w = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                    if (!mapped && display.Title(w) == options.title) {
                        mapped = now;
                        cpuMs = CpuMs(pid);
                        window = w;
                        stopWaiting = now + std::chrono::milliseconds(50);
                    }
                    break;
                }
                case XCB_EXPOSE: {
                    const auto w = reinterpret_cast<xcb_expose_event_t*>(event)->window;
                    if (!exposed && (w == window || display.Title(w) == options.title)) {
                        exposed = now;
                    }
                    break;
                }
                default:
                    break;
            }
            std::free(event);
        }
        if (mapped && exposed) {
            break;
        }
    }

    std::this_thread::sleep_for(kSettle);
    const auto [hwm, rss] = Memory(pid);
    const Clock::time_point shown = exposed ? std::min(*mapped, *exposed) : *mapped;
    std::printf(
        "{\"shown_ms\": %.3f, \"mapped_ms\": %.3f, \"exposed_ms\": %s, \"cpu_ms\": %.3f, "
        "\"hwm_kib\": %ld, \"rss_kib\": %ld, \"pid\": %d, \"window\": %u}\n",
        Ms(shown - start), Ms(*mapped - start),
        exposed ? std::to_string(Ms(*exposed - start)).c_str() : "null", cpuMs, hwm, rss,
        static_cast<int>(pid), static_cast<unsigned>(window));
    std::fflush(stdout);

    if (options.hold) {
        char buffer[256];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
    }
    Stop(pid);
    return 0;
}
