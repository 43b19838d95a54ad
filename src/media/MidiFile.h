#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace kavelo {

// What the player needs to know of a Standard MIDI File to turn ticks into time.
struct MidiTiming {
    QByteArray smf;            // the Standard MIDI File itself (unwrapped from RIFF)
    double ticksPerSecond = 0; // SMPTE timing; 0 for tempo-based timing
    int division = 96;         // ticks per quarter note
    std::vector<std::pair<qint64, int>> tempos; // (tick, microseconds per quarter), by tick
    qint64 endTick = 0;

    double ticksToMs(qint64 tick) const;
    // The tick at `ms`, within what FluidSynth's int ticks carry.
    qint64 msToTicks(double ms) const;
    // Milliseconds from the start to `tick`, within what a 32-bit count carries.
    qint64 msAt(qint64 tick) const;
    qint64 lengthMs() const { return msAt(endTick); }
};

// Reads a Standard MIDI File, or a RIFF MIDI file around one, for its timing. Nothing when it
// is not one; a damaged track ends where its damage begins.
std::optional<MidiTiming> parseMidi(QByteArray data);
std::optional<MidiTiming> readMidi(const QString& path);

} // namespace kavelo
