#include "TitleTimeline.h"

#include "PackTimestamps.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace kavelo {

namespace {

constexpr std::int64_t kTicksPerSecond = 90000;
constexpr std::int64_t kLongestCell = 24 * 3600 * kTicksPerSecond;

// Where the pictures of the unit starting at `sector` start (the navigation pack's time of its
// first picture); nullopt when the sector holds no navigation pack.
std::optional<std::int64_t> navigationStart(mpv::SectorSource& sectors, std::uint32_t sector) {
    std::array<std::uint8_t, 2048> pack{};
    if (sectors.read(sector, 1, pack.data()) != 1)
        return std::nullopt;
    // Pack header, system header, then the presentation control packet (stream 0xbf, substream
    // 0) whose data starts at 0x2d; the unit's start time is 12 bytes into it.
    if (pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != 0xba || pack[0x26] != 0 ||
        pack[0x27] != 0 || pack[0x28] != 1 || pack[0x29] != 0xbf || pack[0x2c] != 0)
        return std::nullopt;
    const std::uint8_t* at = pack.data() + 0x2d + 12;
    return (std::int64_t{at[0]} << 24) | (std::int64_t{at[1]} << 16) | (std::int64_t{at[2]} << 8) |
           std::int64_t{at[3]};
}

} // namespace

std::optional<std::vector<mpv::SectorRun>> titleTimeline(const DvdTitleInfo& title,
                                                         mpv::SectorSource& sectors, int angle) {
    if (title.cells.empty())
        return std::nullopt;
    std::vector<mpv::SectorRun> runs;
    std::optional<std::int64_t> next; // where the next cell's pictures are to start
    for (const std::size_t index : title.cellsOfAngle(angle)) {
        const DvdCell& cell = title.cells[index];
        if ((cell.angle != 0 && cell.units.empty()) || cell.lastSector < cell.firstSector)
            return std::nullopt;
        std::optional<std::int64_t> first;
        if (cell.firstPts >= 0)
            first = cell.firstPts;
        else
            first = navigationStart(sectors, cell.firstSector);
        if (!first)
            return std::nullopt;
        // The cell's own span of timestamps where the service read its end (it may wrap past
        // 2^33), else its playing time from the cell table.
        std::int64_t span = cell.endPts >= 0 ? (cell.endPts - *first + mpv::kTimestampModulus) %
                                                   mpv::kTimestampModulus
                                             : 0;
        if (span <= 0 || span > kLongestCell)
            span = std::llround(cell.length * kTicksPerSecond);
        if (!next)
            next = *first;
        if (cell.units.empty())
            runs.push_back({cell.firstSector, cell.lastSector, *next - *first});
        for (const DvdSectorRun& unit : cell.units)
            runs.push_back({unit.first, unit.last, *next - *first});
        *next += span;
    }
    return runs;
}

} // namespace kavelo
