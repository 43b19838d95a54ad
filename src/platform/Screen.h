#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace kavelo {

// Positions and sizes are kept in twips (1/1440 inch) as designed; the screen reports
// its size as logical pixels × 1440 / logical DPI.
struct ScreenMetrics {
    QSize pixels;      // logical pixels
    double dpi = 96.0; // logical dots per inch
    // The part of the screen windows may use (without the desktop's panels), in logical
    // pixels; empty when not known.
    QRect available;

    double twipsPerPixel() const { return dpi > 0 ? 1440.0 / dpi : 15.0; }
    int widthTwips() const;
    int heightTwips() const;
    int toPixels(int twips) const;
    int toTwips(int pixels) const;
    QRect toPixels(const QRect& twips) const;
};

// Names a control and places it at a rectangle given in twips.
void placeControl(QWidget* control, const char* name, const QRect& twips,
                  const ScreenMetrics& screen);

// The primary screen as the windowing system reports it (96 dpi, 1024 × 768 without one).
ScreenMetrics primaryScreenMetrics();

} // namespace kavelo
