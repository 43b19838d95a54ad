#pragma once

#include <QObject>
#include <QPoint>
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

// What the engine shows now, as its own events and timers last left it. Reading it costs
// nothing and changes nothing; the engine tells its listeners when it changes.
struct DvdSnapshot {
    DvdPlayState state = DvdPlayState::Stopped;
    bool inMenu = false;     // a disc menu shows: no title plays
    int title = 0;           // 1-based; 0 when no title plays
    int chapter = 0;         // 1-based; 0 when no title plays
    int chapters = 0;        // of the title
    double seconds = 0;      // into the title, of the picture on screen
    double length = 0;       // of the title, in seconds
    double fps = 25;         // pictures a second of the title
    int angle = 1;           // 1-based
    int angles = 1;          // of the title
    int audio = -1;          // 0-based as the disc counts its streams; -1 for none
    int subpicture = -1;     // likewise
    double volume = 1;       // the sound's volume, 0 to 1 (muting aside)
    std::uint64_t jumps = 0; // grows on every jump: a seek, a chapter, a title, a menu, a stop

    bool operator==(const DvdSnapshot&) const = default;
};

// The engine's announcements, for whoever follows it (media controls, the screensaver).
class DvdEngineEvents : public QObject {
    Q_OBJECT
signals:
    void snapshotChanged(const kavelo::DvdSnapshot& now);
};

enum class MenuMove { Up, Down, Left, Right };

// A disc's own menus, worked from the window around the video: keys and the pointer.
class IDvdMenus {
public:
    virtual ~IDvdMenus() = default;
    // Whether the disc's program is followed (its menus can be called).
    virtual bool menuFollowed() const noexcept = 0;
    // Whether one of the disc's menus is on screen.
    virtual bool menuShowing() const noexcept = 0;
    // The disc's menu, from a title or from a menu.
    virtual void callMenu() = 0;
    // From a menu called in a title, back into that title where it was left; false when the
    // menu on screen has no title to go back to.
    virtual bool resumeTitle() = 0;
    virtual void moveSelection(MenuMove move) = 0;
    virtual void activateSelection() = 0;
    // The pointer at `at`, in device pixels of the video widget; `click`: the left button went
    // down there.
    virtual void pointerAt(QPoint at, bool click) = 0;
    // The video widget changed size.
    virtual void videoResized() = 0;
};

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

    // The sound's volume from 0 (silent) to 1 (as recorded); muting stays its own switch.
    virtual void SetVolume(double volume) = 0;
    // What plays now; never throws, never changes anything.
    virtual const DvdSnapshot& snapshot() const noexcept = 0;
    // Emits snapshotChanged whenever snapshot() changes.
    virtual DvdEngineEvents& events() noexcept = 0;
    // The disc's menus; null for an engine without them.
    virtual IDvdMenus* menus() noexcept { return nullptr; }
};

using DvdEngineFactory = std::unique_ptr<IDvdEngine> (*)(QWidget* parent);

} // namespace kavelo
