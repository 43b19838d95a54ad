#pragma once

#include "DvdStructure.h"
#include "TitleStreams.h"

#include <QString>

#include <memory>

namespace kavelo {

// Opens the sectors of `title`'s title set at `place` for reading. First as plain data, the
// cheapest way: the VOB files of a folder, or the image or drive from where the disc service
// found the title set's first VOB file. Where that cannot be done (scrambled data, an unknown
// start, files that do not open), through a disc service of the title's own, which reads them
// with libdvdread (decrypting a scrambled disc when libdvdcss is installed). nullptr when
// neither can read them, or the data stays scrambled.
std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place,
                                                       const DvdTitleInfo& title);

// A test hook: with KAVELO_TITLE_SECTORS=service every title set is read through the service.
constexpr const char* kTitleSectorsVariable = "KAVELO_TITLE_SECTORS";
// The argument that names a service reading a title's sectors among Kavelo's processes.
constexpr const char* kSectorReaderRole = "sectors";

} // namespace kavelo
