// Damaged discs through the real engine: copies of the sample disc whose control files were
// damaged at test time (scripts/make-disc-mutants.py). Each is set as the place and played,
// read, sought and scanned; every step either works or fails with EngineError within 3 s, and
// the process never dies (a crash in the disc libraries would end this test).
#include "EnginePeer.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

using kavelo::EngineError;
using kavelo::MpvDvdEngine;

namespace {

const QString kMutants = QStringLiteral(KAVELO_TEST_MUTANTS);
constexpr int kMutantCount = KAVELO_TEST_MUTANT_COUNT;
constexpr qint64 kStepBudgetMs = 3000;

class MutatedDisc : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        s_window = std::make_unique<QWidget>();
        s_window->resize(320, 240);
        s_engine = std::make_unique<MpvDvdEngine>(s_window.get());
    }
    static void TearDownTestSuite() {
        std::printf("mutated discs: %d played, %d refused, %d failed after playing\n", s_played,
                    s_refused, s_failedLater);
        s_engine.reset();
        s_window.reset();
    }

    // Runs one step; false when it failed as it may (EngineError). Fails the test when it
    // raises anything else or takes longer than the budget.
    bool step(const char* what, const std::function<void()>& run) {
        QElapsedTimer clock;
        clock.start();
        bool worked = false;
        try {
            run();
            worked = true;
        } catch (const EngineError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << what << " raised " << e.what();
        }
        EXPECT_LT(clock.elapsed(), kStepBudgetMs) << what;
        return worked;
    }

    static std::unique_ptr<QWidget> s_window;
    static std::unique_ptr<MpvDvdEngine> s_engine;
    static int s_played;
    static int s_refused;
    static int s_failedLater;
};

std::unique_ptr<QWidget> MutatedDisc::s_window;
std::unique_ptr<MpvDvdEngine> MutatedDisc::s_engine;
int MutatedDisc::s_played = 0;
int MutatedDisc::s_refused = 0;
int MutatedDisc::s_failedLater = 0;

TEST_P(MutatedDisc, PlaysOrFailsWithAnEngineError) {
    const QString place = kMutants + QStringLiteral("/%1").arg(GetParam(), 3, 10, QLatin1Char('0'));
    ASSERT_TRUE(QDir(place + QStringLiteral("/VIDEO_TS")).exists())
        << "the dvd_mutants test makes the mutants";
    QFile damage(place + QStringLiteral("/DAMAGE"));
    if (damage.open(QIODevice::ReadOnly))
        RecordProperty("damage", damage.readAll().trimmed().toStdString());
    MpvDvdEngine& engine = *s_engine;

    if (!step("SetDVDDirectory", [&] { engine.SetDVDDirectory(place); }) ||
        !step("Play", [&] { engine.Play(); })) {
        ++s_refused;
        step("Stop", [&] { engine.Stop(); });
        return;
    }
    bool allWorked = true;
    const auto note = [&](bool worked) { allWorked = allWorked && worked; };
    note(step("CurrentTitle", [&] { engine.CurrentTitle(); }));
    note(step("CurrentChapter", [&] { engine.CurrentChapter(); }));
    note(step("CurrentTime", [&] { engine.CurrentTime(); }));
    note(step("TotalTitleTime", [&] { engine.TotalTitleTime(); }));
    note(step("AnglesAvailable", [&] { engine.AnglesAvailable(); }));
    note(step("PlayChapter", [&] { engine.PlayChapter(2); }));
    note(step("PlayAtTime", [&] { engine.PlayAtTime(QStringLiteral("00:00:05:00")); }));
    note(step("PlayForwards", [&] {
        engine.PlayForwards(16);
        QTest::qWait(120);
        engine.CurrentTime();
    }));
    note(step("PlayBackwards", [&] {
        engine.PlayBackwards(16);
        QTest::qWait(200);
        engine.CurrentTime();
    }));
    note(step("Stop", [&] { engine.Stop(); }));
    ++(allWorked ? s_played : s_failedLater);
}

INSTANTIATE_TEST_SUITE_P(Mutants, MutatedDisc, ::testing::Range(0, kMutantCount));

// With the sample disc's first title's command counts broken, its tables cannot be read: the
// disc plays its longest title instead, and the broken one is refused with the usual error.
TEST(MutatedDiscTitle, ATitleWhoseTablesAreBrokenIsRefusedAndTheDiscPlaysOn) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString copy = kavelo::test::copyDisc(QStringLiteral(KAVELO_TEST_DVD), temp.path());
    ASSERT_FALSE(copy.isEmpty());
    ASSERT_TRUE(kavelo::test::breakTitleCommandCount(copy, 1));
    QWidget window;
    MpvDvdEngine engine(&window);
    engine.SetDVDDirectory(copy);
    engine.Play();
    EXPECT_EQ(engine.CurrentTitle(), 2);
    EXPECT_THROW(kavelo::test::peer(engine).PlayTitle(1), EngineError);
    EXPECT_EQ(engine.PlayState(), kavelo::DvdPlayState::Stopped);
}

TEST(MutatedDiscAfterwards, TheEngineStillPlaysTheSampleDisc) {
    QWidget window;
    MpvDvdEngine engine(&window);
    engine.SetDVDDirectory(QStringLiteral(KAVELO_TEST_DVD));
    engine.Play();
    EXPECT_EQ(engine.CurrentTitle(), 1);
}

} // namespace
