#include "PositionDisplay.h"

#include "DvdTimeText.h"
#include "FakeDvdEngine.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace kavelo {
namespace {

using test::FakeDvdEngine;

// The controls of the main window that the position display works on, without the window, over
// an engine whose reads fail. What a tick writes from a playing disc, and the slider dragged
// with the real mouse, are PositionEngineTest's; malformed time texts are DvdTimeTextTest's.
class PositionDisplayTest : public ::testing::Test {
protected:
    PositionDisplayTest() {
        client.setGeometry(120, 90, 400, 300);
        for (const char* c : {"Current Title", "Title", "Current Chapter", "Chapter",
                              "Current Time", "Time", "Total Time", "Total"})
            actions[QStringLiteral("mnuPopUp") + QString::fromLatin1(c).remove(' ')] =
                menu.addAction(QString::fromLatin1(c));
        engine.title = 3;
        engine.chapter = 12;
        engine.currentTime = QStringLiteral("01:23:45:12");
        engine.totalTime = QStringLiteral("02:05:30:00");
    }

    QAction* item(const QString& name) const { return actions.value(name); }
    QString caption(const char* name) const { return item(QString::fromLatin1(name))->text(); }
    QStringList panels() {
        QStringList texts;
        for (int i = 1; i <= 4; ++i)
            texts << sta.panelText(i);
        return texts;
    }
    void setPanels(const QString& text) {
        for (int i = 1; i <= 4; ++i)
            sta.setPanelText(i, text);
    }
    // Closes the time pop-up as soon as it opens, noting the captions and place it opened with.
    void closeMenuWhenShown() {
        QObject::connect(&menu, &QMenu::aboutToShow, &menu, [this] {
            ++menusShown;
            shownCaptions = QStringList{caption("mnuPopUpTitle"), caption("mnuPopUpChapter"),
                                        caption("mnuPopUpTime"), caption("mnuPopUpTotal")};
            QTimer::singleShot(0, &menu, [this] {
                shownAt = menu.geometry().topLeft();
                // A tick while the menu is open does nothing.
                const auto before = engine.calls.size();
                display.timTimeMenu_Timer();
                nestedTickReads = engine.calls.size() - before;
                menu.close();
            });
        });
    }

