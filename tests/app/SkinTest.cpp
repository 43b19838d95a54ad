#include "Skin.h"

#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace kavelo {
namespace {

class ColourFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("color.txt"));
        EXPECT_TRUE(test::writeFile(path, bytes));
        return path;
    }
    QTemporaryDir m_dir;
};

// The field and the palette number read from any bytes are the fuzz target's
// (tests/fuzz/ColourFileFuzz.cpp), the colours a skin gives the window FrmPlayTest's; here, the
// files no fuzzer makes.
TEST_F(ColourFileTest, ReadsOnlyTheFieldOfAHugeFileAndNeverCreatesOne) {
    QByteArray big("2 14");
    big.append(QByteArray(8 * 1024 * 1024, 'x'));
    auto field = readColourField(write(big));
    ASSERT_TRUE(field);
    EXPECT_EQ(*field, QByteArray("14"));

    // A missing file is not created; a folder is no file.
    const QString path = m_dir.filePath(QStringLiteral("color1.txt"));
    EXPECT_EQ(readColourField(path), std::nullopt);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(readColourField(m_dir.path()), std::nullopt); // a folder
}

TEST_F(ColourFileTest, AFifoNamedLikeAColourFileIsSkippedWithoutWaiting) {
    const QString path = m_dir.filePath(QStringLiteral("color2.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return readColourField(path); });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let the blocked open go before failing, so the test ends.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        FAIL() << "reading a FIFO waits for a writer";
    }
    EXPECT_EQ(reading.get(), std::nullopt);
}

} // namespace
} // namespace kavelo
