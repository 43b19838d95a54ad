#include "DvdPlayback.h"

#include "MpvSession.h"
#include "Navigator.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <malloc.h>
#include <utility>

namespace kavelo {

namespace {

namespace prop = mpv::name;

constexpr qint64 kPlayBudgetMs = 3000; // Play gives up after this
// Stopped this long, the program is idle: libmpv has long closed the title. A Play soon after
// Stop finds the memory the title held still there instead of faulting it in again.
constexpr int kReleaseAfterStopMs = 5000;

} // namespace

DvdPlayback::DvdPlayback(MpvDriver& driver, DvdStructureReader& discs,
                         std::function<QString()> place)
    : m_driver(driver), m_discs(discs), m_place(std::move(place)), m_title(driver),
      m_scan(driver, m_title,
             [this] { enter(EngineState::Playing, "the scan reached the start"); }),
      m_program(driver, *this) {
    m_title.onStillOver([this] {
        if (m_state != EngineState::Still)
            return;
        try {
            m_title.endStill();
            enter(EngineState::Playing, "the still is over");
        } catch (const std::exception& e) {
            qCWarning(lcDvd) << "the title did not play on after its still:" << e.what();
        }
    });
}

DvdPlayback::~DvdPlayback() = default;

// ---- the state ----------------------------------------------------------------------------------

void DvdPlayback::enter(EngineState next, const char* why) {
    const EngineState was = m_state;
    if (was != next) {
        // Leaving: what belonged to the old state stops.
        if (scanning(was))
            m_scan.stop();
        if (was == EngineState::Still)
            m_title.stopStillTime();
        if (was == EngineState::Menu)
            m_program.leaveMenu();
        m_state = next;
        qCDebug(lcDvd) << "state:" << stateName(was) << "->" << stateName(next) << "-" << why;
        // Entering.
        switch (next) {
        case EngineState::Idle:
        case EngineState::Loading:
            m_title.unload();
            break;
        case EngineState::Menu:
            m_menuPaused = false;
            jumped();
            break;
        case EngineState::Still:
            m_title.holdStill();
            break;
        case EngineState::TitleEnd:
            // The last picture holds; the disc's program (when it is followed) decides what
            // comes next, once the present event is handled.
            m_driver.trySetFlag(prop::kPause, true);
            if (m_program.followed())
                QTimer::singleShot(0, this, [this] {
                    if (m_state == EngineState::TitleEnd && !m_program.busy())
                        m_program.titleEnded();
                });
            break;
        case EngineState::DiscEnded:
            m_driver.trySetFlag(prop::kPause, true);
            break;
        case EngineState::Playing:
        case EngineState::Paused:
        case EngineState::ScanForwards:
        case EngineState::ScanBackwards:
            break;
        }
    }
    publish();
}

void DvdPlayback::publish() {
    DvdSnapshot now;
    now.volume = m_volume;
    now.jumps = m_jumps;
    now.inMenu = m_state == EngineState::Menu;
    now.state = playState();
    if (titleLoaded(m_state)) {
        const DvdTitleInfo& info = m_title.info();
        now.title = m_title.title();
        now.seconds = m_title.position();
        now.chapter = m_title.chapterAt(now.seconds);
        now.chapters = info.chapters;
        now.length = info.length;
        now.fps = m_title.fps();
        now.angle = m_title.angle();
        now.angles = info.angles;
        now.audio = m_audio;
        now.subpicture = m_subpicture >= 0 && (m_subpicture & 0x40) ? m_subpicture & 0x1f : -1;
    }
    if (now == m_snapshot)
        return;
    m_snapshot = now;
    emit m_events.snapshotChanged(m_snapshot);
}

// ---- loading ------------------------------------------------------------------------------------

void DvdPlayback::requireTitle() const {
    if (!titleLoaded(m_state))
        throw EngineError("no disc is playing");
}

void DvdPlayback::loadTitle(const QString& place, DvdStructure structure, int title, double start,
                            int angle, qint64 budgetMs) {
    m_driver.session();
    if (!structure.title(title))
        throw EngineError("the disc has no such title");
    enter(EngineState::Loading, "a title opens");
    try {
        m_title.load(place, std::move(structure), title, start, angle, budgetMs);
    } catch (const std::exception&) {
        enter(EngineState::Idle, "the title did not open");
        throw;
    }
    if (place == m_place())
        m_newPlace = false;
    // Until the disc's program or a bookmark says otherwise, the title's first audio stream
    // plays, whatever libmpv met first in the data.
    if (const std::optional<std::int64_t> track = m_title.audioTrack(0))
        m_driver.session().setText(prop::kAudioId, QByteArray::number(*track));
    m_audio = 0;
    m_subpicture = -1;
    jumped();
    enter(EngineState::Playing, "a title plays");
}

void DvdPlayback::seekTo(double seconds) {
    requireTitle();
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded) {
        // libdvdnav has moved on past the title: it is opened again at the time.
        loadTitle(m_title.place(), m_title.structure(), m_title.title(), seconds, m_title.angle(),
                  kPlayBudgetMs);
        return;
    }
    enter(EngineState::Playing, "a seek");
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_title.seek(seconds);
    // Told once the seek has landed: the pictures played on before it, whose times the seek's
    // wait hands on, are not the jump's place.
    jumped();
    publish();
}

