#pragma once
// The program's connection to a sound server that speaks the PulseAudio protocol (PulseAudio, or
// PipeWire's pipewire-pulse), served by libpulse's threaded main loop on a thread of its own, and
// timers on that thread. Every method takes the loop's lock itself.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>

#include "platform/linux/PulseLibrary.h"

namespace mci {

class PulseContext {
  public:
    // Loads libpulse and starts the loop; null when either fails. Never freed: a stream may still
    // be closing on the loop thread while the program ends.
    static PulseContext* Instance();

    // The loop's lock, for the scope of one call: taken on any thread but the loop's own (whose
    // callbacks run holding it), and only once per thread, so that Wait lets it go.
    class Lock {
      public:
        explicit Lock(const PulseContext& context);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        const PulseContext& context_;
        const bool taken_;
    };

    const PulseLibrary& pa() const { return pa_; }
    pa_context* get() const { return context_; }
    pa_mainloop_api* api() const { return pa_.pa_threaded_mainloop_get_api(loop_); }

    // Starts connecting unless a connection is made or under way; false when no server can be
    // asked. A server that is not running is not started for us: SDL plays then.
    bool BeginConnect();
    // Waits for the connection; false when no server answers.
    bool Connect();
    bool Connected() const;
    // Called on the loop thread whenever the connection is made or lost.
    void OnChange(std::function<void()> changed);

    // Waits for a Signal, letting the lock go meanwhile. Never on the loop thread.
    void Wait() const;
    void Signal() const;

  private:
    PulseContext(const PulseLibrary& pa, pa_threaded_mainloop* loop) : pa_(pa), loop_(loop) {}
    static void StateChanged(pa_context* context, void* self);

    const PulseLibrary& pa_;
    pa_threaded_mainloop* const loop_;
    pa_context* context_ = nullptr;
    std::function<void()> changed_;
};

// A timer on the loop thread, which calls `fired` once at the time it was armed for. Nothing
// wakes while it is not armed.
class PulseTimer {
  public:
    PulseTimer(PulseContext& context, std::function<void()> fired);
    ~PulseTimer();
    PulseTimer(const PulseTimer&) = delete;
    PulseTimer& operator=(const PulseTimer&) = delete;

    void Arm(std::chrono::steady_clock::time_point at);
    void Cancel();

  private:
    static void Fire(pa_mainloop_api* api, pa_time_event* event, const timeval* /*when*/,
                     void* self);

    PulseContext& context_;
    const std::function<void()> fired_;
    pa_time_event* event_ = nullptr;
};

}  // namespace mci
