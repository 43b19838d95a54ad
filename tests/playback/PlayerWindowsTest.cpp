#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FrmAngles.h"
#include "FrmDirectory.h"
#include "FrmPlay.h"
#include "KaveloApp.h"
#include "KeyState.h"
#include "Screen.h"
#include "TestFiles.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::FakeDvdEngine;

ScreenMetrics standardScreen() {
    ScreenMetrics m;
    m.pixels = QSize(1024, 768);
    return m;
}

TEST(FrmAngles, LoadsOnceChangesByNumberAndOpensEmptyWithoutADisc) {
    FakeDvdEngine engine;
    FakeDialogs dialogs;
    engine.angle = 1;
    engine.angles = 3;
    FrmAngles dlg(engine, dialogs, standardScreen());
    EXPECT_EQ(dlg.txtCurrentAngle->text(), QStringLiteral("1"));
    EXPECT_EQ(dlg.txtAngAva->text(), QStringLiteral("3"));

    engine.calls.clear();
    dlg.Command1_Click(); // empty input
    EXPECT_EQ(dialogs.messages, QStringList{"Angle isn't available"});
    EXPECT_TRUE(engine.calls.isEmpty());

    dlg.txtChangeAngle->setText(QStringLiteral("1.5"));
    QTest::mouseClick(dlg.Command1, Qt::LeftButton);
    dlg.txtChangeAngle->setText(QStringLiteral("2.5"));
    dlg.Command1_Click();
    EXPECT_EQ(engine.calls, (QStringList{"SetCurrentAngle(2)", "SetCurrentAngle(2)"}));
    EXPECT_EQ(dlg.txtCurrentAngle->text(), QStringLiteral("1")); // not read again

    engine.failing = {"SetCurrentAngle"};
    dlg.txtChangeAngle->setText(QStringLiteral("7"));
    dlg.Command1_Click();
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dlg.txtChangeAngle->text(), QStringLiteral("7"));

    // Without a disc it says please wait and opens empty.
    engine.calls.clear();
    engine.failing = {"CurrentAngle"};
    FrmAngles empty(engine, dialogs, standardScreen());
    EXPECT_EQ(dialogs.messages.value(2), QStringLiteral("Please Wait"));
    EXPECT_TRUE(empty.txtCurrentAngle->text().isEmpty() && empty.txtAngAva->text().isEmpty());
    EXPECT_EQ(engine.count(QStringLiteral("AnglesAvailable")), 0);
}

class FakeDrives final : public IDrives {
public:
    QList<Drive> list;
    QList<Drive> drives() override { return list; }
    std::optional<Drive> driveOf(const QString&) override { return std::nullopt; }
    std::optional<QString> openDrive(const Drive& d) override {
        if (d.root.isEmpty())
            return std::nullopt;
        return d.root;
    }
};

struct FakeHost final : IPlayerHost {
    FakeDvdEngine dvd;
    int plays = 0;
    IDvdEngine& engine() override { return dvd; }
    void dPlay() noexcept override {
        ++plays;
        try {
            dvd.Play();
        } catch (...) {
        }
    }
};

class FrmDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("disc/VIDEO_TS")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("other")));
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        m_drives.list = {
            Drive{QStringLiteral("/dev/sr0 [DVD]"), QStringLiteral("/dev/sr0"), QString(), true},
            Drive{QStringLiteral("disc"), QString(), m_dir.filePath("disc"), false}};
    }
    void TearDown() override { QDir::setCurrent(m_oldCwd); }

    std::unique_ptr<FrmDirectory> open() {
        return std::make_unique<FrmDirectory>([this] { return &m_host; }, m_dialogs, m_drives,
                                              standardScreen());
    }

    QTemporaryDir m_dir;
    QString m_oldCwd;
    FakeDrives m_drives;
    FakeHost m_host;
    FakeDialogs m_dialogs;
};

