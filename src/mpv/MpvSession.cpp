#include "MpvSession.h"

#include <QMetaObject>

#include <mpv/client.h>

#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <utility>
#include <vector>

namespace kavelo::mpv {

Q_LOGGING_CATEGORY(lcMpv, "kavelo.mpv", QtInfoMsg)

namespace {

// The options every Kavelo player shares: nothing of the user's mpv set-up, no input, no
// on-screen controls, exact seeks that reach back far enough for MPEG-2, and sound that falls
// back to silence rather than failing. mpv's built-in statistics page and console are scripts
// that each run a Lua interpreter on a thread of its own (about 4.5 MiB between them) and answer
// only mpv's own key bindings, which Kavelo never installs.
const std::pair<const char*, const char*> kCommonOptions[] = {
    {"config", "no"},
    {"terminal", "no"},
    {"load-scripts", "no"},
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
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

// libmpv's functions, looked up when a session starts. libmpv and the 200-odd libraries it
// needs are loaded then, not when the program starts, so that a window can show first.
struct Session::Api {
    decltype(&mpv_create) create = nullptr;
    decltype(&mpv_initialize) initialize = nullptr;
    decltype(&mpv_terminate_destroy) terminate_destroy = nullptr;
    decltype(&mpv_set_wakeup_callback) set_wakeup_callback = nullptr;
    decltype(&mpv_wait_event) wait_event = nullptr;
    decltype(&mpv_request_log_messages) request_log_messages = nullptr;
    decltype(&mpv_set_option) set_option = nullptr;
    decltype(&mpv_set_option_string) set_option_string = nullptr;
    decltype(&mpv_command) command = nullptr;
    decltype(&mpv_command_ret) command_ret = nullptr;
    decltype(&mpv_free_node_contents) free_node_contents = nullptr;
    decltype(&mpv_observe_property) observe_property = nullptr;
    decltype(&mpv_set_property) set_property = nullptr;
    decltype(&mpv_set_property_string) set_property_string = nullptr;
    decltype(&mpv_get_property) get_property = nullptr;
    decltype(&mpv_get_property_string) get_property_string = nullptr;
    decltype(&mpv_free) free = nullptr;

    // nullptr when libmpv cannot be loaded. The library stays loaded for the rest of the
    // process (dlopen counts each session's load; its threads end with mpv_terminate_destroy).
    static std::unique_ptr<Api> load() {
        void* library = nullptr;
        for (const char* file : {"libmpv.so.2", "libmpv.so.1", "libmpv.so"}) {
            library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
            if (library)
                break;
        }
        if (!library) {
            qCWarning(lcMpv) << "libmpv could not be loaded:" << dlerror();
            return nullptr;
        }
        auto api = std::make_unique<Api>();
        bool complete = true;
        auto bind = [&](auto& function, const char* symbol) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(library, symbol));
            complete = complete && function != nullptr;
        };
        bind(api->create, "mpv_create");
        bind(api->initialize, "mpv_initialize");
        bind(api->terminate_destroy, "mpv_terminate_destroy");
        bind(api->set_wakeup_callback, "mpv_set_wakeup_callback");
        bind(api->wait_event, "mpv_wait_event");
        bind(api->request_log_messages, "mpv_request_log_messages");
        bind(api->set_option, "mpv_set_option");
        bind(api->set_option_string, "mpv_set_option_string");
        bind(api->command, "mpv_command");
        bind(api->command_ret, "mpv_command_ret");
        bind(api->free_node_contents, "mpv_free_node_contents");
        bind(api->observe_property, "mpv_observe_property");
        bind(api->set_property, "mpv_set_property");
        bind(api->set_property_string, "mpv_set_property_string");
        bind(api->get_property, "mpv_get_property");
        bind(api->get_property_string, "mpv_get_property_string");
        bind(api->free, "mpv_free");
        if (!complete) {
            qCWarning(lcMpv) << "the libmpv found lacks functions Kavelo uses";
            return nullptr;
        }
        return api;
    }
};

void Session::Deleter::operator()(mpv_handle* handle) const {
    api->set_wakeup_callback(handle, nullptr, nullptr);
    api->terminate_destroy(handle);
}

Session::Session() : m_api(Api::load()), m_handle(nullptr, Deleter{m_api.get()}) {
    if (!m_api)
        return;
    m_handle.reset(m_api->create());
    if (!m_handle)
        return;
    for (const auto& [option, value] : kCommonOptions)
        setOption(option, value);
}

Session::~Session() {
    m_handle.reset();
}

QString Session::errorText(int code) {
    switch (code) {
    case MPV_ERROR_SUCCESS:
        return QStringLiteral("success");
    case MPV_ERROR_EVENT_QUEUE_FULL:
        return QStringLiteral("event queue full");
    case MPV_ERROR_NOMEM:
        return QStringLiteral("memory allocation failed");
    case MPV_ERROR_UNINITIALIZED:
        return QStringLiteral("the player is not running");
    case MPV_ERROR_INVALID_PARAMETER:
        return QStringLiteral("invalid parameter");
    case MPV_ERROR_OPTION_NOT_FOUND:
        return QStringLiteral("option not found");
    case MPV_ERROR_OPTION_FORMAT:
    case MPV_ERROR_PROPERTY_FORMAT:
        return QStringLiteral("wrong format");
    case MPV_ERROR_OPTION_ERROR:
        return QStringLiteral("option could not be set");
    case MPV_ERROR_PROPERTY_NOT_FOUND:
        return QStringLiteral("property not found");
    case MPV_ERROR_PROPERTY_UNAVAILABLE:
        return QStringLiteral("property unavailable");
    case MPV_ERROR_PROPERTY_ERROR:
        return QStringLiteral("property could not be set or read");
    case MPV_ERROR_COMMAND:
        return QStringLiteral("command failed");
    case MPV_ERROR_LOADING_FAILED:
        return QStringLiteral("loading failed");
    case MPV_ERROR_AO_INIT_FAILED:
        return QStringLiteral("no audio output");
    case MPV_ERROR_VO_INIT_FAILED:
        return QStringLiteral("no video output");
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("nothing to play");
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("unknown format");
    case MPV_ERROR_UNSUPPORTED:
        return QStringLiteral("not supported");
    case MPV_ERROR_NOT_IMPLEMENTED:
        return QStringLiteral("not implemented");
    default:
        return QStringLiteral("error %1").arg(code);
    }
}

int Session::setOption(const char* option, const char* value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    const int rc = m_api->set_option_string(m_handle.get(), option, value);
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
    m_api->set_option(m_handle.get(), name::kWid, MPV_FORMAT_INT64, &window);
    setOption(name::kVo, "gpu,x11");
    // Xvfb and machines without a GPU driver offer only software OpenGL.
    setOption("gpu-sw", "yes");
}

int Session::initialize() {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    if (const int rc = m_api->initialize(m_handle.get()); rc < 0)
        return rc;
    m_api->request_log_messages(m_handle.get(), "warn");
    m_api->set_wakeup_callback(
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
        const mpv_event* event = m_api->wait_event(m_handle.get(), 0);
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
        const mpv_event* event =
            m_api->wait_event(m_handle.get(), static_cast<double>(left) / 1000.0);
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
    const int rc = m_api->command(m_handle.get(), argv.data());
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
    if (const int rc = m_api->command_ret(m_handle.get(), args, &result); rc < 0)
        return rc;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
                *entry = result.u.list->values[i].u.int64;
        }
    }
    m_api->free_node_contents(&result);
    return 0;
}

