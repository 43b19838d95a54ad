#include "MpvDvdEngine.h"

#include "DiscSectors.h"
#include "DvdTime.h"
#include "EngineColour.h"
#include "MenuStreams.h"
#include "MpvSession.h"
#include "Navigator.h"
#include "TitleStreams.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPalette>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

namespace kavelo {

Q_DECLARE_LOGGING_CATEGORY(lcMenus)

namespace {

namespace prop = mpv::name;
using mpv::Event;

enum ObserveId : std::uint64_t { kObserveTimePos = 1, kObserveEof = 2 };

constexpr qint64 kPlayBudgetMs = 3000; // Play gives up after this
constexpr qint64 kSeekWaitMs = 1000;   // a seek is waited for this long, then left running
constexpr int kScanStallMs = 400;      // a backward step with no picture after this is redone
constexpr double kScanBackOff = 0.3;   // first aim of a backward step before the picture
// The same read from the title's sectors: libmpv lands a keyframe seek there on the first
// keyframe at or after its aim, and a DVD's groups of pictures last up to 0.6 s.
constexpr double kPlainScanBackOff = 0.65;
constexpr double kScanMaxBackOff = 4.0;    // the furthest a step aims before it
constexpr double kChapterTolerance = 0.05; // seconds a position may fall short of a chapter
constexpr double kMaxSpeed = 100;          // the most libmpv accepts

// The widget that shows the video. It tells the engine when its top-level window is first on the
// screen (the logo may cover the video itself, which is then never drawn) and before its native
// window goes, so that libmpv never draws into a window that no longer exists.
class VideoWidget final : public QWidget {
public:
    VideoWidget(QWidget* parent, std::function<void()> firstDrawn, std::function<void()> goingAway)
        : QWidget(parent), m_firstDrawn(std::move(firstDrawn)), m_goingAway(std::move(goingAway)) {}
    ~VideoWidget() override {
        if (m_goingAway)
            m_goingAway();
    }
    void forget() {
        m_firstDrawn = nullptr;
        m_goingAway = nullptr;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (auto firstDrawn = std::exchange(m_firstDrawn, nullptr))
            firstDrawn();
    }
    bool event(QEvent* event) override {
        // The native window may go before the widget does: Qt destroys a top-level's windows,
        // children first, as soon as the window manager's close is accepted. libmpv's video
        // output lives inside this window and must end first, or its own X calls fail.
        if (event->type() == QEvent::WinIdChange) {
            if (QWindow* window = windowHandle())
                window->installEventFilter(this);
        }
        if (event->type() == QEvent::Show && m_firstDrawn) {
            if (QWindow* top = window()->windowHandle(); top && top != windowHandle())
                top->installEventFilter(this);
        }
        return QWidget::event(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched != windowHandle() && m_firstDrawn &&
            static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            // Queued so that the window's own first paint, which follows this expose, comes
            // before libmpv is loaded.
            std::exchange(m_firstDrawn, nullptr)();
        }
        if (watched == windowHandle() && event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed &&
            m_goingAway)
            m_goingAway();
        return QWidget::eventFilter(watched, event);
    }

private:
    std::function<void()> m_firstDrawn;
    std::function<void()> m_goingAway;
};

// libmpv's error codes become the engine's one error.
std::string message(const char* what, int code) {
    return (QString::fromUtf8(what) + QStringLiteral(": ") + mpv::Session::errorText(code))
        .toStdString();
}

// "HH:MM:SS:FF" (the frames field may be left off) to seconds; nullopt when malformed.
std::optional<double> parseDvdTime(const QString& text, double fps) {
    const QStringList fields = text.trimmed().split(QLatin1Char(':'));
    if (fields.size() < 3 || fields.size() > 4)
        return std::nullopt;
    int values[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& field = fields[i];
        if (field.isEmpty() || field.size() > 2)
            return std::nullopt;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        values[i] = field.toInt();
    }
    if (values[1] > 59 || values[2] > 59 || values[3] >= static_cast<int>(std::ceil(fps)))
        return std::nullopt;
    return values[0] * 3600.0 + values[1] * 60.0 + values[2] + values[3] / fps;
}

} // namespace

std::unique_ptr<IDvdEngine> makeMpvDvdEngine(QWidget* parent) {
    return std::make_unique<MpvDvdEngine>(parent);
}

MpvDvdEngine::MpvDvdEngine(QWidget* parent) {
    // libmpv comes up right after the window is on the screen (or at the first command that
    // needs it, should that come first): loading it takes longer than showing the window.
    auto* video = new VideoWidget(
        parent, [this] { QTimer::singleShot(0, this, &MpvDvdEngine::startQuietly); },
        [this] { releasePlayer(); });
    m_video = video;
    video->setObjectName(QStringLiteral("dvdMain"));
    video->setAttribute(Qt::WA_NativeWindow);
    video->setAttribute(Qt::WA_DontCreateNativeAncestors);
    video->setAutoFillBackground(true);
    QPalette palette = video->palette();
    palette.setColor(QPalette::Window, Qt::black);
    video->setPalette(palette);

    m_titleStreams = std::make_unique<mpv::TitleStreams>();
    m_titleStreams->onReadFailed([this](const QByteArray& address) {
        QMetaObject::invokeMethod(
            this,
            [this, address] {
                // A title read before the present one may still fail while it closes.
                if (m_plainStream && address == m_titleAddress)
                    discGone();
            },
            Qt::QueuedConnection);
    });
    m_cellStillTimer.setSingleShot(true);
    connect(&m_cellStillTimer, &QTimer::timeout, this, [this] {
        try {
            endStill();
        } catch (const std::exception&) {
            m_holdingStill = false;
        }
    });

    m_snapshotTimer.setInterval(250);
    connect(&m_snapshotTimer, &QTimer::timeout, this, [this] { refreshSnapshot(); });
    m_snapshotTimer.start();

    m_scanTimer.setSingleShot(true);
    connect(&m_scanTimer, &QTimer::timeout, this, [this] {
        try {
            scanStep();
        } catch (const std::exception&) {
            stopScan();
        }
    });
}

void MpvDvdEngine::startQuietly() {
    try {
        if (m_video)
            player();
    } catch (const std::exception& error) {
        qCDebug(mpv::lcMpv) << "the DVD player did not start:" << error.what();
    }
}

void MpvDvdEngine::startPlayer() {
    auto giveUp = [&](const std::string& why) {
        m_mpv.reset();
        throw EngineError(why);
    };
    QWidget* video = m_video;
    m_mpv = std::make_unique<mpv::Session>();
    if (!m_mpv->valid())
        giveUp("libmpv could not be created");
    mpv::Session& session = *m_mpv;
    const bool windowed = QGuiApplication::platformName() == QLatin1String("xcb");
    for (const auto& [option, value] : {
             std::pair{"ao", "pulse,alsa,null"},
             {"audio-client-name", "Kavelo"},
             {"keep-open", "yes"},
             {"stop-screensaver", "no"},
         })
        session.setOption(option, value);
    session.setOption(prop::kBackground, m_background.constData());
    session.setVideoWindow(windowed ? static_cast<std::int64_t>(video->winId()) : 0);
    // The video output lives as long as the engine: Stop and Play reuse it instead of building
    // it again (which costs most of an open and grows memory every time).
    if (windowed)
        session.setOption(prop::kForceWindow, "yes");
    if (const int rc = session.initialize(); rc < 0)
        giveUp(message("libmpv could not start", rc));
    // Titles whose timestamps run on through their cells are read from the disc's sectors.
    m_titleStreamsInstalled = m_titleStreams->install(session);
    session.observe(kObserveTimePos, prop::kTimePos, false);
    session.observe(kObserveEof, prop::kEofReached, true);
    session.setEventHandler([this](const Event& event) { handleEvent(event); });
}

MpvDvdEngine::~MpvDvdEngine() {
    m_scanTimer.stop();
    m_mpv.reset();
    if (auto* video = static_cast<VideoWidget*>(m_video.data())) {
        video->forget();
        if (m_fullScreen) {
            if (m_savedParent) {
                video->setParent(m_savedParent);
                video->setGeometry(m_savedGeometry);
            } else {
                delete video;
            }
        }
    }
    delete m_fullWindow.data();
}

QWidget* MpvDvdEngine::widget() {
    return m_video;
}

// ---- libmpv events ----------------------------------------------------------------------------

void MpvDvdEngine::drainEvents() {
    if (m_mpv)
        m_mpv->drain();
}

void MpvDvdEngine::handleEvent(const Event& event) {
    switch (event.type) {
    case Event::Type::StartFile:
        if (m_awaitStart) {
            m_entry = event.entry;
            m_awaitStart = false;
        }
        break;
    case Event::Type::FileLoaded:
        if (!m_awaitStart && m_entry >= 0)
            m_entryLoaded = true;
        break;
    case Event::Type::EndFile:
        if (m_awaitStart || event.entry != m_entry)
            break;
        m_entryEnded = true;
        // The disc went away or could not be read further: nothing is loaded any more.
        m_loaded = false;
        m_scanTimer.stop();
        m_scan = Scan::None;
        break;
    case Event::Type::PlaybackRestart:
        ++m_pictureUpdates;
        m_seekPending = false;
        m_clock.restarted();
        if (m_scan == Scan::Backwards)
            scheduleScanStep();
        break;
    case Event::Type::PropertyChange:
        if (!event.value)
            break;
        if (event.observer == kObserveTimePos) {
            onPosition();
        } else if (event.observer == kObserveEof && *event.value != 0) {
            // A menu piece's end goes to the disc's program; a title's end is the clock's.
            if (m_inMenu && m_nav)
                QTimer::singleShot(0, this, [this] { onPieceEnd(); });
            else
                onEndReached();
        }
        break;
    case Event::Type::Shutdown:
        m_loaded = false;
        break;
    case Event::Type::ReadError:
        discGone();
        break;
    case Event::Type::Other:
        break;
    }
}

template <class Pred> bool MpvDvdEngine::waitFor(Pred done, qint64 deadlineMs) {
    return m_mpv && m_mpv->waitUntil(done, deadlineMs);
}

// The disc was taken out or its files cut short under the title: it is gone, and the commands
// that need it fail instead of acting on a frozen picture.
void MpvDvdEngine::discGone() {
    qCDebug(mpv::lcMpv) << "the disc cannot be read any more";
    m_loaded = false;
    m_scanTimer.stop();
    m_scan = Scan::None;
}

void MpvDvdEngine::releasePlayer() {
    m_scanTimer.stop();
    m_scan = Scan::None;
    m_loaded = false;
    m_fullScreen = false;
    if (m_mpv)
        m_mpv->destroy();
}

// ---- the title clock ----------------------------------------------------------------------------

// The picture showing now, through the title clock. It reads libmpv's time afresh (not the
// value of an older event) so that the clock sees the times in the order they were shown.
// Where the next cell's timestamps restart libmpv runs past its `end`: the picture is held
// here as soon as it shows one of the last pictures of a still cell or of the title.
void MpvDvdEngine::onPosition() {
    if (!m_mpv || !m_loaded || m_inMenu)
        return;
    // While a step of a backward scan seeks, libmpv answers with the step's aim, not with a
    // picture: the time stays on the picture shown until the step's own shows.
    if (m_scan == Scan::Backwards && m_seekPending)
        return;
    const std::optional<double> position = m_mpv->getDouble(prop::kTimePos);
    if (!position)
        return;
    // A jump moves libmpv's time of the next stop; another cell may bring a still.
    const double speed = m_scan == Scan::Backwards ? 0 : m_scan == Scan::Forwards ? m_scanSpeed : 1;
    if (m_clock.observe(*position, speed) || m_clock.cell() != m_stopCell)
        setStopPoint();
    m_lastPosition = m_clock.time();
    if (!m_loaded || m_scan == Scan::Backwards || m_holdingStill || m_titleEnded)
        return;
    if (m_stopStill && m_clock.cell() == m_stopStill->cell && m_clock.time() >= m_stopStill->at) {
        stopScan();
        holdStill(*m_stopStill);
    } else if (m_clock.atEnd()) {
        stopScan();
        reachTitleEnd();
    }
}

// The title clock says the title is over: its last picture holds, and the disc's program (when
// it is followed) decides what comes next.
void MpvDvdEngine::reachTitleEnd() {
    m_titleEnded = true;
    m_mpv->setFlag(prop::kPause, true);
    if (m_nav)
        QTimer::singleShot(0, this, [this] { onTitleEnd(); });
}

// libmpv stopped at its `end`: the title's end, or a stop the clock has moved since (then it
// plays on).
void MpvDvdEngine::onEndReached() {
    if (!m_mpv || !m_loaded)
        return;
    onPosition();
    if (m_scan == Scan::Forwards)
        stopScan();
    if (m_holdingStill || m_titleEnded)
        return;
    const double stop = nextStop();
    if (stop <= m_mpv->getDouble(prop::kTimePos).value_or(stop) + 1 / m_fps) {
        // libmpv can go no further: the title's data ends short of its cell table.
        reachTitleEnd();
        return;
    }
    setStopPoint();
    m_mpv->setFlag(prop::kPause, false);
}

// Where libmpv is to stop, in its own time: half a picture before the title's end. A still
// ahead (passing over the one held just now) is held when its pictures show (onPosition):
// libmpv paused at its own end answers slowly.
double MpvDvdEngine::nextStop() {
    m_stopStill = m_clock.nextStill(m_heldStill);
    m_stopCell = m_clock.cell();
    return m_clock.mpvTimeOf(m_clock.length() - 0.5 / m_fps);
}

// libmpv is told only of a stop that moved: setting its end disturbs a seek under way.
void MpvDvdEngine::setStopPoint() {
    const double stop = nextStop();
    if (m_mpv && std::abs(stop - m_stopSet) > 0.0005) {
        m_mpv->setText(prop::kEnd, QByteArray::number(stop, 'f', 3));
        m_stopSet = stop;
    }
}

void MpvDvdEngine::holdStill(const TitleClock::Still& still) {
    m_holdingStill = true;
    m_heldStill = still.cell;
    m_mpv->setFlag(prop::kPause, true);
    if (still.seconds != kInfiniteStill)
        m_cellStillTimer.start(still.seconds * 1000);
}

// The still is over: play on to the next stop.
void MpvDvdEngine::endStill() {
    m_cellStillTimer.stop();
    if (!m_holdingStill)
        return;
    m_holdingStill = false;
    setStopPoint();
    setFlag(prop::kPause, false);
}

void MpvDvdEngine::forgetStill() {
    m_cellStillTimer.stop();
    m_holdingStill = false;
    m_heldStill.reset();
}

// ---- helpers ----------------------------------------------------------------------------------

mpv::Session& MpvDvdEngine::player() {
    if (!m_video)
        throw EngineError("the video window is gone");
    if (!m_mpv || !m_mpv->valid())
        startPlayer();
    return *m_mpv;
}

void MpvDvdEngine::requireLoaded() {
    player();
    if (!m_loaded)
        throw EngineError("no disc is playing");
}

const DvdTitleInfo& MpvDvdEngine::currentTitleInfo() {
    requireLoaded();
    const DvdTitleInfo* info = m_structure.title(m_title);
    if (!info)
        throw EngineError("the title is unknown");
    return *info;
}

void MpvDvdEngine::setFlag(const char* name, bool value) {
    if (const int rc = player().setFlag(name, value); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDvdEngine::setDouble(const char* name, double value) {
    if (const int rc = player().setDouble(name, value); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDvdEngine::setText(const char* name, const QString& value) {
    if (const int rc = player().setText(name, value.toUtf8()); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDvdEngine::command(std::initializer_list<QByteArray> args) {
    if (const int rc = player().command(args); rc < 0)
        throw EngineError(message(args.begin()->constData(), rc));
}

QImage MpvDvdEngine::picture() {
    const QTemporaryDir dir;
    if (!dir.isValid() || !m_mpv)
        return {};
    const QString path = dir.filePath(QStringLiteral("picture.png"));
    if (m_mpv->command({"screenshot-to-file", QFile::encodeName(path), "video"}) < 0)
        return {};
    return QImage(path);
}

QString MpvDvdEngine::propertyText(const char* name) {
    return m_mpv ? m_mpv->getText(name).value_or(QString()) : QString();
}

QString MpvDvdEngine::defaultDevice() const {
    return QFileInfo::exists(QStringLiteral("/dev/dvd")) ? QStringLiteral("/dev/dvd")
                                                         : QStringLiteral("/dev/sr0");
}

double MpvDvdEngine::framesPerSecond() const {
    return m_fps;
}

double MpvDvdEngine::currentPosition() {
    const DvdTitleInfo& info = currentTitleInfo();
    player();
    onPosition();
    return std::clamp(m_clock.time(), 0.0, info.length);
}

int MpvDvdEngine::chapterIndexAt(double seconds) {
    const DvdTitleInfo& info = currentTitleInfo();
    int index = 0;
    for (std::size_t i = 1; i < info.chapterStarts.size(); ++i) {
        if (info.chapterStarts[i] <= seconds + kChapterTolerance)
            index = static_cast<int>(i);
    }
    return index;
}

// ---- loading ----------------------------------------------------------------------------------

void MpvDvdEngine::load(const QString& place, DvdStructure structure, int title, double start,
                        int angle, qint64 budgetMs) {
    mpv::Session& session = player();
    const DvdTitleInfo* info = structure.title(title);
    if (!info)
        throw EngineError("the disc has no such title");
    if (angle < 1 || angle > info->angles)
        throw EngineError("the title has no such angle");

    stopScan();
    m_loaded = false;
    m_plainStream = false;
    setText(prop::kDvdDevice, place);
    setDouble(prop::kSpeed, 1.0);
    setFlag(prop::kPause, false);

    const double length = info->length;
    start = std::clamp(start, 0.0, std::max(0.0, length - 0.1));
    // A title whose timestamps run on through its cells is read as one plain program stream
    // from its sectors: libmpv then seeks in it as in a file, exactly and without the disc's
    // navigation, and its time is the pictures' own. Other titles go through that navigation.
    std::shared_ptr<mpv::SectorSource> sectors;
    if (m_titleStreamsInstalled && info->playsAsProgramStream())
        sectors = openTitleSetSectors(place, info->titleSet);
    const bool plain = sectors != nullptr;
    // libmpv's time is the title's from the load on, until the picture data's time jumps.
    m_clock.reset(*info, m_fps, plain);
    m_clock.observe(start);
    m_titleEnded = false;
    forgetStill();
    const double stop = nextStop();
    QByteArray options = "start=" + QByteArray::number(start, 'f', 3);
    QByteArray url;
    if (plain) {
        std::vector<mpv::SectorRun> runs;
        for (const DvdCell& cell : info->cells)
            runs.push_back({cell.firstSector, cell.lastSector});
        url = m_titleStreams->publish(std::move(sectors), std::move(runs));
        m_titleAddress = url;
        m_plainStream = true;
    } else {
        options += ",dvd-angle=" + QByteArray::number(angle);
        if (info->hasUnnoticedTimestampJumps())
            options += ",hr-seek=no"; // an exact start would decode on past the jumps
        url = "dvd://" + QByteArray::number(title - 1);
    }
    if (stop > 0)
        options += ",end=" + QByteArray::number(stop, 'f', 3);
    m_stopSet = stop;

    drainEvents();
    QElapsedTimer clock;
    clock.start();
    m_entry = -1;
    m_awaitStart = true;
    m_entryLoaded = false;
    m_entryEnded = false;
    std::int64_t entry = -1;
    if (const int rc = session.loadFile(url, options, &entry); rc < 0) {
        m_awaitStart = false;
        throw EngineError(message("loadfile", rc));
    }
    if (entry >= 0) {
        m_entry = entry;
        m_awaitStart = false;
    }

    const bool settled = waitFor([this] { return m_entryLoaded || m_entryEnded; }, budgetMs);
    if (!settled || !m_entryLoaded || m_entryEnded) {
        if (m_mpv)
            m_mpv->command({"stop"});
        m_loaded = false;
        throw EngineError(settled ? "the disc cannot be played" : "the disc did not open in time");
    }

    // The first picture: from here on the position is the title's.
    const int pictures = m_pictureUpdates;
    waitFor([this, pictures] { return m_pictureUpdates != pictures || m_entryEnded; },
            std::clamp<qint64>(budgetMs - clock.elapsed(), 0, kSeekWaitMs));
    if (m_entryEnded)
        throw EngineError("the disc cannot be played");

    m_loaded = true;
    m_discEnded = false; // a title played after the disc's program ended plays on its own
    m_plainStream = plain;
    if (place == DVDDirectory())
        m_newPlace = false;
    m_loadedPlace = place;
    m_structure = std::move(structure);
    m_title = title;
    m_angle = angle;
    m_loadStart = start;
    m_lastPosition = start;
    const double fps = session.getDouble(prop::kContainerFps).value_or(0);
    m_fps = fps >= 10 && fps <= 100 ? fps : 25.0;
}

void MpvDvdEngine::seekTo(double seconds) {
    const DvdTitleInfo& info = currentTitleInfo();
    stopScan();
    setDouble(prop::kSpeed, 1.0);
    seconds = std::clamp(seconds, 0.0, std::max(0.0, info.length - 0.1));
    if (m_titleEnded) {
        // libdvdnav has moved on past the title: it is opened again at the time.
        load(m_loadedPlace, m_structure, m_title, seconds, m_angle, kPlayBudgetMs);
        return;
    }
    drainEvents(); // a picture of an earlier seek must not count for this one
    m_clock.seeking();
    m_clock.observe(seconds);
    m_titleEnded = false;
    forgetStill();
    setStopPoint();
    m_seekPending = true;
    // Where the timestamps jump unnoticed, libmpv's exact seek decodes on from 10 s before in
    // the wrong time; the picture at the keyframe before is what can be shown there.
    command({"seek", QByteArray::number(seconds, 'f', 3),
             info.hasUnnoticedTimestampJumps() ? "absolute+keyframes" : "absolute+exact"});
    setFlag(prop::kPause, false);
    // A step of a backward scan may still have been under way: its picture comes first and is
    // not this seek's. This seek's picture lies within a second of where it was asked to go.
    waitFor(
        [this, seconds] {
            if (!m_loaded || !m_mpv)
                return true;
            if (m_seekPending)
                return false;
            const double shown = m_mpv->getDouble(prop::kTimePos).value_or(seconds);
            m_seekPending = std::abs(shown - seconds) > 1.0;
            return !m_seekPending;
        },
        kSeekWaitMs);
}

void MpvDvdEngine::playNormally() {
    stopScan();
    if (m_loaded)
        setStopPoint(); // libmpv may wait at a stop passed already (a still cut short)
    setDouble(prop::kSpeed, 1.0);
    setFlag(prop::kPause, false);
}

void MpvDvdEngine::stopScan() {
    m_scanTimer.stop();
    if (m_scan == Scan::Forwards && m_mpv)
        m_mpv->setDouble(prop::kSpeed, 1.0);
    m_scan = Scan::None;
}

// A backward scan is a chain of keyframe seeks: each picture shown starts the next step. A step
// aims a little before the picture on screen, so that it lands on the keyframe before it, and
// waits until the scan's clock has reached that point; when the seeks fall behind the clock, a
// step goes straight to where the clock is, skipping keyframes to keep the speed. A DVD lands a
// keyframe seek on the start of the next video unit after the aim, so a step that shows the
// same picture again aims twice as far back from then on.
double MpvDvdEngine::scanClockTarget() const {
    return m_scanOrigin - m_scanSpeed * static_cast<double>(m_scanClock.elapsed()) / 1000.0;
}

void MpvDvdEngine::scheduleScanStep() {
    const double shown = m_mpv->getDouble(prop::kTimePos).value_or(scanClockTarget());
    if (shown < m_scanShown - 0.01)
        m_scanShown = shown;
    else
        m_scanBackOff = std::min(m_scanBackOff * 2, kScanMaxBackOff);
    const double aim = m_scanShown - m_scanBackOff;
    const double due = (m_scanOrigin - aim) / m_scanSpeed * 1000.0;
    const auto wait =
        static_cast<int>(std::clamp(due - static_cast<double>(m_scanClock.elapsed()), 0.0, 1000.0));
    m_scanTimer.start(wait);
}

void MpvDvdEngine::scanStep() {
    if (m_scan != Scan::Backwards || !m_loaded)
        return;
    const double target = std::min(scanClockTarget(), m_scanShown - m_scanBackOff);
    if (target <= 0) {
        // Back at the start of the title: play on from there.
        stopScan();
        m_clock.seeking();
        m_clock.observe(0);
        setStopPoint();
        command({"seek", "0", "absolute+exact"});
        setFlag(prop::kPause, false);
        return;
    }
    m_seekPending = true;
    m_clock.seeking();
    m_titleEnded = false;
    command({"seek", QByteArray::number(target, 'f', 3), "absolute+keyframes"});
    // Should no picture come of it, the step is made again.
    m_scanTimer.start(kScanStallMs);
}

// ---- playback commands ------------------------------------------------------------------------

void MpvDvdEngine::Play() {
    QElapsedTimer clock;
    clock.start();
    player();
    const QString place = DVDDirectory();
    if (m_inMenu && !m_newPlace) {
        setFlag(prop::kPause, false);
        return;
    }
    if (m_loaded && !m_newPlace && !m_discEnded) {
        if (m_holdingStill) {
            endStill();
            return;
        }
        onPosition();
        if (m_titleEnded || m_clock.atEnd()) {
            // libdvdnav has moved on past the title by now: the title is opened again.
            load(m_loadedPlace, m_structure, m_title, 0, m_angle, kPlayBudgetMs);
            return;
        }
        playNormally();
        return;
    }
    DvdStructure structure = m_discs.read(place);
    // The disc's own program decides where playback starts (a disc without one plays its first
    // title); only a disc whose program cannot be followed plays its longest title.
    m_structure = structure;
    m_loadedPlace = place;
    try {
        if (startDiscProgram(place, kPlayBudgetMs - clock.elapsed()))
            return;
    } catch (const EngineError& e) {
        qCDebug(lcMenus) << "disc program not followed:" << e.what();
        leaveMenu();
    }
    m_nav.reset();
    const int title = structure.longestTitle();
    load(place, std::move(structure), title, 0, 1,
         std::max<qint64>(kPlayBudgetMs - clock.elapsed(), 1000));
}

void MpvDvdEngine::PlayTitle(int title) {
    QElapsedTimer clock;
    clock.start();
    player();
    const QString place = DVDDirectory();
    // A title chosen from outside the disc's program leaves the program.
    leaveMenu();
    m_nav.reset();
    load(place, m_discs.read(place), title, 0, 1, kPlayBudgetMs - clock.elapsed());
}

void MpvDvdEngine::Pause() {
    if (m_inMenu) {
        setFlag(prop::kPause, true);
        return;
    }
    requireLoaded();
    stopScan();
    m_cellStillTimer.stop();
    m_holdingStill = false;
    setDouble(prop::kSpeed, 1.0);
    setFlag(prop::kPause, true);
}

void MpvDvdEngine::Stop() {
    mpv::Session& session = player();
    stopScan();
    forgetStill();
    if (m_loaded || m_inMenu)
        session.command({"stop"});
    m_loaded = false;
    // A later Play starts the disc's program again from its beginning.
    leaveMenu();
    m_nav.reset();
    m_discEnded = false;
}

void MpvDvdEngine::Resume() {
    if (m_inMenu) {
        setFlag(prop::kPause, false);
        return;
    }
    requireLoaded();
    if (m_holdingStill)
        endStill();
    else
        playNormally();
}

void MpvDvdEngine::PlayChapter(std::int32_t chapter) {
    const DvdTitleInfo& info = currentTitleInfo();
    if (chapter < 1 || chapter > info.chapters)
        throw EngineError("the title has no such chapter");
    seekTo(info.chapterStarts[static_cast<std::size_t>(chapter - 1)]);
}

void MpvDvdEngine::PlayNextChapter() {
    const DvdTitleInfo& info = currentTitleInfo();
    const int index = chapterIndexAt(currentPosition());
    if (index + 1 >= info.chapters)
        throw EngineError("this is the last chapter");
    seekTo(info.chapterStarts[static_cast<std::size_t>(index + 1)]);
}

void MpvDvdEngine::PlayPrevChapter() {
    const DvdTitleInfo& info = currentTitleInfo();
    const int index = chapterIndexAt(currentPosition());
    seekTo(info.chapterStarts[static_cast<std::size_t>(std::max(0, index - 1))]);
}

void MpvDvdEngine::PlayAtTime(const QString& time) {
    const DvdTitleInfo& info = currentTitleInfo();
    const std::optional<double> seconds = parseDvdTime(time, m_fps);
    if (!seconds)
        throw EngineError("not a DVD time");
    if (*seconds >= info.length)
        throw EngineError("the time lies beyond the title");
    seekTo(*seconds);
}

void MpvDvdEngine::PlayForwards(double speed) {
    requireLoaded();
    if (!std::isfinite(speed) || speed <= 0 || speed > kMaxSpeed)
        throw EngineError("no such speed");
    stopScan();
    setDouble(prop::kSpeed, speed);
    setFlag(prop::kPause, false);
    m_scan = Scan::Forwards;
    m_scanSpeed = speed;
}

void MpvDvdEngine::PlayBackwards(double speed) {
    requireLoaded();
    if (!std::isfinite(speed) || speed <= 0 || speed > kMaxSpeed)
        throw EngineError("no such speed");
    stopScan();
    forgetStill();
    if (m_titleEnded)
        load(m_loadedPlace, m_structure, m_title, currentPosition(), m_angle, kPlayBudgetMs);
    setDouble(prop::kSpeed, 1.0);
    // libmpv cannot play a DVD backwards; the scan shows pictures of ever earlier positions.
    setFlag(prop::kPause, true);
    m_scan = Scan::Backwards;
    m_scanSpeed = speed;
    m_scanOrigin = currentPosition();
    m_scanShown = m_scanOrigin;
    m_scanBackOff = m_plainStream ? kPlainScanBackOff : kScanBackOff;
    m_scanClock.start();
    m_seekPending = false;
    scanStep();
}

DvdPlayState MpvDvdEngine::PlayState() noexcept {
    if (!m_mpv || !m_loaded)
        return DvdPlayState::Stopped;
    if (m_scan != Scan::None)
        return DvdPlayState::Playing;
    const bool paused = m_mpv->getFlag(prop::kPause).value_or(false);
    const bool ended = m_mpv->getFlag(prop::kEofReached).value_or(false);
    return paused || ended ? DvdPlayState::Paused : DvdPlayState::Playing;
}

// ---- full screen ------------------------------------------------------------------------------

bool MpvDvdEngine::FullScreenMode() {
    return m_fullScreen;
}

void MpvDvdEngine::SetFullScreenMode(bool on) {
    QWidget* video = m_video;
    if (!video)
        throw EngineError("the video window is gone");
    if (on == m_fullScreen)
        return;
    if (on) {
        QScreen* screen = video->screen() ? video->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            throw EngineError("there is no screen");
        if (!m_fullWindow) {
            m_fullWindow = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
            m_fullWindow->setObjectName(QStringLiteral("dvdFullScreen"));
            m_fullWindow->setAutoFillBackground(true);
            m_fullWindow->setFocusPolicy(Qt::StrongFocus);
        }
        m_fullWindow->setPalette(video->palette());
        m_savedParent = video->parentWidget();
        m_savedGeometry = video->geometry();
        const QRect area = screen->geometry();
        m_fullWindow->setGeometry(area);
        video->setParent(m_fullWindow);
        video->setGeometry(0, 0, area.width(), area.height());
        video->show();
        m_fullWindow->showFullScreen();
        // Without a window manager showFullScreen() leaves the size alone.
        m_fullWindow->setGeometry(area);
        m_fullWindow->raise();
        m_fullWindow->activateWindow();
        m_fullWindow->setFocus(Qt::OtherFocusReason);
        m_fullScreen = true;
    } else {
        video->setParent(m_savedParent);
        video->setGeometry(m_savedGeometry);
        video->show();
        if (m_fullWindow)
            m_fullWindow->hide();
        if (m_savedParent)
            m_savedParent->window()->activateWindow();
        m_fullScreen = false;
    }
}

// ---- position -----------------------------------------------------------------------------------

// While a menu shows no title plays: title, chapter and times read 0.
std::int32_t MpvDvdEngine::CurrentTitle() {
    if (m_inMenu)
        return 0;
    requireLoaded();
    return m_title;
}

std::int32_t MpvDvdEngine::CurrentChapter() {
    if (m_inMenu)
        return 0;
    return chapterIndexAt(currentPosition()) + 1;
}

QString MpvDvdEngine::CurrentTime() {
    if (m_inMenu)
        return dvdTimeText(0, m_fps);
    return dvdTimeText(currentPosition(), m_fps);
}

QString MpvDvdEngine::TotalTitleTime() {
    if (m_inMenu)
        return dvdTimeText(0, m_fps);
    return dvdTimeText(currentTitleInfo().length, m_fps);
}

double MpvDvdEngine::positionSeconds() {
    return currentPosition();
}

// ---- disc place -------------------------------------------------------------------------------

void MpvDvdEngine::SetDVDDirectory(const QString& path) {
    player();
    m_discs.read(path);
    m_directory = path;
    m_newPlace = true;
}

QString MpvDvdEngine::DVDDirectory() {
    return m_directory.isEmpty() ? defaultDevice() : m_directory;
}

// ---- angles -----------------------------------------------------------------------------------

std::int32_t MpvDvdEngine::CurrentAngle() {
    requireLoaded();
    return m_angle;
}

void MpvDvdEngine::SetCurrentAngle(std::int32_t angle) {
    const DvdTitleInfo& info = currentTitleInfo();
    if (angle < 1 || angle > info.angles)
        throw EngineError("the title has no such angle");
    if (angle == m_angle)
        return;
    // libmpv takes the angle when it opens the disc: open it again at the same place.
    const double position = currentPosition();
    load(m_loadedPlace, m_structure, m_title, position, angle, kPlayBudgetMs);
}

std::int32_t MpvDvdEngine::AnglesAvailable() {
    return currentTitleInfo().angles;
}

// ---- picture and sound ------------------------------------------------------------------------

void MpvDvdEngine::SetMute(bool on) {
    setFlag(prop::kMute, on);
}

void MpvDvdEngine::Zoom(std::int32_t x, std::int32_t y, double ratio) {
    Q_UNUSED(x);
    Q_UNUSED(y);
    if (!std::isfinite(ratio) || ratio < 0)
        throw EngineError("no such zoom ratio");
    player();
    if (m_inMenu)
        throw EngineError("a menu shows");
    if (ratio == 0 || ratio == 1) {
        setDouble(prop::kVideoZoom, 0);
        setDouble(prop::kVideoAlignX, 0);
        setDouble(prop::kVideoAlignY, 0);
        return;
    }
    // video-zoom counts powers of two; the picture's top-left corner stays in place.
    setDouble(prop::kVideoZoom, std::log2(ratio));
    setDouble(prop::kVideoAlignX, -1);
    setDouble(prop::kVideoAlignY, -1);
}

void MpvDvdEngine::SetBackColor(std::uint32_t colour) {
    const QColor colour24 = colourFromEngine(colour);
    if (m_video) {
        QPalette palette = m_video->palette();
        palette.setColor(QPalette::Window, colour24);
        m_video->setPalette(palette);
    }
    if (m_fullWindow) {
        QPalette palette = m_fullWindow->palette();
        palette.setColor(QPalette::Window, colour24);
        m_fullWindow->setPalette(palette);
    }
    if (!m_video)
        throw EngineError("the video window is gone");
    m_background = colour24.name(QColor::HexRgb).toLatin1();
    // Before libmpv runs, the colour waits for it.
    if (m_mpv && m_mpv->valid())
        setText(prop::kBackground, QString::fromLatin1(m_background));
}

// ---- bookmark ---------------------------------------------------------------------------------

void MpvDvdEngine::SaveBookmark() {
    const double position = currentPosition();
    const auto [audio, subpicture] = playingStreams();
    m_bookmark = Bookmark{m_loadedPlace, m_title, position, m_angle, audio, subpicture};
    // Kept on disk too, for this disc: it outlives the program.
    if (m_loaded && !m_structure.discId.isEmpty())
        m_bookmarks.save(m_structure.discId,
                         DiscBookmark{m_title, position, m_angle, audio, subpicture});
}

void MpvDvdEngine::RestoreBookmark() {
    player();
    if (!m_bookmark) {
        // None saved since the program started: the one kept on disk for the disc at hand.
        const QString place = m_loaded ? m_loadedPlace : DVDDirectory();
        const QString disc = m_loaded ? m_structure.discId : m_discs.read(place).discId;
        if (const auto kept = disc.isEmpty() ? std::nullopt : m_bookmarks.find(disc))
            m_bookmark = Bookmark{place,       kept->title, kept->seconds,
                                  kept->angle, kept->audio, kept->subpicture};
    }
    if (!m_bookmark)
        throw EngineError("there is no bookmark");
    const Bookmark mark = *m_bookmark;
    if (m_loaded && !m_inMenu && mark.place == m_loadedPlace && mark.title == m_title &&
        mark.angle == m_angle) {
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
    leaveMenu();
    m_nav.reset();
    load(mark.place, m_discs.read(mark.place), mark.title, mark.time, mark.angle,
         std::max<qint64>(kPlayBudgetMs - clock.elapsed(), 1000));
    applyStreams(mark.audio, mark.subpicture);
}

void MpvDvdEngine::SetVolume(double volume) {
    if (!std::isfinite(volume) || volume < 0 || volume > 1)
        throw EngineError("no such volume");
    setDouble("volume", volume * 100);
    m_volume = volume;
    refreshSnapshot();
}

void MpvDvdEngine::refreshSnapshot() noexcept {
    DvdSnapshot now;
    now.jumps = m_snapshot.jumps;
    now.volume = m_volume;
    try {
        now.state = PlayState();
        now.inMenu = m_inMenu;
        if (m_loaded && !m_inMenu) {
            const DvdTitleInfo& info = currentTitleInfo();
            now.title = m_title;
            now.seconds = currentPosition();
            now.chapter = chapterIndexAt(now.seconds) + 1;
            now.chapters = info.chapters;
            now.length = info.length;
            now.angle = m_angle;
            now.angles = info.angles;
            std::tie(now.audio, now.subpicture) = playingStreams();
        }
    } catch (const std::exception&) {
        now = DvdSnapshot{};
        now.volume = m_volume;
    }
    now.fps = m_fps;
    if (now.title != m_snapshot.title || now.inMenu != m_snapshot.inMenu ||
        std::abs(now.seconds - m_snapshot.seconds) > 1.5)
        ++now.jumps;
    if (now == m_snapshot)
        return;
    m_snapshot = now;
    emit m_events.snapshotChanged(m_snapshot);
}

void MpvDvdEngine::DeleteBookmark() {
    m_bookmark.reset();
    if (m_loaded && !m_structure.discId.isEmpty())
        m_bookmarks.remove(m_structure.discId);
}

} // namespace kavelo
