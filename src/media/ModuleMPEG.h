#pragma once

#include "Mci.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace kavelo {

// Raised by mPlay for a from or to text that is not a number in range.
class MediaNumberError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command texts, exactly as the devices are sent them.
namespace mci {
inline constexpr const char* kOpen = "open %1 type %2 Alias mpeg parent %3 Style 1073741824";
inline constexpr const char* kPlay = "play mpeg from %1 to %2";
inline constexpr const char* kClose = "Close mpeg";
inline constexpr const char* kPause = "Pause mpeg";
inline constexpr const char* kStop = "Stop mpeg";
inline constexpr const char* kResume = "Resume mpeg";
inline constexpr const char* kSeek = "seek mpeg to %1";
inline constexpr const char* kPlayOn = "Play mpeg";
inline constexpr const char* kPutWindow = "put mpeg window at %1 %2 %3 %4";
inline constexpr const char* kTimeFormatFrames = "set mpeg time format frames";
inline constexpr const char* kStatusLength = "status mpeg length";
inline constexpr const char* kStatusPosition = "status mpeg position";
inline constexpr const char* kStatusMode = "status mpeg mode";
inline constexpr const char* kSuccess = "Success";
inline constexpr int kCommandBuffer = 255; // open and play commands are padded to this
inline constexpr int kReplyBuffer = 255;
inline constexpr int kErrorBuffer = 128;
// The driver table.
inline constexpr const char* kDriverSection = "MCI";
inline constexpr const char* kDriverMissing = "None";
inline constexpr const char* kMpegKey = "MPEGVideo";
inline constexpr const char* kMpegDriver = "mciqtz.drv";
inline constexpr const char* kAviKey = "avivideo";
inline constexpr const char* kAviDriver = "mciavi.drv";
} // namespace mci

// Drives one media file under the alias "mpeg" through the media command layer, and keeps the
// driver table in the system profile. Command procedures return "Success" or the layer's error
// text; the two queries return -1 on failure. Nothing here throws for a failed command.
class ModuleMPEG {
public:
    explicit ModuleMPEG(IMci& mci) : m_mci(mci) {}

    QString mOpen(WId window, const QString& path, const QString& deviceType);
    // Plays from fromText to toText (frame numbers as texts); an empty from is frame 1, an
    // empty to is the last frame. Throws MediaNumberError for a text that is not a number.
    QString mPlay(const QString& fromText, const QString& toText);
    QString mClose();
    QString mPause();
    QString mStop();
    QString mResume();
    QString mSeekPlay(std::int32_t frame);
    // A zero width or height takes both from the parent window's rectangle, written back.
    QString mPutWindow(std::int32_t& x, std::int32_t& y, std::int32_t& width, std::int32_t& height);
    std::int32_t mTotalFrames();
    std::int32_t mCurrentFrame();

    // The driver table: one entry of the [MCI] section of the system profile ("None" when
    // absent), a write of one entry, and the check that puts Kavelo's two drivers there.
    QString ReadMCIDriver(const QString& key);
    void WriteMCIDriver(const QString& key, const QString& value);
    void CheckMCIDrivers();

    WId ParentWindow() const { return m_parentWindow; }
    std::int32_t PlayFrom() const { return m_playFrom; }
    std::int32_t PlayTo() const { return m_playTo; }

private:
    QString send(const QString& command);
    QString resultText(std::uint32_t result);
    std::int32_t query(const QString& command);

    IMci& m_mci;
    WId m_parentWindow = 0;
    std::int32_t m_playFrom = 0;
    std::int32_t m_playTo = 0;
};

// The number at the start of a reply, as the queries read it: blanks, a sign, digits and a
// fraction; reading stops at the first character that cannot go on; no number gives 0. The
// value is rounded half to even; nullopt when it does not fit 32 bits.
std::optional<std::int32_t> leadingNumber(const QString& text);

} // namespace kavelo
