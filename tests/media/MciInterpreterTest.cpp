// The command interpreter over fake devices: parsing, aliases, drivers, the failures a user can
// meet; and, on the offscreen platform, real video failing for want of a display.
#include "MciInterpreter.h"

#include "MediaFixtures.h"
#include "Profile.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

struct FakeDevice final : public IMciDevice {
    QStringList* log;
    qint64 len = 100;
    explicit FakeDevice(QStringList* l) : log(l) {}
    MciError note(const QString& s) {
        *log << s;
        return MciError::None;
    }
    static QString opt(std::optional<qint64> v) { return v ? QString::number(*v) : "-"; }
    MciError play(std::optional<qint64> f, std::optional<qint64> t) override {
        return note(QStringLiteral("play %1 %2").arg(opt(f), opt(t)));
    }
    MciError pause() override { return note("pause"); }
    MciError resume() override { return note("resume"); }
    MciError stop() override { return note("stop"); }
    MciError seek(qint64 to) override { return note(QStringLiteral("seek %1").arg(to)); }
    MciError putWindow(const QRect& r) override {
        return note(
            QStringLiteral("put %1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
    }
    MciError setTimeFormat(TimeFormat f) override {
        return note(f == TimeFormat::Frames ? "frames" : "ms");
    }
    MciError length(qint64* v) override { return *v = len, MciError::None; }
    MciError position(qint64* v) override { return *v = 42, MciError::None; }
    QString mode() override { return QStringLiteral("playing"); }
};

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        test::useProfileFolder(m_dir.filePath(QStringLiteral("config")));
        m_file = m_dir.filePath(QStringLiteral("my type alias clip.mpg"));
        ASSERT_TRUE(test::writeFile(m_file, "data"));
    }

    MciInterpreter make() {
        return MciInterpreter([this](const OpenRequest& r, MciError* e) {
            requests.push_back(r);
            if (factoryError != MciError::None) {
                *e = factoryError;
                return std::unique_ptr<IMciDevice>();
            }
            return std::unique_ptr<IMciDevice>(std::make_unique<FakeDevice>(&log));
        });
    }
    MciError send(IMci& mci, const QString& command, QString* reply = nullptr, int length = 255) {
        return static_cast<MciError>(mci.sendString(command, reply, length));
    }
    QString openText(const char* rest = "type MPEGVideo alias mpeg") const {
        return QStringLiteral("open \"%1\" %2").arg(m_file, QLatin1String(rest));
    }

    QTemporaryDir m_dir;
    QString m_file;
    QStringList log;
    std::vector<OpenRequest> requests;
    MciError factoryError = MciError::None;
};

TEST_F(Interpreter, OpensQuotedNamesWithTheirDriverAndParent) {
    QWidget parent;
    const WId id = parent.winId();
    MciInterpreter mci = make();
    ASSERT_EQ(send(mci, QStringLiteral("OPEN \"%1\" Type mpegvideo ALIAS Mpeg parent %2 "
                                       "Style 1073741824")
                            .arg(m_file)
                            .arg(id)
                            .leftJustified(255, QLatin1Char(' '))),
              MciError::None);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, m_file);
    EXPECT_EQ(requests[0].deviceType, QStringLiteral("mpegvideo"));
    EXPECT_EQ(requests[0].driver, QStringLiteral("mciqtz.drv"));
    EXPECT_EQ(requests[0].parent, &parent);
    EXPECT_EQ(mci.aliases(), QStringList{QStringLiteral("mpeg")});

    // AviVideo finds the "avivideo" entry; the same alias cannot be opened twice.
    EXPECT_EQ(send(mci, openText("type AviVideo alias MPEG")), MciError::AliasInUse);
    EXPECT_EQ(send(mci, openText("type AviVideo alias other")), MciError::None);
    EXPECT_EQ(requests.back().driver, QStringLiteral("mciavi.drv"));
    EXPECT_EQ(send(mci, QStringLiteral("close all")), MciError::None);
    EXPECT_TRUE(mci.aliases().isEmpty());
}

