// The other players clicked beside the program, through the same X and Qt click path: a bare
// window that is one button.
//   ostrivane_click_window paplay CLIP   each click starts paplay on the clip
//   ostrivane_click_window floor CLIP    a libpulse client connected from the start, its stream
//                                        open and uncorked with a small latency, that writes the
//                                        whole clip into it on each click
// It prints "ready" once it can be clicked, then, for the floor, "wrote NS" as each click is
// handled (CLOCK_MONOTONIC): the recorder cannot hear the clip before then.
#include <pulse/simple.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>

#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/latency/Onset.h"

extern char** environ;

namespace {

struct Wave {
    std::uint32_t rate = 0;
    std::vector<char> pcm;  // 16-bit mono
};

// The clip as 16-bit mono samples, read by libsndfile as the program reads its clips.
bool Load(const char* path, Wave& wave) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr || info.channels != 1) {
        sf_close(file);
        return false;
    }
    wave.rate = std::uint32_t(info.samplerate);
    wave.pcm.resize(std::size_t(info.frames) * sizeof(short));
    sf_readf_short(file, reinterpret_cast<short*>(wave.pcm.data()), info.frames);
    sf_close(file);
    return !wave.pcm.empty();
}

// The floor's connection: made, with its stream open and playing (silence: it has nothing yet),
// before the window can be clicked. 20 ms of buffer refilled every 5 ms: a latency of about 5 ms.
pa_simple* OpenFloor(std::uint32_t rate) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, rate, 1};
    const auto ms = [&](std::uint32_t n) { return n * rate / 1000 * std::uint32_t(sizeof(short)); };
    const pa_buffer_attr buffer{std::uint32_t(-1), ms(20), std::uint32_t(-1), ms(5),
                                std::uint32_t(-1)};
    return pa_simple_new(nullptr, "Ostrivane latency floor", PA_STREAM_PLAYBACK, nullptr, "floor",
                         &spec, nullptr, &buffer, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const std::string_view kind = argc == 3 ? argv[1] : "";
    if (kind != "paplay" && kind != "floor") {
        std::fprintf(stderr, "usage: %s paplay|floor CLIP\n", argv[0]);
        return 2;
    }
    const bool floor = kind == "floor";
    const char* clip = argv[2];
    QPushButton button(QString::fromLatin1(kind));
    button.setWindowTitle(QStringLiteral("Latency ") + button.text());
    button.setFixedSize(200, 100);

    Wave wave;
    std::unique_ptr<pa_simple, decltype(&pa_simple_free)> stream(nullptr, pa_simple_free);
    if (floor) {
        if (!Load(clip, wave)) {
            std::fprintf(stderr, "click window: %s is not a mono clip\n", clip);
            return 1;
        }
        stream.reset(OpenFloor(wave.rate));
        if (stream == nullptr) {
            std::fprintf(stderr, "click window: no stream on the server\n");
            return 1;
        }
        // The whole clip, waiting for room as the server plays it; the next click comes after
        // its end.
        QObject::connect(&button, &QPushButton::clicked, [&] {
            latency::Report("wrote", latency::MonotonicNs());
            pa_simple_write(stream.get(), wave.pcm.data(), wave.pcm.size(), nullptr);
        });
    } else {
        signal(SIGCHLD, SIG_IGN);  // nobody waits for paplay
        QObject::connect(&button, &QPushButton::clicked, [&] {
            char name[] = "paplay";
            char* args[] = {name, const_cast<char*>(clip), nullptr};
            pid_t child = 0;
            if (posix_spawnp(&child, "paplay", nullptr, nullptr, args, environ) != 0) {
                std::fprintf(stderr, "click window: cannot start paplay\n");
            }
        });
    }
    button.show();
    latency::Report("ready", latency::MonotonicNs());
    return QApplication::exec();
}
