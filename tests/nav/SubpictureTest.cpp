#include "Subpicture.h"

#include "SpuFixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace kavelo;
using namespace kavelo::test;

TEST(Subpicture, DecodesEveryRunLengthAndBothFields) {
    for (const bool fillLast : {true, false}) {
        const Area area{100, 200, 361, 57}; // odd sizes: the bottom field has one row fewer
        const auto pixels = testPicture(area.width, area.height);
        const auto image = decodeSubpicture(encodeUnit(pixels, area, 0xa5c3, 0xf80f, fillLast));
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->x, 100);
        EXPECT_EQ(image->y, 200);
        EXPECT_EQ(image->width, 361);
        EXPECT_EQ(image->height, 57);
        EXPECT_EQ(image->pixels, pixels);
        // Colour and contrast nibbles name indices 3, 2, 1, 0 from the high end.
        EXPECT_EQ(image->colour, (std::array<std::uint8_t, 4>{3, 0xc, 5, 0xa}));
        EXPECT_EQ(image->contrast, (std::array<std::uint8_t, 4>{0xf, 0, 8, 0xf}));
    }
}

TEST(Subpicture, DamagedUnitsNeverReadOutsideTheirBytes) {
    const Area area{0, 0, 720, 64};
    const auto good = encodeUnit(testPicture(area.width, area.height), area);
    // Every truncation: refused, or decoded with the missing rows transparent.
    for (std::size_t n = 0; n < good.size(); n += 7) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        const auto image = decodeSubpicture(cut);
        if (image) {
            EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width) * image->height);
        }
    }
    // Random damage anywhere, and a control sequence that points back at itself forever.
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        auto bad = good;
        for (int i = 0; i < 4; ++i)
            bad[random() % bad.size()] = static_cast<std::uint8_t>(random());
        (void)decodeSubpicture(bad);
    }
    // An area wider than the frame or upside down is refused.
    auto wide = encodeUnit(std::vector<std::uint8_t>(16 * 2, 1), Area{710, 0, 16, 2});
    EXPECT_FALSE(decodeSubpicture(wide).has_value());
    EXPECT_FALSE(decodeSubpicture(std::vector<std::uint8_t>{0, 3, 0, 0}).has_value());
}

TEST(Subpicture, HighlightColoursTheButtonAndTheRestKeepsItsOwn) {
    // Index 0 transparent background, index 1 the button outlines, opaque.
    const Area area{100, 100, 200, 100};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(area.width) * area.height, 0);
    for (int x = 0; x < 200; ++x) {
        pixels[static_cast<std::size_t>(10) * 200 + x] = 1; // a line at frame y 110
        pixels[static_cast<std::size_t>(60) * 200 + x] = 1; // and one at frame y 160
    }
    const auto image = decodeSubpicture(encodeUnit(pixels, area, 0x0010, 0x00f0));
    ASSERT_TRUE(image);
    std::array<std::uint32_t, 16> clut{};
    clut[1] = 0x00eb8080; // white
    clut[2] = 0x0051f05a; // red
    clut[3] = 0x00108080; // black

    // Without a highlight: both lines white, cropped to them.
    OverlayPicture plain = renderSubpicture(*image, clut, std::nullopt);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain.x, 100);
    EXPECT_EQ(plain.y, 110);
    EXPECT_EQ(plain.width, 200);
    EXPECT_EQ(plain.height, 51);
    auto at = [](const OverlayPicture& p, int fx, int fy) {
        const std::size_t i = (static_cast<std::size_t>(fy - p.y) * p.width + (fx - p.x)) * 4;
        return std::array<int, 4>{p.bgra[i], p.bgra[i + 1], p.bgra[i + 2], p.bgra[i + 3]};
    };
    EXPECT_EQ(at(plain, 150, 110), (std::array<int, 4>{255, 255, 255, 255}));
    EXPECT_EQ(at(plain, 150, 130)[3], 0);

    // The highlight around the second line turns index 1 red at half contrast (premultiplied).
    const ButtonHighlight hl{100, 150, 299, 170, 0x00200080};
    OverlayPicture lit = renderSubpicture(*image, clut, hl);
    EXPECT_EQ(at(lit, 150, 110), (std::array<int, 4>{255, 255, 255, 255}));
    const auto red = at(lit, 150, 160);
    EXPECT_EQ(red[3], 8 * 17);
    EXPECT_GT(red[2], 100);
    EXPECT_LT(red[1], 20);
    EXPECT_LE(red[2], red[3]);

    // A highlight that hides everything leaves nothing to draw.
    const auto hidden = decodeSubpicture(encodeUnit(pixels, area, 0x0010, 0x0000));
    ASSERT_TRUE(hidden);
    EXPECT_TRUE(renderSubpicture(*hidden, clut, std::nullopt).empty());
}

TEST(Subpicture, CollectorReassemblesUnitsAcrossPacks) {
    const Area area{0, 0, 720, 120};
    const auto unit = encodeUnit(testPicture(area.width, area.height), area);
    ASSERT_GT(unit.size(), 2000u); // needs at least two packets
    SubpictureCollector collector(1);
    const std::span<const std::uint8_t> bytes(unit);
    const std::size_t first = 1900;
    collector.addPack(spuPack(bytes.first(200), 0, 9000));    // another stream: ignored
    collector.addPack(std::vector<std::uint8_t>(2048, 0x47)); // not a pack at all
    collector.addPack(spuPack(bytes.first(first), 1, 90000));
    std::size_t at = first;
    while (at < unit.size()) {
        const std::size_t n = std::min<std::size_t>(1900, unit.size() - at);
        collector.addPack(spuPack(bytes.subspan(at, n), 1, -1));
        at += n;
    }
    ASSERT_EQ(collector.units().size(), 1u);
    EXPECT_EQ(collector.units()[0].pts, 90000);
    EXPECT_EQ(collector.units()[0].data, unit);

    // A unit cut short by a new one is dropped, the new one kept.
    SubpictureCollector cut(0);
    cut.addPack(spuPack(bytes.first(first), 0, 1000));
    const auto small = encodeUnit(std::vector<std::uint8_t>(8 * 2, 2), Area{0, 0, 8, 2});
    cut.addPack(spuPack(small, 0, 2000));
    ASSERT_EQ(cut.units().size(), 1u);
    EXPECT_EQ(cut.units()[0].pts, 2000);
}
