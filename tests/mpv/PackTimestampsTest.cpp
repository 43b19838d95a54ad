// Moving the times of program stream packs: every timestamp of a pack moves by the same ticks
// in 33 bits, marker bits and everything else stay, and damaged packs are never read or
// written past their sector.
#include "PackTimestamps.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

using kavelo::mpv::kTimestampModulus;
using kavelo::mpv::shiftPackTimestamps;

namespace {

using Sector = std::array<std::uint8_t, 2048>;

// A PES timestamp as the MPEG-2 systems layer writes it: 4-bit prefix, then 3, 15 and 15 bits
// each followed by a marker bit.
void putTimestamp(std::uint8_t* p, int prefix, std::int64_t t) {
    p[0] = static_cast<std::uint8_t>((prefix << 4) | (((t >> 30) & 7) << 1) | 1);
    p[1] = static_cast<std::uint8_t>((t >> 22) & 0xff);
    p[2] = static_cast<std::uint8_t>((((t >> 15) & 0x7f) << 1) | 1);
    p[3] = static_cast<std::uint8_t>((t >> 7) & 0xff);
    p[4] = static_cast<std::uint8_t>(((t & 0x7f) << 1) | 1);
}

std::int64_t getTimestamp(const std::uint8_t* p) {
    EXPECT_EQ(p[0] & 1, 1);
    EXPECT_EQ(p[2] & 1, 1);
    EXPECT_EQ(p[4] & 1, 1);
    return (std::int64_t{(p[0] >> 1) & 7} << 30) | (std::int64_t{p[1]} << 22) |
           (std::int64_t{p[2] >> 1} << 15) | (std::int64_t{p[3]} << 7) | (p[4] >> 1);
}

// The pack header's clock reference: '01', 3 bits, marker, 15 bits, marker, 15 bits, marker,
// then a 9-bit extension and a marker.
void putScr(std::uint8_t* p, std::int64_t base, int extension) {
    p[4] = static_cast<std::uint8_t>(0x44 | (((base >> 30) & 7) << 3) | ((base >> 28) & 3));
    p[5] = static_cast<std::uint8_t>((base >> 20) & 0xff);
    p[6] = static_cast<std::uint8_t>(0x04 | (((base >> 15) & 0x1f) << 3) | ((base >> 13) & 3));
    p[7] = static_cast<std::uint8_t>((base >> 5) & 0xff);
    p[8] = static_cast<std::uint8_t>(0x04 | ((base & 0x1f) << 3) | ((extension >> 7) & 3));
    p[9] = static_cast<std::uint8_t>(((extension & 0x7f) << 1) | 1);
}

std::int64_t getScr(const std::uint8_t* p) {
    EXPECT_EQ(p[4] & 0xc4, 0x44);
    EXPECT_EQ(p[6] & 0x04, 0x04);
    EXPECT_EQ(p[8] & 0x04, 0x04);
    return (std::int64_t{(p[4] >> 3) & 7} << 30) | (std::int64_t{p[4] & 3} << 28) |
           (std::int64_t{p[5]} << 20) | (std::int64_t{p[6] >> 3} << 15) |
           (std::int64_t{p[6] & 3} << 13) | (std::int64_t{p[7]} << 5) | (p[8] >> 3);
}

// Builds a DVD-like pack: header with 2 stuffing bytes, then packets, the last padding to the
// sector's end. Each packet is (id, PTS or -1, DTS or -1, payload bytes).
struct Packet {
    std::uint8_t id;
    std::int64_t pts;
    std::int64_t dts;
    std::size_t payload;
};

struct Built {
    Sector sector{};
    std::vector<std::size_t> pts; // where each packet's PTS sits (0: none)
    std::vector<std::size_t> dts;
};

Built buildPack(std::int64_t scr, const std::vector<Packet>& packets) {
    Built b;
    Sector& s = b.sector;
    s.fill(0xa5);
    s[0] = 0;
    s[1] = 0;
    s[2] = 1;
    s[3] = 0xba;
    putScr(s.data(), scr, 300);
    s[10] = 0x01;
    s[11] = 0x89;
    s[12] = 0xc3;
    s[13] = 0xf8 | 2;
    std::size_t at = 16;
    for (const Packet& p : packets) {
        const std::size_t header = (p.pts >= 0 ? 5 : 0) + (p.dts >= 0 ? 5 : 0);
        const std::size_t length = 3 + header + p.payload;
        s[at] = 0;
        s[at + 1] = 0;
        s[at + 2] = 1;
        s[at + 3] = p.id;
        s[at + 4] = static_cast<std::uint8_t>(length >> 8);
        s[at + 5] = static_cast<std::uint8_t>(length & 0xff);
        s[at + 6] = 0x81;
        s[at + 7] = static_cast<std::uint8_t>((p.pts >= 0 ? 0x80 : 0) | (p.dts >= 0 ? 0x40 : 0));
        s[at + 8] = static_cast<std::uint8_t>(header);
        b.pts.push_back(p.pts >= 0 ? at + 9 : 0);
        b.dts.push_back(p.dts >= 0 ? at + 14 : 0);
        if (p.pts >= 0)
            putTimestamp(&s[at + 9], p.dts >= 0 ? 3 : 2, p.pts);
        if (p.dts >= 0)
            putTimestamp(&s[at + 14], 1, p.dts);
        at += 6 + length;
    }
    const std::size_t padding = s.size() - at - 6;
    s[at] = 0;
    s[at + 1] = 0;
    s[at + 2] = 1;
    s[at + 3] = 0xbe;
    s[at + 4] = static_cast<std::uint8_t>(padding >> 8);
    s[at + 5] = static_cast<std::uint8_t>(padding & 0xff);
    return b;
}

TEST(PackTimestamps, EveryTimeOfAPackMovesAlikeIn33BitsAndNothingElseChanges) {
    const std::int64_t top = kTimestampModulus - 1;
    const Built original = buildPack(123456, {{0xe0, 40000, 36400, 900},
                                              {0xbd, 90000, -1, 300},
                                              {0xc0, top - 10, -1, 200},
                                              {0xe0, -1, -1, 100}});
    for (const std::int64_t ticks : {std::int64_t{360000}, std::int64_t{-36000}, std::int64_t{11},
                                     kTimestampModulus + 5, -kTimestampModulus - 5}) {
        SCOPED_TRACE(ticks);
        Built moved = original;
        shiftPackTimestamps(moved.sector.data(), ticks);
        const auto expect = [&](std::int64_t was) {
            return ((was + ticks) % kTimestampModulus + kTimestampModulus) % kTimestampModulus;
        };
        EXPECT_EQ(getScr(moved.sector.data()), expect(123456));
        EXPECT_EQ(getTimestamp(&moved.sector[moved.pts[0]]), expect(40000));
        EXPECT_EQ(getTimestamp(&moved.sector[moved.dts[0]]), expect(36400));
        EXPECT_EQ(getTimestamp(&moved.sector[moved.pts[1]]), expect(90000));
        EXPECT_EQ(getTimestamp(&moved.sector[moved.pts[2]]), expect(top - 10)); // wraps
        // The prefixes of the timestamps, the clock extension and every other byte stay.
        EXPECT_EQ(moved.sector[moved.pts[0]] >> 4, 3);
        EXPECT_EQ(moved.sector[moved.dts[0]] >> 4, 1);
        EXPECT_EQ(moved.sector[moved.pts[1]] >> 4, 2);
        EXPECT_EQ(moved.sector[9], original.sector[9]);
        EXPECT_EQ(moved.sector[8] & 3, original.sector[8] & 3);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < moved.sector.size(); ++i)
            differing += moved.sector[i] != original.sector[i];
        EXPECT_LE(differing, 5u + 4 * 5u);
        // Moving back restores the pack byte for byte.
        shiftPackTimestamps(moved.sector.data(), -ticks);
        EXPECT_EQ(moved.sector, original.sector);
    }
    Built same = original;
    shiftPackTimestamps(same.sector.data(), 0);
    EXPECT_EQ(same.sector, original.sector);
}

