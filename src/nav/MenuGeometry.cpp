#include "MenuGeometry.h"

#include <algorithm>
#include <cmath>

namespace kavelo {

PixelRect pictureRect(int windowWidth, int windowHeight, double left, double top, double right,
                      double bottom) {
    auto margin = [](double v) { return std::isfinite(v) && v > 0 ? static_cast<int>(v) : 0; };
    PixelRect r;
    r.x = margin(left);
    r.y = margin(top);
    r.width = std::max(0, windowWidth - r.x - margin(right));
    r.height = std::max(0, windowHeight - r.y - margin(bottom));
    return r;
}

std::optional<FramePoint> windowToFrame(int x, int y, const PixelRect& picture, int frameWidth,
                                        int frameHeight) {
    if (picture.width <= 0 || picture.height <= 0 || frameWidth <= 0 || frameHeight <= 0)
        return std::nullopt;
    if (x < picture.x || y < picture.y || x >= picture.x + picture.width ||
        y >= picture.y + picture.height)
        return std::nullopt;
    const long fx = static_cast<long>(x - picture.x) * frameWidth / picture.width;
    const long fy = static_cast<long>(y - picture.y) * frameHeight / picture.height;
    return FramePoint{static_cast<int>(fx), static_cast<int>(fy)};
}

OverlayPicture placeOnPicture(const OverlayPicture& in, const PixelRect& picture, int frameWidth,
                              int frameHeight) {
    OverlayPicture out;
    if (in.empty() || picture.width <= 0 || picture.height <= 0 || frameWidth <= 0 ||
        frameHeight <= 0 || in.bgra.size() != static_cast<std::size_t>(in.width) * in.height * 4)
        return out;
    auto toX = [&](long fx) { return picture.x + fx * picture.width / frameWidth; };
    auto toY = [&](long fy) { return picture.y + fy * picture.height / frameHeight; };
    out.x = static_cast<int>(toX(in.x));
    out.y = static_cast<int>(toY(in.y));
    // Never thinner than a pixel: a one-line outline stays visible on a small picture.
    out.width = std::max(1, static_cast<int>(toX(in.x + in.width)) - out.x);
    out.height = std::max(1, static_cast<int>(toY(in.y + in.height)) - out.y);
    out.bgra.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    for (int row = 0; row < out.height; ++row) {
        const long sy =
            std::min<long>(in.height - 1, static_cast<long>(row) * in.height / out.height);
        for (int col = 0; col < out.width; ++col) {
            const long sx =
                std::min<long>(in.width - 1, static_cast<long>(col) * in.width / out.width);
            const std::uint8_t* src = &in.bgra[static_cast<std::size_t>(sy * in.width + sx) * 4];
            std::copy(src, src + 4,
                      &out.bgra[(static_cast<std::size_t>(row) * out.width + col) * 4]);
        }
    }
    return out;
}

} // namespace kavelo
