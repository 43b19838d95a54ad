#include "DvdStructure.h"

#include "DiscProtocol.h"
#include "DiscService.h"
#include "DvdEngine.h"
#include "ServiceNavSource.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcDisc, "kavelo.disc", QtInfoMsg)

namespace kavelo {

namespace {

constexpr double kTicksPerSecond = 90000.0;

constexpr std::chrono::milliseconds kPrestartDelay{300};

bool statPath(const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

void addStat(QByteArray& fingerprint, const QString& name, const struct stat& st) {
    fingerprint += QFile::encodeName(name) + ' ' + QByteArray::number(qint64(st.st_size)) + ' ' +
                   QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                   QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ' ' +
                   QByteArray::number(quint64(st.st_ino)) + '\n';
}

// Refuses what could block or confuse the reader before anything opens it. Returns what the
// place looks like from outside (its control files' sizes and times), to tell a change.
QByteArray checkPlace(const QString& place, bool& drive) {
    drive = false;
    if (place.isEmpty())
        throw EngineError("no DVD directory given");
    struct stat st {};
    if (!statPath(place, st))
        throw EngineError("no such drive or directory");
    QByteArray fingerprint;
    addStat(fingerprint, place, st);
    if (S_ISBLK(st.st_mode)) {
        drive = true;
        return fingerprint;
    }
    if (S_ISREG(st.st_mode)) {
        if (st.st_size < 32 * 2048)
            throw EngineError("the file is too small to be a DVD image");
        return fingerprint;
    }
    if (!S_ISDIR(st.st_mode))
        throw EngineError("not a drive, folder or disc image");

    QDir dir(place);
    QString videoTs;
    if (QFileInfo(place).fileName().compare(QLatin1String("VIDEO_TS"), Qt::CaseInsensitive) == 0)
        videoTs = dir.absolutePath();
    else if (dir.exists(QStringLiteral("VIDEO_TS")))
        videoTs = dir.absoluteFilePath(QStringLiteral("VIDEO_TS"));
    else if (dir.exists(QStringLiteral("video_ts")))
        videoTs = dir.absoluteFilePath(QStringLiteral("video_ts"));
    if (videoTs.isEmpty())
        throw EngineError("the folder holds no VIDEO_TS");

    const QDir vts(videoTs);
    bool hasControlFile = false;
    const QStringList entries =
        vts.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        const QString upper = name.toUpper();
        const bool control =
            upper.endsWith(QLatin1String(".IFO")) || upper.endsWith(QLatin1String(".BUP"));
        if (!control && !upper.endsWith(QLatin1String(".VOB")))
            continue;
        struct stat entry {};
        if (!statPath(vts.absoluteFilePath(name), entry) || !S_ISREG(entry.st_mode))
            throw EngineError("a DVD file is not a regular file");
        if (upper == QLatin1String("VIDEO_TS.IFO") || upper == QLatin1String("VIDEO_TS.BUP"))
            hasControlFile = true;
        if (control)
            addStat(fingerprint, name, entry);
    }
    if (!hasControlFile)
        throw EngineError("the folder holds no VIDEO_TS.IFO");
    return fingerprint;
}

// Reads the fields of one record: unsigned decimal numbers within their bounds.
class Fields {
public:
    explicit Fields(const QList<QByteArray>& fields) : m_fields(fields) {}
    qsizetype size() const { return m_fields.size(); }
    // Field `i` as a number in [low, high]; sets `ok` false when it is not one.
    quint64 number(qsizetype i, quint64 low, quint64 high) {
        const QByteArray& text = m_fields.at(i);
        if (text.isEmpty() || text.size() > 20 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            m_ok = false;
            return low;
        }
        bool parsed = false;
        const quint64 value = text.toULongLong(&parsed);
        if (!parsed || value < low || value > high) {
            m_ok = false;
            return low;
        }
        return value;
    }
    bool ok() const { return m_ok; }

private:
    const QList<QByteArray>& m_fields;
    bool m_ok = true;
};

bool isKeyword(const QByteArray& word) {
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// The cells agree with the title when their pictures add up to its length.
bool cellsFitTitle(const DvdTitleInfo& title) {
    if (title.cells.empty())
        return false;
    double sum = 0;
    for (const DvdCell& cell : title.cells) {
        if (cell.angle <= 1)
            sum += cell.length;
    }
    return std::abs(sum - title.length) < 1.0;
}

struct Pending {
    std::size_t chapters = 0;
    std::size_t cells = 0;
};

bool titleComplete(const DvdTitleInfo& title, const Pending& expected) {
    return title.chapterStarts.size() == expected.chapters && title.cells.size() == expected.cells;
}

} // namespace

int DvdStructure::longestTitle() const {
    int best = 0;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (best == 0 || titles[i].length > titles[static_cast<std::size_t>(best - 1)].length)
            best = static_cast<int>(i) + 1;
    }
    return best;
}

std::vector<std::size_t> DvdTitleInfo::cellsOfAngle(int angle) const {
    std::vector<std::size_t> played;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].angle == 0) {
            played.push_back(i);
            continue;
        }
        if (cells[i].angle != 1)
            continue;
        // A block: the angle's cell, or the block's first when the block has fewer cells.
        std::size_t chosen = i;
        for (std::size_t j = i + 1; j < cells.size() && cells[j].angle > 1; ++j) {
            if (cells[j].angle == angle)
                chosen = j;
        }
        played.push_back(chosen);
    }
    return played;
}

