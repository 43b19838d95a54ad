// The DVD engine following the menu disc's own program in a real window under Xvfb: the menu
// shows, the pointer lights buttons, clicks and keys play titles, titles return to the menu,
// Ctrl+M calls the menu from a title and its resume button returns there.
#include "EnginePeer.h"
#include "EngineWindow.h"
#include "MpvDvdEngine.h"
#include "Screenshots.h"
#include "Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using kavelo::EngineError;
using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kMenuDisc = QStringLiteral(KAVELO_MENU_DVD);
const QString kSampleDisc = QStringLiteral(KAVELO_TEST_DVD);
const QString kLoopingDisc = QStringLiteral(KAVELO_LOOPING_DVD);
const QString kMenulessSetsDisc = QStringLiteral(KAVELO_MENULESS_SETS_DVD);
const QString kDeepLoopDisc = QStringLiteral(KAVELO_DEEP_LOOP_DVD);
const QString kFirstPlayDamageDisc = QStringLiteral(KAVELO_FIRST_PLAY_DAMAGE_DVD);
const QString kFilmDisc = QStringLiteral(KAVELO_FILM_DVD);

// The longest time the event loop went without running while it lives, in milliseconds.
class LoopWatch {
public:
    LoopWatch() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start(20);
    }
    qint64 longestGap() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// How many pixels of `rect` differ clearly between two pictures.
int changedPixels(const QImage& a, const QImage& b, const QRect& rect) {
    int changed = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                    std::abs(qBlue(p) - qBlue(q)) >
                60)
                ++changed;
        }
    }
    return changed;
}

class MenuEngineTest : public test::EngineWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kMenuDisc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO")));
        // The video area is wider than the 4:3 picture, which shows 768 x 576 in its middle
        // with bars of kBar pixels beside it: a pointer is placed by the picture, not the area.
        showEngine(QRect(0, 0, 768 + 2 * kBar, 576), QRect(0, 0, 768 + 2 * kBar, 576));
        if (!ready())
            return;
        takeMenuInput();
        m_window.activateWindow();
    }

    static constexpr int kBar = 66;
    // The screen point over the frame point (x, y) of a 720 x 576 frame shown 768 wide.
    QPoint onScreen(int x, int y) {
        return engine->widget()->mapToGlobal(QPoint(kBar + x * 768 / 720, y));
    }
    bool pointer(int x, int y, bool click) {
        const QPoint p = onScreen(x, y);
        QStringList args = {"mousemove", QString::number(p.x()), QString::number(p.y())};
        if (click)
            args << "click"
                 << "1";
        return test::xdotool(args);
    }
    bool key(const QString& name) { return test::xdotool({"key", name}); }
    bool inTitle(int title, int chapter) {
        return test::waitUntil(
            [&] {
                try {
                    return engine->CurrentTitle() == title && engine->CurrentChapter() == chapter;
                } catch (const EngineError&) {
                    return false;
                }
            },
            8000);
    }
    std::string where() {
        try {
            return "title " + std::to_string(engine->CurrentTitle()) + " chapter " +
                   std::to_string(engine->CurrentChapter()) + " at " +
                   std::to_string(kavelo::test::peer(engine).positionSeconds());
        } catch (const EngineError& e) {
            return e.what();
        }
    }
    bool inMenu(int ms = 8000) {
        return test::waitUntil([&] { return engine->CurrentTitle() == 0; }, ms);
    }
};

} // namespace

