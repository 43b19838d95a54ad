#include "UserNumber.h"

#include <QLocale>

#include <cfenv>
#include <cmath>
#include <limits>

namespace kavelo {
namespace {

std::optional<double> parse(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale().toDouble(trimmed, &ok);
    if (!ok) // numbers written the plain way are understood in every locale
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

template <class Int> std::optional<Int> userNumber(const QString& text) {
    const auto value = parse(text);
    if (!value)
        return std::nullopt;
    const int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(*value); // halves go to the even neighbour
    std::fesetround(oldMode);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(rounded);
}

} // namespace

std::optional<std::int16_t> userNumber16(const QString& text) {
    return userNumber<std::int16_t>(text);
}

std::optional<std::int32_t> userNumber32(const QString& text) {
    return userNumber<std::int32_t>(text);
}

} // namespace kavelo
