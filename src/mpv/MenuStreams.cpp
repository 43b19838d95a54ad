#include "MenuStreams.h"

#include "MpvSession.h"
#include "StreamProtocol.h"

#include <mpv/client.h>
#include <mpv/stream_cb.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace kavelo::mpv {

namespace {

constexpr const char* kProtocol = "kavelomenu";

struct Reader {
    std::shared_ptr<const std::vector<std::uint8_t>> data;
    std::uint64_t pos = 0;
};

int64_t readPiece(void* cookie, char* buf, uint64_t nbytes) {
    auto* r = static_cast<Reader*>(cookie);
    const std::uint64_t size = r->data->size();
    if (r->pos >= size)
        return 0;
    const std::uint64_t n = std::min<std::uint64_t>(nbytes, size - r->pos);
    std::memcpy(buf, r->data->data() + r->pos, n);
    r->pos += n;
    return static_cast<int64_t>(n);
}

int64_t seekPiece(void* cookie, int64_t offset) {
    auto* r = static_cast<Reader*>(cookie);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > r->data->size())
        return MPV_ERROR_GENERIC;
    r->pos = static_cast<std::uint64_t>(offset);
    return offset;
}

int64_t pieceSize(void* cookie) {
    return static_cast<int64_t>(static_cast<Reader*>(cookie)->data->size());
}

void closePiece(void* cookie) {
    delete static_cast<Reader*>(cookie);
}

int openPiece(void* userData, char* uri, mpv_stream_cb_info* info) {
    auto data = static_cast<MenuStreams*>(userData)->find(uri);
    if (!data)
        return MPV_ERROR_LOADING_FAILED;
    info->cookie = new Reader{std::move(data), 0};
    info->read_fn = &readPiece;
    info->seek_fn = &seekPiece;
    info->size_fn = &pieceSize;
    info->close_fn = &closePiece;
    return 0;
}

} // namespace

QByteArray streamAddress(const char* protocol, std::uint64_t id) {
    return QByteArray(protocol) + "://" + QByteArray::number(static_cast<qulonglong>(id));
}

std::optional<std::uint64_t> streamId(const char* protocol, const char* uri) {
    const QByteArray text(uri);
    const QByteArray prefix = QByteArray(protocol) + "://";
    if (!text.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const std::uint64_t id = text.mid(prefix.size()).toULongLong(&ok);
    return ok ? std::optional(id) : std::nullopt;
}

bool addStreamProtocol(Session& player, const char* protocol, void* userData,
                       mpv_stream_cb_open_ro_fn open) {
    mpv_handle* handle = player.rawHandle();
    if (!handle)
        return false;
    // The session loaded libmpv privately; its stream function is found in that same library.
    for (const char* file : {"libmpv.so.2", "libmpv.so.1", "libmpv.so"}) {
        void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (!library)
            continue;
        auto add = reinterpret_cast<decltype(&mpv_stream_cb_add_ro)>(
            dlsym(library, "mpv_stream_cb_add_ro"));
        const bool added = add && add(handle, protocol, userData, open) >= 0;
        dlclose(library); // the session's own load keeps it
        return added;
    }
    return false;
}

bool MenuStreams::install(Session& player) {
    return addStreamProtocol(player, kProtocol, this, &openPiece);
}

QByteArray MenuStreams::publish(std::shared_ptr<const std::vector<std::uint8_t>> data) {
    const std::lock_guard lock(m_mutex);
    m_pieces.clear();
    const std::uint64_t id = m_next++;
    m_pieces.emplace(id, std::move(data));
    return streamAddress(kProtocol, id);
}

void MenuStreams::withdrawAll() {
    const std::lock_guard lock(m_mutex);
    m_pieces.clear();
}

std::shared_ptr<const std::vector<std::uint8_t>> MenuStreams::find(const char* uri) {
    const std::optional<std::uint64_t> id = streamId(kProtocol, uri);
    if (!id)
        return nullptr;
    const std::lock_guard lock(m_mutex);
    const auto it = m_pieces.find(*id);
    return it == m_pieces.end() ? nullptr : it->second;
}

} // namespace kavelo::mpv
