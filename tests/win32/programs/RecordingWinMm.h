#pragma once
// What the program said to winmm in a test build: the recording layer in place of
// platform/win32/WinMm.cpp passes every command on to the real winmm and notes it here.
#include "platform/win32/Windows.h"

#include <chrono>
#include <string>
#include <vector>

namespace wine_test {

struct MciExchange {
    std::wstring command;
    UINT replySize;
    HWND callback;
    DWORD result;
    std::wstring reply;
    int openDevices;  // waveaudio devices open in this process right after the command
    std::chrono::steady_clock::time_point sent;
    std::chrono::steady_clock::time_point answered;
};

std::vector<MciExchange>& MciLog();

}  // namespace wine_test
