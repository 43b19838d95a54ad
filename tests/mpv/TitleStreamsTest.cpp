// A title read as one stream over its cells' sectors: the stream's bytes are the runs' sectors
// in playing order, whatever the sizes of the reads and wherever it seeks; a disc that fails
// ends the stream with an error and tells whose title it was.
#include "TitleStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using kavelo::mpv::SectorRun;
using kavelo::mpv::SectorSource;
using kavelo::mpv::TitleReader;
using kavelo::mpv::TitleStreams;

namespace {

constexpr int kSector = 2048;

// Every byte of sector n is n (mod 256) and its first four bytes are n itself; reads from
// sector `failFrom` on fail, and at most `most` sectors come back at a time.
class FakeDisc final : public SectorSource {
public:
    int read(std::uint32_t first, int count, std::uint8_t* out) override {
        if (first >= failFrom)
            return -1;
        const int n = std::min({count, most, static_cast<int>(failFrom - first)});
        for (int i = 0; i < n; ++i) {
            const std::uint32_t sector = first + static_cast<std::uint32_t>(i);
            std::memset(out + i * kSector, static_cast<int>(sector & 0xff), kSector);
            std::memcpy(out + i * kSector, &sector, sizeof sector);
        }
        ++reads;
        return n;
    }
    std::uint32_t failFrom = 1u << 30;
    int most = 1000;
    int reads = 0;
};

std::uint32_t sectorAt(const std::vector<char>& data, std::size_t sectorIndex) {
    std::uint32_t sector = 0;
    std::memcpy(&sector, data.data() + sectorIndex * kSector, sizeof sector);
    return sector;
}

std::vector<char> readAll(TitleReader& reader, std::uint64_t step) {
    std::vector<char> data;
    std::vector<char> buffer(step);
    for (;;) {
        const std::int64_t n = reader.read(buffer.data(), step);
        if (n <= 0) {
            EXPECT_EQ(n, 0);
            return data;
        }
        data.insert(data.end(), buffer.begin(), buffer.begin() + n);
    }
}

TEST(TitleStreams, TheStreamIsTheRunsSectorsInOrderForAnyReadsAndSeeks) {
    auto disc = std::make_shared<FakeDisc>();
    disc->most = 5; // the disc gives fewer sectors than asked
    TitleStreams streams;
    // Runs out of disc order, one of a single sector, and one whose end lies before its start
    // (left out).
    const QByteArray address = streams.publish(
        disc, {SectorRun{100, 139}, SectorRun{7, 7}, SectorRun{9, 3}, SectorRun{50, 52}});
    EXPECT_TRUE(address.startsWith("kavelotitle://"));
    EXPECT_FALSE(streams.find("kavelotitle://999"));
    EXPECT_FALSE(streams.find("kavelomenu://1"));
    const auto title = streams.find(address.constData());
    ASSERT_TRUE(title);

    std::vector<std::uint32_t> expected;
    for (std::uint32_t s = 100; s <= 139; ++s)
        expected.push_back(s);
    expected.push_back(7);
    for (std::uint32_t s = 50; s <= 52; ++s)
        expected.push_back(s);

    for (const std::uint64_t step : {std::uint64_t{1000}, std::uint64_t{kSector},
                                     std::uint64_t{3 * kSector + 17}, std::uint64_t{1 << 20}}) {
        TitleReader reader(title, &streams);
        EXPECT_EQ(reader.size(), expected.size() * kSector);
        const std::vector<char> data = readAll(reader, step);
        ASSERT_EQ(data.size(), expected.size() * kSector) << step;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(sectorAt(data, i), expected[i]) << i << " step " << step;
            EXPECT_EQ(static_cast<std::uint8_t>(data[i * kSector + kSector - 1]),
                      expected[i] & 0xff);
        }
    }

    // A seek into the middle of a sector of the second run, then across into the third.
    TitleReader reader(title, &streams);
    EXPECT_EQ(reader.seek(40 * kSector + 100), 40 * kSector + 100);
    std::vector<char> piece(kSector);
    ASSERT_EQ(reader.read(piece.data(), piece.size()), kSector - 100);
    EXPECT_EQ(static_cast<std::uint8_t>(piece[0]), 7);
    ASSERT_EQ(reader.read(piece.data(), 4), 4);
    std::uint32_t sector = 0;
    std::memcpy(&sector, piece.data(), sizeof sector);
    EXPECT_EQ(sector, 50u);
    // Out of the stream: refused; at its very end: nothing more to read.
    EXPECT_LT(reader.seek(-1), 0);
    EXPECT_LT(reader.seek(static_cast<std::int64_t>(reader.size()) + 1), 0);
    EXPECT_EQ(reader.seek(static_cast<std::int64_t>(reader.size())),
              static_cast<std::int64_t>(reader.size()));
    EXPECT_EQ(reader.read(piece.data(), piece.size()), 0);

    // A new title withdraws the one before.
    const QByteArray next = streams.publish(disc, {SectorRun{1, 1}});
    EXPECT_NE(next, address);
    EXPECT_FALSE(streams.find(address.constData()));
    EXPECT_TRUE(streams.find(next.constData()));
    // A title with no sector to read is none.
    EXPECT_FALSE(streams.find(streams.publish(disc, {SectorRun{5, 4}}).constData()));
}

TEST(TitleStreams, ADiscThatFailsEndsTheStreamWithAnErrorAndSaysWhoseTitle) {
    auto disc = std::make_shared<FakeDisc>();
    disc->failFrom = 120;
    TitleStreams streams;
    std::vector<QByteArray> failed;
    streams.onReadFailed([&](const QByteArray& address) { failed.push_back(address); });
    const QByteArray address = streams.publish(disc, {SectorRun{100, 139}});
    TitleReader reader(streams.find(address.constData()), &streams);
    std::vector<char> buffer(64 * kSector);
    std::int64_t total = 0;
    std::int64_t n = 0;
    while ((n = reader.read(buffer.data(), buffer.size())) > 0)
        total += n;
    EXPECT_EQ(n, -1);
    EXPECT_EQ(total, 20 * kSector); // all that could be read came
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], address);
}

} // namespace
