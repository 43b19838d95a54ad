#pragma once

#include "TitleStreams.h"

#include <QString>

#include <memory>

namespace kavelo {

// Opens the title set `titleSet` of the DVD video at `place` for reading its sectors in this
// process; nullptr when it cannot be opened or has subtitle streams. Only places the disc probe has
// read successfully come here: the probe has run libdvdread over them in a process of its own
// first.
std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place, int titleSet);

} // namespace kavelo
