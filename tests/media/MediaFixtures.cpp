#include "MediaFixtures.h"

#include "Profile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

namespace kavelo::test {

namespace {

bool ffmpeg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} +
                args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList videoInput() {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
            QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), QStringLiteral("sine=d=2")};
}

QStringList toneInput() {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=d=1.5")};
}

QStringList words(const char* text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

} // namespace

bool makeMedia(const QString& dir) {
    const QString d = dir + QLatin1Char('/');
    QFile midi(d + QStringLiteral("song.mid"));
    if (!midi.open(QIODevice::WriteOnly) || midi.write(smallMidi()) < 0)
        return false;
    midi.close();
    return ffmpeg(videoInput() + words("-c:v mpeg2video -g 12 -bf 2 -c:a mp2") +
                  QStringList{d + QStringLiteral("clip.mpg")}) &&
           ffmpeg(videoInput() + words("-c:v mpeg4 -g 12 -bf 2 -c:a pcm_s16le") +
                  QStringList{d + QStringLiteral("clip.avi")}) &&
           ffmpeg(videoInput() + words("-c:v mpeg4 -g 12 -c:a aac") +
                  QStringList{d + QStringLiteral("clip.mov")}) &&
           ffmpeg(toneInput() + QStringList{d + QStringLiteral("clip.wav")}) &&
           ffmpeg(toneInput() + words("-c:a libmp3lame") +
                  QStringList{d + QStringLiteral("clip.mp3")});
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
