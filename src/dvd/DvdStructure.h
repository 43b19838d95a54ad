#pragma once

#include <QString>

#include <chrono>
#include <vector>

namespace kavelo {

// One title of a DVD-Video disc as libdvdnav describes it.
struct DvdTitleInfo {
    int chapters = 0;                  // at least 1
    int angles = 1;                    // at least 1
    std::vector<double> chapterStarts; // seconds from the title's start, one per chapter
    double length = 0;                 // seconds
};

// The titles of a disc, numbered from 1 on the disc and held here from index 0.
struct DvdStructure {
    std::vector<DvdTitleInfo> titles;

    // The 1-based number of the longest title (the first of equals); 0 when there is none.
    int longestTitle() const;
    // The title with the 1-based number, or nullptr.
    const DvdTitleInfo* title(int number) const;
};

// Reads the titles of the DVD video at `place`: an optical drive device, a folder holding
// VIDEO_TS, the VIDEO_TS folder itself, or a disc image. Throws EngineError when the place
// holds no readable DVD video or reading takes longer than `deadline`. Places that could block
// a reader (pipes, sockets, character devices) are refused before anything opens them.
DvdStructure readDvdStructure(const QString& place,
                              std::chrono::milliseconds deadline = std::chrono::seconds(2));

} // namespace kavelo
