// Titles read through the disc service (a `kavelo-dvdnav` of their own reading the title set's
// VOB files with libdvdread) on the sample disc, as a folder and as an ISO image of it: the
// same bytes as the plain files, a title played and seeked in the real engine, a reader killed
// under the playing title, and a service that hangs, crashes or answers nonsense.
#include "DiscProtocol.h"
#include "DiscSectors.h"
#include "DiscService.h"
#include "DvdStructure.h"
#include "EnginePeer.h"
#include "FrameCode.h"
#include "MpvDvdEngine.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

using kavelo::MpvDvdEngine;
namespace test = kavelo::test;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);
const QString kImage = QStringLiteral(KAVELO_TEST_DVD_IMAGE);
constexpr std::size_t kSector = 2048;
constexpr double kFps = 25;

// Sets an environment variable for the life of the object (the services started meanwhile
// inherit it).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name) { qputenv(name, value); }
    ~ScopedEnv() { qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
};

// The live disc services of this process that read titles' sectors.
std::vector<pid_t> sectorReaders() {
    std::vector<pid_t> readers;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        const QByteArray stat = test::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2 || fields[0] == "Z" || fields[1].toInt() != getpid())
            continue;
        const QList<QByteArray> args =
            test::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
        if (args.size() >= 2 && args[0].endsWith(kavelo::discproto::kProgramName) &&
            args[1] == kavelo::kSectorReaderRole)
            readers.push_back(pid);
    }
    return readers;
}

// The sectors of the sample disc's title set `vts` as its folder holds them.
std::uint32_t titleSetSectors(int vts) {
    qint64 bytes = 0;
    for (int n = 1; n <= 9; ++n)
        bytes +=
            QFileInfo(
                kDisc +
                QStringLiteral("/VIDEO_TS/VTS_%1_%2.VOB").arg(vts, 2, 10, QLatin1Char('0')).arg(n))
                .size();
    return static_cast<std::uint32_t>(bytes / qint64(kSector));
}

class ServiceSectorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VTS_04_0.IFO")))
            << "the dvd_fixture test authors the disc";
        ASSERT_TRUE(QFile::exists(kImage)) << "the dvd_image_fixture test makes the image";
    }

    // Title 1 of the place, as the disc service reads its tables.
    kavelo::DvdTitleInfo firstTitle(const QString& place) { return *m_reader.read(place).title(1); }

    kavelo::DvdStructureReader m_reader;
};

TEST_F(ServiceSectorsTest, TheServiceReadsTheBytesThePlainFilesHoldInAFolderAndAnImage) {
    for (const QString& place : {kDisc, kImage}) {
        SCOPED_TRACE(place.toStdString());
        const kavelo::DvdStructure structure = m_reader.read(place);
        ASSERT_EQ(structure.titles.size(), 4u);
        for (const kavelo::DvdTitleInfo& title : structure.titles) {
            SCOPED_TRACE(title.titleSet);
            // The plain files are read first, without a service.
            const std::vector<pid_t> before = sectorReaders();
            const auto plain = kavelo::openTitleSetSectors(place, title);
            ASSERT_TRUE(plain);
            EXPECT_EQ(sectorReaders(), before);
            std::shared_ptr<kavelo::mpv::SectorSource> service;
            {
                const ScopedEnv forced(kavelo::kTitleSectorsVariable, "service");
                service = kavelo::openTitleSetSectors(place, title);
            }
            ASSERT_TRUE(service);
            EXPECT_EQ(sectorReaders().size(), before.size() + 1);

            // Reads of every size, over more than one answer's worth and across file ends.
            const std::uint32_t total = titleSetSectors(title.titleSet);
            ASSERT_GT(total, 100u);
            const int sizes[] = {1, 32, 600, 7, 513, 64};
            std::vector<std::uint8_t> a(600 * kSector);
            std::vector<std::uint8_t> b(600 * kSector);
            std::uint32_t at = 0;
            for (int n = 0; at < total; ++n) {
                const int want = std::min<int>(sizes[n % 6], static_cast<int>(total - at));
                ASSERT_EQ(plain->read(at, want, a.data()), want) << at;
                ASSERT_EQ(service->read(at, want, b.data()), want) << at;
                ASSERT_EQ(std::memcmp(a.data(), b.data(), std::size_t(want) * kSector), 0) << at;
                at += static_cast<std::uint32_t>(want);
            }
            // At the title set's end: what is left, then nothing (an image's plain read would go
            // on into the files after it).
            ASSERT_EQ(plain->read(total - 2, 2, a.data()), 2);
            EXPECT_EQ(service->read(total - 2, 8, b.data()), 2);
            EXPECT_EQ(std::memcmp(a.data(), b.data(), 2 * kSector), 0);
            EXPECT_EQ(service->read(total, 4, b.data()), 0);
            EXPECT_EQ(service->read(UINT32_MAX, 4, b.data()), 0);
        }
    }
    // An image whose VOB start the tables do not give is read through the service unasked.
    EXPECT_TRUE(test::waitUntil([] { return sectorReaders().empty(); }, 2000));
    kavelo::DvdTitleInfo unplaced = firstTitle(kImage);
    const auto plain = kavelo::openTitleSetSectors(kImage, unplaced);
    unplaced.vobStart = 0;
    const auto service = kavelo::openTitleSetSectors(kImage, unplaced);
    ASSERT_TRUE(plain && service);
    EXPECT_EQ(sectorReaders().size(), 1u);
    std::vector<std::uint8_t> a(64 * kSector);
    std::vector<std::uint8_t> b(64 * kSector);
    ASSERT_EQ(plain->read(100, 64, a.data()), 64);
    ASSERT_EQ(service->read(100, 64, b.data()), 64);
    EXPECT_EQ(a, b);
}

