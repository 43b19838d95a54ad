#pragma once

#include "NavSource.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kavelo {

class DiscService;

// A stretch of a title set's sectors, both ends included.
struct DvdSectorRun {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

// One cell of a title's program chain, in playing order.
struct DvdCell {
    std::uint32_t firstSector = 0;
    std::uint32_t lastSector = 0;
    double length = 0; // seconds of pictures
    int still = 0;     // seconds the last picture holds afterwards; kInfiniteStill: until told
    int chapter = 0;   // the 1-based chapter the cell starts, 0 when it starts none
    int angle = 0;     // 1-based place within an angle block, 0 outside one
    // An angle cell's sectors in reading order (its interleaved units, which the block's other
    // angles' units lie between); empty when they are not known.
    std::vector<DvdSectorRun> units;
    // Where the cell's picture data's timestamps start and end (90 kHz), -1 when unknown.
    std::int64_t firstPts = -1;
    std::int64_t endPts = -1;
};

constexpr std::array<int, 32> noSubpictureStreams() {
    std::array<int, 32> none{};
    for (int& id : none)
        id = -1;
    return none;
}

// One title of a DVD-Video disc.
struct DvdTitleInfo {
    int chapters = 0;                  // at least 1
    int angles = 1;                    // at least 1
    std::vector<double> chapterStarts; // seconds from the title's start, one per chapter
    double length = 0;                 // seconds
    int titleSet = 0;                  // the title set (VTS) holding it
    int titleInSet = 0;                // its number within the set
    std::vector<DvdCell> cells;        // may be empty when the disc's tables do not say
    int subpictureStreams = 0;         // of its title set
    // Its colour table (0x00YYCrCb entries), and the physical subpicture stream (0..31) each
    // logical one shows, -1 where it has none.
    std::array<std::uint32_t, 16> palette{};
    std::array<int, 32> subpictureStreamIds = noSubpictureStreams();
    // The MPEG stream id (or private stream 1 substream) of each audio stream as the disc's
    // audio register counts them from 0; 0 where the title has no such stream or it is unknown.
    std::array<int, 8> audioStreamIds{};
    // Where its title set's first VOB file starts on an image or a drive, 0 in a folder.
    std::uint32_t vobStart = 0;
    bool readable = true; // false: the disc's tables of this title could not be read

    // The indexes in `cells` of the cells played at the 1-based `angle`: outside angle blocks
    // every cell, in a block the angle's own (the block's first when it has fewer angles).
    std::vector<std::size_t> cellsOfAngle(int angle) const;
    // The sectors read, in order, to play the title at `angle`.
    std::vector<DvdSectorRun> sectorsOfAngle(int angle) const;
};

// The menu program chains of one domain: the disc's own (titleSet 0) or a title set's.
struct DvdMenuPgc {
    int language = 0; // 1-based language unit
    int pgc = 0;      // 1-based number within the unit
    int entry = 0;    // entry id byte (menu type in its low bits, entry flag in the high bit)
    int cells = 0;
    int still = 0;
};
struct DvdMenuDomain {
    int titleSet = 0;
    int languages = 0;
    std::vector<DvdMenuPgc> pgcs;
};

// The titles of a disc, numbered from 1 on the disc and held here from index 0.
struct DvdStructure {
    std::vector<DvdTitleInfo> titles;
    std::vector<DvdMenuDomain> menus;
    // The disc's identity: libdvdread's disc ID as 32 lowercase hexadecimal digits, the same
    // for a disc and a copy of its files; empty when it could not be read.
    QString discId;

    // The 1-based number of the longest title (the first of equals); 0 when there is none.
    int longestTitle() const;
    // The title with the 1-based number, or nullptr.
    const DvdTitleInfo* title(int number) const;
};

// Reads the disc service's records of title `number`; nullopt when they are not whole and
// consistent.
std::optional<DvdTitleInfo> parseTitleRecords(const std::string& records, int number);
// Reads the disc service's menu records; nullopt when they are not whole and consistent.
std::optional<std::vector<DvdMenuDomain>> parseMenuRecords(const std::string& records);

// Reads the titles of the DVD video at a place (an optical drive device, a folder holding
// VIDEO_TS, the VIDEO_TS folder itself, or a disc image) through the disc service, and gives
// them again while the place is unchanged: the same path with its control files of the same
// size and time, or on a drive the same disc (its identity). Places that could block a reader
// (pipes, sockets, character devices) are refused before anything opens them.
class DvdStructureReader {
public:
    // `deadline` bounds each request on a folder or an image (a drive has its own); `program`
    // is the service to run, empty for the one beside Kavelo.
    explicit DvdStructureReader(std::chrono::milliseconds deadline = std::chrono::seconds(2),
                                QString program = QString());
    ~DvdStructureReader();
    DvdStructureReader(const DvdStructureReader&) = delete;
    DvdStructureReader& operator=(const DvdStructureReader&) = delete;

    // Throws EngineError when the place holds no DVD video or none of its titles can be read.
    const DvdStructure& read(const QString& place);
    // The disc's virtual machine at `place` (read here before), fresh at its first-play program,
    // in the service that read its tables; a new service starts meanwhile for the next read.
    // nullptr when the machine cannot be opened.
    std::unique_ptr<NavSource> openMachine(const QString& place);
    // `handler` is called while a request to a disc runs long and the disc reads on (a drive
    // spinning up), here and in the machines opened from now on.
    void onBusy(std::function<void()> handler);

private:
    friend struct EngineTestPeer;

    DvdStructure readTables(const QString& place);
    void prestartSoon();
    std::unique_ptr<DiscService> newService() const;

    std::chrono::milliseconds m_deadline;
    QString m_program;
    std::unique_ptr<DiscService> m_service;
    QObject m_timers; // what a pending start of the service belongs to
    QString m_place;
    QByteArray m_fingerprint;
    std::optional<DvdStructure> m_structure;
    int m_probes = 0;
    std::function<void()> m_busy;
};

} // namespace kavelo
