#include "DiscSectors.h"

#include <QFile>
#include <QLoggingCategory>

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <cstdarg>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcDisc)

namespace kavelo {

namespace {

void discardLog(void*, dvd_logger_level_t, const char*, va_list) {}

class TitleSetSectors final : public mpv::SectorSource {
public:
    TitleSetSectors(dvd_reader_t* reader, dvd_file_t* file) : m_reader(reader), m_file(file) {}
    ~TitleSetSectors() override {
        DVDCloseFile(m_file);
        DVDClose(m_reader);
    }
    TitleSetSectors(const TitleSetSectors&) = delete;
    TitleSetSectors& operator=(const TitleSetSectors&) = delete;

    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        if (count <= 0)
            return 0;
        // libdvdread's handles are not for two threads at once; libmpv may close one stream
        // while it opens the next.
        const std::lock_guard lock(m_mutex);
        const ssize_t got =
            DVDReadBlocks(m_file, static_cast<int>(first), static_cast<size_t>(count), out);
        return got < 0 ? -1 : static_cast<int>(got);
    }

private:
    std::mutex m_mutex;
    dvd_reader_t* m_reader;
    dvd_file_t* m_file;
};

} // namespace

std::shared_ptr<mpv::SectorSource> openTitleSetSectors(const QString& place, int titleSet) {
    if (titleSet < 1 || titleSet > 99)
        return nullptr;
    const dvd_logger_cb logger{&discardLog};
    const QByteArray path = QFile::encodeName(place);
    dvd_reader_t* reader = DVDOpen2(nullptr, &logger, path.constData());
    if (!reader) {
        qCDebug(lcDisc) << "the disc could not be opened for its sectors:" << place;
        return nullptr;
    }
    // libmpv's DVD reading gives subtitles their colours and numbers from the title set's
    // tables; read as a plain stream they would have neither. Such title sets are not read here.
    int subpictures = -1;
    if (ifo_handle_t* ifo = ifoOpenVTSI(reader, titleSet)) {
        if (ifo->vtsi_mat)
            subpictures = ifo->vtsi_mat->nr_of_vts_subp_streams;
        ifoClose(ifo);
    }
    if (subpictures != 0) {
        qCDebug(lcDisc) << "title set" << titleSet
                        << "has subtitles (or unreadable tables):" << subpictures;
        DVDClose(reader);
        return nullptr;
    }
    dvd_file_t* file = DVDOpenFile(reader, titleSet, DVD_READ_TITLE_VOBS);
    if (!file) {
        qCDebug(lcDisc) << "title set" << titleSet << "could not be opened:" << place;
        DVDClose(reader);
        return nullptr;
    }
    return std::make_shared<TitleSetSectors>(reader, file);
}

} // namespace kavelo
