#include "TitleStreams.h"

#include "MpvSession.h"
#include "PackTimestamps.h"
#include "StreamProtocol.h"

#include <QLoggingCategory>

#include <mpv/client.h>
#include <mpv/stream_cb.h>

#include <algorithm>
#include <cstring>

namespace kavelo::mpv {

namespace {

constexpr const char* kProtocol = "kavelotitle";
constexpr std::uint64_t kSector = 2048;
constexpr int kChunkSectors = 32; // sectors read from the disc at a time

int64_t readTitle(void* cookie, char* buf, uint64_t nbytes) {
    return static_cast<TitleReader*>(cookie)->read(buf, nbytes);
}

int64_t seekTitle(void* cookie, int64_t offset) {
    return static_cast<TitleReader*>(cookie)->seek(offset);
}

int64_t titleSize(void* cookie) {
    return static_cast<int64_t>(static_cast<TitleReader*>(cookie)->size());
}

void closeTitle(void* cookie) {
    delete static_cast<TitleReader*>(cookie);
}

int openTitle(void* userData, char* uri, mpv_stream_cb_info* info) {
    auto* owner = static_cast<TitleStreams*>(userData);
    auto title = owner->find(uri);
    if (!title)
        return MPV_ERROR_LOADING_FAILED;
    info->cookie = new TitleReader(std::move(title), owner);
    info->read_fn = &readTitle;
    info->seek_fn = &seekTitle;
    info->size_fn = &titleSize;
    info->close_fn = &closeTitle;
    return 0;
}

} // namespace

TitleReader::TitleReader(std::shared_ptr<const TitleStreams::Title> title, TitleStreams* owner)
    : m_title(std::move(title)), m_owner(owner) {
    std::uint64_t at = 0;
    for (const SectorRun& run : m_title->runs) {
        m_starts.push_back(at);
        at += std::uint64_t{run.last} - run.first + 1;
    }
    m_sectors = at;
    m_chunk.resize(kChunkSectors * kSector);
}

std::int64_t TitleReader::read(char* buf, std::uint64_t nbytes) {
    if (m_pos >= size() || nbytes == 0)
        return 0;
    const std::uint64_t sector = m_pos / kSector;
    if (sector < m_chunkFirst || sector >= m_chunkFirst + m_chunkCount) {
        if (!fill(sector))
            return -1;
    }
    const std::uint64_t from = m_pos - m_chunkFirst * kSector;
    const std::uint64_t n =
        std::min<std::uint64_t>(nbytes, std::uint64_t{m_chunkCount} * kSector - from);
    std::memcpy(buf, m_chunk.data() + from, n);
    m_pos += n;
    return static_cast<std::int64_t>(n);
}

std::int64_t TitleReader::seek(std::int64_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > size())
        return MPV_ERROR_GENERIC;
    m_pos = static_cast<std::uint64_t>(offset);
    return offset;
}

std::uint64_t TitleReader::size() const {
    return m_sectors * kSector;
}

// Reads the chunk starting at the stream's `sector`, within its run.
bool TitleReader::fill(std::uint64_t sector) {
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), sector);
    const auto index = static_cast<std::size_t>(after - m_starts.begin()) - 1;
    const SectorRun& run = m_title->runs[index];
    const std::uint64_t within = sector - m_starts[index];
    const std::uint64_t left = std::uint64_t{run.last} - run.first + 1 - within;
    const int want = static_cast<int>(std::min<std::uint64_t>(left, kChunkSectors));
    const int got =
        m_title->source->read(static_cast<std::uint32_t>(run.first + within), want, m_chunk.data());
    if (got <= 0 || got > want) {
        m_chunkCount = 0;
        qCDebug(lcMpv) << "a title's sectors could not be read at" << run.first + within;
        if (m_owner)
            m_owner->readFailed(m_title->address);
        return false;
    }
    if (run.shift != 0) {
        for (int i = 0; i < got; ++i)
            shiftPackTimestamps(m_chunk.data() + static_cast<std::size_t>(i) * kSector, run.shift);
    }
    m_chunkFirst = sector;
    m_chunkCount = static_cast<std::uint32_t>(got);
    return true;
}

bool TitleStreams::install(Session& player) {
    return addStreamProtocol(player, kProtocol, this, &openTitle);
}

void TitleStreams::onReadFailed(std::function<void(const QByteArray&)> readFailed) {
    const std::lock_guard lock(m_mutex);
    m_readFailed = std::move(readFailed);
}

QByteArray TitleStreams::publish(std::shared_ptr<SectorSource> source,
                                 std::vector<SectorRun> runs) {
    // A run that ends before it starts would make the stream's arithmetic wrap: it is left out.
    std::erase_if(runs, [](const SectorRun& run) { return run.last < run.first; });
    const std::lock_guard lock(m_mutex);
    m_titles.clear();
    const std::uint64_t id = m_next++;
    QByteArray address = streamAddress(kProtocol, id);
    m_titles.emplace(
        id, std::make_shared<const Title>(Title{address, std::move(source), std::move(runs)}));
    return address;
}

void TitleStreams::withdrawAll() {
    const std::lock_guard lock(m_mutex);
    m_titles.clear();
}

std::shared_ptr<const TitleStreams::Title> TitleStreams::find(const char* uri) {
    const std::optional<std::uint64_t> id = streamId(kProtocol, uri);
    if (!id)
        return nullptr;
    const std::lock_guard lock(m_mutex);
    const auto it = m_titles.find(*id);
    if (it == m_titles.end() || it->second->runs.empty() || !it->second->source)
        return nullptr;
    return it->second;
}

void TitleStreams::readFailed(const QByteArray& address) {
    std::function<void(const QByteArray&)> tell;
    {
        const std::lock_guard lock(m_mutex);
        tell = m_readFailed;
    }
    if (tell)
        tell(address);
}

} // namespace kavelo::mpv
