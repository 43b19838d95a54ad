// The libmpv engine on the sample disc, without video output (offscreen platform, vo=null).
// Title 1: three 10 s chapters; title 2: 80 s, chapters from 0, 20.16, 39.84 and 60 s. The
// disc has no menus: Play plays title 1, and the disc's program ends after it.
#include "MpvDvdEngine.h"

#include "EnginePeer.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using kavelo::DvdPlayState;
using kavelo::EngineError;
using kavelo::MpvDvdEngine;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

QString copyDisc(const QString& dir) {
    return kavelo::test::copyDisc(kDisc, dir);
}

void truncateFile(const QString& path, qint64 size) {
    ASSERT_TRUE(QFile::resize(path, size));
}

// Runs `step`, which must fail with EngineError within `ms`; records how long it took.
template <class Step> void expectQuickFailure(const char* what, Step step, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(step(), EngineError) << what;
    ::testing::Test::RecordProperty(what, static_cast<int>(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), ms) << what;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO")))
            << "the dvd_fixture test authors the disc";
        m_window.resize(320, 240);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
    }

    void playDisc() {
        engine->SetDVDDirectory(kDisc);
        engine->Play();
    }
    // The 80 s title, chosen from outside the disc's program.
    void playLongTitle() {
        engine->SetDVDDirectory(kDisc);
        kavelo::test::peer(engine).PlayTitle(2);
    }

    double position() { return kavelo::test::peer(engine).positionSeconds(); }

    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
};

TEST_F(EngineTest, PlaysTitleOneToTheDiscsEndPausesStopsAndPlaysAgain) {
    EXPECT_THROW(engine->CurrentTitle(), EngineError);
    EXPECT_THROW(engine->CurrentTime(), EngineError);
    EXPECT_THROW(engine->Pause(), EngineError);
    EXPECT_THROW(engine->Resume(), EngineError);
    EXPECT_THROW(engine->PlayChapter(1), EngineError);
    EXPECT_THROW(engine->SaveBookmark(), EngineError);
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Stopped);

    playDisc();
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Playing);
    EXPECT_EQ(engine->DVDDirectory(), kDisc);
    EXPECT_EQ(engine->CurrentTitle(), 1);
    EXPECT_EQ(engine->CurrentChapter(), 1);
    EXPECT_EQ(engine->TotalTitleTime(), QStringLiteral("00:00:30:00"));
    EXPECT_LT(position(), 0.5);

    ASSERT_TRUE(kavelo::test::waitUntil([&] { return position() >= 1.0; }, 10000));
    const double at = position();
    const QString time = engine->CurrentTime();
    EXPECT_TRUE(time.startsWith(QStringLiteral("00:00:"))) << time.toStdString();
    EXPECT_GE(time.mid(6, 2).toInt(), static_cast<int>(at)) << time.toStdString();
    EXPECT_LE(time.mid(6, 2).toInt(), static_cast<int>(at) + 1) << time.toStdString();
    EXPECT_EQ(time.size(), 11);

    engine->Pause();
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Paused);
    const double paused = position();
    QTest::qWait(500);
    EXPECT_NEAR(position(), paused, 0.05);
    engine->Resume();
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Playing);
    EXPECT_TRUE(kavelo::test::waitUntil([&] { return position() > paused + 0.3; }, 5000));

    engine->Pause();
    engine->Play(); // continues from where it was
    EXPECT_GT(position(), paused + 0.3);

    engine->Stop();
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Stopped);
    EXPECT_THROW(engine->CurrentTime(), EngineError);
    EXPECT_THROW(engine->TotalTitleTime(), EngineError);
    EXPECT_NO_THROW(engine->Stop());
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 1);
    EXPECT_LT(position(), 0.5);
}

