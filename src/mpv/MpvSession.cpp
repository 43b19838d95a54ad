#include "MpvSession.h"

#include <QMetaObject>

#include <mpv/client.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace kavelo::mpv {

Q_LOGGING_CATEGORY(lcMpv, "kavelo.mpv")

namespace {

// The options every Kavelo player shares: nothing of the user's mpv set-up, no input, no
// on-screen controls, exact seeks that reach back far enough for MPEG-2, and sound that falls
// back to silence rather than failing.
const std::pair<const char*, const char*> kCommonOptions[] = {
    {"config", "no"},
    {"terminal", "no"},
    {"load-scripts", "no"},
    {"ytdl", "no"},
    {"idle", "yes"},
    {"input-default-bindings", "no"},
    {"input-builtin-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"input-media-keys", "no"},
    {"cursor-autohide", "no"},
    {"osc", "no"},
    {"osd-level", "0"},
    {"hwdec", "no"},
    {"audio-fallback-to-null", "yes"},
    {"hr-seek", "yes"},
    {"hr-seek-demuxer-offset", "1"},
};

} // namespace

void Session::Deleter::operator()(mpv_handle* handle) const {
    mpv_set_wakeup_callback(handle, nullptr, nullptr);
    mpv_terminate_destroy(handle);
}

Session::Session() : m_handle(mpv_create()) {
    if (!m_handle)
        return;
    for (const auto& [option, value] : kCommonOptions)
        setOption(option, value);
}

Session::~Session() = default;

QString Session::errorText(int code) {
    return QString::fromUtf8(mpv_error_string(code));
}

int Session::setOption(const char* option, const char* value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    const int rc = mpv_set_option_string(m_handle.get(), option, value);
    if (rc < 0)
        qCDebug(lcMpv) << "option" << option << "not set:" << errorText(rc);
    return rc;
}

void Session::setVideoWindow(std::int64_t window) {
    if (!m_handle)
        return;
    if (window == 0) {
        setOption(name::kVo, "null");
        return;
    }
    mpv_set_option(m_handle.get(), name::kWid, MPV_FORMAT_INT64, &window);
    setOption(name::kVo, "gpu,x11");
    // Xvfb and machines without a GPU driver offer only software OpenGL.
    setOption("gpu-sw", "yes");
}

int Session::initialize() {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    if (const int rc = mpv_initialize(m_handle.get()); rc < 0)
        return rc;
    mpv_request_log_messages(m_handle.get(), "warn");
    mpv_set_wakeup_callback(
        m_handle.get(),
        [](void* self) {
            QMetaObject::invokeMethod(static_cast<Session*>(self), &Session::drain,
                                      Qt::QueuedConnection);
        },
        this);
    return 0;
}

void Session::drain() {
    while (m_handle) {
        const mpv_event* event = mpv_wait_event(m_handle.get(), 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleOne(*event);
    }
}

bool Session::waitUntil(const std::function<bool()>& done, qint64 ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0 || !m_handle)
            return done();
        const mpv_event* event = mpv_wait_event(m_handle.get(), static_cast<double>(left) / 1000.0);
        if (event->event_id != MPV_EVENT_NONE)
            handleOne(*event);
    }
    return true;
}

void Session::destroy() {
    m_handle.reset();
}

