// ModuleMPEG against a recording command layer, and the driver table in a temporary profile.
#include "ModuleMPEG.h"

#include "MediaFixtures.h"
#include "Profile.h"
#include "RecordingMci.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <tuple>

namespace kavelo {
namespace {

using test::RecordingMci;

TEST(ModuleMPEG, CommandTextsResultsSeekPlayAndQueries) {
    RecordingMci mci;
    ModuleMPEG m(mci);
    EXPECT_EQ(m.mClose(), QStringLiteral("Success"));
    EXPECT_EQ(m.mPause(), QStringLiteral("Success"));
    EXPECT_EQ(m.mStop(), QStringLiteral("Success"));
    mci.results[QStringLiteral("Resume mpeg")] = 264;
    EXPECT_EQ(m.mResume(), QStringLiteral("error text 264"));
    EXPECT_EQ(mci.commands, QStringList({"Close mpeg", "Pause mpeg", "Stop mpeg", "Resume mpeg"}));
    EXPECT_EQ(mci.replyLengths, QList<int>({0, 0, 0, 0}));

    // Seek-play sends play even after a failed seek.
    mci.commands.clear();
    EXPECT_EQ(m.mSeekPlay(0), QStringLiteral("Success"));
    mci.results[QStringLiteral("seek mpeg to 77")] = 262;
    mci.results[QStringLiteral("Play mpeg")] = 264;
    EXPECT_EQ(m.mSeekPlay(77), QStringLiteral("error text 262"));
    EXPECT_EQ(mci.commands,
              QStringList({"seek mpeg to 0", "Play mpeg", "seek mpeg to 77", "Play mpeg"}));

    // Queries read the leading number.
    const std::pair<const char*, std::int32_t> replies[] = {
        {"1234", 1234},      {"abc", 0}, {"", 0},      {"12.5", 12},       {"13.5", 14},
        {"  77 frames", 77}, {"-3", -3}, {"5e2", 500}, {"99999999999", -1}};
    for (const auto& [reply, value] : replies) {
        mci.replies[QStringLiteral("status mpeg position")] = QString::fromLatin1(reply);
        EXPECT_EQ(m.mCurrentFrame(), value) << reply;
    }
    mci.results[QStringLiteral("status mpeg position")] = 264;
    EXPECT_EQ(m.mCurrentFrame(), -1);
    mci.results[QStringLiteral("status mpeg length")] = 264;
    EXPECT_EQ(m.mTotalFrames(), -1);
    EXPECT_EQ(mci.commands.last(), QStringLiteral("status mpeg length"));
}

TEST(ModuleMPEG, OpenQuotesTheWholePathAndPadsWithoutCutting) {
    RecordingMci mci;
    ModuleMPEG m(mci);
    EXPECT_EQ(m.mOpen(4242, QStringLiteral("/media/my type alias.mpg"), "MPEGVideo"),
              QStringLiteral("Success"));
    ASSERT_EQ(mci.commands.size(), 1);
    EXPECT_EQ(mci.commands[0].size(), 255);
    EXPECT_EQ(mci.commands[0].trimmed(),
              QStringLiteral("open \"/media/my type alias.mpg\" type MPEGVideo Alias mpeg parent "
                             "4242 Style 1073741824"));
    EXPECT_EQ(m.ParentWindow(), WId(4242));

    const QString longPath = QStringLiteral("/") + QString(300, QLatin1Char('d')) + "/clip.avi";
    m.mOpen(7, longPath, QStringLiteral("AviVideo"));
    EXPECT_EQ(mci.commands[1], QStringLiteral("open \"%1\" type AviVideo Alias mpeg parent 7 "
                                              "Style 1073741824")
                                   .arg(longPath));

    // A quote inside the name is refused before anything is sent.
    EXPECT_EQ(m.mOpen(9, QStringLiteral("/m/a\" type x alias y \".mpg"), "MPEGVideo"),
              QStringLiteral("error text %1").arg(static_cast<int>(MciError::QuoteInName)));
    EXPECT_EQ(mci.commands.size(), 2);
    EXPECT_EQ(m.ParentWindow(), WId(9));
}

TEST(ModuleMPEG, PlayDecidesItsRangeFourWays) {
    RecordingMci mci;
    mci.replies[QStringLiteral("status mpeg length")] = QStringLiteral("1234");
    ModuleMPEG m(mci);
    m.mPlay(QString(), QString());
    EXPECT_EQ(mci.trimmed(), QStringList({"set mpeg time format frames", "status mpeg length",
                                          "play mpeg from 1 to 1234"}));
    EXPECT_EQ(mci.commands.last().size(), 255);
    EXPECT_EQ(mci.replyLengths, QList<int>({255, 255, 0}));
    EXPECT_EQ(m.PlayFrom(), 1);
    EXPECT_EQ(m.PlayTo(), 1234);

    mci.commands.clear();
    m.mPlay(QStringLiteral("10"), QStringLiteral("20"));
    m.mPlay(QStringLiteral("2.5"), QString());
    m.mPlay(QString(), QStringLiteral("3.5"));
    EXPECT_EQ(mci.trimmed(), QStringList({"play mpeg from 10 to 20", "set mpeg time format frames",
                                          "status mpeg length", "play mpeg from 2 to 1234",
                                          "play mpeg from 1 to 4"}));

    // A failed length plays to -1.
    mci.commands.clear();
    mci.results[QStringLiteral("status mpeg length")] = 264;
    EXPECT_EQ(m.mPlay(QString(), QString()), QStringLiteral("Success"));
    EXPECT_EQ(mci.commands.last().trimmed(), QStringLiteral("play mpeg from 1 to -1"));

    mci.commands.clear();
    EXPECT_THROW(m.mPlay(QStringLiteral("ten"), QString()), MediaNumberError);
    EXPECT_THROW(m.mPlay(QString(), QStringLiteral("9999999999")), MediaNumberError);
    EXPECT_TRUE(mci.commands.isEmpty());
}

TEST(ModuleMPEG, PutWindowFillsAZeroSizeFromTheParent) {
    QWidget top;
    top.resize(600, 500);
    auto* frame = new QWidget(&top);
    frame->setGeometry(8, 72, 545, 353);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));

