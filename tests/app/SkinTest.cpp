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
    std::optional<int> number(const QByteArray& bytes) {
        auto field = readColourField(write(bytes));
        return field ? colourNumber(*field) : std::nullopt;
    }
    QTemporaryDir m_dir;
};

TEST_F(ColourFileTest, ReadsTheFieldAtFixedOffsetsAndRefusesWhatIsNoPaletteNumber) {
    EXPECT_EQ(number("1 9\r\n"), 9); // the line end is not read
    EXPECT_EQ(number("2 15"), 15);
    EXPECT_EQ(number("1 15"), 1);  // only N characters of the field
    EXPECT_EQ(number("5 12"), 12); // or what there is of them
    EXPECT_EQ(number("1x7"), 7);   // byte 1 is never looked at
    EXPECT_EQ(number("2 07\nrest"), 7);
    EXPECT_EQ(number("3  12"), 12); // blanks around the number are allowed

    // N of 0 gives an empty field; a first byte that is no digit; a field past the end.
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("0 5"), QByteArray("a 5"), QByteArray("2 16"),
          QByteArray("2 99"), QByteArray("2 -1"), QByteArray("3 1.5"), QByteArray("1"),
          QByteArray("2 \0\xff", 4), QByteArray("9 999999999")})
        EXPECT_EQ(number(bytes), std::nullopt) << bytes.toHex().toStdString();
}

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
