#pragma once

#include "DvdStructure.h"
#include "Subpicture.h"
#include "VideoOverlay.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kavelo {

class MpvDriver;
namespace mpv {
class SectorSource;
struct SectorRun;
} // namespace mpv
// The subpicture units of a title as libmpv reads its sectors: every stream's, kept by
// presentation time (90 kHz), a bounded number a stream. Filled on libmpv's threads, read on
// the engine's.
class SubtitleUnits {
public:
    static constexpr std::size_t kMaxUnitsPerStream = 512;
    static constexpr std::size_t kMaxBytes = 8 << 20; // of all streams' units together
    // A unit without a stop command shows until the next one, but no longer than this (the next
    // may not have been read).
    static constexpr std::int64_t kLongestOpenEnd = 10 * 90000;

    struct Found {
        std::int64_t pts = 0;
        std::shared_ptr<const std::vector<std::uint8_t>> data;
    };

    // How far before the place a reading starts at its units are looked for (a unit showing
    // there may have been read before it), and how far the reading must have gone on from there
    // first (libmpv's seeks read here and there before they settle).
    static constexpr std::uint32_t kLookBackSectors = 512;
    static constexpr std::uint32_t kSettledSectors = 64;

    // Sectors `first` to `last` whose timestamps libmpv sees moved by `shift` ticks.
    struct Run {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        std::int64_t shift = 0;
    };
    // A unit's time is moved by its run's shift, as the pictures' are.
    explicit SubtitleUnits(std::vector<Run> runs = {}) : m_runs(std::move(runs)) {}

    // `count` sectors read from the title set's sector `first` on. Returns, once, the sector
    // where the reading started anew when it has settled there: the caller reads what lies
    // before it into addEarlier().
    std::optional<std::uint32_t> addSectors(std::uint32_t first, int count,
                                            const std::uint8_t* data);
    // Sectors read from before a place the reading started at, in order.
    void addEarlier(std::uint32_t first, int count, const std::uint8_t* data);
    // The unit of physical stream `stream` (0..31) on screen at `pts`; with `forcedOnly`, only a
    // forced one.
    std::optional<Found> at(int stream, std::int64_t pts, bool forcedOnly) const;

private:
    struct Entry {
        std::int64_t start = 0; // on screen from pts + start
        std::int64_t stop = -1; // to pts + stop, or to the next unit when -1
        bool forced = false;
        std::shared_ptr<const std::vector<std::uint8_t>> data;
    };
    void add(int stream, SubpictureUnit unit);
    void addPacks(std::uint32_t first, const std::uint8_t* data, int count,
                  std::array<SubpictureAssembler, 32>& assemblers);
    std::int64_t shiftAt(std::uint32_t sector) const;

    const std::vector<Run> m_runs;
    mutable std::mutex m_mutex;
    std::array<std::map<std::int64_t, Entry>, 32> m_streams;
    std::array<SubpictureAssembler, 32> m_assemblers;
    std::optional<std::uint32_t> m_next; // the sector a read that follows on starts at
    std::uint32_t m_runStart = 0;        // where the reading started anew
    bool m_lookedBack = false;           // before m_runStart
    // The reading of what lies before it.
    std::array<SubpictureAssembler, 32> m_earlierAssemblers;
    std::uint32_t m_earlierNext = 0;
    std::size_t m_bytes = 0;
};

// The title's subtitles over its picture: the units read from its sectors, of the stream the
// disc's subpicture register names, coloured with the title's palette and laid over the video
// while libmpv's time is within their display times.
class TitleSubtitles {
public:
    explicit TitleSubtitles(MpvDriver& driver);

    // A title opens: its sectors are read through the source returned.
    std::shared_ptr<mpv::SectorSource> watch(std::shared_ptr<mpv::SectorSource> sectors,
                                             const DvdTitleInfo& title,
                                             const std::vector<mpv::SectorRun>& runs);
    // The disc's subpicture register: the logical stream, plus 64 when it is shown (otherwise
    // only forced subpictures show); -1 for none.
    void select(int subpictureRegister);
    // The picture at libmpv's `time` is on screen.
    void show(double time);
    // The title is gone: nothing shows, nothing more is read.
    void clear();

private:
    MpvDriver& m_driver;
    VideoOverlay m_overlay;
    std::shared_ptr<SubtitleUnits> m_units;
    std::array<std::uint32_t, 16> m_palette{};
    std::array<int, 32> m_physical{};
    int m_stream = -1; // the physical stream shown, -1 for none
    bool m_forcedOnly = true;
    std::optional<double> m_startTime;      // libmpv's time of the stream's first timestamp
    std::optional<std::int64_t> m_shownPts; // the unit on screen
    std::optional<double> m_lastTime;       // libmpv's time of the picture on screen
};

} // namespace kavelo