std::vector<DvdSectorRun> DvdTitleInfo::sectorsOfAngle(int angle) const {
    std::vector<DvdSectorRun> runs;
    for (const std::size_t index : cellsOfAngle(angle)) {
        const DvdCell& cell = cells[index];
        if (cell.units.empty())
            runs.push_back({cell.firstSector, cell.lastSector});
        else
            runs.insert(runs.end(), cell.units.begin(), cell.units.end());
    }
    return runs;
}

const DvdTitleInfo* DvdStructure::title(int number) const {
    if (number < 1 || number > static_cast<int>(titles.size()))
        return nullptr;
    return &titles[static_cast<std::size_t>(number - 1)];
}

namespace {

std::optional<QList<QByteArray>> recordLines(const std::string& records) {
    if (records.empty() || records.back() != '\n')
        return std::nullopt;
    for (const char c : records) {
        if (c != '\n' && (c < 0x20 || c > 0x7e))
            return std::nullopt;
    }
    const QByteArray text = QByteArray::fromStdString(records);
    return text.left(text.size() - 1).split('\n');
}

} // namespace

std::optional<DvdTitleInfo> parseTitleRecords(const std::string& records, int number) {
    const std::optional<QList<QByteArray>> lines = recordLines(records);
    if (!lines)
        return std::nullopt;
    DvdTitleInfo title;
    Pending pending;
    bool haveTitle = false;
    const auto n = static_cast<quint64>(number);
    for (const QByteArray& line : *lines) {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray& kind = words.first();
        Fields f(words);
        if (kind == "title") {
            if (haveTitle || f.size() != 10)
                return std::nullopt;
            haveTitle = true;
            f.number(1, n, n);
            title.titleSet = static_cast<int>(f.number(2, 0, 99));
            title.titleInSet = static_cast<int>(f.number(3, 0, 99));
            title.chapters = static_cast<int>(f.number(4, 1, 999));
            title.angles = static_cast<int>(f.number(5, 1, 9));
            title.length =
                static_cast<double>(f.number(6, 0, 24ull * 3600 * 90000)) / kTicksPerSecond;
            pending = {static_cast<std::size_t>(title.chapters),
                       static_cast<std::size_t>(f.number(7, 0, 65535))};
            title.subpictureStreams = static_cast<int>(f.number(8, 0, 32));
            title.vobStart = static_cast<std::uint32_t>(f.number(9, 0, 0xffffffffu));
            title.chapterStarts.reserve(pending.chapters);
            title.cells.reserve(pending.cells);
        } else if (kind == "chapter") {
            if (!haveTitle || f.size() != 4 || title.chapterStarts.size() >= pending.chapters)
                return std::nullopt;
            f.number(1, n, n);
            f.number(2, title.chapterStarts.size() + 1, title.chapterStarts.size() + 1);
            const double start =
                static_cast<double>(f.number(3, 0, 24ull * 3600 * 90000)) / kTicksPerSecond;
            const double previous = title.chapterStarts.empty() ? 0.0 : title.chapterStarts.back();
            if (start < previous || start > title.length ||
                (title.chapterStarts.empty() && start != 0))
                return std::nullopt;
            title.chapterStarts.push_back(start);
        } else if (kind == "cell") {
            if (!haveTitle || f.size() != 9 || title.cells.size() >= pending.cells)
                return std::nullopt;
            DvdCell cell;
            f.number(1, n, n);
            f.number(2, title.cells.size() + 1, title.cells.size() + 1);
            cell.firstSector = static_cast<std::uint32_t>(f.number(3, 0, 0xffffffffu));
            cell.lastSector =
                static_cast<std::uint32_t>(f.number(4, cell.firstSector, 0xffffffffu));
            cell.length =
                static_cast<double>(f.number(5, 0, 24ull * 3600 * 90000)) / kTicksPerSecond;
            cell.still = static_cast<int>(f.number(6, 0, kInfiniteStill));
            cell.chapter = static_cast<int>(f.number(7, 0, static_cast<quint64>(title.chapters)));
            cell.angle = static_cast<int>(f.number(8, 0, 9));
            title.cells.push_back(cell);
        } else if (kind == "unit") {
            // An angle cell's pieces, in sector order within the cell, one after the other.
            if (!haveTitle || f.size() != 5 || title.cells.size() != pending.cells)
                return std::nullopt;
            f.number(1, n, n);
            const quint64 index = f.number(2, 1, title.cells.size());
            DvdCell& cell = title.cells[index - 1];
            const std::uint32_t from =
                cell.units.empty() ? cell.firstSector : cell.units.back().last + 1;
            if (cell.angle == 0 ||
                (!cell.units.empty() && cell.units.back().last >= cell.lastSector))
                return std::nullopt;
            DvdSectorRun run;
            run.first = static_cast<std::uint32_t>(f.number(3, from, cell.lastSector));
            run.last = static_cast<std::uint32_t>(f.number(4, run.first, cell.lastSector));
            if (f.ok() && cell.units.empty() && run.first != cell.firstSector)
                return std::nullopt;
            cell.units.push_back(run);
        } else if (kind == "cellpts") {
            if (!haveTitle || f.size() != 5 || title.cells.size() != pending.cells)
                return std::nullopt;
            f.number(1, n, n);
            const quint64 cell = f.number(2, 1, title.cells.size());
            const auto first = static_cast<std::int64_t>(f.number(3, 0, 0xffffffffu));
            const auto end = static_cast<std::int64_t>(f.number(4, 0, 0xffffffffu));
            if (f.ok()) {
                title.cells[cell - 1].firstPts = first;
                title.cells[cell - 1].endPts = end;
            }
        } else if (kind == "palette") {
            if (!haveTitle || f.size() != 18)
                return std::nullopt;
            f.number(1, n, n);
            for (std::size_t i = 0; i < title.palette.size(); ++i)
                title.palette[i] = static_cast<std::uint32_t>(
                    f.number(static_cast<qsizetype>(i) + 2, 0, 0xffffff));
        } else if (kind == "subpicture") {
            if (!haveTitle || f.size() != 4)
                return std::nullopt;
            f.number(1, n, n);
            const auto logical = static_cast<std::size_t>(f.number(2, 0, 31));
            title.subpictureStreamIds[logical] = static_cast<int>(f.number(3, 0, 31));
        } else if (kind == "audio") {
            if (!haveTitle || f.size() != 4)
                return std::nullopt;
            f.number(1, n, n);
            const quint64 stream = f.number(2, 1, title.audioStreamIds.size());
            const auto id = static_cast<int>(f.number(3, 1, 255));
            if (f.ok())
                title.audioStreamIds[stream - 1] = id;
        } else if (!isKeyword(kind)) {
            return std::nullopt; // records of later versions are skipped, garbage is not
        }
        if (!f.ok())
            return std::nullopt;
    }
    if (!haveTitle || !titleComplete(title, pending))
        return std::nullopt;
    // An angle cell's pieces reach to its last sector, or they are not known.
    for (DvdCell& cell : title.cells) {
        if (!cell.units.empty() && cell.units.back().last != cell.lastSector)
            cell.units.clear();
    }
    // A title whose cells do not add up is timed without them.
    if (!cellsFitTitle(title))
        title.cells.clear();
    return title;
}

