#include "MpvDvdEngine.h"

#include "DvdTime.h"
#include "LoadTracker.h"
#include "MpvSession.h"
#include "Navigator.h"
#include "TitleStreams.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kavelo {

namespace {

namespace prop = mpv::name;
using mpv::Event;

constexpr qint64 kPlayBudgetMs = 3000; // Play gives up after this
constexpr qint64 kStepBudgetMs = 3000; // a step of the disc's program: reading and loading

} // namespace

std::unique_ptr<IDvdEngine> makeMpvDvdEngine(QWidget* parent) {
    return std::make_unique<MpvDvdEngine>(parent);
}

MpvDvdEngine::MpvDvdEngine(QWidget* parent)
    // libmpv comes up right after the window is on the screen (or at the first command that
    // needs it, should that come first): loading it takes longer than showing the window.
    : m_surface(
          parent, [this] { QTimer::singleShot(0, this, &MpvDvdEngine::startQuietly); },
          [this] { releasePlayer(); }),
      m_driver([this] { return m_surface.nativeWindow(); },
               [this](const Event& event) { handleEvent(event); }),
      m_title(m_driver),
      m_scan(m_driver, m_title,
             [this] { enter(EngineState::Playing, "the scan reached the start"); }),
      m_program(m_driver, *this) {
    m_driver.titleStreams().onReadFailed([this](const QByteArray& address) {
        QMetaObject::invokeMethod(
            this,
            [this, address] {
                // A title read before the present one may still fail while it closes.
                if (titleLoaded(m_state) && m_title.plainStream() &&
                    address == m_title.streamAddress())
                    discGone("the title's sectors cannot be read");
            },
            Qt::QueuedConnection);
    });
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

MpvDvdEngine::~MpvDvdEngine() = default;

QWidget* MpvDvdEngine::widget() {
    return m_surface.widget();
}

// ---- the state ----------------------------------------------------------------------------------

void MpvDvdEngine::enter(EngineState next, const char* why) {
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

void MpvDvdEngine::publish() {
    DvdSnapshot now;
    now.volume = m_volume;
    now.jumps = m_jumps;
    now.inMenu = m_state == EngineState::Menu;
    now.state = PlayState();
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
        now.subpicture = m_subpicture;
    }
    if (now == m_snapshot)
        return;
    m_snapshot = now;
    emit m_events.snapshotChanged(m_snapshot);
}

// ---- libmpv -------------------------------------------------------------------------------------

void MpvDvdEngine::startQuietly() {
    try {
        if (m_surface.widget())
            m_driver.session();
    } catch (const std::exception& error) {
        qCWarning(lcDvd) << "the DVD player did not start:" << error.what();
    }
}

void MpvDvdEngine::releasePlayer() {
    enter(EngineState::Idle, "the video window goes");
    m_surface.forgetFullScreen();
    m_driver.release();
}

void MpvDvdEngine::handleEvent(const Event& event) {
    switch (event.type) {
    case Event::Type::EndFile:
        // The entry playing now ended under the title: the disc went away or could not be read.
        if (m_driver.loads().ended() && titleLoaded(m_state)) {
            if (event.failed)
                qCWarning(lcDvd) << "the title ended with an error:"
                                 << mpv::Session::errorText(event.error);
            discGone("the title ended");
        }
        break;
    case Event::Type::PlaybackRestart:
        m_title.pictureShown();
        if (m_state == EngineState::ScanBackwards)
            m_scan.pictureShown();
        break;
    case Event::Type::PropertyChange:
        if (!event.value)
            break;
        if (event.observer == kObserveTimePos) {
            onPosition();
        } else if (event.observer == kObservePause && *event.value != 0) {
            if (m_state == EngineState::Menu)
                QTimer::singleShot(0, this, [this] {
                    if (m_state == EngineState::Menu)
                        m_program.pictureHeld();
                });
        } else if (event.observer == kObserveEof && *event.value != 0) {
            // A menu piece's end goes to the disc's program; a title's end is the clock's.
            if (m_state == EngineState::Menu)
                QTimer::singleShot(0, this, [this] {
                    if (m_state == EngineState::Menu)
                        m_program.pieceEnded();
                });
            else
                onEndReached();
        }
        break;
    case Event::Type::Shutdown:
        enter(EngineState::Idle, "libmpv shut down");
        break;
    case Event::Type::ReadError:
        discGone("the disc reader failed");
        break;
    case Event::Type::StartFile:
    case Event::Type::FileLoaded:
    case Event::Type::Other:
        break;
    }
}

// The disc was taken out or its files cut short under the title: it is gone, and the commands
// that need it fail instead of acting on a frozen picture.
void MpvDvdEngine::discGone(const char* why) {
    if (!titleLoaded(m_state))
        return;
    qCWarning(lcDvd) << "the disc cannot be read any more:" << why;
    enter(EngineState::Idle, why);
}

// The picture on screen moved on: the title clock follows it, and a still or the title's end
// that it reaches is held.
void MpvDvdEngine::onPosition() {
    if (!titleLoaded(m_state))
        return;
    // While a step of a backward scan seeks, libmpv answers with the step's aim, not with a
    // picture: the time stays on the picture shown until the step's own shows.
    if (m_state == EngineState::ScanBackwards && m_title.seekPending())
        return;
    const double speed = m_state == EngineState::ScanBackwards  ? 0
                         : m_state == EngineState::ScanForwards ? m_scan.speed()
                                                                : 1;
    const bool watch = m_state == EngineState::Playing || m_state == EngineState::Paused ||
                       m_state == EngineState::ScanForwards;
    try {
        switch (m_title.observe(speed, watch)) {
        case TitlePlayback::Reached::Still:
            enter(EngineState::Still, "a cell's still");
            return;
        case TitlePlayback::Reached::End:
            enter(EngineState::TitleEnd, "the title's last picture");
            return;
        case TitlePlayback::Reached::Nothing:
            break;
        }
    } catch (const std::exception& e) {
        qCWarning(lcDvd) << "the title's stop could not be set:" << e.what();
    }
    publish();
}

// libmpv stopped at its `end`: the title's end, or a stop the clock has moved since (then it
// plays on).
void MpvDvdEngine::onEndReached() {
    if (!titleLoaded(m_state))
        return;
    onPosition();
    if (m_state == EngineState::ScanForwards)
        enter(EngineState::Playing, "the scan reached the end");
    if (m_state != EngineState::Playing && m_state != EngineState::Paused)
        return;
    try {
        if (m_title.atLibmpvEnd())
            enter(EngineState::TitleEnd, "libmpv can go no further");
    } catch (const std::exception& e) {
        qCWarning(lcDvd) << "the title could not play on:" << e.what();
    }
}

// ---- loading ------------------------------------------------------------------------------------

void MpvDvdEngine::requireTitle() const {
    if (!titleLoaded(m_state))
        throw EngineError("no disc is playing");
}

void MpvDvdEngine::loadTitle(const QString& place, DvdStructure structure, int title, double start,
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
    if (place == DVDDirectory())
        m_newPlace = false;
    m_audio = 0;
    m_subpicture = -1;
    jumped();
    enter(EngineState::Playing, "a title plays");
}

void MpvDvdEngine::seekTo(double seconds) {
    requireTitle();
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded) {
        // libdvdnav has moved on past the title: it is opened again at the time.
        loadTitle(m_title.place(), m_title.structure(), m_title.title(), seconds, m_title.angle(),
                  kPlayBudgetMs);
        return;
    }
    enter(EngineState::Playing, "a seek");
    m_driver.setDouble(prop::kSpeed, 1.0);
    jumped();
    m_title.seek(seconds);
    publish();
}

