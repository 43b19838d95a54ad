#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>

struct mpv_handle;
struct mpv_event;

namespace kavelo::mpv {

Q_DECLARE_LOGGING_CATEGORY(lcMpv)

// libmpv's property and option names, in one place.
namespace name {
inline constexpr const char* kTimePos = "time-pos";
inline constexpr const char* kDuration = "duration";
inline constexpr const char* kEofReached = "eof-reached";
inline constexpr const char* kPause = "pause";
inline constexpr const char* kSpeed = "speed";
inline constexpr const char* kMute = "mute";
inline constexpr const char* kEnd = "end";
inline constexpr const char* kContainerFps = "container-fps";
inline constexpr const char* kDemuxerStartTime = "demuxer-start-time";
inline constexpr const char* kVideoZoom = "video-zoom";
inline constexpr const char* kVideoAlignX = "video-align-x";
inline constexpr const char* kVideoAlignY = "video-align-y";
inline constexpr const char* kVideoPanX = "video-pan-x";
inline constexpr const char* kVideoPanY = "video-pan-y";
inline constexpr const char* kBackground = "background";
inline constexpr const char* kTrackCount = "track-list/count";
// Fields of track-list/N/...: the track's kind, its id for aid/sid, and the id its container
// gives it (for an MPEG program stream the stream id or private stream 1 substream).
inline constexpr const char* kTrackType = "type";
inline constexpr const char* kTrackId = "id";
inline constexpr const char* kTrackSourceId = "src-id";
inline QByteArray trackField(std::int64_t index, const char* field) {
    return "track-list/" + QByteArray::number(index) + '/' + field;
}
inline constexpr const char* kVo = "vo";
inline constexpr const char* kWid = "wid";
inline constexpr const char* kForceWindow = "force-window";
inline constexpr const char* kFrameNumber = "estimated-frame-number";
inline constexpr const char* kVolume = "volume";
inline constexpr const char* kAudioId = "aid";
inline constexpr const char* kSubtitleId = "sid";
inline constexpr const char* kVideoWidth = "video-params/w";
inline constexpr const char* kVideoHeight = "video-params/h";
inline constexpr const char* kResetOnNextFile = "reset-on-next-file";
// Where libmpv shows the picture in its window: the window's size and the bars around it.
// A map: w and h (the window's pixels), ml, mt, mr and mb (the bars around the picture).
inline constexpr const char* kOsdDimensions = "osd-dimensions";
} // namespace name

// What libmpv reports, in the terms its users need.
struct Event {
    enum class Type {
        StartFile,
        FileLoaded,
        EndFile,
        PlaybackRestart,
        PropertyChange,
        Shutdown,
        Other
    };
    Type type = Type::Other;
    std::int64_t entry = -1;     // StartFile, EndFile: the playlist entry
    bool failed = false;         // EndFile: ended by an error, not by stop or the end
    int error = 0;               // EndFile: libmpv's error code
    std::uint64_t observer = 0;  // PropertyChange: the id given to observe()
    std::optional<double> value; // PropertyChange: a number, or a flag as 0 or 1
};

// One libmpv player: owns the handle, sets the options every Kavelo player uses, forwards mpv's
// own warnings to the kavelo.mpv category and delivers events on the thread that owns it (the
// wakeup queues one drain). Calls return libmpv's codes (negative on failure); errorText()
// words them; each user maps them to its own errors.
class Session final : public QObject {
    Q_OBJECT
public:
    using EventHandler = std::function<void(const Event&)>;

    // Creates the handle with the shared options; valid() says whether libmpv was created.
    Session();
    ~Session() override;

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool valid() const { return m_handle != nullptr; }
    // The handle itself, for this library's other helpers (only they see libmpv's header).
    mpv_handle* rawHandle() const { return m_handle.get(); }
    static QString errorText(int code);

    // Before initialize(): options. An option this libmpv lacks is simply not set.
    int setOption(const char* option, const char* value);
    // Video into the native window `window`, or no video output at all when it is 0.
    void setVideoWindow(std::int64_t window);
    int initialize();

    void setEventHandler(EventHandler handler) { m_handler = std::move(handler); }
    // Hands every pending event to the handler.
    void drain();
    // Hands events to the handler until `done` holds or `ms` have passed; what `done` says last.
    bool waitUntil(const std::function<bool()>& done, qint64 ms);
    // Ends the player now (the handle goes; later calls fail and waits return at once).
    void destroy();

    int command(std::initializer_list<QByteArray> args);
    // "loadfile" replacing what plays; *entry is the new playlist entry's id, -1 when libmpv
    // does not say (its START_FILE event does).
    int loadFile(const QByteArray& url, const QByteArray& options, std::int64_t* entry);

    int observe(std::uint64_t observer, const char* property, bool flag);

    int setFlag(const char* property, bool value);
    int setDouble(const char* property, double value);
    int setText(const char* property, const QByteArray& value);
    std::optional<double> getDouble(const char* property);
    std::optional<std::int64_t> getInt(const char* property);
    std::optional<bool> getFlag(const char* property);
    std::optional<QString> getText(const char* property);
    // The numbers of a map property by their keys (its other entries left out), read at once.
    std::optional<std::map<std::string, double>> getNumbers(const char* property);

private:
    struct Api;
    struct Deleter {
        const Api* api;
        void operator()(mpv_handle* handle) const;
    };
    void handleOne(const mpv_event& event);

    std::unique_ptr<Api> m_api;
    std::unique_ptr<mpv_handle, Deleter> m_handle;
    EventHandler m_handler;
};

} // namespace kavelo::mpv
