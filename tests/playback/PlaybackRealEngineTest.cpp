// The playback commands, menus and dialogs driving the real engine on the sample disc.
#include "FakeDialogs.h"
#include "FakeDvdEngine.h"
#include "FrmDirectory.h"
#include "FrmPlay.h"
#include "KaveloApp.h"
#include "MpvDvdEngine.h"
#include "Waiting.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

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

TEST_F(PlaybackRealEngine, ChaptersMuteZoomAndFullScreen) {
    playFromDirectoryDialog();
    EXPECT_FALSE(m_app.directory().isOpen());
    EXPECT_TRUE(m_window->picLogo->isHidden());
    EXPECT_TRUE(m_window->timTime->isActive());
    EXPECT_EQ(m_engine->CurrentTitle(), 2);

    m_dialogs.inputAnswers = {QStringLiteral("3")};
    choose("mnuSelChap");
    EXPECT_EQ(m_engine->CurrentChapter(), 3);
    EXPECT_NEAR(m_engine->positionSeconds(), 39.84, 1.0);
    choose("mnuNext");
    EXPECT_EQ(m_engine->CurrentChapter(), 4);
    choose("mnuPopPreviousChapter");
    EXPECT_EQ(m_engine->CurrentChapter(), 3);
    m_dialogs.inputAnswers = {QStringLiteral("9")};
    choose("mnuPopSelectChapter");
    EXPECT_EQ(m_dialogs.messages, QStringList{"Chapter Not Found"});
    EXPECT_EQ(m_engine->CurrentChapter(), 3);
    m_dialogs.messages.clear();

    choose("mnuPopMuteOn");
    EXPECT_EQ(m_engine->propertyText("mute"), QStringLiteral("yes"));
    choose("mnuPopMuteOn");
    EXPECT_EQ(m_engine->propertyText("mute"), QStringLiteral("no"));
    EXPECT_EQ(m_window->menuItem("mnuPopMuteOn")->text(), QStringLiteral("Mute Off"));

    choose("mnuZoom4x");
    EXPECT_NEAR(m_engine->propertyText("video-zoom").toDouble(), 2.0, 1e-6);
    choose("mnuZoomOff");
    EXPECT_NEAR(m_engine->propertyText("video-zoom").toDouble(), 0.0, 1e-6);

    choose("mnuPopFull");
    EXPECT_TRUE(m_engine->FullScreenMode());
    EXPECT_TRUE(m_window->timTimeMenu->isActive());
    EXPECT_EQ(m_window->pos(), QPoint(0, 0));
    choose("mnuPopExitFull");
    EXPECT_FALSE(m_engine->FullScreenMode());
    EXPECT_FALSE(m_window->timTimeMenu->isActive());
    EXPECT_EQ(m_engine->widget()->parentWidget(), m_window->centralWidget());
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
}

TEST_F(PlaybackRealEngine, BookmarkAcrossATitleChangeAndScansEndedByPlay) {
    playFromDirectoryDialog();
    m_dialogs.inputAnswers = {QStringLiteral("2")};
    choose("mnuSelChap");
    QTest::qWait(500);
    choose("mnuAddBookMark");
    const double saved = m_engine->positionSeconds();
    m_engine->PlayTitle(1);
    EXPECT_EQ(m_engine->CurrentTitle(), 1);
    choose("mnuPopRestoreBookMark");
    EXPECT_EQ(m_engine->CurrentTitle(), 2);
    EXPECT_NEAR(m_engine->positionSeconds(), saved, 1.0);
    EXPECT_TRUE(m_dialogs.messages.isEmpty());

    // Each scan is judged by where it gets, however long a loaded machine takes.
    QTest::mouseClick(m_window->picFast, Qt::LeftButton);
    EXPECT_TRUE(m_engine->scanning());
    EXPECT_TRUE(test::waitUntil([&] { return m_engine->positionSeconds() > saved + 3.0; }, 8000));
    const double scanned = m_engine->positionSeconds();
    choose("mnuKavelo");
    EXPECT_FALSE(m_engine->scanning());
    EXPECT_EQ(m_engine->propertyText("speed").toDouble(), 1.0);

    QTest::mouseClick(m_window->picRewind, Qt::LeftButton);
    EXPECT_TRUE(m_engine->scanning());
    EXPECT_TRUE(test::waitUntil([&] { return m_engine->positionSeconds() < scanned - 3.0; }, 8000));
    QTest::mouseClick(m_window->picPlay, Qt::LeftButton);
    EXPECT_FALSE(m_engine->scanning());
    const double resumed = m_engine->positionSeconds();
    // Playing forwards again.
    EXPECT_TRUE(test::waitUntil([&] { return m_engine->positionSeconds() > resumed; }, 5000));

    QTest::mouseClick(m_window->picStop, Qt::LeftButton);
    EXPECT_FALSE(m_window->sliMain->isEnabled());
    EXPECT_FALSE(m_window->timTime->isActive());
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
}

} // namespace
} // namespace kavelo
