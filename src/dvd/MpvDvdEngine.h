#pragma once

#include "BookmarkStore.h"
#include "DiscProgram.h"
#include "DvdEngine.h"
#include "DvdStructure.h"
#include "EngineState.h"
#include "FastScan.h"
#include "MpvDriver.h"
#include "TitlePlayback.h"
#include "VideoSurface.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace kavelo {

namespace mpv {
struct Event;
} // namespace mpv

// The DVD engine of the main window: libmpv decodes and shows the disc in a native child
// widget of `parent` (object name "dvdMain"); the disc's structure and program come from
// libdvdnav. Throws EngineError when libmpv cannot be started.
std::unique_ptr<IDvdEngine> makeMpvDvdEngine(QWidget* parent);

// The engine's parts: the video surface, the libmpv driver, the playing title, the fast scans
// and the disc's program. This class holds the one state they share, moves it through
// enter(), and keeps the snapshot its getters read.
class MpvDvdEngine final : public QObject,
                           public IDvdEngine,
                           public IDvdMenus,
                           private DiscProgramHost {
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
    const DvdSnapshot& snapshot() const noexcept override { return m_snapshot; }
    DvdEngineEvents& events() noexcept override { return m_events; }
    IDvdMenus* menus() noexcept override { return this; }

    // The disc's menus (IDvdMenus).
    bool menuFollowed() const noexcept override { return m_program.followed(); }
    bool menuShowing() const noexcept override { return m_state == EngineState::Menu; }
    void callMenu() override;
    void moveSelection(MenuMove move) override;
    void activateSelection() override;
    void pointerAt(QPoint at, bool click) override;
    void videoResized() override;

    EngineState state() const { return m_state; }

private:
    friend struct EngineTestPeer;

    struct Bookmark {
        QString place;
        int title = 0;
        double time = 0;
        int angle = 1;
        // The stream registers, 0-based as the disc counts them; -1 for none.
        int audio = 0;
        int subpicture = -1;
    };
    // The disc whose program the engine follows, as read when it started.
    struct Disc {
        QString place;
        DvdStructure structure;
    };

    // The one way the state changes: the old state's exit actions, the new one's entry
    // actions, a line in kavelo.dvd, and the snapshot told.
    void enter(EngineState next, const char* why);
    void publish();
    void jumped() { ++m_jumps; }

    void startQuietly();
    void releasePlayer();
    void handleEvent(const mpv::Event& event);
    void onPosition();
    void onEndReached();
    void discGone(const char* why);

    void requireTitle() const;
    void loadTitle(const QString& place, DvdStructure structure, int title, double start, int angle,
                   qint64 budgetMs);
    void seekTo(double seconds);
    void playNormally();
    void applyStreams(int audio, int subpicture);
    bool restoreWithProgram(const Bookmark& mark);
    QString defaultDevice() const;

    // DiscProgramHost
    void menuLoading() override;
    void menuShown(bool shown) override;
    void playProgramTitle(const TitleStart& start, qint64 budgetMs) override;
    void programEnded() override;
    void programAbandoned(qint64 budgetMs) override;

    // Declared in the order they are made; libmpv ends before the video window's widget.
    VideoSurface m_surface;
    MpvDriver m_driver;
    TitlePlayback m_title;
    FastScan m_scan;
    DiscProgram m_program;
    DvdStructureReader m_discs{std::chrono::milliseconds(2000)}; // the place last read
    BookmarkStore m_bookmarks;                                   // one per disc, on disk

    EngineState m_state = EngineState::Idle;
    QString m_directory;     // as set; empty means the default drive
    bool m_newPlace = false; // set since the last load from it
    std::optional<Disc> m_disc;
    bool m_menuPaused = false; // the viewer paused the menu on screen
    double m_volume = 1;
    int m_audio = 0; // the streams last applied, as the disc counts them
    int m_subpicture = -1;
    std::uint64_t m_jumps = 0;
    std::optional<Bookmark> m_bookmark;

    DvdSnapshot m_snapshot;
    DvdEngineEvents m_events;
};

} // namespace kavelo
