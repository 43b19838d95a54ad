#pragma once

#include "DiscProgram.h"
#include "DvdEngine.h"
#include "DvdStructure.h"
#include "EngineState.h"
#include "FastScan.h"
#include "MpvDriver.h"
#include "TitlePlayback.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace kavelo {

namespace mpv {
struct Event;
} // namespace mpv

// A place in a title: the disc, the title, the time, the angle and the streams. A bookmark is
// one.
struct TitleMark {
    QString place;
    int title = 0;
    double time = 0;
    int angle = 1;
    // The stream registers, 0-based as the disc counts them; -1 for none. The subpicture's is
    // the logical stream plus 64 when it is shown (else only its forced subpictures show).
    int audio = 0;
    int subpicture = -1;
    // The disc's registers when its program was followed and they could be read.
    std::optional<NavRegisters> registers;
};

// What the DVD engine plays and the one state it is in: the playing title, the fast scans and
// the disc's program move it, always through enter(), and the snapshot tells of it. The engine
// checks a command's arguments and hands it here; libmpv's events come here too.
class DvdPlayback final : public QObject, private DiscProgramHost {
    Q_OBJECT
public:
    // `discs` reads a disc's structure; `place` gives the disc place as set now.
    DvdPlayback(MpvDriver& driver, DvdStructureReader& discs, std::function<QString()> place);
    ~DvdPlayback() override;

    DvdPlayback(const DvdPlayback&) = delete;
    DvdPlayback& operator=(const DvdPlayback&) = delete;

    EngineState state() const noexcept { return m_state; }
    const TitlePlayback& title() const noexcept { return m_title; }
    DiscProgram& program() noexcept { return m_program; }
    const DiscProgram& program() const noexcept { return m_program; }
    const DvdSnapshot& snapshot() const noexcept { return m_snapshot; }
    DvdEngineEvents& events() noexcept { return m_events; }
    DvdPlayState playState() const noexcept;
    // Throws EngineError when no title is loaded.
    void requireTitle() const;
    // Where the title plays now, with its streams. Throws EngineError when no title is loaded.
    TitleMark mark();

    // The playback commands, their arguments checked already. Throw EngineError.
    void play();
    void pause();
    void stop();
    void resume();
    void seekTo(double seconds);
    void scanForwards(double speed);
    void scanBackwards(double speed);
    void changeAngle(int angle);
    void restore(const TitleMark& mark);
    void callMenu();
    // From a menu called in a title, back into that title where it was left (the disc's own
    // resume); false when the menu has no title to go back to.
    bool resumeFromMenu();

    void setVolume(double volume);
    // The disc place was set: the next Play reads it, whatever plays now.
    void placeChanged() noexcept { m_newPlace = true; }
    // The video window goes, and libmpv with it.
    void windowGone();

    // libmpv's events, and a read of the title's sectors that failed at `address`.
    void handleEvent(const mpv::Event& event);
    void readFailed(const QByteArray& address);

private:
    void playOnInMenu();
    friend struct EngineTestPeer;

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

    // `told`: the time a position event carried, if it came from one.
    void onPosition(std::optional<double> told = std::nullopt);
    void onEndReached();
    void discGone(const char* why);

    void loadTitle(const QString& place, DvdStructure structure, int title, double start, int angle,
                   qint64 budgetMs);
    void playNormally();
    void applyStreams(int audio, int subpicture);
    bool restoreWithProgram(const TitleMark& mark);

    // DiscProgramHost
    void menuLoading() override;
    void menuShown(bool shown) override;
    void playProgramTitle(const TitleStart& start, qint64 budgetMs) override;
    void programEnded() override;
    void programAbandoned(qint64 budgetMs) override;

    MpvDriver& m_driver;
    DvdStructureReader& m_discs;
    std::function<QString()> m_place;
    // They hold the driver: they go before it.
    TitlePlayback m_title;
    FastScan m_scan;
    DiscProgram m_program;

    EngineState m_state = EngineState::Idle;
    bool m_newPlace = false; // set since the last load from it
    std::optional<Disc> m_disc;
    bool m_menuPaused = false; // the viewer paused the menu on screen
    double m_volume = 1;
    int m_audio = 0; // the streams last applied, as the disc counts them
    int m_subpicture = -1;
    std::uint64_t m_jumps = 0;

    DvdSnapshot m_snapshot;
    DvdEngineEvents m_events;
};

} // namespace kavelo