void DvdPlayback::playNormally() {
    m_title.setStopPoint(); // libmpv may wait at a stop passed already (a still cut short)
    enter(EngineState::Playing, "plays on");
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, false);
}

void DvdPlayback::applyStreams(int audio, int subpicture) {
    // The disc counts its audio streams from 0 in the order of its tables; libmpv numbers its
    // tracks as it meets them in the data. The title's table gives each stream's MPEG id, which
    // libmpv keeps as the track's source id; libmpv's order stands in where the table is silent.
    const bool audioKnown = audio >= 0 && audio < 8;
    bool audioSet = !audioKnown;
    if (audioKnown) {
        std::optional<std::int64_t> track;
        if (titleLoaded(m_state))
            track = m_title.audioTrack(audio);
        audioSet = m_driver.session().setText(prop::kAudioId,
                                              QByteArray::number(track.value_or(audio + 1))) >= 0;
    }
    // The subpicture register names a logical stream (shown when 64 is set): Kavelo draws its
    // subtitles itself, libmpv shows none.
    subpicture = subpicture >= 0 && subpicture < 96 ? subpicture : -1;
    const bool subtitleSet = m_driver.session().setText(prop::kSubtitleId, "no") >= 0;
    if (!audioSet || !subtitleSet)
        qCWarning(lcDvd) << "the disc's streams could not be applied: audio" << audio
                         << "subpicture" << subpicture;
    if (audioSet && audioKnown)
        m_audio = audio;
    if (subtitleSet)
        m_subpicture = subpicture;
    m_title.subtitles().select(m_subpicture);
    publish();
}

// ---- the disc's program -------------------------------------------------------------------------

void DvdPlayback::menuLoading() {
    enter(EngineState::Loading, "a menu opens");
}

void DvdPlayback::menuShown(bool shown) {
    enter(shown ? EngineState::Menu : EngineState::Idle,
          shown ? "a menu shows" : "the menu could not be shown");
}

void DvdPlayback::playProgramTitle(const TitleStart& start, qint64 budgetMs) {
    if (!m_disc)
        throw EngineError("no disc's program runs");
    const DvdTitleInfo* info = m_disc->structure.title(start.title);
    const int angle = info && start.streams.angle <= info->angles ? start.streams.angle : 1;
    loadTitle(m_disc->place, m_disc->structure, start.title, start.start, angle, budgetMs);
    m_driver.setFlag(prop::kPause, false);
    applyStreams(start.streams.audio, start.streams.subpicture);
}

void DvdPlayback::programEnded() {
    // A title that ended the program keeps its last picture (and its title and time) on
    // screen, as at the end of any title.
    if (m_state == EngineState::TitleEnd) {
        enter(EngineState::DiscEnded, "the disc's program ended");
        return;
    }
    m_driver.tryCommand({"stop"});
    enter(EngineState::Idle, "the disc's program ended");
}

