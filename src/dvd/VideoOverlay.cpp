#include "VideoOverlay.h"

#include "MenuGeometry.h"
#include "MpvDriver.h"
#include "MpvSession.h"

namespace kavelo {

namespace {

namespace prop = mpv::name;

QByteArray key(const PicturePlacement& p) {
    return QByteArray::number(p.picture.x) + ',' + QByteArray::number(p.picture.y) + ',' +
           QByteArray::number(p.picture.width) + ',' + QByteArray::number(p.picture.height) + ',' +
           QByteArray::number(p.frameWidth) + ',' + QByteArray::number(p.frameHeight);
}

} // namespace

PicturePlacement picturePlacement(const MpvDriver& driver) {
    PicturePlacement p;
    p.picture = pictureRect(static_cast<int>(driver.getInt(prop::kOsdWidth).value_or(0)),
                            static_cast<int>(driver.getInt(prop::kOsdHeight).value_or(0)),
                            driver.getDouble(prop::kOsdMarginLeft).value_or(0),
                            driver.getDouble(prop::kOsdMarginTop).value_or(0),
                            driver.getDouble(prop::kOsdMarginRight).value_or(0),
                            driver.getDouble(prop::kOsdMarginBottom).value_or(0));
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
    m_placedOn = key(where);
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
    return key(picturePlacement(m_driver)) != m_placedOn;
}

} // namespace kavelo
