// The MIDI reader on any bytes: a file is read or refused, and what is read gives lengths,
// positions and ticks within what the device and FluidSynth carry.
#include "FuzzSupport.h"
#include "MidiFile.h"

#include <cstddef>
#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavelo;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<MidiTiming> timing = parseMidi(bytes);
    if (!timing)
        return 0;
    const qint64 length = timing->lengthMs();
    FUZZ_CHECK(length >= 0 && length <= std::numeric_limits<std::int32_t>::max());
    FUZZ_CHECK(timing->endTick >= 0);
    const qint64 half = timing->msAt(timing->endTick / 2);
    FUZZ_CHECK(half >= 0 && half <= length);
    for (const double ms : {0.0, static_cast<double>(half), static_cast<double>(length),
                            static_cast<double>(length) * 4 + 1}) {
        const qint64 tick = timing->msToTicks(ms);
        FUZZ_CHECK(tick >= 0 && tick <= std::numeric_limits<int>::max());
    }
    return 0;
}
