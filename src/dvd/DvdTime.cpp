#include "DvdTime.h"

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

} // namespace kavelo
