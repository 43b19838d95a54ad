#include "DiscSectors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcDisc)

namespace kavelo {

namespace {

constexpr std::size_t kSector = 2048;

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

} // namespace

std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place,
                                                       const DvdTitleInfo& title) {
    if (title.titleSet < 1 || title.titleSet > 99 || title.cells.empty())
        return nullptr;
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
        qCDebug(lcDisc) << "title set" << title.titleSet << "could not be opened:" << place;
        return nullptr;
    }
    auto source = std::make_shared<PlainSectors>(std::move(pieces));
    if (scrambled(*source, title.cells.front().firstSector)) {
        qCDebug(lcDisc) << "title set" << title.titleSet << "is scrambled:" << place;
        return nullptr;
    }
    return source;
}

} // namespace kavelo
