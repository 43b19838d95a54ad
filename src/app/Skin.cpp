#include "Skin.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace kavelo {
namespace {

constexpr std::array<QRgb, 16> kPalette = {
    qRgb(0, 0, 0),       qRgb(0, 0, 128),   qRgb(0, 128, 0),   qRgb(0, 128, 128),
    qRgb(128, 0, 0),     qRgb(128, 0, 128), qRgb(128, 128, 0), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(0, 0, 255),   qRgb(0, 255, 0),   qRgb(0, 255, 255),
    qRgb(255, 0, 0),     qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(255, 255, 255),
};

} // namespace

std::optional<QByteArray> readColourField(const QString& path) {
    // Only regular files: opening a FIFO or a device named like a skin file could wait forever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    // Read-only: a missing file stays missing.
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    char lengthByte = 0;
    if (!file.getChar(&lengthByte) || lengthByte < '0' || lengthByte > '9')
        return std::nullopt;
    const int length = lengthByte - '0';
    if (!file.seek(2))
        return QByteArray();
    return file.read(length);
}

std::optional<int> colourNumber(const QByteArray& field) {
    const QByteArray trimmed = field.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (char c : trimmed) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    // At most nine digits, so this cannot overflow.
    const int value = trimmed.toInt();
    if (value < 0 || value > 15)
        return std::nullopt;
    return value;
}

QColor paletteColour(int number) {
    return QColor::fromRgb(kPalette.at(static_cast<std::size_t>(number)));
}

} // namespace kavelo
