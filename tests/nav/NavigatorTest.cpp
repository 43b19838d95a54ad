#include "Navigator.h"

#include "FakeNavSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace kavelo;
using namespace kavelo::test;
using Kind = NavDecision::Kind;

namespace {

enum Chain { MainMenu, MotionMenu, Title1, Title2 };

// The shape of a typical authored disc: first-play to a still main menu with three buttons
// (title 1, title 2 chapter 3, a looping motion menu), titles calling the main menu at their end.
// The menu disc's program followed through its menus and titles, the pointer, the menu key,
// resuming, the bookmark and the highlight are the real discs' (NavigatorDiscTest,
// MenuEngineTest); here are the disc shapes no authoring tool makes.
std::unique_ptr<FakeNavSource> menuDisc() {
    auto disc = std::make_unique<FakeNavSource>();
    disc->firstPlay = FakeJump::to(MainMenu);

    FakeChain main;
    main.domain = NavDomain::DiscMenu;
    main.cells = {FakeCell{3, 255}};
    main.buttons = {FakeJump::to(Title1), FakeJump::to(Title2, 3), FakeJump::to(MotionMenu)};
    disc->chains.push_back(main);

    FakeChain motion;
    motion.domain = NavDomain::TitleSetMenu;
    motion.titleSet = 1;
    motion.cells = {FakeCell{6, 0, -1, 3.0}};
    motion.post = FakeJump::to(MotionMenu); // loops without a still
    motion.buttons = {FakeJump::to(Title1), FakeJump::to(MainMenu)};
    disc->chains.push_back(motion);

    FakeChain t1;
    t1.domain = NavDomain::Title;
    t1.titleSet = 1;
    t1.title = 1;
    t1.cells = {FakeCell{4, 0, -1, 3.0, 1}, FakeCell{4, 2, -1, 3.0, 2}}; // the last cell holds 2 s
    t1.post = FakeJump::to(MainMenu);
    disc->chains.push_back(t1);

    FakeChain t2;
    t2.domain = NavDomain::Title;
    t2.titleSet = 1;
    t2.pgc = 2;
    t2.title = 2;
    for (int c = 1; c <= 4; ++c)
        t2.cells.push_back(FakeCell{4, 0, -1, 2.0, c});
    t2.post = FakeJump::to(MainMenu);
    disc->chains.push_back(t2);
    return disc;
}

void expectMenu(const NavDecision& d, NavDomain domain, MenuPiece::End end, int packs) {
    ASSERT_EQ(d.kind, Kind::Menu) << d.reason;
    EXPECT_EQ(d.menu.domain, domain);
    EXPECT_EQ(d.menu.end, end);
    EXPECT_EQ(d.menu.data.size(), static_cast<std::size_t>(packs) * 2048);
    EXPECT_FALSE(d.menu.cut);
}

void expectTitle(const NavDecision& d, int title, int chapter, double start) {
    ASSERT_EQ(d.kind, Kind::Title) << d.reason;
    EXPECT_EQ(d.title.title, title);
    EXPECT_EQ(d.title.chapter, chapter);
    EXPECT_NEAR(d.title.start, start, 0.01);
}

NavLimits tightLimits() {
    NavLimits limits;
    limits.maxEvents = 20000;
    limits.budget = std::chrono::milliseconds(2000);
    return limits;
}

} // namespace

TEST(Navigator, PiecesThatEndByTimeOrByJumpGoOn) {
    auto disc = menuDisc();
    // An intro plays once and jumps to a menu whose picture holds 5 s, then the main menu.
    FakeChain intro;
    intro.domain = NavDomain::DiscMenu;
    intro.pgc = 2;
    intro.cells = {FakeCell{5}};
    intro.post = FakeJump::to(5);
    FakeChain timed;
    timed.domain = NavDomain::DiscMenu;
    timed.pgc = 3;
    timed.cells = {FakeCell{2, 5}};
    timed.post = FakeJump::to(MainMenu);
    disc->chains.push_back(intro); // 4
    disc->chains.push_back(timed); // 5
    disc->firstPlay = FakeJump::to(4);

    Navigator nav(std::move(disc));
    expectMenu(nav.start(), NavDomain::DiscMenu, MenuPiece::End::Continue, 5);
    const NavDecision held = nav.continueAfterPiece();
    expectMenu(held, NavDomain::DiscMenu, MenuPiece::End::Still, 2);
    EXPECT_EQ(held.menu.stillSeconds, 5);
    const NavDecision main = nav.continueAfterPiece();
    expectMenu(main, NavDomain::DiscMenu, MenuPiece::End::Still, 3);
    EXPECT_EQ(main.menu.stillSeconds, 255);
}