    FakeDvdEngine engine;
    PanelBar sta;
    SeekSlider sli;
    QTimer timTime;
    QTimer timTimeMenu;
    QWidget client;
    QMenu menu;
    QHash<QString, QAction*> actions;
    KeyStateLatch keys;
    PositionDisplay display =
        PositionDisplay(engine, &sta, &sli, &timTime, &timTimeMenu, &menu,
                        std::bind_front(&PositionDisplayTest::item, this), keys, &client);
    int menusShown = 0;
    QStringList shownCaptions;
    QPoint shownAt;
    qsizetype nestedTickReads = -1;
};

TEST_F(PositionDisplayTest, EachFailingReadEmptiesItsPanelOnly) {
    struct Case {
        const char* failing;
        QStringList panels;
        int max;
        int value;
    };
    const Case cases[] = {
        {"CurrentTime", {"Title: 3", "Chapter: 12", "", "Length: 02:05:30"}, 7530, 0},
        {"CurrentTitle", {"", "Chapter: 12", "Time: 01:23:45", "Length: 02:05:30"}, 7530, 5025},
        {"CurrentChapter", {"Title: 3", "", "Time: 01:23:45", "Length: 02:05:30"}, 7530, 5025},
        // The length sum fails without its seconds field and the maximum goes to 0.
        {"TotalTitleTime", {"Title: 3", "Chapter: 12", "Time: 01:23:45", ""}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        setPanels(QStringLiteral("old"));
        sli.setRange(0, 9000);
        sli.setValue(4000);
        engine.failing = {QString::fromLatin1(c.failing)};
        display.timTime_Timer();
        EXPECT_EQ(panels(), c.panels);
        EXPECT_EQ(sli.maximum(), c.max);
        EXPECT_EQ(sli.value(), c.value);
        EXPECT_EQ(engine.calls.size() % 10, 0); // every step still ran
    }
}

TEST_F(PositionDisplayTest, TimePopUpOpensOnlyInFullScreenAtClientCornerAndRefreshesCaptions) {
    closeMenuWhenShown();
    engine.fullScreen = true;
    keys.press(KeyStateLatch::VK_SPACE);
    keys.release(KeyStateLatch::VK_SPACE);
    display.timTimeMenu_Timer();
    // The first tick shows the design captions: nothing had written them yet.
    EXPECT_EQ(menusShown, 1);
    EXPECT_EQ(shownCaptions, (QStringList{"Title", "Chapter", "Time", "Total"}));
    EXPECT_EQ(shownAt, client.mapToGlobal(QPoint(0, 0)));
    EXPECT_EQ(nestedTickReads, 0);
    EXPECT_EQ(caption("mnuPopUpTitle"), QStringLiteral("3"));
    EXPECT_EQ(caption("mnuPopUpChapter"), QStringLiteral("12"));
    EXPECT_EQ(caption("mnuPopUpTime"), QStringLiteral("01:23:45:12"));
    EXPECT_EQ(caption("mnuPopUpTotal"), QStringLiteral("02:05:30:00"));
    EXPECT_EQ(caption("mnuPopUpCurrentTitle"), QStringLiteral("Current Title"));

    // Without the space bar the tick only refreshes; a failing read keeps its old caption.
    engine.calls.clear();
    engine.title = 4;
    engine.currentTime = QStringLiteral("01:23:46:00");
    engine.failing = {QStringLiteral("CurrentChapter")};
    display.timTimeMenu_Timer();
    EXPECT_EQ(menusShown, 1);
    EXPECT_EQ(engine.calls, (QStringList{"FullScreenMode", "CurrentTitle", "CurrentChapter",
                                         "CurrentTime", "TotalTitleTime"}));
    EXPECT_EQ(caption("mnuPopUpTitle"), QStringLiteral("4"));
    EXPECT_EQ(caption("mnuPopUpChapter"), QStringLiteral("12"));
    EXPECT_EQ(caption("mnuPopUpTime"), QStringLiteral("01:23:46:00"));

    // Full-screen mode that cannot be read counts as on.
    engine.failing = {QStringLiteral("FullScreenMode")};
    keys.press(KeyStateLatch::VK_SPACE);
    display.timTimeMenu_Timer();
    EXPECT_EQ(menusShown, 2);
    EXPECT_EQ(caption("mnuPopUpChapter"), QStringLiteral("12"));

    // In windowed mode the space bar opens nothing and the captions stay as they are.
    engine.calls.clear();
    engine.failing.clear();
    engine.fullScreen = false;
    engine.title = 5;
    keys.press(KeyStateLatch::VK_SPACE);
    display.timTimeMenu_Timer();
    EXPECT_EQ(menusShown, 2);
    EXPECT_EQ(engine.calls, QStringList{"FullScreenMode"});
    EXPECT_EQ(caption("mnuPopUpTitle"), QStringLiteral("4"));
    // The press was taken by that tick's query: turning full screen on later opens nothing.
    keys.release(KeyStateLatch::VK_SPACE);
    engine.fullScreen = true;
    display.timTimeMenu_Timer();
    EXPECT_EQ(menusShown, 2);
    EXPECT_EQ(caption("mnuPopUpTitle"), QStringLiteral("5"));
}

TEST_F(PositionDisplayTest, SliderStopsAndRestartsTheTickAndOnlyTheMouseSeeks) {
    struct Case {
        const char* failing;
        int maximum;
        int position;
        QStringList seeks;
    };
    const Case cases[] = {
        {"", 7530, 5025, {"PlayAtTime(01:23:45:00)"}},
        {"PlayAtTime", 7530, 5025, {}},
        {"", 400000, 360000, {}}, // past 99:59:59 nothing is sent
        {"", 400000, 359999, {"PlayAtTime(99:59:59:00)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        engine.calls.clear();
        engine.failing = {QString::fromLatin1(c.failing)};
        sli.setRange(0, c.maximum);
        timTime.start();
        emit sli.mouseDown();
        EXPECT_FALSE(timTime.isActive());
        sli.setValue(c.position);
        emit sli.mouseUp();
        EXPECT_TRUE(timTime.isActive());
        QStringList seeks = engine.calls.filter(QStringLiteral("PlayAtTime"));
        if (!engine.failing.contains(QStringLiteral("PlayAtTime")))
            EXPECT_EQ(seeks, c.seeks);
        else
            EXPECT_EQ(seeks.size(), 1);
    }
    // Mouse up starts the tick even when it was not running before.
    timTime.stop();
    display.sliMain_MouseUp();
    EXPECT_TRUE(timTime.isActive());

    // On the real widget the mouse seeks and the keyboard does not.
    engine.calls.clear();
    engine.failing.clear();
    sli.setGeometry(0, 0, 300, 24);
    sli.setRange(0, 7530);
    sli.setPageStep(5);
    sli.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sli));
    timTime.start();

    sli.setFocus();
    QTest::keyClick(&sli, Qt::Key_End);
    EXPECT_EQ(sli.value(), 7530);
    EXPECT_TRUE(timTime.isActive());
    EXPECT_EQ(engine.count(QStringLiteral("PlayAtTime")), 0);

    // Any button raises both handlers: the middle button also moves the handle, and the seek
    // follows it.
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
        SCOPED_TRACE(static_cast<int>(button));
        engine.calls.clear();
        const QPoint at(button == Qt::MiddleButton ? 60 : 150, 12);
        QTest::mousePress(&sli, button, {}, at);
        EXPECT_FALSE(timTime.isActive());
        QTest::mouseRelease(&sli, button, {}, at);
        EXPECT_TRUE(timTime.isActive());
        EXPECT_EQ(engine.calls.filter(QStringLiteral("PlayAtTime")),
                  QStringList{QStringLiteral("PlayAtTime(") + *seekText(sli.value()) + ")"});
    }
}

} // namespace
} // namespace kavelo