int Session::observe(std::uint64_t observer, const char* property, bool flag) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return m_api->observe_property(m_handle.get(), observer, property,
                                   flag ? MPV_FORMAT_FLAG : MPV_FORMAT_DOUBLE);
}

int Session::setFlag(const char* property, bool value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    int flag = value ? 1 : 0;
    return m_api->set_property(m_handle.get(), property, MPV_FORMAT_FLAG, &flag);
}

int Session::setDouble(const char* property, double value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return m_api->set_property(m_handle.get(), property, MPV_FORMAT_DOUBLE, &value);
}

int Session::setText(const char* property, const QByteArray& value) {
    if (!m_handle)
        return MPV_ERROR_UNINITIALIZED;
    return m_api->set_property_string(m_handle.get(), property, value.constData());
}

std::optional<double> Session::getDouble(const char* property) {
    double value = 0;
    if (!m_handle || m_api->get_property(m_handle.get(), property, MPV_FORMAT_DOUBLE, &value) < 0 ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> Session::getInt(const char* property) {
    std::int64_t value = 0;
    if (!m_handle || m_api->get_property(m_handle.get(), property, MPV_FORMAT_INT64, &value) < 0)
        return std::nullopt;
    return value;
}

std::optional<bool> Session::getFlag(const char* property) {
    int value = 0;
    if (!m_handle || m_api->get_property(m_handle.get(), property, MPV_FORMAT_FLAG, &value) < 0)
        return std::nullopt;
    return value != 0;
}

std::optional<QString> Session::getText(const char* property) {
    if (!m_handle)
        return std::nullopt;
    char* text = m_api->get_property_string(m_handle.get(), property);
    if (!text)
        return std::nullopt;
    QString value = QString::fromUtf8(text);
    m_api->free(text);
    return value;
}

std::optional<std::map<std::string, double>> Session::getNumbers(const char* property) {
    mpv_node node{};
    if (!m_handle || m_api->get_property(m_handle.get(), property, MPV_FORMAT_NODE, &node) < 0)
        return std::nullopt;
    std::optional<std::map<std::string, double>> numbers;
    if (node.format == MPV_FORMAT_NODE_MAP && node.u.list) {
        numbers.emplace();
        for (int i = 0; i < node.u.list->num; ++i) {
            const mpv_node& value = node.u.list->values[i];
            if (value.format == MPV_FORMAT_DOUBLE && std::isfinite(value.u.double_))
                (*numbers)[node.u.list->keys[i]] = value.u.double_;
            else if (value.format == MPV_FORMAT_INT64)
                (*numbers)[node.u.list->keys[i]] = static_cast<double>(value.u.int64);
        }
    }
    m_api->free_node_contents(&node);
    return numbers;
}

} // namespace kavelo::mpv
