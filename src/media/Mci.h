#pragma once

#include <QString>

#include <cstdint>

namespace kavelo {

// Result codes of the media command layer. 0 is success; the rest have texts of their own.
enum class MciError : std::uint32_t {
    None = 0,
    EmptyCommand = 257,
    UnknownCommand = 258,
    UnknownKeyword = 259,
    MissingValue = 260,
    BadNumber = 261,
    OutOfRange = 262,
    BadQuotes = 263,
    UnknownAlias = 264,
    AliasInUse = 265,
    NoDriver = 266,
    FileNotFound = 267,
    CannotPlay = 268,
    NoDisplay = 269,
    BadWindow = 270,
    NoFrames = 271,
    NoPicture = 272,
    EngineFailed = 273,
    NoSoundfont = 274,
    QuoteInName = 275,
    Timeout = 276,
};

// The text for a result code, or an empty text for a code that is not one of ours.
QString mciErrorText(std::uint32_t code);

// The media command-string interface: one text command in, a numeric result and an optional
// reply text out. Commands return as soon as the device has taken them; playback goes on.
class IMci {
public:
    virtual ~IMci() = default;

    // Runs `command`. When `reply` is given, it receives the answer cut to replyLength - 1
    // characters (an empty text when there is none). Returns 0 or an MciError code; never throws.
    virtual std::uint32_t sendString(const QString& command, QString* reply, int replyLength) = 0;

    // The text for `code`, cut to length - 1 characters; false for a code that has none.
    virtual bool getErrorString(std::uint32_t code, QString* text, int length) = 0;
};

} // namespace kavelo
