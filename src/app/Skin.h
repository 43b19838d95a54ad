#pragma once

#include "EngineColour.h"

#include <QByteArray>
#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>

namespace kavelo {

// Skin file names, appended to the program's folder as they stand.
namespace skin {
inline constexpr const char* kLogoStandard = "/skin/logo1.jpg";
inline constexpr const char* kLogo800x600 = "/skin/logo2.jpg";
inline constexpr const char* kWindowColour = "/skin/color1.txt";
inline constexpr const char* kVideoColour = "/skin/color2.txt";
inline constexpr const char* kPlay = "/skin/play.jpg";
inline constexpr const char* kPause = "/skin/pause.jpg";
inline constexpr const char* kStop = "/skin/stop.jpg";
inline constexpr const char* kPrevious = "/skin/previouschapter.jpg";
inline constexpr const char* kNext = "/skin/nextchapter.jpg";
inline constexpr const char* kRewind = "/skin/rewind.jpg";
inline constexpr const char* kFast = "/skin/fastforward.jpg";
inline constexpr const char* kFullScreen = "/skin/fullscreen.jpg";
} // namespace skin

// Reads a colour file's field: byte 0 is its length N as one digit, bytes 2.. are the field.
// Returns nothing when the file cannot be opened or its first byte is no digit; a file shorter
// than 2 + N bytes gives the bytes that are there. Never creates or writes the file, and reads
// at most N bytes whatever the file's size.
std::optional<QByteArray> readColourField(const QString& path);

// The field as a palette number 0..15 (decimal digits, blanks around allowed); nothing otherwise.
std::optional<int> colourNumber(const QByteArray& field);

// The sixteen-colour palette. `number` must be 0..15.
QColor paletteColour(int number);

} // namespace kavelo
