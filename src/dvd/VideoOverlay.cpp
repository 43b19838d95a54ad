#include "VideoOverlay.h"

#include "MenuGeometry.h"
#include "MpvDriver.h"
#include "MpvSession.h"

namespace kavelo {

namespace prop = mpv::name;

PixelRect pictureInWindow(const MpvDriver& driver) {
    const auto osd =
        driver.getNumbers(prop::kOsdDimensions).value_or(std::map<std::string, double>{});
    const auto number = [&osd](const char* key) {
        const auto it = osd.find(key);
        return it == osd.end() ? 0.0 : it->second;
    };
    return pictureRect(static_cast<int>(number("w")), static_cast<int>(number("h")), number("ml"),
                       number("mt"), number("mr"), number("mb"));
}

PicturePlacement picturePlacement(const MpvDriver& driver) {
    PicturePlacement p;
    p.picture = pictureInWindow(driver);
    p.frameWidth = static_cast<int>(driver.getInt(prop::kVideoWidth).value_or(720));
    p.frameHeight = static_cast<int>(driver.getInt(prop::kVideoHeight).value_or(576));
    return p;
}

bool VideoOverlay::show(const OverlayPicture& frame) {
    const PicturePlacement where = picturePlacement(m_driver);
    const OverlayPicture placed =
        placeOnPicture(frame, where.picture, where.frameWidth, where.frameHeight);
    if (placed.empty()) {
        remove();
        return true;
    }
    m_index ^= 1;
    std::vector<std::uint8_t>& pixels = m_pixels[m_index];
    pixels = placed.bgra;
    const QByteArray address =
        "&" +
        QByteArray::number(static_cast<qulonglong>(reinterpret_cast<quintptr>(pixels.data())));
    m_shown = m_driver.tryCommand(
        {"overlay-add", QByteArray::number(m_id), QByteArray::number(placed.x),
         QByteArray::number(placed.y), address, "0", "bgra", QByteArray::number(placed.width),
         QByteArray::number(placed.height), QByteArray::number(placed.width * 4)});
    m_placedOn = where;
    m_placementChecked.start();
    return m_shown;
}

void VideoOverlay::remove() {
    if (m_shown)
        m_driver.tryCommand({"overlay-remove", QByteArray::number(m_id)});
    m_shown = false;
}

bool VideoOverlay::moved() {
    if (m_placementChecked.isValid() && !m_placementChecked.hasExpired(kPlacementCheckMs))
        return false;
    m_placementChecked.start();
    // The frame's size changes only with a new title, which places its subtitles anew.
    return pictureInWindow(m_driver) != m_placedOn.picture;
}

} // namespace kavelo
