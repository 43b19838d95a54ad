#pragma once

#include "DvdStructure.h"
#include "TitleStreams.h"

#include <QString>

#include <memory>

namespace kavelo {

// Opens the sectors of `title`'s title set at `place` for reading as plain data: the VOB files
// of a folder, or the image or drive from where the disc service found the title set's first
// VOB file. nullptr when they cannot be opened or its data is scrambled.
std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place,
                                                       const DvdTitleInfo& title);

} // namespace kavelo
