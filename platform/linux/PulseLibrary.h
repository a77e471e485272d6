#pragma once
// libpulse, loaded on the first clip (or the first hint that one is coming), as SDL is: the
// start-up does not pay for it.
#include <pulse/pulseaudio.h>

namespace mci {

// The functions used here, under their own names.
struct PulseLibrary {
    decltype(&::pa_threaded_mainloop_new) pa_threaded_mainloop_new;
    decltype(&::pa_threaded_mainloop_start) pa_threaded_mainloop_start;
    decltype(&::pa_threaded_mainloop_lock) pa_threaded_mainloop_lock;
    decltype(&::pa_threaded_mainloop_unlock) pa_threaded_mainloop_unlock;
    decltype(&::pa_threaded_mainloop_wait) pa_threaded_mainloop_wait;
    decltype(&::pa_threaded_mainloop_signal) pa_threaded_mainloop_signal;
    decltype(&::pa_threaded_mainloop_in_thread) pa_threaded_mainloop_in_thread;
    decltype(&::pa_threaded_mainloop_get_api) pa_threaded_mainloop_get_api;
    decltype(&::pa_context_new_with_proplist) pa_context_new_with_proplist;
    decltype(&::pa_context_set_state_callback) pa_context_set_state_callback;
    decltype(&::pa_context_connect) pa_context_connect;
    decltype(&::pa_context_get_state) pa_context_get_state;
    decltype(&::pa_context_disconnect) pa_context_disconnect;
    decltype(&::pa_context_unref) pa_context_unref;
    decltype(&::pa_context_rttime_new) pa_context_rttime_new;
    decltype(&::pa_context_rttime_restart) pa_context_rttime_restart;
    decltype(&::pa_rtclock_now) pa_rtclock_now;
    decltype(&::pa_stream_new) pa_stream_new;
    decltype(&::pa_stream_set_state_callback) pa_stream_set_state_callback;
    decltype(&::pa_stream_set_write_callback) pa_stream_set_write_callback;
    decltype(&::pa_stream_connect_playback) pa_stream_connect_playback;
    decltype(&::pa_stream_get_state) pa_stream_get_state;
    decltype(&::pa_stream_begin_write) pa_stream_begin_write;
    decltype(&::pa_stream_write) pa_stream_write;
    decltype(&::pa_stream_cancel_write) pa_stream_cancel_write;
    decltype(&::pa_stream_writable_size) pa_stream_writable_size;
    decltype(&::pa_stream_drain) pa_stream_drain;
    decltype(&::pa_stream_cork) pa_stream_cork;
    decltype(&::pa_stream_flush) pa_stream_flush;
    decltype(&::pa_stream_disconnect) pa_stream_disconnect;
    decltype(&::pa_stream_unref) pa_stream_unref;
    decltype(&::pa_operation_unref) pa_operation_unref;
    decltype(&::pa_operation_cancel) pa_operation_cancel;
    decltype(&::pa_usec_to_bytes) pa_usec_to_bytes;
    decltype(&::pa_frame_size) pa_frame_size;
    decltype(&::pa_sample_spec_valid) pa_sample_spec_valid;
    decltype(&::pa_proplist_new) pa_proplist_new;
    decltype(&::pa_proplist_sets) pa_proplist_sets;
    decltype(&::pa_proplist_free) pa_proplist_free;
    decltype(&::pa_stream_proplist_update) pa_stream_proplist_update;
};

// Null when the library, or one of its functions, is missing.
const PulseLibrary* LoadPulse();

}  // namespace mci