std::optional<std::vector<DvdMenuDomain>> parseMenuRecords(const std::string& records) {
    const std::optional<QList<QByteArray>> lines = recordLines(records);
    if (!lines)
        return std::nullopt;
    std::vector<DvdMenuDomain> menus;
    std::size_t menuPgcsPending = 0;
    for (const QByteArray& line : *lines) {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray& kind = words.first();
        Fields f(words);
        if (kind == "menus") {
            if (menuPgcsPending != 0 || f.size() != 4 || menus.size() >= 100)
                return std::nullopt;
            DvdMenuDomain domain;
            domain.titleSet = static_cast<int>(f.number(1, 0, 99));
            domain.languages = static_cast<int>(f.number(2, 0, 255));
            menuPgcsPending = f.number(3, 0, 65535);
            menus.push_back(std::move(domain));
        } else if (kind == "menupgc") {
            if (menus.empty() || menuPgcsPending == 0 || f.size() != 7)
                return std::nullopt;
            DvdMenuDomain& domain = menus.back();
            f.number(1, static_cast<quint64>(domain.titleSet),
                     static_cast<quint64>(domain.titleSet));
            DvdMenuPgc pgc;
            pgc.language = static_cast<int>(f.number(2, 1, static_cast<quint64>(domain.languages)));
            pgc.pgc = static_cast<int>(f.number(3, 1, 65535));
            pgc.entry = static_cast<int>(f.number(4, 0, 255));
            pgc.cells = static_cast<int>(f.number(5, 0, 255));
            pgc.still = static_cast<int>(f.number(6, 0, kInfiniteStill));
            domain.pgcs.push_back(pgc);
            --menuPgcsPending;
        } else if (!isKeyword(kind)) {
            return std::nullopt;
        }
        if (!f.ok())
            return std::nullopt;
    }
    if (menuPgcsPending != 0)
        return std::nullopt;
    return menus;
}

