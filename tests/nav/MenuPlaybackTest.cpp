// Menu pieces of the menu disc played by libmpv through the menu protocol, no window needed.
#include "MenuStreams.h"
#include "MpvSession.h"
#include "Navigator.h"
#include "ServiceNavSource.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kavelo;

namespace {

struct Player {
    mpv::Session session;
    mpv::MenuStreams streams;
    int loaded = 0;
    int restarts = 0;
    int failures = 0;

    Player() {
        session.setVideoWindow(0);
        session.setOption("ao", "null");
        session.setOption("keep-open", "yes");
        session.setOption("reset-on-next-file", "pause"); // a held still must not pause the next
        EXPECT_TRUE(streams.install(session));
        EXPECT_GE(session.initialize(), 0);
        session.observe(1, "time-pos", false); // events keep coming while it plays
        session.setEventHandler([this](const mpv::Event& e) {
            if (e.type == mpv::Event::Type::FileLoaded)
                ++loaded;
            else if (e.type == mpv::Event::Type::PlaybackRestart)
                ++restarts;
            else if (e.type == mpv::Event::Type::EndFile && e.failed)
                ++failures;
        });
    }
    bool play(const MenuPiece& piece) {
        const QByteArray url =
            streams.publish(std::make_shared<const std::vector<std::uint8_t>>(piece.data));
        QByteArray options = "image-display-duration=0";
        if (piece.end == MenuPiece::End::Loop)
            options += ",loop-file=inf";
        const int before = restarts;
        std::int64_t entry = -1;
        if (session.loadFile(url, options, &entry) < 0)
            return false;
        return session.waitUntil([&] { return restarts > before || failures > 0; }, 10000) &&
               failures == 0;
    }
};

} // namespace

TEST(MenuPlayback, StillMenusHoldAndMotionMenusLoop) {
    Navigator nav(openServiceNavSource(KAVELO_MENU_DVD));
    const NavDecision main = nav.start();
    ASSERT_EQ(main.kind, NavDecision::Kind::Menu);

    Player player;
    ASSERT_TRUE(player.play(main.menu));
    EXPECT_EQ(player.session.getInt("video-params/w").value_or(0), 720);
    // The one-second piece ends and its last picture stays: the player neither idles nor quits.
    ASSERT_TRUE(player.session.waitUntil(
        [&] { return player.session.getFlag("eof-reached").value_or(false); }, 10000));
    EXPECT_FALSE(player.session.getFlag("idle-active").value_or(true));

    ASSERT_TRUE(nav.pointAt(300, 428));
    const NavDecision motion = nav.activate();
    ASSERT_EQ(motion.kind, NavDecision::Kind::Menu);
    ASSERT_EQ(motion.menu.end, MenuPiece::End::Loop);
    ASSERT_TRUE(player.play(motion.menu));
    // The three-second piece comes round again instead of ending.
    double latest = 0;
    ASSERT_TRUE(player.session.waitUntil(
        [&] {
            latest = player.session.getDouble("time-pos").value_or(latest);
            return latest > 2.0;
        },
        15000));
    ASSERT_TRUE(player.session.waitUntil(
        [&] { return player.session.getDouble("time-pos").value_or(3) < 1.0; }, 15000));
    EXPECT_FALSE(player.session.getFlag("eof-reached").value_or(true));

    // An address of no piece fails like a missing file.
    std::int64_t entry = -1;
    ASSERT_GE(player.session.loadFile("kavelomenu://999", "", &entry), 0);
    EXPECT_TRUE(player.session.waitUntil([&] { return player.failures > 0; }, 5000));
}
