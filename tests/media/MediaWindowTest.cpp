// The media file window with its real devices under Xvfb and openbox: a clip plays with its
// picture in the frame and the counter running, the slider seeks, a MIDI file plays; the resize
// rule counts the window manager's frame in.
#include "Controls.h"
#include "FakeDialogs.h"
#include "FrmSingle.h"
#include "MediaFixtures.h"
#include "Screenshots.h"
#include "Waiting.h"
#include "XWindows.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::FakeDialogs;

int counter(const QLabel* label) {
    return label->text().section(QLatin1Char(' '), -1).toInt();
}

TEST(MediaWindow, UnderAFrameTheResizeRuleWorksFromTheOuterSize) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::useProfileFolder(dir.filePath(QStringLiteral("config")), false);
    FakeDialogs dialogs;
    FrmSingle form(dialogs);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The designed window is smaller than the rule's minimum outer size, 8535 × 7950 twips
    // (569 × 530 pixels) frame included: it opens at that size, with the bottom row where the
    // rule puts it for that outer height.
    std::optional<test::XFrame> f;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            f = test::measureFrame(form.winId());
            return f && f->outer().size() == QSize(569, 530) && form.cmdOpen->y() == 432;
        },
        10000))
        << (f ? f->outer().width() : 0) << "x" << (f ? f->outer().height() : 0) << " buttons at "
        << form.cmdOpen->y();
    ASSERT_TRUE(f);
    EXPECT_GT(f->frame.top(), 0);
    EXPECT_EQ(form.lblCurrentTime->y(), 472);            // 7950 - 870 twips
    EXPECT_EQ(form.FrameVideo->size(), QSize(545, 353)); // 8535 - 360, 7950 - 2650
    EXPECT_EQ(form.sliTime->width(), 569);               // the outer width
    EXPECT_EQ(form.cmdStop->y(), form.cmdOpen->y());
    test::saveScreen("media-framed.png");
}

TEST(MediaWindow, PlaysAClipWithItsPictureSeeksAndPlaysMidi) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::useProfileFolder(dir.filePath(QStringLiteral("config")), false);
    ASSERT_TRUE(test::makeMedia(dir.path()));

    FakeDialogs dialogs;
    FrmSingle form(dialogs);
    form.move(20, 20);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    dialogs.fileAnswers = {dir.filePath(QStringLiteral("clip.mpg"))};
    QTest::mouseClick(form.cmdOpen, Qt::LeftButton);
    EXPECT_FALSE(form.cmdOpen->isEnabled());
    QWidget* picture = form.FrameVideo->findChild<QWidget*>();
    ASSERT_NE(picture, nullptr); // the drivers were written on load, so the open worked
    EXPECT_EQ(picture->geometry(), QRect(QPoint(0, 0), form.FrameVideo->size()));

    QTest::mouseClick(form.cmdPlay, Qt::LeftButton);
    EXPECT_EQ(form.lblTotalTime->text(), QStringLiteral("Total Frames: 50"));
    EXPECT_EQ(form.sliTime->maximum(), 50);
    EXPECT_TRUE(test::waitUntil([&] { return counter(form.lblCurrentTime) > 5; }, 5000));
    EXPECT_LE(counter(form.lblCurrentTime), 50);
    test::saveScreen("media-playing.png");

    // The picture is the clip's test pattern, not a black frame.
    EXPECT_GT(test::litPixels(test::grabOnScreen(form.FrameVideo), 60, 8), 100);

    // Press, drag to a quarter of the way, release: the clip goes on from there.
    QTest::mouseClick(form.cmdPause, Qt::LeftButton);
    SeekSlider* s = form.sliTime;
    const int y = s->height() / 2;
    QTest::mousePress(s, Qt::LeftButton, {}, QPoint(s->width() / 4, y));
    EXPECT_FALSE(form.timTime->isActive());
    QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(s->width() / 4, y));
    const int target = s->value();
    EXPECT_TRUE(form.timTime->isActive());
    // The counter moves on from where the pause held it, to the seek's frame and on.
    const int held = counter(form.lblCurrentTime);
    EXPECT_TRUE(test::waitUntil([&] { return counter(form.lblCurrentTime) != held; }, 5000));
    EXPECT_GE(counter(form.lblCurrentTime), target);
    EXPECT_LE(counter(form.lblCurrentTime), target + 25);
    test::saveScreen("media-seeked.png");

    QTest::mouseClick(form.cmdStop, Qt::LeftButton);
    QTest::mouseClick(form.cmdClose, Qt::LeftButton);
    EXPECT_EQ(form.FrameVideo->findChild<QWidget*>(), nullptr);

    dialogs.fileAnswers = {dir.filePath(QStringLiteral("song.mid"))};
    QTest::mouseClick(form.cmdOpen, Qt::LeftButton);
    QTest::mouseClick(form.cmdPlay, Qt::LeftButton);
    // MIDI counts milliseconds: the "frames" are the song's 3000 ms.
    EXPECT_EQ(form.lblTotalTime->text(), QStringLiteral("Total Frames: 3000"));
    EXPECT_TRUE(test::waitUntil([&] { return counter(form.lblCurrentTime) > 300; }, 5000));
    test::saveScreen("media-midi.png");
    QTest::mouseClick(form.cmdClose, Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A window destroyed while it plays (the program's Exit) takes its device with it.
    auto* other = new FrmSingle(dialogs);
    other->show();
    dialogs.fileAnswers = {dir.filePath(QStringLiteral("clip.avi"))};
    QTest::mouseClick(other->cmdOpen, Qt::LeftButton);
    QTest::mouseClick(other->cmdPlay, Qt::LeftButton);
    QTest::qWait(300);
    delete other;
    QTest::qWait(100);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

} // namespace
} // namespace kavelo
