// The main window as a user meets it: a real X server with openbox framing the window, real
// input through xdotool, and what the window manager reports read back with xwininfo and xprop.
#include "Dialogs.h"
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FrmPlay.h"
#include "Menus.h"
#include "MpvDvdEngine.h"
#include "Screenshots.h"
#include "Waiting.h"
#include "XWindows.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::FakeDvdEngine;
using test::waitUntil;
using test::xdotool;

ScreenMetrics screenOf(int w, int h) {
    ScreenMetrics m;
    m.pixels = QSize(w, h);
    return m;
}

std::string describe(const std::optional<test::XFrame>& f) {
    if (!f)
        return "not framed";
    const QRect o = f->outer();
    return QStringLiteral("outer %1,%2 %3x%4, frame %5 %6 %7 %8")
        .arg(o.x())
        .arg(o.y())
        .arg(o.width())
        .arg(o.height())
        .arg(f->frame.left())
        .arg(f->frame.top())
        .arg(f->frame.right())
        .arg(f->frame.bottom())
        .toStdString();
}

QString id(const QWidget* w) {
    return test::windowId(w->winId());
}

// Watches the pop-up menus from inside whatever event loop runs (a menu's own loop included):
// records each one that opens and lets the test act on it.
class PopUpWatch : public QObject {
public:
    std::function<void(QMenu*)> onOpen;
    QList<QMenu*> opened;            // in the order they opened
    QList<QList<QMenu*>> openAtOnce; // the menus visible together, each time one opened

    PopUpWatch() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look() {
        QList<QMenu*> visible;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible())
                visible << m;
        }
        for (QMenu* m : visible) {
            if (!m_visible.contains(m)) {
                opened << m;
                openAtOnce << visible;
                if (onOpen)
                    onOpen(m);
            }
        }
        m_visible = visible;
    }
    QTimer m_timer;
    QList<QMenu*> m_visible;
};

// Counts presses of one key anywhere in the program.
class KeySpy : public QObject {
public:
    explicit KeySpy(int key) : m_key(key) { qApp->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched->isWidgetType() && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == m_key)
            ++presses;
        return false;
    }

private:
    int m_key;
};

// How many pixels of the widget's area on the screen are not black.
int litPixels(const QWidget* widget) {
    return test::litPixels(test::grabOnScreen(widget), 40, 4);
}

class MainWindowUnderOpenbox : public ::testing::Test {
protected:
    std::unique_ptr<FrmPlay> open(ScreenMetrics metrics, bool realEngine = false) {
        FrmPlayServices s;
        s.dialogs = realEngine ? static_cast<IDialogs*>(&m_qtDialogs) : &m_dialogs;
        if (realEngine)
            s.makeEngine = makeMpvDvdEngine;
        else
            s.makeEngine = test::keepingLast(m_engine);
        s.screen = [metrics] { return metrics; };
        s.programFolder = QDir::currentPath(); // the build tree, with the default skin
        auto w = std::make_unique<FrmPlay>(std::move(s));
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        EXPECT_TRUE(waitUntil([&] { return test::measureFrame(w->winId()).has_value(); }, 10000));
        return w;
    }

    // A right click at a point of the screen, as the user makes it.
    static void rightClickAt(QPoint global) {
        xdotool({QStringLiteral("mousemove"), QString::number(global.x()),
                 QString::number(global.y()), QStringLiteral("click"), QStringLiteral("3")});
    }

    FakeDialogs m_dialogs;
    QtDialogs m_qtDialogs;
    FakeDvdEngine* m_engine = nullptr;
};

