// The disc's tables read through the disc service: the records' format, the sample disc's
// structure, a disc with one unreadable title, services that crash, hang or answer nonsense.
#include "BusyPointer.h"
#include "DvdEngine.h"
#include "DvdStructure.h"
#include "EnginePeer.h"
#include "TestFiles.h"
#include "Waiting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDevice>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>

using kavelo::DvdStructure;
using kavelo::DvdStructureReader;
using kavelo::EngineError;
using kavelo::parseMenuRecords;
using kavelo::parseTitleRecords;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

const std::string kTitle = "title 1 1 1 2 1 900000 3 0 0\n"
                           "chapter 1 1 0\n"
                           "chapter 1 2 450000\n"
                           "cell 1 1 0 99 450000 0 1 0\n"
                           "cell 1 2 100 199 270000 3 2 0\n"
                           "cell 1 3 200 299 180000 255 0 0\n"
                           "cellpts 1 2 100 200\n"
                           "palette 1 1081472 11145382 13799952 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
                           "subpicture 1 0 0\n"
                           "subpicture 1 1 3\n"
                           "audio 1 1 129\n"
                           "audio 1 3 128\n";
const std::string kMenus = "menus 0 1 2\n"
                           "menupgc 0 1 1 131 1 0\n"
                           "menupgc 0 1 2 3 2 255\n"
                           "menus 1 0 0\n";

// Runs the service with the test hook's fault `rule` ("VERB:MODE") for one scope.
class Fault {
public:
    explicit Fault(const char* rule) { setenv("KAVELO_DVDNAV_FAULT", rule, 1); }
    ~Fault() { unsetenv("KAVELO_DVDNAV_FAULT"); }
    Fault(const Fault&) = delete;
    Fault& operator=(const Fault&) = delete;
};

QString copyDisc(const QString& dir) {
    return kavelo::test::copyDisc(kDisc, dir);
}

