#include "DvdTime.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace kavelo {

QString dvdTimeText(double seconds, double framesPerSecond) {
    if (!(seconds >= 0)) // negative or not a number
        seconds = 0;
    // The frame field has two digits, whatever rate a damaged stream claims.
    const double fps = (std::isfinite(framesPerSecond) && framesPerSecond > 0)
                           ? std::min(framesPerSecond, 99.0)
                           : 25.0;
    const long long maxWhole = 99LL * 3600 + 59 * 60 + 59;
    long long whole = maxWhole;
    long long frames = 0;
    if (seconds < static_cast<double>(maxWhole + 1)) { // also keeps infinity out of the casts
        whole = static_cast<long long>(std::floor(seconds));
        frames = static_cast<long long>(std::floor((seconds - static_cast<double>(whole)) * fps));
    }
    const long long framesPerSec = static_cast<long long>(std::ceil(fps));
    if (frames >= framesPerSec)
        frames = framesPerSec - 1;
    return QStringLiteral("%1:%2:%3:%4")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

// "HH:MM:SS:FF" (the frames field may be left off) to seconds; nullopt when malformed.
std::optional<double> parseDvdTime(const QString& text, double fps) {
    const QStringList fields = text.trimmed().split(QLatin1Char(':'));
    if (fields.size() < 3 || fields.size() > 4)
        return std::nullopt;
    int values[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& field = fields[i];
        if (field.isEmpty() || field.size() > 2)
            return std::nullopt;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        values[i] = field.toInt();
    }
    if (values[1] > 59 || values[2] > 59 || values[3] >= static_cast<int>(std::ceil(fps)))
        return std::nullopt;
    return values[0] * 3600.0 + values[1] * 60.0 + values[2] + values[3] / fps;
}

} // namespace kavelo