TEST_F(MainWindowUnderOpenbox, LayoutsCountTheFrameInAndTheWindowHasItsIconAndNoMinimiseBox) {
    // 800 × 600: the outer window, frame included, at 165, 50 twips and 11640 × 8400 twips.
    {
        auto w = open(screenOf(800, 600));
        ASSERT_TRUE(w->usesSmallLayout());
        std::optional<test::XFrame> f;
        EXPECT_TRUE(waitUntil(
            [&] {
                f = test::measureFrame(w->winId());
                return f && f->outer() == QRect(11, 3, 776, 560);
            },
            10000))
            << describe(f);
        ASSERT_TRUE(f);
        EXPECT_GT(f->frame.top(), 0); // really framed
        // The slider is as wide as the outer window.
        EXPECT_TRUE(waitUntil([&] { return w->sliMain->width() == f->outer().width(); }, 5000))
            << w->sliMain->width();
        // The buttons stand just above the status bar, and the last panel shows in full.
        const int buttonsBottom = w->picPlay->geometry().bottom();
        EXPECT_GT(w->staMain->y(), buttonsBottom);
        EXPECT_LT(w->staMain->y() - buttonsBottom, 30);
        EXPECT_LE(w->staMain->panel(4)->geometry().right(), w->staMain->width());
        test::saveScreen("main-800x600-layout.png");

        // The icon is the disc at 32 × 32 (and larger). The window asks for no minimise and no
        // maximise box (openbox keeps its minimise button whatever a window asks; the size is
        // fixed, so it offers no maximise).
        EXPECT_TRUE(test::xprop(w->winId(), "_NET_WM_ICON").contains(QStringLiteral("32 x 32")));
        const QStringList hints =
            test::xprop(w->winId(), "_MOTIF_WM_HINTS").split(QLatin1Char(','));
        ASSERT_GE(hints.size(), 2);
        const unsigned functions = hints[1].trimmed().toUInt(nullptr, 0);
        EXPECT_EQ(functions & (8u | 16u), 0u) << functions; // MWM minimise, maximise
        EXPECT_NE(functions & 32u, 0u) << functions;        // MWM close
        const QString actions = test::xprop(w->winId(), "_NET_WM_ALLOWED_ACTIONS");
        EXPECT_FALSE(actions.contains(QStringLiteral("MAXIMIZE"))) << actions.toStdString();
    }
    // Standard layout: the client area's top-left corner at 390, 795 twips on the screen.
    {
        auto w = open(screenOf(1024, 768));
        ASSERT_FALSE(w->usesSmallLayout());
        std::optional<test::XFrame> f;
        EXPECT_TRUE(waitUntil(
            [&] {
                f = test::measureFrame(w->winId());
                return f && f->client.topLeft() + w->centralWidget()->pos() == QPoint(26, 53);
            },
            10000))
            << describe(f);
        ASSERT_TRUE(f);
        EXPECT_TRUE(waitUntil([&] { return w->sliMain->width() == f->outer().width(); }, 5000))
            << w->sliMain->width();
        test::saveScreen("main-standard-layout.png");
    }
}

TEST_F(MainWindowUnderOpenbox, APopUpItemChosenWithTheRightButtonDoesNotReopenTheMenu) {
    auto w = open(screenOf(1024, 768));
    QMenu* popUp = w->menu(QString::fromLatin1(menu::kPopUp));
    QAction* mute = w->menuItem(QStringLiteral("mnuPopMuteOn"));
    PopUpWatch watch;
    watch.onOpen = [&](QMenu* m) {
        if (m != popUp || watch.opened.size() > 1)
            return;
        // Right-click the mute item inside the open menu.
        const QPoint item = m->mapToGlobal(m->actionGeometry(mute).center());
        rightClickAt(item);
    };
    rightClickAt(w->dvdMain->mapToGlobal(w->dvdMain->rect().center()));
    EXPECT_TRUE(waitUntil([&] { return mute->text() == QLatin1String(menu::kMuteOn); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return !popUp->isVisible(); }, 5000));
    // The right press inside the menu chose the item; it does not open the menu again.
    EXPECT_FALSE(waitUntil([&] { return watch.opened.size() > 1; }, 600));
    EXPECT_EQ(watch.opened.size(), 1);
}

TEST_F(MainWindowUnderOpenbox, TheTimeMenuOpensOnlyForPressesInFullScreenAndNeverOverAnother) {
    auto w = open(screenOf(1024, 768));
    QMenu* popUp = w->menu(QString::fromLatin1(menu::kPopUp));
    QMenu* timePopUp = w->menu(QString::fromLatin1(menu::kTimePopUp));
    PopUpWatch watch;
    watch.onOpen = [&](QMenu* m) {
        if (m == timePopUp)
            QTimer::singleShot(50, m, [m] { m->close(); });
    };

    // A space pressed in the window before full screen does not open the menu afterwards.
    KeySpy spaces(Qt::Key_Space);
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id(w.get()),
             QStringLiteral("key"), QStringLiteral("space")});
    ASSERT_TRUE(waitUntil([&] { return spaces.presses > 0; }, 5000));
    w->commands().dFullScreen();
    ASSERT_TRUE(w->timTimeMenu->isActive());
    EXPECT_FALSE(waitUntil([&] { return watch.opened.contains(timePopUp); }, 600));

    // A space pressed while the right-button menu is open does not open the time menu over it.
    watch.onOpen = [&](QMenu* m) {
        if (m == popUp) {
            xdotool({QStringLiteral("key"), QStringLiteral("space")});
            QTimer::singleShot(400, m, [m] { m->close(); });
        } else if (m == timePopUp) {
            QTimer::singleShot(50, m, [m] { m->close(); });
        }
    };
    rightClickAt(w->dvdMain->mapToGlobal(w->dvdMain->rect().center()));
    EXPECT_TRUE(waitUntil([&] { return watch.opened.contains(popUp); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return !popUp->isVisible() && !timePopUp->isVisible(); }, 10000));
    for (const QList<QMenu*>& together : watch.openAtOnce)
        EXPECT_LE(together.size(), 1);
}

