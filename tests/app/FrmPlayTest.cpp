#include "FrmPlay.h"

#include "DragDrop.h"
#include "EnginePeer.h"
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "KaveloApp.h"
#include "Layout.h"
#include "LogCapture.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::FakeDvdEngine;

ScreenMetrics screen(int w, int h, double dpi = 96) {
    ScreenMetrics m;
    m.pixels = QSize(w, h);
    m.dpi = dpi;
    return m;
}

class FrmPlayTest : public ::testing::Test {
protected:
    std::unique_ptr<FrmPlay> open(ScreenMetrics metrics, const QString& folder = QString()) {
        FrmPlayServices s;
        s.dialogs = &m_dialogs;
        s.makeEngine = test::keepingLast(m_engine);
        s.screen = [metrics] { return metrics; };
        s.programFolder = folder.isNull() ? m_dir.path() + QStringLiteral("/none") : folder;
        return std::make_unique<FrmPlay>(std::move(s));
    }

    void writeSkinFile(const char* name, const QByteArray& bytes) {
        QDir(m_dir.path()).mkpath(QStringLiteral("skin"));
        ASSERT_TRUE(test::writeFile(m_dir.filePath(QStringLiteral("skin/") + name), bytes));
    }
    void writePicture(const char* name, QSize size) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::white);
        QDir(m_dir.path()).mkpath(QStringLiteral("skin"));
        ASSERT_TRUE(img.save(m_dir.filePath(QStringLiteral("skin/") + name), "JPG"));
    }

    QTemporaryDir m_dir;
    FakeDialogs m_dialogs;
    FakeDvdEngine* m_engine = nullptr;
};

TEST_F(FrmPlayTest, StandardLayoutMenusAndStartState) {
    auto w = open(screen(1024, 768));
    EXPECT_FALSE(w->usesSmallLayout());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kavelo"));
    EXPECT_TRUE(w->logoPath().endsWith(QStringLiteral("/skin/logo1.jpg")));
    // The controls' places are the layout table's; the window on the screen is checked under
    // openbox (FrmPlayWindowTest).
    EXPECT_EQ(w->minimumSize(), w->maximumSize()); // not resizable

    // Stacking order, bottom to top, and every control visible and enabled.
    const QList<QWidget*> expected = {w->dvdMain, w->staMain,   w->sliMain, w->picLogo,
                                      w->picPlay, w->picPause,  w->picStop, w->picPrevious,
                                      w->picNext, w->picRewind, w->picFast, w->picFullScreen};
    QList<QWidget*> actual;
    for (QObject* o : w->centralWidget()->children()) {
        if (auto* c = qobject_cast<QWidget*>(o))
            actual << c;
    }
    EXPECT_EQ(actual, expected);
    for (QWidget* c : expected) {
        EXPECT_TRUE(c->isVisibleTo(w.get())) << c->objectName().toStdString();
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    }
    // Only the pop-up timer runs at start.
    EXPECT_TRUE(w->timMenu->isActive());
    EXPECT_FALSE(w->timTime->isActive() || w->timTimeMenu->isActive());

    // Nothing plays at start: the engine was only given its colour, if any.
    EXPECT_EQ(m_engine->count(QStringLiteral("Play")), 0);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());

    // The menu bar shows three menus; the pop-up menus stay hidden.
    QStringList bar;
    for (QAction* a : w->menuBar()->actions()) {
        if (a->isVisible())
            bar << a->text();
    }
    EXPECT_EQ(bar, (QStringList{"&File", "&Edit", "&Help"}));
    EXPECT_FALSE(w->menuItem(QStringLiteral("mnuPopUp"))->isVisible());
    EXPECT_FALSE(w->menuItem(QStringLiteral("mnuTimePopUp"))->isVisible());
}

