#include "MpvDvdEngine.h"

#include "DvdTime.h"
#include "MpvSession.h"
#include "Navigator.h"
#include "TitleStreams.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

namespace prop = mpv::name;
using mpv::Event;

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
               [this](const Event& event) { m_playback.handleEvent(event); }),
      m_playback(m_driver, m_discs, [this] { return DVDDirectory(); }) {
    m_discs.onBusy([this] { m_busy.show(); });
    // Told on libmpv's reading thread; the engine outlives libmpv, the playback does not.
    m_driver.titleStreams().onReadFailed([this](const QByteArray& address) {
        QMetaObject::invokeMethod(
            this, [this, address] { m_playback.readFailed(address); }, Qt::QueuedConnection);
    });
}

MpvDvdEngine::~MpvDvdEngine() = default;

QWidget* MpvDvdEngine::widget() {
    return m_surface.widget();
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
    m_playback.windowGone();
    m_surface.forgetFullScreen();
    m_driver.release();
}

QString MpvDvdEngine::defaultDevice() const {
    return QFileInfo::exists(QStringLiteral("/dev/dvd")) ? QStringLiteral("/dev/dvd")
                                                         : QStringLiteral("/dev/sr0");
}

// ---- playback commands ------------------------------------------------------------------------

void MpvDvdEngine::Play() {
    m_playback.play();
}

void MpvDvdEngine::Pause() {
    m_playback.pause();
}

void MpvDvdEngine::Stop() {
    m_playback.stop();
}

void MpvDvdEngine::Resume() {
    m_playback.resume();
}

void MpvDvdEngine::PlayChapter(std::int32_t chapter) {
    m_playback.requireTitle();
    const DvdTitleInfo& info = m_playback.title().info();
    if (chapter < 1 || chapter > info.chapters)
        throw EngineError("the title has no such chapter");
    m_playback.seekTo(info.chapterStarts[static_cast<std::size_t>(chapter - 1)]);
}

void MpvDvdEngine::PlayNextChapter() {
    m_playback.requireTitle();
    const TitlePlayback& title = m_playback.title();
    const DvdTitleInfo& info = title.info();
    const int chapter = title.chapterAt(title.position());
    if (chapter >= info.chapters)
        throw EngineError("this is the last chapter");
    m_playback.seekTo(info.chapterStarts[static_cast<std::size_t>(chapter)]);
}

void MpvDvdEngine::PlayPrevChapter() {
    m_playback.requireTitle();
    const TitlePlayback& title = m_playback.title();
    const DvdTitleInfo& info = title.info();
    const int chapter = title.chapterAt(title.position());
    m_playback.seekTo(info.chapterStarts[static_cast<std::size_t>(std::max(0, chapter - 2))]);
}

void MpvDvdEngine::PlayAtTime(const QString& time) {
    m_playback.requireTitle();
    const TitlePlayback& title = m_playback.title();
    const std::optional<double> seconds = parseDvdTime(time, title.fps());
    if (!seconds)
        throw EngineError("not a DVD time");
    if (*seconds >= title.info().length)
        throw EngineError("the time lies beyond the title");
    m_playback.seekTo(*seconds);
}

void MpvDvdEngine::PlayForwards(double speed) {
    m_playback.requireTitle();
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    m_playback.scanForwards(speed);
}

void MpvDvdEngine::PlayBackwards(double speed) {
    m_playback.requireTitle();
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    m_playback.scanBackwards(speed);
}

DvdPlayState MpvDvdEngine::PlayState() noexcept {
    return m_playback.playState();
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
    m_playback.setVolume(volume);
}

void MpvDvdEngine::Zoom(std::int32_t x, std::int32_t y, double ratio) {
    if (!std::isfinite(ratio) || ratio < 0)
        throw EngineError("no such zoom ratio");
    m_driver.session();
    if (m_playback.state() == EngineState::Menu)
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
    if (m_playback.state() == EngineState::Menu)
        return 0;
    m_playback.requireTitle();
    return m_playback.title().title();
}

std::int32_t MpvDvdEngine::CurrentChapter() {
    if (m_playback.state() == EngineState::Menu)
        return 0;
    m_playback.requireTitle();
    const TitlePlayback& title = m_playback.title();
    return title.chapterAt(title.position());
}