TEST_F(EngineTest, SelectsChaptersAndTimesAndRefusesThoseTheTitleLacks) {
    playLongTitle();
    engine->PlayChapter(3);
    EXPECT_EQ(engine->CurrentChapter(), 3);
    EXPECT_NEAR(position(), 39.84, 0.1);

    for (const int missing : {0, -1, 5, 1000}) {
        EXPECT_THROW(engine->PlayChapter(missing), EngineError) << missing;
        EXPECT_EQ(engine->CurrentChapter(), 3) << missing;
    }

    engine->PlayChapter(4);
    EXPECT_THROW(engine->PlayNextChapter(), EngineError);
    EXPECT_EQ(engine->CurrentChapter(), 4);
    EXPECT_LT(position(), 61);

    engine->PlayPrevChapter();
    EXPECT_EQ(engine->CurrentChapter(), 3);
    engine->PlayNextChapter();
    EXPECT_EQ(engine->CurrentChapter(), 4);

    engine->PlayAtTime(QStringLiteral("00:00:05:00"));
    QTest::qWait(300);
    engine->PlayPrevChapter(); // on the first chapter: back to its start
    EXPECT_EQ(engine->CurrentChapter(), 1);
    EXPECT_LT(position(), 0.3);

    engine->PlayAtTime(QStringLiteral("00:00:30:00"));
    EXPECT_EQ(engine->CurrentChapter(), 2);
    EXPECT_NEAR(position(), 30, 0.1);
    engine->PlayAtTime(QStringLiteral("00:01:05:12"));
    EXPECT_NEAR(position(), 65.48, 0.1);
    EXPECT_TRUE(engine->CurrentTime().startsWith(QStringLiteral("00:01:05")));

    for (const char* bad : {"00:01:20:00", "01:00:00:00", "garbage", "", "00:00:61:00", "0:0"}) {
        EXPECT_THROW(engine->PlayAtTime(QString::fromLatin1(bad)), EngineError) << bad;
    }
    EXPECT_NEAR(position(), 65.48, 1.0);
    // The title's end and Play after it are in TitleEndAndStillTest, read from the pictures.
}

// Scans run well past normal speed in both directions and show pictures on the way; each is
// judged over 12 s of the title, however long a loaded machine takes for them. How close they
// come to 16 times is measured in bench/.
TEST_F(EngineTest, ScansSixteenTimesForwardsAndBackwards) {
    playLongTitle();
    engine->PlayAtTime(QStringLiteral("00:00:10:00"));

    const auto rateOver = [&](double distance, auto moved) {
        QElapsedTimer clock;
        clock.start();
        const bool far = kavelo::test::waitUntil([&] { return moved() >= distance; }, 15000);
        EXPECT_TRUE(far) << "moved " << moved() << " s in " << clock.elapsed() << " ms";
        return moved() / (static_cast<double>(clock.elapsed()) / 1000.0);
    };

    engine->PlayForwards(16.0);
    EXPECT_EQ(kavelo::test::peer(engine).propertyText("speed").toDouble(), 16.0);
    double from = position();
    EXPECT_GT(rateOver(12.0, [&] { return position() - from; }), 2.0) << "forwards";
    engine->Pause(); // any other command ends the scan
    EXPECT_FALSE(kavelo::test::peer(engine).scanning());

    // Backwards, each picture shown starts the next step: every new picture is an earlier one
    // and, at a speed the seeks keep up with, the scan shows every keyframe (0.5 s apart).
    engine->PlayAtTime(QStringLiteral("00:01:10:00"));
    engine->PlayBackwards(2.0);
    EXPECT_TRUE(kavelo::test::peer(engine).scanning());
    std::vector<double> shown{position()};
    int seen = kavelo::test::peer(engine).pictureUpdates();
    QElapsedTimer clock;
    clock.start();
    while (shown.size() < 12 && clock.elapsed() < 30000) {
        QTest::qWait(2);
        if (kavelo::test::peer(engine).pictureUpdates() != seen) {
            seen = kavelo::test::peer(engine).pictureUpdates();
            if (position() != shown.back())
                shown.push_back(position());
        }
    }
    ASSERT_EQ(shown.size(), 12u);
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_LT(shown[i], shown[i - 1]) << i;
        EXPECT_LT(shown[i - 1] - shown[i], 1.3) << i;
    }
    // At 16x it goes the same way, skipping keyframes when it must.
    from = position();
    engine->PlayBackwards(16.0);
    EXPECT_EQ(engine->PlayState(), DvdPlayState::Playing); // the picture moves
    EXPECT_GT(rateOver(12.0, [&] { return from - position(); }), 2.0) << "backwards";

    engine->Play(); // back to normal speed, forwards
    EXPECT_FALSE(kavelo::test::peer(engine).scanning());
    from = position();
    EXPECT_LT(rateOver(1.5, [&] { return position() - from; }), 2.0) << "normal play";

    // A backward scan that reaches the start plays on from there.
    engine->PlayAtTime(QStringLiteral("00:00:02:00"));
    engine->PlayBackwards(16.0);
    EXPECT_TRUE(
        kavelo::test::waitUntil([&] { return !kavelo::test::peer(engine).scanning(); }, 8000));
    EXPECT_LT(position(), 1.0);

    EXPECT_THROW(engine->PlayForwards(0), EngineError);
    EXPECT_THROW(engine->PlayBackwards(-16), EngineError);
}