TEST_F(FrmPlayTest, SmallLayoutOnlyOn800x600At96Dpi) {
    auto small = open(screen(800, 600, 96));
    EXPECT_TRUE(small->usesSmallLayout());
    EXPECT_TRUE(small->logoPath().endsWith(QStringLiteral("/skin/logo2.jpg")));

    for (ScreenMetrics other :
         {screen(800, 600, 120), screen(640, 480), screen(1920, 1080), screen(800, 601)}) {
        auto w = open(other);
        EXPECT_FALSE(w->usesSmallLayout());
        EXPECT_TRUE(w->logoPath().endsWith(QStringLiteral("/skin/logo1.jpg")));
    }
    // The resolution check compares twips exactly.
    EXPECT_TRUE(small->CheckRez(800, 600));
    EXPECT_FALSE(small->CheckRez(600, 800) || small->CheckRez(800, 599));
    EXPECT_THROW(small->CheckRez(200'000'000, 600), std::overflow_error);
}

TEST_F(FrmPlayTest, SkinSetsColoursAndPicturesAtTheirOwnSize) {
    writeSkinFile("color1.txt", "1 9\r\n");  // light blue window
    writeSkinFile("color2.txt", "2 12\r\n"); // light red video area
    writePicture("logo1.jpg", QSize(100, 50));
    writePicture("play.jpg", QSize(80, 40));  // larger than its box
    writePicture("pause.jpg", QSize(20, 10)); // smaller
    writeSkinFile("stop.jpg", "not a picture");

    auto w = open(screen(1024, 768), m_dir.path());
    EXPECT_EQ(w->centralWidget()->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_EQ(m_engine->backColor, 0x0000FFu);
    EXPECT_EQ(w->picLogo->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w->picLogo->picture().size(), QSize(100, 50));
    EXPECT_EQ(w->picPlay->picture().size(), QSize(80, 40));
    EXPECT_EQ(w->picPlay->size(), QSize(57, 33));
    EXPECT_EQ(w->picPause->picture().size(), QSize(20, 10));
    EXPECT_TRUE(w->picStop->picture().isNull());
    EXPECT_TRUE(w->picNext->picture().isNull());
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("skin/logo2.jpg"))));
}

TEST_F(FrmPlayTest, TheLogoLetsItsPictureGoWhileHiddenAndShowsItAgain) {
    writePicture("logo1.jpg", QSize(100, 50));
    auto w = open(screen(1024, 768), m_dir.path());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(w->picLogo->picture().size(), QSize(100, 50));
    w->picLogo->hide(); // as while a disc plays
    EXPECT_TRUE(w->picLogo->pixmap().isNull());
    w->picLogo->show();
    const QImage shown = w->picLogo->grab().toImage();
    EXPECT_EQ(w->picLogo->pixmap().size(), QSize(100, 50));
    EXPECT_EQ(QColor(shown.pixel(50, 25)), QColor(Qt::white));
}

TEST_F(FrmPlayTest, MissingOrBrokenSkinOpensSilentlyAndButtonsStillRespond) {
    writeSkinFile("color1.txt", "a");
    writeSkinFile("color2.txt", QByteArray("\x00\xff\xfe", 3));
    writeSkinFile("logo1.jpg", QByteArray(1000, '\xff'));
    writeSkinFile("fastforward.jpg", QByteArray("\xff\xd8\xff\xe0", 4));
    for (const QString& folder : {m_dir.path() + QStringLiteral("/nowhere"), m_dir.path()}) {
        auto w = open(screen(1024, 768), folder);
        EXPECT_EQ(w->centralWidget()->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(m_engine->count(QStringLiteral("SetBackColor")), 0);
        EXPECT_TRUE(w->picLogo->picture().isNull());
        EXPECT_TRUE(w->picFast->picture().isNull());
        EXPECT_TRUE(m_dialogs.messages.isEmpty());
        QSignalSpy clicked(w->picPlay, &PictureBox::clicked);
        QTest::mouseClick(w->picPlay, Qt::LeftButton);
        EXPECT_EQ(clicked.count(), 1);
    }
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("skin/color1.txt.tmp"))));
}

