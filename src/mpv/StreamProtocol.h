#pragma once

#include <mpv/stream_cb.h>

namespace kavelo::mpv {

class Session;

// Registers a read-only stream protocol with `player` before it is initialised, through the
// libmpv the session loaded privately. Only this library's helpers use it.
bool addStreamProtocol(Session& player, const char* protocol, void* userData,
                       mpv_stream_cb_open_ro_fn open);

} // namespace kavelo::mpv
