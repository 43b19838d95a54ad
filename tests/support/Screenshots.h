#pragma once

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace kavelo::test {

// What the screen shows inside `widget`, read back from the X server.
inline QImage grabOnScreen(const QWidget* widget) {
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, origin.x(), origin.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// How many of every `step`-th pixel of `image` are brighter than `grey`.
inline int litPixels(const QImage& image, int grey, int step) {
    int lit = 0;
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step)
            if (qGray(image.pixel(x, y)) > grey)
                ++lit;
    return lit;
}

// With KAVELO_SHOTS set to a folder, the whole screen is saved there under `name`.
inline void saveScreen(const char* name) {
    const QString dir = qEnvironmentVariable("KAVELO_SHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QLatin1Char('/') +
                                                         QLatin1String(name));
}

} // namespace kavelo::test
