// The disc probe program and its client: the answer's format, the sample disc's structure read
// through the probe, and probes that crash, hang or answer nonsense.
#include "DvdEngine.h"
#include "DvdStructure.h"
#include "EnginePeer.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

using kavelo::DvdStructure;
using kavelo::DvdStructureReader;
using kavelo::EngineError;
using kavelo::parseDvdProbeAnswer;

namespace {

const QString kDisc = QStringLiteral(KAVELO_TEST_DVD);

const QByteArray kAnswer = "kavelo-dvdprobe 1\n"
                           "titles 2\n"
                           "title 1 1 1 2 1 900000 3\n"
                           "chapter 1 1 0\n"
                           "chapter 1 2 450000\n"
                           "cell 1 1 0 99 450000 0 1 0\n"
                           "cell 1 2 100 199 270000 3 2 0\n"
                           "cell 1 3 200 299 180000 255 0 0\n"
                           "title 2 2 1 1 1 90000 0\n"
                           "chapter 2 1 0\n"
                           "menus 0 1 2\n"
                           "menupgc 0 1 1 131 1 0\n"
                           "menupgc 0 1 2 3 2 255\n"
                           "menus 1 0 0\n"
                           "discid 0123456789abcdef0123456789abcdef\n"
                           "end\n";

QString copyDisc(const QString& dir) {
    return kavelo::test::copyDisc(kDisc, dir);
}

// A stand-in probe: a shell script with `body`.
QString fakeProbe(const QTemporaryDir& temp, const char* name, const QByteArray& body) {
    const QString path = temp.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(kavelo::test::writeFile(path, "#!/bin/sh\n" + body + "\n"));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return path;
}

TEST(DvdProbeAnswer, ReadsTitlesChaptersCellsAndMenusAndRefusesWhatDoesNotHoldTogether) {
    const std::optional<DvdStructure> parsed = parseDvdProbeAnswer(kAnswer);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->titles.size(), 2u);
    const kavelo::DvdTitleInfo& first = parsed->titles[0];
    EXPECT_EQ(first.chapters, 2);
    EXPECT_DOUBLE_EQ(first.length, 10.0);
    EXPECT_EQ(first.chapterStarts, (std::vector<double>{0.0, 5.0}));
    ASSERT_EQ(first.cells.size(), 3u);
    EXPECT_EQ(first.cells[1].firstSector, 100u);
    EXPECT_EQ(first.cells[1].lastSector, 199u);
    EXPECT_DOUBLE_EQ(first.cells[1].length, 3.0);
    EXPECT_EQ(first.cells[1].still, 3);
    EXPECT_EQ(first.cells[1].chapter, 2);
    EXPECT_EQ(first.cells[2].still, kavelo::kInfiniteStill);
    EXPECT_EQ(parsed->titles[1].titleSet, 2);
    EXPECT_TRUE(parsed->titles[1].cells.empty());
    EXPECT_EQ(parsed->longestTitle(), 1);
    EXPECT_EQ(parsed->discId, QStringLiteral("0123456789abcdef0123456789abcdef"));
    ASSERT_EQ(parsed->menus.size(), 2u);
    EXPECT_EQ(parsed->menus[0].pgcs.size(), 2u);
    EXPECT_EQ(parsed->menus[0].pgcs[0].entry, 131);
    EXPECT_EQ(parsed->menus[0].pgcs[1].still, 255);
    EXPECT_TRUE(parsed->menus[1].pgcs.empty());

    // Records of a later version are passed over.
    QByteArray extended = kAnswer;
    extended.replace("menus 1 0 0\n", "menus 1 0 0\nbutton-area 1 2 3\n");
    EXPECT_TRUE(parseDvdProbeAnswer(extended));
    QByteArray stamped = kAnswer;
    stamped.replace("title 2 2 1", "cellpts 1 1 100 300100\ncellpts 1 2 100 270100\ntitle 2 2 1");
    const std::optional<DvdStructure> stampedParsed = parseDvdProbeAnswer(stamped);
    ASSERT_TRUE(stampedParsed);
    EXPECT_EQ(stampedParsed->titles[0].cells[1].firstPts, 100);
    EXPECT_EQ(stampedParsed->titles[0].cells[1].endPts, 270100);
    EXPECT_EQ(stampedParsed->titles[0].cells[2].firstPts, -1);
    EXPECT_TRUE(stampedParsed->titles[0].hasUnnoticedTimestampJumps());
    stamped.replace("cellpts 1 2 100", "cellpts 1 2 300100");
    EXPECT_FALSE(parseDvdProbeAnswer(stamped)->titles[0].hasUnnoticedTimestampJumps());
    stamped.replace("cellpts 1 2 300100", "cellpts 1 4 300100");
    EXPECT_FALSE(parseDvdProbeAnswer(stamped)); // no such cell