TEST_F(FrmPlayTest, WithoutAnEngineTheWindowOpensWithTheSkinColourAndCommandsReport) {
    writeSkinFile("color2.txt", "2 12\r\n"); // light red video area
    test::LogCapture log;
    FrmPlayServices s;
    s.dialogs = &m_dialogs;
    s.makeEngine = [](QWidget*) -> std::unique_ptr<IDvdEngine> {
        throw EngineError("libmpv could not start");
    };
    s.screen = [] { return screen(1024, 768); };
    s.programFolder = m_dir.path();
    FrmPlay w(std::move(s));
    EXPECT_EQ(w.dvdMain->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w.dvdMain->parentWidget(), w.centralWidget());
    w.commands().dPlay();
    EXPECT_EQ(m_dialogs.messages, QStringList{"Please Insert DVD Rom."});
    // Why the window has no engine, and which skin files were missing, is in the debug log.
    EXPECT_FALSE(
        log.find(QStringLiteral("kavelo.app"), QStringLiteral("libmpv could not start")).isEmpty())
        << log.lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(log.find(QStringLiteral("kavelo.app"), QStringLiteral("color1.txt")).isEmpty());
    EXPECT_FALSE(log.find(QStringLiteral("kavelo.app"), QStringLiteral("logo1.jpg")).isEmpty());
}

TEST_F(FrmPlayTest, PictureButtonsAreNamedKeyboardButtonsAndTheLogoTakesNoFocus) {
    auto w = open(screen(1024, 768));
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    const QStringList words = {"Play",         "Pause",  "Stop Playing", "Previous Chapter",
                               "Next Chapter", "Rewind", "Fast Forward", "FullScreen Mode"};
    const auto buttons = w->pictureButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        PictureBox* b = buttons[i];
        const QString word = words[static_cast<int>(i)];
        EXPECT_EQ(b->toolTip(), word);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::Button) << word.toStdString();
        EXPECT_EQ(a->text(QAccessible::Name), word);
        EXPECT_TRUE(a->state().focusable);
        // The screen reader's press, Space and Enter each click the button once; what a click
        // runs is PlayerWindowsTest's.
        QAccessibleActionInterface* actions = a->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QSignalSpy clicked(b, &PictureBox::clicked);
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(test::waitUntil([&] { return clicked.count() == 1; }, 2000))
            << word.toStdString();
        b->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(b->hasFocus());
        QTest::keyClick(b, Qt::Key_Space);
        QTest::keyClick(b, Qt::Key_Return);
        EXPECT_EQ(clicked.count(), 3) << word.toStdString();
        if (i == 7)
            w->commands().exitFullScreen();
    }
    m_dialogs.messages.clear();

    // The focused button shows a mark; the others do not.
    w->picStop->setFocus(Qt::TabFocusReason);
    const QImage focused = w->picStop->grab().toImage();
    w->picPause->setFocus(Qt::TabFocusReason);
    const QImage unfocused = w->picStop->grab().toImage();
    EXPECT_NE(focused, unfocused);
    EXPECT_EQ(focused.pixelColor(focused.width() / 2, 2), QColor(0x9f, 0xb8, 0xe8));

    // Tab walks the video and the buttons in their order (the slider waits for a disc); the
    // logo and the status bar take no focus, and the logo stays a picture to screen readers.
    EXPECT_EQ(w->picLogo->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w->staMain->focusPolicy(), Qt::NoFocus);
    EXPECT_NE(QAccessible::queryAccessibleInterface(w->picLogo)->role(), QAccessible::Button);
    w->dvdMain->setFocus(Qt::TabFocusReason);
    QStringList walked;
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(walked, (QStringList{"picPlay", "picPause", "picStop", "picPrevious", "picNext",
                                   "picRewind", "picFast", "picFullScreen", "dvdMain"}));
}

