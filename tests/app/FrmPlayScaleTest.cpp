// The main window at a scale factor of 2 on a 1920 x 1080 screen under openbox: the standard
// window would run past the screen's bottom, so the small one stands in, its title bar and
// buttons on the screen.
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FrmPlay.h"
#include "Screenshots.h"
#include "Waiting.h"
#include "XWindows.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

TEST(MainWindowScaledTwice, TheSmallLayoutStandsInWithTheTitleBarAndButtonsOnTheScreen) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->size(), QSize(960, 540)); // 1920 x 1080 / 2
    test::FakeDialogs dialogs;
    test::FakeDvdEngine* engine = nullptr;
    FrmPlayServices s;
    s.dialogs = &dialogs;
    s.makeEngine = test::keepingLast(engine);
    s.programFolder = QStringLiteral("/nonexistent");
    FrmPlay w(std::move(s));
    w.show();
    ASSERT_TRUE(w.usesSmallLayout());

    // Device pixels, as the X server and the window manager count them.
    std::optional<test::XFrame> f;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            f = test::measureFrame(w.winId());
            return f && f->frame.top() > 0 && f->outer().top() == 0;
        },
        10000));
    const QRect screen(0, 0, 1920, 1080);
    const QRect outer = f->outer();
    EXPECT_TRUE(screen.contains(QRect(outer.topLeft(), QSize(outer.width(), f->frame.top()))))
        << "title bar at " << outer.x() << "," << outer.y();
    for (const PictureBox* b : w.pictureButtons()) {
        const QRect onScreen(b->mapToGlobal(QPoint(0, 0)) * 2, b->size() * 2);
        EXPECT_TRUE(screen.contains(onScreen))
            << b->objectName().toStdString() << " at " << onScreen.y();
    }
    EXPECT_TRUE(screen.contains(
        QRect(w.menuBar()->mapToGlobal(QPoint(0, 0)) * 2, w.menuBar()->size() * 2)));
    test::saveScreen("main-scale2-1920x1080.png");
}

} // namespace
} // namespace kavelo
