// The title clock: chapters, cells, stills and the end from the title's cell table.
#include "TitleClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>

using kavelo::DvdCell;
using kavelo::DvdTitleInfo;
using kavelo::TitleClock;

namespace {

constexpr double kFrame = 0.04;

// A title of cells of the given lengths; a chapter starts at every cell listed in `chapters`.
DvdTitleInfo title(std::initializer_list<double> lengths, std::initializer_list<int> chapters,
                   int stillCell = -1, int still = 0) {
    DvdTitleInfo info;
    int index = 0;
    double at = 0;
    for (const double length : lengths) {
        DvdCell cell;
        cell.length = length;
        for (const int c : chapters) {
            if (c == index) {
                cell.chapter = static_cast<int>(info.chapterStarts.size()) + 1;
                info.chapterStarts.push_back(at);
            }
        }
        cell.still = index == stillCell ? still : 0;
        cell.firstSector = static_cast<std::uint32_t>(index * 1000);
        cell.lastSector = cell.firstSector + 999;
        info.cells.push_back(cell);
        at += length;
        ++index;
    }
    info.length = at;
    info.chapters = static_cast<int>(info.chapterStarts.size());
    return info;
}

TEST(TitleClock, ChaptersAndCellsFollowTheTime) {
    TitleClock clock;
    clock.reset(title({4, 4, 4}, {0, 1}), 25);
    clock.observe(9.0);
    EXPECT_NEAR(clock.time(), 9.0, 1e-6);
    EXPECT_EQ(clock.cell(), 2u);
    EXPECT_EQ(clock.chapter(), 2);
    // Back to a chapter's first picture: its chapter at once.
    clock.observe(4.0 - kFrame / 4);
    EXPECT_EQ(clock.chapter(), 2);
    clock.observe(3.9);
    EXPECT_EQ(clock.chapter(), 1);

    // Never outside the title.
    clock.observe(-3);
    EXPECT_EQ(clock.time(), 0.0);
    clock.observe(30);
    EXPECT_EQ(clock.time(), 12.0);
    EXPECT_TRUE(clock.atEnd());
    clock.observe(std::nan(""));
    EXPECT_EQ(clock.time(), 12.0);
}

TEST(TitleClock, TellsTheNextStill) {
    TitleClock clock;
    clock.reset(title({4, 4, 4, 4}, {0}, 1, 3), 25);
    clock.observe(1.0);
    auto still = clock.nextStill();
    ASSERT_TRUE(still);
    EXPECT_NEAR(still->at, 8.0 - 2.5 * kFrame, 1e-9);
    EXPECT_EQ(still->seconds, 3);
    EXPECT_EQ(still->cell, 1u);
    clock.observe(7.97);
    ASSERT_TRUE(clock.nextStill());
    EXPECT_EQ(clock.nextStill()->cell, 1u);
    EXPECT_FALSE(clock.nextStill(1u)); // held already
    clock.observe(8.5);
    EXPECT_FALSE(clock.nextStill());

    clock.reset(title({4, 4}, {0}, 1, kavelo::kInfiniteStill), 25);
    clock.observe(3.0);
    ASSERT_TRUE(clock.nextStill());
    EXPECT_EQ(clock.nextStill()->seconds, kavelo::kInfiniteStill);
}

TEST(TitleClock, WithoutACellTableThereIsNoCellNorStill) {
    DvdTitleInfo bare;
    bare.length = 10;
    bare.chapterStarts = {0, 5};
    bare.chapters = 2;
    TitleClock clock;
    clock.reset(bare, 25);
    clock.observe(4.0);
    clock.observe(1.0);
    EXPECT_EQ(clock.time(), 1.0);
    EXPECT_FALSE(clock.cell());
    EXPECT_FALSE(clock.nextStill());
    clock.observe(6.0);
    EXPECT_EQ(clock.chapter(), 2);

    // The cells of other angles share their block's time.
    DvdTitleInfo angles = title({2, 2, 2, 2}, {0});
    angles.cells[1].angle = 1;
    angles.cells[2].angle = 2;
    angles.length = 6;
    clock.reset(angles, 25);
    clock.observe(5.0);
    EXPECT_EQ(clock.cell(), 2u); // the third of the first angle's cells
    EXPECT_NEAR(clock.cellStart(2), 4.0, 1e-9);
}

} // namespace
