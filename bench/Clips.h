#pragma once
// The clips the audio benchmarks play, written on the spot.
#include <filesystem>
#include <string>

namespace bench {

struct ClipFormat {
    std::string label;  // part of the benchmark names, e.g. "1s_22k_mono"
    std::string file;   // holds a blank, as the program's own clips do
    int rate;
    int channels;
    double seconds;
};

// Writes a 16-bit PCM WAVE file in which no sample is zero, so that any buffer holding part of
// the clip can be told from silence.
void WriteClip(const std::filesystem::path& path, const ClipFormat& format);

}  // namespace bench
