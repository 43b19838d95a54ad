// The device that plays MIDI files through FluidSynth and a General MIDI soundfont. Positions
// are in milliseconds, worked out from the file's own tempo map.
#include "MediaDevices.h"
#include "MidiFile.h"

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

constexpr int kWatchMs = 20;

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
        return m_timing.lengthMs();
    return m_timing.msAt(fluid_player_get_current_tick(m_player));
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
    *value = m_timing.lengthMs();
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
