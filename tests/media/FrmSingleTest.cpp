// frmSingle on the offscreen platform with a recording command layer: controls, states,
// handlers, the resize rule, load and unload.
#include "FrmSingle.h"

#include "Controls.h"
#include "DragDrop.h"
#include "FakeDialogs.h"
#include "MediaFixtures.h"
#include "RecordingMci.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;
using test::RecordingMci;

class Single : public ::testing::Test {
protected:
    void SetUp() override {
        test::useProfileFolder(m_dir.path(), false);
        auto mci = std::make_unique<RecordingMci>();
        m_mci = mci.get();
        m_mci->replies[QStringLiteral("status mpeg length")] = QStringLiteral("250");
        m_mci->replies[QStringLiteral("status mpeg position")] = QStringLiteral("17");
        m_form = new FrmSingle(m_dialogs, std::move(mci));
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
    }
    void TearDown() override { delete m_form; }

    // Enabled flags of Open, Play, Pause, Stop, Resume, Close.
    QString buttons() const {
        QString s;
        for (QPushButton* b : {m_form->cmdOpen, m_form->cmdPlay, m_form->cmdPause, m_form->cmdStop,
                               m_form->cmdResume, m_form->cmdClose})
            s += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s;
    }
    void openFile(const char* name) {
        m_dialogs.fileAnswers = {QString::fromLatin1(name)};
        QTest::mouseClick(m_form->cmdOpen, Qt::LeftButton);
    }
    int px(int twips) const { return primaryScreenMetrics().toPixels(twips); }

    QTemporaryDir m_dir;
    FakeDialogs m_dialogs;
    RecordingMci* m_mci = nullptr;
    FrmSingle* m_form = nullptr;
};

