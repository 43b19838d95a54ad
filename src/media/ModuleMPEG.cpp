#include "ModuleMPEG.h"

#include "Profile.h"
#include "WindowRect.h"

#include <QLocale>

#include <cmath>
#include <limits>
#include <optional>

namespace kavelo {

namespace {

// Open and play commands fill a buffer of blanks. A longer command goes out whole: a long path
// cut short would name another file or none.
QString padded(const QString& command) {
    if (command.size() >= mci::kCommandBuffer)
        return command;
    return command.leftJustified(mci::kCommandBuffer, QLatin1Char(' '));
}

std::optional<std::int32_t> roundToInt32(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // to nearest, halves to even
    if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

// A decimal text as a 32-bit number, or MediaNumberError.
std::int32_t asNumber(const QString& text) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    const std::optional<std::int32_t> n = ok ? roundToInt32(v) : std::nullopt;
    if (!n)
        throw MediaNumberError("not a frame number: " + text.toStdString());
    return *n;
}

} // namespace

std::optional<std::int32_t> leadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto digit = [&](qsizetype k) {
        return k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    qsizetype digits = 0;
    while (digit(i)) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (digit(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype k = i + 1;
        if (k < n && (text[k] == QLatin1Char('-') || text[k] == QLatin1Char('+')))
            ++k;
        if (digit(k)) {
            while (digit(k))
                ++k;
            i = k;
        }
    }
    bool ok = false;
    QString number = text.mid(start, i - start);
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    const double v = QLocale::c().toDouble(number, &ok);
    if (!ok)
        return std::nullopt;
    return roundToInt32(v);
}

QString ModuleMPEG::resultText(std::uint32_t result) {
    if (result == 0)
        return QString::fromLatin1(mci::kSuccess);
    QString text;
    if (!m_mci.getErrorString(result, &text, mci::kErrorBuffer))
        return QStringLiteral("Unknown media error %1.").arg(result);
    return text;
}

QString ModuleMPEG::send(const QString& command) {
    return resultText(m_mci.sendString(command, nullptr, 0));
}

std::int32_t ModuleMPEG::query(const QString& command) {
    QString reply;
    if (m_mci.sendString(command, &reply, mci::kReplyBuffer) != 0)
        return -1;
    return leadingNumber(reply).value_or(-1);
}

QString ModuleMPEG::mOpen(WId window, const QString& path, const QString& deviceType) {
    m_parentWindow = window;
    // The path goes whole and quoted, so that its blanks and words are never read as keywords;
    // a quote inside it could end the name early, so such a name is refused.
    if (path.contains(QLatin1Char('"')))
        return resultText(static_cast<std::uint32_t>(MciError::QuoteInName));
    const QString command =
        QString::fromLatin1(mci::kOpen)
            .arg(QLatin1Char('"') + path + QLatin1Char('"'), deviceType, QString::number(window));
    return send(padded(command));
}

QString ModuleMPEG::mPlay(const QString& fromText, const QString& toText) {
    m_playFrom = fromText.isEmpty() ? 1 : asNumber(fromText);
    m_playTo = toText.isEmpty() ? mTotalFrames() : asNumber(toText);
    const QString command =
        QString::fromLatin1(mci::kPlay).arg(QString::number(m_playFrom), QString::number(m_playTo));
    return send(padded(command));
}

QString ModuleMPEG::mClose() {
    return send(QString::fromLatin1(mci::kClose));
}

QString ModuleMPEG::mPause() {
    return send(QString::fromLatin1(mci::kPause));
}

QString ModuleMPEG::mStop() {
    return send(QString::fromLatin1(mci::kStop));
}

QString ModuleMPEG::mResume() {
    return send(QString::fromLatin1(mci::kResume));
}

QString ModuleMPEG::mSeekPlay(std::int32_t frame) {
    const std::uint32_t seek =
        m_mci.sendString(QString::fromLatin1(mci::kSeek).arg(frame), nullptr, 0);
    m_mci.sendString(QString::fromLatin1(mci::kPlayOn), nullptr, 0);
    return resultText(seek);
}

QString ModuleMPEG::mPutWindow(std::int32_t& x, std::int32_t& y, std::int32_t& width,
                               std::int32_t& height) {
    if (width == 0 || height == 0) {
        const QRect r = getWindowRect(m_parentWindow).value_or(QRect());
        width = r.width();
        height = r.height();
    }
    return send(QString::fromLatin1(mci::kPutWindow).arg(x).arg(y).arg(width).arg(height));
}

std::int32_t ModuleMPEG::mTotalFrames() {
    QString ignored;
    m_mci.sendString(QString::fromLatin1(mci::kTimeFormatFrames), &ignored, mci::kReplyBuffer);
    return query(QString::fromLatin1(mci::kStatusLength));
}

std::int32_t ModuleMPEG::mCurrentFrame() {
    return query(QString::fromLatin1(mci::kStatusPosition));
}

QString ModuleMPEG::ReadMCIDriver(const QString& key) {
    return getPrivateProfileString(QString::fromLatin1(mci::kDriverSection), key,
                                   QString::fromLatin1(mci::kDriverMissing), systemProfilePath())
        .left(254);
}

void ModuleMPEG::WriteMCIDriver(const QString& key, const QString& value) {
    writePrivateProfileString(QString::fromLatin1(mci::kDriverSection), key, value,
                              systemProfilePath());
}

void ModuleMPEG::CheckMCIDrivers() {
    const QString mpeg = QString::fromLatin1(mci::kMpegKey);
    const QString avi = QString::fromLatin1(mci::kAviKey);
    if (ReadMCIDriver(mpeg) != QLatin1String(mci::kMpegDriver))
        WriteMCIDriver(mpeg, QString::fromLatin1(mci::kMpegDriver));
    if (ReadMCIDriver(avi) != QLatin1String(mci::kAviDriver))
        WriteMCIDriver(avi, QString::fromLatin1(mci::kAviDriver));
}

} // namespace kavelo
