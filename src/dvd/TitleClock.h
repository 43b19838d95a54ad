#pragma once

#include "DvdStructure.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace kavelo {

// The playing position within a title, taken from the title's own cell table rather than from
// the timestamps of the picture data. libmpv numbers a title's pictures from their timestamps;
// a cell whose timestamps restart (or jump less than libmpv notices) makes its time go back or
// leap. The clock follows libmpv's time within a cell, and where that time jumps while playing
// on, it places the picture at the start of the next cell of the table.
//
// After a seek, libmpv's time is the title's (it asks libdvdnav where it landed): the clock
// takes it as it is from then on.
class TitleClock {
public:
    // Times `title` (its cells may be empty: libmpv's time is then taken as it is) at `fps`.
    // `exact`: libmpv reads the title as one stream whose timestamps run on through its cells,
    // so its time is the title's throughout and no jump is looked for.
    void reset(const DvdTitleInfo& title, double fps, bool exact = false);

    // A seek was asked for: libmpv's time is the title's again once its picture shows.
    void seeking();
    // libmpv shows the picture of the last seek (or load); the next time starts afresh.
    void restarted();
    // libmpv reports `mpvTime` for the picture it shows now, playing forwards at `speed` (0
    // while it jumps about, as in a backward scan: no jump is looked for then). Returns true
    // when the clock had to move its offset (the picture data's time jumped).
    bool observe(double mpvTime, double speed = 1);

    // Seconds from the title's start, within [0, length()].
    double time() const;
    // The 1-based chapter playing.
    int chapter() const;
    // The 0-based cell playing among the cells of the first angle, or nullopt when the title has
    // no usable cell table.
    std::optional<std::size_t> cell() const;
    double length() const { return m_length; }
    // libmpv's time for the title time `seconds` (where libmpv should stop for the title's end).
    double mpvTimeOf(double seconds) const { return seconds - m_offset; }
    // Whether the playing position is on the title's last pictures (the one before the last
    // counts: libmpv may drop the last where the next timestamps restart).
    bool atEnd() const;
    // A cell still: the title time from which the cell's last pictures show (as atEnd()), how
    // long it holds
    // (kInfiniteStill: until told), and the cell (0-based among the first angle's cells).
    struct Still {
        double at = 0;
        int seconds = 0;
        std::size_t cell = 0;
    };
    // The first still of the playing cell or a later one, passing over cell `skip` (the still
    // just held); nullopt when none is left or the title has no usable cell table.
    std::optional<Still> nextStill(std::optional<std::size_t> skip = std::nullopt) const;
    // Where cell `index` starts, in title seconds.
    double cellStart(std::size_t index) const;

private:
    std::size_t cellAt(double seconds) const;

    std::vector<DvdCell> m_cells; // only cells of the first angle
    std::vector<double> m_starts; // title time each cell starts
    std::vector<double> m_chapterStarts;
    double m_length = 0;
    double m_frame = 0.04;
    double m_offset = 0;     // title time minus libmpv's time
    double m_time = 0;       // title time of the last picture
    double m_lastMpv = 0;    // libmpv's time of the last picture
    bool m_haveLast = false; // m_lastMpv belongs to the present run of pictures
    bool m_seeking = false;  // pictures of an earlier place may still come
    bool m_exact = false;    // libmpv's time is the title's throughout
};

} // namespace kavelo
