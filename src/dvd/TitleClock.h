#pragma once

#include "DvdStructure.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace kavelo {

// The playing position within a title and what its cell table says of it: the chapter, the
// cell, the stills ahead, the end. libmpv reads the title as one stream whose timestamps run on
// through its cells, so libmpv's time is the title's.
class TitleClock {
public:
    // Times `title` (its cells may be empty: then no cell and no still is known) at `fps`.
    void reset(const DvdTitleInfo& title, double fps);
    // libmpv shows the picture at `mpvTime`.
    void observe(double mpvTime);

    // Seconds from the title's start, within [0, length()].
    double time() const;
    // The 1-based chapter playing.
    int chapter() const;
    // The 0-based cell playing among the cells of the first angle, or nullopt when the title has
    // no usable cell table.
    std::optional<std::size_t> cell() const;
    double length() const { return m_length; }
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
    double m_time = 0; // title time of the last picture
};

} // namespace kavelo