TEST_F(MenuEngineTest, MenusButtonsTitlesAndTheirEnds) {
    QWidget* video = engine->widget();
    engine->SetDVDDirectory(kMenuDisc);
    engine->Play();
    // The first-play program leads to the main menu: no title plays, title commands fail.
    EXPECT_EQ(engine->CurrentTitle(), 0);
    EXPECT_EQ(engine->CurrentChapter(), 0);
    EXPECT_EQ(engine->CurrentTime(), QStringLiteral("00:00:00:00"));
    EXPECT_THROW(engine->PlayChapter(1), EngineError);
    EXPECT_THROW(engine->PlayNextChapter(), EngineError);
    EXPECT_THROW(engine->Zoom(0, 0, 4.0), EngineError);
    QTest::qWait(600);

    // Hovering the second button lights it where the disc's highlight area says.
    ASSERT_TRUE(pointer(60, 328, false)); // over no button: just left of the second
    QTest::qWait(300);
    const QImage before = test::grabOnScreen(video);
    ASSERT_TRUE(pointer(300, 328, false));
    const QRect button2(kBar + 100 * 768 / 720, 300, 460 * 768 / 720, 57);
    int changed = 0;
    EXPECT_TRUE(test::waitUntil(
        [&] { return (changed = changedPixels(before, test::grabOnScreen(video), button2)) > 200; },
        3000))
        << changed << " pixels of the second button changed";
    if (changed <= 200)
        test::saveScreen("menu-hover.png");
    const QRect below(0, 470, 768 + 2 * kBar, 100); // under the buttons nothing changes
    EXPECT_LT(changedPixels(before, test::grabOnScreen(video), below), 50);

    // A click plays title 2 from chapter 3; its end returns to the menu.
    ASSERT_TRUE(pointer(300, 328, true));
    ASSERT_TRUE(inTitle(2, 3)) << where();
    EXPECT_NEAR(kavelo::test::peer(engine).positionSeconds(), 4.0, 0.8);
    ASSERT_TRUE(inMenu(10000))
        << where() << " eof "
        << kavelo::test::peer(engine).propertyText("eof-reached").toStdString() << " dur "
        << kavelo::test::peer(engine).propertyText("duration").toStdString();

    // Keys: down to the second button and Enter do the same.
    QTest::qWait(300);
    ASSERT_TRUE(pointer(700, 560, false));
    ASSERT_TRUE(key("Up")); // from wherever the menu starts: first button after two moves
    ASSERT_TRUE(key("Down"));
    QTest::qWait(200);
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(test::waitUntil([&] { return engine->CurrentTitle() != 0; }, 8000));
    const int title = engine->CurrentTitle();
    // Its end (after title 1's cell still) returns to the menu too.
    ASSERT_TRUE(inMenu(15000)) << where() << " of title " << title;

    // Stop then Play starts the program again: the menu.
    engine->Stop();
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 0);
}

TEST_F(MenuEngineTest, MenuKeyDuringATitleAndResume) {
    engine->SetDVDDirectory(kMenuDisc);
    engine->Play();
    ASSERT_EQ(engine->CurrentTitle(), 0);
    ASSERT_TRUE(pointer(300, 228, true)); // title 1
    ASSERT_TRUE(inTitle(1, 1)) << where();
    ASSERT_TRUE(
        test::waitUntil([&] { return kavelo::test::peer(engine).positionSeconds() > 1.5; }, 8000));
    const double left = kavelo::test::peer(engine).positionSeconds();
    ASSERT_TRUE(key("ctrl+m"));
    ASSERT_TRUE(inMenu(5000));
    // The root menu loops; its first button resumes the title where it left.
    QTest::qWait(500);
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(inTitle(1, 1)) << where();
    EXPECT_NEAR(kavelo::test::peer(engine).positionSeconds(), left, 1.0);
}

