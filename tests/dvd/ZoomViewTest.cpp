// Zooming into a point of the picture keeps that point where it was on the screen.
#include "VideoSurface.h"

#include <gtest/gtest.h>

#include <cmath>

using kavelo::zoomView;

namespace {

// Where libmpv shows the frame point `at` (of a frame `size` wide, shown `size` wide when not
// zoomed) once zoomed: the zoomed picture starts at pan * its width, the point lies inside it.
double shownAt(double at, double size, const kavelo::ZoomView& view) {
    const double zoomed = size * std::exp2(view.zoom);
    const double pan = view.zoom == 0 ? 0 : view.panX;
    return pan * zoomed + at / size * zoomed;
}

} // namespace

TEST(ZoomView, ThePointStaysWhereItWasAndOffOrOneIsTheWholePicture) {
    for (const auto& [x, ratio] : {std::pair{0, 4.0}, {360, 4.0}, {719, 4.0}, {100, 2.5}}) {
        const auto view = zoomView(x, 0, ratio, 720, 576);
        EXPECT_NEAR(view.zoom, std::log2(ratio), 1e-9);
        EXPECT_NEAR(shownAt(x, 720, view), x, 1e-6) << x << " at " << ratio;
    }
    // The corner the menus zoom into leaves the picture's top-left where it is.
    const auto corner = zoomView(0, 0, 4.0, 720, 576);
    EXPECT_EQ(corner.panX, 0);
    EXPECT_EQ(corner.panY, 0);
    EXPECT_EQ(corner.alignX, -1);
    // Off, one, and points outside the frame.
    for (const double ratio : {0.0, 1.0}) {
        const auto whole = zoomView(360, 288, ratio, 720, 576);
        EXPECT_EQ(whole.zoom, 0);
        EXPECT_EQ(whole.panX, 0);
        EXPECT_EQ(whole.alignX, 0);
    }
    const auto beyond = zoomView(5000, -40, 4.0, 720, 576);
    EXPECT_NEAR(beyond.panX, 1.0 * (0.25 - 1), 1e-9);
    EXPECT_EQ(beyond.panY, 0);
}
