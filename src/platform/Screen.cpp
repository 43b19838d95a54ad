#include "Screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace kavelo {

int ScreenMetrics::widthTwips() const {
    return static_cast<int>(std::lround(pixels.width() * twipsPerPixel()));
}

int ScreenMetrics::heightTwips() const {
    return static_cast<int>(std::lround(pixels.height() * twipsPerPixel()));
}

int ScreenMetrics::toPixels(int twips) const {
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

int ScreenMetrics::toTwips(int px) const {
    return static_cast<int>(std::lround(px * twipsPerPixel()));
}

QRect ScreenMetrics::toPixels(const QRect& twips) const {
    return {toPixels(twips.x()), toPixels(twips.y()), toPixels(twips.width()),
            toPixels(twips.height())};
}

void placeControl(QWidget* control, const char* name, const QRect& twips,
                  const ScreenMetrics& screen) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(screen.toPixels(twips));
}

ScreenMetrics primaryScreenMetrics() {
    ScreenMetrics m;
    m.pixels = QSize(1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        m.pixels = s->size();
        m.available = s->availableGeometry();
        if (s->logicalDotsPerInch() > 0)
            m.dpi = s->logicalDotsPerInch();
    }
    return m;
}

} // namespace kavelo
