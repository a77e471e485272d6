#include "tests/hardening/Support.h"

#include <malloc.h>

#include <functional>
#include <mutex>
#include <system_error>

#include "platform/ProgramDir.h"
#include "platform/linux/MciService.h"
#include "platform/qt/EventPump.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace hardening {
namespace {

struct ProgramDir {
    std::mutex mutex;
    std::string path;
};

ProgramDir& TheProgramDir() {
    static ProgramDir dir;
    return dir;
}

}  // namespace

void SetProgramDir(const std::filesystem::path& dir) {
    std::lock_guard lock(TheProgramDir().mutex);
    TheProgramDir().path = dir.string();
}

ProcessFigures Measure() {
    ProcessFigures figures{};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    figures.heapInUse = __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    figures.heapInUse = info.uordblks + info.hblkhd;
#endif
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error)) {
        ++figures.openFds;
    }
    return figures;
}

EndCounter::EndCounter() {
    mci::Service::Instance().SetEndNotifier([this, wake = platform::qt::MakeWaker()] {
        ++ends_;
        wake();
    });
}

EndCounter::~EndCounter() {
    mci::Service::Instance().SetEndNotifier(nullptr);
}

}  // namespace hardening

namespace platform {

std::string AppPath() {
    std::lock_guard lock(hardening::TheProgramDir().mutex);
    return hardening::TheProgramDir().path;
}

}  // namespace platform
