#pragma once
#include <gtest/gtest.h>

#include <string>

namespace support {

// A PulseAudio from tools/private-session whose null sink plays 16-bit mono at 22.05 kHz in real
// time, its monitor recorded to $OSTR_SESSION/monitor.raw; its environment is the process's.
// Started on first use (or anew), shared by the binary's tests, stopped at its end. "" or why it
// did not start.
struct SoundServer : ::testing::Environment {
    static std::string Start(bool anew = false);
    void TearDown() override;
};

}  // namespace support
