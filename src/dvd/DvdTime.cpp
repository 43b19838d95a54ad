#include "DvdTime.h"

#include <cmath>

namespace kavelo {

QString dvdTimeText(double seconds, double framesPerSecond) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const double fps =
        (std::isfinite(framesPerSecond) && framesPerSecond > 0) ? framesPerSecond : 25.0;
    long long whole = static_cast<long long>(std::floor(seconds));
    long long frames =
        static_cast<long long>(std::floor((seconds - static_cast<double>(whole)) * fps));
    const long long maxWhole = 99LL * 3600 + 59 * 60 + 59;
    if (whole > maxWhole) {
        whole = maxWhole;
        frames = 0;
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
