// The Windows program: the main panel on the real Win32 windows, clips through winmm.
#include "forms/Form1.h"
#include "platform/win32/Runtime.h"
#include "platform/win32/Windows.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    // The program takes no command line.
    platform::win32::Runtime runtime(instance);
    return runtime.Run(forms::Form1);
}
