#include "TitleSubtitles.h"

#include "MpvDriver.h"
#include "MpvSession.h"
#include "TitleStreams.h"

#include <QLoggingCategory>

#include <cmath>
#include <span>

namespace kavelo {

namespace {

constexpr int kOverlayId = 4; // above the menus' highlight
constexpr std::size_t kSector = 2048;
constexpr double kTicksPerSecond = 90000;
// The overlay shows from libmpv's next picture on: subtitles are looked up this much ahead of
// the picture on screen (a picture at 25 a second).
constexpr std::int64_t kAheadTicks = 3600;

// The title's sectors, read on for libmpv, with the subpicture packets they hold kept aside.
// When libmpv's reading settles at a new place, the sectors before it (within its cell) are read
// too, for a unit that shows there.
class WatchedSectors final : public mpv::SectorSource {
public:
    WatchedSectors(std::shared_ptr<mpv::SectorSource> sectors, std::shared_ptr<SubtitleUnits> units,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>> cells)
        : m_sectors(std::move(sectors)), m_units(std::move(units)), m_cells(std::move(cells)) {}

    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        const int got = m_sectors->read(first, count, out);
        if (got <= 0 || got > count)
            return got;
        if (const std::optional<std::uint32_t> start = m_units->addSectors(first, got, out))
            lookBack(*start);
        return got;
    }

private:
    void lookBack(std::uint32_t start) {
        std::uint32_t from = start;
        for (const auto& [firstSector, lastSector] : m_cells) {
            if (start > firstSector && start <= lastSector + 1)
                from = start - std::min(start - firstSector, SubtitleUnits::kLookBackSectors);
        }
        constexpr int kChunk = 32;
        std::vector<std::uint8_t> chunk(kChunk * kSector);
        while (from < start) {
            const int want = static_cast<int>(std::min<std::uint32_t>(start - from, kChunk));
            const int got = m_sectors->read(from, want, chunk.data());
            if (got <= 0 || got > want)
                return; // what libmpv reads tells of the failure
            m_units->addEarlier(from, got, chunk.data());
            from += static_cast<std::uint32_t>(got);
        }
    }

    std::shared_ptr<mpv::SectorSource> m_sectors;
    std::shared_ptr<SubtitleUnits> m_units;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_cells; // first and last sectors
};

} // namespace

// ---- the units read -----------------------------------------------------------------------------

std::optional<std::uint32_t> SubtitleUnits::addSectors(std::uint32_t first, int count,
                                                       const std::uint8_t* data) {
    const std::lock_guard lock(m_mutex);
    // libmpv seeked: a unit begun before does not go on here.
    if (m_next != first) {
        for (SubpictureAssembler& assembler : m_assemblers)
            assembler.reset();
        m_runStart = first;
        m_lookedBack = false;
    }
    m_next = first + static_cast<std::uint32_t>(count);
    addPacks(first, data, count, m_assemblers);
    if (m_lookedBack || *m_next - m_runStart < kSettledSectors)
        return std::nullopt;
    m_lookedBack = true;
    return m_runStart;
}

void SubtitleUnits::addEarlier(std::uint32_t first, int count, const std::uint8_t* data) {
    const std::lock_guard lock(m_mutex);
    if (first != m_earlierNext) {
        for (SubpictureAssembler& assembler : m_earlierAssemblers)
            assembler.reset();
    }
    m_earlierNext = first + static_cast<std::uint32_t>(count);
    addPacks(first, data, count, m_earlierAssemblers);
}

std::int64_t SubtitleUnits::shiftAt(std::uint32_t sector) const {
    for (const Run& run : m_runs) {
        if (sector >= run.first && sector <= run.last)
            return run.shift;
    }
    return 0;
}

void SubtitleUnits::addPacks(std::uint32_t first, const std::uint8_t* data, int count,
                             std::array<SubpictureAssembler, 32>& assemblers) {
    for (int s = 0; s < count; ++s) {
        const std::span<const std::uint8_t> pack(data + static_cast<std::size_t>(s) * kSector,
                                                 kSector);
        const std::int64_t shift = shiftAt(first + static_cast<std::uint32_t>(s));
        forEachSubpicturePacket(
            pack, [&](int stream, std::span<const std::uint8_t> payload, std::int64_t pts) {
                // On the title's one timeline, as libmpv times the pictures (33 bits).
                if (pts >= 0)
                    pts = (pts + shift) & ((std::int64_t{1} << 33) - 1);
                if (auto unit = assemblers[static_cast<std::size_t>(stream)].add(payload, pts))
                    add(stream, std::move(*unit));
            });
    }
}