QString MpvDvdEngine::CurrentTime() {
    const TitlePlayback& title = m_playback.title();
    if (m_playback.state() == EngineState::Menu)
        return dvdTimeText(0, title.fps());
    m_playback.requireTitle();
    return dvdTimeText(title.position(), title.fps());
}

QString MpvDvdEngine::TotalTitleTime() {
    const TitlePlayback& title = m_playback.title();
    if (m_playback.state() == EngineState::Menu)
        return dvdTimeText(0, title.fps());
    m_playback.requireTitle();
    return dvdTimeText(title.info().length, title.fps());
}

// ---- disc place and angles ----------------------------------------------------------------------

void MpvDvdEngine::SetDVDDirectory(const QString& path) {
    m_driver.session();
    m_discs.read(path);
    m_directory = path;
    m_playback.placeChanged();
}

QString MpvDvdEngine::DVDDirectory() {
    return m_directory.isEmpty() ? defaultDevice() : m_directory;
}

std::int32_t MpvDvdEngine::CurrentAngle() {
    m_playback.requireTitle();
    return m_playback.title().angle();
}

void MpvDvdEngine::SetCurrentAngle(std::int32_t angle) {
    m_playback.requireTitle();
    if (angle < 1 || angle > m_playback.title().info().angles)
        throw EngineError("the title has no such angle");
    if (angle == m_playback.title().angle())
        return;
    m_playback.changeAngle(angle);
}

std::int32_t MpvDvdEngine::AnglesAvailable() {
    m_playback.requireTitle();
    return m_playback.title().info().angles;
}

// ---- bookmark -----------------------------------------------------------------------------------

void MpvDvdEngine::SaveBookmark() {
    m_bookmark = m_playback.mark();
    // Kept on disk too, for this disc: it outlives the program.
    if (const QString& disc = m_playback.title().structure().discId; !disc.isEmpty())
        m_bookmarks.save(disc, DiscBookmark{m_bookmark->title, m_bookmark->time, m_bookmark->angle,
                                            m_bookmark->audio, m_bookmark->subpicture});
}

void MpvDvdEngine::RestoreBookmark() {
    m_driver.session();
    if (!m_bookmark) {
        // None saved since the program started: the one kept on disk for the disc at hand.
        const TitlePlayback& title = m_playback.title();
        const bool loaded = titleLoaded(m_playback.state());
        const QString place = loaded ? title.place() : DVDDirectory();
        const QString disc = loaded ? title.structure().discId : m_discs.read(place).discId;
        if (const auto kept = disc.isEmpty() ? std::nullopt : m_bookmarks.find(disc))
            m_bookmark = TitleMark{place,       kept->title,      kept->seconds, kept->angle,
                                   kept->audio, kept->subpicture, std::nullopt};
    }
    if (!m_bookmark)
        throw EngineError("there is no bookmark");
    const TitleMark mark = *m_bookmark;
    m_playback.restore(mark);
}

void MpvDvdEngine::DeleteBookmark() {
    m_bookmark.reset();
    const QString& disc = m_playback.title().structure().discId;
    if (titleLoaded(m_playback.state()) && !disc.isEmpty())
        m_bookmarks.remove(disc);
}

// ---- the disc's menus ---------------------------------------------------------------------------

bool MpvDvdEngine::resumeTitle() {
    return m_playback.resumeFromMenu();
}

void MpvDvdEngine::callMenu() {
    m_playback.callMenu();
}

void MpvDvdEngine::moveSelection(MenuMove move) {
    switch (move) {
    case MenuMove::Up:
        m_playback.program().move(NavDirection::Up);
        return;
    case MenuMove::Down:
        m_playback.program().move(NavDirection::Down);
        return;
    case MenuMove::Left:
        m_playback.program().move(NavDirection::Left);
        return;
    case MenuMove::Right:
        m_playback.program().move(NavDirection::Right);
        return;
    }
}

void MpvDvdEngine::activateSelection() {
    m_playback.program().activate();
}

void MpvDvdEngine::pointerAt(QPoint at, bool click) {
    m_playback.program().pointer(at, click);
}

void MpvDvdEngine::videoResized() {
    m_playback.program().redrawHighlight();
}

} // namespace kavelo
