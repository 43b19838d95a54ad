#pragma once

#include <QString>

#include <optional>

namespace kavelo {

// Writes a DVD time text "HH:MM:SS:FF" for a position in seconds at a frame rate.
// Hours above 99 are clamped to 99:59:59, negative positions to zero.
QString dvdTimeText(double seconds, double framesPerSecond);

// Reads "HH:MM:SS:FF" (the frames field may be left off) at a frame rate into seconds; nullopt
// when malformed.
std::optional<double> parseDvdTime(const QString& text, double fps);

} // namespace kavelo
