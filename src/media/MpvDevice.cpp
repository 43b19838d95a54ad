// The device that plays video and audio files through libmpv, with the picture in a native
// child window of the parent that the open command names.
#include "MediaDevices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <mpv/client.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace kavelo {

namespace {

// libmpv answers in well under these on two busy cores; they only bound a broken file.
constexpr int kLoadTimeoutMs = 15000;
constexpr int kSeekTimeoutMs = 5000;

struct MpvDeleter {
    void operator()(mpv_handle* h) const {
        if (h) {
            mpv_set_wakeup_callback(h, nullptr, nullptr);
            mpv_terminate_destroy(h);
        }
    }
};
using MpvHandle = std::unique_ptr<mpv_handle, MpvDeleter>;

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

    static void wakeup(void* self);
    void drain();
    MciError waitFor(mpv_event_id wanted, int timeoutMs);
    void setOption(const char* name, const char* value);
    bool setPause(bool on);
    void setEnd(std::optional<double> seconds);
    double doubleProperty(const char* name, double fallback);
    std::string stringProperty(const std::string& name);
    bool eofReached();
    MciError seekSeconds(double seconds);
    double toSeconds(qint64 v) const;
    qint64 frameCount();

    MpvHandle m_mpv;
    QPointer<QWidget> m_video; // the native window that mpv draws into
    bool m_videoGone = false;  // its parent destroyed it
    bool m_hasVideo = false;
    double m_fps = 0;
    TimeFormat m_format = TimeFormat::Milliseconds;
    Mode m_mode = Mode::Stopped;
};

MpvDevice::~MpvDevice() {
    // mpv lets go of the window before the window goes.
    m_mpv.reset();
    if (!m_videoGone && m_video)
        delete m_video.data();
}

void MpvDevice::setOption(const char* name, const char* value) {
    // An option this libmpv lacks is simply not set.
    mpv_set_option_string(m_mpv.get(), name, value);
}

MciError MpvDevice::start(const OpenRequest& request, const MediaOptions& options) {
    m_mpv.reset(mpv_create());
    if (!m_mpv)
        return MciError::EngineFailed;

    for (const auto& [name, value] : {
             std::pair{"config", "no"},
             {"terminal", "no"},
             {"idle", "yes"},
             {"pause", "yes"},
             {"keep-open", "always"},
             {"force-window", "no"},
             {"osc", "no"},
             {"osd-level", "0"},
             {"load-scripts", "no"},
             {"ytdl", "no"},
             {"input-default-bindings", "no"},
             {"input-builtin-bindings", "no"},
             {"input-vo-keyboard", "no"},
             {"input-cursor", "no"},
             {"cursor-autohide", "no"},
             {"audio-display", "no"},
             {"audio-file-auto", "no"},
             {"sub-auto", "no"},
             {"cover-art-auto", "no"},
             {"access-references", "no"},
             {"load-unsafe-playlists", "no"},
             {"audio-fallback-to-null", "yes"},
             {"hr-seek", "yes"},
             {"hr-seek-demuxer-offset", "1"},
         })
        setOption(name, value);

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
            m_mpv.reset();
        });
        std::int64_t wid = static_cast<std::int64_t>(m_video->winId());
        mpv_set_option(m_mpv.get(), "wid", MPV_FORMAT_INT64, &wid);
        setOption("vo", "gpu,x11");
        setOption("gpu-sw", "yes");
    } else {
        setOption("vo", "null");
    }

    if (mpv_initialize(m_mpv.get()) < 0)
        return MciError::EngineFailed;

    const QByteArray path = request.path.toUtf8();
    const char* load[] = {"loadfile", path.constData(), nullptr};
    if (mpv_command(m_mpv.get(), load) < 0)
        return MciError::CannotPlay;
    if (const MciError e = waitFor(MPV_EVENT_FILE_LOADED, kLoadTimeoutMs); e != MciError::None)
        return e;

    bool hasAudio = false;
    int width = 0;
    int height = 0;
    std::int64_t count = 0;
    mpv_get_property(m_mpv.get(), "track-list/count", MPV_FORMAT_INT64, &count);
    for (std::int64_t i = 0; i < count && i < 1000; ++i) {
        const std::string base = "track-list/" + std::to_string(i) + "/";
        const std::string type = stringProperty(base + "type");
        if (type == "audio")
            hasAudio = true;
        if (type != "video" || stringProperty(base + "albumart") == "yes")
            continue;
        if (!m_hasVideo) {
            m_hasVideo = true;
            std::int64_t w = 0;
            std::int64_t h = 0;
            mpv_get_property(m_mpv.get(), (base + "demux-w").c_str(), MPV_FORMAT_INT64, &w);
            mpv_get_property(m_mpv.get(), (base + "demux-h").c_str(), MPV_FORMAT_INT64, &h);
            width = static_cast<int>(std::clamp<std::int64_t>(w, 1, 32767));
            height = static_cast<int>(std::clamp<std::int64_t>(h, 1, 32767));
        }
    }
    if (!m_hasVideo && !hasAudio)
        return MciError::CannotPlay;
    if (m_hasVideo && !display && !options.videoWithoutDisplay)
        return MciError::NoDisplay;
    if (m_hasVideo) {
        m_fps = doubleProperty("container-fps", 0);
        if (!(m_fps > 0 && m_fps < 1000))
            m_fps = 25;
    }

    // The first picture is decoded (and shown) before the open returns.
    if (const MciError e = waitFor(MPV_EVENT_PLAYBACK_RESTART, kLoadTimeoutMs); e != MciError::None)
        return e;
    if (m_hasVideo && m_video) {
        m_video->setGeometry(0, 0, width, height);
        m_video->show();
    }
    mpv_set_wakeup_callback(m_mpv.get(), &MpvDevice::wakeup, this);
    return MciError::None;
}

