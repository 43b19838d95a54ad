#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QAction;

namespace kavelo {

class IDialogs;
class IDvdEngine;

// The parts of the main window that the playback commands act on.
struct PlayerControls {
    IDvdEngine* dvdMain = nullptr;
    QWidget* picLogo = nullptr;
    QWidget* sliMain = nullptr;
    QTimer* timTime = nullptr;
    QTimer* timTimeMenu = nullptr;
    QAction* mnuPopMuteOn = nullptr; // its caption is the mute state
    QWidget* window = nullptr;       // the main window, also the parent of messages
    IDialogs* dialogs = nullptr;
};

namespace message {
inline constexpr const char* kInsertDvd = "Please Insert DVD Rom.";
inline constexpr const char* kChapterNotFound = "Chapter Not Found";
inline constexpr const char* kPleaseWait = "Please Wait";
inline constexpr const char* kAngleNotAvailable = "Angle isn't available";
inline constexpr const char* kNoSuchDrive = "No such Drive/Directory";
} // namespace message

// The main window's playback commands. Each handles the engine's failures itself (a fixed
// message, or silence) and never lets an exception out, so they may be called from any slot.
class PlaybackCommands {
public:
    explicit PlaybackCommands(PlayerControls controls);

    void dPlay() noexcept;
    void dStop() noexcept;
    void dPause() noexcept;
    void dResume() noexcept;
    void dSelectChapter() noexcept;
    void dPreviousChapter() noexcept;
    void dNextChapter() noexcept;
    void dMuteOnOff() noexcept;
    void dSaveBookmark() noexcept;
    void dRestoreBookmark() noexcept;
    void dFullScreen() noexcept;

    // Carried out by the menus and buttons directly; failures are absorbed silently.
    void zoom4x() noexcept;
    void zoomOff() noexcept;
    void fastForwards() noexcept;
    void fastBackwards() noexcept;
    void exitFullScreen() noexcept;

private:
    // Runs the steps; the first failure ends them with the message.
    template <class F> void trap(const char* message, F&& steps) noexcept;
    void show(const char* message) noexcept;
    // The window that messages and the chapter question belong to.
    QWidget* dialogParent() noexcept;

    PlayerControls m_c;
};

} // namespace kavelo
