// Click to sound, end detection and CPU while waiting, each beside its floor: the same clip played
// by SDL alone. The program's output is its own choice (a sound server's stream, or SDL) unless
// OSTRIVANE_AUDIO_OUTPUT says; SDL's driver is SDL_AUDIODRIVER's, "dummy" unless set. tools/bench
// runs this once per sound system.
//
// The clip player is measured as it is: the platform::mciSendString linked here sends its commands,
// while a benchmark runs, to a service built around a TimedOutput, which notes when the clip's
// samples pass to the device.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/BarePlayer.h"
#include "bench/Timing.h"
#include "platform/Mci.h"
#include "platform/linux/MciService.h"
#include "platform/linux/PulseOutput.h"
#include "platform/linux/SdlOutput.h"
#include "platform/qt/EventPump.h"
#include "player/Module1.h"
#include "tests/support/Support.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

// Lets the previous device finish closing (SDL drains it on a thread of its own) before the next
// click, so that no measurement pays for the one before.
constexpr auto kSettle = 100ms;
constexpr auto kMaxStart = 5s;  // a device that has not started by then has failed
constexpr const char* kStopClip = "stop sound1";  // PlayWaveFile's alias

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A service like the program's, whose outputs report to times; PlayWaveFile's commands go to it.
// There is one for all benchmarks, as the program has one for its lifetime.
class TimedService {
  public:
    TimedService()
        : times_(std::make_shared<bench::PlayTimes>()), service_([times = times_] {
              return std::make_unique<bench::TimedOutput>(mci::MakeOutput(), times);
          }) {
        service_.SetEndNotifier(platform::qt::MakeWaker());
        Current() = this;
    }
    ~TimedService() {
        Current() = nullptr;
        service_.SetEndNotifier(nullptr);
    }
    TimedService(const TimedService&) = delete;
    TimedService& operator=(const TimedService&) = delete;

    static TimedService*& Current() {
        static TimedService* timed = nullptr;  // the link seam has no other way in
        return timed;
    }

    // With stopOnceHeard, a clip whose first sample has been handed over is stopped at
    // PlayWaveFile's next status query, so that a long clip costs no longer.
    platform::MciError Send(const char* command, char* reply, std::uint32_t replySize) {
        const bool status = command != nullptr && std::string_view(command).starts_with("status");
        if (stopOnceHeard && status && times_->FirstSample()) {
            service_.Send(kStopClip, nullptr, 0);
        }
        return service_.Send(command, reply, replySize);
    }
    bench::PlayTimes& Times() { return *times_; }

    bool stopOnceHeard = false;

  private:
    const std::shared_ptr<bench::PlayTimes> times_;
    mci::Service service_;
};

}  // namespace

// Linked in place of the program's entry point, as the tests link theirs.
platform::MciError platform::mciSendString(const char* command, char* reply,
                                           std::uint32_t replySize, std::uintptr_t) {
    return TimedService::Current()->Send(command, reply, replySize);
}

namespace {

// A 16-bit mono clip at 22.05 kHz, of the tests' signal; label is part of the benchmark names.
struct Clip {
    std::string label;
    double seconds;
    std::string path;

    static constexpr int kRate = 22050;
};

// From the PlayWaveFile call to the first sample handed to the device.
void OursClickToSound(benchmark::State& state, const Clip& clip, TimedService* timed) {
    bench::PlayTimes& times = timed->Times();
    timed->stopOnceHeard = true;
    for (auto _ : state) {
        times.Reset();
        const auto start = Clock::now();
        Module1::PlayWaveFile(clip.path);
        const auto first = times.FirstSample();
        if (!first) {
            state.SkipWithError("the clip never reached the device");
            break;
        }
        state.SetIterationTime(Seconds(*first - start));
        std::this_thread::sleep_for(kSettle);
    }
    timed->stopOnceHeard = false;
}

void FloorClickToSound(benchmark::State& state, const Clip& clip, TimedService*) {
    const int frames = mci::BufferFrames(Clip::kRate);
    for (auto _ : state) {
        std::optional<Clock::time_point> first;
        Clock::time_point start;
        {
            bench::BarePlayer::AwaitFreeDevice(kMaxStart);
            bench::BarePlayer player;
            start = Clock::now();
            if (!player.Start(clip.path, frames)) {
                state.SkipWithError(player.Error().c_str());
                break;
            }
            first = player.Times().FirstSample(kMaxStart);
        }  // closed here, outside the measured span
        if (!first) {
            state.SkipWithError("the clip never reached the device");
            break;
        }
        state.SetIterationTime(Seconds(*first - start));
        std::this_thread::sleep_for(kSettle);
    }
}

// Sums over the iterations, reported as averages.
struct PlayFigures {
    double endMs = 0;
    double cpuPercent = 0;

