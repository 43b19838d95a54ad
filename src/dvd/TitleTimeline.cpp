#include "TitleTimeline.h"

#include "PackTimestamps.h"

#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

Q_DECLARE_LOGGING_CATEGORY(lcDisc)

namespace kavelo {

namespace {

constexpr std::int64_t kTicksPerSecond = 90000;
constexpr std::int64_t kLongestCell = 24 * 3600 * kTicksPerSecond;
constexpr std::uint32_t kStartSearch = 64; // sectors searched for a cell's first timestamp

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

// Where a cell's pictures start: its navigation pack's time, else the first video timestamp of
// its first sectors (a damaged or unusual cell start).
std::optional<std::int64_t> cellStart(mpv::SectorSource& sectors, const DvdCell& cell) {
    if (auto start = navigationStart(sectors, cell.firstSector))
        return start;
    std::array<std::uint8_t, 2048> pack{};
    const std::uint32_t last = std::min(cell.lastSector, cell.firstSector + kStartSearch - 1);
    for (std::uint32_t s = cell.firstSector; s <= last; ++s) {
        if (sectors.read(s, 1, pack.data()) != 1)
            return std::nullopt;
        if (auto start = mpv::videoTimestamp(pack.data()))
            return start;
    }
    return std::nullopt;
}

} // namespace

std::vector<mpv::SectorRun> titleTimeline(const DvdTitleInfo& title, mpv::SectorSource& sectors,
                                          int angle) {
    std::vector<mpv::SectorRun> runs;
    std::optional<std::int64_t> next; // where the next cell's pictures are to start
    for (const std::size_t index : title.cellsOfAngle(angle)) {
        const DvdCell& cell = title.cells[index];
        std::optional<std::int64_t> first;
        // A cell whose sectors or angle units are unknown is left out; the time it would have
        // played stays in the timeline, so that the cells after it keep their times.
        const bool readable =
            (cell.angle == 0 || !cell.units.empty()) && cell.lastSector >= cell.firstSector;
        if (readable)
            first = cell.firstPts >= 0 ? cell.firstPts : cellStart(sectors, cell);
        // The cell's own span of timestamps where the service read its end (it may wrap past
        // 2^33), else its playing time from the cell table.
        std::int64_t span =
            first && cell.endPts >= 0
                ? (cell.endPts - *first + mpv::kTimestampModulus) % mpv::kTimestampModulus
                : 0;
        if (span <= 0 || span > kLongestCell)
            span = std::clamp<std::int64_t>(std::llround(cell.length * kTicksPerSecond), 0,
                                            kLongestCell);
        if (!first) {
            qCDebug(lcDisc) << "cell" << index + 1 << "of title set" << title.titleSet
                            << "is left out: where its pictures start is unknown";
            if (next)
                *next += span;
            continue;
        }
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
