#include "tests/support/Wav.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testwav {
namespace {

void Put32(std::ofstream& out, std::uint32_t v) {
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(bytes, 4);
}
void Put16(std::ofstream& out, std::uint16_t v) {
    const char bytes[2] = {char(v), char(v >> 8)};
    out.write(bytes, 2);
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::vector<std::int16_t> Signal(std::size_t frames, int channels, unsigned seed) {
    std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(channels));
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const double tone = std::sin(static_cast<double>(i) * 0.07) * 12000.0;
        samples[i] = static_cast<std::int16_t>(tone + static_cast<int>(state >> 22) - 512);
    }
    return samples;
}

void WritePcm16(const std::filesystem::path& path, int rate, int channels,
                const std::vector<std::int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(channels));
    Put32(out, static_cast<std::uint32_t>(rate));
    Put32(out, static_cast<std::uint32_t>(rate * channels * 2));
    Put16(out, static_cast<std::uint16_t>(channels * 2));
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

bool SoxConvert(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::vector<std::string>& options) {
    std::string command = "sox -q -D";
    const auto word = [&](const std::string& text) {
        command += ' ';
        command += Quote(text);
    };
    word(from.string());
    for (const auto& option : options) {
        word(option);
    }
    word(to.string());
    command += " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrivane-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testwav
