#include "MpvDriver.h"

#include "DvdEngine.h"
#include "LoadTracker.h"
#include "MenuStreams.h"
#include "MpvSession.h"
#include "TitleStreams.h"

#include <QElapsedTimer>
#include <QTimer>

#include <malloc.h>
#include <utility>

namespace kavelo {

namespace {

namespace prop = mpv::name;

// After a load's first picture: by then the video output has built its shaders and the
// demuxer has probed the stream, and the playing title's own buffers are in use.
constexpr int kReleaseAfterPictureMs = 400;
// Free memory the heap keeps for the next title. Each open allocates and frees again some
// 13 MiB (the probe's buffers, the shader compiler's work); handed back every time, the next open
// had to fault it all in anew, which took 30 of its 55 ms on a virtual machine. Beyond this
// much it is handed back, so that what is left free cannot build up from title to title.
constexpr std::size_t kKeepFreeBytes = std::size_t{16} << 20;

std::string message(const char* what, int code) {
    return (QString::fromUtf8(what) + QStringLiteral(": ") + mpv::Session::errorText(code))
        .toStdString();
}

} // namespace

MpvDriver::MpvDriver(std::function<std::optional<std::int64_t>()> window,
                     std::function<void(const mpv::Event&)> events)
    : m_window(std::move(window)), m_events(std::move(events)),
      m_titleStreams(std::make_unique<mpv::TitleStreams>()), m_release(std::make_unique<QTimer>()) {
    m_release->setSingleShot(true);
    m_release->setInterval(kReleaseAfterPictureMs);
    QObject::connect(m_release.get(), &QTimer::timeout, [] {
        // Opening titles leaves memory freed but held by the allocator (the software renderer's
        // shader compiler, the probe's reads, the previous title's pictures); past what the next
        // open reuses, the program would carry it for as long as the title plays.
        const std::size_t free = mallinfo2().fordblks;
        if (free <= kKeepFreeBytes) {
            qCDebug(lcDvd) << "memory freed while opening kept for the next:" << free / 1024
                           << "KiB";
            return;
        }
        QElapsedTimer clock;
        clock.start();
        malloc_trim(0);
        qCDebug(lcDvd) << "memory freed while opening handed back:" << free / 1024 << "KiB in"
                       << clock.nsecsElapsed() / 1000 << "us";
    });
}

MpvDriver::~MpvDriver() {
    m_loads.reset();
    m_mpv.reset();
}

bool MpvDriver::running() const {
    return m_mpv && m_mpv->valid();
}

mpv::Session& MpvDriver::session() {
    if (!running())
        start();
    return *m_mpv;
}

void MpvDriver::start() {
    auto giveUp = [&](const std::string& why) {
        m_loads.reset();
        m_mpv.reset();
        throw EngineError(why);
    };
    m_loads.reset();
    const std::optional<std::int64_t> window = m_window();
    if (!window)
        throw EngineError("the video window is gone");
    m_mpv = std::make_unique<mpv::Session>();
    if (!m_mpv->valid())
        giveUp("libmpv could not be created");
    mpv::Session& session = *m_mpv;
    for (const auto& [option, value] : {
             std::pair{"ao", "pulse,alsa,null"},
             {"audio-client-name", "Kavelo"},
             {"keep-open", "yes"},
             {"stop-screensaver", "no"},
             // An exact seek reads from this far before the asked picture, so that the group
             // of pictures holding it is decoded from its start: a DVD's groups last at most
             // 0.6 s (15 pictures at 25/s, 18 at 30/s), and the first pictures shown of one
             // may lie up to three pictures before its key picture.
             {"hr-seek-demuxer-offset", "0.72"},
         })
        session.setOption(option, value);
    session.setOption(prop::kBackground, m_background.constData());
    session.setVideoWindow(*window);
    // The video output lives as long as the engine: Stop and Play reuse it instead of building
    // it again (which costs most of an open and grows memory every time).
    if (*window != 0)
        session.setOption(prop::kForceWindow, "yes");
    if (const int rc = session.initialize(); rc < 0)
        giveUp(message("libmpv could not start", rc));
    // Every title is read from the disc's sectors through Kavelo's own stream protocol.
    m_titleStreamsInstalled = m_titleStreams->install(session);
    if (!m_titleStreamsInstalled)
        qCWarning(lcDvd) << "the title stream protocol could not be registered: no title can"
                            " play";
    session.observe(kObserveTimePos, prop::kTimePos, false);
    session.observe(kObserveEof, prop::kEofReached, true);
    session.observe(kObservePause, prop::kPause, true);
    m_loads = std::make_unique<mpv::LoadTracker>(session);
    session.setEventHandler([this](const mpv::Event& event) {
        if (m_loads)
            m_loads->observe(event);
        releaseAfterLoad(event);
        m_events(event);
    });
}

void MpvDriver::releaseAfterLoad(const mpv::Event& event) {
    // Once a load: seeks and scans reuse what the title holds, and give nothing back.
    if (event.type == mpv::Event::Type::FileLoaded) {
        m_releasePending = true;
    } else if (event.type == mpv::Event::Type::PlaybackRestart && m_releasePending) {
        m_releasePending = false;
        m_release->start();
    }
}

void MpvDriver::release() {
    if (m_mpv)
        m_mpv->destroy();
}

void MpvDriver::setBackground(const QByteArray& colour) {
    m_background = colour;
    if (running())
        setText(prop::kBackground, colour);
}

mpv::LoadTracker& MpvDriver::loads() {
    session();
    return *m_loads;
}

int MpvDriver::pictures() const {
    return m_loads ? m_loads->pictures() : 0;
}

mpv::MenuStreams& MpvDriver::menuStreams() {
    mpv::Session& player = session();
    if (m_menuStreams && m_menuStreamsFor == &player)
        return *m_menuStreams;
    auto streams = std::make_unique<mpv::MenuStreams>();
    if (!streams->install(player))
        throw EngineError("the menu protocol could not be registered");
    m_menuStreams = std::move(streams);
    m_menuStreamsFor = &player;
    // A still menu ends paused; what follows it must not inherit the pause.
    setText(prop::kResetOnNextFile, "pause");
    return *m_menuStreams;
}

void MpvDriver::setFlag(const char* name, bool value) {
    if (const int rc = session().setFlag(name, value); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDriver::setDouble(const char* name, double value) {
    if (const int rc = session().setDouble(name, value); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDriver::setText(const char* name, const QByteArray& value) {
    if (const int rc = session().setText(name, value); rc < 0)
        throw EngineError(message(name, rc));
}

void MpvDriver::command(std::initializer_list<QByteArray> args) {
    if (const int rc = session().command(args); rc < 0)
        throw EngineError(message(args.begin()->constData(), rc));
}

bool MpvDriver::trySetFlag(const char* name, bool value) noexcept {
    const int rc = running() ? m_mpv->setFlag(name, value) : -1;
    if (rc < 0)
        qCDebug(lcDvd) << "setting" << name << "failed:" << rc;
    return rc >= 0;
}

bool MpvDriver::tryCommand(std::initializer_list<QByteArray> args) noexcept {
    const int rc = running() ? m_mpv->command(args) : -1;
    if (rc < 0)
        qCDebug(lcDvd) << "command" << args.begin()->constData() << "failed:" << rc;
    return rc >= 0;
}

std::optional<double> MpvDriver::getDouble(const char* name) const {
    return running() ? m_mpv->getDouble(name) : std::nullopt;
}

std::optional<std::int64_t> MpvDriver::getInt(const char* name) const {
    return running() ? m_mpv->getInt(name) : std::nullopt;
}

std::optional<bool> MpvDriver::getFlag(const char* name) const {
    return running() ? m_mpv->getFlag(name) : std::nullopt;
}

std::optional<QString> MpvDriver::getText(const char* name) const {
    return running() ? m_mpv->getText(name) : std::nullopt;
}

std::optional<std::map<std::string, double>> MpvDriver::getNumbers(const char* name) const {
    return running() ? m_mpv->getNumbers(name) : std::nullopt;
}

void MpvDriver::drain() {
    if (m_mpv)
        m_mpv->drain();
}

bool MpvDriver::waitUntil(const std::function<bool()>& done, qint64 ms) {
    return running() && m_mpv->waitUntil(done, ms);
}

} // namespace kavelo