TEST(DiscRecords, ReadTitlesChaptersCellsAndMenusAndRefuseWhatDoesNotHoldTogether) {
    const std::optional<kavelo::DvdTitleInfo> first = parseTitleRecords(kTitle, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->chapters, 2);
    EXPECT_DOUBLE_EQ(first->length, 10.0);
    EXPECT_EQ(first->chapterStarts, (std::vector<double>{0.0, 5.0}));
    EXPECT_EQ(first->cells[1].firstPts, 100);
    EXPECT_EQ(first->palette[2], 0xd29210u);
    EXPECT_EQ(first->subpictureStreamIds[1], 3);
    EXPECT_EQ(first->subpictureStreamIds[2], -1);
    EXPECT_EQ(first->audioStreamIds, (std::array<int, 8>{129, 0, 128, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(parseTitleRecords(kTitle, 2)); // another title's records
    std::string uneven = kTitle;
    uneven.replace(uneven.find("cell 1 3 200 299 180000"), 23, "cell 1 3 200 299 990000");
    const std::optional<kavelo::DvdTitleInfo> unevenParsed = parseTitleRecords(uneven, 1);
    ASSERT_TRUE(unevenParsed);
    EXPECT_TRUE(unevenParsed->cells.empty());
    EXPECT_EQ(unevenParsed->chapters, 2);
    EXPECT_TRUE(parseTitleRecords(kTitle + "later-record 1 2\n", 1)); // a later version's

    const std::pair<const char*, const char*> broken[] = {
        {"chapter 1 2 450000\n", ""},                     // a chapter missing
        {"chapter 1 2 450000\n", "chapter 1 2 950000\n"}, // beyond the title
        {"chapter 1 1 0\n", "chapter 1 1 5\n"},           // the first not at the start
        {"cell 1 2 100 199", "cell 1 2 300 199"},         // ends before it starts
        {"cell 1 3 200 299 180000 255 0 0\n", ""},        // a cell missing
        {"cell 1 3 200 299 180000 255 0 0", "cell 1 3 200 299 180000 256 0 0"}, // still
        {"cell 1 1 0 99 450000 0 1 0", "cell 1 1 0 99 450000 0 3 0"},           // no such chapter
        {"cellpts 1 2", "cellpts 1 4"},                                         // no such cell
        {"audio 1 3 128", "audio 1 9 128"},                                     // no such stream
        {"title 1 1 1 2 1 900000 3 0 0", "title 1 1 1 2 1 -900000 3 0 0"},
        {"title 1 1 1 2 1 900000 3 0 0", "title 1 1 1 2 1 900000 3 0 0 4"},
        {"title 1 1 1 2 1 900000 3 0 0", "title 1 1 1 2 1 99999999999999999999999 3 0 0"},
        {"title 1 1 1 2 1 900000 3 0 0", "title 1 1 1 2 1 900000 3 33 0"}, // subpictures
        {"cellpts 1 2 100 200\n", "cellpts 1 2 100 200\r\n"},
        {"cellpts 1 2 100 200\n", "cellpts 1 2 100 200\n\xff\n"},
        {"cellpts 1 2 100 200\n", "Cellpts 1 2 100 200\n"}, // not a keyword
        {"subpicture 1 1 3", "subpicture 1 32 3"},          // no such logical stream
        {" 0 0 0\n", " 0 0 0 0\n"},                         // 17 colours
        {"palette 1 1081472", "palette 1 16777216"},        // beyond 24 bits
    };
    for (const auto& [from, to] : broken) {
        std::string records = kTitle;
        const std::size_t at = records.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        records.replace(at, std::strlen(from), to);
        EXPECT_FALSE(parseTitleRecords(records, 1)) << records;
    }
    EXPECT_FALSE(parseTitleRecords("", 1));

    const auto menus = parseMenuRecords(kMenus);
    ASSERT_TRUE(menus);
    ASSERT_EQ(menus->size(), 2u);
    EXPECT_EQ((*menus)[0].pgcs.size(), 2u);
    EXPECT_FALSE(parseMenuRecords("menus 0 1 2\nmenupgc 0 1 1 131 1 0\n")); // one missing
    EXPECT_FALSE(parseMenuRecords("menus 0 1 1\nmenupgc 0 2 1 131 1 0\n")); // no such unit
}

TEST(DiscRecords, AnAngleBlockIsReadAsTheChosenAnglesUnitsOnly) {
    // An intro, a block of two interleaved angles (units 10-19, 30-39 and 20-29, 40-49), an
    // outro; the timestamps run on through either angle.
    const std::string block = "title 1 1 1 1 2 900000 4 0 0\n"
                              "chapter 1 1 0\n"
                              "cell 1 1 0 9 270000 0 1 0\n"
                              "cell 1 2 10 39 360000 0 0 1\n"
                              "cell 1 3 20 49 360000 0 0 2\n"
                              "cell 1 4 50 59 270000 0 0 0\n"
                              "unit 1 2 10 19\nunit 1 2 30 39\n"
                              "unit 1 3 20 29\nunit 1 3 40 49\n"
                              "cellpts 1 1 0 270000\ncellpts 1 2 270000 630000\n"
                              "cellpts 1 3 270000 630000\ncellpts 1 4 630000 900000\n";
    const auto runs = [](const kavelo::DvdTitleInfo& title, int angle) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (const kavelo::DvdSectorRun& run : title.sectorsOfAngle(angle))
            out.emplace_back(run.first, run.last);
        return out;
    };
    using Runs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    const std::optional<kavelo::DvdTitleInfo> title = parseTitleRecords(block, 1);
    ASSERT_TRUE(title);
    EXPECT_DOUBLE_EQ(title->length, 10.0);
    EXPECT_EQ(runs(*title, 1), (Runs{{0, 9}, {10, 19}, {30, 39}, {50, 59}}));
    EXPECT_EQ(runs(*title, 2), (Runs{{0, 9}, {20, 29}, {40, 49}, {50, 59}}));

    // Units that do not reach the cell's end leave its sectors unknown: that cell is not read.
    std::string shortUnits = block;
    shortUnits.replace(shortUnits.find("unit 1 3 40 49"), 14, "unit 1 3 40 48");
    const std::optional<kavelo::DvdTitleInfo> partial = parseTitleRecords(shortUnits, 1);
    ASSERT_TRUE(partial);
    EXPECT_TRUE(partial->cells[2].units.empty());

    const std::pair<const char*, const char*> broken[] = {
        {"unit 1 2 10 19\n", "unit 1 2 11 19\n"},                // not from the cell's start
        {"unit 1 2 30 39", "unit 1 2 15 39"},                    // overlaps the unit before
        {"unit 1 2 30 39", "unit 1 2 30 45"},                    // beyond the cell
        {"unit 1 3 20 29", "unit 1 4 50 59"},                    // a cell outside the block
        {"unit 1 2 10 19\n", "unit 1 2 10 19\nunit 1 2 20 9\n"}, // ends before it starts
    };
    for (const auto& [from, to] : broken) {
        std::string records = block;
        records.replace(records.find(from), std::strlen(from), to);
        EXPECT_FALSE(parseTitleRecords(records, 1)) << records;
    }
}

TEST(DvdProbe, ReadsTheSampleDiscOnceAndAgainWhenItChanges) {
    ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO")))
        << "the dvd_fixture test authors the disc";
    QElapsedTimer clock;
    clock.start();
    DvdStructureReader sample;
    const DvdStructure disc = sample.read(kDisc);
    ::testing::Test::RecordProperty("probe_ms", static_cast<int>(clock.elapsed()));
    // The disc's identity, the same from its VIDEO_TS folder and for a copy of its files.
    EXPECT_EQ(disc.discId.size(), 32);
    DvdStructureReader fromFolder;
    EXPECT_EQ(fromFolder.read(kDisc + QStringLiteral("/VIDEO_TS")).discId, disc.discId);
    ASSERT_GE(disc.titles.size(), 2u);
    EXPECT_EQ(disc.longestTitle(), 2);

    // The titles' chapters and cells as the engine plays them are the engine tests'.
    EXPECT_EQ(disc.titles[0].chapters, 3);
    EXPECT_EQ(disc.titles[1].chapters, 4);
    ASSERT_FALSE(disc.menus.empty());
    EXPECT_EQ(disc.menus[0].titleSet, 0);

    // One read per place while it stays as it was.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString copy = copyDisc(temp.path());
    DvdStructureReader reader;
    EXPECT_EQ(reader.read(copy).discId, disc.discId);
    reader.read(copy);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 1);
    reader.read(kDisc);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 2);
    reader.read(copy);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 3);
    // The disc changes: title 3's title set cannot be read at all (its control data and their
    // backup are damaged). The disc still plays its other titles.
    for (const char* name : {"/VIDEO_TS/VTS_03_0.IFO", "/VIDEO_TS/VTS_03_0.BUP"})
        ASSERT_TRUE(kavelo::test::writeFile(copy + QLatin1String(name), QByteArray(4096, 'x')));
    const DvdStructure damaged = reader.read(copy);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 4);
    ASSERT_EQ(damaged.titles.size(), 4u);
    EXPECT_FALSE(damaged.titles[2].readable);
    EXPECT_TRUE(damaged.titles[1].readable);
    EXPECT_EQ(damaged.longestTitle(), 2);
    // Only a disc none of whose titles can be read is refused.
    for (int set = 1; set <= 4; ++set) {
        for (const char* end : {"_0.IFO", "_0.BUP"})
            ASSERT_TRUE(kavelo::test::writeFile(
                copy + QStringLiteral("/VIDEO_TS/VTS_0%1").arg(set) + QLatin1String(end),
                QByteArray(4096, 'x')));
    }
    EXPECT_THROW(reader.read(copy), EngineError);
}