void DvdPlayback::programAbandoned(qint64 budgetMs) {
    const int longest = m_disc ? m_disc->structure.longestTitle() : 0;
    if (longest > 0)
        loadTitle(m_disc->place, m_disc->structure, longest, 0, 1, budgetMs);
    else
        enter(EngineState::Idle, "the disc has no title to play");
}

// ---- playback commands ------------------------------------------------------------------------

void DvdPlayback::play() {
    QElapsedTimer clock;
    clock.start();
    m_driver.session();
    const QString place = m_place();
    if (!m_newPlace) {
        switch (m_state) {
        case EngineState::Menu:
            playOnInMenu();
            return;
        case EngineState::Still:
            m_title.endStill();
            enter(EngineState::Playing, "Play ends the still");
            return;
        case EngineState::TitleEnd:
            // libdvdnav has moved on past the title by now: the title is opened again.
            loadTitle(m_title.place(), m_title.structure(), m_title.title(), 0, m_title.angle(),
                      kPlayBudgetMs);
            return;
        case EngineState::Playing:
        case EngineState::Paused:
        case EngineState::ScanForwards:
        case EngineState::ScanBackwards:
            playNormally();
            return;
        case EngineState::Idle:
        case EngineState::Loading:
        case EngineState::DiscEnded:
            break;
        }
    }
    DvdStructure structure = m_discs.read(place);
    // The disc's own program decides where playback starts (a disc without one plays its first
    // title); only a disc whose program cannot be followed plays its longest title.
    m_disc = Disc{place, structure};
    try {
        if (m_program.start(m_discs.openMachine(place), kPlayBudgetMs - clock.elapsed())) {
            m_newPlace = false;
            return;
        }
    } catch (const EngineError& e) {
        qCWarning(lcDvd) << "the disc plays without its program:" << e.what();
    }
    m_program.drop();
    const int title = structure.longestTitle();
    loadTitle(place, std::move(structure), title, 0, 1,
              std::max<qint64>(kPlayBudgetMs - clock.elapsed(), 1000));
}

void DvdPlayback::pause() {
    if (m_state == EngineState::Menu) {
        m_driver.setFlag(prop::kPause, true);
        m_menuPaused = true;
        publish();
        return;
    }
    requireTitle();
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded)
        return; // the last picture holds already
    enter(EngineState::Paused, "Pause");
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, true);
    // The picture held now is the one the snapshot tells of, not the one before it.
    onPosition();
}

void DvdPlayback::stop() {
    m_driver.session();
    if (m_state != EngineState::Idle)
        m_driver.tryCommand({"stop"});
    // A later Play starts the disc's program again from its beginning.
    m_program.drop();
    jumped();
    enter(EngineState::Idle, "Stop");
    // libmpv's threads free what the title held once it has closed; while the program stays
    // stopped, that memory goes back to the system instead of waiting for the next title.
    QTimer::singleShot(kReleaseAfterStopMs, this, [this] {
        if (m_state == EngineState::Idle)
            malloc_trim(0);
    });
}

void DvdPlayback::resume() {
    if (m_state == EngineState::Menu) {
        playOnInMenu();
        return;
    }
    requireTitle();
    if (m_state == EngineState::Still) {
        m_title.endStill();
        enter(EngineState::Playing, "Resume ends the still");
    } else if (m_state != EngineState::TitleEnd && m_state != EngineState::DiscEnded) {
        playNormally();
    }
}

void DvdPlayback::scanForwards(double speed) {
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded)
        return; // nothing lies ahead
    enter(EngineState::ScanForwards, "a scan forwards");
    m_scan.startForwards(speed);
}

void DvdPlayback::scanBackwards(double speed) {
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded)
        loadTitle(m_title.place(), m_title.structure(), m_title.title(), m_title.position(),
                  m_title.angle(), kPlayBudgetMs);
    m_title.forgetStill();
    jumped();
    enter(EngineState::ScanBackwards, "a scan backwards");
    // libmpv cannot play a DVD backwards; the scan shows pictures of ever earlier positions.
    m_scan.startBackwards(speed);
}

