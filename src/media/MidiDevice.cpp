// The device that plays MIDI files through FluidSynth and a General MIDI soundfont. Positions
// are in milliseconds, worked out from the file's own tempo map.
#include "MediaDevices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace kavelo {

namespace {

constexpr qint64 kMaxMidiBytes = 16 * 1024 * 1024;
constexpr int kWatchMs = 20;
constexpr int kDefaultTempo = 500000; // microseconds a quarter note

// What the player needs to know of a Standard MIDI File to turn ticks into time.
struct MidiTiming {
    QByteArray smf;            // the Standard MIDI File itself (unwrapped from RIFF)
    double ticksPerSecond = 0; // SMPTE timing; 0 for tempo-based timing
    int division = 96;         // ticks per quarter note
    std::vector<std::pair<qint64, int>> tempos; // (tick, microseconds per quarter), by tick
    qint64 endTick = 0;

    double ticksToMs(qint64 tick) const;
    qint64 msToTicks(double ms) const;
};

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
        return std::llround(ms * ticksPerSecond / 1000.0);
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
    return at + std::llround((ms - done) * 1000.0 * division / tempo);
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

std::optional<MidiTiming> readMidi(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxMidiBytes)
        return std::nullopt;
    QByteArray d = f.readAll();
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

class MidiDevice final : public QObject, public IMciDevice {
public:
    MidiDevice() = default;
    ~MidiDevice() override;

    MciError start(const OpenRequest& request, const MediaOptions& options);

    MciError play(std::optional<qint64> from, std::optional<qint64> to) override;
    MciError pause() override;
    MciError resume() override;
    MciError stop() override;
    MciError seek(qint64 to) override;
    MciError putWindow(const QRect&) override { return MciError::NoPicture; }
    MciError setTimeFormat(TimeFormat format) override;
    MciError length(qint64* value) override;
    MciError position(qint64* value) override;
    QString mode() override;

private:
    using Mode = DeviceMode;

    bool newPlayer();
    void hold(); // stops the player and keeps where it stood
    qint64 nowMs();
    void watch();