// Starting at the current folder and playing it on the real engine is PlaybackRealEngineTest's.
TEST_F(FrmDirectoryTest, AFolderOpensOnADoubleClickAndPlayPlaysItsPath) {
    auto dlg = open();
    EXPECT_EQ(dlg->drvDrive->count(), 2);

    // Highlighting a folder does not open it; a double click does.
    const auto items = dlg->dirDirectory->findItems(QStringLiteral("disc"), Qt::MatchContains);
    ASSERT_EQ(items.size(), 1);
    dlg->dirDirectory->setCurrentItem(items.first());
    EXPECT_EQ(dlg->dirDirectory->path(), QDir(m_dir.path()).canonicalPath());
    emit dlg->dirDirectory->itemDoubleClicked(items.first());
    EXPECT_EQ(dlg->dirDirectory->path(), QDir(m_dir.path()).canonicalPath() + "/disc");

    dlg->show();
    dlg->cmdOk_Click();
    EXPECT_EQ(m_host.dvd.calls,
              (QStringList{"SetDVDDirectory(" + dlg->dirDirectory->path() + ")", "Play"}));
    EXPECT_EQ(m_host.plays, 1);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(FrmDirectoryTest, CancelRefusedFolderAndDriveWithoutDisc) {
    auto dlg = open();
    dlg->show();
    QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(m_host.dvd.calls.isEmpty());

    dlg->show();
    m_host.dvd.failing = {"SetDVDDirectory"};
    dlg->cmdOk_Click();
    EXPECT_EQ(m_dialogs.messages, QStringList{"No such Drive/Directory"});
    EXPECT_EQ(m_host.plays, 0);
    EXPECT_TRUE(dlg->isVisible());

    // Accepted but unplayable: dPlay reports, and the dialog closes.
    m_host.dvd.failing = {"Play"};
    dlg->cmdOk_Click();
    EXPECT_EQ(m_host.plays, 1);
    EXPECT_FALSE(dlg->isVisible());

    // A drive without a disc says so and keeps the folder.
    m_dialogs.messages.clear();
    const QString before = dlg->dirDirectory->path();
    dlg->drvDrive->setCurrentIndex(0);
    dlg->drvDrive_Change(0);
    EXPECT_EQ(m_dialogs.messages, QStringList{"No such Drive/Directory"});
    EXPECT_EQ(dlg->dirDirectory->path(), before);
    EXPECT_EQ(dlg->drvDrive->currentIndex(), 0);

    dlg->drvDrive_Change(1);
    EXPECT_EQ(dlg->dirDirectory->path(), m_dir.filePath("disc"));
    dlg->drvDrive_Change(99);
    EXPECT_EQ(m_dialogs.messages.size(), 2);
}

TEST_F(FrmDirectoryTest, EnterPlaysEscCancelsAndEnterOnAButtonPressesThatButton) {
    auto dlg = open();
    // Enter in the folder list, or on the drive list, is the default button's: Play.
    for (QWidget* focus :
         {static_cast<QWidget*>(dlg->dirDirectory), static_cast<QWidget*>(dlg->drvDrive)}) {
        dlg->show();
        m_host.dvd.calls.clear();
        QTest::keyClick(focus, Qt::Key_Return);
        EXPECT_EQ(m_host.dvd.calls,
                  (QStringList{"SetDVDDirectory(" + dlg->dirDirectory->path() + ")", "Play"}));
        EXPECT_FALSE(dlg->isVisible());
    }
    dlg->show();
    QTest::keyClick(dlg->dirDirectory, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_host.plays, 3);
    // Esc, and Enter on the focused Cancel, cancel: nothing reaches the engine.
    m_host.dvd.calls.clear();
    for (QWidget* focus :
         {static_cast<QWidget*>(dlg->dirDirectory), static_cast<QWidget*>(dlg->cmdOk)}) {
        dlg->show();
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_FALSE(dlg->isVisible());
    }
    dlg->show();
    QTest::keyClick(dlg->cmdCancel, Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(m_host.dvd.calls.isEmpty());
}

TEST_F(FrmDirectoryTest, ListsDiscImagesBelowTheFoldersAndPlaysTheChosenOne) {
    for (const char* file : {"b.ISO", "a.iso", "notes.txt", "iso"})
        ASSERT_TRUE(test::writeFile(m_dir.filePath(QString::fromLatin1(file)), "x"));
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("folder.iso")));
    auto dlg = open();
    FolderList* list = dlg->dirDirectory;
    QStringList names;
    QList<bool> images;
    for (int i = 0; i < list->count(); ++i) {
        names << list->item(i)->text().trimmed();
        images << FolderList::isImage(list->item(i));
    }
    // The open folder's folders (a folder named like an image among them), then its images.
    ASSERT_GE(names.size(), 5);
    EXPECT_EQ(names.mid(names.size() - 5),
              (QStringList{"disc", "folder.iso", "other", "a.iso", "b.ISO"}));
    EXPECT_EQ(images.mid(images.size() - 5), (QList<bool>{false, false, false, true, true}));
    EXPECT_NE(list->item(names.size() - 1)->icon().cacheKey(),
              list->item(names.size() - 3)->icon().cacheKey());

    // A highlighted image is what Play plays; a highlighted folder is not.
    const QString folder = list->path();
    list->setCurrentRow(names.indexOf("other"));
    EXPECT_EQ(list->chosenPath(), folder);
    list->setCurrentRow(names.indexOf("a.iso"));
    EXPECT_EQ(list->chosenPath(), folder + "/a.iso");
    EXPECT_EQ(list->path(), folder);
    dlg->show();
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    EXPECT_EQ(m_host.dvd.calls, (QStringList{"SetDVDDirectory(" + folder + "/a.iso)", "Play"}));
    EXPECT_FALSE(dlg->isVisible());

    // A double click plays an image at once; one the engine refuses says so and stays open.
    auto again = open();
    again->show();
    m_host.dvd.calls.clear();
    m_host.dvd.failing = {"SetDVDDirectory"};
    QListWidgetItem* b = again->dirDirectory->findItems("b.ISO", Qt::MatchContains).value(0);
    ASSERT_NE(b, nullptr);
    emit again->dirDirectory->itemDoubleClicked(b);
    EXPECT_EQ(m_dialogs.messages, QStringList{"No such Drive/Directory"});
    EXPECT_EQ(m_host.dvd.calls, (QStringList{"SetDVDDirectory(" + folder + "/b.ISO)"}));
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(again->dirDirectory->path(), folder);
    m_host.dvd.failing.clear();
    emit again->dirDirectory->itemDoubleClicked(b);
    EXPECT_EQ(m_host.dvd.calls.last(), QStringLiteral("Play"));
    EXPECT_FALSE(again->isVisible());
}

