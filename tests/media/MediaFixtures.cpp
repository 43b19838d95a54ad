#include "MediaFixtures.h"

#include "Profile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <tuple>

namespace kavelo::test {

namespace {

bool ffmpeg(const QString& args, const QString& out) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringLiteral("-v error -y %1").arg(args).simplified().split(' ') << out);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

bool makeMedia(const QString& dir) {
    const QString d = dir + QLatin1Char('/');
    QFile midi(d + QStringLiteral("song.mid"));
    if (!midi.open(QIODevice::WriteOnly) || midi.write(smallMidi()) < 0)
        return false;
    midi.close();
    const char* video = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=d=2";
    const char* tone = "-f lavfi -i sine=d=1.5";
    const std::tuple<const char*, const char*, const char*> files[] = {
        {"clip.mpg", video, "-c:v mpeg2video -g 12 -bf 2 -c:a mp2"},
        {"clip.avi", video, "-c:v mpeg4 -g 12 -bf 2 -c:a pcm_s16le"},
        {"clip.mov", video, "-c:v mpeg4 -g 12 -c:a aac"},
        {"clip.wav", tone, ""},
        {"clip.mp3", tone, "-c:a libmp3lame"}};
    for (const auto& [name, input, codecs] : files) {
        if (!ffmpeg(QStringLiteral("%1 %2").arg(input, codecs), d + QLatin1String(name)))
            return false;
    }
    return true;
}

QByteArray smallMidi() {
    QByteArray track;
    const auto add = [&track](std::initializer_list<int> bytes) {
        for (int b : bytes)
            track.append(static_cast<char>(b));
    };
    add({0x00, 0xff, 0x51, 0x03, 0x07, 0xa1, 0x20}); // 500000 us a quarter: 120 bpm
    add({0x00, 0xc0, 0x00});                         // piano
    for (int note : {60, 64, 67, 72}) {
        add({0x00, 0x90, note, 0x64});
        add({0x60, 0x80, note, 0x40}); // 96 ticks: one quarter, 500 ms
    }
    add({0x00, 0xff, 0x51, 0x03, 0x0f, 0x42, 0x40}); // 1000000 us a quarter: 60 bpm
    add({0x00, 0x90, 60, 0x64});
    add({0x60, 0x80, 60, 0x40}); // one quarter, 1000 ms
    add({0x00, 0xff, 0x2f, 0x00});

    QByteArray file("MThd");
    const auto be = [&file](quint32 v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i)
            file.append(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    be(6, 4);
    be(0, 2);  // format 0
    be(1, 2);  // one track
    be(96, 2); // 96 ticks a quarter note
    file.append("MTrk");
    be(static_cast<quint32>(track.size()), 4);
    file.append(track);
    return file;
}

void useProfileFolder(const QString& configHome, bool withDrivers) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
    if (withDrivers) {
        writePrivateProfileString(QStringLiteral("MCI"), QStringLiteral("MPEGVideo"),
                                  QStringLiteral("mciqtz.drv"), systemProfilePath());
        writePrivateProfileString(QStringLiteral("MCI"), QStringLiteral("avivideo"),
                                  QStringLiteral("mciavi.drv"), systemProfilePath());
    }
}

} // namespace kavelo::test
