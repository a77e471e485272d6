#pragma once
// What the fuzz targets share: a check that stops the run where a property breaks (so that
// libFuzzer keeps the input and the replay fails), and a scratch directory of the process's own.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace fuzz {

// A fresh directory under the system's temporary directory, removed when the process exits
// normally. Created once per process.
const std::filesystem::path& ScratchDir();

}  // namespace fuzz
