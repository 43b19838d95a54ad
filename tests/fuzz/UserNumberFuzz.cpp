// Numbers the user types, in several locales: a number fits its width, and a number that fits
// 16 bits reads the same as a 32-bit one.
#include "FuzzSupport.h"
#include "UserNumber.h"

#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

namespace {
const char* const kLocales[] = {"C", "en_US", "de_DE", "fr_FR", "hi_IN", "ar_EG"};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kavelo;
    FuzzedDataProvider in(data, size);
    QLocale::setDefault(QLocale(QString::fromLatin1(in.PickValueInArray(kLocales))));
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QString text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));

    const std::optional<std::int16_t> small = userNumber16(text);
    const std::optional<std::int32_t> large = userNumber32(text);
    if (small)
        FUZZ_CHECK(large && *large == *small);
    if (large && *large >= INT16_MIN && *large <= INT16_MAX)
        FUZZ_CHECK(small && *small == *large);
    if (text.trimmed().isEmpty())
        FUZZ_CHECK(!large);
    return 0;
}