TEST_F(ServiceSectorsTest, TheServiceReadsOnlyWhatItsRequestsBoundAndSaysNoToTheRest) {
    using Outcome = kavelo::DiscService::Outcome;
    kavelo::DiscService service;
    ASSERT_EQ(service.open(kDisc.toStdString()), Outcome::Done);
    const auto ask = [&](const std::string& request, std::string* payload = nullptr) {
        std::string answer;
        const Outcome outcome = service.request(request, std::chrono::seconds(2), answer);
        if (payload)
            *payload = answer;
        return outcome;
    };
    EXPECT_EQ(ask("read 0 1"), Outcome::Refused); // no VOB files open yet
    for (const char* set : {"0", "100", "5", "-1", "01x", ""})
        EXPECT_EQ(ask(std::string("vob-open ") + set), Outcome::Refused) << set;
    std::string payload;
    ASSERT_EQ(ask("vob-open 2", &payload), Outcome::Done);
    EXPECT_EQ(payload, "vob " + std::to_string(titleSetSectors(2)) + "\n");
    for (const char* bad : {"read 0 0", "read 0 513", "read -1 1", "read 4294967296 1", "read 1x 1",
                            "read 0", "read 0 1 2"})
        EXPECT_EQ(ask(bad), Outcome::Refused) << bad;
    // The largest answer there is, whole; the service is still the one that answered.
    const pid_t pid = service.pid();
    ASSERT_EQ(ask("read 0 512", &payload), Outcome::Done);
    EXPECT_EQ(payload.size(), 512 * kSector);
    EXPECT_EQ(payload,
              test::readFile(kDisc + "/VIDEO_TS/VTS_02_1.VOB").left(512 * kSector).toStdString());
    EXPECT_EQ(service.pid(), pid);
    EXPECT_EQ(service.failures(), 0);
}

TEST_F(ServiceSectorsTest, AServiceThatHangsCrashesOrAnswersNonsenseGivesAReadErrorInTime) {
    const kavelo::DvdTitleInfo title = firstTitle(kDisc);
    const ScopedEnv forced(kavelo::kTitleSectorsVariable, "service");
    const auto deadline = kavelo::DiscService::Deadlines::forPlace(kDisc.toStdString()).read;
    std::vector<std::uint8_t> data(32 * kSector);
    for (const char* mode : {"hang", "crash", "garbage"}) {
        SCOPED_TRACE(mode);
        // A source read from the start by failing services is refused: tried, started again
        // and tried once more, each within the read's deadline.
        {
            const ScopedEnv fault(kavelo::discproto::kFaultVariable, QByteArray("read:") + mode);
            QElapsedTimer clock;
            clock.start();
            EXPECT_FALSE(kavelo::openTitleSetSectors(kDisc, title));
            EXPECT_LT(clock.elapsed(), 2 * deadline.count() + 1500);
            EXPECT_TRUE(sectorReaders().empty());
        }
        // A source that reads well until its service goes, and the one started again fails.
        const auto source = kavelo::openTitleSetSectors(kDisc, title);
        ASSERT_TRUE(source);
        ASSERT_EQ(source->read(0, 32, data.data()), 32);
        const std::vector<pid_t> readers = sectorReaders();
        ASSERT_EQ(readers.size(), 1u);
        const ScopedEnv fault(kavelo::discproto::kFaultVariable, QByteArray("read:") + mode);
        ASSERT_EQ(kill(readers[0], SIGKILL), 0);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(source->read(1000, 32, data.data()), -1);
        EXPECT_LT(clock.elapsed(), deadline.count() + 1000);
        // The title's data is gone: later reads say so at once, with no service started.
        clock.restart();
        EXPECT_EQ(source->read(0, 32, data.data()), -1);
        EXPECT_LT(clock.elapsed(), 300); // far less than a deadline
        EXPECT_TRUE(sectorReaders().empty());
    }
}

