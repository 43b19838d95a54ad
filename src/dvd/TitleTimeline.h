#pragma once

#include "DvdStructure.h"
#include "TitleStreams.h"

#include <optional>
#include <vector>

namespace kavelo {

// The cells of `title` as runs of one program stream whose timestamps make one timeline: each
// cell's timestamps are moved to start where the cell before it ends, however the disc's cells
// restart or jump theirs. A cell whose timestamps the disc service could not give is timed from
// its first navigation pack, read from `sectors`, and its length. In an angle block only the
// cells of `angle` are read, unit by interleaved unit. nullopt when the title has no cell table,
// an angle cell's units are unknown, or a cell's start cannot be found.
std::optional<std::vector<mpv::SectorRun>> titleTimeline(const DvdTitleInfo& title,
                                                         mpv::SectorSource& sectors, int angle = 1);

} // namespace kavelo