TEST_F(Single, StartsWithItsDesignedControlsChecksTheDriversAndOpens) {
    EXPECT_EQ(m_form->windowType(), Qt::Tool);
    EXPECT_FALSE(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(buttons(), QStringLiteral("100000"));
    EXPECT_FALSE(m_form->timTime->isActive());
    EXPECT_EQ(m_form->Label1->text(),
              QStringLiteral("Play any type of Multimedia files listed: qt , mov, dat,snd, mpg, "
                             "mpa, mpv, enc, m1v, mp2,mp3, mpe, mpeg, mpm, au , snd, aif, aiff, "
                             "aifc,wav,wmv,wma,avi,midi,mid,rmi,avi, VOB etc"));
    EXPECT_EQ(m_form->lblCurrentTime->text(), QStringLiteral("Current Frame:"));
    EXPECT_EQ(m_form->lblTotalTime->text(), QStringLiteral("Total Frames:"));
    EXPECT_TRUE(m_mci->commands.isEmpty());

    // Open chooses the device type and places the picture.
    EXPECT_EQ(FrmSingle::deviceTypeFor(QStringLiteral("CLIP.AVI")), QStringLiteral("AviVideo"));
    for (const char* name : {"clip.mpg", "song.mp3", "movie.mov", "x.avi.mpg", "avi"})
        EXPECT_EQ(FrmSingle::deviceTypeFor(QString::fromLatin1(name)), QStringLiteral("MPEGVideo"));

    openFile(""); // cancelled: nothing happens
    EXPECT_EQ(m_dialogs.fileFilters, QStringList{QString::fromLatin1(FrmSingle::kFilter)});
    EXPECT_TRUE(m_mci->commands.isEmpty());
    EXPECT_EQ(buttons(), QStringLiteral("100000"));

    m_mci->results[QStringLiteral("open \"/v/CLIP.AVI\" type AviVideo Alias mpeg parent %1 "
                                  "Style 1073741824")
                       .arg(m_form->FrameVideo->winId())] = 267;
    openFile("/v/CLIP.AVI"); // enabled whether or not the open succeeds
    EXPECT_EQ(buttons(), QStringLiteral("011111"));
    EXPECT_EQ(m_mci->trimmed(),
              QStringList({QStringLiteral("open \"/v/CLIP.AVI\" type AviVideo Alias mpeg parent "
                                          "%1 Style 1073741824")
                               .arg(m_form->FrameVideo->winId()),
                           QStringLiteral("put mpeg window at 0 0 %1 %2")
                               .arg(m_form->FrameVideo->width())
                               .arg(m_form->FrameVideo->height())}));
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
}

TEST_F(Single, PlayStopPlayAgainAndSeekWithTheSlider) {
    openFile("/v/clip.mpg");
    m_mci->commands.clear();
    QTest::mouseClick(m_form->cmdPlay, Qt::LeftButton);
    EXPECT_EQ(m_mci->trimmed(), QStringList({"set mpeg time format frames", "status mpeg length",
                                             "play mpeg from 1 to 250",
                                             "set mpeg time format frames", "status mpeg length",
                                             "set mpeg time format frames", "status mpeg length"}));
    EXPECT_TRUE(m_form->sliTime->isEnabled());
    EXPECT_EQ(m_form->sliTime->maximum(), 250);
    EXPECT_TRUE(m_form->timTime->isActive());
    EXPECT_EQ(m_form->lblTotalTime->text(), QStringLiteral("Total Frames: 250"));

    m_form->timTime_Timer();
    EXPECT_EQ(m_form->sliTime->value(), 17);
    EXPECT_EQ(m_form->lblCurrentTime->text(), QStringLiteral("Current Frame: 17"));

    m_mci->commands.clear();
    QTest::mouseClick(m_form->cmdPause, Qt::LeftButton);
    QTest::mouseClick(m_form->cmdResume, Qt::LeftButton);
    EXPECT_TRUE(m_form->timTime->isActive());
    QTest::mouseClick(m_form->cmdStop, Qt::LeftButton);
    EXPECT_EQ(m_mci->commands, QStringList({"Pause mpeg", "Resume mpeg", "Stop mpeg"}));
    EXPECT_FALSE(m_form->timTime->isActive());
    EXPECT_FALSE(m_form->sliTime->isEnabled());
    EXPECT_EQ(m_form->sliTime->value(), 0);
    EXPECT_EQ(buttons(), QStringLiteral("011111"));
    EXPECT_EQ(m_form->lblCurrentTime->text(), QStringLiteral("Current Frame: 17"));

    m_mci->commands.clear();
    QTest::mouseClick(m_form->cmdPlay, Qt::LeftButton);
    EXPECT_EQ(m_mci->trimmed().at(2), QStringLiteral("play mpeg from 1 to 250"));
    EXPECT_TRUE(m_form->timTime->isActive());
    EXPECT_TRUE(m_form->sliTime->isEnabled());

    // The mouse on the slider seeks (MediaWindowTest, on a real clip); the keyboard moves it
    // but seeks nothing.
    m_mci->commands.clear();
    SeekSlider* s = m_form->sliTime;
    s->setFocus();
    QTest::keyClick(s, Qt::Key_Right);
    EXPECT_TRUE(m_mci->commands.isEmpty());
}

TEST_F(Single, CloseOpenAgainAndClosingTheWindowCloseTheDevice) {
    openFile("/v/a.mpg");
    QTest::mouseClick(m_form->cmdPlay, Qt::LeftButton);
    m_form->timTime_Timer();
    m_mci->commands.clear();
    QTest::mouseClick(m_form->cmdClose, Qt::LeftButton);
    EXPECT_EQ(m_mci->commands, QStringList{"Close mpeg"});
    EXPECT_EQ(buttons(), QStringLiteral("100000"));
    EXPECT_FALSE(m_form->timTime->isActive());
    EXPECT_FALSE(m_form->sliTime->isEnabled());
    EXPECT_EQ(m_form->sliTime->value(), 0);
    EXPECT_EQ(m_form->lblTotalTime->text(), QStringLiteral("Total Frames: 250"));
    openFile("/v/b.mpg");
    EXPECT_EQ(buttons(), QStringLiteral("011111"));
    EXPECT_EQ(m_form->lblCurrentTime->text(), QStringLiteral("Current Frame: 17"));

    QTest::mouseClick(m_form->cmdPlay, Qt::LeftButton);
    m_mci->commands.clear();
    m_form->close();
    EXPECT_EQ(m_mci->commands, QStringList{"Close mpeg"});
    EXPECT_FALSE(m_form->timTime->isActive());

    // Destroyed without a close event (the program's Exit): the device is closed all the same.
    QStringList sent;
    auto mci = std::make_unique<RecordingMci>();
    mci->sink = &sent;
    delete new FrmSingle(m_dialogs, std::move(mci));
    EXPECT_EQ(sent, QStringList{"Close mpeg"});
}

TEST_F(Single, ResizeKeepsTheMinimumAndMovesTheBottomRow) {
    // The minimum, framed by a window manager, is MediaWindowTest's.
    const QSize frame = m_form->frameGeometry().size() - m_form->size();
    m_form->resize(px(9000), 50); // one dimension at a time
    const QSize held(px(9000) + frame.width(), px(7950));
    EXPECT_TRUE(test::waitUntil([&] { return m_form->frameGeometry().size() == held; }, 2000))
        << m_form->frameGeometry().width() << " x " << m_form->frameGeometry().height();

    m_form->resize(QSize(px(9535), px(8950)) - frame);
    EXPECT_TRUE(test::waitUntil([&] { return m_form->cmdStop->y() == px(7480); }, 2000));
    for (QPushButton* b : {m_form->cmdOpen, m_form->cmdPlay, m_form->cmdPause, m_form->cmdStop,
                           m_form->cmdResume, m_form->cmdClose})
        EXPECT_EQ(b->y(), px(7480));
    EXPECT_EQ(m_form->lblCurrentTime->y(), px(8080));
    EXPECT_EQ(m_form->FrameVideo->geometry(), QRect(px(120), px(1080), px(9175), px(6300)));
    EXPECT_EQ(m_form->Label1->geometry(), QRect(px(120), px(600), px(8055), px(495)));
    EXPECT_EQ(m_form->sliTime->geometry(), QRect(0, 0, px(9535), px(375)));
    EXPECT_EQ(m_form->cmdStop->x(), px(4200));
}

TEST_F(Single, AMediaFileDroppedOpensAsOpenDoesAndNothingElseMayBeDropped) {
    const QDir dir(m_dir.path());
    for (const char* name : {"clip.MPG", "film.avi", "song.mp3.bak", "notes.txt", "other.mpg"})
        ASSERT_TRUE(test::writeFile(dir.filePath(QString::fromLatin1(name)), "x"));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("folder.mpg")));
    const auto drag = [&](const QStringList& names) {
        return test::dragAccepted(m_form, test::urlsIn(dir, names));
    };
    const auto drop = [&](const QStringList& names) {
        return test::dropAccepted(m_form, test::urlsIn(dir, names));
    };
    ASSERT_TRUE(m_form->acceptDrops());
    for (const QStringList& refused :
         {QStringList{"notes.txt"}, QStringList{"folder.mpg"}, QStringList{"missing.mpg"},
          QStringList{"clip.MPG", "film.avi"}, QStringList{"https://example.org/clip.mpg"}}) {
        EXPECT_FALSE(drag(refused)) << refused.join(',').toStdString();
        EXPECT_FALSE(drop(refused)) << refused.join(',').toStdString();
    }
    // The Open dialog's patterns ("*.mp3*") take a name that only starts like a medium's.
    EXPECT_TRUE(drag({"song.mp3.bak"}));
    QTest::qWait(50);
    EXPECT_TRUE(m_mci->commands.isEmpty());

    // Opened as Open does after its dialog: the device type by name, the picture placed, the
    // buttons of an open file.
    EXPECT_TRUE(drop({"film.avi"}));
    EXPECT_TRUE(test::waitUntil([&] { return !m_mci->commands.isEmpty(); }, 2000));
    EXPECT_EQ(m_mci->trimmed().value(0),
              QStringLiteral("open \"%1\" type AviVideo Alias mpeg parent %2 Style 1073741824")
                  .arg(dir.filePath("film.avi"))
                  .arg(m_form->FrameVideo->winId()));
    EXPECT_EQ(buttons(), QStringLiteral("011111"));
    // While a file is open there is no Open, and no drop.
    EXPECT_FALSE(drag({"other.mpg"}));
    QTest::mouseClick(m_form->cmdClose, Qt::LeftButton);
    m_mci->commands.clear();
    EXPECT_TRUE(drag({"clip.MPG"}));
    EXPECT_TRUE(drop({"clip.MPG"}));
    EXPECT_TRUE(test::waitUntil([&] { return !m_mci->commands.isEmpty(); }, 2000));
    EXPECT_TRUE(m_mci->trimmed().value(0).contains(QStringLiteral("type MPEGVideo")));
    EXPECT_TRUE(m_dialogs.messages.isEmpty());
    EXPECT_TRUE(m_dialogs.fileFilters.isEmpty()); // no file dialog
}

TEST_F(Single, FailuresShowTheErrorBoxAndNeverEscape) {
    openFile("/v/a.mpg");
    m_mci->throwing = true;
    for (QPushButton* b :
         {m_form->cmdPlay, m_form->cmdPause, m_form->cmdResume, m_form->cmdStop, m_form->cmdClose})
        QTest::mouseClick(b, Qt::LeftButton);
    m_form->timTime_Timer();
    EXPECT_EQ(m_dialogs.messages.size(), 6);
    EXPECT_EQ(m_dialogs.messages.value(0), QStringLiteral("There was an error"));
    // Steps before the failure stay done; none after it run.
    EXPECT_FALSE(m_form->timTime->isActive());
    EXPECT_TRUE(m_form->cmdClose->isEnabled());
    m_form->close(); // unload reports nothing
    EXPECT_EQ(m_dialogs.messages.size(), 6);
}

} // namespace
} // namespace kavelo
