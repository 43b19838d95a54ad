#include "Skin.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kavelo {
namespace {

class ColourFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("color.txt"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    std::optional<int> number(const QByteArray& bytes) {
        auto field = readColourField(write(bytes));
        return field ? colourNumber(*field) : std::nullopt;
    }
    QTemporaryDir m_dir;
};

TEST_F(ColourFileTest, ReadsTheFieldAtFixedOffsets) {
    EXPECT_EQ(number("1 9\r\n"), 9); // the line end is not read
    EXPECT_EQ(number("2 15"), 15);
    EXPECT_EQ(number("1 15"), 1); // only N characters of the field
    EXPECT_EQ(number("1x7"), 7);  // byte 1 is never looked at
    EXPECT_EQ(number("2 07\nrest"), 7);
    EXPECT_EQ(number("3  12"), 12); // blanks around the number are allowed
}

TEST_F(ColourFileTest, RefusesWhatIsNoPaletteNumber) {
    EXPECT_EQ(number(""), std::nullopt);
    EXPECT_EQ(number("0 5"), std::nullopt); // N of 0 gives an empty field
    EXPECT_EQ(number("a 5"), std::nullopt); // first byte no digit
    EXPECT_EQ(number("2 16"), std::nullopt);
    EXPECT_EQ(number("2 99"), std::nullopt);
    EXPECT_EQ(number("2 -1"), std::nullopt);
    EXPECT_EQ(number("3 1.5"), std::nullopt);
    EXPECT_EQ(number("1"), std::nullopt); // field past the end: nothing there
    EXPECT_EQ(number(QByteArray("2 \0\xff", 4)), std::nullopt);
    EXPECT_EQ(number("9 999999999"), std::nullopt);
}

TEST_F(ColourFileTest, FieldShorterThanNGivesWhatIsThere) {
    EXPECT_EQ(number("5 12"), 12);
}

TEST_F(ColourFileTest, ReadsOnlyTheFieldOfAHugeFile) {
    QByteArray big("2 14");
    big.append(QByteArray(8 * 1024 * 1024, 'x'));
    auto field = readColourField(write(big));
    ASSERT_TRUE(field);
    EXPECT_EQ(*field, QByteArray("14"));
}

TEST_F(ColourFileTest, MissingFileIsNotCreated) {
    const QString path = m_dir.filePath(QStringLiteral("color1.txt"));
    EXPECT_EQ(readColourField(path), std::nullopt);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(readColourField(m_dir.path()), std::nullopt); // a folder
}

TEST(Palette, SixteenColoursAndTheEngineByteOrder) {
    EXPECT_EQ(paletteColour(0), QColor(0, 0, 0));
    EXPECT_EQ(paletteColour(7), QColor(192, 192, 192));
    EXPECT_EQ(paletteColour(8), QColor(128, 128, 128));
    EXPECT_EQ(paletteColour(9), QColor(0, 0, 255));
    EXPECT_EQ(paletteColour(14), QColor(255, 255, 0));
    EXPECT_EQ(paletteColour(15), QColor(255, 255, 255));
    EXPECT_EQ(engineColour(QColor(0x12, 0x34, 0x56)), 0x563412u);
    EXPECT_EQ(engineColour(paletteColour(12)), 0x0000FFu); // light red
}

} // namespace
} // namespace kavelo
