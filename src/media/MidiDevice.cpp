// The device that plays MIDI files through FluidSynth and a General MIDI soundfont. Positions
// are in milliseconds, worked out from the file's own tempo map.
#include "Logging.h"
#include "MediaDevices.h"
#include "MidiFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace kavelo {

namespace {

constexpr int kWatchMs = 20;

// FluidSynth's functions, looked up when a MIDI file is first opened. FluidSynth brings some
// forty libraries of its own (sound servers, sample files, SDL); loading them when the program
// starts would hold up the main window for a device few users open.
struct FluidApi {
    decltype(&new_fluid_settings) newSettings = nullptr;
    decltype(&delete_fluid_settings) deleteSettings = nullptr;
    decltype(&fluid_settings_setstr) settingsSetStr = nullptr;
    decltype(&new_fluid_synth) newSynth = nullptr;
    decltype(&delete_fluid_synth) deleteSynth = nullptr;
    decltype(&fluid_synth_sfload) sfload = nullptr;
    decltype(&fluid_synth_all_sounds_off) allSoundsOff = nullptr;
    decltype(&fluid_synth_write_float) writeFloat = nullptr;
    decltype(&new_fluid_player) newPlayer = nullptr;
    decltype(&delete_fluid_player) deletePlayer = nullptr;
    decltype(&fluid_player_add_mem) addMem = nullptr;
    decltype(&fluid_player_play) play = nullptr;
    decltype(&fluid_player_stop) stop = nullptr;
    decltype(&fluid_player_seek) seek = nullptr;
    decltype(&fluid_player_get_status) status = nullptr;
    decltype(&fluid_player_get_current_tick) currentTick = nullptr;
    decltype(&new_fluid_audio_driver) newDriver = nullptr;
    decltype(&delete_fluid_audio_driver) deleteDriver = nullptr;

    // nullptr when `file` cannot be loaded or lacks a function. A loaded library stays for the
    // rest of the process (each load counts; FluidSynth's threads end with its objects).
    static std::unique_ptr<FluidApi> load(const QString& file) {
        void* library = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            qCDebug(logging::media) << "FluidSynth could not be loaded:" << dlerror();
            return nullptr;
        }
        auto api = std::make_unique<FluidApi>();
        bool complete = true;
        auto bind = [&](auto& function, const char* symbol) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(library, symbol));
            complete = complete && function != nullptr;
        };
        bind(api->newSettings, "new_fluid_settings");
        bind(api->deleteSettings, "delete_fluid_settings");
        bind(api->settingsSetStr, "fluid_settings_setstr");
        bind(api->newSynth, "new_fluid_synth");
        bind(api->deleteSynth, "delete_fluid_synth");
        bind(api->sfload, "fluid_synth_sfload");
        bind(api->allSoundsOff, "fluid_synth_all_sounds_off");
        bind(api->writeFloat, "fluid_synth_write_float");
        bind(api->newPlayer, "new_fluid_player");
        bind(api->deletePlayer, "delete_fluid_player");
        bind(api->addMem, "fluid_player_add_mem");
        bind(api->play, "fluid_player_play");
        bind(api->stop, "fluid_player_stop");
        bind(api->seek, "fluid_player_seek");
        bind(api->status, "fluid_player_get_status");
        bind(api->currentTick, "fluid_player_get_current_tick");
        bind(api->newDriver, "new_fluid_audio_driver");
        bind(api->deleteDriver, "delete_fluid_audio_driver");
        if (!complete) {
            qCDebug(logging::media) << "the FluidSynth found lacks functions Kavelo uses:" << file;
            return nullptr;
        }
        return api;
    }
};

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

    std::unique_ptr<FluidApi> m_fluid;
    MidiTiming m_timing;
    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    fluid_player_t* m_player = nullptr;
    std::vector<fluid_player_t*> m_spentPlayers; // replaced while the driver ran
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
    if (!m_fluid)
        return;
    if (m_driver)
        m_fluid->deleteDriver(m_driver);
    if (m_player)
        m_fluid->deletePlayer(m_player);
    for (fluid_player_t* spent : m_spentPlayers)
        m_fluid->deletePlayer(spent);
    if (m_synth)
        m_fluid->deleteSynth(m_synth);
    if (m_settings)
        m_fluid->deleteSettings(m_settings);
}

