#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

class QWidget;

namespace kavelo {

// The one error type every engine operation raises when it cannot do what was asked.
// Callers never look at its text; it is there for debugging.
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the engine is doing, as the desktop around the player sees it (media controls, the
// screensaver). A fast scan in either direction counts as playing.
enum class DvdPlayState { Stopped, Paused, Playing };

// The DVD engine hosted by the main window as `dvdMain`. Every operation either does what it
// says or throws EngineError. Times are DVD time texts "HH:MM:SS:FF".
class IDvdEngine {
public:
    virtual ~IDvdEngine() = default;

    // The widget that shows the video; the window places and sizes it.
    virtual QWidget* widget() = 0;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Resume() = 0;
    virtual void PlayChapter(std::int32_t chapter) = 0;
    virtual void PlayNextChapter() = 0;
    virtual void PlayPrevChapter() = 0;
    virtual void PlayAtTime(const QString& time) = 0;
    virtual void PlayForwards(double speed) = 0;
    virtual void PlayBackwards(double speed) = 0;
    // Never throws: an engine that cannot tell is stopped.
    virtual DvdPlayState PlayState() noexcept = 0;

    virtual bool FullScreenMode() = 0;
    virtual void SetFullScreenMode(bool on) = 0;

    virtual std::int32_t CurrentTitle() = 0;
    virtual std::int32_t CurrentChapter() = 0;
    virtual QString CurrentTime() = 0;
    virtual QString TotalTitleTime() = 0;

    virtual void SetDVDDirectory(const QString& path) = 0;
    virtual QString DVDDirectory() = 0;

    virtual std::int32_t CurrentAngle() = 0;
    virtual void SetCurrentAngle(std::int32_t angle) = 0;
    virtual std::int32_t AnglesAvailable() = 0;

    virtual void SetMute(bool on) = 0;
    virtual void Zoom(std::int32_t x, std::int32_t y, double ratio) = 0;

    virtual void SaveBookmark() = 0;
    virtual void RestoreBookmark() = 0;
    virtual void DeleteBookmark() = 0;

    // Colour around and behind the video: red in the lowest byte, then green, then blue.
    virtual void SetBackColor(std::uint32_t colour) = 0;
};

using DvdEngineFactory = std::unique_ptr<IDvdEngine> (*)(QWidget* parent);

} // namespace kavelo
