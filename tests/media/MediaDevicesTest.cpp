// Real media through the real interpreter and devices, under Xvfb: pictures inside a window,
// exact frames, ranges, audio-only media in milliseconds, MIDI through the soundfont.
#include "MciInterpreter.h"
#include "MediaFixtures.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <random>

namespace kavelo {
namespace {

class MediaDevices : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(s_dir->isValid());
        test::useProfileFolder(s_dir->filePath(QStringLiteral("config")));
        ASSERT_TRUE(test::makeMedia(s_dir->path()));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override {
        m_host.resize(400, 300);
        m_frame = new QWidget(&m_host);
        m_frame->setGeometry(10, 10, 320, 240);
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    static QString media(const char* name) { return s_dir->filePath(QString::fromLatin1(name)); }

    std::uint32_t send(IMci& mci, const QString& command, QString* reply = nullptr) {
        return mci.sendString(command, reply, 255);
    }
    QString status(IMci& mci, const char* item) {
        QString reply;
        const std::uint32_t r =
            send(mci, QStringLiteral("status m %1").arg(QLatin1String(item)), &reply);
        return r == 0 ? reply : QStringLiteral("error %1").arg(r);
    }
    QString openCommand(const char* file, const char* type = "MPEGVideo") {
        return QStringLiteral("open \"%1\" type %2 alias m parent %3 style 1073741824")
            .arg(media(file), QLatin1String(type))
            .arg(m_frame->winId());
    }
    // Sends `command` and, when it succeeds, answers the status `item` after it.
    QString then(IMci& mci, const QString& command, const char* item) {
        const std::uint32_t r = send(mci, command);
        return r == 0 ? status(mci, item) : QStringLiteral("error %1").arg(r);
    }
    MciError error(IMci& mci, const char* command) {
        return static_cast<MciError>(send(mci, QString::fromLatin1(command)));
    }
    // Waits until the device stops by itself.
    bool waitStopped(IMci& mci, int ms) {
        return test::waitUntil([&] { return status(mci, "mode") == QLatin1String("stopped"); }, ms);
    }

    static inline QTemporaryDir* s_dir = nullptr;
    QWidget m_host;
    QWidget* m_frame = nullptr;
};

TEST_F(MediaDevices, VideoClipsCountSeekAndPlayExactFrames) {
    std::mt19937 random(20240601);
    const std::pair<const char*, const char*> clips[] = {
        {"clip.mpg", "MPEGVideo"}, {"clip.avi", "AviVideo"}, {"clip.mov", "MPEGVideo"}};
    for (const auto& [file, type] : clips) {
        SCOPED_TRACE(file);
        MciInterpreter mci;
        ASSERT_EQ(send(mci, openCommand(file, type)), 0u);

        // The picture is a child of the frame, placed where the put command says.
        EXPECT_EQ(send(mci, "put m window at 0 0 320 240"), 0u);
        const QList<QWidget*> pictures = m_frame->findChildren<QWidget*>();
        ASSERT_EQ(pictures.size(), 1);
        EXPECT_EQ(pictures[0]->geometry(), QRect(0, 0, 320, 240));
        EXPECT_TRUE(pictures[0]->isVisible());

        EXPECT_EQ(then(mci, "set m time format frames", "length"), QStringLiteral("50"));
        EXPECT_EQ(status(mci, "mode"), QStringLiteral("stopped"));

        for (int i = 0; i < 8; ++i) {
            const int n = std::uniform_int_distribution<int>(0, 49)(random);
            EXPECT_EQ(then(mci, QStringLiteral("seek m to %1").arg(n), "position"),
                      QString::number(n));
        }

        // At the end the position is the length; reaching it costs no wait.
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(then(mci, "seek m to end", "position"), QStringLiteral("50"));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(then(mci, "seek m to start", "position"), QStringLiteral("0"));

        // A range stops on its last frame; play on goes from there.
        ASSERT_EQ(then(mci, "play m from 5 to 12", "mode"), QStringLiteral("playing"));
        ASSERT_TRUE(waitStopped(mci, 5000));
        EXPECT_EQ(status(mci, "position"), QStringLiteral("12"));
        ASSERT_EQ(send(mci, "Play m"), 0u);
        EXPECT_TRUE(test::waitUntil([&] { return status(mci, "position").toInt() > 12; }, 5000));
        EXPECT_EQ(then(mci, "Pause m", "mode"), QStringLiteral("paused"));
        const QString held = status(mci, "position");
        QTest::qWait(150);
        EXPECT_EQ(status(mci, "position"), held);
        EXPECT_EQ(then(mci, "Resume m", "mode"), QStringLiteral("playing"));
        EXPECT_EQ(then(mci, "Stop m", "mode"), QStringLiteral("stopped"));

        EXPECT_EQ(send(mci, "Close m"), 0u);
        EXPECT_TRUE(mci.aliases().isEmpty());
        EXPECT_TRUE(m_frame->findChildren<QWidget*>().isEmpty());
        EXPECT_EQ(error(mci, "status m mode"), MciError::UnknownAlias);
    }
}

TEST_F(MediaDevices, APictureWindowDestroyedUnderThePlayerEndsItQuietly) {
    MciInterpreter mci;
    ASSERT_EQ(send(mci, openCommand("clip.avi", "AviVideo")), 0u);
    ASSERT_EQ(send(mci, "play m"), 0u);
    QTest::qWait(200);
    delete m_frame;
    m_frame = nullptr;
    QTest::qWait(100);
    EXPECT_EQ(error(mci, "seek m to 3"), MciError::EngineFailed);
    EXPECT_EQ(status(mci, "mode"), QStringLiteral("stopped"));
    EXPECT_EQ(send(mci, "close m"), 0u);
}

TEST_F(MediaDevices, SoundWithoutPicturesCountsMilliseconds) {
    for (const char* file : {"clip.wav", "clip.mp3"}) {
        SCOPED_TRACE(file);
        MciInterpreter mci;
        ASSERT_EQ(send(mci, openCommand(file)), 0u);
        EXPECT_EQ(error(mci, "set m time format frames"), MciError::NoFrames);
        EXPECT_EQ(error(mci, "put m window at 0 0 10 10"), MciError::NoPicture);
        EXPECT_NEAR(status(mci, "length").toInt(), 1500, 60);
        EXPECT_TRUE(m_frame->findChildren<QWidget*>().isEmpty() ||
                    !m_frame->findChildren<QWidget*>()[0]->isVisible());
        EXPECT_NEAR(then(mci, "seek m to 1000", "position").toInt(), 1000, 30);
        ASSERT_EQ(send(mci, "play m from 200 to 700"), 0u);
        ASSERT_TRUE(waitStopped(mci, 5000));
        EXPECT_NEAR(status(mci, "position").toInt(), 700, 60);
        EXPECT_EQ(send(mci, "close m"), 0u);
    }
}

TEST_F(MediaDevices, MidiPlaysThroughTheSoundfont) {
    const QString wav = s_dir->filePath(QStringLiteral("midi-out.wav"));
    MediaOptions options;
    options.midiSoundFile = wav;
    {
        MciInterpreter mci(mediaDeviceFactory(options));
        ASSERT_EQ(send(mci, openCommand("song.mid")), 0u);
        EXPECT_EQ(error(mci, "set m time format frames"), MciError::NoFrames);
        EXPECT_EQ(status(mci, "length"), QStringLiteral("3000"));
        EXPECT_EQ(status(mci, "position"), QStringLiteral("0"));
        ASSERT_EQ(then(mci, "play m", "mode"), QStringLiteral("playing"));
        EXPECT_TRUE(test::waitUntil([&] { return status(mci, "position").toInt() > 400; }, 5000));
        const int played = status(mci, "position").toInt();
        EXPECT_LT(played, 3000); // still playing, not at the end
        const QString held = then(mci, "pause m", "position");
        QTest::qWait(200);
        EXPECT_EQ(status(mci, "position"), held);
        // Seeking into the slower second half: 2500 ms is half way through its last note.
        EXPECT_EQ(then(mci, "seek m to 2500", "position"), QStringLiteral("2500"));
        ASSERT_EQ(send(mci, "play m"), 0u);
        ASSERT_TRUE(waitStopped(mci, 3000));
        EXPECT_EQ(status(mci, "position"), QStringLiteral("3000"));
        ASSERT_EQ(send(mci, "play m from 0 to 600"), 0u);
        ASSERT_TRUE(waitStopped(mci, 3000));
        EXPECT_NEAR(status(mci, "position").toInt(), 600, 40);
        EXPECT_EQ(send(mci, "close m"), 0u);
    }
    {
        // FluidSynth is loaded only now; where it cannot be, the open fails and nothing stays.
        MediaOptions missing = options;
        missing.midiLibrary = s_dir->filePath(QStringLiteral("no-such-synth.so"));
        MciInterpreter mci(mediaDeviceFactory(missing));
        EXPECT_EQ(static_cast<MciError>(send(mci, openCommand("song.mid"))),
                  MciError::EngineFailed);
        EXPECT_EQ(error(mci, "close m"), MciError::UnknownAlias);
    }
    // The notes were rendered with the soundfont: the file holds sound, not silence.
    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    ASSERT_GT(data.size(), 44 + 44100);
    int loud = 0;
    for (qsizetype i = 44; i + 1 < data.size(); i += 2) {
        const auto sample = static_cast<qint16>((quint8(data[i + 1]) << 8) | quint8(data[i]));
        if (std::abs(sample) > 100)
            ++loud;
    }
    EXPECT_GT(loud, 10000);
}

// A crafted file whose 2.1 million longest waits at the slowest tempo last 9.46e18 ms: its
// length is clamped to what a 32-bit count of milliseconds carries, and it still plays.
TEST_F(MediaDevices, AnEndlessMidiFileIsClampedAndPlays) {
    QByteArray track;
    track.append("\x00\xff\x51\x03\xff\xff\xff", 7); // 16.8 s a quarter note
    track.append("\x00\x90\x3c\x40", 4);
    for (int i = 0; i < 2'100'000; ++i)
        track.append("\xff\xff\xff\x7f\x3c\x40", 6); // 2^28 - 1 ticks, running status
    track.append("\x00\xff\x2f\x00", 4);
    QByteArray file("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x01MTrk", 18); // 1 tick/quarter
    for (int shift = 24; shift >= 0; shift -= 8)
        file.append(static_cast<char>((track.size() >> shift) & 0xff));
    file.append(track);
    ASSERT_TRUE(test::writeFile(media("endless.mid"), file));

    MediaOptions options;
    options.midiSoundFile = s_dir->filePath(QStringLiteral("endless-out.wav"));
    MciInterpreter mci(mediaDeviceFactory(options));
    ASSERT_EQ(send(mci, openCommand("endless.mid")), 0u);
    EXPECT_EQ(status(mci, "length"), QStringLiteral("2147483647"));
    EXPECT_EQ(then(mci, "play m from 0", "mode"), QStringLiteral("playing"));
    const qint64 at = status(mci, "position").toLongLong();
    EXPECT_TRUE(at >= 0 && at < 10000) << at;
    EXPECT_EQ(then(mci, "seek m to end", "position"), QStringLiteral("2147483647"));
    EXPECT_EQ(then(mci, "play m from 2147483000", "mode"), QStringLiteral("playing"));
    EXPECT_TRUE(test::waitUntil( // a tick is 16.8 s
        [&] { return status(mci, "position").toLongLong() > 2147483000 - 17000; }, 3000));
    EXPECT_EQ(send(mci, "close m"), 0u);
}

} // namespace
} // namespace kavelo
