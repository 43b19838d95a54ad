#include "TitlePlayback.h"

#include "DiscSectors.h"
#include "DvdEngine.h"
#include "LoadTracker.h"
#include "MpvDriver.h"
#include "MpvSession.h"
#include "TitleStreams.h"
#include "TitleTimeline.h"

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

namespace prop = mpv::name;

constexpr qint64 kSeekWaitMs = 1000;       // a seek is waited for this long, then left running
constexpr double kChapterTolerance = 0.05; // seconds a position may fall short of a chapter

QByteArray seconds3(double seconds) {
    return QByteArray::number(seconds, 'f', 3);
}

} // namespace

TitlePlayback::TitlePlayback(MpvDriver& driver) : m_driver(driver), m_subtitles(driver) {
    m_stillTimer.setSingleShot(true);
    QObject::connect(&m_stillTimer, &QTimer::timeout, [this] {
        if (m_stillOver)
            m_stillOver();
    });
}

const DvdTitleInfo& TitlePlayback::info() const {
    const DvdTitleInfo* info = m_structure.title(m_title);
    if (!m_loaded || !info)
        throw EngineError("no disc is playing");
    return *info;
}

void TitlePlayback::unload() {
    m_loaded = false;
    m_seekPending = false;
    m_toldAgrees = false;
    m_stillTimer.stop();
    m_subtitles.clear();
}

void TitlePlayback::load(const QString& place, DvdStructure structure, int title, double start,
                         int angle, qint64 budgetMs) {
    const DvdTitleInfo* info = structure.title(title);
    if (!info)
        throw EngineError("the disc has no such title");
    if (angle < 1 || angle > info->angles)
        throw EngineError("the title has no such angle");
    mpv::Session& session = m_driver.session();
    unload();
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, false);

    start = std::clamp(start, 0.0, std::max(0.0, info->length - 0.1));
    // The title is read as one program stream from its sectors (in an angle block, only the
    // chosen angle's), its timestamps moved cell by cell into one timeline: libmpv then seeks in
    // it as in a file, exactly and without the disc's navigation, and its time is the title's.
    if (!m_driver.titleStreamsInstalled())
        throw EngineError("the title's stream cannot be handed to libmpv");
    std::shared_ptr<mpv::SectorSource> sectors = openTitleSetSectors(place, *info);
    if (!sectors)
        throw EngineError("the title's sectors cannot be read");
    std::vector<mpv::SectorRun> runs = titleTimeline(*info, *sectors, angle);
    if (runs.empty())
        throw EngineError("the title has no cell that can be read");
    m_clock.reset(*info, m_fps);
    m_clock.observe(start);
    forgetStill();
    const double stop = nextStop();
    QByteArray options = "start=" + seconds3(start);
    sectors = m_subtitles.watch(std::move(sectors), *info, runs);
    const QByteArray url = m_driver.titleStreams().publish(std::move(sectors), std::move(runs));
    m_address = url;
    if (stop > 0)
        options += ",end=" + seconds3(stop);
    m_stopSet = stop;

    QElapsedTimer clock;
    clock.start();
    mpv::LoadTracker& loads = m_driver.loads();
    if (const int rc = loads.start(url, options); rc < 0)
        throw EngineError("loadfile: " + mpv::Session::errorText(rc).toStdString());
    const auto outcome = loads.waitLoaded(budgetMs);
    if (outcome != mpv::LoadTracker::Outcome::Done) {
        m_driver.tryCommand({"stop"});
        throw EngineError(outcome == mpv::LoadTracker::Outcome::TimedOut
                              ? "the disc did not open in time"
                              : "the disc cannot be played");
    }
    // The first picture: from here on the position is the title's.
    if (loads.waitPicture(std::clamp<qint64>(budgetMs - clock.elapsed(), 0, kSeekWaitMs)) ==
        mpv::LoadTracker::Outcome::Ended)
        throw EngineError("the disc cannot be played");

    m_loaded = true;
    m_place = place;
    m_structure = std::move(structure);
    m_title = title;
    m_angle = angle;
    const double fps = session.getDouble(prop::kContainerFps).value_or(0);
    m_fps = fps >= 10 && fps <= 100 ? fps : 25.0;
}

void TitlePlayback::seek(double seconds) {
    const DvdTitleInfo& title = info();
    seconds = std::clamp(seconds, 0.0, std::max(0.0, title.length - 0.1));
    m_driver.drain(); // a picture of an earlier seek must not count for this one
    m_clock.observe(seconds);
    forgetStill();
    setStopPoint();
    m_seekPending = true;
    m_toldAgrees = false;
    // The picture first: libmpv seeks paused, so that the new picture need not wait for the
    // sound to be found and its output started again, and plays on as soon as it shows.
    m_driver.setFlag(prop::kPause, true);
    m_driver.command({"seek", seconds3(seconds), "absolute+exact"});
    // A step of a backward scan may still have been under way: its picture comes first and is
    // not this seek's. This seek's picture lies within a second of where it was asked to go.
    m_driver.waitUntil(
        [this, seconds] {
            if (!m_loaded || !m_driver.running())
                return true;
            if (m_seekPending)
                return false;
            const double shown = m_driver.getDouble(prop::kTimePos).value_or(seconds);
            m_seekPending = std::abs(shown - seconds) > 1.0;
            if (!m_seekPending)
                m_clock.observe(shown); // not a time of before the seek handed on meanwhile
            return !m_seekPending;
        },
        kSeekWaitMs);
    if (m_loaded && m_driver.running())
        m_driver.setFlag(prop::kPause, false);
}