TEST_F(EngineTest, BookmarkAnglesZoomColourAndALostWindow) {
    EXPECT_NO_THROW(engine->DeleteBookmark());
    EXPECT_THROW(engine->RestoreBookmark(), EngineError);
    EXPECT_THROW(engine->AnglesAvailable(), EngineError);
    EXPECT_THROW(engine->CurrentAngle(), EngineError);

    playLongTitle();
    EXPECT_EQ(engine->AnglesAvailable(), 1);
    EXPECT_EQ(engine->CurrentAngle(), 1);
    for (const int missing : {0, 2, -1})
        EXPECT_THROW(engine->SetCurrentAngle(missing), EngineError) << missing;
    EXPECT_NO_THROW(engine->SetCurrentAngle(1));

    engine->PlayAtTime(QStringLiteral("00:00:50:00"));
    engine->DeleteBookmark();
    engine->SaveBookmark();

    // Restoring from a stopped engine plays again; the bookmark stays until deleted. Restoring
    // over another title, with the disc's streams, is MenuEngineTest's.
    engine->Stop();
    engine->RestoreBookmark();
    EXPECT_EQ(engine->CurrentTitle(), 2);
    EXPECT_EQ(engine->TotalTitleTime(), QStringLiteral("00:01:20:00"));
    EXPECT_NEAR(position(), 50, 0.3);
    engine->DeleteBookmark();
    EXPECT_THROW(engine->RestoreBookmark(), EngineError);

    // Mute through the window's menu is PlaybackRealEngineTest's; zoom and colour on the screen
    // are the video test's.
    EXPECT_THROW(engine->Zoom(0, 0, -4.0), EngineError);
    engine->SetBackColor(0x00332211);
    EXPECT_EQ(engine->widget()->palette().color(QPalette::Window), QColor(0x11, 0x22, 0x33));

    // Destroying the window under a playing engine leaves an engine that refuses politely.
    delete engine->widget();
    EXPECT_EQ(engine->widget(), nullptr);
    EXPECT_THROW(engine->Play(), EngineError);
    EXPECT_THROW(engine->CurrentTime(), EngineError);
}

TEST_F(EngineTest, AcceptsDiscPlacesAndRefusesOthers) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString empty = temp.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);
    const QString garbage = temp.filePath(QStringLiteral("x.iso"));
    QByteArray noise(1 << 20, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i / 4096 * 131 + i % 4096 * 7) & 0xff);
    ASSERT_TRUE(kavelo::test::writeFile(garbage, noise));
    const QString fifoDir = copyDisc(temp.filePath(QStringLiteral("fifo")));
    QFile::remove(fifoDir + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mkfifo"),
                                {fifoDir + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO")}),
              0);

    for (const QString& place : {empty, temp.filePath(QStringLiteral("missing")), garbage, fifoDir,
                                 QString(), QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(place.toStdString());
        expectQuickFailure("refused_place_ms", [&] { engine->SetDVDDirectory(place); });
    }
    EXPECT_NE(engine->DVDDirectory(), garbage);

    // The disc is read once for setting the place and playing it.
    const int probes = kavelo::test::peer(engine).discProbes();
    engine->SetDVDDirectory(kDisc + QStringLiteral("/VIDEO_TS"));
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 1);
    engine->Stop();
    engine->Play();
    EXPECT_EQ(kavelo::test::peer(engine).discProbes(), probes + 1);

    // Another place while playing: the next Play plays from there.
    const QString copy = copyDisc(temp.filePath(QStringLiteral("copy")));
    engine->SetDVDDirectory(copy);
    EXPECT_EQ(engine->DVDDirectory(), copy);
    engine->Play();
    EXPECT_EQ(kavelo::test::peer(engine).titlePlace(), copy);
    EXPECT_EQ(engine->CurrentTitle(), 1);
    EXPECT_LT(position(), 0.5);
    EXPECT_EQ(kavelo::test::peer(engine).discProbes(), probes + 2);
    // A disc image chosen in the directory dialog is PlaybackRealEngineTest's.
}

