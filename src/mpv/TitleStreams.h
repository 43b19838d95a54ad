#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kavelo::mpv {

class Session;

// Whole 2048-byte sectors of one title set of a disc. libmpv reads them on its own threads.
class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Reads up to `count` sectors from `first` into `out`; returns how many were read, 0 or
    // less when none could be.
    virtual int read(std::uint32_t first, int count, std::uint8_t* out) = 0;
};

// A stretch of sectors, both ends included, whose packs' timestamps are moved by `shift` ticks
// (90 kHz) as they are read.
struct SectorRun {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::int64_t shift = 0;
};

// Hands a title to libmpv as one MPEG program stream made of its cells' sectors, in playing
// order, readable as "kavelotitle://<n>" until it is withdrawn. libmpv then times the pictures
// by their timestamps, moved run by run so that they make one timeline, and seeks within the
// stream as in a plain file.
class TitleStreams {
public:
    TitleStreams() = default;
    TitleStreams(const TitleStreams&) = delete;
    TitleStreams& operator=(const TitleStreams&) = delete;

    // Registers the protocol with `player`. The player must be destroyed before this object.
    bool install(Session& player);
    // `readFailed` is called (on libmpv's thread) with the title's address when the disc cannot
    // be read on under it.
    void onReadFailed(std::function<void(const QByteArray&)> readFailed);

    // The address under which libmpv reads `runs` of `source`; earlier titles are withdrawn.
    QByteArray publish(std::shared_ptr<SectorSource> source, std::vector<SectorRun> runs);
    void withdrawAll();

    struct Title {
        QByteArray address;
        std::shared_ptr<SectorSource> source;
        std::vector<SectorRun> runs;
    };
    std::shared_ptr<const Title> find(const char* uri);
    void readFailed(const QByteArray& address);

private:
    std::mutex m_mutex;
    std::map<std::uint64_t, std::shared_ptr<const Title>> m_titles;
    std::uint64_t m_next = 1;
    std::function<void(const QByteArray&)> m_readFailed;
};

// One opening of a published title: its sectors read as one stream of bytes, a chunk at a time.
class TitleReader {
public:
    TitleReader(std::shared_ptr<const TitleStreams::Title> title, TitleStreams* owner);

    // Bytes read into `buf`; 0 at the end; -1 when the disc fails (the owner is told).
    std::int64_t read(char* buf, std::uint64_t nbytes);
    // The new position, or a negative value when `offset` lies outside the stream.
    std::int64_t seek(std::int64_t offset);
    std::uint64_t size() const;

private:
    bool fill(std::uint64_t sector);

    std::shared_ptr<const TitleStreams::Title> m_title;
    TitleStreams* m_owner;
    std::vector<std::uint64_t> m_starts; // the stream's sector each run starts at
    std::uint64_t m_sectors = 0;
    std::uint64_t m_pos = 0;
    std::vector<std::uint8_t> m_chunk;
    std::uint64_t m_chunkFirst = 0;
    std::uint32_t m_chunkCount = 0;
};

} // namespace kavelo::mpv