MciError MidiDevice::start(const OpenRequest& request, const MediaOptions& options) {
    std::optional<MidiTiming> timing = readMidi(request.path);
    if (!timing)
        return MciError::CannotPlay;
    m_timing = std::move(*timing);

    m_fluid = FluidApi::load(options.midiLibrary);
    if (!m_fluid)
        return MciError::EngineFailed;
    const FluidApi& f = *m_fluid;
    m_settings = f.newSettings();
    if (!m_settings)
        return MciError::EngineFailed;
    if (!options.midiSoundFile.isEmpty()) {
        f.settingsSetStr(m_settings, "audio.driver", "file");
        f.settingsSetStr(m_settings, "audio.file.name",
                         QFile::encodeName(options.midiSoundFile).constData());
    }
    m_synth = f.newSynth(m_settings);
    if (!m_synth)
        return MciError::EngineFailed;
    if (!QFileInfo(options.soundfont).isFile() ||
        f.sfload(m_synth, QFile::encodeName(options.soundfont).constData(), 1) == FLUID_FAILED)
        return MciError::NoSoundfont;
    if (!newPlayer())
        return MciError::CannotPlay;
    // Without a sound card the sound is rendered and dropped, so that time still passes.
    m_driver = f.newDriver(m_settings, m_synth);
    m_watch.setInterval(kWatchMs);
    connect(&m_watch, &QTimer::timeout, this, [this] { watch(); });
    return MciError::None;
}

bool MidiDevice::newPlayer() {
    if (m_player) {
        // While the audio driver runs, its thread may be inside the player's timer: a player
        // may only be deleted once the driver has stopped. A finished player is inert.
        if (m_driver)
            m_spentPlayers.push_back(m_player);
        else
            m_fluid->deletePlayer(m_player);
        m_player = nullptr;
    }
    m_player = m_fluid->newPlayer(m_synth);
    return m_player && m_fluid->addMem(m_player, m_timing.smf.constData(),
                                       static_cast<size_t>(m_timing.smf.size())) == FLUID_OK;
}

qint64 MidiDevice::nowMs() {
    if (m_mode != Mode::Playing || !m_player)
        return m_heldMs;
    if (m_fluid->status(m_player) == FLUID_PLAYER_DONE)
        return m_timing.lengthMs();
    return m_timing.msAt(m_fluid->currentTick(m_player));
}

void MidiDevice::hold() {
    m_heldMs = nowMs();
    m_watch.stop();
    if (m_player)
        m_fluid->stop(m_player);
    m_fluid->allSoundsOff(m_synth, -1);
}

void MidiDevice::watch() {
    if (!m_driver && m_watch.isActive() && m_clock.isValid()) {
        const int rate = 44100;
        const qint64 elapsed = std::min<qint64>(m_clock.restart(), 1000);
        const int frames = static_cast<int>(elapsed * rate / 1000);
        m_scratch.resize(static_cast<size_t>(frames) * 2);
        if (frames > 0)
            m_fluid->writeFloat(m_synth, frames, m_scratch.data(), 0, 2, m_scratch.data(), 1, 2);
    }
    if (m_mode != Mode::Playing)
        return;
    const bool done = m_fluid->status(m_player) == FLUID_PLAYER_DONE;
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
    if (m_fluid->status(m_player) == FLUID_PLAYER_DONE && !newPlayer())
        return MciError::EngineFailed;
    m_fluid->seek(m_player, static_cast<int>(m_timing.msToTicks(static_cast<double>(startMs))));
    m_heldMs = startMs;
    m_endMs = to;
    if (m_fluid->play(m_player) != FLUID_OK)
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
