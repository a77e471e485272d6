// Stands in for libFuzzer's main where the targets are built without it: feeds every file in the
// folders named on the command line to the target once, in name order. A failed check aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tests/support/Support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    support::Hermetic();
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {  // git keeps no empty folder
            for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
                inputs.push_back(std::filesystem::absolute(entry.path()));
            }
        }
    }
    std::sort(inputs.begin(), inputs.end());
    LLVMFuzzerInitialize(&argc, &argv);  // which may change the working directory
    for (const auto& input : inputs) {
        std::printf("%s\n", input.filename().c_str());
        std::fflush(stdout);  // so that a crash shows which input it was
        const auto bytes = support::ReadAll(input);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
