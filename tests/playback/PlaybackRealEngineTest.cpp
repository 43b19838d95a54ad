// The playback commands, menus and dialogs driving the real engine on the sample disc. Scans and
// a bookmark across titles on the engine itself are MpvDvdEngineTest's; which button and item
// sends which command is PlayerWindowsTest's.
#include "EnginePeer.h"
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FrmDirectory.h"
#include "FrmPlay.h"
#include "KaveloApp.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QAction>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

class PlaybackRealEngine : public ::testing::Test {
protected:
    PlaybackRealEngine()
        : m_app(m_dialogs, test::keepingLast(m_engine), QStringLiteral("/nonexistent")) {
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(kDisc);
    }
    ~PlaybackRealEngine() override { QDir::setCurrent(m_oldCwd); }

    void choose(const char* item) { m_window->menuItem(QString::fromLatin1(item))->trigger(); }

    void closeMainWindow() {
        m_window->close();
        ASSERT_TRUE(test::waitUntil([&] { return !m_app.existingMainWindow(); }, 5000));
    }

    // Plays the disc the way a user does: the drive/directory dialog at the current folder.
    void playFromDirectoryDialog() {
        m_app.showMainWindow();
        m_window = m_app.existingMainWindow();
        choose("mnuDifferent");
        auto* dlg = qobject_cast<FrmDirectory*>(m_app.directory().get());
        ASSERT_NE(dlg, nullptr);
        ASSERT_EQ(dlg->dirDirectory->path(), QDir(kDisc).canonicalPath());
        dlg->cmdOk->click();
        ASSERT_TRUE(m_dialogs.messages.isEmpty()) << m_dialogs.messages.join("|").toStdString();
        QTest::qWait(300);
    }

    FakeDialogs m_dialogs;
    MpvDvdEngine* m_engine = nullptr;
    KaveloApp m_app;
    FrmPlay* m_window = nullptr;
    QString m_oldCwd;
};

// Each item's command on a fake engine is PlaybackCommandsTest's, the engine's chapters and
// zoom MpvDvdEngineTest's and the video test's, full screen FrmPlayWindowTest's; here, that the
// window's dialog answer and mute reach the real engine.
TEST_F(PlaybackRealEngine, AChapterChosenInTheDialogAndMuteReachTheEngine) {
    playFromDirectoryDialog();
    EXPECT_FALSE(m_app.directory().isOpen());
    EXPECT_TRUE(m_window->picLogo->isHidden());
    EXPECT_TRUE(m_window->timTime->isActive());
    // The sample disc has no menus: it starts with title 1, three chapters of 10 s.
    EXPECT_EQ(m_engine->CurrentTitle(), 1);

    m_dialogs.inputAnswers = {QStringLiteral("2")};
    choose("mnuSelChap");
    EXPECT_EQ(m_engine->CurrentChapter(), 2);
    EXPECT_NEAR(kavelo::test::peer(m_engine).positionSeconds(), 10, 1.0);

    choose("mnuPopMuteOn");
    EXPECT_EQ(kavelo::test::peer(m_engine).propertyText("mute"), QStringLiteral("yes"));
    choose("mnuPopMuteOn");
    EXPECT_EQ(kavelo::test::peer(m_engine).propertyText("mute"), QStringLiteral("no"));
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
}

TEST_F(PlaybackRealEngine, TheBookmarkOutlivesTheWindowAndItsEngineForTheSameDisc) {
    playFromDirectoryDialog();
    m_dialogs.inputAnswers = {QStringLiteral("3")};
    choose("mnuSelChap");
    QTest::qWait(300);
    choose("mnuAddBookMark");
    const double saved = kavelo::test::peer(m_engine).positionSeconds();
    EXPECT_GT(saved, 19.5);
    // The window and its engine go, and the bookmark they held in memory with them.
    closeMainWindow();

    // A new engine, the disc read through its VIDEO_TS folder this time: the same disc.
    m_app.showMainWindow();
    m_window = m_app.existingMainWindow();
    // The start-up folder is set once the window is up; the place set here comes after it.
    ASSERT_TRUE(test::waitUntil([&] { return m_engine->DVDDirectory() == kDisc; }, 5000));
    m_engine->SetDVDDirectory(kDisc + QStringLiteral("/VIDEO_TS"));
    choose("mnuRestoreBookMark");
    EXPECT_EQ(m_engine->CurrentTitle(), 1);
    EXPECT_EQ(m_engine->CurrentChapter(), 3);
    EXPECT_NEAR(kavelo::test::peer(m_engine).positionSeconds(), saved, 1.0);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
}