void SubtitleUnits::add(int stream, SubpictureUnit unit) {
    if (unit.pts < 0)
        return;
    std::map<std::int64_t, Entry>& units = m_streams[static_cast<std::size_t>(stream)];
    if (units.contains(unit.pts))
        return; // read again after a seek
    const std::optional<SubpictureImage> image = decodeSubpicture(unit.data);
    if (!image)
        return;
    m_bytes += unit.data.size();
    units[unit.pts] =
        Entry{image->start, image->stop, image->forced,
              std::make_shared<const std::vector<std::uint8_t>>(std::move(unit.data))};
    // Too many: the units farthest from this one go, of its stream or of the largest.
    while (units.size() > kMaxUnitsPerStream || m_bytes > kMaxBytes) {
        std::map<std::int64_t, Entry>* from = &units;
        if (units.size() <= 1) {
            for (auto& other : m_streams) {
                if (other.size() > from->size())
                    from = &other;
            }
            if (from == &units)
                break;
        }
        const std::int64_t toFirst = unit.pts - from->begin()->first;
        const std::int64_t toLast = std::prev(from->end())->first - unit.pts;
        const auto gone = toFirst >= toLast ? from->begin() : std::prev(from->end());
        m_bytes -= gone->second.data->size();
        from->erase(gone);
    }
}

std::optional<SubtitleUnits::Found> SubtitleUnits::at(int stream, std::int64_t pts,
                                                      bool forcedOnly) const {
    if (stream < 0 || stream >= 32)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const std::map<std::int64_t, Entry>& units = m_streams[static_cast<std::size_t>(stream)];
    // The latest unit that has begun to show; a later one replaces it.
    auto it = units.upper_bound(pts);
    bool begun = false;
    while (!begun && it != units.begin()) {
        --it;
        begun = it->first + it->second.start <= pts;
    }
    if (!begun)
        return std::nullopt;
    const Entry& unit = it->second;
    std::int64_t end = it->first + unit.stop;
    if (unit.stop < 0) {
        const auto next = std::next(it);
        end = next != units.end() ? next->first + next->second.start
                                  : it->first + unit.start + kLongestOpenEnd;
        end = std::min(end, it->first + unit.start + kLongestOpenEnd);
    }
    if (pts >= end || (forcedOnly && !unit.forced))
        return std::nullopt;
    return Found{it->first, unit.data};
}

// ---- on screen ----------------------------------------------------------------------------------

TitleSubtitles::TitleSubtitles(MpvDriver& driver)
    : m_driver(driver), m_overlay(driver, kOverlayId) {
    m_physical.fill(-1);
}

std::shared_ptr<mpv::SectorSource> TitleSubtitles::watch(std::shared_ptr<mpv::SectorSource> sectors,
                                                         const DvdTitleInfo& title,
                                                         const std::vector<mpv::SectorRun>& runs) {
    clear();
    std::vector<SubtitleUnits::Run> shifts;
    for (const mpv::SectorRun& run : runs)
        shifts.push_back({run.first, run.last, run.shift});
    m_units = std::make_shared<SubtitleUnits>(std::move(shifts));
    m_palette = title.palette;
    m_physical = title.subpictureStreamIds;
    m_stream = -1;
    m_startTime.reset();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cells;
    for (const DvdCell& cell : title.cells)
        cells.emplace_back(cell.firstSector, cell.lastSector);
    return std::make_shared<WatchedSectors>(std::move(sectors), m_units, std::move(cells));
}

void TitleSubtitles::select(int subpictureRegister) {
    const int logical = subpictureRegister & 0x1f;
    m_stream = subpictureRegister >= 0 ? m_physical[static_cast<std::size_t>(logical)] : -1;
    m_forcedOnly = (subpictureRegister & 0x40) == 0;
    m_shownPts.reset();
    if (m_lastTime)
        show(*m_lastTime);
}

void TitleSubtitles::show(double time) {
    m_lastTime = time;
    if (!m_units)
        return;
    if (!m_startTime) {
        m_startTime = m_driver.getDouble(mpv::name::kDemuxerStartTime);
        if (!m_startTime)
            return;
    }
    const auto pts =
        static_cast<std::int64_t>(std::llround((time + *m_startTime) * kTicksPerSecond)) +
        kAheadTicks;
    const std::optional<SubtitleUnits::Found> unit =
        m_stream >= 0 ? m_units->at(m_stream, pts, m_forcedOnly) : std::nullopt;
    if (!unit) {
        m_overlay.remove();
        m_shownPts.reset();
        return;
    }
    if (m_shownPts == unit->pts && m_overlay.shown() && !m_overlay.moved())
        return;
    m_shownPts = unit->pts;
    const std::optional<SubpictureImage> image = decodeSubpicture(*unit->data);
    if (!image || !m_overlay.show(renderSubpicture(*image, m_palette, std::nullopt)))
        qCDebug(lcDvd) << "a subpicture at" << unit->pts << "could not be shown";
}

void TitleSubtitles::clear() {
    m_overlay.remove();
    m_units.reset();
    m_shownPts.reset();
    m_lastTime.reset();
}

} // namespace kavelo
