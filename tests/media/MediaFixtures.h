#pragma once

#include <QByteArray>
#include <QString>

namespace kavelo::test {

// Makes the test media with ffmpeg in `dir`: clip.mpg, clip.avi and clip.mov (160x120, 25 fps,
// 50 frames, with sound), clip.wav and clip.mp3 (1.5 s of tone), and song.mid. False when
// ffmpeg fails.
bool makeMedia(const QString& dir);

// A Standard MIDI File of four quarter notes at 120 beats a minute, then a tempo change to 60
// and one more quarter note: 3000 ms long.
QByteArray smallMidi();

// Points the profile folder at `configHome` and writes Kavelo's two drivers into system.ini.
void useProfileFolder(const QString& configHome, bool withDrivers = true);

} // namespace kavelo::test
