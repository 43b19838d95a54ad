// DVD time texts: the field readers on any text, seek texts for any position, and time texts
// for any position and frame rate.
#include "DvdTime.h"
#include "DvdTimeText.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

bool isTimeText(const QString& t) {
    if (t.size() != 11)
        return false;
    for (int i = 0; i < 11; ++i) {
        const bool colon = i == 2 || i == 5 || i == 8;
        if (colon ? t[i] != QLatin1Char(':')
                  : !(t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9')))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavelo;
    FuzzedDataProvider in(data, size);
    const auto seconds = in.ConsumeIntegral<std::int64_t>();
    const double position = in.ConsumeFloatingPoint<double>();
    const double fps = in.ConsumeFloatingPoint<double>();
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QString text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));

    // Reading fields: each is one or two digits, and the seconds add up from them.
    std::optional<int> fields[3];
    const DvdTimeField names[3] = {DvdTimeField::Hours, DvdTimeField::Minutes,
                                   DvdTimeField::Seconds};
    for (int i = 0; i < 3; ++i) {
        const QString fieldText = dvdTimeFieldText(text, names[i]);
        FUZZ_CHECK(fieldText.size() <= 2);
        fields[i] = dvdTimeFieldValue(text, names[i]);
        FUZZ_CHECK(fields[i] == dvdFieldNumber(fieldText));
        if (fields[i])
            FUZZ_CHECK(*fields[i] >= 0 && *fields[i] <= 99);
    }
    const std::optional<std::int32_t> total = dvdTimeSeconds(text);
    FUZZ_CHECK(total.has_value() == (fields[0] && fields[1] && fields[2]));
    if (total)
        FUZZ_CHECK(*total == *fields[0] * 3600 + *fields[1] * 60 + *fields[2]);

    // Seek texts read back as the position they were made for (a whole minute one second on).
    const std::optional<QString> seek = seekText(seconds);
    FUZZ_CHECK(seek.has_value() == (seconds <= kLastSeekSecond));
    if (seek) {
        FUZZ_CHECK(isTimeText(*seek));
        const std::int64_t expected = seconds < 0 ? 0 : seconds;
        const std::optional<std::int32_t> back = dvdTimeSeconds(*seek);
        FUZZ_CHECK(back && (*back == expected || (expected % 60 == 0 && *back == expected + 1)));
    }

    // Time texts always have their shape, and never name more than 99:59:59.
    const QString shown = dvdTimeText(position, fps);
    FUZZ_CHECK(isTimeText(shown));
    const std::optional<std::int32_t> shownSeconds = dvdTimeSeconds(shown);
    FUZZ_CHECK(shownSeconds && *shownSeconds <= kLastSeekSecond);
    return 0;
}
