// The bookmarks kept on disk: one per disc, the newest kept, written atomically, and any file
// that is not exactly what the store writes ignored whole.
#include "BookmarkStore.h"

#include "LogCapture.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kavelo {
namespace {

QString disc(int n) {
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0'));
}

const DiscBookmark kMark{2, 61.48, 3, 1, 0};

class BookmarkStoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("data/Kavelo/bookmarks"));
    BookmarkStore m_store{m_path};

    QByteArray contents() const {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(BookmarkStoreTest, OnePerDiscKeptAcrossStoresTheNewestWinAndRemoveLeavesTheOthers) {
    EXPECT_FALSE(m_store.find(disc(1)));
    ASSERT_TRUE(m_store.save(disc(1), kMark)); // makes the folder
    ASSERT_TRUE(m_store.save(disc(2), DiscBookmark{1, 0, 1, 0, -1}));
    // Another store on the same file (the next run of the program) finds both.
    const BookmarkStore again(m_path);
    EXPECT_EQ(again.find(disc(1)), kMark);
    EXPECT_EQ(again.find(disc(2)), (DiscBookmark{1, 0, 1, 0, -1}));
    EXPECT_FALSE(again.find(disc(3)));
    EXPECT_FALSE(again.find(disc(0xabc)));

    // Saving again replaces the disc's bookmark and makes it the newest.
    ASSERT_TRUE(m_store.save(disc(1), DiscBookmark{5, 3600.5, 1, 2, 4}));
    EXPECT_EQ(contents(), QByteArray("kavelo-bookmarks 1\n") + disc(2).toLatin1() +
                              " 1 0 1 0 -1\n" + disc(1).toLatin1() + " 5 3600500 1 2 4\n");
    ASSERT_TRUE(m_store.remove(disc(1)));
    EXPECT_FALSE(m_store.find(disc(1)));
    EXPECT_TRUE(m_store.find(disc(2)));
    EXPECT_TRUE(m_store.remove(disc(7))); // nothing to drop
    EXPECT_FALSE(QFileInfo::exists(m_path + QStringLiteral(".tmp")));
    const QStringList left = QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList{"bookmarks"}); // no temporary files behind

    // Identities and places that would not read back are refused before the file is touched.
    const QByteArray before = contents();
    for (const QString& bad : {QString(), disc(1).left(31), disc(0xabc).toUpper(),
                               disc(1).replace(0, 1, QLatin1Char(' ')), disc(1) + "0"})
        EXPECT_FALSE(m_store.save(bad, kMark)) << bad.toStdString();
    EXPECT_FALSE(m_store.save(disc(3), DiscBookmark{0, 1, 1, 0, -1}));
    EXPECT_FALSE(m_store.save(disc(3), DiscBookmark{1, 1, 10, 0, -1}));
    EXPECT_FALSE(m_store.save(disc(3), DiscBookmark{1, 1, 1, 8, -1}));
    EXPECT_EQ(contents(), before);
    // A time that is no number is the title's start.
    ASSERT_TRUE(m_store.save(disc(3), DiscBookmark{1, std::nan(""), 1, 0, -1}));
    EXPECT_EQ(m_store.find(disc(3))->seconds, 0);
}

TEST_F(BookmarkStoreTest, BeyondTheLimitTheLeastRecentlySavedDiscsGo) {
    for (int i = 1; i <= BookmarkStore::kMaxDiscs; ++i)
        ASSERT_TRUE(m_store.save(disc(i), DiscBookmark{1, double(i), 1, 0, -1}));
    ASSERT_TRUE(m_store.save(disc(1), kMark)); // saved again: now the newest
    ASSERT_TRUE(m_store.save(disc(1000), kMark));
    EXPECT_TRUE(m_store.find(disc(1)));
    EXPECT_FALSE(m_store.find(disc(2)));
    EXPECT_TRUE(m_store.find(disc(3)));
    EXPECT_TRUE(m_store.find(disc(1000)));
    EXPECT_LE(QFileInfo(m_path).size(), BookmarkStore::kMaxFileBytes);
}