class ServiceEngineTest : public ServiceSectorsTest {
protected:
    void SetUp() override {
        ServiceSectorsTest::SetUp();
        m_window.resize(320, 240);
        engine = std::make_unique<MpvDvdEngine>(&m_window);
        engine->SetDVDDirectory(kDisc);
    }
    void TearDown() override { engine.reset(); }

    double position() { return kavelo::test::peer(engine).positionSeconds(); }

    // The picture shown first after `seek` is the asked one (after a pause that comes a little
    // late, one or two further on, never one before), and the time agrees with it.
    void landsOn(const std::function<void()>& seek, int title, int frame) {
        seek();
        engine->Pause();
        EXPECT_TRUE(kavelo::test::landedOn(kavelo::test::peer(engine).picture(), position(), kFps,
                                           title, frame));
        engine->Resume();
    }
    void landsOnTime(const char* time, int title, int frame) {
        landsOn([&] { engine->PlayAtTime(QString::fromLatin1(time)); }, title, frame);
    }

    ScopedEnv m_forced{kavelo::kTitleSectorsVariable, "service"};
    QWidget m_window;
    std::unique_ptr<MpvDvdEngine> engine;
};

TEST_F(ServiceEngineTest, ATitleReadThroughTheServiceShowsItsPicturesAndSeeksExactly) {
    // Title 2's timestamps run on through its cells, title 3's restart in each cell.
    kavelo::test::peer(engine).PlayTitle(2);
    ASSERT_EQ(engine->CurrentTitle(), 2);
    EXPECT_EQ(sectorReaders().size(), 1u);
    for (const auto& [time, frame] :
         {std::pair{"00:00:37:00", 925}, {"00:01:03:12", 1587}, {"00:00:05:00", 125}})
        landsOnTime(time, 2, frame);
    landsOn([&] { engine->PlayChapter(3); }, 2, 996);

    kavelo::test::peer(engine).PlayTitle(3);
    ASSERT_EQ(engine->CurrentTitle(), 3);
    for (const auto& [time, frame] :
         {std::pair{"00:00:09:00", 225}, {"00:00:07:24", 199}, {"00:00:02:13", 63}})
        landsOnTime(time, 3, frame);
    // The reader of the title before went with it.
    EXPECT_TRUE(test::waitUntil([] { return sectorReaders().size() == 1; }, 2000));
}

TEST_F(ServiceEngineTest, AReaderKilledUnderThePlayingTitleIsStartedAgainOrTheDiscIsGone) {
    kavelo::test::peer(engine).PlayTitle(2);
    ASSERT_TRUE(test::waitUntil([&] { return position() > 1.0; }, 5000));
    const std::vector<pid_t> first = sectorReaders();
    ASSERT_EQ(first.size(), 1u);

    // Killed once: a new reader takes over, and the title plays and seeks on.
    ASSERT_EQ(kill(first[0], SIGKILL), 0);
    landsOnTime("00:01:00:00", 2, 1500);
    const double resumed = position();
    EXPECT_TRUE(test::waitUntil([&] { return position() > resumed + 1.0; }, 5000));
    EXPECT_EQ(engine->CurrentTitle(), 2);
    const std::vector<pid_t> second = sectorReaders();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0], first[0]);

    // Killed when no new reader can read: the title's disc is gone, the engine lives on.
    {
        const ScopedEnv fault(kavelo::discproto::kFaultVariable, "read:crash");
        ASSERT_EQ(kill(second[0], SIGKILL), 0);
        try {
            engine->PlayAtTime(QStringLiteral("00:00:20:00"));
        } catch (const kavelo::EngineError&) {
            // The seek may find the disc gone itself.
        }
        EXPECT_TRUE(test::waitUntil(
            [&] { return kavelo::test::peer(engine).state() == kavelo::EngineState::Idle; }, 5000))
            << kavelo::stateName(kavelo::test::peer(engine).state());
    }
    kavelo::test::peer(engine).PlayTitle(3);
    ASSERT_EQ(engine->CurrentTitle(), 3);
    landsOnTime("00:00:09:00", 3, 225);
}

} // namespace
