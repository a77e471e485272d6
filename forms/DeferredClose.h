#pragma once
// When a closed window may go. A click handler may still be running beneath the event pump (its
// clip playing) when its window is closed: the window then only hides, and goes once the last of
// its handlers has returned, so that no handler is left running on a destroyed window.
namespace forms {

class DeferredClose {
  public:
    // Around every click handler of the window. HandlerReturned is true when the window was closed
    // meanwhile and no other handler of it still runs: it goes now.
    void HandlerStarted() { ++running_; }
    [[nodiscard]] bool HandlerReturned() {
        --running_;
        return closed_ && running_ == 0;
    }

    // The window is asked to close: true when it may go at once, false when it must hide for now.
    [[nodiscard]] bool Close() {
        closed_ = true;
        return running_ == 0;
    }

  private:
    int running_ = 0;  // click handlers of the window now on the stack
    bool closed_ = false;
};

}  // namespace forms
