#pragma once
// One playback stream on the sound server, and the clip that plays through it, if any. Between
// clips it stays connected, uncorked and empty, so that the next clip of its format starts at once:
// on PipeWire a new stream is a graph node to be made, linked and negotiated before its first
// sample. Every method takes the loop's lock itself.
#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

#include "platform/linux/AudioOutput.h"
#include "platform/linux/PulseContext.h"

namespace mci {

class PulseStream {
  public:
    // A new stream of this format, connecting, named for a mixer; null when the server refuses it.
    static std::unique_ptr<PulseStream> Create(PulseContext& context, const Format& format,
                                               const std::string& title);
    // Disconnects it; the clip's functions are not called any more.
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    const Format& format() const { return format_; }
    // Waits while it connects; false when the server refuses it.
    bool AwaitReady();
    // The server has let it go (it was killed, say).
    bool Dropped() const;
    // Names it anew, once ready: a ready stream is made before its clip is known.
    void Rename(const std::string& title);

    // Plays this clip through the stream, paused until SetPaused(false). Once the clip has no
    // more, the stream drains and `ended` is called when the server has played it all.
    void Attach(AudioOutput::Pull pull, AudioOutput::Ended ended);
    void SetPaused(bool paused);
    void Restart();
    // Lets the clip go. What the server still holds of a clip cut short is not heard.
    void Detach();

  private:
    enum class State { Idle, Playing, Draining, Drained };

    PulseStream(PulseContext& context, pa_stream* stream, const Format& format);
    void Write(std::size_t bytes);
    void Drain();
    void CancelDrain();
    void Finish();
    void Operate(pa_operation* operation) const;
    static void StateChanged(pa_stream* stream, void* self);

    PulseContext& context_;
    const PulseLibrary& pa_;
    pa_stream* const stream_;
    const Format format_;
    State state_ = State::Idle;
    bool paused_ = true;
    pa_operation* drain_ = nullptr;
    AudioOutput::Pull pull_;
    AudioOutput::Ended ended_;
    PulseTimer retry_;  // armed while the clip's next samples are late
};

}  // namespace mci