TEST_F(BookmarkStoreTest, ADamagedOrForeignFileIsIgnoredWithADebugLineAndReplacedOnSave) {
    ASSERT_TRUE(m_store.save(disc(1), kMark));
    const QByteArray good = contents();
    const QByteArray line = disc(2).toLatin1() + " 1 0 1 0 -1\n";
    const QList<QByteArray> damaged = {
        QByteArray(),
        "[Bookmarks]\ndisc=1\n",                               // another program's file
        "kavelo-bookmarks 2\n" + line,                         // a later format
        good.chopped(1),                                       // cut short
        good + line.left(20) + "\n",                           // a line cut short
        good + disc(2).toLatin1() + " 1 0 1 0 -1 9\n",         // a field too many
        good + disc(2).toLatin1() + " 1  0 1 0 -1\n",          // an empty field
        good + disc(2).toLatin1() + " +1 0 1 0 -1\n",          // a sign
        good + disc(2).toLatin1() + " 1 0x10 1 0 -1\n",        // not decimal
        good + disc(2).toLatin1() + " 1 99999999999 1 0 -1\n", // too large
        good + disc(2).toLatin1() + " 100 0 1 0 -1\n",         // no such title
        good + disc(2).toLatin1() + " 1 0 1 0 -2\n",           // no such stream
        good + disc(1).toLatin1() + " 1 0 1 0 -1\n",           // a disc twice
        good + "ZZ" + disc(2).toLatin1().mid(2) + " 1 0 1 0 -1\n",
        good + QByteArray("\xff\xfe\0\n", 4),
        QByteArray(good).replace('\n', "\r\n"),
        "kavelo-bookmarks 1\n" + QByteArray(BookmarkStore::kMaxFileBytes, 'x') + "\n",
    };
    for (const QByteArray& bytes : damaged) {
        ASSERT_TRUE(test::writeFile(m_path, bytes));
        test::LogCapture log;
        EXPECT_FALSE(m_store.find(disc(1))) << bytes.left(80).toStdString();
        EXPECT_FALSE(
            log.find(QStringLiteral("kavelo.platform"), QStringLiteral("bookmarks")).isEmpty())
            << bytes.left(80).toStdString();
    }
    // Too many discs for a file the store writes.
    QByteArray many = "kavelo-bookmarks 1\n";
    for (int i = 1; i <= BookmarkStore::kMaxDiscs + 1; ++i)
        many += disc(i).toLatin1() + " 1 0 1 0 -1\n";
    ASSERT_TRUE(test::writeFile(m_path, many));
    EXPECT_FALSE(m_store.find(disc(1)));

    // Saving over a damaged file starts it afresh.
    ASSERT_TRUE(m_store.save(disc(2), kMark));
    EXPECT_EQ(m_store.find(disc(2)), kMark);
    EXPECT_FALSE(m_store.find(disc(1)));

    // A folder or a pipe in the file's place: ignored at once, and not written through.
    QFile::remove(m_path);
    ASSERT_EQ(mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
    EXPECT_FALSE(m_store.find(disc(2)));
    QFile::remove(m_path);
    ASSERT_TRUE(QDir().mkpath(m_path));
    EXPECT_FALSE(m_store.find(disc(2)));
    EXPECT_FALSE(m_store.save(disc(2), kMark));
}

TEST_F(BookmarkStoreTest, AFolderThatCannotBeMadeFailsTheSaveWithoutThrowing) {
    ASSERT_TRUE(test::writeFile(m_dir.filePath(QStringLiteral("plain")), "x"));
    BookmarkStore store(m_dir.filePath(QStringLiteral("plain/Kavelo/bookmarks")));
    EXPECT_FALSE(store.save(disc(1), kMark));
    EXPECT_FALSE(store.find(disc(1)));
    EXPECT_TRUE(BookmarkStore().filePath().endsWith(QStringLiteral("/bookmarks")));
}

} // namespace
} // namespace kavelo
