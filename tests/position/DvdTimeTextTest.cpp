#include "DvdTimeText.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kavelo {
namespace {

QString fields(int h, int m, int s, int frames = -1) {
    char buf[32];
    if (frames < 0)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%02d", h, m, s, frames);
    return QString::fromLatin1(buf);
}

// Every position a seek text can name: the writer sends the position's own hours, minutes and
// seconds (a whole minute one second past it), and the reader gets the position back from
// texts with and without frames. Positions past the range, and any text, are the fuzz target's.
TEST(DvdTimeText, EveryPositionUpTo99_59_59) {
    int writerMismatches = 0;
    int readerMismatches = 0;
    for (std::int64_t p = 0; p <= kLastSeekSecond; ++p) {
        const int h = static_cast<int>(p / 3600);
        const int m = static_cast<int>(p / 60 % 60);
        const int s = static_cast<int>(p % 60);
        const auto sent = seekText(p);
        if (!sent || *sent != fields(h, m, s == 0 ? 1 : s, 0)) {
            if (++writerMismatches <= 5)
                ADD_FAILURE() << "seek text for " << p << ": "
                              << sent.value_or("none").toStdString();
        }
        const auto withFrames = dvdTimeSeconds(fields(h, m, s, static_cast<int>(p % 25)));
        const auto eightChars = dvdTimeSeconds(fields(h, m, s));
        if (withFrames != p || eightChars != p) {
            if (++readerMismatches <= 5)
                ADD_FAILURE() << "reader at " << p;
        }
    }
    EXPECT_EQ(writerMismatches, 0);
    EXPECT_EQ(readerMismatches, 0);
}

TEST(DvdTimeText, ShortAndMalformedTexts) {
    using F = DvdTimeField;
    // Fields stand at fixed characters; separators are never looked at.
    EXPECT_EQ(dvdTimeSeconds(QStringLiteral("01x23y45")), 5025);
    EXPECT_EQ(dvdTimeSeconds(QStringLiteral("01:23:45:12 and more")), 5025);
    EXPECT_EQ(dvdTimeFieldText(QStringLiteral("01:23:45:12"), F::Seconds), QStringLiteral("45"));

    // Short texts give short or empty fields; a one-digit field is still a number.
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("01:23:4"), F::Seconds), 4);
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("01:23:"), F::Seconds), std::nullopt);
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("01:2"), F::Minutes), 2);
    EXPECT_EQ(dvdTimeFieldValue(QString(), F::Hours), std::nullopt);
    EXPECT_EQ(dvdTimeSeconds(QStringLiteral("01:23")), std::nullopt);

    // Anything but ASCII digits fails its field only.
    for (const QString& text :
         {QStringLiteral("1:23:45"), QStringLiteral(" 1:23:45"), QStringLiteral("-1:23:45"),
          QStringLiteral("+1:23:45"), QString::fromUtf8("\u0661\u0662:23:45")})
        EXPECT_EQ(dvdTimeFieldValue(text, F::Hours), std::nullopt) << text.toStdString();
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("1:23:45"), F::Minutes), std::nullopt);
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("01:2x:45"), F::Minutes), std::nullopt);
    EXPECT_EQ(dvdTimeFieldValue(QStringLiteral("01:2x:45"), F::Seconds), 45);
    EXPECT_EQ(dvdTimeSeconds(QStringLiteral("01:2x:45")), std::nullopt);
}

} // namespace
} // namespace kavelo