TEST_F(MenuEngineTest, BookmarkFromAMenuAndAcrossTitlesKeepsTheDiscsProgram) {
    engine->SetDVDDirectory(kMenuDisc);
    engine->Play();
    ASSERT_EQ(engine->CurrentTitle(), 0);
    ASSERT_TRUE(pointer(300, 328, true)); // title 2 from chapter 3
    ASSERT_TRUE(inTitle(2, 3)) << where();
    ASSERT_TRUE(
        test::waitUntil([&] { return kavelo::test::peer(engine).positionSeconds() > 4.6; }, 8000));
    engine->DeleteBookmark();
    engine->SaveBookmark();
    const double saved = kavelo::test::peer(engine).positionSeconds();

    // From the disc's menu: the bookmark's title and time, its sound stream, no subtitles.
    ASSERT_TRUE(key("ctrl+m"));
    ASSERT_TRUE(inMenu(5000)) << where();
    EXPECT_THROW(engine->SaveBookmark(), EngineError); // a menu is no place to keep
    engine->RestoreBookmark();
    EXPECT_EQ(engine->CurrentTitle(), 2);
    EXPECT_EQ(engine->CurrentChapter(), 3);
    EXPECT_NEAR(kavelo::test::peer(engine).positionSeconds(), saved, 0.5);
    EXPECT_EQ(kavelo::test::peer(engine).propertyText("aid"), QStringLiteral("1"));
    EXPECT_EQ(kavelo::test::peer(engine).propertyText("sid"), QStringLiteral("no"));
    // The disc's program came along: the title's end returns to the main menu.
    ASSERT_TRUE(inMenu(10000)) << where();

    // From another title.
    QTest::qWait(300);
    ASSERT_TRUE(pointer(300, 228, true)); // title 1
    ASSERT_TRUE(inTitle(1, 1)) << where();
    engine->RestoreBookmark();
    EXPECT_EQ(engine->CurrentTitle(), 2);
    EXPECT_NEAR(kavelo::test::peer(engine).positionSeconds(), saved, 0.5);
    ASSERT_TRUE(inMenu(10000)) << where();
}

TEST_F(MenuEngineTest, DiscWithoutMenusPlaysItsFirstTitleABrokenProgramItsLongest) {
    engine->SetDVDDirectory(kSampleDisc);
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 1);
    ASSERT_TRUE(key("ctrl+m")); // no menu to call: nothing changes
    QTest::qWait(300);
    EXPECT_EQ(engine->CurrentTitle(), 1);

    // A menu button that sends the disc's machine round for ever: the window answers within a
    // second, and the disc plays on without its program (its longest title).
    engine->SetDVDDirectory(kLoopingDisc);
    engine->Play();
    ASSERT_EQ(engine->CurrentTitle(), 0);
    QTest::qWait(300);
    const LoopWatch watch;
    ASSERT_TRUE(pointer(300, 328, true));
    ASSERT_TRUE(test::waitUntil([&] { return engine->CurrentTitle() == 2; }, 5000)) << where();
    EXPECT_LT(watch.longestGap(), 1000);
    EXPECT_EQ(engine->TotalTitleTime(), QStringLiteral("00:00:03:00"));
}

TEST_F(MenuEngineTest, DiscsOfOtherMakesPlayAndBrokenOnesLeaveTheWindowAnswering) {
    // Title sets without menus of their own: the main menu shows, its buttons play the titles,
    // and the menu key in a title (whose own menu call finds none) answers at once.
    engine->SetDVDDirectory(kMenulessSetsDisc);
    engine->Play();
    ASSERT_EQ(engine->CurrentTitle(), 0);
    QTest::qWait(300);
    ASSERT_TRUE(pointer(300, 328, true)); // title 2
    ASSERT_TRUE(inTitle(2, 1)) << where();
    {
        const LoopWatch watch;
        ASSERT_TRUE(key("ctrl+m"));
        ASSERT_TRUE(inMenu(5000)) << where(); // the disc's title menu, its main menu
        EXPECT_LT(watch.longestGap(), 1000);
    }
    QTest::qWait(300);
    ASSERT_TRUE(pointer(300, 228, true)); // title 1
    ASSERT_TRUE(inTitle(1, 1)) << where();

    // A looping button one menu deep: the window answers within a second, the disc plays on.
    engine->Stop();
    engine->SetDVDDirectory(kDeepLoopDisc);
    engine->Play();
    ASSERT_EQ(engine->CurrentTitle(), 0);
    QTest::qWait(300);
    const QByteArray mainMenu = kavelo::test::peer(engine).propertyText("path").toUtf8();
    ASSERT_TRUE(pointer(300, 328, true)); // menu 2
    ASSERT_TRUE(test::waitUntil(
        [&] { return kavelo::test::peer(engine).propertyText("path").toUtf8() != mainMenu; },
        5000));
    QTest::qWait(300);
    {
        const LoopWatch watch;
        ASSERT_TRUE(pointer(300, 228, true)); // the looping button
        ASSERT_TRUE(test::waitUntil([&] { return engine->CurrentTitle() != 0; }, 5000)) << where();
        EXPECT_LT(watch.longestGap(), 1000);
    }

    // A first-play program that crashes the disc's machine: Kavelo lives, and either plays the
    // disc without its program or refuses it with the usual error.
    engine->Stop();
    engine->SetDVDDirectory(kFirstPlayDamageDisc);
    try {
        engine->Play();
        EXPECT_GE(engine->CurrentTitle(), 1);
    } catch (const EngineError& e) {
        qDebug() << "refused:" << e.what();
    }
    engine->Stop();
    engine->SetDVDDirectory(kSampleDisc);
    engine->Play();
    EXPECT_EQ(engine->CurrentTitle(), 1);
}

