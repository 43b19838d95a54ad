#include "MidiFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kavelo {

namespace {

constexpr qint64 kMaxMidiBytes = 16 * 1024 * 1024;
constexpr int kDefaultTempo = 500000; // microseconds a quarter note

// Lengths and positions leave the device as 32-bit counts of milliseconds (24.8 days), and
// FluidSynth counts ticks in an int; a crafted file may claim far more than either carries.
constexpr double kMaxMs = std::numeric_limits<std::int32_t>::max();
constexpr double kMaxTick = std::numeric_limits<int>::max();

qint64 clampedRound(double v, double max) {
    if (!(v > 0)) // also NaN
        return 0;
    return std::llround(std::min(v, max));
}

qint64 clampMs(double ms) {
    return clampedRound(ms, kMaxMs);
}

quint32 be32(const QByteArray& d, qsizetype at) {
    return (quint32(quint8(d[at])) << 24) | (quint32(quint8(d[at + 1])) << 16) |
           (quint32(quint8(d[at + 2])) << 8) | quint32(quint8(d[at + 3]));
}

quint32 le32(const QByteArray& d, qsizetype at) {
    return (quint32(quint8(d[at + 3])) << 24) | (quint32(quint8(d[at + 2])) << 16) |
           (quint32(quint8(d[at + 1])) << 8) | quint32(quint8(d[at]));
}

// Reads one track's events for their times and tempo changes. A damaged track ends where its
// damage begins.
void scanTrack(const QByteArray& d, qsizetype pos, qsizetype end, MidiTiming& timing) {
    qint64 tick = 0;
    int running = 0;
    const auto varlen = [&](qint64* out) {
        qint64 v = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end)
                return false;
            const quint8 b = quint8(d[pos++]);
            v = (v << 7) | (b & 0x7f);
            if (!(b & 0x80)) {
                *out = v;
                return true;
            }
        }
        return false;
    };
    while (pos < end) {
        qint64 delta = 0;
        if (!varlen(&delta))
            break;
        tick += delta;
        if (pos >= end)
            break;
        int status = quint8(d[pos]);
        if (status & 0x80) {
            ++pos;
        } else if (running) {
            status = running;
        } else {
            break;
        }
        if (status == 0xff) {
            if (pos >= end)
                break;
            const int type = quint8(d[pos++]);
            qint64 len = 0;
            if (!varlen(&len) || len > end - pos)
                break;
            if (type == 0x51 && len == 3) {
                const int us =
                    (quint8(d[pos]) << 16) | (quint8(d[pos + 1]) << 8) | quint8(d[pos + 2]);
                if (us > 0)
                    timing.tempos.emplace_back(tick, us);
            }
            pos += len;
            if (type == 0x2f)
                break;
        } else if (status == 0xf0 || status == 0xf7) {
            qint64 len = 0;
            if (!varlen(&len) || len > end - pos)
                break;
            pos += len;
            running = 0;
        } else if (status >= 0x80 && status < 0xf0) {
            running = status;
            const int kind = status & 0xf0;
            pos += (kind == 0xc0 || kind == 0xd0) ? 1 : 2;
        } else {
            break; // system common messages do not belong in a file
        }
    }
    timing.endTick = std::max(timing.endTick, tick);
}

} // namespace

double MidiTiming::ticksToMs(qint64 tick) const {
    if (ticksPerSecond > 0)
        return static_cast<double>(tick) * 1000.0 / ticksPerSecond;
    double ms = 0;
    qint64 at = 0;
    int tempo = kDefaultTempo;
    for (const auto& [t, us] : tempos) {
        if (t >= tick)
            break;
        ms += static_cast<double>(t - at) * tempo / division / 1000.0;
        at = t;
        tempo = us;
    }
    return ms + static_cast<double>(tick - at) * tempo / division / 1000.0;
}

qint64 MidiTiming::msToTicks(double ms) const {
    if (ticksPerSecond > 0)
        return clampedRound(ms * ticksPerSecond / 1000.0, kMaxTick);
    double done = 0;
    qint64 at = 0;
    int tempo = kDefaultTempo;
    for (const auto& [t, us] : tempos) {
        const double span = static_cast<double>(t - at) * tempo / division / 1000.0;
        if (done + span >= ms)
            break;
        done += span;
        at = t;
        tempo = us;
    }
    return clampedRound(static_cast<double>(at) + (ms - done) * 1000.0 * division / tempo,
                        kMaxTick);
}

qint64 MidiTiming::msAt(qint64 tick) const {
    return clampMs(ticksToMs(tick));
}

std::optional<MidiTiming> parseMidi(QByteArray d) {
    if (d.size() > kMaxMidiBytes)
        return std::nullopt;
    // A RIFF MIDI file carries the Standard MIDI File in its "data" chunk.
    if (d.size() >= 12 && d.startsWith("RIFF") && d.mid(8, 4) == "RMID") {
        qsizetype pos = 12;
        QByteArray inner;
        while (pos + 8 <= d.size()) {
            const qint64 len = le32(d, pos + 4);
            if (d.mid(pos, 4) == "data") {
                inner = d.mid(pos + 8, static_cast<qsizetype>(std::min<qint64>(len, d.size())));
                break;
            }
            pos += 8 + len + (len & 1);
        }
        d = inner;
    }
    if (d.size() < 14 || !d.startsWith("MThd") || be32(d, 4) < 6)
        return std::nullopt;
    MidiTiming timing;
    const int division = (quint8(d[12]) << 8) | quint8(d[13]);
    if (division & 0x8000) {
        const int fps = -static_cast<int>(static_cast<qint8>(division >> 8));
        const int perFrame = division & 0xff;
        if (fps <= 0 || perFrame <= 0)
            return std::nullopt;
        timing.ticksPerSecond = (fps == 29 ? 29.97 : fps) * perFrame;
    } else {
        if (division == 0)
            return std::nullopt;
        timing.division = division;
    }
    qsizetype pos = 8 + static_cast<qsizetype>(be32(d, 4));
    int tracks = 0;
    while (pos + 8 <= d.size()) {
        const qint64 len = be32(d, pos + 4);
        const qsizetype start = pos + 8;
        const qsizetype end = static_cast<qsizetype>(std::min<qint64>(start + len, d.size()));
        if (d.mid(pos, 4) == "MTrk") {
            scanTrack(d, start, end, timing);
            ++tracks;
        }
        pos = end;
    }
    if (tracks == 0)
        return std::nullopt;
    std::stable_sort(timing.tempos.begin(), timing.tempos.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    timing.smf = d;
    return timing;
}

std::optional<MidiTiming> readMidi(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxMidiBytes)
        return std::nullopt;
    return parseMidi(f.read(kMaxMidiBytes + 1));
}

} // namespace kavelo
