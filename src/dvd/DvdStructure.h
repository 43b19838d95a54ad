#pragma once

#include "NavSource.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kavelo {

// One cell of a title's program chain, in playing order.
struct DvdCell {
    std::uint32_t firstSector = 0;
    std::uint32_t lastSector = 0;
    double length = 0; // seconds of pictures
    int still = 0;     // seconds the last picture holds afterwards; kInfiniteStill: until told
    int chapter = 0;   // the 1-based chapter the cell starts, 0 when it starts none
    int angle = 0;     // 1-based place within an angle block, 0 outside one
    // Where the cell's picture data's timestamps start and end (90 kHz), -1 when unknown.
    std::int64_t firstPts = -1;
    std::int64_t endPts = -1;
};

// One title of a DVD-Video disc.
struct DvdTitleInfo {
    int chapters = 0;                  // at least 1
    int angles = 1;                    // at least 1
    std::vector<double> chapterStarts; // seconds from the title's start, one per chapter
    double length = 0;                 // seconds
    int titleSet = 0;                  // the title set (VTS) holding it
    int titleInSet = 0;                // its number within the set
    std::vector<DvdCell> cells;        // may be empty when the disc's tables do not say

    // Whether a cell's timestamps jump from the cell before by less than libmpv notices (it
    // takes a jump of 5 s or more for a new start): libmpv's exact seeks then go astray.
    bool hasUnnoticedTimestampJumps() const;
    // Whether the title can be read as one plain program stream over its cells' sectors: no
    // angle blocks, and every cell's timestamps known and following on from the cell before.
    bool playsAsProgramStream() const;
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
    // Every button of the disc's menus that the probe tried led somewhere within its time.
    bool buttonsFollow = false;
    // The disc's identity: libdvdread's disc ID as 32 lowercase hexadecimal digits, the same
    // for a disc and a copy of its files; empty when the probe could not read it.
    QString discId;

    // The 1-based number of the longest title (the first of equals); 0 when there is none.
    int longestTitle() const;
    // The title with the 1-based number, or nullptr.
    const DvdTitleInfo* title(int number) const;
};

// Reads the answer of the disc probe program; nullopt when it is not a whole, consistent one.
std::optional<DvdStructure> parseDvdProbeAnswer(const QByteArray& answer);

// The disc probe program: beside the running program, else the one of the build tree.
QString dvdProbeProgram();

// Reads the titles of the DVD video at `place`: an optical drive device, a folder holding
// VIDEO_TS, the VIDEO_TS folder itself, or a disc image. The disc is read by the probe program
// in a process of its own, killed when it takes longer than `deadline`. Throws EngineError when
// the place holds no readable DVD video, the probe crashes, overruns or answers nonsense.
// Places that could block a reader (pipes, sockets, character devices) are refused before
// anything opens them.
DvdStructure readDvdStructure(const QString& place,
                              std::chrono::milliseconds deadline = std::chrono::seconds(2));

// Reads a place's structure once and gives it again while the place is unchanged (same path,
// and its control files of the same size and time). A changed place is read again.
class DvdStructureReader {
public:
    // `program` is the probe to run; empty for dvdProbeProgram().
    explicit DvdStructureReader(std::chrono::milliseconds deadline = std::chrono::seconds(2),
                                QString program = QString())
        : m_deadline(deadline), m_program(std::move(program)) {}

    // As readDvdStructure; throws EngineError likewise.
    const DvdStructure& read(const QString& place);

private:
    friend struct EngineTestPeer;

    std::chrono::milliseconds m_deadline;
    QString m_program;
    QString m_place;
    QByteArray m_fingerprint;
    std::optional<DvdStructure> m_structure;
    QElapsedTimer m_readClock;
    int m_probes = 0;
};

} // namespace kavelo
