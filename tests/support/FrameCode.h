#pragma once

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace kavelo::test {

// The frame code strip the sample disc's titles 2 to 4 carry: the title and the picture's number.
struct FrameCode {
    int title = 0;
    int frame = 0;
};

// The code strip of a picture of title 2, 3 or 4; nullopt when the picture has none.
inline std::optional<FrameCode> readCode(const QImage& picture) {
    if (picture.isNull())
        return std::nullopt;
    const auto bit = [&](int box) {
        const int x = (40 * box + 20) * picture.width() / 720;
        const int y = 552 * picture.height() / 576;
        return qGray(picture.pixel(x, y)) > 128 ? 1 : 0;
    };
    if (!bit(13) || bit(17))
        return std::nullopt;
    FrameCode code;
    for (int b = 0; b < 13; ++b)
        code.frame |= bit(b) << b;
    for (int b = 0; b < 3; ++b)
        code.title |= bit(14 + b) << b;
    return code;
}

// The picture shown first after a seek to picture `frame` of `title` is the asked one (after a
// pause that comes a little late, one or two further on, never one before), and the time at
// `fps` agrees with it.
inline testing::AssertionResult landedOn(const QImage& picture, double seconds, double fps,
                                         int title, int frame) {
    const std::optional<FrameCode> code = readCode(picture);
    if (!code)
        return testing::AssertionFailure() << "no frame code on the picture, aiming at " << frame;
    if (code->title != title || code->frame < frame || code->frame > frame + 2 ||
        code->frame != std::lround(seconds * fps))
        return testing::AssertionFailure()
               << "title " << code->title << " frame " << code->frame << " at " << seconds
               << " s, aiming at title " << title << " frame " << frame;
    return testing::AssertionSuccess();
}

} // namespace kavelo::test