TEST_F(MenuEngineTest, FilmDiscResumesFromItsMenusAndTheBookmarkKeepsTheDiscsChoices) {
    const auto state = [&] { return kavelo::test::peer(engine).state(); };
    const auto position = [&] { return kavelo::test::peer(engine).positionSeconds(); };
    const auto aid = [&] { return kavelo::test::peer(engine).propertyText("aid"); };
    const auto menuShows = [&] {
        return test::waitUntil([&] { return state() == kavelo::EngineState::Menu; }, 8000);
    };
    // Button N of the film disc's menus, as the pointer clicks it.
    const auto press = [&](int button) {
        QTest::qWait(200);
        return pointer(360, 50 + 72 * button, true);
    };
    engine->SetDVDDirectory(kFilmDisc);
    engine->Play();
    ASSERT_TRUE(menuShows()) << where(); // after the warning title
    // Languages: the second sound stream; back to the main menu; Play.
    ASSERT_TRUE(press(3));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(2));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(6));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(1));
    ASSERT_TRUE(inTitle(1, 1)) << where();
    EXPECT_EQ(aid(), QStringLiteral("2"));

    engine->PlayNextChapter();
    ASSERT_TRUE(test::waitUntil([&] { return position() > 16.0; }, 8000)) << where();
    engine->DeleteBookmark();
    engine->SaveBookmark();
    const double saved = position();

    // The menu key, then each way back: Escape, Resume, the menu key again, Play.
    const std::function<void()> ways[] = {
        [&] { ASSERT_TRUE(key("Escape")); },
        [&] { engine->Resume(); },
        [&] { ASSERT_TRUE(key("ctrl+m")); },
        [&] { engine->Play(); },
    };
    for (const auto& back : ways) {
        const double left = position();
        ASSERT_TRUE(key("ctrl+m"));
        ASSERT_TRUE(menuShows()) << where();
        QTest::qWait(300);
        back();
        ASSERT_TRUE(inTitle(1, 2)) << where();
        EXPECT_NEAR(position(), left, 1.0);
        EXPECT_EQ(aid(), QStringLiteral("2"));
    }

    // The first sound stream chosen in the menu; the bookmark brings back the second, and with
    // it the disc's own choice: the film played again from the menu keeps it.
    ASSERT_TRUE(key("ctrl+m"));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(3));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(1));
    ASSERT_TRUE(menuShows());
    engine->RestoreBookmark();
    ASSERT_TRUE(inTitle(1, 2)) << where();
    EXPECT_NEAR(position(), saved, 0.5);
    EXPECT_EQ(aid(), QStringLiteral("2"));
    ASSERT_TRUE(key("ctrl+m"));
    ASSERT_TRUE(menuShows());
    ASSERT_TRUE(press(1));
    ASSERT_TRUE(inTitle(1, 1)) << where();
    EXPECT_EQ(aid(), QStringLiteral("2"));
}