TEST(DvdProbe, AServiceThatCrashesHangsOrAnswersNonsenseIsRestartedAndLeavesOutWhatItBroke) {
    // On every title: the disc cannot be read, within the deadlines.
    for (const char* rule :
         {"title:crash", "title:hang", "title:garbage", "open:garbage", "hello:hang"}) {
        SCOPED_TRACE(rule);
        const Fault fault(rule);
        DvdStructureReader reader(std::chrono::milliseconds(300));
        QElapsedTimer clock;
        clock.start();
        EXPECT_THROW(reader.read(kDisc), EngineError);
        EXPECT_LT(clock.elapsed(), 4500);
    }
    // On the menus only: the titles are read, the menus left out.
    {
        const Fault fault("menus:hang");
        DvdStructureReader reader(std::chrono::milliseconds(300));
        const DvdStructure disc = reader.read(kDisc);
        EXPECT_EQ(disc.titles.size(), 4u);
        EXPECT_TRUE(disc.menus.empty());
    }
    DvdStructureReader missing(std::chrono::seconds(1), QStringLiteral("/nonexistent/service"));
    EXPECT_THROW(missing.read(kDisc), EngineError);
}

TEST(DvdProbe, AReadThatRunsLongShowsTheBusyPointerUntilItIsOver) {
    // The service reads on for 1.5 s and says so, as a drive spinning up does.
    const Fault fault("open:slow");
    kavelo::BusyPointer pointer;
    int busy = 0;
    {
        DvdStructureReader reader(std::chrono::milliseconds(2500));
        reader.onBusy([&] {
            ++busy;
            pointer.show();
        });
        EXPECT_EQ(reader.read(kDisc).titles.size(), 4u);
    }
    EXPECT_GE(busy, 3);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    // It goes once the window's events run again.
    EXPECT_TRUE(kavelo::test::waitUntil([] { return !QGuiApplication::overrideCursor(); }, 2000));
    // A folder keeps its own budget, however busy the service says it is.
    DvdStructureReader quick(std::chrono::milliseconds(300));
    EXPECT_THROW(quick.read(kDisc), EngineError);
}

} // namespace
