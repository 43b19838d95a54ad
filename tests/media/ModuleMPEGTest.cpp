// ModuleMPEG against a recording command layer, and the driver table in a temporary profile.
// Placing the picture in its frame is FrmSingleTest's.
#include "ModuleMPEG.h"

#include "MediaFixtures.h"
#include "Profile.h"
#include "RecordingMci.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

using test::RecordingMci;

// The commands each button sends are FrmSingleTest's; here, how failures and replies are read.
TEST(ModuleMPEG, FailuresAndRepliesSeekPlayAndQueries) {
    RecordingMci mci;
    ModuleMPEG m(mci);
    mci.results[QStringLiteral("Resume mpeg")] = 264;
    EXPECT_EQ(m.mResume(), QStringLiteral("error text 264"));

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
        {"1234", 1234}, {"abc", 0}, {"", 0}, {"99999999999", -1}};
    for (const auto& [reply, value] : replies) {
        mci.replies[QStringLiteral("status mpeg position")] = QString::fromLatin1(reply);
        EXPECT_EQ(m.mCurrentFrame(), value) << reply;
    }
    mci.results[QStringLiteral("status mpeg position")] = 264;
    EXPECT_EQ(m.mCurrentFrame(), -1);
    // A failed length plays to -1.
    mci.results[QStringLiteral("status mpeg length")] = 264;
    EXPECT_EQ(m.mTotalFrames(), -1);
    EXPECT_EQ(m.mPlay(QString(), QString()), QStringLiteral("Success"));
    EXPECT_EQ(mci.commands.last().trimmed(), QStringLiteral("play mpeg from 1 to -1"));
}

TEST(ModuleMPEG, OpenKeepsALongPathWholeAndRefusesAQuoteInIt) {
    RecordingMci mci;
    ModuleMPEG m(mci);
    const QString longPath = QStringLiteral("/") + QString(300, QLatin1Char('d')) + "/clip.avi";
    m.mOpen(7, longPath, QStringLiteral("AviVideo"));
    EXPECT_EQ(mci.commands.value(0), QStringLiteral("open \"%1\" type AviVideo Alias mpeg parent 7 "
                                                    "Style 1073741824")
                                         .arg(longPath));

    // A quote inside the name is refused before anything is sent.
    EXPECT_EQ(m.mOpen(9, QStringLiteral("/m/a\" type x alias y \".mpg"), "MPEGVideo"),
              QStringLiteral("error text %1").arg(static_cast<int>(MciError::QuoteInName)));
    EXPECT_EQ(mci.commands.size(), 1);
}

TEST(ModuleMPEG, DriverTableIsMendedOnlyWhereWrong) {
    QTemporaryDir dir;
    test::useProfileFolder(dir.path(), false);
    RecordingMci mci;
    ModuleMPEG m(mci);
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