    // Cells that do not add up to their title's length are left out, the title kept.
    QByteArray uneven = kAnswer;
    uneven.replace("cell 1 3 200 299 180000", "cell 1 3 200 299 990000");
    const std::optional<DvdStructure> unevenParsed = parseDvdProbeAnswer(uneven);
    ASSERT_TRUE(unevenParsed);
    EXPECT_TRUE(unevenParsed->titles[0].cells.empty());
    EXPECT_EQ(unevenParsed->titles[0].chapters, 2);

    const std::pair<const char*, const char*> broken[] = {
        {"kavelo-dvdprobe 1\n", "kavelo-dvdprobe 2\n"},   // another version
        {"end\n", ""},                                    // cut short
        {"end\n", "end"},                                 // no last line end
        {"titles 2\n", "titles 3\n"},                     // a title missing
        {"titles 2\n", "titles 2\ntitles 2\n"},           // counted twice
        {"title 2 2 1 1 1 90000 0\n", ""},                // a title missing
        {"chapter 1 2 450000\n", ""},                     // a chapter missing
        {"chapter 1 2 450000\n", "chapter 1 2 950000\n"}, // beyond the title
        {"chapter 1 2 450000\n", "chapter 1 3 450000\n"}, // numbered out of turn
        {"chapter 1 1 0\n", "chapter 1 1 5\n"},           // the first not at the start
        {"cell 1 2 100 199", "cell 1 2 300 199"},         // ends before it starts
        {"cell 1 3 200 299 180000 255 0 0\n", ""},        // a cell missing
        {"cell 1 3 200 299 180000 255 0 0", "cell 1 3 200 299 180000 256 0 0"}, // still
        {"cell 1 1 0 99 450000 0 1 0", "cell 1 1 0 99 450000 0 3 0"},           // no such chapter
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2 1 -900000 3"},
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2 1 9e5 3"},
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2 1 900000 3 4"},
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2 1 900000"},
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2 1 99999999999999999999999 3"},
        {"title 1 1 1 2 1 900000 3", "title 1 1 1 2  900000 3"},
        {"title 2 2 1 1 1", "title 3 2 1 1 1"}, // numbered out of turn
        {"titles 2\n", "titles 0\n"},
        {"menupgc 0 1 2 3 2 255\n", ""},                    // a menu chain missing
        {"menupgc 0 1 1 131 1 0", "menupgc 0 2 1 131 1 0"}, // no such language unit
        {"menus 1 0 0\n", "Menus 1 0 0\n"},                 // not a keyword
        {"menus 1 0 0\n", "menus 1 0 0\r\n"},
        {"menus 1 0 0\n", "menus 1 0 0\n\xff\n"},
        {"menus 1 0 0\n", "menus 1 0 0\n\n"},
        {"discid 0123456789abcdef", "discid 0123456789ABCDEF"},
        {"discid 0123456789abcdef", "discid 123456789abcdef"},
        {"discid 0123456789abcdef", "discid 0123456789abcdef 0"},
        {"discid 0123456789abcdef", "discid 0123456789abcdeg"},
        {"discid ", "discid 0123456789abcdef0123456789abcdef\ndiscid "},
    };
    for (const auto& [from, to] : broken) {
        QByteArray answer = kAnswer;
        answer.replace(from, to);
        ASSERT_NE(answer, kAnswer) << from;
        EXPECT_FALSE(parseDvdProbeAnswer(answer)) << answer.toStdString();
    }
    EXPECT_FALSE(parseDvdProbeAnswer(QByteArray()));
    EXPECT_FALSE(parseDvdProbeAnswer(QByteArray(5 << 20, 'a') + "\n"));
}

