#include "MenuGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kavelo;

TEST(MenuGeometry, PointerMapsThroughTheBarsOntoTheFrame) {
    // A 4:3 PAL picture in a wide window: 100-pixel bars left and right.
    const PixelRect picture = pictureRect(1000, 600, 100, 0, 100, 0);
    EXPECT_EQ(picture.x, 100);
    EXPECT_EQ(picture.width, 800);
    EXPECT_EQ(picture.height, 600);
    EXPECT_FALSE(windowToFrame(50, 300, picture, 720, 576));  // over the left bar
    EXPECT_FALSE(windowToFrame(950, 300, picture, 720, 576)); // over the right bar
    const auto corner = windowToFrame(100, 0, picture, 720, 576);
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->x, 0);
    EXPECT_EQ(corner->y, 0);
    const auto last = windowToFrame(899, 599, picture, 720, 576);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->x, 719);
    EXPECT_EQ(last->y, 575);
    const auto middle = windowToFrame(500, 300, picture, 720, 480); // NTSC frame
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->x, 360);
    EXPECT_EQ(middle->y, 240);
    // Bars above and below; nonsense margins count as none; no picture maps nothing.
    const PixelRect tall = pictureRect(400, 500, 0, 50, 0, 150);
    EXPECT_EQ(tall.y, 50);
    EXPECT_EQ(tall.height, 300);
    EXPECT_FALSE(windowToFrame(200, 40, tall, 720, 576));
    EXPECT_EQ(pictureRect(400, 300, -5, std::nan(""), 0, 0).x, 0);
    EXPECT_FALSE(windowToFrame(0, 0, pictureRect(10, 10, 10, 10, 10, 10), 720, 576));
}

TEST(MenuGeometry, OverlayFollowsThePictureSize) {
    OverlayPicture button;
    button.x = 360;
    button.y = 288;
    button.width = 2;
    button.height = 1;
    button.bgra = {1, 2, 3, 255, 4, 5, 6, 255};
    // Half size, offset by a 40-pixel bar on the left.
    const OverlayPicture half = placeOnPicture(button, PixelRect{40, 0, 360, 288}, 720, 576);
    EXPECT_EQ(half.x, 40 + 180);
    EXPECT_EQ(half.y, 144);
    EXPECT_EQ(half.width, 1);
    EXPECT_EQ(half.height, 1);
    // Double size: each pixel four times.
    const OverlayPicture twice = placeOnPicture(button, PixelRect{0, 0, 1440, 1152}, 720, 576);
    EXPECT_EQ(twice.width, 4);
    EXPECT_EQ(twice.height, 2);
    EXPECT_EQ(twice.bgra[4 * 1], 1);
    EXPECT_EQ(twice.bgra[4 * 2], 4);
    EXPECT_EQ(twice.bgra[4 * 7], 4);
    // Damaged input or no picture: nothing.
    OverlayPicture bad = button;
    bad.bgra.pop_back();
    EXPECT_TRUE(placeOnPicture(bad, PixelRect{0, 0, 720, 576}, 720, 576).empty());
    EXPECT_TRUE(placeOnPicture(button, PixelRect{0, 0, 0, 0}, 720, 576).empty());
}