TEST_F(FrmPlayTest, OnlyADiscFolderOrImageMayBeDroppedAndItPlaysAsTheDirectoryDialogDoes) {
    const QDir dir(m_dir.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("Film/VIDEO_TS")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("other")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("folder.iso")));
    ASSERT_TRUE(test::writeFile(dir.filePath(QStringLiteral("disc.ISO")), "x"));
    ASSERT_TRUE(test::writeFile(dir.filePath(QStringLiteral("notes.txt")), "x"));
    auto w = open(screen(1024, 768));
    w->show();
    ASSERT_TRUE(w->acceptDrops());

    const auto urls = [&](const QStringList& names) { return test::urlsIn(dir, names); };
    const auto drag = [&](const QList<QUrl>& list) { return test::dragAccepted(w.get(), list); };
    const auto drop = [&](const QList<QUrl>& list) { return test::dropAccepted(w.get(), list); };

    for (const QStringList& refused :
         {QStringList{"other"}, QStringList{"folder.iso"}, QStringList{"notes.txt"},
          QStringList{"missing.iso"}, QStringList{"Film", "disc.ISO"},
          QStringList{"https://example.org/disc.iso"}}) {
        EXPECT_FALSE(drag(urls(refused))) << refused.join(',').toStdString();
        EXPECT_FALSE(drop(urls(refused))) << refused.join(',').toStdString();
    }
    QTest::qWait(50);
    EXPECT_TRUE(m_engine->calls.isEmpty()) << m_engine->calls.join(',').toStdString();

    // Each place as the dialog's Play passes it: the folder, the VIDEO_TS folder, the image.
    for (const QString& place :
         {QStringLiteral("Film"), QStringLiteral("Film/VIDEO_TS"), QStringLiteral("disc.ISO")}) {
        m_engine->calls.clear();
        EXPECT_TRUE(drag(urls({place}))) << place.toStdString();
        EXPECT_TRUE(drop(urls({place})));
        EXPECT_TRUE(test::waitUntil([&] { return m_engine->calls.size() == 2; }, 2000));
        EXPECT_EQ(m_engine->calls,
                  (QStringList{"SetDVDDirectory(" + dir.filePath(place) + ")", "Play"}));
        EXPECT_TRUE(w->picLogo->isHidden());
    }
    // A refused place says what the dialog says (PlayerWindowsTest).
    m_engine->failing = {QStringLiteral("SetDVDDirectory")};
    EXPECT_TRUE(drop(urls({"Film"})));
    EXPECT_TRUE(test::waitUntil([&] { return !m_dialogs.messages.isEmpty(); }, 2000));
}

TEST_F(FrmPlayTest, WhereTheStandardWindowDoesNotFitTheSmallOneStandsInWithinReach) {
    // 1920 x 1080 at a scale of 2 (960 x 540 logical pixels) with the whole screen free is
    // FrmPlayScaleTest's, under openbox. A panel on the left and at the top: the small window
    // moves beside and below it.
    ScreenMetrics scaled = screen(960, 540);
    scaled.available = QRect(100, 30, 700, 510);
    auto beside = open(scaled);
    EXPECT_TRUE(beside->usesSmallLayout());
    EXPECT_EQ(beside->pos(), QPoint(100, 30));

    // Where the standard window fits, nothing changes: FrmPlayWindowTest, under openbox.
}

TEST(KaveloAppTest, ClosingTheMainWindowClosesOnlyAnglesAndAboutExitSkipsEveryClosingStep) {
    FakeDialogs dialogs;
    KaveloApp app(dialogs, nullptr, QStringLiteral("/nonexistent"));
    app.showMainWindow();
    app.showAngles();
    app.showAbout();
    app.showDirectory();
    app.showMultimedia();
    QWidget* angles = app.angles().get();
    app.showAngles();
    EXPECT_EQ(app.angles().get(), angles); // shown again, not made anew
    app.existingMainWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.existingMainWindow(), nullptr);
    EXPECT_FALSE(app.angles().isOpen() || app.about().isOpen());
    // The tool windows stay, and keep the program running (ProgramLifetimeTest).
    EXPECT_TRUE(app.directory().isOpen() && app.multimedia().isOpen());

    // Asked for again, the main window comes back afresh; Exit then skips its closing steps.
    EXPECT_NE(app.mainWindow(), nullptr);
    app.showMainWindow();
    app.showAngles();
    app.exitNow();
    EXPECT_FALSE(app.existingMainWindow()->isVisible());
    EXPECT_TRUE(app.angles().isOpen()); // the main window's closing steps did not run
    app.destroyAllWindows();
    EXPECT_EQ(app.existingMainWindow(), nullptr);
    EXPECT_FALSE(app.angles().isOpen());
}

} // namespace
} // namespace kavelo
