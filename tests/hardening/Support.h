#pragma once
// What the hardening tests share: a program directory of the test's choosing, figures about the
// process itself, and a count of clips that played to their end.
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>

namespace hardening {

// Where platform::AppPath() points in these tests (it replaces the real program directory, so
// each test process can lay out clip folders of its own).
void SetProgramDir(const std::filesystem::path& dir);

struct ProcessFigures {
    std::size_t heapInUse;  // bytes handed out by the allocator and not yet freed
    std::size_t openFds;
};
ProcessFigures Measure();

// Counts the clips that played to their last sample, from the audio thread, and wakes the event
// pump as the program's own notifier does. Install it after the QApplication exists.
class EndCounter {
  public:
    EndCounter();
    ~EndCounter();
    int Count() const { return ends_.load(); }

  private:
    std::atomic<int> ends_{0};
};

}  // namespace hardening