DvdStructureReader::DvdStructureReader(std::chrono::milliseconds deadline, QString program)
    : m_deadline(deadline), m_program(std::move(program)) {
    // The service starts beside the window: the first disc finds it ready.
    m_service = newService();
    prestartSoon();
}

std::unique_ptr<DiscService> DvdStructureReader::newService() const {
    auto service = std::make_unique<DiscService>(QFile::encodeName(m_program).toStdString());
    if (m_busy)
        service->onBusy(m_busy);
    return service;
}

void DvdStructureReader::onBusy(std::function<void()> handler) {
    m_busy = std::move(handler);
    if (m_service)
        m_service->onBusy(m_busy);
}

void DvdStructureReader::prestartSoon() {
    // Not at once: a program starting takes the processor from what the user waits for.
    QTimer::singleShot(kPrestartDelay, &m_timers, [this] {
        if (!m_service)
            return;
        m_service->prestart();
        if (m_place.isEmpty())
            return;
        // Later, the disc read last is opened in it and its machine run to its first picture
        // once: a fresh program is slow on its first reads, and the next Play should not wait.
        QTimer::singleShot(kPrestartDelay, &m_timers, [this] {
            const std::string where = QFile::encodeName(m_place).toStdString();
            std::string ignored;
            if (m_service && m_service->place().empty() &&
                m_service->open(where) == DiscService::Outcome::Done &&
                m_service->request("vm-start", m_service->deadlines().open, ignored) ==
                    DiscService::Outcome::Done)
                m_service->request("next " + std::to_string(discproto::kBatchBytes),
                                   m_service->deadlines().read, ignored);
        });
    });
}

