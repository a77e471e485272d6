// The other players clicked beside the program, through the same X and Qt click path: a bare
// window that is one button.
//   ostrivane_click_window paplay CLIP   each click starts paplay on the clip
//   ostrivane_click_window floor CLIP    a libpulse client connected from the start, its stream
//                                        open and uncorked with a small latency, that writes the
//                                        whole clip into it on each click
// It prints "ready" once it can be clicked, then "wrote NS" or "started NS" as each click is
// handled (CLOCK_MONOTONIC), which tells the bench how late the recorder can see the clip at best.
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>

#include <QApplication>
#include <QPushButton>
#include <cstdio>
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
// before the window can be clicked.
class Floor {
  public:
    bool Open(std::uint32_t rate) {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) {
            return false;
        }
        pa_threaded_mainloop_lock(loop_);
        const bool ready = Connect(rate);
        pa_threaded_mainloop_unlock(loop_);
        return ready;
    }

    // The whole clip at once: the server takes more than it asked for, so the clip plays
    // through even when this process is slow to be scheduled.
    void Write(const std::vector<char>& pcm) {
        pa_threaded_mainloop_lock(loop_);
        pa_stream_write(stream_, pcm.data(), pcm.size(), nullptr, 0, PA_SEEK_RELATIVE);
        pa_threaded_mainloop_unlock(loop_);
    }

  private:
    static void Wake(void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

    bool Connect(std::uint32_t rate) {
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Ostrivane latency floor");
        pa_context_set_state_callback(
            context_, [](pa_context*, void* loop) { Wake(loop); }, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return false;
        }
        pa_context_state_t state;
        while (PA_CONTEXT_IS_GOOD(state = pa_context_get_state(context_)) &&
               state != PA_CONTEXT_READY) {
            pa_threaded_mainloop_wait(loop_);
        }
        const pa_sample_spec spec{PA_SAMPLE_S16LE, rate, 1};
        if (state != PA_CONTEXT_READY ||
            (stream_ = pa_stream_new(context_, "floor", &spec, nullptr)) == nullptr) {
            return false;
        }
        pa_stream_set_state_callback(
            stream_, [](pa_stream*, void* loop) { Wake(loop); }, loop_);
        const auto ms = [&](std::uint32_t n) { return n * rate / 1000 * 2; };
        // 20 ms of buffer refilled every 5 ms: a latency of about 5 ms.
        const pa_buffer_attr buffer{std::uint32_t(-1), ms(20), std::uint32_t(-1), ms(5),
                                    std::uint32_t(-1)};
        if (pa_stream_connect_playback(stream_, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0) {
            return false;
        }
        pa_stream_state_t streamState;
        while ((streamState = pa_stream_get_state(stream_)) == PA_STREAM_CREATING) {
            pa_threaded_mainloop_wait(loop_);
        }
        return streamState == PA_STREAM_READY;
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
};

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
    Floor floor_;
    if (floor) {
        if (!Load(clip, wave)) {
            std::fprintf(stderr, "click window: %s is not a mono clip\n", clip);
            return 1;
        }
        if (!floor_.Open(wave.rate)) {
            std::fprintf(stderr, "click window: no stream on the server\n");
            return 1;
        }
        QObject::connect(&button, &QPushButton::clicked, [&] {
            latency::Report("wrote", latency::MonotonicNs());
            floor_.Write(wave.pcm);
        });
    } else {
        signal(SIGCHLD, SIG_IGN);  // nobody waits for paplay
        QObject::connect(&button, &QPushButton::clicked, [&] {
            char name[] = "paplay";
            char* args[] = {name, const_cast<char*>(clip), nullptr};
            pid_t child = 0;
            latency::Report("started", latency::MonotonicNs());
            if (posix_spawnp(&child, "paplay", nullptr, nullptr, args, environ) != 0) {
                std::fprintf(stderr, "click window: cannot start paplay\n");
            }
        });
    }
    button.show();
    latency::Report("ready", latency::MonotonicNs());
    return QApplication::exec();
}
