#pragma once

#include "Logging.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace kavelo {

namespace mpv {
class Session;
class LoadTracker;
class MenuStreams;
class TitleStreams;
struct Event;
} // namespace mpv

// The engine's own category, kavelo.dvd.
inline const QLoggingCategory& lcDvd() {
    return logging::dvd();
}

// The properties the driver observes, as the ids their change events carry.
enum MpvObserver : std::uint64_t { kObserveTimePos = 1, kObserveEof = 2, kObservePause = 3 };

// The DVD engine's libmpv player: started on first use into the video's native window, kept
// for the engine's life (Stop and Play reuse its video output), with the stream protocols that
// feed it a title's or a menu's sectors. Its calls raise EngineError with libmpv's reason.
class MpvDriver {
public:
    // `window` gives the native window to draw into (0: no video output; nullopt: the video
    // window is gone, and no player starts); `events` receives every libmpv event after the
    // load tracker has seen it.
    MpvDriver(std::function<std::optional<std::int64_t>()> window,
              std::function<void(const mpv::Event&)> events);
    ~MpvDriver();

    MpvDriver(const MpvDriver&) = delete;
    MpvDriver& operator=(const MpvDriver&) = delete;

    // The player, started now if it is not running. Throws EngineError when libmpv cannot start.
    mpv::Session& session();
    bool running() const;
    // The player ends now (its window is going); a later session() starts a new one.
    void release();

    // Colour around the picture, kept for a player started later.
    void setBackground(const QByteArray& colour);

    mpv::LoadTracker& loads();
    // Pictures libmpv has shown after a load or a seek.
    int pictures() const;
    mpv::TitleStreams& titleStreams() { return *m_titleStreams; }
    bool titleStreamsInstalled() const { return m_titleStreamsInstalled; }
    // The menu protocol, registered with the running player on first use.
    mpv::MenuStreams& menuStreams();

    // Raise EngineError when libmpv refuses.
    void setFlag(const char* name, bool value);
    void setDouble(const char* name, double value);
    void setText(const char* name, const QByteArray& value);
    void command(std::initializer_list<QByteArray> args);
    // For what may fail without changing what the viewer gets: a debug line, no error.
    bool trySetFlag(const char* name, bool value) noexcept;
    bool tryCommand(std::initializer_list<QByteArray> args) noexcept;

    // Reads from the running player; nullopt when it is not running or has no value.
    std::optional<double> getDouble(const char* name) const;
    std::optional<std::int64_t> getInt(const char* name) const;
    std::optional<bool> getFlag(const char* name) const;
    std::optional<QString> getText(const char* name) const;
    std::optional<std::map<std::string, double>> getNumbers(const char* name) const;

    // Hands libmpv's pending events on; waits (handing them on) until `done` or `ms` have passed.
    void drain();
    bool waitUntil(const std::function<bool()>& done, qint64 ms);

private:
    void start();
    // Hands back to the system, once a load's first picture has been up a while, what libmpv's
    // threads allocated and freed while it opened.
    void releaseAfterLoad(const mpv::Event& event);

    std::function<std::optional<std::int64_t>()> m_window;
    std::function<void(const mpv::Event&)> m_events;
    QByteArray m_background = "#000000";
    // Menu pieces and titles are read by libmpv until it is gone: they outlive it.
    std::unique_ptr<mpv::MenuStreams> m_menuStreams;
    std::unique_ptr<mpv::TitleStreams> m_titleStreams;
    bool m_titleStreamsInstalled = false;
    const mpv::Session* m_menuStreamsFor = nullptr; // the player they are registered with
    std::unique_ptr<mpv::Session> m_mpv;
    std::unique_ptr<mpv::LoadTracker> m_loads;
    std::unique_ptr<QTimer> m_release;
    bool m_releasePending = false; // a load awaits its first picture
};

} // namespace kavelo