TEST(PackTimestamps, WhatIsNoPackOrRunsPastItsSectorIsLeftAlone) {
    const Built original =
        buildPack(5000, {{0xe0, 40000, 36400, 900}, {0xbd, 90000, -1, 300}, {0xc0, 7, -1, 50}});
    // An MPEG-1 pack, a sector of other data, and a pack whose second packet claims to run past
    // the sector: the first is left whole, the second packet and all after it untouched.
    Built mpeg1 = original;
    mpeg1.sector[4] = 0x21;
    Built other = original;
    other.sector[3] = 0xbb;
    for (Built* b : {&mpeg1, &other}) {
        const Sector before = b->sector;
        shiftPackTimestamps(b->sector.data(), 9000);
        EXPECT_EQ(b->sector, before);
    }
    Built overlong = original;
    const std::size_t second = overlong.pts[1] - 9;
    overlong.sector[second + 4] = 0xff;
    shiftPackTimestamps(overlong.sector.data(), 9000);
    EXPECT_EQ(getTimestamp(&overlong.sector[overlong.pts[0]]), 49000);
    EXPECT_EQ(getTimestamp(&overlong.sector[overlong.pts[1]]), 90000);
    EXPECT_EQ(getTimestamp(&overlong.sector[overlong.pts[2]]), 7);
    // A header that says it holds timestamps but is too short for them.
    Built shortHeader = original;
    shortHeader.sector[overlong.pts[0] - 1] = 4;
    shiftPackTimestamps(shortHeader.sector.data(), 9000);
    EXPECT_EQ(getTimestamp(&shortHeader.sector[shortHeader.pts[0]]), 40000);

    // Random damage to a real-looking pack, read from a buffer exactly one sector long: moving
    // there and back gives the same bytes (nothing outside a timestamp is ever written).
    std::mt19937 random(20261207);
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> sector(original.sector.begin(), original.sector.end());
        const int hits = 1 + static_cast<int>(random() % 6);
        for (int h = 0; h < hits; ++h)
            sector[random() % (round % 2 ? 64 : sector.size())] =
                static_cast<std::uint8_t>(random());
        const std::vector<std::uint8_t> before = sector;
        const auto ticks = static_cast<std::int64_t>(random() % 1000000) - 500000;
        shiftPackTimestamps(sector.data(), ticks);
        shiftPackTimestamps(sector.data(), -ticks);
        ASSERT_EQ(sector, before) << round;
    }
}

} // namespace
