#pragma once

#include <QByteArray>

#include <mpv/stream_cb.h>

#include <cstdint>
#include <optional>

namespace kavelo::mpv {

class Session;

// Registers a read-only stream protocol with `player` before it is initialised, through the
// libmpv the session loaded privately. Only this library's helpers use it.
bool addStreamProtocol(Session& player, const char* protocol, void* userData,
                       mpv_stream_cb_open_ro_fn open);

// The address of stream `id` under `protocol`, and the id back from an address (nullopt when the
// address is another protocol's or malformed).
QByteArray streamAddress(const char* protocol, std::uint64_t id);
std::optional<std::uint64_t> streamId(const char* protocol, const char* uri);

} // namespace kavelo::mpv
