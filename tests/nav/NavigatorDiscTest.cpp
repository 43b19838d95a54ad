// The navigator on the disc service's machine, reading the authored menu disc, and the service
// failing under it. The menu key, resuming and the disc without menus are played through the
// whole engine in MenuEngineTest.
#include "LogCapture.h"
#include "Navigator.h"
#include "ServiceNavSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace kavelo;
using Kind = NavDecision::Kind;

namespace {

Navigator open(const char* place) {
    auto source = openServiceNavSource(place);
    EXPECT_TRUE(source);
    return Navigator(std::move(source));
}

void expectMainMenu(const NavDecision& d) {
    ASSERT_EQ(d.kind, Kind::Menu) << d.reason;
    EXPECT_EQ(d.menu.domain, NavDomain::DiscMenu);
    EXPECT_EQ(d.menu.end, MenuPiece::End::Still);
    EXPECT_EQ(d.menu.stillSeconds, 255);
    EXPECT_GT(d.menu.data.size(), 20u * 2048);
    EXPECT_EQ(d.menu.data.size() % 2048, 0u);
}

// Runs the service with the test hook's fault `rule` ("VERB:MODE") for one scope.
class Fault {
public:
    explicit Fault(const char* rule) { setenv("KAVELO_DVDNAV_FAULT", rule, 1); }
    ~Fault() { unsetenv("KAVELO_DVDNAV_FAULT"); }
    Fault(const Fault&) = delete;
    Fault& operator=(const Fault&) = delete;
};

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

// The menus and titles walked with the pointer and keys, the highlight and the title ends are
// MenuEngineTest's, in a window; here, what the window does not show.
TEST(NavigatorDisc, ButtonsWrapAMotionMenuLoopsAndTitlesHaveNoButtons) {
    Navigator nav = open(KAVELO_MENU_DVD);
    expectMainMenu(nav.start());
    ASSERT_EQ(nav.buttonCount(), 3);
    EXPECT_EQ(nav.selectedButton(), 1);
    EXPECT_TRUE(nav.move(NavDirection::Up)); // wraps to the last button
    EXPECT_EQ(nav.selectedButton(), 3);
    const NavDecision motion = nav.activate();
    ASSERT_EQ(motion.kind, Kind::Menu) << motion.reason;
    EXPECT_EQ(motion.menu.domain, NavDomain::TitleSetMenu);
    EXPECT_EQ(motion.menu.end, MenuPiece::End::Loop);
    EXPECT_EQ(nav.buttonCount(), 2);
    EXPECT_TRUE(nav.move(NavDirection::Down));
    expectMainMenu(nav.activate());

    nav.pointAt(300, 228); // over the first button, selected already or now
    const NavDecision t1 = nav.activate();
    ASSERT_EQ(t1.kind, Kind::Title) << t1.reason;
    EXPECT_EQ(t1.title.title, 1);
    EXPECT_FALSE(nav.inMenu());
    EXPECT_EQ(nav.buttonCount(), 0);
    expectMainMenu(nav.titleEnded());
}

TEST(NavigatorDisc, AServiceThatDiesHangsOrAnswersGarbageOnAButtonLosesOnlyTheProgram) {
    for (const char* rule : {"activate:crash", "activate:hang", "activate:garbage"}) {
        SCOPED_TRACE(rule);
        const Fault fault(rule);
        Navigator nav = open(KAVELO_MENU_DVD);
        expectMainMenu(nav.start());
        const test::LogCapture log;
        const auto start = std::chrono::steady_clock::now();
        const NavDecision d = nav.activate();
        EXPECT_LT(msSince(start), 1000);
        // A menu's registers cannot be rebuilt in a new service: the program is given up.
        EXPECT_EQ(d.kind, Kind::Failed);
        EXPECT_EQ(log.find(QStringLiteral("kavelo.nav"), QStringLiteral("disc service:"))
                      .filter(QStringLiteral("activate"))
                      .filter(QStringLiteral(KAVELO_MENU_DVD))
                      .size(),
                  1)
            << log.lines.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(NavigatorDisc, AMenuCallThatHangsIsLeftOutAndTheTitlePlaysOnInANewService) {
    const Fault fault("menu:hang");
    Navigator nav = open(KAVELO_MENU_DVD);
    expectMainMenu(nav.start());
    const NavDecision t1 = nav.activate();
    ASSERT_EQ(t1.kind, Kind::Title) << t1.reason;
    const test::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nav.openMenu(1.0).kind, Kind::Stay);
    EXPECT_LT(msSince(start), 2000);
    EXPECT_FALSE(
        log.find(QStringLiteral("kavelo.nav"), QStringLiteral("cannot be reached")).empty());
    // The menus that hung are not called again: the key answers at once.
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(nav.openMenu(2.0).kind, Kind::Stay);
    EXPECT_LT(msSince(again), 100);
    // The new service took the title up: its end still leads where the disc's program says.
    expectMainMenu(nav.titleEnded());
}