    // One play from start to end; false (the run marked failed) when it did not play through.
    bool Add(benchmark::State& state, Clock::time_point start, Clock::time_point end, double cpu,
             std::optional<Clock::time_point> first, std::optional<Clock::time_point> consumed) {
        if (!first || !consumed) {
            state.SkipWithError("the clip did not play to its end");
            return false;
        }
        state.SetIterationTime(Seconds(end - start));
        endMs += 1e3 * Seconds(end - *consumed);
        cpuPercent += 100 * cpu / Seconds(end - start);
        std::this_thread::sleep_for(kSettle);
        return true;
    }

    void Report(benchmark::State& state) const {
        const auto average = benchmark::Counter::kAvgIterations;
        state.counters["end_ms"] = benchmark::Counter(endMs, average);
        state.counters["cpu_pct"] = benchmark::Counter(cpuPercent, average);
    }
};

// The whole clip through PlayWaveFile: how long after the device has consumed the last sample it
// returns, and the CPU the process spends meanwhile (all threads, SDL's included).
void OursPlayThrough(benchmark::State& state, const Clip& clip, TimedService* timed) {
    bench::PlayTimes& times = timed->Times();
    PlayFigures figures;
    for (auto _ : state) {
        times.Reset();
        const double cpuBefore = bench::CpuSeconds();
        const auto start = Clock::now();
        Module1::PlayWaveFile(clip.path);
        const auto end = Clock::now();
        const double cpu = bench::CpuSeconds() - cpuBefore;
        if (!figures.Add(state, start, end, cpu, times.FirstSample(), times.Consumed())) {
            break;
        }
    }
    figures.Report(state);
}

// The same with SDL alone, the caller sleeping on a condition variable until the end.
void FloorPlayThrough(benchmark::State& state, const Clip& clip, TimedService*) {
    const int frames = mci::BufferFrames(Clip::kRate);
    const auto maxLength = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::duration<double>(clip.seconds)) +
                           kMaxStart;
    PlayFigures figures;
    for (auto _ : state) {
        bench::BarePlayer::AwaitFreeDevice(kMaxStart);
        bench::BarePlayer player;
        const double cpuBefore = bench::CpuSeconds();
        const auto start = Clock::now();
        if (!player.Start(clip.path, frames)) {
            state.SkipWithError(player.Error().c_str());
            break;
        }
        const auto consumed = player.Times().Consumed(maxLength);
        const auto end = Clock::now();
        const double cpu = bench::CpuSeconds() - cpuBefore;
        if (!figures.Add(state, start, end, cpu, player.Times().FirstSample(), consumed)) {
            break;
        }
    }
    figures.Report(state);
}

constexpr int kClickRepetitions = 25;

// With smoke, every benchmark once.
void Register(bool smoke, const std::vector<Clip>& clips, TimedService* timed) {
    using Timing = void (*)(benchmark::State&, const Clip&, TimedService*);
    struct Row {
        const char* name;
        Timing timing;
        int repetitions;
    };
    for (const Clip& clip : clips) {
        // A long clip costs its length for every repetition of a play-through.
        const int playRepetitions = clip.seconds > 5 ? 5 : 10;
        const Row timings[] = {
            {"click_to_sound/ours/", OursClickToSound, kClickRepetitions},
            {"click_to_sound/floor/", FloorClickToSound, kClickRepetitions},
            {"play_through/ours/", OursPlayThrough, playRepetitions},
            {"play_through/floor/", FloorPlayThrough, playRepetitions},
        };
        for (const Row& row : timings) {
            auto* b = benchmark::RegisterBenchmark((row.name + clip.label).c_str(), row.timing,
                                                   clip, timed);
            b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
            b->Repetitions(smoke ? 1 : row.repetitions);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --smoke: every benchmark once, on short clips (what the tests run).
    std::vector<char*> args(argv, argv + argc);
    const bool smoke =
        std::erase_if(args, [](char* arg) { return arg == std::string_view("--smoke"); }) > 0;
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication application(qtArgc, qtArgv);
    // Audio is started once, up front: the program pays that on its first click only, and the
    // floor would not pay it at all.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "SDL audio: %s\n", SDL_GetError());
        return 1;
    }

    const double shortSeconds = smoke ? 0.3 : 1.0;
    const double longSeconds = smoke ? 0.3 : 10.0;
    const support::TempDir dir;
    // Blanks in their names, as the program's own clips have.
    const std::vector<Clip> clips{
        {"1s_22k_mono", shortSeconds, (dir.path / "one second.wav").string()},
        {"10s_22k_mono", longSeconds, (dir.path / "ten seconds.wav").string()},
    };
    for (const Clip& clip : clips) {
        support::WriteClip(clip.path, std::size_t(Clip::kRate * clip.seconds));
    }
    TimedService timed;
    Register(smoke, clips, &timed);

    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }
    benchmark::AddCustomContext("audio_driver", SDL_GetCurrentAudioDriver());
    const char* output = std::getenv("OSTRIVANE_AUDIO_OUTPUT");
    benchmark::AddCustomContext("output", output != nullptr ? output : "the program's choice");
    // A run that failed is marked in the JSON report, which tools/bench reads.
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
