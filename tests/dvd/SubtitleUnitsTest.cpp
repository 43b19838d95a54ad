// The subtitle units kept as libmpv reads a title's sectors: which one shows at a time (its own
// start and stop, the next unit replacing it, forced ones alone when the stream is off), units
// cut by a seek, and the bound on what is kept.
#include "../nav/SpuFixtures.h"
#include "TitleSubtitles.h"

#include <gtest/gtest.h>

using kavelo::SubtitleUnits;
namespace test = kavelo::test;

namespace {

constexpr std::int64_t kSecond = 90000;

std::vector<std::uint8_t> unit(int stopDate = -1, bool forced = false) {
    const test::Area area{160, 476, 16, 4};
    return test::encodeUnit(test::testPicture(area.width, area.height), area, 0x3210, 0xff00, true,
                            stopDate, forced);
}

// Feeds `pack` as the sector `sector` of the title set.
void feed(SubtitleUnits& units, std::uint32_t sector, const std::vector<std::uint8_t>& pack) {
    units.addSectors(sector, 1, pack.data());
}

std::optional<std::int64_t> shownAt(const SubtitleUnits& units, int stream, double seconds,
                                    bool forcedOnly = false) {
    const auto found = units.at(stream, static_cast<std::int64_t>(seconds * kSecond), forcedOnly);
    return found ? std::optional(found->pts) : std::nullopt;
}

} // namespace

TEST(SubtitleUnits, EachShowsFromItsStartToItsStopOrTheNextOne) {
    SubtitleUnits units;
    // 1 s: shown for 2 s (176 units of 1024 ticks); 5 s: no stop, replaced at 8 s by another
    // stream-0 unit; stream 1's unit at 6 s shows on stream 1 alone.
    std::uint32_t sector = 100;
    feed(units, sector++, test::spuPack(unit(176), 0, 1 * kSecond));
    feed(units, sector++, test::spuPack(unit(), 0, 5 * kSecond));
    feed(units, sector++, test::spuPack(unit(), 1, 6 * kSecond));
    feed(units, sector++, test::spuPack(unit(), 0, 8 * kSecond));

    EXPECT_EQ(shownAt(units, 0, 0.9), std::nullopt);
    EXPECT_EQ(shownAt(units, 0, 1.0), 1 * kSecond);
    EXPECT_EQ(shownAt(units, 0, 2.9), 1 * kSecond);
    EXPECT_EQ(shownAt(units, 0, 3.1), std::nullopt);
    EXPECT_EQ(shownAt(units, 0, 7.9), 5 * kSecond);
    EXPECT_EQ(shownAt(units, 0, 8.0), 8 * kSecond);
    EXPECT_EQ(shownAt(units, 1, 6.5), 6 * kSecond);
    EXPECT_EQ(shownAt(units, 1, 5.5), std::nullopt);
    // The last unit without a stop does not show for ever: the next may not have been read.
    EXPECT_EQ(shownAt(units, 0, 8.0 + 11), std::nullopt);
    EXPECT_EQ(shownAt(units, 2, 8.0), std::nullopt);
    EXPECT_EQ(shownAt(units, 40, 8.0), std::nullopt);
}

TEST(SubtitleUnits, WithTheStreamOffOnlyForcedUnitsShow) {
    SubtitleUnits units;
    feed(units, 10, test::spuPack(unit(176), 0, 1 * kSecond));
    feed(units, 11, test::spuPack(unit(176, true), 0, 4 * kSecond));
    EXPECT_EQ(shownAt(units, 0, 1.5, true), std::nullopt);
    EXPECT_EQ(shownAt(units, 0, 4.5, true), 4 * kSecond);
    EXPECT_EQ(shownAt(units, 0, 1.5, false), 1 * kSecond);
}

TEST(SubtitleUnits, AUnitCutByASeekIsDropped) {
    // A unit of two packets: the second without a time continues the first.
    const std::vector<std::uint8_t> whole = unit(176);
    const std::size_t half = whole.size() / 2;
    const std::span<const std::uint8_t> first(whole.data(), half);
    const std::span<const std::uint8_t> second(whole.data() + half, whole.size() - half);

    SubtitleUnits joined;
    feed(joined, 20, test::spuPack(first, 0, 1 * kSecond));
    feed(joined, 21, test::spuPack(second, 0, -1));
    EXPECT_EQ(shownAt(joined, 0, 1.5), 1 * kSecond);

    // libmpv seeks between them: the rest read elsewhere does not complete it.
    SubtitleUnits cut;
    feed(cut, 20, test::spuPack(first, 0, 1 * kSecond));
    feed(cut, 500, test::spuPack(second, 0, -1));
    EXPECT_EQ(shownAt(cut, 0, 1.5), std::nullopt);
}

TEST(SubtitleUnits, KeepsABoundedNumberNearestTheReading) {
    SubtitleUnits units;
    const std::vector<std::uint8_t> one = unit(176);
    const int count = static_cast<int>(SubtitleUnits::kMaxUnitsPerStream) + 100;
    for (int n = 0; n < count; ++n)
        feed(units, static_cast<std::uint32_t>(n), test::spuPack(one, 0, n * 3 * kSecond));
    EXPECT_EQ(shownAt(units, 0, 0.5), std::nullopt); // the oldest went
    EXPECT_EQ(shownAt(units, 0, (count - 1) * 3 + 0.5), (count - 1) * 3 * kSecond);
    // Reading from the start again (a seek back), the units there come back and the far end goes.
    for (int n = 0; n < 200; ++n)
        feed(units, static_cast<std::uint32_t>(n), test::spuPack(one, 0, n * 3 * kSecond));
    EXPECT_EQ(shownAt(units, 0, 0.5), 0);
    EXPECT_EQ(shownAt(units, 0, (count - 1) * 3 + 0.5), std::nullopt);
}