void MpvDevice::wakeup(void* self) {
    auto* device = static_cast<MpvDevice*>(self);
    QMetaObject::invokeMethod(device, &MpvDevice::drain, Qt::QueuedConnection);
}

void MpvDevice::drain() {
    while (m_mpv) {
        const mpv_event* e = mpv_wait_event(m_mpv.get(), 0);
        if (e->event_id == MPV_EVENT_NONE)
            break;
        if (e->event_id == MPV_EVENT_END_FILE || e->event_id == MPV_EVENT_SHUTDOWN)
            m_mode = Mode::Stopped;
    }
}

MciError MpvDevice::waitFor(mpv_event_id wanted, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (m_mpv) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return MciError::Timeout;
        const mpv_event* e = mpv_wait_event(m_mpv.get(), static_cast<double>(left) / 1000.0);
        if (e->event_id == wanted)
            return MciError::None;
        switch (e->event_id) {
        case MPV_EVENT_END_FILE:
            return MciError::CannotPlay;
        case MPV_EVENT_SHUTDOWN:
            return MciError::EngineFailed;
        default:
            break;
        }
    }
    return MciError::EngineFailed;
}

bool MpvDevice::setPause(bool on) {
    int flag = on ? 1 : 0;
    return mpv_set_property(m_mpv.get(), "pause", MPV_FORMAT_FLAG, &flag) >= 0;
}

void MpvDevice::setEnd(std::optional<double> seconds) {
    const QByteArray value = seconds ? QByteArray::number(*seconds, 'f', 6) : QByteArray("none");
    mpv_set_property_string(m_mpv.get(), "end", value.constData());
}

double MpvDevice::doubleProperty(const char* name, double fallback) {
    double v = 0;
    if (mpv_get_property(m_mpv.get(), name, MPV_FORMAT_DOUBLE, &v) < 0 || !std::isfinite(v))
        return fallback;
    return v;
}

std::string MpvDevice::stringProperty(const std::string& name) {
    char* s = mpv_get_property_string(m_mpv.get(), name.c_str());
    if (!s)
        return {};
    std::string v(s);
    mpv_free(s);
    return v;
}

bool MpvDevice::eofReached() {
    int flag = 0;
    return mpv_get_property(m_mpv.get(), "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag;
}

double MpvDevice::toSeconds(qint64 v) const {
    if (m_format == TimeFormat::Frames)
        return static_cast<double>(v) / m_fps;
    return static_cast<double>(v) / 1000.0;
}

qint64 MpvDevice::frameCount() {
    return std::llround(doubleProperty("duration", 0) * m_fps);
}

MciError MpvDevice::seekSeconds(double seconds) {
    drain(); // no stale restart may answer for this seek
    const QByteArray target = QByteArray::number(std::max(0.0, seconds), 'f', 6);
    const char* cmd[] = {"seek", target.constData(), "absolute+exact", nullptr};
    if (mpv_command(m_mpv.get(), cmd) < 0)
        return MciError::EngineFailed;
    return waitFor(MPV_EVENT_PLAYBACK_RESTART, kSeekTimeoutMs);
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
        if (const MciError e = seekSeconds(doubleProperty("time-pos", 0)); e != MciError::None)
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
        *value = std::llround(doubleProperty("duration", 0) * 1000.0);
    return MciError::None;
}

MciError MpvDevice::position(qint64* value) {
    if (!m_mpv)
        return MciError::EngineFailed;
    const double t = std::max(0.0, doubleProperty("time-pos", 0));
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
