#pragma once

#include "DvdStructure.h"
#include "TitleStreams.h"

#include <vector>

namespace kavelo {

// The cells of `title` as runs of one program stream whose timestamps make one timeline: each
// cell's timestamps are moved to start where the cell before it ends, however the disc's cells
// restart or jump theirs. A cell whose timestamps the disc service could not give is timed from
// its first navigation pack (else its first video timestamp), read from `sectors`, and its
// length. In an angle block only the cells of `angle` are read, unit by interleaved unit. A
// cell whose sectors, units or start are unknown is left out, its time kept; empty when no cell
// is left.
std::vector<mpv::SectorRun> titleTimeline(const DvdTitleInfo& title, mpv::SectorSource& sectors,
                                          int angle = 1);

} // namespace kavelo
