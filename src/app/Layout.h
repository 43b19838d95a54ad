#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

namespace kavelo::layout {

// Everything in twips (1/1440 inch), from the top-left corner of the window's client area.
inline constexpr QSize kClientStandard{14265, 9990};
inline constexpr QPoint kClientOriginStandard{390, 795}; // on the screen
inline constexpr QRect kDvdMain{240, 600, 13815, 8295};
inline constexpr QRect kLogo{120, 480, 14055, 8535};
inline constexpr QRect kSlider{0, 0, 11655, 375};
inline constexpr int kStatusHeight = 300;
inline constexpr int kPanelWidth = 3540;
inline constexpr int kPanelMinWidth = 1440;
inline constexpr QSize kButton{855, 495};
inline constexpr int kButtonTop = 9000;
// Left edges of play, pause, stop, previous, next, rewind, fast, full screen.
inline constexpr std::array<int, 8> kButtonLefts{1200, 2400, 3600, 6000, 7200, 9600, 10800, 12840};

// The smaller layout used on an 800 × 600 screen.
inline constexpr QRect kLogo800{120, 480, 11295, 6135};
inline constexpr QRect kDvdMain800{240, 600, 11055, 5895};
inline constexpr QRect kWindow800{165, 50, 11640, 8400}; // outer window, frame included
inline constexpr int kButtonTop800 = 6720;
inline constexpr std::array<int, 8> kButtonLefts800{240, 1200, 2160, 3960, 4920, 6840, 7800, 10440};

} // namespace kavelo::layout
