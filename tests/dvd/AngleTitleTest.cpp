// An angle title on the real engine (offscreen, no video output): the angle disc's title holds
// an interleaved block of two angles between an intro and an outro (see
// scripts/make-angle-disc.py); every picture carries its number and angle in a code strip.
#include "DvdStructure.h"
#include "EnginePeer.h"
#include "FrameCode.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kDisc = QStringLiteral(KAVELO_ANGLE_DVD);
constexpr double kFps = 25;

class AngleTitleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO")))
            << "the discs_angle_dvd_fixture test authors the disc";
        m_window.resize(320, 240);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
        engine->SetDVDDirectory(kDisc);
    }

    double position() { return test::peer(engine).positionSeconds(); }

    // The picture libmpv shows once paused: its number and angle (0 outside the block).
    std::pair<int, int> pausedPicture() {
        engine->Pause();
        const std::optional<test::FrameCode> code = test::readCode(test::peer(engine).picture());
        EXPECT_TRUE(code);
        return code ? std::pair{code->frame, code->title} : std::pair{-1, -1};
    }

    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
};

TEST_F(AngleTitleTest, TheDiscServiceGivesEachAngleItsOwnInterleavedUnits) {
    kavelo::DvdStructureReader reader;
    const kavelo::DvdTitleInfo* title = reader.read(kDisc).title(1);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->angles, 2);
    EXPECT_NEAR(title->length, 14, 0.05);
    ASSERT_EQ(title->cells.size(), 4u);
    // The two angles' units lie one after the other in turn, none shared.
    std::vector<std::pair<std::uint32_t, int>> units;
    for (int angle = 1; angle <= 2; ++angle) {
        const kavelo::DvdCell& cell = title->cells[static_cast<std::size_t>(angle)];
        EXPECT_EQ(cell.angle, angle);
        EXPECT_GE(cell.units.size(), 5u);
        for (const kavelo::DvdSectorRun& unit : cell.units)
            units.emplace_back(unit.first, angle);
    }
    std::sort(units.begin(), units.end());
    for (std::size_t i = 0; i < units.size(); ++i)
        EXPECT_EQ(units[i].second, i % 2 == 0 ? 1 : 2) << i;

    // Where the cell address table does not list an interleaved cell's units, the service
    // follows them through the cell's navigation packs, to the same sectors.
    QTemporaryDir dir;
    const QString copy = test::copyDisc(kDisc, dir.path());
    ASSERT_FALSE(copy.isEmpty());
    QByteArray ifo = test::readFile(copy + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO"));
    ASSERT_GT(ifo.size(), 0xe4);
    const qsizetype table = qFromBigEndian<quint32>(ifo.constData() + 0xe0) * 2048;
    ASSERT_LT(table + 8, ifo.size());
    const qsizetype end = table + 1 + qFromBigEndian<quint32>(ifo.constData() + table + 4);
    for (qsizetype entry = table + 8; entry + 12 <= std::min(end, ifo.size()); entry += 12) {
        if (ifo[entry + 1] == 2 || ifo[entry + 1] == 3) // the angle cells' VOBs
            ifo[entry + 2] = 9;                         // a cell of another number
    }
    for (const char* name : {"/VIDEO_TS/VTS_01_0.IFO", "/VIDEO_TS/VTS_01_0.BUP"})
        ASSERT_TRUE(test::writeFile(copy + QLatin1String(name), ifo));
    kavelo::DvdStructureReader walker;
    const kavelo::DvdTitleInfo* walked = walker.read(copy).title(1);
    ASSERT_TRUE(walked);
    ASSERT_EQ(walked->cells.size(), 4u);
    for (std::size_t c = 1; c <= 2; ++c) {
        const auto& a = title->cells[c].units;
        const auto& b = walked->cells[c].units;
        ASSERT_EQ(a.size(), b.size()) << c;
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_TRUE(a[i].first == b[i].first && a[i].last == b[i].last) << c << ' ' << i;
    }
}

TEST_F(AngleTitleTest, AnAngleShowsFromWhereItIsChosenAndSeeksLandOnTheAskedPicture) {
    QElapsedTimer clock;
    clock.start();
    test::peer(engine).PlayTitle(1);
    ::testing::Test::RecordProperty("open_ms", static_cast<int>(clock.elapsed()));
    EXPECT_EQ(engine->AnglesAvailable(), 2);
    EXPECT_EQ(engine->CurrentAngle(), 1);

    struct Aim {
        const char* time;
        int frame;
        int angle;
    };
    const auto landsOn = [&](const Aim& aim) {
        engine->PlayAtTime(QString::fromLatin1(aim.time));
        const auto [frame, angle] = pausedPicture();
        EXPECT_EQ(angle, aim.angle) << aim.time;
        EXPECT_GE(frame, aim.frame) << aim.time;
        EXPECT_LE(frame, aim.frame + 2) << aim.time;
        EXPECT_EQ(frame, std::lround(position() * kFps)) << aim.time;
        engine->Resume();
    };
    landsOn({"00:00:06:00", 150, 1});
    landsOn({"00:00:11:00", 275, 0});

    // In the block, the other angle shows from the picture playing on.
    engine->PlayAtTime(QStringLiteral("00:00:05:00"));
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 5.5; }, 4000)) << position();
    const double before = position();
    clock.restart();
    engine->SetCurrentAngle(2);
    ::testing::Test::RecordProperty("angle_change_ms", static_cast<int>(clock.elapsed()));
    EXPECT_EQ(engine->CurrentAngle(), 2);
    const auto [frame, angle] = pausedPicture();
    EXPECT_EQ(angle, 2);
    EXPECT_GE(frame, std::lround(before * kFps));
    EXPECT_LE(frame, std::lround(before * kFps) + 25);
    engine->Resume();

    for (const Aim& aim : {Aim{"00:00:05:12", 137, 2}, Aim{"00:00:09:20", 245, 2},
                           Aim{"00:00:01:00", 25, 0}, Aim{"00:00:12:03", 303, 0}})
        landsOn(aim);
    // The outro follows the angle on without a jump in time.
    engine->PlayAtTime(QStringLiteral("00:00:09:12"));
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 10.4; }, 4000)) << position();
    const auto [outro, outroAngle] = pausedPicture();
    EXPECT_EQ(outroAngle, 0);
    EXPECT_NEAR(outro, std::lround(position() * kFps), 2);

    // Back to angle 1 while paused: its picture at the same place.
    engine->PlayAtTime(QStringLiteral("00:00:08:00"));
    engine->Pause();
    const double paused = position();
    engine->SetCurrentAngle(1);
    const auto [back, backAngle] = pausedPicture();
    EXPECT_EQ(backAngle, 1);
    EXPECT_NEAR(back, std::lround(paused * kFps), 2);
}

} // namespace
