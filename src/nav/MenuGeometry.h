#pragma once

#include "Subpicture.h"

#include <optional>

namespace kavelo {

// A rectangle in the video window's pixels.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Where the picture lies in a window of `windowWidth` x `windowHeight` pixels with the given
// margins (the bars left and right, above and below it, as the player reports them).
PixelRect pictureRect(int windowWidth, int windowHeight, double left, double top, double right,
                      double bottom);

// The point of the disc's frame (`frameWidth` x `frameHeight`, 720 x 576 or 720 x 480) under a
// window pixel; nothing over the bars around the picture.
struct FramePoint {
    int x = 0;
    int y = 0;
};
std::optional<FramePoint> windowToFrame(int x, int y, const PixelRect& picture, int frameWidth,
                                        int frameHeight);

// A frame-sized overlay scaled (nearest pixel) and placed onto the picture in window pixels.
OverlayPicture placeOnPicture(const OverlayPicture& frameOverlay, const PixelRect& picture,
                              int frameWidth, int frameHeight);

} // namespace kavelo
