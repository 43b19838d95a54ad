#include "DiscSectors.h"

#include "DiscProtocol.h"
#include "DiscService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcDisc)

namespace kavelo {

namespace {

constexpr std::size_t kSector = 2048;
constexpr int kReadAhead = 128; // sectors asked of a disc service at least

struct Piece {
    int fd = -1;
    std::uint64_t firstSector = 0; // of the title set's sectors
    std::uint64_t sectors = 0;
    std::uint64_t offset = 0; // bytes into the file where the piece starts
};

// The title set's sectors over files (a folder's VOB files, or one stretch of an image or
// drive). pread keeps it safe for two of libmpv's threads at once.
class PlainSectors final : public mpv::SectorSource {
public:
    explicit PlainSectors(std::vector<Piece> pieces) : m_pieces(std::move(pieces)) {}
    ~PlainSectors() override {
        for (const Piece& p : m_pieces)
            close(p.fd);
    }
    PlainSectors(const PlainSectors&) = delete;
    PlainSectors& operator=(const PlainSectors&) = delete;

    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        int done = 0;
        while (done < count) {
            const std::uint64_t sector = std::uint64_t(first) + static_cast<std::uint64_t>(done);
            const Piece* piece = nullptr;
            for (const Piece& p : m_pieces) {
                if (sector >= p.firstSector && sector < p.firstSector + p.sectors)
                    piece = &p;
            }
            if (!piece)
                break;
            const std::uint64_t within = sector - piece->firstSector;
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(
                piece->sectors - within, static_cast<std::uint64_t>(count - done)));
            const ssize_t got = pread(piece->fd, out + std::size_t(done) * kSector, take * kSector,
                                      static_cast<off_t>(piece->offset + within * kSector));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return done > 0 ? done : -1;
            done += static_cast<int>(static_cast<std::size_t>(got) / kSector);
            if (static_cast<std::size_t>(got) < take * kSector)
                break;
        }
        return done;
    }

private:
    std::vector<Piece> m_pieces;
};

// The title set's sectors read by a disc service of their own, a child process apart from the
// one the window asks: libmpv reads on its own threads, and a read that overruns must cost
// neither the window's requests nor its time. One request at a time, under the mutex. A service
// that dies, overruns its deadline or answers out of bounds is started again and the read tried
// again, once; when that fails too the title's data is gone, and every later read says so at
// once. (A service started again from one of libmpv's threads ends with that thread, as the
// service asks the kernel to end it with whatever started it: the next read starts another.)
class ServiceSectors final : public mpv::SectorSource {
public:
    ServiceSectors(std::string place, int titleSet)
        : m_service({}, kSectorReaderRole), m_place(std::move(place)), m_titleSet(titleSet) {}

    // Opens the place and the title set's VOB files in a new service; false when it cannot.
    bool start() {
        const std::lock_guard lock(m_mutex);
        return startLocked();
    }

    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        const std::lock_guard lock(m_mutex);
        if (m_gone || count <= 0)
            return m_gone ? -1 : 0;
        bool restarted = false;
        int done = 0;
        while (done < count) {
            const std::uint64_t at = std::uint64_t(first) + static_cast<std::uint64_t>(done);
            const std::uint64_t cacheEnd = m_cacheFirst + m_cacheCount;
            if (at >= m_cacheFirst && at < cacheEnd) {
                const auto take = static_cast<int>(std::min<std::uint64_t>(
                    cacheEnd - at, static_cast<std::uint64_t>(count - done)));
                std::memcpy(out + std::size_t(done) * kSector,
                            m_cache.data() + std::size_t(at - m_cacheFirst) * kSector,
                            std::size_t(take) * kSector);
                done += take;
                continue;
            }
            if ((m_endKnown && at >= cacheEnd && at >= m_cacheFirst) || at > UINT32_MAX)
                break; // past the title set's end
            std::optional<int> got = fetch(static_cast<std::uint32_t>(at), count - done);
            if (!got && !m_refused && !restarted) {
                restarted = true;
                if (startLocked())
                    got = fetch(static_cast<std::uint32_t>(at), count - done);
            }
            if (!got) {
                if (m_refused) // a read error the service reported
                    return done > 0 ? done : -1;
                m_gone = true;
                qCWarning(lcDisc) << "the sectors of title set" << m_titleSet << "of"
                                  << m_place.c_str() << "cannot be read on: the disc is gone";
                return -1;
            }
            if (*got == 0)
                break;
        }
        return done;
    }