void MpvDvdEngine::playNormally() {
    m_title.setStopPoint(); // libmpv may wait at a stop passed already (a still cut short)
    enter(EngineState::Playing, "plays on");
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, false);
}

void MpvDvdEngine::applyStreams(int audio, int subpicture) {
    // libmpv counts streams from 1; the disc from 0.
    const bool audioSet =
        audio < 0 || audio >= 8 ||
        m_driver.session().setText(prop::kAudioId, QByteArray::number(audio + 1)) >= 0;
    const QByteArray sid =
        subpicture >= 0 && subpicture < 32 ? QByteArray::number(subpicture + 1) : "no";
    const bool subtitleSet = m_driver.session().setText(prop::kSubtitleId, sid) >= 0;
    if (!audioSet || !subtitleSet)
        qCWarning(lcDvd) << "the disc's streams could not be applied: audio" << audio
                         << "subpicture" << subpicture;
    if (audioSet && audio >= 0 && audio < 8)
        m_audio = audio;
    if (subtitleSet)
        m_subpicture = subpicture >= 0 && subpicture < 32 ? subpicture : -1;
    publish();
}

QString MpvDvdEngine::defaultDevice() const {
    return QFileInfo::exists(QStringLiteral("/dev/dvd")) ? QStringLiteral("/dev/dvd")
                                                         : QStringLiteral("/dev/sr0");
}

