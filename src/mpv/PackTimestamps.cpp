#include "PackTimestamps.h"

#include <cstddef>

namespace kavelo::mpv {

namespace {

constexpr std::size_t kSector = 2048;
constexpr std::size_t kPackHeader = 14; // an MPEG-2 pack header before its stuffing

std::int64_t wrap(std::int64_t ticks) {
    const std::int64_t t = ticks % kTimestampModulus;
    return t < 0 ? t + kTimestampModulus : t;
}

// A pack header's system clock reference base (the 27 MHz extension is left as it is).
std::int64_t readScr(const std::uint8_t* p) {
    return (std::int64_t{(p[4] >> 3) & 0x07} << 30) | (std::int64_t{p[4] & 0x03} << 28) |
           (std::int64_t{p[5]} << 20) | (std::int64_t{(p[6] >> 3) & 0x1f} << 15) |
           (std::int64_t{p[6] & 0x03} << 13) | (std::int64_t{p[7]} << 5) |
           std::int64_t{(p[8] >> 3) & 0x1f};
}

void writeScr(std::uint8_t* p, std::int64_t scr) {
    p[4] = static_cast<std::uint8_t>((p[4] & 0xc4) | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03));
    p[5] = static_cast<std::uint8_t>(scr >> 20);
    p[6] = static_cast<std::uint8_t>((p[6] & 0x04) | ((scr >> 12) & 0xf8) | ((scr >> 13) & 0x03));
    p[7] = static_cast<std::uint8_t>(scr >> 5);
    p[8] = static_cast<std::uint8_t>((p[8] & 0x07) | ((scr << 3) & 0xf8));
}

// A PES timestamp: five bytes, marker bits kept.
std::int64_t readTimestamp(const std::uint8_t* p) {
    return (std::int64_t{(p[0] >> 1) & 0x07} << 30) | (std::int64_t{p[1]} << 22) |
           (std::int64_t{p[2] >> 1} << 15) | (std::int64_t{p[3]} << 7) | std::int64_t{p[4] >> 1};
}

void writeTimestamp(std::uint8_t* p, std::int64_t ts) {
    p[0] = static_cast<std::uint8_t>((p[0] & 0xf1) | ((ts >> 29) & 0x0e));
    p[1] = static_cast<std::uint8_t>(ts >> 22);
    p[2] = static_cast<std::uint8_t>((p[2] & 0x01) | ((ts >> 14) & 0xfe));
    p[3] = static_cast<std::uint8_t>(ts >> 7);
    p[4] = static_cast<std::uint8_t>((p[4] & 0x01) | ((ts << 1) & 0xfe));
}

// Packets whose header has no optional fields (no timestamps).
bool plainPacket(std::uint8_t id) {
    return id == 0xbc || id == 0xbe || id == 0xbf || id == 0xf0 || id == 0xf1 || id == 0xf2 ||
           id == 0xf8 || id == 0xff;
}

// Walks the packets of an MPEG-2 pack; `visit(id, timestamps, flags)` gets each packet
// whose MPEG-2 header and timestamps lie within the packet and the sector. `timestamps` points at
// the PTS, flags is the header's PTS_DTS flags (2: PTS, 3: PTS and DTS). Returns false when
// the sector is no MPEG-2 pack.
template <typename Byte, typename Visit> bool walkPack(Byte* sector, Visit&& visit) {
    if (sector[0] != 0 || sector[1] != 0 || sector[2] != 1 || sector[3] != 0xba ||
        (sector[4] & 0xc0) != 0x40)
        return false;
    std::size_t at = kPackHeader + (sector[13] & 0x07);
    while (at + 6 <= kSector) {
        Byte* p = sector + at;
        if (p[0] != 0 || p[1] != 0 || p[2] != 1)
            break;
        const std::uint8_t id = p[3];
        const std::size_t end = at + 6 + ((std::size_t{p[4]} << 8) | p[5]);
        if (id < 0xbb || end > kSector)
            break; // another pack's start, or a packet running past the sector
        if (id != 0xbb && !plainPacket(id) && at + 9 <= end && (p[6] & 0xc0) == 0x80) {
            const int flags = p[7] >> 6;
            const std::size_t header = p[8];
            const std::size_t need = flags == 3 ? 10 : flags == 2 ? 5 : 0;
            if (need > 0 && need <= header && at + 9 + header <= end)
                visit(id, p + 9, flags);
        }
        at = end;
    }
    return true;
}

} // namespace

void shiftPackTimestamps(std::uint8_t* sector, std::int64_t ticks) {
    ticks = wrap(ticks);
    if (ticks == 0)
        return;
    const bool isPack = walkPack(sector, [ticks](std::uint8_t, std::uint8_t* ts, int flags) {
        writeTimestamp(ts, wrap(readTimestamp(ts) + ticks));
        if (flags == 3)
            writeTimestamp(ts + 5, wrap(readTimestamp(ts + 5) + ticks));
    });
    if (isPack)
        writeScr(sector, wrap(readScr(sector) + ticks));
}

std::optional<std::int64_t> videoTimestamp(const std::uint8_t* sector) {
    std::optional<std::int64_t> found;
    walkPack(sector, [&found](std::uint8_t id, const std::uint8_t* ts, int) {
        if (!found && id >= 0xe0 && id <= 0xef)
            found = readTimestamp(ts);
    });
    return found;
}

} // namespace kavelo::mpv