TEST_F(EngineTest, NoDiscAndDamagedDiscsRaiseQuickly) {
    if (!QFile::exists(QStringLiteral("/dev/dvd")) && !QFile::exists(QStringLiteral("/dev/sr0"))) {
        expectQuickFailure("no_disc_ms", [&] { engine->Play(); });
        EXPECT_EQ(engine->DVDDirectory(), QStringLiteral("/dev/sr0"));
    }

    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString disc = copyDisc(temp.path());
    engine->SetDVDDirectory(disc);
    // The disc goes bad after it was chosen: its control data is cut short.
    truncateFile(disc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO"), 100);
    truncateFile(disc + QStringLiteral("/VIDEO_TS/VIDEO_TS.BUP"), 100);
    expectQuickFailure("damaged_disc_ms", [&] { engine->Play(); });
    EXPECT_THROW(engine->SetDVDDirectory(disc), EngineError);

    // A title set whose control data cannot be read is MutatedDiscTest's and DvdProbeTest's.

    // The first title's picture data gone: the disc's program cannot start, and the longest
    // title plays instead; with that one's gone too, nothing can be played.
    const QString third = copyDisc(temp.filePath(QStringLiteral("third")));
    engine->SetDVDDirectory(third);
    truncateFile(third + QStringLiteral("/VIDEO_TS/VTS_01_1.VOB"), 0);
    QElapsedTimer clock;
    clock.start();
    engine->Play();
    EXPECT_LT(clock.elapsed(), 3500);
    EXPECT_EQ(engine->CurrentTitle(), 2);
    engine->Stop();
    truncateFile(third + QStringLiteral("/VIDEO_TS/VTS_02_1.VOB"), 0);
    expectQuickFailure(
        "no_picture_data_ms", [&] { engine->Play(); }, 3500);

    // The picture data cut short under a playing title: once libmpv fails to read on, the
    // disc is gone and the commands that need it fail instead of acting on a frozen picture.
    const QString fourth = copyDisc(temp.filePath(QStringLiteral("fourth")));
    engine->SetDVDDirectory(fourth);
    engine->Play();
    ASSERT_TRUE(kavelo::test::waitUntil([&] { return position() > 0.2; }, 10000));
    truncateFile(fourth + QStringLiteral("/VIDEO_TS/VTS_01_1.VOB"), 0);
    EXPECT_TRUE(kavelo::test::waitUntil(
        [&] {
            try {
                engine->CurrentTitle();
                return false;
            } catch (const EngineError&) {
                return true;
            }
        },
        15000));
    EXPECT_THROW(engine->PlayChapter(2), EngineError);
    EXPECT_THROW(engine->Pause(), EngineError);
    EXPECT_THROW(engine->Resume(), EngineError);

    // The engine works on afterwards.
    engine->SetDVDDirectory(kDisc);
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 1);
}

} // namespace

