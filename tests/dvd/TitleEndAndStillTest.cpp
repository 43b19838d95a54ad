// The title clock on the real engine and the sample disc (offscreen, no video output): exact
// seeks on titles whose timestamps run on (title 2) or restart in every cell (title 3), the end
// of a title, and a cell still (title 4). The pictures are read back from libmpv: titles
// 2, 3 and 4 carry their title and frame number in a code strip (see
// scripts/make-sample-disc.sh); title 2 is colour bars, title 1 a test pattern.
#include "EnginePeer.h"
#include "FrameCode.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);
constexpr double kFps = 25;

class TitleClockEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VTS_04_0.IFO")))
            << "the dvd_fixture test authors the disc";
        m_window.resize(320, 240);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
        engine->SetDVDDirectory(kDisc);
    }

    double position() { return kavelo::test::peer(engine).positionSeconds(); }

    // Pauses and compares the picture's frame number with the engine's time, in frames.
    int frameError(int title) {
        engine->Pause();
        QTest::qWait(100);
        const QImage shot = kavelo::test::peer(engine).picture();
        const std::optional<kavelo::test::FrameCode> code = kavelo::test::readCode(shot);
        EXPECT_TRUE(code);
        if (!code)
            return 1000;
        EXPECT_EQ(code->title, title);
        const int error = code->frame - static_cast<int>(std::lround(position() * kFps));
        engine->Resume();
        return error;
    }

    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
};

TEST_F(TitleClockEngineTest, SeeksShowTheAskedPictureWhetherTheCellsTimestampsRunOnOrRestart) {
    // Both are read as one stream over their cells' sectors: title 2's timestamps run on through
    // its cells, title 3's restart in each of its 4 s cells.
    kavelo::test::peer(engine).PlayTitle(2);

    // The picture shown first is the asked one: after a pause that comes a little late it may
    // be one or two further on, never one before. Status and picture agree.
    const auto landsOn = [&](const std::function<void()>& seek, int title, int frame, int chapter) {
        seek();
        engine->Pause();
        EXPECT_TRUE(kavelo::test::landedOn(kavelo::test::peer(engine).picture(), position(), kFps,
                                           title, frame));
        EXPECT_EQ(engine->CurrentChapter(), chapter) << frame;
    };
    struct Aim {
        const char* time;
        int frame;
        int chapter;
    };
    for (const Aim& aim : {Aim{"00:00:37:00", 925, 2}, Aim{"00:01:03:12", 1587, 4},
                           Aim{"00:00:19:24", 499, 1}, Aim{"00:00:05:00", 125, 1}})
        landsOn([&] { engine->PlayAtTime(QString::fromLatin1(aim.time)); }, 2, aim.frame,
                aim.chapter);
    // Chapters start where their cells do (20.16 s and 39.84 s: the authoring cut at pictures
    // that start a group).
    landsOn([&] { engine->PlayChapter(3); }, 2, 996, 3);
    landsOn([&] { engine->PlayPrevChapter(); }, 2, 504, 2);

    // Title 3: into each cell, onto a cell's first and last pictures, and back.
    kavelo::test::peer(engine).PlayTitle(3);
    for (const Aim& aim :
         {Aim{"00:00:09:00", 225, 2}, Aim{"00:00:04:00", 100, 2}, Aim{"00:00:07:24", 199, 2},
          Aim{"00:00:02:13", 63, 1}, Aim{"00:00:08:00", 200, 2}, Aim{"00:00:11:12", 287, 2}})
        landsOn([&] { engine->PlayAtTime(QString::fromLatin1(aim.time)); }, 3, aim.frame,
                aim.chapter);
    landsOn([&] { engine->PlayPrevChapter(); }, 3, 0, 1);
    landsOn([&] { engine->PlayNextChapter(); }, 3, 100, 2);
}

