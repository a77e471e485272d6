#include "platform/linux/WarmPolicy.h"

#include <utility>

namespace mci {

WarmPolicy::WarmPolicy(Clock clock, std::chrono::microseconds hold)
    : clock_(std::move(clock)), hold_(hold) {}

void WarmPolicy::Hint(std::chrono::microseconds hold) {
    warm_ = true;
    warmUntil_ = clock_() + hold;
}

void WarmPolicy::Connected(bool connected) {
    connected_ = connected;
}

void WarmPolicy::Lend() {
    ++lent_;
}

void WarmPolicy::Return() {
    --lent_;
    Hint(hold_);
}

void WarmPolicy::Cool() {
    if (clock_() >= warmUntil_) {
        warm_ = false;
    }
}

WarmPolicy::State WarmPolicy::state() const {
    if (lent_ > 0) {
        return State::Lent;
    }
    if (!warm_) {
        return State::Cold;
    }
    return connected_ ? State::Ready : State::Connecting;
}

std::optional<std::chrono::steady_clock::time_point> WarmPolicy::CoolAt() const {
    if (!warm_) {
        return std::nullopt;
    }
    return warmUntil_;
}

}  // namespace mci
