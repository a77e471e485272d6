#include "platform/linux/PulseLibrary.h"

#include "platform/linux/LoadFunctions.h"

namespace mci {
namespace {

const PulseLibrary* Load() {
    static PulseLibrary pa{};
    const Symbol symbols[] = {
        {"pa_threaded_mainloop_new", Slot(pa.pa_threaded_mainloop_new)},
        {"pa_threaded_mainloop_start", Slot(pa.pa_threaded_mainloop_start)},
        {"pa_threaded_mainloop_lock", Slot(pa.pa_threaded_mainloop_lock)},
        {"pa_threaded_mainloop_unlock", Slot(pa.pa_threaded_mainloop_unlock)},
        {"pa_threaded_mainloop_wait", Slot(pa.pa_threaded_mainloop_wait)},
        {"pa_threaded_mainloop_signal", Slot(pa.pa_threaded_mainloop_signal)},
        {"pa_threaded_mainloop_in_thread", Slot(pa.pa_threaded_mainloop_in_thread)},
        {"pa_threaded_mainloop_get_api", Slot(pa.pa_threaded_mainloop_get_api)},
        {"pa_context_new_with_proplist", Slot(pa.pa_context_new_with_proplist)},
        {"pa_context_set_state_callback", Slot(pa.pa_context_set_state_callback)},
        {"pa_context_connect", Slot(pa.pa_context_connect)},
        {"pa_context_get_state", Slot(pa.pa_context_get_state)},
        {"pa_context_disconnect", Slot(pa.pa_context_disconnect)},
        {"pa_context_unref", Slot(pa.pa_context_unref)},
        {"pa_context_rttime_new", Slot(pa.pa_context_rttime_new)},
        {"pa_context_rttime_restart", Slot(pa.pa_context_rttime_restart)},
        {"pa_rtclock_now", Slot(pa.pa_rtclock_now)},
        {"pa_stream_new", Slot(pa.pa_stream_new)},
        {"pa_stream_set_state_callback", Slot(pa.pa_stream_set_state_callback)},
        {"pa_stream_set_write_callback", Slot(pa.pa_stream_set_write_callback)},
        {"pa_stream_connect_playback", Slot(pa.pa_stream_connect_playback)},
        {"pa_stream_get_state", Slot(pa.pa_stream_get_state)},
        {"pa_stream_begin_write", Slot(pa.pa_stream_begin_write)},
        {"pa_stream_write", Slot(pa.pa_stream_write)},
        {"pa_stream_cancel_write", Slot(pa.pa_stream_cancel_write)},
        {"pa_stream_writable_size", Slot(pa.pa_stream_writable_size)},
        {"pa_stream_drain", Slot(pa.pa_stream_drain)},
        {"pa_stream_cork", Slot(pa.pa_stream_cork)},
        {"pa_stream_flush", Slot(pa.pa_stream_flush)},
        {"pa_stream_disconnect", Slot(pa.pa_stream_disconnect)},
        {"pa_stream_unref", Slot(pa.pa_stream_unref)},
        {"pa_operation_unref", Slot(pa.pa_operation_unref)},
        {"pa_operation_cancel", Slot(pa.pa_operation_cancel)},
        {"pa_usec_to_bytes", Slot(pa.pa_usec_to_bytes)},
        {"pa_frame_size", Slot(pa.pa_frame_size)},
        {"pa_sample_spec_valid", Slot(pa.pa_sample_spec_valid)},
        {"pa_proplist_new", Slot(pa.pa_proplist_new)},
        {"pa_proplist_sets", Slot(pa.pa_proplist_sets)},
        {"pa_proplist_free", Slot(pa.pa_proplist_free)},
        {"pa_stream_proplist_update", Slot(pa.pa_stream_proplist_update)},
    };
    return LoadFunctions("libpulse.so.0", symbols).empty() ? &pa : nullptr;
}

}  // namespace

const PulseLibrary* LoadPulse() {
    static const PulseLibrary* const pa = Load();
    return pa;
}

}  // namespace mci