TEST_F(TitleClockEngineTest, CellsWhoseTimestampsRestartKeepTheTimeGoingOn) {
    kavelo::test::peer(engine).PlayTitle(3);
    EXPECT_EQ(engine->TotalTitleTime(), QStringLiteral("00:00:12:00"));
    std::vector<int> errors;
    double last = position();
    bool backwards = false;
    QElapsedTimer clock;
    clock.start();
    // Through the two cell changes (4 s and 8 s) to the end, the time never goes back.
    while (position() < 12 - 2.5 / kFps && clock.elapsed() < 20000) {
        const double now = position();
        if (now < last - 1e-6) {
            backwards = true;
            ADD_FAILURE() << "the time went back from " << last << " to " << now;
        }
        last = now;
        if (errors.size() < 3 && now > 2.0 + 4.0 * static_cast<double>(errors.size()))
            errors.push_back(frameError(3)); // once in each cell
        QTest::qWait(40);
    }
    EXPECT_FALSE(backwards);
    ASSERT_EQ(errors.size(), 3u);
    int worst = 0;
    for (const int error : errors)
        worst = std::max(worst, std::abs(error));
    RecordProperty("clock_error_frames", worst);
    EXPECT_LE(worst, 1) << errors[0] << " " << errors[1] << " " << errors[2];

    // The end: the title's last picture holds, and nothing of the next title shows under it.
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 12 - 2.5 / kFps; }, 4000)) << position();
    QTest::qWait(800);
    EXPECT_NEAR(position(), 12 - 1 / kFps, 0.05);
    EXPECT_EQ(engine->CurrentChapter(), 2);
    const std::optional<kavelo::test::FrameCode> end =
        kavelo::test::readCode(kavelo::test::peer(engine).picture());
    ASSERT_TRUE(end);
    EXPECT_EQ(end->title, 3);
    EXPECT_NEAR(end->frame, 299, 1);

    // A seek into the last cell after the end is timed from there, and Play after the end starts
    // the title again.
    engine->PlayAtTime(QStringLiteral("00:00:09:00"));
    EXPECT_NEAR(position(), 9.0, 0.1);
    const int afterSeek = std::abs(frameError(3));
    RecordProperty("clock_error_after_seek_frames", afterSeek);
    EXPECT_LE(afterSeek, 1);
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 12 - 2.5 / kFps; }, 6000));
    engine->Play();
    EXPECT_LT(position(), 0.5);
    const std::optional<kavelo::test::FrameCode> again =
        kavelo::test::readCode(kavelo::test::peer(engine).picture());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->title, 3);
    EXPECT_LT(again->frame, 13);

    // A 16x scan runs on through the cells to the end, where the last picture holds.
    engine->PlayForwards(16.0);
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 12 - 2.5 / kFps; }, 6000)) << position();
    QTest::qWait(500);
    EXPECT_NEAR(position(), 12 - 1 / kFps, 0.05);
    const std::optional<kavelo::test::FrameCode> scanned =
        kavelo::test::readCode(kavelo::test::peer(engine).picture());
    ASSERT_TRUE(scanned);
    EXPECT_EQ(scanned->title, 3);
    EXPECT_NEAR(scanned->frame, 299, 1);
}

TEST_F(TitleClockEngineTest, ACellStillHoldsItsLastPictureForItsTime) {
    kavelo::test::peer(engine).PlayTitle(4);
    EXPECT_EQ(engine->TotalTitleTime(), QStringLiteral("00:00:08:00"));
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 4 - 2.5 / kFps; }, 8000)) << position();
    QElapsedTimer held;
    held.start();
    // Held on the first cell's last picture for 3 s ...
    QTest::qWait(2000);
    EXPECT_NEAR(position(), 4 - 1 / kFps, 0.05);
    const std::optional<kavelo::test::FrameCode> still =
        kavelo::test::readCode(kavelo::test::peer(engine).picture());
    ASSERT_TRUE(still);
    EXPECT_EQ(still->title, 4);
    EXPECT_NEAR(still->frame, 99, 1); // the last picture, or the one before where libmpv drops it
    // ... then on into the second cell.
    ASSERT_TRUE(test::waitUntil([&] { return position() > 4.2; }, 4000)) << position();
    RecordProperty("still_ms", static_cast<int>(held.elapsed()));
    EXPECT_GE(held.elapsed(), 2900);
    EXPECT_LT(held.elapsed(), 4500);

    // Resume ends a still early; a seek back before it holds it again.
    engine->PlayAtTime(QStringLiteral("00:00:03:00"));
    ASSERT_TRUE(test::waitUntil([&] { return position() >= 4 - 2.5 / kFps; }, 4000));
    QTest::qWait(500);
    EXPECT_NEAR(position(), 4 - 1 / kFps, 0.05);
    engine->Resume();
    EXPECT_TRUE(test::waitUntil([&] { return position() > 4.2; }, 1500)) << position();
}

} // namespace
