#pragma once

#include "NavSource.h"

#include <memory>
#include <string>

namespace kavelo {

class DiscService;

// Opens the disc's virtual machine at `place` (a drive, a folder holding VIDEO_TS, or an image)
// in a disc service of its own, fresh at its first-play program. Returns nullptr when the
// service cannot open it. `program` is the service to run; empty for the one beside Kavelo.
std::unique_ptr<NavSource> openServiceNavSource(const std::string& place,
                                                const std::string& program = {});
// The same in `service`, which has the disc open already (it saves a start and an open).
std::unique_ptr<NavSource> openServiceNavSource(std::unique_ptr<DiscService> service);

} // namespace kavelo
