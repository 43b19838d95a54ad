#pragma once

// The disc's tables as libdvdread reads them: the titles with their chapters, cells, sectors
// and timestamps, the menus, and the disc's identity. Each answer is a run of text records:
//   title T VTS TTN CHAPTERS ANGLES LENGTH_TICKS CELLS SUBPICTURES VOB_START
//       SUBPICTURES: the title set's subpicture streams; VOB_START: where the title set's first
//       VOB file starts on an image or drive (0 in a folder, where the files are read)
//   chapter T C START_TICKS                  one per chapter, C counted from 1
//   cell T N FIRST_SECTOR LAST_SECTOR LENGTH_TICKS STILL CHAPTER ANGLE
//       N counted from 1 in playing order; STILL in seconds, 255 without end; CHAPTER the
//       chapter the cell starts (0: none); ANGLE the cell's place in an angle block (0: none)
//   unit T N FIRST_SECTOR LAST_SECTOR          the sectors of angle cell N in reading order, one
//       record a piece (an interleaved unit); none for a cell whose pieces cannot be told
//   cellpts T N FIRST_PTS END_PTS              where cell N's picture data's timestamps start
//       and end (from its first and last VOBU), for the cells whose packs say
//   palette T E0 .. E15                       the title's colour table, 0x00YYCrCb entries
//   subpicture T LOGICAL PHYSICAL              one per subpicture stream the title has: the
//       physical stream (0..31) its logical number (0..31) shows on the title set's picture
//   audio T N STREAM_ID                      audio stream N (counted from 1 as the disc's audio
//       register counts from 0) is the MPEG stream (or private stream 1 substream) STREAM_ID
//   menus DOMAIN LANGUAGES PGCS              DOMAIN 0 for the disc's own menus, else the VTS
//   menupgc DOMAIN LANGUAGE PGCN ENTRY CELLS STILL
// Ticks are 90 kHz.

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavelo::discservice {

struct DvdFileCloser {
    void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};
using DvdFile = std::unique_ptr<dvd_file_t, DvdFileCloser>;

class DiscTables {
public:
    // Opens the disc at `place`; nullptr when it holds no readable DVD video.
    static std::unique_ptr<DiscTables> open(const std::string& place);
    ~DiscTables();
    DiscTables(const DiscTables&) = delete;
    DiscTables& operator=(const DiscTables&) = delete;

    int titleCount() const;
    // libdvdread's identity of the disc (an MD5 over its control files), in hex; empty when
    // it cannot be read.
    std::string discId();
    // The records of the 1-based title `title`; nullopt when its tables cannot be read.
    std::optional<std::string> titleRecords(int title);
    std::string menuRecords();
    // The VOB files of title set `vts` read as one run of sectors (decrypted on a scrambled
    // disc when libdvdcss is there); nullptr when the title set has none. It must be closed
    // before these tables.
    DvdFile openTitleVobs(int vts);

private:
    DiscTables(dvd_reader_t* reader, ifo_handle_t* vmg, bool files);
    ifo_handle_t* titleSet(int vts);

    dvd_reader_t* m_reader;
    ifo_handle_t* m_vmg;
    bool m_files; // a folder of files, not an image or a drive
    std::vector<ifo_handle_t*> m_titleSets = std::vector<ifo_handle_t*>(100, nullptr);
    std::vector<bool> m_titleSetTried = std::vector<bool>(100, false);
};

} // namespace kavelo::discservice
