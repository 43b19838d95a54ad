// The position display on the main window with the real engine playing the sample disc under
// Xvfb: the status bar follows playback, a mouse drag on the slider seeks, the space bar opens
// the time pop-up in full screen, and Stop leaves the status bar standing.
// Set KAVELO_SHOTS to a folder to keep screenshots of the window at each stage.
#include "DvdTimeText.h"
#include "EnginePeer.h"
#include "FrameCode.h"
#include "FrmPlay.h"
#include "MpvDvdEngine.h"
#include "PositionDisplay.h"
#include "Screenshots.h"
#include "Waiting.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QMenu>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace kavelo {
namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

// Where the slider's handle stands on the screen, for a value.
QPoint handleAt(SeekSlider* slider, int value) {
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = value;
    opt.sliderValue = value;
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    const QRect handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    return slider->mapToGlobal(handle.center());
}

QStringList panels(const FrmPlay& w) {
    QStringList texts;
    for (int i = 1; i <= 4; ++i)
        texts << w.staMain->panelText(i);
    return texts;
}

class PositionEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        FrmPlayServices s;
        s.makeEngine = [](QWidget* parent) { return makeMpvDvdEngine(parent); };
        s.programFolder = m_dir.path();
        m_window = std::make_unique<FrmPlay>(std::move(s));
        ASSERT_NE(m_window->findChild<PositionDisplay*>(), nullptr);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        if (m_window)
            m_window->engine().SetFullScreenMode(false);
    }

    // What the playback commands do around the engine when the user plays and stops.
    void play() {
        m_window->engine().SetDVDDirectory(kDisc);
        m_window->engine().Play();
        m_window->picLogo->hide();
        m_window->sliMain->setEnabled(true);
        m_window->timTime->start();
    }
    void stop() {
        m_window->engine().Stop();
        m_window->sliMain->setEnabled(false);
        m_window->timTime->stop();
    }
    int playingSecond() {
        try {
            return dvdTimeSeconds(m_window->engine().CurrentTime()).value_or(-1);
        } catch (const EngineError&) {
            return -1;
        }
    }

    QTemporaryDir m_dir;
    std::unique_ptr<FrmPlay> m_window;
};

TEST_F(PositionEngineTest, StatusBarFollowsPlaySliderSeeksAndStopHoldsIt) {
    FrmPlay& w = *m_window;
    EXPECT_EQ(w.staMain->font().family(), QStringLiteral("Arial Greek"));
    // Where no such family is installed, font matching falls back to one with Greek letters.
    EXPECT_TRUE(QFontMetrics(w.staMain->font()).inFont(QChar(0x03A9)));

    ASSERT_NO_THROW(play());
    // Two seconds of play, counted from the engine's own clock so that a slow start does not
    // matter, then one more tick.
    test::waitUntil([&] { return playingSecond() >= 2; }, 8000);
    EXPECT_TRUE(test::waitUntil(
        [&] { return dvdTimeSeconds(panels(w)[2].mid(6)).value_or(-1) >= 2; }, 5000));
    const QStringList shown = panels(w);
    const int now = playingSecond();
    const QString length = w.engine().TotalTitleTime().left(8);
    const int lengthSeconds = dvdTimeSeconds(length).value_or(-1);
    ASSERT_GT(lengthSeconds, 20);
    const int title = w.engine().CurrentTitle();
    EXPECT_EQ(shown[0], QStringLiteral("Title: ") + QString::number(w.engine().CurrentTitle()));
    EXPECT_EQ(shown[1], QStringLiteral("Chapter: 1"));
    const int shownSecond = dvdTimeSeconds(shown[2].mid(6)).value_or(-1);
    EXPECT_TRUE(shown[2].startsWith(QStringLiteral("Time: 00:00:0"))) << shown[2].toStdString();
    EXPECT_GE(shownSecond, 2);
    EXPECT_LE(shownSecond, now);
    EXPECT_GE(shownSecond, now - 1);
    EXPECT_EQ(shown[3], QStringLiteral("Length: ") + length);
    EXPECT_EQ(w.sliMain->maximum(), lengthSeconds);
    EXPECT_EQ(w.sliMain->value(), shownSecond);
    test::saveScreen("position-playing.png");

    // Drag the handle with the real mouse to about two thirds of the title and let go.
    int released = -1;
    QObject::connect(w.sliMain, &SeekSlider::mouseUp, w.sliMain,
                     [&] { released = w.sliMain->value(); });
    const QPoint from = handleAt(w.sliMain, w.sliMain->value());
    const QPoint to = handleAt(w.sliMain, lengthSeconds * 2 / 3);
    auto coords = [](QPoint p) {
        return QStringList{QString::number(p.x()), QString::number(p.y())};
    };
    ASSERT_TRUE(
        test::xdotool(QStringList{"mousemove"} + coords(from) + QStringList{"mousedown", "1"}));
    QTest::qWait(100);
    EXPECT_FALSE(w.timTime->isActive());
    ASSERT_TRUE(test::xdotool(QStringList{"mousemove"} + coords((from + to) / 2)));
    QTest::qWait(100);
    ASSERT_TRUE(test::xdotool(QStringList{"mousemove"} + coords(to)));
    QTest::qWait(100);
    test::saveScreen("position-dragging.png");
    ASSERT_TRUE(test::xdotool({"mouseup", "1"}));
    QTest::qWait(100);
    ASSERT_GT(released, lengthSeconds / 2);
    EXPECT_TRUE(w.timTime->isActive());

    // Playback lands at the released second and the display follows it.
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    test::waitUntil([&] { return w.sliMain->value() >= released; }, 4000);
    QTest::qWait(100);
    const int landed = playingSecond();
    const int allowance = 1 + static_cast<int>(sinceRelease.elapsed() / 1000);
    EXPECT_GE(landed, released);
    EXPECT_LE(landed, released + allowance);
    EXPECT_GE(w.sliMain->value(), released);
    EXPECT_LE(w.sliMain->value(), released + allowance);
    EXPECT_EQ(w.engine().CurrentTitle(), title);
    test::saveScreen("position-seeked.png");

    // After Stop the status bar and slider keep what the last tick wrote.
    stop();
    const QStringList stopped = panels(w);
    const int stoppedValue = w.sliMain->value();
    QTest::qWait(1200);
    EXPECT_EQ(panels(w), stopped);
    EXPECT_EQ(w.sliMain->value(), stoppedValue);
    EXPECT_EQ(stopped[2].left(6), QStringLiteral("Time: "));
}