void DvdPlayback::changeAngle(int angle) {
    // The title opens again at the picture showing, reading the new angle's sectors from there
    // on.
    loadTitle(m_title.place(), m_title.structure(), m_title.title(), m_title.position(), angle,
              kPlayBudgetMs);
}

DvdPlayState DvdPlayback::playState() const noexcept {
    return playStateOf(m_state, m_program.menuMoving() && !m_menuPaused);
}

void DvdPlayback::callMenu() {
    // The menu key in a menu called from a title goes back into the title.
    if (resumeFromMenu())
        return;
    const bool fromTitle = titleLoaded(m_state);
    m_program.openMenu(fromTitle ? m_title.position() : 0, fromTitle);
}

// Play or Resume in a menu: back into the title the menu was called from, else the menu plays on.
void DvdPlayback::playOnInMenu() {
    if (resumeFromMenu())
        return;
    m_driver.setFlag(prop::kPause, false);
    m_menuPaused = false;
    publish();
}

bool DvdPlayback::resumeFromMenu() {
    if (m_state != EngineState::Menu || !m_program.canResume())
        return false;
    m_menuPaused = false;
    return m_program.resume();
}

void DvdPlayback::setVolume(double volume) {
    m_volume = volume;
    publish();
}

void DvdPlayback::windowGone() {
    enter(EngineState::Idle, "the video window goes");
}

// ---- restoring a place --------------------------------------------------------------------------

TitleMark DvdPlayback::mark() {
    requireTitle();
    TitleMark mark;
    mark.place = m_title.place();
    mark.title = m_title.title();
    mark.time = m_title.position();
    mark.angle = m_title.angle();
    mark.audio = m_audio;
    mark.subpicture = m_subpicture;
    if (m_program.followed() && m_disc && m_disc->place == m_title.place())
        mark.registers = m_program.registers();
    return mark;
}

void DvdPlayback::restore(const TitleMark& mark) {
    if (titleLoaded(m_state) && mark.place == m_title.place() && mark.title == m_title.title() &&
        mark.angle == m_title.angle()) {
        seekTo(mark.time);
        if (mark.registers && m_program.followed() && !m_program.setRegisters(*mark.registers))
            qCWarning(lcDvd) << "the bookmark's disc registers could not be set";
        applyStreams(mark.audio, mark.subpicture);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    // Another title, or one left for a menu: the disc's program goes there too where it can,
    // so that the title's end still leads where the disc says.
    if (restoreWithProgram(mark))
        return;
    m_program.drop();
    loadTitle(mark.place, m_discs.read(mark.place), mark.title, mark.time, mark.angle,
              std::max<qint64>(kPlayBudgetMs - clock.elapsed(), 1000));
    applyStreams(mark.audio, mark.subpicture);
}

// A bookmark in another title than the one playing (or taken while a menu shows): the disc's
// machine goes to that title too, so that its end leads where the disc says. False when the
// disc's program is not followed or refuses; the caller then plays the title on its own.
bool DvdPlayback::restoreWithProgram(const TitleMark& mark) {
    if (!m_program.followed() || !m_disc || mark.place != m_disc->place || m_newPlace ||
        !m_program.enterTitle(mark.title))
        return false;
    // The disc's choices (its streams, and what its program keeps in its registers) as they
    // were at the bookmark: the title's end and the menus go on from them.
    if (mark.registers && !m_program.setRegisters(*mark.registers))
        qCWarning(lcDvd) << "the bookmark's disc registers could not be set";
    try {
        loadTitle(m_disc->place, m_disc->structure, mark.title, mark.time, mark.angle,
                  DiscProgram::kStepBudgetMs);
        applyStreams(mark.audio, mark.subpicture);
    } catch (const std::exception& e) {
        // libmpv refused the title: the caller's plain load reports it.
        qCDebug(lcDvd) << "bookmark with the disc's program failed:" << e.what();
        return false;
    }
    return true;
}

} // namespace kavelo