std::unique_ptr<NavSource> DvdStructureReader::openMachine(const QString& place) {
    const std::string where = QFile::encodeName(place).toStdString();
    if (!m_service)
        m_service = newService();
    if ((m_service->place() != where || !m_service->running()) &&
        m_service->open(where) != DiscService::Outcome::Done)
        return nullptr;
    std::unique_ptr<NavSource> source = openServiceNavSource(std::move(m_service));
    m_service = newService();
    prestartSoon();
    return source;
}

DvdStructureReader::~DvdStructureReader() = default;

DvdStructure DvdStructureReader::readTables(const QString& place) {
    using Outcome = DiscService::Outcome;
    if (!m_service)
        m_service = newService();
    const std::string where = QFile::encodeName(place).toStdString();
    m_service->limitFolderDeadlines(m_deadline);
    DiscService::Opened opened;
    switch (m_service->open(where, &opened)) {
    case Outcome::Done:
        break;
    case Outcome::Refused:
        throw EngineError("no DVD video at this place");
    case Outcome::Failed:
        throw EngineError("the disc cannot be read");
    }
    DvdStructure structure;
    if (opened.discId != "-")
        structure.discId = QString::fromStdString(opened.discId);
    int readable = 0;
    for (int t = 1; t <= opened.titles; ++t) {
        // A title whose tables cannot be read (or make the service fail) is left out alone.
        std::string records;
        std::optional<DvdTitleInfo> title;
        const Outcome outcome =
            m_service->request("title " + std::to_string(t), m_service->deadlines().open, records);
        if (outcome == Outcome::Done) {
            title = parseTitleRecords(records, t);
            if (!title)
                m_service->discard("title", "a malformed answer");
        }
        if (title) {
            ++readable;
        } else {
            qCWarning(lcDisc) << "title" << t << "of" << place << "cannot be read";
            title = DvdTitleInfo{};
            title->chapters = 1;
            title->chapterStarts = {0.0};
            title->readable = false;
        }
        structure.titles.push_back(std::move(*title));
    }
    if (readable == 0)
        throw EngineError("the disc cannot be read");
    std::string records;
    if (m_service->request("menus", m_service->deadlines().open, records) == Outcome::Done) {
        if (std::optional<std::vector<DvdMenuDomain>> menus = parseMenuRecords(records))
            structure.menus = std::move(*menus);
        else
            m_service->discard("menus", "a malformed answer");
    }
    return structure;
}

const DvdStructure& DvdStructureReader::read(const QString& place) {
    bool drive = false;
    const QByteArray fingerprint = checkPlace(place, drive);
    if (m_structure && place == m_place && fingerprint == m_fingerprint) {
        if (!drive)
            return *m_structure;
        // A drive cannot tell whether its disc was changed: the disc's identity can.
        DiscService::Opened opened;
        if (m_service &&
            m_service->open(QFile::encodeName(place).toStdString(), &opened) ==
                DiscService::Outcome::Done &&
            !m_structure->discId.isEmpty() &&
            QString::fromStdString(opened.discId) == m_structure->discId)
            return *m_structure;
    }
    m_structure.reset();
    ++m_probes;
    DvdStructure structure = readTables(place);
    m_place = place;
    m_fingerprint = fingerprint;
    m_structure = std::move(structure);
    return *m_structure;
}

} // namespace kavelo
