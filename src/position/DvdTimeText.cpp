#include "DvdTimeText.h"

#include <algorithm>

namespace kavelo {

QString dvdTimeFieldText(const QString& time, DvdTimeField field) {
    qsizetype start = 0;
    switch (field) {
    case DvdTimeField::Hours:
        start = 0;
        break;
    case DvdTimeField::Minutes:
        start = 3;
        break;
    case DvdTimeField::Seconds:
        start = 6;
        break;
    }
    return time.mid(start, 2);
}

std::optional<int> dvdFieldNumber(const QString& fieldText) {
    if (fieldText.isEmpty() || fieldText.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const QChar c : fieldText) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<int> dvdTimeFieldValue(const QString& time, DvdTimeField field) {
    return dvdFieldNumber(dvdTimeFieldText(time, field));
}

std::optional<std::int32_t> dvdTimeSeconds(const QString& time) {
    const auto h = dvdTimeFieldValue(time, DvdTimeField::Hours);
    const auto m = dvdTimeFieldValue(time, DvdTimeField::Minutes);
    const auto s = dvdTimeFieldValue(time, DvdTimeField::Seconds);
    if (!h || !m || !s)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

std::optional<QString> seekText(std::int64_t seconds) {
    const std::int64_t p = std::max<std::int64_t>(seconds, 0);
    if (p > kLastSeekSecond)
        return std::nullopt;
    const int hours = static_cast<int>(p / 3600);
    const int minutes = static_cast<int>(p / 60 % 60);
    int secs = static_cast<int>(p % 60);
    // The seconds field never names more than 59, and never 00: a whole minute seeks to :01.
    secs = std::min(secs, 59);
    if (secs <= 0)
        secs = 1;
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return two(hours) + QLatin1Char(':') + two(minutes) + QLatin1Char(':') + two(secs) +
           QStringLiteral(":00");
}

} // namespace kavelo