class FrmPlayWiringTest : public ::testing::Test {
protected:
    FrmPlayWiringTest() {
        FrmPlayServices s;
        s.dialogs = &m_dialogs;
        s.makeEngine = test::keepingLast(m_engine);
        s.screen = standardScreen;
        s.programFolder = QStringLiteral("/nonexistent");
        m_window = std::make_unique<FrmPlay>(std::move(s));
    }
    FakeDialogs m_dialogs;
    FakeDvdEngine* m_engine = nullptr;
    std::unique_ptr<FrmPlay> m_window;
};

TEST_F(FrmPlayWiringTest, EveryItemAndButtonReachesItsCommandOnlyOwnPressesCount) {
    m_dialogs.inputAnswers = {QStringLiteral("2"), QStringLiteral("5")};
    // Each command from the menu bar's item and the pop-up's ("" where there is none).
    const std::array<const char*, 3> items[] = {
        {"mnuKavelo", "mnuPopPlay", "Play"},
        {"mnuStopDVD", "mnuPopStop", "Stop"},
        {"mnuPause", "mnuPopPause", "Pause"},
        {"mnuResume", "mnuPopResume", "Resume"},
        {"mnuSelChap", "", "PlayChapter(2)"},
        {"", "mnuPopSelectChapter", "PlayChapter(5)"},
        {"mnuNext", "mnuPopNextChapter", "PlayNextChapter"},
        {"mnuPrevious", "mnuPopPreviousChapter", "PlayPrevChapter"},
        {"mnuAddBookMark", "mnuPopBookMark", "SaveBookmark"},
        {"mnuRestoreBookMark", "mnuPopRestoreBookMark", "RestoreBookmark"},
        {"", "mnuPopMuteOn", "SetMute(true)"},
        {"", "mnuPopFull", "SetFullScreenMode(true)"},
        {"", "mnuPopExitFull", "SetFullScreenMode(false)"},
        {"mnuZoom4x", "", "Zoom(0,0,4)"},
        {"mnuZoomOff", "", "Zoom(0,0,0)"}};
    for (const auto& [bar, popUp, call] : items) {
        for (const char* name : {bar, popUp}) {
            if (!*name)
                continue;
            m_engine->calls.clear();
            m_window->menuItem(QString::fromLatin1(name))->trigger();
            EXPECT_EQ(m_engine->calls.value(m_engine->calls.size() - 1), QString::fromLatin1(call))
                << name;
        }
    }
    const std::pair<PictureBox*, const char*> buttons[] = {
        {m_window->picPlay, "Play"},
        {m_window->picPause, "Pause"},
        {m_window->picStop, "Stop"},
        {m_window->picPrevious, "PlayPrevChapter"},
        {m_window->picNext, "PlayNextChapter"},
        {m_window->picRewind, "PlayBackwards(16)"},
        {m_window->picFast, "PlayForwards(16)"},
        {m_window->picFullScreen, "SetFullScreenMode(true)"}};
    for (const auto& [box, call] : buttons) {
        m_engine->calls.clear();
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(m_engine->calls, QStringList{QString::fromLatin1(call)}) << call;
    }
    EXPECT_TRUE(m_dialogs.messages.isEmpty());

    // Only presses in the main window count towards the pop-up menus.
    KeyStateLatch& keys = m_window->keys();
    QWidget other;
    other.resize(50, 50);
    QTest::mousePress(&other, Qt::RightButton);
    QTest::mouseRelease(&other, Qt::RightButton);
    QTest::keyClick(&other, Qt::Key_Space);
    EXPECT_FALSE(keys.query(KeyStateLatch::VK_RBUTTON));
    EXPECT_FALSE(keys.query(KeyStateLatch::VK_SPACE));

    for (QWidget* target : {static_cast<QWidget*>(m_window->picLogo), m_window->dvdMain,
                            static_cast<QWidget*>(m_window->staMain)}) {
        QTest::mousePress(target, Qt::RightButton);
        QTest::mouseRelease(target, Qt::RightButton);
        EXPECT_TRUE(keys.query(KeyStateLatch::VK_RBUTTON)) << target->objectName().toStdString();
        EXPECT_FALSE(keys.query(KeyStateLatch::VK_RBUTTON));
    }
    // The video keeps counting when the engine shows it in a window of its own.
    QWidget fullScreen;
    m_window->dvdMain->setParent(&fullScreen);
    QTest::keyClick(m_window->dvdMain, Qt::Key_Space);
    EXPECT_TRUE(keys.query(KeyStateLatch::VK_SPACE));
    m_window->dvdMain->setParent(m_window->centralWidget());
}

