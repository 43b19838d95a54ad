// The device that plays video and audio files through libmpv, with the picture in a native
// child window of the parent that the open command names.
#include "LoadTracker.h"
#include "MediaDevices.h"
#include "MpvSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

namespace kavelo {

namespace {

namespace prop = mpv::name;
using mpv::Event;

// libmpv answers in well under these on two busy cores; they only bound a broken file.
constexpr int kLoadTimeoutMs = 15000;
constexpr int kSeekTimeoutMs = 5000;

// Video can be shown only inside an X11 window of a widget application.
bool haveX11Display() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

class MpvDevice final : public QObject, public IMciDevice {
public:
    MpvDevice() = default;
    ~MpvDevice() override;

    MciError start(const OpenRequest& request, const MediaOptions& options);

    MciError play(std::optional<qint64> from, std::optional<qint64> to) override;
    MciError pause() override;
    MciError resume() override;
    MciError stop() override;
    MciError seek(qint64 to) override;
    MciError putWindow(const QRect& rect) override;
    MciError setTimeFormat(TimeFormat format) override;
    MciError length(qint64* value) override;
    MciError position(qint64* value) override;
    QString mode() override;

private:
    using Mode = DeviceMode;

    void onEvent(const Event& event);
    MciError outcome(mpv::LoadTracker::Outcome outcome) const;
    bool setPause(bool on);
    void setEnd(std::optional<double> seconds);
    double doubleProperty(const char* name, double fallback);
    QString textProperty(const std::string& name);
    std::int64_t intProperty(const std::string& name);
    bool eofReached();
    MciError seekSeconds(double seconds);
    double toSeconds(qint64 v) const;
    qint64 frameCount();

