// Damaged discs through the real engine: copies of the sample disc whose control files were
// damaged at test time (scripts/make-disc-mutants.py). The mutant walk plays them with the menu
// keys; here each is sought and scanned: every step either works or fails with EngineError
// within 3 s, and the process never dies.
#include "EnginePeer.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

using kavelo::EngineError;
using kavelo::MpvDvdEngine;

namespace {

const QString kMutants = QStringLiteral(KAVELO_TEST_MUTANTS);

class MutatedDisc : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        s_window = std::make_unique<QWidget>();
        s_engine = std::make_unique<MpvDvdEngine>(s_window.get());
    }
    static void TearDownTestSuite() {
        s_engine.reset();
        s_window.reset();
    }
    static std::unique_ptr<QWidget> s_window;
    static std::unique_ptr<MpvDvdEngine> s_engine;
};

std::unique_ptr<QWidget> MutatedDisc::s_window;
std::unique_ptr<MpvDvdEngine> MutatedDisc::s_engine;

TEST_P(MutatedDisc, SeeksAndScansWorkOrFailWithAnEngineError) {
    const QString place = kMutants + QStringLiteral("/%1").arg(GetParam(), 3, 10, QLatin1Char('0'));
    ASSERT_TRUE(QDir(place + QStringLiteral("/VIDEO_TS")).exists())
        << "the dvd_mutants test makes the mutants";
    MpvDvdEngine& e = *s_engine;
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"SetDVDDirectory", [&] { e.SetDVDDirectory(place); }},
        {"Play", [&] { e.Play(); }},
        {"queries",
         [&] {
             e.CurrentTitle(), e.CurrentChapter(), e.CurrentTime(), e.TotalTitleTime();
             e.AnglesAvailable();
         }},
        {"PlayChapter", [&] { e.PlayChapter(2); }},
        {"PlayAtTime", [&] { e.PlayAtTime(QStringLiteral("00:00:05:00")); }},
        {"PlayForwards", [&] { e.PlayForwards(16), QTest::qWait(120), e.CurrentTime(); }},
        {"PlayBackwards", [&] { e.PlayBackwards(16), QTest::qWait(200), e.CurrentTime(); }},
        {"Stop", [&] { e.Stop(); }}};
    for (const auto& [what, run] : steps) {
        QElapsedTimer clock;
        clock.start();
        try {
            run();
        } catch (const EngineError&) {
        } catch (const std::exception& ex) {
            ADD_FAILURE() << what << " raised " << ex.what();
        }
        EXPECT_LT(clock.elapsed(), 3000) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Mutants, MutatedDisc, ::testing::Range(0, KAVELO_TEST_MUTANT_COUNT));

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