TEST(KaveloAppPlayback, DirectoryPlayReopensAClosedMainWindow) {
    FakeDialogs dialogs;
    FakeDvdEngine* engine = nullptr;
    KaveloApp app(dialogs, test::keepingLast(engine), QStringLiteral("/nonexistent"));
    app.showMainWindow();
    const QPointer<FrmPlay> firstWindow = app.existingMainWindow();
    app.showDirectory();
    auto* dlg = qobject_cast<FrmDirectory*>(app.directory().get());
    ASSERT_NE(dlg, nullptr);
    app.existingMainWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(app.existingMainWindow(), nullptr);
    EXPECT_TRUE(app.directory().isOpen());

    dlg->cmdOk_Click();
    ASSERT_NE(app.existingMainWindow(), nullptr);
    EXPECT_TRUE(app.existingMainWindow()->isVisible());
    EXPECT_TRUE(firstWindow.isNull()); // a new window with a new engine
    EXPECT_EQ(engine->count(QStringLiteral("Play")), 1);
    EXPECT_EQ(engine->calls.mid(engine->calls.size() - 2),
              (QStringList{"SetDVDDirectory(" + dlg->dirDirectory->path() + ")", "Play"}));
    EXPECT_TRUE(app.existingMainWindow()->picLogo->isHidden());
}

} // namespace
} // namespace kavelo
