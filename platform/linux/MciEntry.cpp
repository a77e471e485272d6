// The MCI entry point on its own, so that a program may link another in its place.
#include "platform/linux/MciService.h"

namespace platform {

MciError mciSendString(const char* command, char* reply, std::uint32_t replySize,
                       std::uintptr_t /*callbackWindow*/) {
    return mci::Service::Instance().Send(command, reply, replySize);
}

}  // namespace platform
