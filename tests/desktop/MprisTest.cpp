// The media controls (MPRIS) on a private session bus, driving the real window and engine on
// the sample disc, and the screensaver kept off while the disc plays.
#include "DesktopSessionFixture.h"
#include "Waiting.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kavelo {
namespace {

using namespace test;

TEST_F(DesktopSessionTest, MediaControlsRunTheWindowsCommandsAndTheScreensaverFollows) {
    ASSERT_TRUE(m_saver.registered());
    ASSERT_NE(m_session->mpris(), nullptr);
    ASSERT_TRUE(m_session->mpris()->registered());
    EXPECT_EQ(property(kRoot, "Identity").toString(), QStringLiteral("Kavelo"));
    EXPECT_EQ(property(kRoot, "DesktopEntry").toString(), QString::fromLatin1(kDesktopId));
    EXPECT_TRUE(property(kRoot, "CanRaise").toBool() && property(kRoot, "CanQuit").toBool());
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_FALSE(property(kPlayer, "CanSeek").toBool());
    EXPECT_EQ(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
              QString::fromLatin1(Mpris::kNoTrack));

    // Play runs dPlay: the logo goes, the status bar runs, the screensaver is held.
    call("Play");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Playing; }, 10000));
    EXPECT_TRUE(m_window->picLogo->isHidden());
    EXPECT_TRUE(m_window->timTime->isActive());
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_log.told("PlaybackStatus", [](const QVariant& v) { return v == "Playing"; });
        },
        5000));
    const QVariantMap playing = metadata();
    // The sample disc has no menus: its program plays title 1 (three 10 s chapters).
    EXPECT_EQ(playing.value("xesam:title").toString(), QStringLiteral("Title 1, Chapter 1"));
    EXPECT_EQ(playing.value("mpris:length").toLongLong(), 30 * kSecond);
    const QString track = playing.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_EQ(track, QStringLiteral("/org/example/kavelo/title/1"));
    EXPECT_TRUE(property(kPlayer, "CanSeek").toBool());

    // Next and Previous step through the chapters; the track title follows, and the jump is
    // told as a seek. On the first chapter there is no previous one.
    EXPECT_TRUE(property(kPlayer, "CanGoNext").toBool());
    EXPECT_FALSE(property(kPlayer, "CanGoPrevious").toBool());
    call("Next");
    ASSERT_TRUE(waitUntil([&] { return m_engine->CurrentChapter() == 2; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_log.told("Metadata", [](const QVariant& v) {
                return titleIn(v) == QLatin1String("Title 1, Chapter 2");
            });
        },
        5000));
    // The title starting was a jump too; the chapter's is at its start.
    EXPECT_TRUE(waitUntil(
        [&] {
            return std::any_of(m_log.seeked.begin(), m_log.seeked.end(), [](qlonglong p) {
                return std::abs(p / double(kSecond) - 10) < 1.5;
            });
        },
        5000));
    EXPECT_TRUE(waitUntil([&] { return property(kPlayer, "CanGoPrevious").toBool(); }, 5000));
    m_log.seeked.clear();

    // Positions go through PlayAtTime; one for another track, or past the end, is ignored.
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 25 * kSecond});
    ASSERT_TRUE(waitUntil([&] { return std::abs(position() - 25) < 1.0; }, 5000)) << position();
    EXPECT_TRUE(waitUntil([&] { return !m_log.seeked.isEmpty(); }, 5000));
    EXPECT_NEAR(m_log.seeked.value(0) / double(kSecond), 25, 1.5);
    EXPECT_NEAR(property(kPlayer, "Position").toLongLong() / double(kSecond), 25, 1.5);
    EXPECT_TRUE(waitUntil([&] { return trackTitle() == "Title 1, Chapter 3"; }, 5000));
    // The last chapter: no next one, and Next (a media key) does nothing, says nothing.
    EXPECT_TRUE(waitUntil([&] { return !property(kPlayer, "CanGoNext").toBool(); }, 5000));
    EXPECT_TRUE(m_log.told("CanGoNext", [](const QVariant& v) { return !v.toBool(); }));
    call("Next");
    QTest::qWait(300);
    EXPECT_EQ(m_engine->CurrentChapter(), 3);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    call("SetPosition",
         {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/example/kavelo/title/2"))),
          5 * kSecond});
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 40 * kSecond});
    QTest::qWait(300);
    EXPECT_GT(position(), 24);
    call("Seek", {qlonglong(-10 * kSecond)});
    ASSERT_TRUE(waitUntil([&] { return position() < 20; }, 5000)) << position();
    EXPECT_GT(position(), 14);

    // Pause and PlayPause: released, then held again; never two at once.
    call("Pause");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Paused; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Paused"));
    call("PlayPause");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Playing; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 5000));
    EXPECT_EQ(m_saver.count("Inhibit"), 2);

    // The volume is the engine's, both ways, as `playerctl volume 0.5` sets it.
    EXPECT_DOUBLE_EQ(property(kPlayer, "Volume").toDouble(), 1.0);
    EXPECT_EQ(setProperty(kPlayer, "Volume", 0.5), QString());
    EXPECT_TRUE(waitUntil([&] { return m_engine->snapshot().volume == 0.5; }, 5000));
    EXPECT_DOUBLE_EQ(property(kPlayer, "Volume").toDouble(), 0.5);
    EXPECT_TRUE(waitUntil(
        [&] { return m_log.told("Volume", [](const QVariant& v) { return v == 0.5; }); }, 5000));
    EXPECT_EQ(setProperty(kPlayer, "Volume", 7.0), QString()); // as much as there is
    EXPECT_TRUE(waitUntil([&] { return m_engine->snapshot().volume == 1.0; }, 5000));

    // Stop runs dStop; stopped there is no chapter to step to, and Next opens no message.
    call("Stop");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Stopped; }, 5000));
    EXPECT_FALSE(m_window->timTime->isActive());
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_FALSE(property(kPlayer, "CanGoNext").toBool());
    EXPECT_FALSE(property(kPlayer, "CanGoPrevious").toBool());
    call("Next");
    call("Previous");
    QTest::qWait(300);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));

    // Closing the main window while it plays releases the screensaver; Raise opens it again.
    call("PlayPause");
    ASSERT_TRUE(waitUntil([&] { return m_saver.held() == 1; }, 10000));
    m_window->close();
    ASSERT_TRUE(waitUntil([&] { return m_app.existingMainWindow() == nullptr; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_EQ(property(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    call("Raise");
    EXPECT_TRUE(waitUntil(
        [&] { return m_app.existingMainWindow() && m_app.existingMainWindow()->isVisible(); },
        5000));
    EXPECT_EQ(m_saver.mostHeld(), 1);
}

} // namespace
} // namespace kavelo