TEST(DvdProbe, ReadsTheSampleDiscOnceAndAgainWhenItChanges) {
    ASSERT_TRUE(QFile::exists(kDisc + QStringLiteral("/VIDEO_TS/VIDEO_TS.IFO")))
        << "the dvd_fixture test authors the disc";
    QElapsedTimer clock;
    clock.start();
    const DvdStructure disc = kavelo::readDvdStructure(kDisc);
    ::testing::Test::RecordProperty("probe_ms", static_cast<int>(clock.elapsed()));
    ASSERT_GE(disc.titles.size(), 2u);
    EXPECT_EQ(disc.longestTitle(), 2);
    // The disc's identity, the same from its VIDEO_TS folder.
    EXPECT_EQ(disc.discId.size(), 32);
    EXPECT_EQ(kavelo::readDvdStructure(kDisc + QStringLiteral("/VIDEO_TS")).discId, disc.discId);

    const kavelo::DvdTitleInfo& first = disc.titles[0];
    EXPECT_EQ(first.chapters, 3);
    EXPECT_NEAR(first.length, 30, 0.1);
    ASSERT_EQ(first.cells.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first.cells[i].chapter, static_cast<int>(i) + 1);
        EXPECT_NEAR(first.cells[i].length, 10, 0.1);
        EXPECT_EQ(first.cells[i].still, 0);
        EXPECT_NEAR(first.chapterStarts[i], 10.0 * static_cast<double>(i), 0.1);
        if (i > 0) {
            EXPECT_GT(first.cells[i].firstSector, first.cells[i - 1].lastSector);
        }
    }
    // Only title 2's timestamps run on through its cells: it alone can be read as one stream.
    ASSERT_EQ(disc.titles.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(disc.titles[i].playsAsProgramStream(), i == 1) << "title " << i + 1;
    kavelo::DvdTitleInfo angled = disc.titles[1];
    angled.cells[1].angle = 1;
    EXPECT_FALSE(angled.playsAsProgramStream());
    angled = disc.titles[1];
    angled.cells[2].firstPts = -1;
    EXPECT_FALSE(angled.playsAsProgramStream());

    const kavelo::DvdTitleInfo& second = disc.titles[1];
    EXPECT_EQ(second.chapters, 4);
    EXPECT_NEAR(second.length, 80, 0.1);
    ASSERT_FALSE(second.cells.empty());
    int chapterCells = 0;
    double sum = 0;
    for (const kavelo::DvdCell& cell : second.cells) {
        chapterCells += cell.chapter != 0;
        sum += cell.length;
    }
    EXPECT_EQ(chapterCells, 4);
    EXPECT_NEAR(sum, 80, 0.1);
    EXPECT_FALSE(first.hasUnnoticedTimestampJumps()); // 10 s back: libmpv notices
    EXPECT_FALSE(second.hasUnnoticedTimestampJumps());
    ASSERT_GE(disc.titles.size(), 3u);
    EXPECT_TRUE(disc.titles[2].hasUnnoticedTimestampJumps()); // 4 s back
    ASSERT_FALSE(disc.menus.empty());
    EXPECT_EQ(disc.menus[0].titleSet, 0);

    // One read per place while it stays as it was.
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString copy = copyDisc(temp.path());
    DvdStructureReader reader;
    EXPECT_EQ(reader.read(copy).discId, disc.discId); // a copy is the same disc
    reader.read(copy);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 1);
    reader.read(kDisc);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 2);
    reader.read(copy);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 3);
    // The disc changes: its title set's control data is damaged.
    const QString ifo = copy + QStringLiteral("/VIDEO_TS/VTS_01_0.IFO");
    QByteArray bytes = kavelo::test::readFile(ifo);
    ASSERT_GT(bytes.size(), 0xd0);
    bytes[0xcf] = 0x03; // the program-chain table pointer off by one sector
    ASSERT_TRUE(kavelo::test::writeFile(ifo, bytes));
    EXPECT_THROW(reader.read(copy), EngineError);
    EXPECT_EQ(kavelo::EngineTestPeer::probes(reader), 4);
    EXPECT_THROW(reader.read(copy), EngineError);
}

TEST(DvdProbe, AProbeThatCrashesHangsOrAnswersNonsenseFailsTheRead) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString place = copyDisc(temp.filePath(QStringLiteral("disc")));
    const QByteArray answer = "printf '" + QByteArray(kAnswer).replace("\n", "\\n") + "'";
    struct Case {
        const char* name;
        QByteArray body;
        bool reads;
    };
    const Case cases[] = {
        {"answers", answer, true},
        {"crashes", answer + "; kill -SEGV $$", false},
        {"hangs", "exec sleep 20", false},
        {"answers-then-hangs", answer + "; exec sleep 20", false},
        {"nonsense", "echo 'Segmentation fault'", false},
        {"refuses", answer + "; exit 1", false},
        {"silent", "exit 0", false},
        {"floods", "exec cat /dev/zero", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DvdStructureReader reader(std::chrono::milliseconds(700), fakeProbe(temp, c.name, c.body));
        QElapsedTimer clock;
        clock.start();
        if (c.reads) {
            EXPECT_EQ(reader.read(place).titles.size(), 2u);
        } else {
            EXPECT_THROW(reader.read(place), EngineError);
        }
        EXPECT_LT(clock.elapsed(), 2500);
    }
    DvdStructureReader missing(std::chrono::seconds(1), temp.filePath(QStringLiteral("none")));
    EXPECT_THROW(missing.read(place), EngineError);
}

} // namespace
