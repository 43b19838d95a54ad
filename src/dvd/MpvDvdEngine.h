#pragma once

#include "BookmarkStore.h"
#include "DvdEngine.h"
#include "DvdStructure.h"
#include "TitleClock.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kavelo {

namespace mpv {
class Session;
class MenuStreams;
class TitleStreams;
struct Event;
} // namespace mpv
class Navigator;
struct NavDecision;
struct MenuPiece;

// The DVD engine of the main window: libmpv decodes and shows the disc in a native child
// widget of `parent` (object name "dvdMain"), libdvdnav tells titles, chapters and angles.
// Throws EngineError when libmpv cannot be started.
std::unique_ptr<IDvdEngine> makeMpvDvdEngine(QWidget* parent);

class MpvDvdEngine final : public QObject, public IDvdEngine {
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

    // Beyond the interface, for tests and measurements.
    // Plays the title with the 1-based number from its start.
    void PlayTitle(int title);
    // The playing position within the title in seconds; raises when nothing is loaded.
    double positionSeconds();
    // Pictures shown after a seek (each step of a backward scan shows one) since construction.
    int pictureUpdates() const { return m_pictureUpdates; }
    // Whether a fast scan in either direction is running.
    bool scanning() const { return m_scan != Scan::None; }
    // Reads an mpv property as text, empty when it has none (diagnostics only).
    QString propertyText(const char* name);
    // The picture libmpv shows now, as the video decodes it; null when there is none.
    QImage picture();
    // Whether the title plays as one program stream read from its cells' sectors (else through
    // libmpv's DVD navigation).
    bool playsPlainStream() const { return m_loaded && m_plainStream; }
    // How many times a disc's structure was read by the probe (for tests).
    int discProbes() const { return m_discs.probes(); }

private:
    enum class Scan { None, Forwards, Backwards };
    struct Bookmark {
        QString place;
        int title = 0;
        double time = 0;
        int angle = 1;
        // The stream registers, 0-based as the disc counts them; -1 for none.
        int audio = 0;
        int subpicture = -1;
    };

    void startQuietly();
    void startPlayer();
    void drainEvents();
    void handleEvent(const mpv::Event& event);
    template <class Pred> bool waitFor(Pred done, qint64 deadlineMs);
    void releasePlayer();
    void discGone();
    void onPosition();
    void onEndReached();
    void reachTitleEnd();
    double nextStop();
    void setStopPoint();
    void holdStill(const TitleClock::Still& still);
    void endStill();
    void forgetStill();

    mpv::Session& player();
    void requireLoaded();
    const DvdTitleInfo& currentTitleInfo();
    void load(const QString& place, DvdStructure structure, int title, double start, int angle,
              qint64 budgetMs);
    void seekTo(double seconds);
    void playNormally();
    void stopScan();
    double scanClockTarget() const;
    void scheduleScanStep();
    void scanStep();
    double currentPosition();
    int chapterIndexAt(double seconds);
    double framesPerSecond() const;
    QString defaultDevice() const;

    // The disc's own program: first-play, menus, the order of titles (MpvDvdEngineMenus.cpp).
    bool startDiscProgram(const QString& place, qint64 budgetMs);
    void follow(const NavDecision& decision, qint64 budgetMs);
    void followStep(const char* what, const std::function<NavDecision()>& decide);
    void prepareMenuPlayback();
    void showMenu(const MenuPiece& piece, qint64 budgetMs);
    void leaveMenu();
    void drawHighlight(bool activated);
    void onPieceEnd();
    void onTitleEnd();
    void openDiscMenu();
    void menuActed(const NavDecision& decision);
    // The audio and subpicture streams, 0-based as the disc counts them (-1: none).
    void applyStreams(int audio, int subpicture);
    std::pair<int, int> playingStreams();
    bool restoreWithProgram(const Bookmark& mark);
    bool eventFilter(QObject* watched, QEvent* event) override;

    void refreshSnapshot() noexcept;

    void setFlag(const char* name, bool value);
    void setDouble(const char* name, double value);
    void setText(const char* name, const QString& value);
    void command(std::initializer_list<QByteArray> args);

    // Menu pieces and titles are read by libmpv until it is gone: they outlive it.
    std::unique_ptr<mpv::MenuStreams> m_menuStreams;
    std::unique_ptr<mpv::TitleStreams> m_titleStreams;
    bool m_titleStreamsInstalled = false;           // with the present player
    const mpv::Session* m_menuStreamsFor = nullptr; // the player they are registered with
    bool m_menuInputWatched = false;
    std::unique_ptr<mpv::Session> m_mpv; // from the first time the video is drawn or needed
    QByteArray m_background = "#000000";
    QPointer<QWidget> m_video;      // dvdMain
    QPointer<QWidget> m_fullWindow; // ours; the application may delete it at exit first
    QPointer<QWidget> m_savedParent;
    QRect m_savedGeometry;
    bool m_fullScreen = false;

    QString m_directory;     // as set; empty means the default drive
    bool m_newPlace = false; // set since the last load from it
    // What is loaded now.
    bool m_loaded = false;
    QString m_loadedPlace;
    DvdStructure m_structure;
    DvdStructureReader m_discs{std::chrono::milliseconds(2000)}; // the place last read
    BookmarkStore m_bookmarks;                                   // one per disc, on disk
    int m_title = 0;
    int m_angle = 1;
    double m_loadStart = 0;
    bool m_plainStream = false; // the title plays as one program stream over its sectors
    QByteArray m_titleAddress;  // libmpv's address of that stream
    double m_fps = 25;
    double m_lastPosition = 0;
    // The title's time from its cell table, and where libmpv is to stop next: the end of a
    // cell with a still, or the title's end.
    TitleClock m_clock;
    std::optional<TitleClock::Still> m_stopStill;
    std::optional<std::size_t> m_stopCell;  // the cell playing when the stop was set
    std::optional<std::size_t> m_heldStill; // the cell whose still was held last
    bool m_holdingStill = false;
    QTimer m_cellStillTimer;
    bool m_titleEnded = false;
    double m_stopSet = 0; // the end libmpv was given last, in its time

    // The load being waited for.
    std::int64_t m_entry = -1;
    bool m_awaitStart = false;
    bool m_entryLoaded = false;
    bool m_entryEnded = false;

    Scan m_scan = Scan::None;
    double m_scanSpeed = 16;
    double m_scanOrigin = 0;
    QElapsedTimer m_scanClock;
    double m_scanShown = 0;   // where the picture on screen lies
    double m_scanBackOff = 0; // how far before it the next step aims
    QTimer m_scanTimer;
    bool m_seekPending = false;
    int m_pictureUpdates = 0;

    std::optional<Bookmark> m_bookmark;

    // The disc's program, while it is followed; absent when the disc plays without it.
    std::unique_ptr<Navigator> m_nav;
    bool m_inMenu = false;     // a menu piece shows: the title commands fail
    bool m_menuEnding = false; // the piece on screen goes on to the program's next step
    bool m_discEnded = false;  // the disc's program ended: Play starts it again
    bool m_following = false;  // a step of the program runs (no re-entry from events)
    int m_stillSeconds = 0;
    QTimer m_stillTimer;
    std::vector<std::uint8_t> m_overlay[2]; // the highlight libmpv shows, and the one before
    int m_overlayIndex = 0;
    bool m_overlayShown = false;

    DvdSnapshot m_snapshot;
    DvdEngineEvents m_events;
    QTimer m_snapshotTimer;
    double m_volume = 1;
};

} // namespace kavelo
