#pragma once

#include <QColor>

#include <cstdint>

namespace kavelo {

// The engine's colour value: red in the lowest byte, then green, then blue (not Qt's QRgb,
// which has blue lowest). Every engine and its callers convert through these two.
inline std::uint32_t engineColour(const QColor& colour) {
    return static_cast<std::uint32_t>(colour.red()) |
           (static_cast<std::uint32_t>(colour.green()) << 8) |
           (static_cast<std::uint32_t>(colour.blue()) << 16);
}

inline QColor colourFromEngine(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xff), static_cast<int>((value >> 8) & 0xff),
                  static_cast<int>((value >> 16) & 0xff));
}

} // namespace kavelo