TEST_F(Interpreter, DriverComesFromTheProfile) {
    MciInterpreter mci = make();
    const QString ini = systemProfilePath();
    writePrivateProfileString("MCI", "MPEGVideo", "MCIQTZ.DRV", ini);
    EXPECT_EQ(send(mci, openText()), MciError::None); // driver names ignore case
    send(mci, QStringLiteral("close mpeg"));
    writePrivateProfileString("MCI", "MPEGVideo", "other.drv", ini);
    EXPECT_EQ(send(mci, openText()), MciError::NoDriver);
    EXPECT_EQ(send(mci, openText("type CDAudio alias mpeg")), MciError::NoDriver);
    QFile::remove(ini);
    EXPECT_EQ(send(mci, openText()), MciError::NoDriver);
    EXPECT_EQ(requests.size(), 1u);
}

// The media window sends one form of each command (ModuleMPEGTest, MediaDevicesTest); here,
// what reaches it from outside: names of files that are gone or are folders, positions past the
// medium's length, a device that cannot play, and strings too long for any buffer. Random
// command texts are the fuzz target's.
TEST_F(Interpreter, RefusesWhatCannotBeOpenedOrReachedWithACode) {
    MciInterpreter mci = make();
    const QString dir = QStringLiteral("open \"%1").arg(m_dir.path());
    for (const QString& command :
         {dir + "/none.mpg\" type MPEGVideo alias a", dir + "\" type MPEGVideo alias a"})
        EXPECT_EQ(send(mci, command), MciError::FileNotFound) << command.toStdString();
    EXPECT_EQ(send(mci, QStringLiteral("open \"\" type MPEGVideo alias a")),
              MciError::MissingValue);
    factoryError = MciError::CannotPlay;
    EXPECT_EQ(send(mci, openText()), MciError::CannotPlay);
    EXPECT_TRUE(mci.aliases().isEmpty());

    factoryError = MciError::None;
    ASSERT_EQ(send(mci, openText()), MciError::None);
    for (const char* command : {"play mpeg from 1 to 101", "play mpeg from 9 to 3",
                                "seek mpeg to 101", "seek mpeg to -1"}) {
        QString reply = QStringLiteral("stale");
        EXPECT_EQ(send(mci, QString::fromLatin1(command), &reply), MciError::OutOfRange) << command;
        EXPECT_EQ(reply, QString()) << command;
    }
    EXPECT_EQ(send(mci, QStringLiteral("play other")), MciError::UnknownAlias);
    const QString huge = QStringLiteral("play mpeg from ") + QString(1 << 20, QLatin1Char('9'));
    EXPECT_EQ(send(mci, huge), MciError::BadNumber);
    EXPECT_EQ(send(mci, QString(1 << 20, QLatin1Char('"'))), MciError::BadQuotes);
    EXPECT_EQ(send(mci, QString(1 << 20, QLatin1Char(' '))), MciError::EmptyCommand);
    QString reply;
    EXPECT_EQ(send(mci, QStringLiteral("status mpeg mode"), &reply, 5), MciError::None);
    EXPECT_EQ(reply, QStringLiteral("play")); // cut to the reply length less one
    EXPECT_TRUE(mci.getErrorString(257, &reply, 6));
    EXPECT_EQ(reply.size(), 5);
}

TEST_F(Interpreter, VideoWithoutADisplayFailsWithACode) {
    ASSERT_TRUE(test::makeMedia(m_dir.path()));
    QWidget parent;
    MciInterpreter mci;
    const auto open = [&](const char* file) {
        return send(mci, QStringLiteral("open \"%1\" type MPEGVideo alias %2 parent %3")
                             .arg(m_dir.filePath(QString::fromLatin1(file)))
                             .arg(QString::fromLatin1(file).section('.', 1))
                             .arg(parent.winId()));
    };
    EXPECT_EQ(open("clip.mpg"), MciError::NoDisplay);
    EXPECT_EQ(open("clip.avi"), MciError::NoDisplay);
    EXPECT_EQ(open("clip.wav"), MciError::None); // sound needs no display
    EXPECT_EQ(mci.aliases(), QStringList{QStringLiteral("wav")});

    // Not media at all.
    ASSERT_TRUE(test::writeFile(m_dir.filePath("junk.mpg"), QByteArray(4096, '\x5a')));
    EXPECT_EQ(open("junk.mpg"), MciError::CannotPlay);
    ASSERT_TRUE(
        test::writeFile(m_dir.filePath("bad.mid"), QByteArray("MThd\0\0\0\6\0\0\0\1\0\0", 14)));
    EXPECT_EQ(open("bad.mid"), MciError::CannotPlay);
}

} // namespace
} // namespace kavelo
