#pragma once

#include "MciDevice.h"

#include <QString>

#include <memory>

namespace kavelo {

// What the real media devices are told beyond the command strings. The defaults are what the
// program uses; tests may ask for video without a display and for MIDI sound in a file.
struct MediaOptions {
    // Decode pictures without showing them when Qt has no X11 display (tests only). Without
    // it, opening a medium with pictures and no display fails with MciError::NoDisplay.
    bool videoWithoutDisplay = false;
    // When set, MIDI sound is written to this WAV file instead of the sound card (tests only).
    QString midiSoundFile;
    // The General MIDI soundfont.
    QString soundfont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    // The FluidSynth library, loaded when the first MIDI file opens. Without it MIDI files
    // fail to open with MciError::EngineFailed, as other files do without libmpv.
    QString midiLibrary = QStringLiteral("libfluidsynth.so.3");
};

// The devices of Kavelo's two drivers: MIDI files (.mid, .midi, .rmi, told by their content)
// play through FluidSynth, everything else through libmpv.
DeviceFactory mediaDeviceFactory(const MediaOptions& options = {});

std::unique_ptr<IMciDevice> openMpvDevice(const OpenRequest& request, const MediaOptions& options,
                                          MciError* error);
std::unique_ptr<IMciDevice> openMidiDevice(const OpenRequest& request, const MediaOptions& options,
                                           MciError* error);

// True for a Standard MIDI File or a RIFF MIDI file, judged by its first bytes (by its name
// only when it cannot be read).
bool isMidiFile(const QString& path);

} // namespace kavelo