// The engine's one state moves with each command and event, and what it shows reaches its
// listeners as a snapshot: reading it changes nothing, and it moves on without being read.
TEST_F(EngineTest, OneStateMovesWithCommandsAndTheSnapshotIsPushed) {
    using kavelo::DvdSnapshot;
    using kavelo::EngineState;
    auto state = [&] { return kavelo::test::peer(engine).state(); };
    std::vector<DvdSnapshot> told;
    QObject::connect(&engine->events(), &kavelo::DvdEngineEvents::snapshotChanged,
                     [&](const DvdSnapshot& now) { told.push_back(now); });
    EXPECT_EQ(state(), EngineState::Idle);

    playDisc();
    EXPECT_EQ(state(), EngineState::Playing);
    const DvdSnapshot& now = engine->snapshot();
    EXPECT_EQ(now.state, DvdPlayState::Playing);
    EXPECT_EQ(now.title, 1);
    EXPECT_EQ(now.chapters, 3);
    EXPECT_DOUBLE_EQ(now.length, 30.0);
    ASSERT_FALSE(told.empty());

    // Nothing but libmpv's events moves the time on: no getter is called while it waits.
    const std::size_t before = told.size();
    ASSERT_TRUE(kavelo::test::waitUntil([&] { return engine->snapshot().seconds >= 1.0; }, 10000));
    EXPECT_GT(told.size(), before);
    // Reading changes nothing.
    const DvdSnapshot read = engine->snapshot();
    for (int i = 0; i < 50; ++i) {
        engine->CurrentTime();
        engine->CurrentChapter();
        engine->PlayState();
    }
    EXPECT_EQ(engine->snapshot(), read);

    // A jump is told with the place it went to (the desktop's media controls tell it as a seek
    // to that place), never with a picture that played on before it, however the events fall.
    auto firstToldAfterJump = [&](const std::function<void()>& jump) {
        const std::uint64_t jumps = engine->snapshot().jumps;
        const std::size_t from = told.size();
        jump();
        for (std::size_t i = from; i < told.size(); ++i)
            if (told[i].jumps != jumps)
                return std::optional<DvdSnapshot>(told[i]);
        return std::optional<DvdSnapshot>();
    };
    for (const auto& [chapter, start] : {std::pair{2, 10.0}, {3, 20.0}, {1, 0.0}, {2, 10.0}}) {
        QTest::qWait(200); // pictures play on between the jumps
        const auto jumped = firstToldAfterJump([&] { engine->PlayChapter(chapter); });
        ASSERT_TRUE(jumped) << "chapter " << chapter;
        EXPECT_NEAR(jumped->seconds, start, 0.5) << "chapter " << chapter;
        EXPECT_EQ(engine->snapshot().chapter, chapter);
    }

    // An event handed on just after a seek may still carry the time from before it: here one
    // from the title's last picture, which must neither move the clock nor end the title.
    engine->PlayAtTime(QStringLiteral("00:00:29:00"));
    engine->PlayChapter(1);
    kavelo::test::peer(engine).tellPosition(29.9);
    EXPECT_EQ(state(), EngineState::Playing);
    EXPECT_LT(engine->snapshot().seconds, 1.0);
    // The time still moves on with the pictures.
    ASSERT_TRUE(kavelo::test::waitUntil([&] { return engine->snapshot().seconds >= 1.0; }, 10000));
    EXPECT_LT(engine->snapshot().seconds, 3.0);
    EXPECT_EQ(state(), EngineState::Playing);

    engine->Pause();
    EXPECT_EQ(state(), EngineState::Paused);
    EXPECT_EQ(engine->snapshot().state, DvdPlayState::Paused);
    engine->PlayForwards(16);
    EXPECT_EQ(state(), EngineState::ScanForwards);
    EXPECT_EQ(engine->snapshot().state, DvdPlayState::Playing);
    engine->PlayBackwards(16);
    EXPECT_EQ(state(), EngineState::ScanBackwards);
    engine->Resume();
    EXPECT_EQ(state(), EngineState::Playing);

    // The title's end, which ends the disc's program here, holds the last picture.
    engine->PlayAtTime(QStringLiteral("00:00:29:00"));
    ASSERT_TRUE(kavelo::test::waitUntil([&] { return state() == EngineState::DiscEnded; }, 10000))
        << kavelo::stateName(state());
    EXPECT_EQ(engine->snapshot().state, DvdPlayState::Paused);
    EXPECT_EQ(engine->snapshot().title, 1);
    EXPECT_EQ(engine->CurrentChapter(), 3);
    EXPECT_GT(kavelo::test::peer(engine).positionSeconds(), 29.5);
    engine->Play(); // the disc from its start again
    EXPECT_EQ(engine->CurrentTitle(), 1);
    EXPECT_LT(kavelo::test::peer(engine).positionSeconds(), 0.5);

    engine->Stop();
    EXPECT_EQ(state(), EngineState::Idle);
    EXPECT_EQ(engine->snapshot().title, 0);
    EXPECT_EQ(engine->snapshot().state, DvdPlayState::Stopped);
}
