#pragma once
// Test clips made on the spot: 16-bit PCM written directly, other encodings through sox.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testwav {

// A deterministic, non-periodic test signal, so that a match in a capture is not by chance.
std::vector<std::int16_t> Signal(std::size_t frames, int channels, unsigned seed = 1);

void WritePcm16(const std::filesystem::path& path, int rate, int channels,
                const std::vector<std::int16_t>& samples);

// Converts a 16-bit clip with sox, e.g. {"-e", "mu-law"}; false when sox is missing or fails.
bool SoxConvert(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::vector<std::string>& options);

// The raw bytes of a file.
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace testwav
