#include "PlaybackCommands.h"

#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "KeyState.h"
#include "LogCapture.h"
#include "Menus.h"
#include "PlayerMenus.h"
#include "UserNumber.h"

#include <QAction>
#include <QLocale>
#include <QMenu>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::FakeDvdEngine;

TEST(UserNumber, ReadsLikeTheDesktopLocale) {
    QLocale::setDefault(QLocale::c());
    // Halves go to the even neighbour.
    const std::pair<const char*, int> good[] = {
        {"  3  ", 3}, {"3.0", 3}, {"2.5", 2},       {"3.5", 4},         {"-2.5", -2},
        {"0", 0},     {"-1", -1}, {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767}};
    for (const auto& [text, value] : good)
        EXPECT_EQ(userNumber16(QString::fromLatin1(text)), value) << text;
    for (const char* bad : {"", "   ", "40000", "32767.5", "-32769", "abc", "3a", "1e400", "nan",
                            "inf", "--1", "\x01"})
        EXPECT_EQ(userNumber16(QString::fromLatin1(bad)), std::nullopt) << bad;
    EXPECT_EQ(userNumber32(QStringLiteral("40000")), 40000);
    EXPECT_EQ(userNumber32(QStringLiteral("1.5")), 2);
    EXPECT_EQ(userNumber32(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(userNumber32(QStringLiteral("2147483648")), std::nullopt);
    EXPECT_EQ(userNumber32(QString(100000, QLatin1Char('9'))), std::nullopt);

    // The user's own separators: in German "2,5" is two and a half, "1.000" one thousand.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(userNumber16(QStringLiteral("2,5")), 2);
    EXPECT_EQ(userNumber16(QStringLiteral("3,5")), 4);
    EXPECT_EQ(userNumber32(QStringLiteral("1.000")), 1000);
    QLocale::setDefault(QLocale::c());
}

// The main window's parts that the commands touch, as real widgets.
struct Player {
    QWidget window;
    QWidget logo{&window};
    QWidget slider{&window};
    QTimer timTime;
    QTimer timTimeMenu;
    QAction mute{QString::fromLatin1(menu::kMuteOff)};
    FakeDvdEngine engine;
    FakeDialogs dialogs;
    PlaybackCommands commands{
        PlayerControls{&engine, &logo, &slider, &timTime, &timTimeMenu, &mute, &window, &dialogs}};

    Player() { window.move(200, 150); }
};

TEST(PlaybackCommands, PlayHidesTheLogoFirstStartsTheDisplayAndFailuresLeaveTheRest) {
    Player p;
    p.commands.dPlay();
    EXPECT_EQ(p.engine.calls, QStringList{"Play"});
    EXPECT_TRUE(p.logo.isHidden());
    EXPECT_TRUE(p.slider.isEnabled());
    EXPECT_TRUE(p.timTime.isActive());
    EXPECT_TRUE(p.dialogs.messages.isEmpty());

    // Stop, then play again.
    p.commands.dStop();
    EXPECT_FALSE(p.slider.isEnabled());
    EXPECT_FALSE(p.timTime.isActive());
    p.commands.dPlay();
    EXPECT_TRUE(p.slider.isEnabled());
    EXPECT_TRUE(p.timTime.isActive());

    // A failed play or stop leaves the rest as it was.
    Player f;
    f.engine.failing = {"Play"};
    f.commands.dPlay();
    EXPECT_EQ(f.dialogs.messages, QStringList{"Please Insert DVD Rom."});
    EXPECT_TRUE(f.logo.isHidden());    // hidden first all the same
    EXPECT_TRUE(f.slider.isEnabled()); // enabled at start, and untouched
    EXPECT_FALSE(f.timTime.isActive());
    f.engine.failing = {"Stop"};
    f.commands.dPlay();
    f.commands.dStop();
    EXPECT_EQ(f.dialogs.messages.size(), 2);
    EXPECT_TRUE(f.slider.isEnabled());
    EXPECT_TRUE(f.timTime.isActive());
}

TEST(PlaybackCommands, EachCommandReportsItsOwnWay) {
    struct Case {
        void (PlaybackCommands::*command)() noexcept;
        const char* operation;
        QStringList messages;
    };
    const QStringList insert{"Please Insert DVD Rom."};
    const Case cases[] = {{&PlaybackCommands::dPause, "Pause", insert},
                          {&PlaybackCommands::dPreviousChapter, "PlayPrevChapter", insert},
                          {&PlaybackCommands::dNextChapter, "PlayNextChapter", insert},
                          {&PlaybackCommands::dResume, "Resume", {}},
                          {&PlaybackCommands::dRestoreBookmark, "RestoreBookmark", {}},
                          {&PlaybackCommands::zoom4x, "Zoom", {}},
                          {&PlaybackCommands::zoomOff, "Zoom", {}},
                          {&PlaybackCommands::fastForwards, "PlayForwards", {}},
                          {&PlaybackCommands::fastBackwards, "PlayBackwards", {}}};
    for (const Case& c : cases) {
        Player ok;
        (ok.commands.*c.command)();
        EXPECT_EQ(ok.engine.count(QString::fromLatin1(c.operation)), 1) << c.operation;
        EXPECT_TRUE(ok.dialogs.messages.isEmpty()) << c.operation;

        Player refused;
        refused.engine.failing = {QString::fromLatin1(c.operation)};
        test::LogCapture log;
        (refused.commands.*c.command)();
        EXPECT_EQ(refused.dialogs.messages, c.messages) << c.operation;
        EXPECT_FALSE(refused.timTime.isActive());
        // Silent or not, the refusal and its reason leave a debug line.
        EXPECT_EQ(log.find(QStringLiteral("kavelo.dvd"), QStringLiteral("PlaybackCommands")).size(),
                  1)
            << c.operation << log.lines.join(QLatin1Char('\n')).toStdString();
    }
    // The arguments (zoom 4 and 0, speed 16) are checked through the window's own items.
}

TEST(PlaybackCommands, ChapterAnswers) {
    // The answer, and the chapter played (empty: none, and "Chapter Not Found"); the answer
    // reads as any number the user types.
    const std::pair<std::optional<QString>, const char*> cases[] = {
        {" 3 ", "3"}, {"2.5", "2"}, {"-1", "-1"}, {"40000", ""}, {"two", ""}, {std::nullopt, ""}};
    for (const auto& [answer, chapter] : cases) {
        SCOPED_TRACE(answer.value_or("<cancel>").toStdString());
        Player p;
        p.dialogs.inputAnswers.push_back(answer);
        p.commands.dSelectChapter();
        EXPECT_EQ(p.dialogs.prompts, QStringList{"Chapter Select|Which Chapter?"});
        const bool plays = *chapter != '\0';
        EXPECT_EQ(p.engine.calls, plays
                                      ? QStringList{QStringLiteral("PlayChapter(%1)").arg(chapter)}
                                      : QStringList());
        EXPECT_EQ(p.dialogs.messages, plays ? QStringList() : QStringList{"Chapter Not Found"});
    }
    Player refused;
    refused.engine.failing = {"PlayChapter"};
    refused.dialogs.inputAnswers.push_back(QStringLiteral("9"));
    refused.commands.dSelectChapter();
    EXPECT_EQ(refused.dialogs.messages, QStringList{"Chapter Not Found"});
}

TEST(PlaybackCommands, MuteStateLivesInTheCaptionAndBookmarkIsDeletedThenSaved) {
    Player p;
    p.commands.dMuteOnOff();
    EXPECT_EQ(p.mute.text(), QStringLiteral("Mute On"));
    p.commands.dMuteOnOff();
    EXPECT_EQ(p.mute.text(), QStringLiteral("Mute Off"));
    EXPECT_EQ(p.engine.calls, (QStringList{"SetMute(true)", "SetMute(false)"}));

    // A refusal changes nothing and says nothing.
    p.engine.failing = {"SetMute"};
    p.commands.dMuteOnOff();
    EXPECT_EQ(p.mute.text(), QStringLiteral("Mute Off"));
    EXPECT_TRUE(p.dialogs.messages.isEmpty());

    // Any other caption: nothing at all.
    p.engine.failing.clear();
    p.mute.setText(QStringLiteral("mute off"));
    p.commands.dMuteOnOff();
    EXPECT_EQ(p.engine.count(QStringLiteral("SetMute")), 3);

    // A bookmark is deleted, then saved.
    p.engine.calls.clear();
    p.commands.dSaveBookmark();
    EXPECT_EQ(p.engine.calls, (QStringList{"DeleteBookmark", "SaveBookmark"}));
    Player refused;
    refused.engine.failing = {"DeleteBookmark"};
    refused.commands.dSaveBookmark();
    EXPECT_EQ(refused.engine.calls, QStringList{"DeleteBookmark"});
    EXPECT_EQ(refused.dialogs.messages, QStringList{"Please Wait"});
}

TEST(PlaybackCommands, FullScreenAttemptsEveryStep) {
    for (bool refuse : {false, true}) {
        Player p;
        if (refuse)
            p.engine.failing = {"SetFullScreenMode"};
        p.commands.dFullScreen();
        EXPECT_EQ(p.window.pos(), QPoint(0, 0));
        EXPECT_TRUE(p.timTimeMenu.isActive());
        EXPECT_TRUE(p.dialogs.messages.isEmpty());
        EXPECT_EQ(p.engine.fullScreen, !refuse);

        p.commands.exitFullScreen();
        EXPECT_FALSE(p.timTimeMenu.isActive());
        EXPECT_FALSE(p.engine.fullScreen);
        EXPECT_EQ(p.window.pos(), QPoint(0, 0)); // nothing moves the window back
        EXPECT_TRUE(p.dialogs.messages.isEmpty());
    }
}

TEST(PopUpTrigger, OpensOnTheFirstTickAfterARightPressAndNeverTwice) {
    QTimer timMenu;
    QMenu menu;
    KeyStateLatch keys;
    PopUpTrigger trigger(&timMenu, &menu, keys);
    int shown = 0;
    trigger.setShowMenu([&](QMenu* m, QPoint) {
        EXPECT_EQ(m, &menu);
        ++shown;
        // Timers keep ticking while a menu is open: a second press must not open another.
        keys.press(KeyStateLatch::VK_RBUTTON);
        trigger.timMenu_Timer();
    });

    trigger.timMenu_Timer();
    EXPECT_EQ(shown, 0);
    keys.press(KeyStateLatch::VK_RBUTTON);
    keys.release(KeyStateLatch::VK_RBUTTON);
    trigger.timMenu_Timer(); // pressed since the last query
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(trigger.menuOpen());
    // The press made while the menu was open waits for the next tick.
    keys.release(KeyStateLatch::VK_RBUTTON);
    trigger.timMenu_Timer();
    EXPECT_EQ(shown, 2);
    keys.release(KeyStateLatch::VK_RBUTTON);
    trigger.setShowMenu([&](QMenu*, QPoint) { ++shown; });
    trigger.timMenu_Timer();
    trigger.timMenu_Timer();
    EXPECT_EQ(shown, 3); // the held-then-released press was consumed once
}

} // namespace
} // namespace kavelo