TEST(Navigator, BrokenDiscsEndInADecisionWithinBounds) {
    { // A menu whose file ends early: what was read is shown and held.
        auto disc = menuDisc();
        disc->chains[MainMenu].cells[0] = FakeCell{6, 255, 3};
        Navigator nav(std::move(disc), tightLimits());
        const NavDecision d = nav.start();
        ASSERT_EQ(d.kind, Kind::Menu);
        EXPECT_TRUE(d.menu.cut);
        EXPECT_EQ(d.menu.end, MenuPiece::End::Still);
        EXPECT_EQ(d.menu.data.size(), 3u * 2048);
    }
    { // A menu that cannot be read at all fails instead of showing nothing for ever.
        auto disc = menuDisc();
        disc->chains[MainMenu].cells[0] = FakeCell{6, 255, 0};
        Navigator nav(std::move(disc), tightLimits());
        EXPECT_EQ(nav.start().kind, Kind::Failed);
    }
    { // A button whose command leads nowhere leaves the menu as it is; the others still work.
        auto disc = menuDisc();
        disc->chains[MainMenu].buttons[0] = FakeJump::nowhere();
        Navigator nav(std::move(disc), tightLimits());
        ASSERT_EQ(nav.start().kind, Kind::Menu);
        EXPECT_EQ(nav.activate().kind, Kind::Stay);
        EXPECT_TRUE(nav.inMenu());
        EXPECT_TRUE(nav.move(NavDirection::Down));
        expectTitle(nav.activate(), 2, 3, 4.0);
    }
    { // A button jumping to a chain the disc lacks ends the program rather than hanging.
        auto disc = menuDisc();
        disc->chains[MainMenu].buttons[0] = FakeJump::to(42);
        Navigator nav(std::move(disc), tightLimits());
        ASSERT_EQ(nav.start().kind, Kind::Menu);
        EXPECT_EQ(nav.activate().kind, Kind::End);
    }
    { // Program chains with nothing to show that link to themselves or to each other.
        for (const int partner : {4, 5}) {
            auto disc = menuDisc();
            FakeChain a;
            a.domain = NavDomain::DiscMenu;
            a.pgc = 4;
            a.post = FakeJump::to(partner);
            FakeChain b = a;
            b.pgc = 5;
            b.post = FakeJump::to(4);
            disc->chains.push_back(a);
            disc->chains.push_back(b);
            disc->firstPlay = FakeJump::to(4);
            FakeNavSource* raw = disc.get();
            Navigator nav(std::move(disc), tightLimits());
            const auto began = std::chrono::steady_clock::now();
            EXPECT_EQ(nav.start().kind, Kind::Failed);
            EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
            EXPECT_LE(raw->reads, tightLimits().maxEvents + 1);
        }
    }
    { // A menu too large to hand over is cut and held.
        auto disc = menuDisc();
        disc->chains[MainMenu].cells[0] = FakeCell{100, 255};
        NavLimits limits = tightLimits();
        limits.maxPieceBytes = 10 * 2048;
        Navigator nav(std::move(disc), limits);
        const NavDecision d = nav.start();
        ASSERT_EQ(d.kind, Kind::Menu);
        EXPECT_TRUE(d.menu.cut);
        EXPECT_EQ(d.menu.data.size(), 10u * 2048);
    }
    { // The end of a title that cannot be reached is a failure, not a wait.
        auto disc = menuDisc();
        disc->firstPlay = FakeJump::to(Title1);
        disc->chains[Title1].cells.clear();
        disc->chains[Title1].post = FakeJump::to(Title1);
        Navigator nav(std::move(disc), tightLimits());
        EXPECT_EQ(nav.start().kind, Kind::Failed);
        EXPECT_EQ(nav.titleEnded().kind, Kind::Failed);
    }
}