    MidiTiming m_timing;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    fluid_player_t* m_player = nullptr;
    fluid_audio_driver_t* m_driver = nullptr;
    QTimer m_watch;        // ends a range; renders the sound itself when there is no card
    QElapsedTimer m_clock; // time since the last rendering without a card
    std::vector<float> m_scratch;
    Mode m_mode = Mode::Stopped;
    qint64 m_heldMs = 0; // where the player stands while it is not playing
    std::optional<qint64> m_endMs;
};

MidiDevice::~MidiDevice() {
    m_watch.stop();
    if (m_driver)
        delete_fluid_audio_driver(m_driver);
    if (m_player)
        delete_fluid_player(m_player);
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

MciError MidiDevice::start(const OpenRequest& request, const MediaOptions& options) {
    std::optional<MidiTiming> timing = readMidi(request.path);
    if (!timing)
        return MciError::CannotPlay;
    m_timing = std::move(*timing);

    m_settings = new_fluid_settings();
    if (!m_settings)
        return MciError::EngineFailed;
    if (!options.midiSoundFile.isEmpty()) {
        fluid_settings_setstr(m_settings, "audio.driver", "file");
        fluid_settings_setstr(m_settings, "audio.file.name",
                              QFile::encodeName(options.midiSoundFile).constData());
    }
    m_synth = new_fluid_synth(m_settings);
    if (!m_synth)
        return MciError::EngineFailed;
    if (!QFileInfo(options.soundfont).isFile() ||
        fluid_synth_sfload(m_synth, QFile::encodeName(options.soundfont).constData(), 1) ==
            FLUID_FAILED)
        return MciError::NoSoundfont;
    if (!newPlayer())
        return MciError::CannotPlay;
    // Without a sound card the sound is rendered and dropped, so that time still passes.
    m_driver = new_fluid_audio_driver(m_settings, m_synth);
    m_watch.setInterval(kWatchMs);
    connect(&m_watch, &QTimer::timeout, this, [this] { watch(); });
    return MciError::None;
}

bool MidiDevice::newPlayer() {
    if (m_player)
        delete_fluid_player(m_player);
    m_player = new_fluid_player(m_synth);
    return m_player && fluid_player_add_mem(m_player, m_timing.smf.constData(),
                                            static_cast<size_t>(m_timing.smf.size())) == FLUID_OK;
}

qint64 MidiDevice::nowMs() {
    if (m_mode != Mode::Playing || !m_player)
        return m_heldMs;
    if (fluid_player_get_status(m_player) == FLUID_PLAYER_DONE)
        return std::llround(m_timing.ticksToMs(m_timing.endTick));
    return std::llround(m_timing.ticksToMs(fluid_player_get_current_tick(m_player)));
}

void MidiDevice::hold() {
    m_heldMs = nowMs();
    m_watch.stop();
    if (m_player)
        fluid_player_stop(m_player);
    fluid_synth_all_sounds_off(m_synth, -1);
}

void MidiDevice::watch() {
    if (!m_driver && m_watch.isActive() && m_clock.isValid()) {
        const int rate = 44100;
        const qint64 elapsed = std::min<qint64>(m_clock.restart(), 1000);
        const int frames = static_cast<int>(elapsed * rate / 1000);
        m_scratch.resize(static_cast<size_t>(frames) * 2);
        if (frames > 0)
            fluid_synth_write_float(m_synth, frames, m_scratch.data(), 0, 2, m_scratch.data(), 1,
                                    2);
    }
    if (m_mode != Mode::Playing)
        return;
    const bool done = fluid_player_get_status(m_player) == FLUID_PLAYER_DONE;
    if (done || (m_endMs && nowMs() >= *m_endMs)) {
        const qint64 at = done ? nowMs() : *m_endMs;
        hold();
        m_heldMs = at;
        m_mode = Mode::Stopped;
    }
}

MciError MidiDevice::play(std::optional<qint64> from, std::optional<qint64> to) {
    hold();
    qint64 startMs = from.value_or(m_heldMs);
    qint64 lengthMs = 0;
    length(&lengthMs);
    if (startMs >= lengthMs && !from)
        startMs = lengthMs; // at the end: nothing more to play
    // A player that has finished cannot start again: take a fresh one.
    if (fluid_player_get_status(m_player) == FLUID_PLAYER_DONE && !newPlayer())
        return MciError::EngineFailed;
    fluid_player_seek(m_player, static_cast<int>(m_timing.msToTicks(static_cast<double>(startMs))));
    m_heldMs = startMs;
    m_endMs = to;
    if (fluid_player_play(m_player) != FLUID_OK)
        return MciError::EngineFailed;
    m_mode = Mode::Playing;
    m_clock.start();
    m_watch.start();
    return MciError::None;
}

MciError MidiDevice::pause() {
    if (m_mode == Mode::Playing) {
        hold();
        m_mode = Mode::Paused;
    }
    return MciError::None;
}

MciError MidiDevice::resume() {
    if (m_mode != Mode::Paused)
        return MciError::None;
    const std::optional<qint64> end = m_endMs;
    const MciError e = play(std::nullopt, std::nullopt);
    m_endMs = end;
    return e;
}

MciError MidiDevice::stop() {
    if (m_mode == Mode::Playing)
        hold();
    m_mode = Mode::Stopped;
    return MciError::None;
}

MciError MidiDevice::seek(qint64 to) {
    hold();
    m_mode = Mode::Stopped;
    m_heldMs = to;
    m_endMs.reset();
    return MciError::None;
}

MciError MidiDevice::setTimeFormat(TimeFormat format) {
    return format == TimeFormat::Milliseconds ? MciError::None : MciError::NoFrames;
}

MciError MidiDevice::length(qint64* value) {
    *value = std::llround(m_timing.ticksToMs(m_timing.endTick));
    return MciError::None;
}

MciError MidiDevice::position(qint64* value) {
    *value = nowMs();
    return MciError::None;
}

QString MidiDevice::mode() {
    watch();
    return modeText(m_mode);
}

} // namespace

std::unique_ptr<IMciDevice> openMidiDevice(const OpenRequest& request, const MediaOptions& options,
                                           MciError* error) {
    return startDevice<MidiDevice>(request, options, error);
}

} // namespace kavelo
