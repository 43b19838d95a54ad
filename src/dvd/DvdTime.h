#pragma once

#include <QString>

namespace kavelo {

// Writes a DVD time text "HH:MM:SS:FF" for a position in seconds at a frame rate.
// Hours above 99 are clamped to 99:59:59, negative positions to zero.
QString dvdTimeText(double seconds, double framesPerSecond);

} // namespace kavelo