// ---- the disc's program -------------------------------------------------------------------------

void MpvDvdEngine::menuLoading() {
    enter(EngineState::Loading, "a menu opens");
}

void MpvDvdEngine::menuShown(bool shown) {
    enter(shown ? EngineState::Menu : EngineState::Idle,
          shown ? "a menu shows" : "the menu could not be shown");
}

void MpvDvdEngine::playProgramTitle(const TitleStart& start, qint64 budgetMs) {
    if (!m_disc)
        throw EngineError("no disc's program runs");
    const DvdTitleInfo* info = m_disc->structure.title(start.title);
    const int angle = info && start.streams.angle <= info->angles ? start.streams.angle : 1;
    loadTitle(m_disc->place, m_disc->structure, start.title, start.start, angle, budgetMs);
    m_driver.setFlag(prop::kPause, false);
    applyStreams(start.streams.audio, start.streams.subpicture);
}

void MpvDvdEngine::programEnded() {
    // A title that ended the program keeps its last picture (and its title and time) on
    // screen, as at the end of any title.
    if (m_state == EngineState::TitleEnd) {
        enter(EngineState::DiscEnded, "the disc's program ended");
        return;
    }
    m_driver.tryCommand({"stop"});
    enter(EngineState::Idle, "the disc's program ended");
}

void MpvDvdEngine::programAbandoned(qint64 budgetMs) {
    const int longest = m_disc ? m_disc->structure.longestTitle() : 0;
    if (longest > 0)
        loadTitle(m_disc->place, m_disc->structure, longest, 0, 1, budgetMs);
    else
        enter(EngineState::Idle, "the disc has no title to play");
}

// ---- playback commands ------------------------------------------------------------------------

