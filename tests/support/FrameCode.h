#pragma once

#include <QImage>

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

} // namespace kavelo::test