void TitlePlayback::pictureShown() {
    m_seekPending = false;
}

// libmpv may never show a cell's very last picture: the picture is held as soon as it shows one
// of the last pictures of a still cell or of the title.
TitlePlayback::Reached TitlePlayback::observe(bool watchStops, std::optional<double> told) {
    if (!m_loaded)
        return Reached::Nothing;
    // While a title plays each picture brings an event: reading the time afresh for each would
    // make libmpv's core stop for the main thread 25 times a second. An event's time is taken
    // only once one has agreed with libmpv's own since the last load, seek or command: events
    // handed on just after a seek may still carry the time from before it.
    std::optional<double> position;
    if (told && m_toldAgrees && !m_seekPending && *told >= m_clock.time()) {
        position = told;
    } else {
        position = m_driver.getDouble(prop::kTimePos);
        m_toldAgrees =
            !m_seekPending && told && position && std::abs(*told - *position) <= 2 / m_fps;
    }
    if (!position)
        return Reached::Nothing;
    // Another cell may bring a still.
    m_clock.observe(*position);
    if (m_clock.cell() != m_stopCell)
        setStopPoint();
    m_subtitles.show(*position);
    if (!watchStops)
        return Reached::Nothing;
    if (m_stopStill && m_clock.cell() == m_stopStill->cell && m_clock.time() >= m_stopStill->at)
        return Reached::Still;
    return m_clock.atEnd() ? Reached::End : Reached::Nothing;
}

bool TitlePlayback::atLibmpvEnd() {
    const double stop = nextStop();
    if (stop <= m_driver.getDouble(prop::kTimePos).value_or(stop) + 1 / m_fps)
        return true; // libmpv can go no further: the title's data ends short of its cell table
    setStopPoint();
    m_driver.setFlag(prop::kPause, false);
    return false;
}

// Where libmpv is to stop: half a picture before the title's end. A still
// ahead (passing over the one held just now) is held when its pictures show (observe()):
// libmpv paused at its own end answers slowly.
double TitlePlayback::nextStop() {
    m_stopStill = m_clock.nextStill(m_heldStill);
    m_stopCell = m_clock.cell();
    return m_clock.length() - 0.5 / m_fps;
}

// libmpv is told only of a stop that moved: setting its end disturbs a seek under way.
void TitlePlayback::setStopPoint() {
    const double stop = nextStop();
    if (m_driver.running() && std::abs(stop - m_stopSet) > 0.0005) {
        m_driver.setText(prop::kEnd, seconds3(stop));
        m_stopSet = stop;
    }
}

void TitlePlayback::holdStill() {
    if (!m_stopStill)
        return;
    m_heldStill = m_stopStill->cell;
    m_driver.setFlag(prop::kPause, true);
    if (m_stopStill->seconds != kInfiniteStill)
        m_stillTimer.start(m_stopStill->seconds * 1000);
}

void TitlePlayback::endStill() {
    m_stillTimer.stop();
    setStopPoint();
    m_driver.setFlag(prop::kPause, false);
}

void TitlePlayback::forgetStill() {
    m_stillTimer.stop();
    m_heldStill.reset();
}

double TitlePlayback::position() const {
    if (!m_loaded)
        return 0;
    return std::clamp(m_clock.time(), 0.0, info().length);
}

std::optional<std::int64_t> TitlePlayback::audioTrack(int stream) const {
    const DvdTitleInfo& title = info();
    if (stream < 0 || stream >= static_cast<int>(title.audioStreamIds.size()))
        return std::nullopt;
    const int wanted = title.audioStreamIds[static_cast<std::size_t>(stream)];
    if (wanted == 0)
        return std::nullopt;
    const std::int64_t tracks =
        std::clamp<std::int64_t>(m_driver.getInt(prop::kTrackCount).value_or(0), 0, 256);
    for (std::int64_t i = 0; i < tracks; ++i) {
        if (m_driver.getText(prop::trackField(i, prop::kTrackType).constData()) !=
                QStringLiteral("audio") ||
            m_driver.getInt(prop::trackField(i, prop::kTrackSourceId).constData()) != wanted)
            continue;
        return m_driver.getInt(prop::trackField(i, prop::kTrackId).constData());
    }
    return std::nullopt;
}

int TitlePlayback::chapterAt(double seconds) const {
    const DvdTitleInfo& title = info();
    int index = 0;
    for (std::size_t i = 1; i < title.chapterStarts.size(); ++i) {
        if (title.chapterStarts[i] <= seconds + kChapterTolerance)
            index = static_cast<int>(i);
    }
    return index + 1;
}

} // namespace kavelo