TEST_F(PlaybackRealEngine, PlayAtStartPlaysTheDiscOfTheFolderKaveloStartedIn) {
    // Started in the disc's folder (as `make run` does): the Play button plays it at once.
    m_app.showMainWindow();
    m_window = m_app.existingMainWindow();
    ASSERT_TRUE(test::waitUntil([&] { return m_engine->DVDDirectory() == kDisc; }, 5000));
    QTest::mouseClick(m_window->picPlay, Qt::LeftButton);
    EXPECT_TRUE(m_dialogs.messages.isEmpty()) << m_dialogs.messages.join("|").toStdString();
    EXPECT_EQ(m_engine->CurrentTitle(), 1);
    EXPECT_EQ(m_engine->DVDDirectory(), kDisc);
    QTest::mouseClick(m_window->picStop, Qt::LeftButton);
    closeMainWindow();

    // Started inside VIDEO_TS: the same; Ctrl+P is File > Kavelo ROM.
    QDir::setCurrent(kDisc + QStringLiteral("/VIDEO_TS"));
    m_app.showMainWindow();
    m_window = m_app.existingMainWindow();
    EXPECT_EQ(m_window->menuItem("mnuKavelo")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    ASSERT_TRUE(test::waitUntil([&] { return m_engine->DVDDirectory().startsWith(kDisc); }, 5000));
    choose("mnuKavelo");
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    EXPECT_EQ(m_engine->CurrentTitle(), 1);
    closeMainWindow();

    // Started anywhere else: Play asks for a disc in the drive, as it always has.
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    m_app.showMainWindow();
    m_window = m_app.existingMainWindow();
    QTest::qWait(50);
    EXPECT_NE(m_engine->DVDDirectory(), elsewhere.path());
    if (!QFile::exists(QStringLiteral("/dev/dvd")) && !QFile::exists(QStringLiteral("/dev/sr0"))) {
        choose("mnuKavelo");
        EXPECT_EQ(m_dialogs.messages, QStringList{"Please Insert DVD Rom."});
    }
}

TEST_F(PlaybackRealEngine, DirectoryDialogPlaysADiscImageAndRefusesOthers) {
    const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    if (genisoimage.isEmpty())
        GTEST_SKIP() << "genisoimage is not installed";
    QTemporaryDir temp;
    const QDir folder(temp.path());
    ASSERT_TRUE(folder.mkpath(QStringLiteral("nothing")));
    const auto image = [&](const QString& name, const QString& from) {
        return QProcess::execute(genisoimage,
                                 {"-quiet", "-dvd-video", "-o", folder.filePath(name), from}) == 0;
    };
    ASSERT_TRUE(image(QStringLiteral("Film.ISO"), kDisc));
    // A CD image without DVD video, and noise named like an image.
    ASSERT_EQ(QProcess::execute(genisoimage, {"-quiet", "-o", folder.filePath("data.iso"),
                                              folder.filePath("nothing")}),
              0);
    QByteArray noise(1 << 20, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) >> 3);
    ASSERT_TRUE(test::writeFile(folder.filePath("noise.iso"), noise));

    QDir::setCurrent(temp.path());
    m_app.showMainWindow();
    m_window = m_app.existingMainWindow();
    choose("mnuDifferent");
    auto* dlg = qobject_cast<FrmDirectory*>(m_app.directory().get());
    ASSERT_NE(dlg, nullptr);
    const auto pick = [&](const char* name) {
        const auto items =
            dlg->dirDirectory->findItems(QString::fromLatin1(name), Qt::MatchEndsWith);
        ASSERT_EQ(items.size(), 1) << name;
        EXPECT_TRUE(FolderList::isImage(items.first()));
        dlg->dirDirectory->setCurrentItem(items.first());
    };
    for (const char* bad : {"data.iso", "noise.iso"}) {
        pick(bad);
        dlg->cmdOk->click();
        EXPECT_EQ(m_dialogs.messages, QStringList{"No such Drive/Directory"}) << bad;
        EXPECT_TRUE(m_app.directory().isOpen());
        EXPECT_EQ(m_engine->PlayState(), DvdPlayState::Stopped);
        m_dialogs.messages.clear();
    }
    pick("Film.ISO");
    dlg->cmdOk->click();
    EXPECT_TRUE(m_dialogs.messages.isEmpty()) << m_dialogs.messages.join("|").toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return !m_app.directory().isOpen(); }, 3000));
    EXPECT_EQ(m_engine->DVDDirectory(), folder.filePath("Film.ISO"));
    EXPECT_EQ(m_engine->CurrentTitle(), 1);
    EXPECT_TRUE(test::waitUntil(
        [&] { return kavelo::test::peer(m_engine).positionSeconds() > 0.3; }, 3000));
}

} // namespace
} // namespace kavelo
