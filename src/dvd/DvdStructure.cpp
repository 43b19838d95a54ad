#include "DvdStructure.h"

#include "DvdEngine.h"

#include <QDir>
#include <QFileInfo>

#include <dvdnav/dvdnav.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace kavelo {

namespace {

constexpr int kMaxTitles = 99; // the most a DVD-Video disc can hold
constexpr double kTicksPerSecond = 90000.0;

bool statPath(const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

// Refuses what could block or confuse the reader before libdvdread opens anything.
void checkPlace(const QString& place) {
    if (place.isEmpty())
        throw EngineError("no DVD directory given");
    struct stat st {};
    if (!statPath(place, st))
        throw EngineError("no such drive or directory");
    if (S_ISBLK(st.st_mode))
        return;
    if (S_ISREG(st.st_mode)) {
        if (st.st_size < 32 * 2048)
            throw EngineError("the file is too small to be a DVD image");
        return;
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
        if (!upper.endsWith(QLatin1String(".IFO")) && !upper.endsWith(QLatin1String(".BUP")) &&
            !upper.endsWith(QLatin1String(".VOB")))
            continue;
        struct stat entry {};
        if (!statPath(vts.absoluteFilePath(name), entry) || !S_ISREG(entry.st_mode))
            throw EngineError("a DVD file is not a regular file");
        if (upper == QLatin1String("VIDEO_TS.IFO") || upper == QLatin1String("VIDEO_TS.BUP"))
            hasControlFile = true;
    }
    if (!hasControlFile)
        throw EngineError("the folder holds no VIDEO_TS.IFO");
}

void discardLog(void*, dvdnav_logger_level_t, const char*, va_list) {}

struct NavCloser {
    void operator()(dvdnav_t* nav) const { dvdnav_close(nav); }
};

struct ReadResult {
    DvdStructure structure;
    std::string error; // empty on success
};

ReadResult readWithDvdnav(const std::string& place) {
    ReadResult result;
    const dvdnav_logger_cb logger{&discardLog};
    dvdnav_t* raw = nullptr;
    if (dvdnav_open2(&raw, nullptr, &logger, place.c_str()) != DVDNAV_STATUS_OK || !raw) {
        if (raw)
            dvdnav_close(raw);
        result.error = "no DVD video at this place";
        return result;
    }
    const std::unique_ptr<dvdnav_t, NavCloser> nav(raw);

    int32_t count = 0;
    if (dvdnav_get_number_of_titles(nav.get(), &count) != DVDNAV_STATUS_OK || count < 1) {
        result.error = "the disc has no titles";
        return result;
    }
    count = std::min(count, kMaxTitles);
    for (int32_t t = 1; t <= count; ++t) {
        DvdTitleInfo info;
        uint64_t* times = nullptr;
        uint64_t duration = 0;
        const uint32_t described = dvdnav_describe_title_chapters(nav.get(), t, &times, &duration);
        const std::unique_ptr<uint64_t, decltype(&std::free)> owned(times, &std::free);
        info.length = static_cast<double>(duration) / kTicksPerSecond;
        if (!std::isfinite(info.length) || info.length < 0)
            info.length = 0;
        info.chapterStarts.push_back(0.0);
        if (times) {
            // times[i] is where chapter i ends, so chapter i + 1 starts there.
            for (uint32_t i = 0; i + 1 < described && i < 999; ++i) {
                const double start = static_cast<double>(times[i]) / kTicksPerSecond;
                if (start < info.chapterStarts.back() || start > info.length)
                    break;
                info.chapterStarts.push_back(start);
            }
        }
        info.chapters = static_cast<int>(info.chapterStarts.size());
        int32_t angles = 1;
        if (dvdnav_get_number_of_angles(nav.get(), t, &angles) == DVDNAV_STATUS_OK)
            info.angles = std::clamp<int32_t>(angles, 1, 9);
        result.structure.titles.push_back(std::move(info));
    }
    return result;
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

const DvdTitleInfo* DvdStructure::title(int number) const {
    if (number < 1 || number > static_cast<int>(titles.size()))
        return nullptr;
    return &titles[static_cast<std::size_t>(number - 1)];
}

DvdStructure readDvdStructure(const QString& place, std::chrono::milliseconds deadline) {
    checkPlace(place);

    // libdvdread cannot be interrupted; a drive that stalls must not stall the caller, so the
    // reading runs on a thread of its own that is left behind when it overruns.
    std::packaged_task<ReadResult(std::string)> task(&readWithDvdnav);
    std::future<ReadResult> result = task.get_future();
    std::thread(std::move(task), std::string(QFile::encodeName(place).constData())).detach();
    if (result.wait_for(deadline) != std::future_status::ready)
        throw EngineError("reading the disc took too long");
    ReadResult read = result.get();
    if (!read.error.empty())
        throw EngineError(read.error);
    return std::move(read.structure);
}

} // namespace kavelo
