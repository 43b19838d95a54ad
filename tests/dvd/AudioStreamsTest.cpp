// The audio stream heard follows the disc's audio register, on the film-shaped disc (stream 1
// low tones of 300-450 Hz, stream 2 high tones of 1000-1300 Hz): set by its languages menu, kept
// in a bookmark and changed back while the film plays; and a title whose program chain maps
// the register onto the streams in another order than the data holds them. The tone is
// measured from libmpv's decoded sound (no sound card needed): a zero-crossing count over each
// piece of sound gives its frequency.
#include "EnginePeer.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using kavelo::EngineError;
using kavelo::MenuMove;
using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kFilmDisc = QStringLiteral(KAVELO_FILM_DVD);
constexpr double kSampleRate = 48000;
// libmpv 0.35 crashes reading a single key of the filter's metadata: the whole map is read.
constexpr const char* kMetadata = "af-metadata/tone";

enum class Tone { Low, High, Unknown };

// The first channel's zero crossings per sample, from the filter's metadata as libmpv words it
// (JSON).
double crossingRate(const QString& metadata, bool& ok) {
    const QRegularExpression rate(
        QStringLiteral("\"lavfi\\.astats\\.1\\.Zero_crossings_rate\":\"([0-9.]+)\""));
    const QRegularExpressionMatch m = rate.match(metadata);
    ok = false;
    return m.hasMatch() ? m.captured(1).toDouble(&ok) : 0;
}

class AudioStreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kFilmDisc + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO")))
            << "the discs_film_dvd_fixture test authors the disc";
        ASSERT_TRUE(m_profile.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_profile.path()));
        m_window.resize(320, 240);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
    }

    // The tone of the sound decoded now: its frequency from zero crossings, taken when two
    // readings a little apart agree.
    Tone tone() {
        kavelo::EngineTestPeer peer = kavelo::test::peer(engine);
        peer.setProperty("af", "@tone:lavfi=[astats=metadata=1:reset=1]");
        Tone heard = Tone::Unknown;
        Tone before = Tone::Unknown;
        test::waitUntil(
            [&] {
                bool ok = false;
                const double rate = crossingRate(peer.propertyText(kMetadata), ok);
                const double hertz = rate * kSampleRate / 2;
                const Tone now = !ok                           ? Tone::Unknown
                                 : hertz > 250 && hertz < 500  ? Tone::Low
                                 : hertz > 900 && hertz < 1400 ? Tone::High
                                                               : Tone::Unknown;
                const bool agreed = now != Tone::Unknown && now == before;
                before = now;
                heard = now;
                return agreed;
            },
            5000);
        return heard;
    }

    bool playing(int title, double after) {
        return test::waitUntil(
            [&] {
                try {
                    return engine->CurrentTitle() == title &&
                           kavelo::test::peer(engine).positionSeconds() > after;
                } catch (const EngineError&) {
                    return false;
                }
            },
            10000);
    }
    bool menuShows() {
        return test::waitUntil([&] { return engine->menus()->menuShowing(); }, 10000);
    }
    // Moves `down` buttons down from the first and activates that button.
    void press(int down) {
        for (int i = 0; i < down; ++i)
            engine->menus()->moveSelection(MenuMove::Down);
        engine->menus()->activateSelection();
    }

    QTemporaryDir m_profile;
    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
};

TEST_F(AudioStreamsTest, TheToneHeardFollowsTheLanguagesMenuAndTheBookmark) {
    engine->SetDVDDirectory(kFilmDisc);
    engine->Play();
    ASSERT_TRUE(menuShows()) << "the warning leads to the main menu";
    press(0); // Play
    ASSERT_TRUE(playing(1, 1.0));
    EXPECT_EQ(tone(), Tone::Low);
    EXPECT_EQ(engine->snapshot().audio, 0);
    engine->SaveBookmark();

    // Languages, "Audio 2", back to the main menu, Play: the film starts with the high tone.
    engine->menus()->callMenu();
    ASSERT_TRUE(menuShows());
    press(2);
    ASSERT_TRUE(menuShows());
    press(1);
    ASSERT_TRUE(menuShows());
    press(5);
    ASSERT_TRUE(menuShows());
    press(0);
    ASSERT_TRUE(playing(1, 1.0));
    EXPECT_EQ(tone(), Tone::High);
    EXPECT_EQ(engine->snapshot().audio, 1);

    // The bookmark brings its own stream back while the film plays on.
    engine->RestoreBookmark();
    ASSERT_TRUE(playing(1, 0.5));
    EXPECT_EQ(tone(), Tone::Low);
    EXPECT_EQ(engine->snapshot().audio, 0);
}

// The title's program chain: its audio stream control table lies 0x0c into it.
qint64 filmAudioControl(const QByteArray& ifo) {
    if (ifo.size() < 0x100)
        return -1;
    const auto* data = reinterpret_cast<const uchar*>(ifo.constData());
    const qint64 table = qint64{qFromBigEndian<quint32>(data + 0xcc)} * 2048;
    if (table + 16 > ifo.size())
        return -1;
    const qint64 pgc = table + qFromBigEndian<quint32>(data + table + 8 + 4);
    return pgc + 0x0c + 4 <= ifo.size() ? pgc + 0x0c : -1;
}

TEST_F(AudioStreamsTest, TheRegisterNamesAStreamThroughTheTitlesTableNotTheDataOrder) {
    // The film's chain, changed to map register 0 onto the data's second stream and 1 onto
    // its first.
    QTemporaryDir copy;
    ASSERT_TRUE(copy.isValid());
    ASSERT_FALSE(test::copyDisc(kFilmDisc, copy.path()).isEmpty());
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        const QString path = copy.filePath(QStringLiteral("VIDEO_TS/") + QLatin1String(name));
        QByteArray ifo = test::readFile(path);
        const qint64 at = filmAudioControl(ifo);
        ASSERT_GE(at, 0) << name;
        ASSERT_EQ(ifo.mid(at, 4), QByteArray("\x80\x00\x81\x00", 4)) << name;
        ifo.replace(at, 4, QByteArray("\x81\x00\x80\x00", 4));
        ASSERT_TRUE(test::writeFile(path, ifo));
    }
    engine->SetDVDDirectory(copy.path());
    kavelo::test::peer(engine).PlayTitle(1);
    ASSERT_TRUE(playing(1, 1.0));
    EXPECT_EQ(tone(), Tone::High);
    EXPECT_EQ(engine->snapshot().audio, 0);
}

} // namespace
