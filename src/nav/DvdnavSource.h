#pragma once

#include "NavSource.h"

#include <memory>
#include <string>

namespace kavelo {

// Opens the disc's virtual machine at `place` (a drive, a folder holding VIDEO_TS, or an image),
// fresh at its first-play program. Returns nullptr when libdvdnav cannot open it. Only places
// the disc probe has read successfully come here.
std::unique_ptr<NavSource> openDvdnavSource(const std::string& place);

} // namespace kavelo