// At each tick the status bar shows the engine's snapshot of that moment: never more than one
// tick behind the picture on screen (read from its frame code), playing and scanning.
TEST_F(PositionEngineTest, StatusBarKeepsUpWithThePictureEachTick) {
    FrmPlay& w = *m_window;
    auto* engine = dynamic_cast<MpvDvdEngine*>(&w.engine());
    ASSERT_NE(engine, nullptr);
    ASSERT_NO_THROW(play());
    ASSERT_NO_THROW(test::peer(engine).PlayTitle(2)); // the title with the frame code
    constexpr double kFps = 25;
    double speed = 1;
    int ticks = 0;
    int worst = -100;
    // Connected after the display's own slot: runs right after each tick has written.
    QObject::connect(w.timTime, &QTimer::timeout, w.timTime, [&] {
        const std::optional<test::FrameCode> code = test::readCode(test::peer(engine).picture());
        const int shown = dvdTimeSeconds(panels(w)[2].mid(6)).value_or(-1);
        if (!code || code->title != 2 || shown < 0)
            return;
        ++ticks;
        // Whole seconds, as the time text has them; a tick of a scan covers `speed` ticks.
        const int behind = static_cast<int>(code->frame / kFps) - shown;
        worst = std::max(worst, behind);
        EXPECT_LE(behind, static_cast<int>(1 + speed * 0.5))
            << "picture " << code->frame / kFps << " s, status bar " << shown << " s";
        EXPECT_EQ(panels(w)[0], QStringLiteral("Title: 2"));
    });
    EXPECT_TRUE(test::waitUntil([&] { return ticks >= 8; }, 15000));
    const int playing = ticks;
    speed = 16;
    w.engine().PlayForwards(16);
    EXPECT_TRUE(test::waitUntil([&] { return ticks >= playing + 4; }, 10000));
    RecordProperty("worst_seconds_behind", worst);
}

TEST_F(PositionEngineTest, SpaceOverFullScreenVideoOpensTimePopUpAtClientCorner) {
    FrmPlay& w = *m_window;
    ASSERT_NO_THROW(play());
    QTest::qWait(600);
    w.engine().SetFullScreenMode(true);
    w.timTimeMenu->start();
    QTest::qWait(500);

    QMenu* menu = w.menu(QStringLiteral("mnuTimePopUp"));
    ASSERT_NE(menu, nullptr);
    QPoint openedAt;
    QStringList captions;
    QObject::connect(menu, &QMenu::aboutToShow, menu, [&] {
        QTimer::singleShot(400, menu, [&] {
            openedAt = menu->geometry().topLeft();
            for (const char* name : {"mnuPopUpTitle", "mnuPopUpChapter", "mnuPopUpTime"})
                captions << w.menuItem(QString::fromLatin1(name))->text();
            test::saveScreen("position-timepopup.png");
            menu->close();
        });
    });
    ASSERT_TRUE(test::xdotool({"mousemove", "600", "500"}));
    ASSERT_TRUE(test::xdotool({"key", "space"}));
    test::waitUntil([&] { return !captions.isEmpty(); }, 5000);
    ASSERT_EQ(captions.size(), 3);
    EXPECT_EQ(openedAt, w.centralWidget()->mapToGlobal(QPoint(0, 0)));
    // Ticks before the key had already written the figures.
    EXPECT_EQ(captions[0], QString::number(w.engine().CurrentTitle()));
    EXPECT_EQ(captions[1], QStringLiteral("1"));
    EXPECT_EQ(captions[2].size(), 11);
    w.timTimeMenu->stop();
    w.engine().SetFullScreenMode(false);
}

} // namespace
} // namespace kavelo
