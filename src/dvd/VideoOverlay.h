#pragma once

#include "MenuGeometry.h"
#include "Subpicture.h"

#include <QElapsedTimer>

#include <cstdint>
#include <vector>

namespace kavelo {

class MpvDriver;

// Where libmpv shows the picture inside its window (letterbox bars left out), and the size of
// the disc's frame in it.
struct PicturePlacement {
    PixelRect picture;
    int frameWidth = 720;
    int frameHeight = 576;
};
PicturePlacement picturePlacement(const MpvDriver& driver);
// The picture's place alone (one property read).
PixelRect pictureInWindow(const MpvDriver& driver);

// One picture libmpv lays over the video (`overlay-add` under its own id), given in the disc's
// frame pixels and placed onto the picture as libmpv shows it now.
class VideoOverlay {
public:
    VideoOverlay(MpvDriver& driver, int id) : m_driver(driver), m_id(id) {}

    // Shows `frame` (empty: removes it); false when libmpv refused it.
    bool show(const OverlayPicture& frame);
    void remove();
    bool shown() const { return m_shown; }
    // Whether the picture moved within the window since the overlay was placed. libmpv is asked
    // (one property read) at most every kPlacementCheckMs: a resized window's overlay follows
    // within that, and one shown over many pictures costs no reads for each.
    bool moved();
    static constexpr qint64 kPlacementCheckMs = 200;

private:
    MpvDriver& m_driver;
    int m_id;
    // libmpv reads the pixels where they lie: the picture before stays until this one is up.
    std::vector<std::uint8_t> m_pixels[2];
    int m_index = 0;
    bool m_shown = false;
    PicturePlacement m_placedOn; // the picture's place and the frame's size it was placed for
    QElapsedTimer m_placementChecked;
};

} // namespace kavelo