private:
    bool startLocked() {
        std::string answer;
        if (m_service.open(m_place) != DiscService::Outcome::Done ||
            m_service.request("vob-open " + std::to_string(m_titleSet), m_service.deadlines().open,
                              answer) != DiscService::Outcome::Done)
            return false;
        // "vob SECTORS\n"
        const bool wellFormed = answer.size() >= 6 && answer.size() <= 15 &&
                                answer.rfind("vob ", 0) == 0 && answer.back() == '\n' &&
                                std::all_of(answer.begin() + 4, answer.end() - 1,
                                            [](char c) { return c >= '0' && c <= '9'; });
        if (!wellFormed) {
            m_service.discard("vob-open", "a malformed answer");
            return false;
        }
        return true;
    }

    // Reads `wanted` sectors from `first` into the cache, and more after them (libmpv reads on
    // in order): each answer costs a round trip to a process that a busy machine may not run at
    // once. How many came, nullopt when none could be read; m_refused then says whether the
    // service answered that it could not (else it failed and is gone).
    std::optional<int> fetch(std::uint32_t first, int wanted) {
        m_refused = false;
        m_cacheCount = 0;
        m_endKnown = false;
        const int count = std::clamp(wanted, kReadAhead, int(discproto::kMaxReadSectors));
        const std::string request = "read " + std::to_string(first) + ' ' + std::to_string(count);
        // The answer goes into the cache's own room: a new one for each would be fresh memory,
        // whose pages cost more to map than the copy.
        std::string& payload = m_cache;
        switch (m_service.request(request, m_service.deadlines().read, payload)) {
        case DiscService::Outcome::Done:
            break;
        case DiscService::Outcome::Refused:
            m_refused = true;
            return std::nullopt;
        case DiscService::Outcome::Failed:
            return std::nullopt;
        }
        if (payload.size() % kSector != 0 || payload.size() > std::size_t(count) * kSector) {
            m_service.discard(request, "a malformed answer");
            return std::nullopt;
        }
        m_cacheFirst = first;
        m_cacheCount = payload.size() / kSector;
        // A short answer is the title set's end.
        m_endKnown = m_cacheCount < std::size_t(count);
        return static_cast<int>(m_cacheCount);
    }

    std::mutex m_mutex;
    DiscService m_service;
    std::string m_place;
    int m_titleSet;
    bool m_refused = false;
    bool m_gone = false;
    std::string m_cache; // the sectors of the last answer
    std::uint64_t m_cacheFirst = 0;
    std::size_t m_cacheCount = 0;
    bool m_endKnown = false; // the last answer ended at the title set's end
};

int openData(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

// The VOB files VTS_NN_1 .. VTS_NN_9 of a folder, one after the other.
std::vector<Piece> folderPieces(const QString& place, int titleSet) {
    QDir dir(place);
    if (QFileInfo(place).fileName().compare(QLatin1String("VIDEO_TS"), Qt::CaseInsensitive) != 0) {
        if (!dir.cd(QStringLiteral("VIDEO_TS")) && !dir.cd(QStringLiteral("video_ts")))
            return {};
    }
    const QStringList entries = dir.entryList(QDir::Files);
    std::vector<Piece> pieces;
    std::uint64_t at = 0;
    for (int n = 1; n <= 9; ++n) {
        const QString wanted =
            QStringLiteral("VTS_%1_%2.VOB").arg(titleSet, 2, 10, QLatin1Char('0')).arg(n);
        QString found;
        for (const QString& name : entries) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0)
                found = name;
        }
        if (found.isEmpty())
            break;
        const int fd = openData(dir.absoluteFilePath(found));
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0)
                close(fd);
            break;
        }
        const auto sectors = static_cast<std::uint64_t>(st.st_size) / kSector;
        pieces.push_back({fd, at, sectors, 0});
        at += sectors;
    }
    return pieces;
}

