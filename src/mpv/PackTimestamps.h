#pragma once

#include <cstdint>
#include <optional>

namespace kavelo::mpv {

// MPEG timestamps count 90 kHz ticks in 33 bits and wrap around.
inline constexpr std::int64_t kTimestampModulus = std::int64_t{1} << 33;

// Moves the times of one 2048-byte MPEG-2 program stream pack by `ticks` (90 kHz, either way,
// modulo 2^33): the pack's system clock reference and the presentation and decoding timestamps
// of every packet in it. A sector that is no MPEG-2 pack is left alone, and so is everything from
// the first packet whose header is malformed or does not fit in the sector.
void shiftPackTimestamps(std::uint8_t* sector, std::int64_t ticks);

// The presentation time of the first video packet of a 2048-byte program stream pack that has
// one; nullopt for any other sector.
std::optional<std::int64_t> videoTimestamp(const std::uint8_t* sector);

} // namespace kavelo::mpv
