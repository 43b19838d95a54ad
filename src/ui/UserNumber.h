#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace kavelo {

// Turns what the user typed into a whole number the way the desktop's locale reads numbers:
// blanks around are ignored, the user's decimal separator and digit grouping apply, a fraction
// rounds to the nearest whole number with a half going to the even neighbour. Empty text,
// text that is no number and values outside the target width give nothing.
std::optional<std::int16_t> userNumber16(const QString& text);
std::optional<std::int32_t> userNumber32(const QString& text);

} // namespace kavelo
