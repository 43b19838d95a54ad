// The media controls (MPRIS) on a private session bus, driving the real window and engine on
// the sample disc, and the screensaver kept off while the disc plays.
#include "DesktopSessionFixture.h"
#include "Waiting.h"

#include <QTest>

#include <gtest/gtest.h>

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

    // Next and Previous are the chapter commands; the track title follows.
    call("Next");
    ASSERT_TRUE(waitUntil([&] { return m_engine->CurrentChapter() == 2; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
            return m_log.told("Metadata", [](const QVariant& v) {
                return titleIn(v) == QLatin1String("Title 1, Chapter 2");
            });
        },
        5000));

    // Positions go through PlayAtTime; one for another track, or past the end, is ignored.
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), 25 * kSecond});
    ASSERT_TRUE(waitUntil([&] { return std::abs(position() - 25) < 1.0; }, 5000)) << position();
    EXPECT_TRUE(waitUntil([&] { return !m_log.seeked.isEmpty(); }, 5000));
    EXPECT_NEAR(m_log.seeked.value(0) / double(kSecond), 25, 1.5);
    EXPECT_NEAR(property(kPlayer, "Position").toLongLong() / double(kSecond), 25, 1.5);
    EXPECT_EQ(trackTitle(), QStringLiteral("Title 1, Chapter 3"));
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

    // Stop runs dStop; Next then says what dNextChapter always says without a disc playing.
    call("Stop");
    ASSERT_TRUE(waitUntil([&] { return state() == DvdPlayState::Stopped; }, 5000));
    EXPECT_FALSE(m_window->timTime->isActive());
    EXPECT_TRUE(waitUntil([&] { return m_saver.held() == 0; }, 5000));
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    call("Next");
    EXPECT_TRUE(waitUntil([&] { return !m_dialogs.messages.isEmpty(); }, 5000));
    EXPECT_EQ(m_dialogs.messages, QStringList{"Please Insert DVD Rom."});
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
