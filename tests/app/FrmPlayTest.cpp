#include "FrmPlay.h"

#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "KaveloApp.h"
#include "Layout.h"
#include "LogCapture.h"
#include "TestFiles.h"

#include <QAction>
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

QRect twipsRect(int l, int t, int w, int h) {
    return {l / 15, t / 15, w / 15, h / 15};
}

TEST_F(FrmPlayTest, StandardLayoutMenusAndStartState) {
    auto w = open(screen(1024, 768));
    EXPECT_FALSE(w->usesSmallLayout());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kavelo"));
    EXPECT_TRUE(w->logoPath().endsWith(QStringLiteral("/skin/logo1.jpg")));
    EXPECT_EQ(w->centralWidget()->size(), QSize(951, 666));
    EXPECT_EQ(w->dvdMain->geometry(), twipsRect(240, 600, 13815, 8295));
    EXPECT_EQ(w->picLogo->geometry(), twipsRect(120, 480, 14055, 8535));
    EXPECT_EQ(w->staMain->geometry(), QRect(0, 646, 951, 20));
    const int lefts[] = {1200, 2400, 3600, 6000, 7200, 9600, 10800, 12840};
    const auto buttons = w->pictureButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        EXPECT_EQ(buttons[i]->geometry(), twipsRect(lefts[i], 9000, 855, 495)) << i;
    EXPECT_EQ(w->sliMain->geometry(), QRect(0, 0, w->frameGeometry().width(), 25));
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
    EXPECT_EQ(small->picLogo->geometry(), twipsRect(120, 480, 11295, 6135));
    EXPECT_EQ(small->dvdMain->geometry(), twipsRect(240, 600, 11055, 5895));
    EXPECT_EQ(small->frameGeometry().size(), QSize(776, 560));
    const int lefts[] = {240, 1200, 2160, 3960, 4920, 6840, 7800, 10440};
    const auto buttons = small->pictureButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        EXPECT_EQ(buttons[i]->geometry(), twipsRect(lefts[i], 6720, 855, 495)) << i;

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
    QSignalSpy lastClosed(&app, &KaveloApp::lastWindowClosed);
    app.existingMainWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.existingMainWindow(), nullptr);
    EXPECT_FALSE(app.angles().isOpen() || app.about().isOpen());
    EXPECT_TRUE(app.directory().isOpen() && app.multimedia().isOpen());
    // The tool windows left open keep the program running until they close too.
    QCoreApplication::processEvents();
    EXPECT_EQ(lastClosed.count(), 0);
    app.directory().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(lastClosed.count(), 0);
    app.multimedia().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(lastClosed.count(), 1);

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