// Whether the title's data is scrambled (an encrypted disc read without its keys): the packs
// after its first navigation pack say so in their packet headers.
bool scrambled(mpv::SectorSource& source, std::uint32_t first) {
    std::array<std::uint8_t, kSector> pack{};
    for (std::uint32_t s = first; s < first + 16; ++s) {
        if (source.read(s, 1, pack.data()) != 1)
            return false;
        if (pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != 0xba)
            continue;
        const std::size_t at = 14 + (pack[13] & 7);
        if (at + 7 > kSector || pack[at] != 0 || pack[at + 1] != 0 || pack[at + 2] != 1)
            continue;
        const std::uint8_t id = pack[at + 3];
        if (id == 0xe0 || id == 0xbd || (id >= 0xc0 && id <= 0xdf))
            return (pack[at + 6] & 0x30) != 0;
    }
    return false;
}

// The title set's sectors as plain files; nullptr when they cannot be read so.
std::shared_ptr<mpv::SectorSource> openPlainSectors(const QString& place,
                                                    const DvdTitleInfo& title) {
    std::vector<Piece> pieces;
    if (QFileInfo(place).isDir()) {
        pieces = folderPieces(place, title.titleSet);
    } else if (title.vobStart > 0) {
        const int fd = openData(place);
        if (fd >= 0)
            pieces.push_back(
                {fd, 0, std::uint64_t(1) << 32, std::uint64_t(title.vobStart) * kSector});
    }
    if (pieces.empty()) {
        qCDebug(lcDisc) << "title set" << title.titleSet << "has no plain files:" << place;
        return nullptr;
    }
    auto source = std::make_shared<PlainSectors>(std::move(pieces));
    // A drive refuses a scrambled disc's sectors until it is unlocked, as libdvdcss does.
    std::array<std::uint8_t, kSector> pack{};
    if (source->read(title.cells.front().firstSector, 1, pack.data()) != 1) {
        qCDebug(lcDisc) << "title set" << title.titleSet << "cannot be read plain:" << place;
        return nullptr;
    }
    if (scrambled(*source, title.cells.front().firstSector)) {
        qCDebug(lcDisc) << "title set" << title.titleSet << "is scrambled:" << place;
        return nullptr;
    }
    return source;
}

} // namespace

std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place,
                                                       const DvdTitleInfo& title) {
    if (title.titleSet < 1 || title.titleSet > 99 || title.cells.empty())
        return nullptr;
    if (qEnvironmentVariable(kTitleSectorsVariable) != QLatin1String("service")) {
        if (auto plain = openPlainSectors(place, title))
            return plain;
    }
    auto source =
        std::make_shared<ServiceSectors>(QFile::encodeName(place).toStdString(), title.titleSet);
    if (!source->start()) {
        qCWarning(lcDisc) << "title set" << title.titleSet << "of" << place
                          << "cannot be read through the disc service";
        return nullptr;
    }
    std::array<std::uint8_t, kSector> pack{};
    if (source->read(title.cells.front().firstSector, 1, pack.data()) != 1) {
        qCWarning(lcDisc) << "title set" << title.titleSet << "of" << place
                          << "cannot be read through the disc service";
        return nullptr;
    }
    if (scrambled(*source, title.cells.front().firstSector)) {
        qCWarning(lcDisc) << "title set" << title.titleSet << "of" << place
                          << "is scrambled and cannot be decrypted (is libdvdcss installed?)";
        return nullptr;
    }
    return source;
}

} // namespace kavelo