    RecordingMci mci;
    ModuleMPEG m(mci);
    m.mOpen(frame->winId(), QStringLiteral("/x.mpg"), QStringLiteral("MPEGVideo"));
    std::int32_t x = 0, y = 0, w = 0, h = 0;
    EXPECT_EQ(m.mPutWindow(x, y, w, h), QStringLiteral("Success"));
    EXPECT_EQ(mci.commands.last(), QStringLiteral("put mpeg window at 0 0 545 353"));
    EXPECT_EQ(w, 545);
    EXPECT_EQ(h, 353);

    std::tie(x, w, h) = std::tuple(3, 0, 10);
    m.mPutWindow(x, y, w, h);
    EXPECT_EQ(mci.commands.last(), QStringLiteral("put mpeg window at 3 0 545 353"));
    std::tie(w, h) = std::tuple(20, 10);
    m.mPutWindow(x, y, w, h);
    EXPECT_EQ(mci.commands.last(), QStringLiteral("put mpeg window at 3 0 20 10"));
}

TEST(ModuleMPEG, DriverTableIsMendedOnlyWhereWrong) {
    QTemporaryDir dir;
    test::useProfileFolder(dir.path(), false);
    RecordingMci mci;
    ModuleMPEG m(mci);
    EXPECT_EQ(m.ReadMCIDriver(QStringLiteral("MPEGVideo")), QStringLiteral("None"));
    const std::pair<QByteArray, QByteArray> cases[] = {
        // Missing entries are written.
        {"<missing>", "[MCI]\nMPEGVideo=mciqtz.drv\navivideo=mciavi.drv\n"},
        // A difference in case is rewritten.
        {"[mci]\r\nMPEGVideo=MCIQTZ.DRV\r\navivideo=mciavi.drv\r\n",
         "[mci]\r\nMPEGVideo=mciqtz.drv\r\navivideo=mciavi.drv\r\n"},
        // Right entries are left alone.
        {"; mine\n[MCI]\nmpegvideo = mciqtz.drv\nAVIVIDEO=mciavi.drv",
         "; mine\n[MCI]\nmpegvideo = mciqtz.drv\nAVIVIDEO=mciavi.drv"},
        // Another avi driver is replaced alone.
        {"[MCI]\nMPEGVideo=mciqtz.drv\navivideo=other.drv\n[x]\ny=1\n",
         "[MCI]\nMPEGVideo=mciqtz.drv\navivideo=mciavi.drv\n[x]\ny=1\n"}};
    for (const auto& [before, after] : cases) {
        QFile::remove(systemProfilePath());
        if (before != "<missing>") {
            QDir().mkpath(profileDirectory());
            ASSERT_TRUE(test::writeFile(systemProfilePath(), before));
        }
        m.CheckMCIDrivers();
        EXPECT_EQ(test::readFile(systemProfilePath()), after) << before.toStdString();
    }
    EXPECT_TRUE(mci.commands.isEmpty());
}

} // namespace
} // namespace kavelo
