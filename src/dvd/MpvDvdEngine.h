#pragma once

#include "BookmarkStore.h"
#include "BusyPointer.h"
#include "DvdEngine.h"
#include "DvdPlayback.h"
#include "DvdStructure.h"
#include "EngineState.h"
#include "MpvDriver.h"
#include "VideoSurface.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace kavelo {

// The DVD engine of the main window: libmpv decodes and shows the disc in a native child
// widget of `parent` (object name "dvdMain"); the disc's structure and program come from
// libdvdnav. Throws EngineError when libmpv cannot be started.
std::unique_ptr<IDvdEngine> makeMpvDvdEngine(QWidget* parent);

// The engine as the desktop sees it: its commands check their arguments and go to the
// playback, which holds the engine's one state; its getters read. It keeps the disc place, the
// picture and sound (through the video surface and libmpv) and the bookmark.
class MpvDvdEngine final : public QObject, public IDvdEngine, public IDvdMenus {
    Q_OBJECT
public:
    explicit MpvDvdEngine(QWidget* parent);
    ~MpvDvdEngine() override;

    MpvDvdEngine(const MpvDvdEngine&) = delete;
    MpvDvdEngine& operator=(const MpvDvdEngine&) = delete;

    QWidget* widget() override;

    void Play() override;
    void Pause() override;
    void Stop() override;
    void Resume() override;
    void PlayChapter(std::int32_t chapter) override;
    void PlayNextChapter() override;
    void PlayPrevChapter() override;
    void PlayAtTime(const QString& time) override;
    void PlayForwards(double speed) override;
    void PlayBackwards(double speed) override;
    DvdPlayState PlayState() noexcept override;

    bool FullScreenMode() override;
    void SetFullScreenMode(bool on) override;

    std::int32_t CurrentTitle() override;
    std::int32_t CurrentChapter() override;
    QString CurrentTime() override;
    QString TotalTitleTime() override;

    void SetDVDDirectory(const QString& path) override;
    QString DVDDirectory() override;

    std::int32_t CurrentAngle() override;
    void SetCurrentAngle(std::int32_t angle) override;
    std::int32_t AnglesAvailable() override;

    void SetMute(bool on) override;
    void Zoom(std::int32_t x, std::int32_t y, double ratio) override;

    void SaveBookmark() override;
    void RestoreBookmark() override;
    void DeleteBookmark() override;

    void SetBackColor(std::uint32_t colour) override;
    void SetVolume(double volume) override;
    const DvdSnapshot& snapshot() const noexcept override { return m_playback.snapshot(); }
    DvdEngineEvents& events() noexcept override { return m_playback.events(); }
    IDvdMenus* menus() noexcept override { return this; }

    // The disc's menus (IDvdMenus).
    bool menuFollowed() const noexcept override { return m_playback.program().followed(); }
    bool menuShowing() const noexcept override { return m_playback.state() == EngineState::Menu; }
    void callMenu() override;
    bool resumeTitle() override;
    void moveSelection(MenuMove move) override;
    void activateSelection() override;
    void pointerAt(QPoint at, bool click) override;
    void videoResized() override;

    EngineState state() const { return m_playback.state(); }

private:
    friend struct EngineTestPeer;

    void startQuietly();
    void releasePlayer();
    QString defaultDevice() const;

    // Declared in the order they are made: the playback's parts hold the driver and go before
    // it, and libmpv ends before the video window's widget.
    VideoSurface m_surface;
    MpvDriver m_driver;
    BusyPointer m_busy; // while a drive spins up under a command
    DvdStructureReader m_discs{std::chrono::milliseconds(2000)}; // the place last read
    BookmarkStore m_bookmarks;                                   // one per disc, on disk
    DvdPlayback m_playback;

    QString m_directory; // as set; empty means the default drive
    std::optional<TitleMark> m_bookmark;
};

} // namespace kavelo