TEST_F(MainWindowUnderOpenbox, FullScreenStaysOnTopAndEveryWayOutReturnsToTheWindow) {
    auto w = open(screenOf(1024, 768), true);
    IDvdEngine& engine = w->engine();
    const auto enter = [&]() -> QWidget* {
        w->commands().dFullScreen();
        QWidget* full = w->dvdMain->window();
        EXPECT_NE(full, w.get());
        EXPECT_TRUE(waitUntil(
            [&] {
                return QApplication::activeWindow() == full &&
                       test::stackedAbove(full->winId(), w->winId());
            },
            10000))
            << "active " << QApplication::activeWindow() << " full "
            << test::windowId(full->winId()).toStdString() << " main " << id(w.get()).toStdString()
            << " stacking "
            << test::output(QStringLiteral("xprop"),
                            {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")})
                   .value_or(QString())
                   .toStdString();
        return full;
    };
    const auto backInWindow = [&] {
        return waitUntil(
            [&] {
                return !engine.FullScreenMode() && w->dvdMain->window() == w.get() &&
                       !w->timTimeMenu->isActive();
            },
            10000);
    };

    // A message shown from full screen opens above the picture and leaves it on top.
    QWidget* full = enter();
    bool sawBox = false;
    bool boxAbove = false;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible() || !test::measureFrame(box->winId()))
            return;
        answer.stop();
        sawBox = true;
        boxAbove = waitUntil([&] { return test::stackedAbove(box->winId(), full->winId()); }, 5000);
        test::saveScreen("fullscreen-message.png");
        static_cast<QDialog*>(box)->accept();
    });
    answer.start();
    w->commands().dPause(); // nothing plays yet: "Please Insert DVD Rom."
    EXPECT_TRUE(sawBox);
    EXPECT_TRUE(boxAbove);
    EXPECT_TRUE(waitUntil([&] { return test::stackedAbove(full->winId(), w->winId()); }, 5000));
    EXPECT_TRUE(engine.FullScreenMode());
    test::saveScreen("fullscreen-after-message.png");

    // Esc leaves full screen; with no disc played yet the logo shows again, not the video.
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(backInWindow());
    EXPECT_TRUE(waitUntil([&] { return !test::viewable(full->winId()); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return litPixels(w->picLogo) > 1000; }, 5000))
        << litPixels(w->picLogo);
    test::saveScreen("fullscreen-left-with-escape.png");

    // So does a double click on the picture.
    full = enter();
    const QPoint middle = full->mapToGlobal(full->rect().center());
    xdotool({QStringLiteral("mousemove"), QString::number(middle.x()), QString::number(middle.y()),
             QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
             QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
    EXPECT_TRUE(backInWindow());

    // With a disc playing, the window manager's close (Alt+F4) returns the video to the window
    // and playback goes on.
    engine.SetDVDDirectory(QStringLiteral(KAVELO_TEST_DVD));
    w->commands().dPlay();
    ASSERT_TRUE(w->timTime->isActive());
    full = enter();
    xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    EXPECT_TRUE(backInWindow());
    const QString before = engine.CurrentTime();
    EXPECT_TRUE(waitUntil([&] { return engine.CurrentTime() != before; }, 5000));
    EXPECT_TRUE(w->timTime->isActive());
    test::saveScreen("fullscreen-closed-by-window-manager.png");
    // Closing the main window while the disc plays is ProgramLifetimeTest's, on the program.
}

} // namespace
} // namespace kavelo
