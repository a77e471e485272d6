#pragma once
// The Windows headers as this program uses them. With UNICODE they map the names of the seam
// functions in platform/ (mciSendString, GetShortPathName, ...) to their wide variants by macro,
// which would rename the program's own functions; those macros go here.
#include <windows.h>

#include <mmsystem.h>

#undef mciSendString
#undef mciGetErrorString
#undef GetShortPathName
