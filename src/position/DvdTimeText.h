#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace kavelo {

// A DVD time text "HH:MM:SS:FF" holds hours, minutes and seconds at fixed characters 1-2, 4-5
// and 7-8. Readers look at those characters only: separators and frames are never checked.
enum class DvdTimeField { Hours, Minutes, Seconds };

// The characters of one field, as many of the two as the text has (empty past its end).
QString dvdTimeFieldText(const QString& time, DvdTimeField field);

// The number a field's text spells: one or two decimal digits, leading zeros allowed.
// Nothing when the text is empty or holds anything else.
std::optional<int> dvdFieldNumber(const QString& fieldText);

// A field of a time text as a number, nothing when that field is empty or not a number.
std::optional<int> dvdTimeFieldValue(const QString& time, DvdTimeField field);

// Whole seconds of a time text (frames ignored), nothing when any field is not a number.
std::optional<std::int32_t> dvdTimeSeconds(const QString& time);

// Longest position a seek text can name: 99:59:59.
inline constexpr std::int64_t kLastSeekSecond = 99 * 3600 + 59 * 60 + 59;

// The seek text for a slider position in whole seconds: "HH:MM:SS:00", hours, minutes and
// seconds of the position. A seconds field of 00 is sent as 01, so a whole minute seeks one
// second past it. Negative positions count as 0; past 99:59:59 there is no seek text.
std::optional<QString> seekText(std::int64_t seconds);

} // namespace kavelo
