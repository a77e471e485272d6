#pragma once
#include <gtest/gtest.h>

#include <string>

namespace support {

// A sound server from tools/private-session, started with the helper's options (by default a
// PulseAudio whose null sink plays 16-bit mono at 22.05 kHz in real time, its monitor recorded to
// $OSTR_MONITOR); its environment is the process's. Started on first use (or anew), shared by the
// binary's tests, stopped at its end. "" or why it did not start.
struct SoundServer : ::testing::Environment {
    static std::string Start(bool anew = false, const std::string& options =
                                                    "--sound pulseaudio --record --sink-format "
                                                    "'rate=22050 channels=1 format=s16le'");
    void TearDown() override;
};

}  // namespace support
