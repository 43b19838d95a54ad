// One timeline over a title's cells: each cell's timestamps are moved to follow on from the
// cell before, whether they restart, jump or wrap; a cell the disc service could not time is
// timed from its own navigation pack or its first picture; a cell that cannot be read or timed
// is left out with its time kept.
#include "TitleTimeline.h"

#include "PackTimestamps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using kavelo::DvdCell;
using kavelo::DvdTitleInfo;
using kavelo::titleTimeline;
using kavelo::mpv::kTimestampModulus;
using kavelo::mpv::SectorSource;

namespace {

// Sectors of nothing, except navigation packs whose units start at the given times and packs
// with one video packet at the given presentation times.
class NavigationPacks final : public SectorSource {
public:
    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        std::memset(out, 0, static_cast<std::size_t>(count) * 2048);
        if (const auto video = pictures.find(first); video != pictures.end()) {
            const auto t = video->second;
            const std::uint8_t pack[] = {0,
                                         0,
                                         1,
                                         0xba,
                                         0x44,
                                         0,
                                         4,
                                         0,
                                         4,
                                         1,
                                         1,
                                         0x89,
                                         0xc3,
                                         0xf8, // pack header
                                         0,
                                         0,
                                         1,
                                         0xe0,
                                         0,
                                         8,
                                         0x81,
                                         0x80,
                                         5, // video packet with a presentation time
                                         static_cast<std::uint8_t>(0x21 | ((t >> 29) & 0x0e)),
                                         static_cast<std::uint8_t>(t >> 22),
                                         static_cast<std::uint8_t>(((t >> 14) & 0xfe) | 1),
                                         static_cast<std::uint8_t>(t >> 7),
                                         static_cast<std::uint8_t>(((t << 1) & 0xfe) | 1)};
            std::memcpy(out, pack, sizeof pack);
            return count;
        }
        const auto it = starts.find(first);
        if (it == starts.end())
            return count;
        const std::uint8_t head[] = {0, 0, 1, 0xba};
        std::memcpy(out, head, sizeof head);
        const std::uint8_t pci[] = {0, 0, 1, 0xbf, 0x03, 0xd4, 0};
        std::memcpy(out + 0x26, pci, sizeof pci);
        const auto t = static_cast<std::uint32_t>(it->second);
        const std::uint8_t time[] = {
            static_cast<std::uint8_t>(t >> 24), static_cast<std::uint8_t>(t >> 16),
            static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)};
        std::memcpy(out + 0x2d + 12, time, sizeof time);
        return count;
    }
    std::map<std::uint32_t, std::int64_t> starts;
    std::map<std::uint32_t, std::int64_t> pictures;
};

DvdCell cell(std::uint32_t first, std::uint32_t last, double seconds, std::int64_t firstPts,
             std::int64_t endPts) {
    DvdCell c;
    c.firstSector = first;
    c.lastSector = last;
    c.length = seconds;
    c.firstPts = firstPts;
    c.endPts = endPts;
    return c;
}

TEST(TitleTimeline, CellsFollowOnWhateverTheirOwnTimestampsDo) {
    NavigationPacks disc;
    DvdTitleInfo title;
    // Restarting at 0.5 s, running on, jumping ahead, wrapping past 2^33, and one the service
    // could not time (its navigation pack says 7 s; the cell table gives its length).
    title.cells = {cell(0, 99, 4, 45000, 405000),
                   cell(100, 199, 4, 45000, 405000),
                   cell(200, 299, 4, 405000, 765000),
                   cell(300, 399, 2, 9000000, 9180000),
                   cell(400, 499, 2, kTimestampModulus - 90000, 90000),
                   cell(500, 599, 3, -1, -1)};
    disc.starts[500] = 630000;
    const auto runs = titleTimeline(title, disc);
    ASSERT_EQ(runs.size(), 6u);
    const std::int64_t starts[] = {45000, 405000, 765000, 1125000, 1305000, 1485000};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        const DvdCell& c = title.cells[i];
        const std::int64_t own = c.firstPts >= 0 ? c.firstPts : disc.starts[c.firstSector];
        EXPECT_EQ(runs[i].first, c.firstSector);
        EXPECT_EQ(runs[i].last, c.lastSector);
        EXPECT_EQ(((own + runs[i].shift) % kTimestampModulus + kTimestampModulus) %
                      kTimestampModulus,
                  starts[i]);
    }
    EXPECT_EQ(runs[0].shift, 0);
    EXPECT_EQ(runs[2].shift, 360000);
}

TEST(TitleTimeline, CellsThatCannotBeReadOrTimedAreLeftOutWithTheirTime) {
    NavigationPacks disc;
    DvdTitleInfo title;
    // Cell 2 has neither a navigation pack nor a picture in its first sectors; cell 3's first
    // picture is two sectors in; cell 4's sectors run backwards.
    title.cells = {cell(0, 99, 4, 45000, 405000), cell(100, 199, 4, -1, -1),
                   cell(200, 299, 2, -1, -1), cell(300, 299, 1, -1, -1),
                   cell(400, 499, 3, 0, 270000)};
    disc.pictures[202] = 900000;
    const auto runs = titleTimeline(title, disc);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].first, 200u);
    EXPECT_EQ(900000 + runs[1].shift, 45000 + 8 * 90000) << "cell 2's 4 s stay in the timeline";
    EXPECT_EQ(runs[2].first, 400u);
    EXPECT_EQ(0 + runs[2].shift, 45000 + 11 * 90000);

    // An angle cell is read unit by unit, all with its one shift; without units it is left out.
    title.cells = {cell(0, 99, 4, 45000, 405000), cell(100, 199, 4, 0, 360000)};
    title.cells[1].angle = 1;
    EXPECT_EQ(titleTimeline(title, disc).size(), 1u);
    title.cells[1].units = {{100, 149}, {180, 199}};
    const auto units = titleTimeline(title, disc);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[2].first, 180u);
    EXPECT_EQ(units[1].shift, units[2].shift);
    title.cells.clear();
    EXPECT_TRUE(titleTimeline(title, disc).empty());
}

} // namespace