void Session::handleOne(const mpv_event& event) {
    Event out;
    switch (event.event_id) {
    case MPV_EVENT_LOG_MESSAGE: {
        const auto* log = static_cast<const mpv_event_log_message*>(event.data);
        QByteArray text(log->text);
        while (text.endsWith('\n'))
            text.chop(1);
        if (log->log_level <= MPV_LOG_LEVEL_ERROR)
            qCWarning(lcMpv, "[%s] %s", log->prefix, text.constData());
        else
            qCInfo(lcMpv, "[%s] %s", log->prefix, text.constData());
        // libmpv only logs it when the DVD reader fails, then runs into the end of the stream
        // and holds the last picture.
        if (log->log_level <= MPV_LOG_LEVEL_ERROR && qstrcmp(log->prefix, "dvdnav") == 0 &&
            text.startsWith("Error getting next block")) {
            out.type = Event::Type::ReadError;
            break;
        }
        return;
    }
    case MPV_EVENT_START_FILE:
        out.type = Event::Type::StartFile;
        out.entry = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_FILE_LOADED:
        out.type = Event::Type::FileLoaded;
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        out.type = Event::Type::EndFile;
        out.entry = end->playlist_entry_id;
        out.failed = end->reason == MPV_END_FILE_REASON_ERROR;
        out.error = end->error;
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        out.type = Event::Type::PlaybackRestart;
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        out.type = Event::Type::PropertyChange;
        out.observer = event.reply_userdata;
        if (property->format == MPV_FORMAT_DOUBLE)
            out.value = *static_cast<const double*>(property->data);
        else if (property->format == MPV_FORMAT_FLAG)
            out.value = *static_cast<const int*>(property->data) ? 1.0 : 0.0;
        else if (property->format == MPV_FORMAT_INT64)
            out.value = static_cast<double>(*static_cast<const std::int64_t*>(property->data));
        break;
    }
    case MPV_EVENT_SHUTDOWN:
        out.type = Event::Type::Shutdown;
        break;
    default:
        return;
    }
    if (m_handler)
        m_handler(out);
}

int Session::command(std::initializer_list<QByteArray> args) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const QByteArray& arg : args)
        argv.push_back(arg.constData());
    argv.push_back(nullptr);
    const int rc = mpv_command(m_handle.get(), argv.data());
    if (rc < 0)
        qCDebug(lcMpv) << "command" << *args.begin() << "failed:" << errorText(rc);
    return rc;
}

int Session::loadFile(const QByteArray& url, const QByteArray& options, std::int64_t* entry) {
    *entry = -1;
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    // loadfile <url> <flags> <options>
    const char* args[] = {"loadfile", url.constData(), "replace",
                          options.isEmpty() ? nullptr : options.constData(), nullptr};
    mpv_node result{};
    if (const int rc = mpv_command_ret(m_handle.get(), args, &result); rc < 0)
        return rc;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                *entry = result.u.list->values[i].u.int64;
        }
    }
    mpv_free_node_contents(&result);
    return 0;
}

int Session::observe(std::uint64_t observer, const char* property, bool flag) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return mpv_observe_property(m_handle.get(), observer, property,
                                flag ? MPV_FORMAT_FLAG : MPV_FORMAT_DOUBLE);
}

int Session::setFlag(const char* property, bool value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    int flag = value ? 1 : 0;
    return mpv_set_property(m_handle.get(), property, MPV_FORMAT_FLAG, &flag);
}

int Session::setDouble(const char* property, double value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return mpv_set_property(m_handle.get(), property, MPV_FORMAT_DOUBLE, &value);
}

int Session::setText(const char* property, const QByteArray& value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return mpv_set_property_string(m_handle.get(), property, value.constData());
}

std::optional<double> Session::getDouble(const char* property) {
    double value = 0;
    if (!m_handle || mpv_get_property(m_handle.get(), property, MPV_FORMAT_DOUBLE, &value) < 0 ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> Session::getInt(const char* property) {
    std::int64_t value = 0;
    if (!m_handle || mpv_get_property(m_handle.get(), property, MPV_FORMAT_INT64, &value) < 0)
        return std::nullopt;
    return value;
}

std::optional<bool> Session::getFlag(const char* property) {
    int value = 0;
    if (!m_handle || mpv_get_property(m_handle.get(), property, MPV_FORMAT_FLAG, &value) < 0)
        return std::nullopt;
    return value != 0;
}

std::optional<QString> Session::getText(const char* property) {
    if (!m_handle)
        return std::nullopt;
    char* text = mpv_get_property_string(m_handle.get(), property);
    if (!text)
        return std::nullopt;
    QString value = QString::fromUtf8(text);
    mpv_free(text);
    return value;
}

} // namespace kavelo::mpv