void MpvDvdEngine::Play() {
    QElapsedTimer clock;
    clock.start();
    m_driver.session();
    const QString place = DVDDirectory();
    if (!m_newPlace) {
        switch (m_state) {
        case EngineState::Menu:
            m_driver.setFlag(prop::kPause, false);
            m_menuPaused = false;
            publish();
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
        if (m_program.start(m_discs.openMachine(place), structure,
                            kPlayBudgetMs - clock.elapsed())) {
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

void MpvDvdEngine::Pause() {
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

void MpvDvdEngine::Stop() {
    m_driver.session();
    if (m_state != EngineState::Idle)
        m_driver.tryCommand({"stop"});
    // A later Play starts the disc's program again from its beginning.
    m_program.drop();
    jumped();
    enter(EngineState::Idle, "Stop");
}

void MpvDvdEngine::Resume() {
    if (m_state == EngineState::Menu) {
        m_driver.setFlag(prop::kPause, false);
        m_menuPaused = false;
        publish();
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

void MpvDvdEngine::PlayChapter(std::int32_t chapter) {
    requireTitle();
    const DvdTitleInfo& info = m_title.info();
    if (chapter < 1 || chapter > info.chapters)
        throw EngineError("the title has no such chapter");
    seekTo(info.chapterStarts[static_cast<std::size_t>(chapter - 1)]);
}

void MpvDvdEngine::PlayNextChapter() {
    requireTitle();
    const DvdTitleInfo& info = m_title.info();
    const int chapter = m_title.chapterAt(m_title.position());
    if (chapter >= info.chapters)
        throw EngineError("this is the last chapter");
    seekTo(info.chapterStarts[static_cast<std::size_t>(chapter)]);
}

void MpvDvdEngine::PlayPrevChapter() {
    requireTitle();
    const DvdTitleInfo& info = m_title.info();
    const int chapter = m_title.chapterAt(m_title.position());
    seekTo(info.chapterStarts[static_cast<std::size_t>(std::max(0, chapter - 2))]);
}

void MpvDvdEngine::PlayAtTime(const QString& time) {
    requireTitle();
    const std::optional<double> seconds = parseDvdTime(time, m_title.fps());
    if (!seconds)
        throw EngineError("not a DVD time");
    if (*seconds >= m_title.info().length)
        throw EngineError("the time lies beyond the title");
    seekTo(*seconds);
}

void MpvDvdEngine::PlayForwards(double speed) {
    requireTitle();
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded)
        return; // nothing lies ahead
    enter(EngineState::ScanForwards, "a scan forwards");
    m_scan.startForwards(speed);
}

void MpvDvdEngine::PlayBackwards(double speed) {
    requireTitle();
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    if (m_state == EngineState::TitleEnd || m_state == EngineState::DiscEnded)
        loadTitle(m_title.place(), m_title.structure(), m_title.title(), m_title.position(),
                  m_title.angle(), kPlayBudgetMs);
    m_title.forgetStill();
    jumped();
    enter(EngineState::ScanBackwards, "a scan backwards");
    // libmpv cannot play a DVD backwards; the scan shows pictures of ever earlier positions.
    m_scan.startBackwards(speed);
}

DvdPlayState MpvDvdEngine::PlayState() noexcept {
    return playStateOf(m_state, m_program.menuMoving() && !m_menuPaused);
}

// ---- full screen, picture and sound -------------------------------------------------------------

bool MpvDvdEngine::FullScreenMode() {
    return m_surface.fullScreen();
}

void MpvDvdEngine::SetFullScreenMode(bool on) {
    m_surface.setFullScreen(on);
}

void MpvDvdEngine::SetMute(bool on) {
    m_driver.setFlag(prop::kMute, on);
}

void MpvDvdEngine::SetVolume(double volume) {
    if (!std::isfinite(volume) || volume < 0 || volume > 1)
        throw EngineError("no such volume");
    m_driver.setDouble(prop::kVolume, volume * 100);
    m_volume = volume;
    publish();
}

void MpvDvdEngine::Zoom(std::int32_t x, std::int32_t y, double ratio) {
    if (!std::isfinite(ratio) || ratio < 0)
        throw EngineError("no such zoom ratio");
    m_driver.session();
    if (m_state == EngineState::Menu)
        throw EngineError("a menu shows");
    const ZoomView view =
        zoomView(x, y, ratio, static_cast<int>(m_driver.getInt(prop::kVideoWidth).value_or(720)),
                 static_cast<int>(m_driver.getInt(prop::kVideoHeight).value_or(576)));
    m_driver.setDouble(prop::kVideoZoom, view.zoom);
    m_driver.setDouble(prop::kVideoAlignX, view.alignX);
    m_driver.setDouble(prop::kVideoAlignY, view.alignY);
    m_driver.setDouble(prop::kVideoPanX, view.panX);
    m_driver.setDouble(prop::kVideoPanY, view.panY);
}

void MpvDvdEngine::SetBackColor(std::uint32_t colour) {
    m_surface.setBackground(colour);
    m_driver.setBackground(m_surface.background());
}

// ---- position -----------------------------------------------------------------------------------

// While a menu shows no title plays: title, chapter and times read 0.
std::int32_t MpvDvdEngine::CurrentTitle() {
    if (m_state == EngineState::Menu)
        return 0;
    requireTitle();
    return m_title.title();
}

std::int32_t MpvDvdEngine::CurrentChapter() {
    if (m_state == EngineState::Menu)
        return 0;
    requireTitle();
    return m_title.chapterAt(m_title.position());
}

QString MpvDvdEngine::CurrentTime() {
    if (m_state == EngineState::Menu)
        return dvdTimeText(0, m_title.fps());
    requireTitle();
    return dvdTimeText(m_title.position(), m_title.fps());
}

QString MpvDvdEngine::TotalTitleTime() {
    if (m_state == EngineState::Menu)
        return dvdTimeText(0, m_title.fps());
    requireTitle();
    return dvdTimeText(m_title.info().length, m_title.fps());
}

// ---- disc place and angles ----------------------------------------------------------------------

void MpvDvdEngine::SetDVDDirectory(const QString& path) {
    m_driver.session();
    m_discs.read(path);
    m_directory = path;
    m_newPlace = true;
}

QString MpvDvdEngine::DVDDirectory() {
    return m_directory.isEmpty() ? defaultDevice() : m_directory;
}

std::int32_t MpvDvdEngine::CurrentAngle() {
    requireTitle();
    return m_title.angle();
}

void MpvDvdEngine::SetCurrentAngle(std::int32_t angle) {
    requireTitle();
    if (angle < 1 || angle > m_title.info().angles)
        throw EngineError("the title has no such angle");
    if (angle == m_title.angle())
        return;
    // libmpv takes the angle when it opens the disc: open it again at the same place.
    loadTitle(m_title.place(), m_title.structure(), m_title.title(), m_title.position(), angle,
              kPlayBudgetMs);
}

std::int32_t MpvDvdEngine::AnglesAvailable() {
    requireTitle();
    return m_title.info().angles;
}

// ---- bookmark -----------------------------------------------------------------------------------

void MpvDvdEngine::SaveBookmark() {
    requireTitle();
    m_bookmark = Bookmark{m_title.place(), m_title.title(), m_title.position(),
                          m_title.angle(), m_audio,         m_subpicture};
    // Kept on disk too, for this disc: it outlives the program.
    if (const QString& disc = m_title.structure().discId; !disc.isEmpty())
        m_bookmarks.save(disc, DiscBookmark{m_bookmark->title, m_bookmark->time, m_bookmark->angle,
                                            m_bookmark->audio, m_bookmark->subpicture});
}

void MpvDvdEngine::RestoreBookmark() {
    m_driver.session();
    if (!m_bookmark) {
        // None saved since the program started: the one kept on disk for the disc at hand.
        const bool loaded = titleLoaded(m_state);
        const QString place = loaded ? m_title.place() : DVDDirectory();
        const QString disc = loaded ? m_title.structure().discId : m_discs.read(place).discId;
        if (const auto kept = disc.isEmpty() ? std::nullopt : m_bookmarks.find(disc))
            m_bookmark = Bookmark{place,       kept->title, kept->seconds,
                                  kept->angle, kept->audio, kept->subpicture};
    }
    if (!m_bookmark)
        throw EngineError("there is no bookmark");
    const Bookmark mark = *m_bookmark;
    if (titleLoaded(m_state) && mark.place == m_title.place() && mark.title == m_title.title() &&
        mark.angle == m_title.angle()) {
        seekTo(mark.time);
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
bool MpvDvdEngine::restoreWithProgram(const Bookmark& mark) {
    if (!m_program.followed() || !m_disc || mark.place != m_disc->place || m_newPlace ||
        !m_program.enterTitle(mark.title))
        return false;
    try {
        loadTitle(m_disc->place, m_disc->structure, mark.title, mark.time, mark.angle,
                  kStepBudgetMs);
        applyStreams(mark.audio, mark.subpicture);
    } catch (const std::exception& e) {
        // libmpv refused the title: the caller's plain load reports it.
        qCDebug(lcDvd) << "bookmark with the disc's program failed:" << e.what();
        return false;
    }
    return true;
}

void MpvDvdEngine::DeleteBookmark() {
    m_bookmark.reset();
    if (titleLoaded(m_state) && !m_title.structure().discId.isEmpty())
        m_bookmarks.remove(m_title.structure().discId);
}

// ---- the disc's menus ---------------------------------------------------------------------------

void MpvDvdEngine::callMenu() {
    m_program.openMenu(titleLoaded(m_state) ? m_title.position() : 0);
}

void MpvDvdEngine::moveSelection(MenuMove move) {
    switch (move) {
    case MenuMove::Up:
        m_program.move(NavDirection::Up);
        return;
    case MenuMove::Down:
        m_program.move(NavDirection::Down);
        return;
    case MenuMove::Left:
        m_program.move(NavDirection::Left);
        return;
    case MenuMove::Right:
        m_program.move(NavDirection::Right);
        return;
    }
}

void MpvDvdEngine::activateSelection() {
    m_program.activate();
}

void MpvDvdEngine::pointerAt(QPoint at, bool click) {
    m_program.pointer(at, click);
}

void MpvDvdEngine::videoResized() {
    m_program.redrawHighlight();
}

} // namespace kavelo
