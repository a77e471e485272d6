#include "platform/linux/PulseContext.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace mci {
namespace {

// Whether this thread holds the loop's lock through a Lock: the lock is recursive, but a wait
// lets go of one level only, which would leave the loop thread locked out.
thread_local bool tLocked = false;

}  // namespace

PulseContext* PulseContext::Instance() {
    static PulseContext* const context = []() -> PulseContext* {
        const PulseLibrary* pa = LoadPulse();
        pa_threaded_mainloop* loop = pa != nullptr ? pa->pa_threaded_mainloop_new() : nullptr;
        if (loop == nullptr || pa->pa_threaded_mainloop_start(loop) < 0) {
            return nullptr;
        }
        return new PulseContext(*pa, loop);
    }();
    return context;
}

PulseContext::Lock::Lock(const PulseContext& context)
    : context_(context),
      taken_(!tLocked && context.pa_.pa_threaded_mainloop_in_thread(context.loop_) == 0) {
    if (taken_) {
        context_.pa_.pa_threaded_mainloop_lock(context_.loop_);
        tLocked = true;
    }
}

PulseContext::Lock::~Lock() {
    if (taken_) {
        tLocked = false;
        context_.pa_.pa_threaded_mainloop_unlock(context_.loop_);
    }
}

bool PulseContext::BeginConnect() {
    const Lock lock(*this);
    if (context_ != nullptr && PA_CONTEXT_IS_GOOD(pa_.pa_context_get_state(context_))) {
        return true;
    }
    if (context_ != nullptr) {  // the server went away: a new connection
        pa_.pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_.pa_context_disconnect(context_);
        pa_.pa_context_unref(context_);
    }
    // A mixer shows the program, and the server remembers its device and volume, by these.
    pa_proplist* properties = pa_.pa_proplist_new();
    pa_.pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, OSTRIVANE_DESKTOP_ID);
    pa_.pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, OSTRIVANE_DESKTOP_ID);
    context_ = pa_.pa_context_new_with_proplist(pa_.pa_threaded_mainloop_get_api(loop_),
                                                "Ostrivane", properties);
    pa_.pa_proplist_free(properties);
    pa_.pa_context_set_state_callback(context_, &StateChanged, this);
    return pa_.pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

bool PulseContext::Connect() {
    const Lock lock(*this);
    if (!BeginConnect()) {
        return false;
    }
    pa_context_state_t state;
    while (PA_CONTEXT_IS_GOOD(state = pa_.pa_context_get_state(context_)) &&
           state != PA_CONTEXT_READY) {
        Wait();
    }
    return state == PA_CONTEXT_READY;
}

bool PulseContext::Connected() const {
    const Lock lock(*this);
    return context_ != nullptr && pa_.pa_context_get_state(context_) == PA_CONTEXT_READY;
}

void PulseContext::OnChange(std::function<void()> changed) {
    const Lock lock(*this);
    changed_ = std::move(changed);
}

void PulseContext::Wait() const {
    pa_.pa_threaded_mainloop_wait(loop_);
}

void PulseContext::Signal() const {
    pa_.pa_threaded_mainloop_signal(loop_, 0);
}

void PulseContext::StateChanged(pa_context* context, void* self) {
    auto& c = *static_cast<PulseContext*>(self);
    const pa_context_state_t state = c.pa_.pa_context_get_state(context);
    if ((state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state)) && c.changed_) {
        c.changed_();
    }
    c.Signal();
}

PulseTimer::PulseTimer(PulseContext& context, std::function<void()> fired)
    : context_(context), fired_(std::move(fired)) {}

PulseTimer::~PulseTimer() {
    Cancel();
}

void PulseTimer::Arm(std::chrono::steady_clock::time_point at) {
    const PulseContext::Lock lock(context_);
    const auto& pa = context_.pa();
    const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(
        at - std::chrono::steady_clock::now());
    const pa_usec_t when =
        pa.pa_rtclock_now() + static_cast<pa_usec_t>(std::max<std::int64_t>(wait.count(), 0));
    if (event_ != nullptr) {
        pa.pa_context_rttime_restart(context_.get(), event_, when);
    } else if (context_.get() != nullptr) {
        event_ = pa.pa_context_rttime_new(context_.get(), when, &Fire, this);
    }
}

void PulseTimer::Cancel() {
    const PulseContext::Lock lock(context_);
    if (event_ != nullptr) {
        context_.api()->time_free(std::exchange(event_, nullptr));
    }
}

void PulseTimer::Fire(pa_mainloop_api* api, pa_time_event* event, const timeval* /*when*/,
                      void* self) {
    auto& timer = *static_cast<PulseTimer*>(self);
    api->time_free(event);
    timer.event_ = nullptr;
    timer.fired_();
}

}  // namespace mci
