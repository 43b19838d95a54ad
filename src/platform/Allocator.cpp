#include "Allocator.h"

#include <malloc.h>

namespace kavelo {

namespace {
// A 720 x 576 picture takes 600 KiB; sound and packet buffers stay below this.
constexpr int kLargeBlockBytes = 256 * 1024;
} // namespace

void returnLargeBlocksToTheSystem() {
    // Setting the bound fixes it: glibc no longer moves it.
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
}

} // namespace kavelo
