#pragma once
// When a stream is kept ready on the sound server for the next click, and when it is let go. A
// ready stream makes a click heard at once, but while it is there PipeWire runs its graph at a
// small quantum and wakes more often for every application: so one is kept only while a click is
// likely. The policy knows no server: the output tells it what happened and does what it says.
#include <chrono>
#include <optional>

#include "platform/linux/Clock.h"

namespace mci {

// How long a click stays likely after the pointer reaches a window, a window is activated, a key
// is pressed or a clip ends.
inline constexpr std::chrono::seconds kClickLikely{20};

class WarmPolicy {
  public:
    enum class State {
        Cold,        // no click likely: no stream of ours on the server, no timer
        Connecting,  // a click likely, and the connection not made yet
        Ready,       // a click likely: one stream is kept ready for it
        Lent,        // a clip plays through a stream: no second one is made meanwhile
    };

    // `hold`: how long a clip's end keeps a click likely.
    WarmPolicy(Clock clock, std::chrono::microseconds hold);

    // A click is likely for `hold` from now, whatever an earlier hint said.
    void Hint(std::chrono::microseconds hold);
    void Connected(bool connected);
    // A clip takes a stream; it gives it back after it, when a click is likely for the hold.
    void Lend();
    void Return();
    // Due at CoolAt: cold unless a hint has moved that time since.
    void Cool();

    State state() const;
    bool MakesReadyStream() const { return state() == State::Ready; }
    // False once cold: a ready stream is let go, even while a clip plays through another.
    bool KeepsReadyStream() const { return warm_; }
    // When Cool is due; nothing while cold.
    std::optional<std::chrono::steady_clock::time_point> CoolAt() const;

  private:
    const Clock clock_;
    const std::chrono::microseconds hold_;
    bool warm_ = false;
    std::chrono::steady_clock::time_point warmUntil_{};
    bool connected_ = false;
    int lent_ = 0;
};

}  // namespace mci