    std::unique_ptr<mpv::Session> m_mpv;
    std::unique_ptr<mpv::LoadTracker> m_loads; // the file's load, its pictures and its end
    QPointer<QWidget> m_video;                 // the native window that mpv draws into
    bool m_videoGone = false;                  // its parent destroyed it
    bool m_hasVideo = false;
    double m_fps = 0;
    TimeFormat m_format = TimeFormat::Milliseconds;
    Mode m_mode = Mode::Stopped;
};

MpvDevice::~MpvDevice() {
    // mpv lets go of the window before the window goes.
    m_loads.reset();
    m_mpv.reset();
    if (!m_videoGone && m_video)
        delete m_video.data();
}

MciError MpvDevice::start(const OpenRequest& request, const MediaOptions& options) {
    m_mpv = std::make_unique<mpv::Session>();
    if (!m_mpv->valid())
        return MciError::EngineFailed;
    // One file, opened paused and held at its end; nothing beside it is looked for or loaded.
    for (const auto& [name, value] : {
             std::pair{"pause", "yes"},
             {"keep-open", "always"},
             {"force-window", "no"},
             {"audio-display", "no"},
             {"audio-file-auto", "no"},
             {"sub-auto", "no"},
             {"cover-art-auto", "no"},
             {"access-references", "no"},
             {"load-unsafe-playlists", "no"},
         })
        m_mpv->setOption(name, value);

    const bool display = haveX11Display();
    if (display) {
        m_video = new QWidget(request.parent);
        m_video->setAttribute(Qt::WA_NativeWindow);
        m_video->setAutoFillBackground(true);
        QPalette pal = m_video->palette();
        pal.setColor(QPalette::Window, Qt::black);
        m_video->setPalette(pal);
        m_video->setGeometry(0, 0, 1, 1);
        m_video->hide();
        // Should the parent destroy the window first, mpv must stop drawing into it at once.
        connect(m_video.data(), &QObject::destroyed, this, [this] {
            m_videoGone = true;
            m_loads.reset();
            m_mpv.reset();
        });
        m_mpv->setVideoWindow(static_cast<std::int64_t>(m_video->winId()));
    } else {
        m_mpv->setVideoWindow(0);
    }

    if (m_mpv->initialize() < 0)
        return MciError::EngineFailed;
    m_loads = std::make_unique<mpv::LoadTracker>(*m_mpv);
    m_mpv->setEventHandler([this](const Event& event) { onEvent(event); });

    if (m_loads->start(request.path.toUtf8(), {}) < 0)
        return MciError::CannotPlay;
    if (const MciError e = outcome(m_loads->waitLoaded(kLoadTimeoutMs)); e != MciError::None)
        return e;

    bool hasAudio = false;
    int width = 0;
    int height = 0;
    const std::int64_t count = intProperty(prop::kTrackCount);
    for (std::int64_t i = 0; i < count && i < 1000; ++i) {
        const std::string base = "track-list/" + std::to_string(i) + "/";
        const QString type = textProperty(base + "type");
        if (type == QLatin1String("audio"))
            hasAudio = true;
        if (type != QLatin1String("video") ||
            textProperty(base + "albumart") == QLatin1String("yes"))
            continue;
        if (!m_hasVideo) {
            m_hasVideo = true;
            width =
                static_cast<int>(std::clamp<std::int64_t>(intProperty(base + "demux-w"), 1, 32767));
            height =
                static_cast<int>(std::clamp<std::int64_t>(intProperty(base + "demux-h"), 1, 32767));
        }
    }
    if (!m_hasVideo && !hasAudio)
        return MciError::CannotPlay;
    if (m_hasVideo && !display && !options.videoWithoutDisplay)
        return MciError::NoDisplay;
    if (m_hasVideo) {
        m_fps = doubleProperty(prop::kContainerFps, 0);
        if (!(m_fps > 0 && m_fps < 1000))
            m_fps = 25;
    }

    // The first picture is decoded (and shown) before the open returns.
    if (const MciError e = outcome(m_loads->waitPicture(kLoadTimeoutMs)); e != MciError::None)
        return e;
    if (m_hasVideo && m_video) {
        m_video->setGeometry(0, 0, width, height);
        m_video->show();
    }
    return MciError::None;
}

void MpvDevice::onEvent(const Event& event) {
    if (m_loads)
        m_loads->observe(event);
    if (event.type == Event::Type::EndFile || event.type == Event::Type::Shutdown)
        m_mode = Mode::Stopped;
}

MciError MpvDevice::outcome(mpv::LoadTracker::Outcome outcome) const {
    switch (outcome) {
    case mpv::LoadTracker::Outcome::Done:
        return MciError::None;
    case mpv::LoadTracker::Outcome::Ended:
        return MciError::CannotPlay;
    case mpv::LoadTracker::Outcome::Gone:
        return MciError::EngineFailed;
    case mpv::LoadTracker::Outcome::TimedOut:
        break;
    }
    return m_mpv && m_mpv->valid() ? MciError::Timeout : MciError::EngineFailed;
}

bool MpvDevice::setPause(bool on) {
    return m_mpv->setFlag(prop::kPause, on) >= 0;
}

void MpvDevice::setEnd(std::optional<double> seconds) {
    const QByteArray value = seconds ? QByteArray::number(*seconds, 'f', 6) : QByteArray("none");
    m_mpv->setText(prop::kEnd, value);
}

double MpvDevice::doubleProperty(const char* name, double fallback) {
    return m_mpv->getDouble(name).value_or(fallback);
}

QString MpvDevice::textProperty(const std::string& name) {
    return m_mpv->getText(name.c_str()).value_or(QString());
}

std::int64_t MpvDevice::intProperty(const std::string& name) {
    return m_mpv->getInt(name.c_str()).value_or(0);
}

bool MpvDevice::eofReached() {
    return m_mpv->getFlag(prop::kEofReached).value_or(false);
}

double MpvDevice::toSeconds(qint64 v) const {
    if (m_format == TimeFormat::Frames)
        return static_cast<double>(v) / m_fps;
    return static_cast<double>(v) / 1000.0;
}

qint64 MpvDevice::frameCount() {
    return std::llround(doubleProperty(prop::kDuration, 0) * m_fps);
}

MciError MpvDevice::seekSeconds(double seconds) {
    m_mpv->drain(); // no stale restart may answer for this seek
    if (m_mpv->command(
            {"seek", QByteArray::number(std::max(0.0, seconds), 'f', 6), "absolute+exact"}) < 0)
        return MciError::EngineFailed;
    if (!m_loads)
        return MciError::EngineFailed;
    return outcome(m_loads->waitPicture(kSeekTimeoutMs));
}

MciError MpvDevice::play(std::optional<qint64> from, std::optional<qint64> to) {
    if (!m_mpv)
        return MciError::EngineFailed;
    setPause(true);
    setEnd(std::nullopt);
    if (from) {
        if (const MciError e = seekSeconds(toSeconds(*from)); e != MciError::None)
            return e;
    } else if (eofReached()) {
        // Held at the end of the last range: go on from the picture shown.
        if (const MciError e = seekSeconds(doubleProperty(prop::kTimePos, 0)); e != MciError::None)
            return e;
    }
    if (to) {
        // The picture `to` is the last one shown: the range ends half a frame after it.
        const double end = m_format == TimeFormat::Frames ? (static_cast<double>(*to) + 0.5) / m_fps
                                                          : toSeconds(*to);
        setEnd(end);
    }
    if (!setPause(false))
        return MciError::EngineFailed;
    m_mode = Mode::Playing;
    return MciError::None;
}

MciError MpvDevice::pause() {
    if (!m_mpv)
        return MciError::EngineFailed;
    setPause(true);
    if (m_mode == Mode::Playing)
        m_mode = Mode::Paused;
    return MciError::None;
}

MciError MpvDevice::resume() {
    if (!m_mpv)
        return MciError::EngineFailed;
    if (m_mode != Mode::Paused)
        return MciError::None;
    if (!setPause(false))
        return MciError::EngineFailed;
    m_mode = Mode::Playing;
    return MciError::None;
}

MciError MpvDevice::stop() {
    if (!m_mpv)
        return MciError::EngineFailed;
    setPause(true);
    m_mode = Mode::Stopped;
    return MciError::None;
}

MciError MpvDevice::seek(qint64 to) {
    if (!m_mpv)
        return MciError::EngineFailed;
    setPause(true);
    setEnd(std::nullopt);
    m_mode = Mode::Stopped;
    return seekSeconds(toSeconds(to));
}

MciError MpvDevice::putWindow(const QRect& rect) {
    if (!m_mpv)
        return MciError::EngineFailed;
    if (!m_hasVideo)
        return MciError::NoPicture;
    if (m_video) {
        m_video->setGeometry(rect);
        m_video->show();
    }
    return MciError::None;
}

MciError MpvDevice::setTimeFormat(TimeFormat format) {
    if (!m_mpv)
        return MciError::EngineFailed;
    if (format == TimeFormat::Frames && !m_hasVideo)
        return MciError::NoFrames;
    m_format = format;
    return MciError::None;
}

MciError MpvDevice::length(qint64* value) {
    if (!m_mpv)
        return MciError::EngineFailed;
    if (m_format == TimeFormat::Frames)
        *value = frameCount();
    else
        *value = std::llround(doubleProperty(prop::kDuration, 0) * 1000.0);
    return MciError::None;
}

MciError MpvDevice::position(qint64* value) {
    if (!m_mpv)
        return MciError::EngineFailed;
    const double t = std::max(0.0, doubleProperty(prop::kTimePos, 0));
    if (m_format == TimeFormat::Frames)
        *value = std::min(std::llround(t * m_fps), std::max<qint64>(frameCount(), 0));
    else
        *value = std::llround(t * 1000.0);
    return MciError::None;
}

QString MpvDevice::mode() {
    if (!m_mpv)
        return QStringLiteral("stopped");
    if (m_mode == Mode::Playing && eofReached())
        m_mode = Mode::Stopped;
    return modeText(m_mode);
}

} // namespace

std::unique_ptr<IMciDevice> openMpvDevice(const OpenRequest& request, const MediaOptions& options,
                                          MciError* error) {
    return startDevice<MpvDevice>(request, options, error);
}

} // namespace kavelo
