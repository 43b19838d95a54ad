// The media command interpreter on any command lines, over real files and a profile naming the
// drivers, against a device that checks what reaches it: positions within the length, a range
// in order, a window of a sane size, and every command answered with a code that has a text.
#include "FuzzSupport.h"
#include "MciInterpreter.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

using namespace kavelo;

QTemporaryDir* g_dir = nullptr;
QString g_clip;
QString g_song;

class CheckingDevice final : public IMciDevice {
public:
    MciError play(std::optional<qint64> from, std::optional<qint64> to) override {
        if (from)
            FUZZ_CHECK(*from >= 0 && *from <= length());
        if (to)
            FUZZ_CHECK(*to >= 0 && *to <= length());
        if (from && to)
            FUZZ_CHECK(*from <= *to);
        m_mode = DeviceMode::Playing;
        m_at = from.value_or(m_at);
        return MciError::None;
    }
    MciError pause() override {
        m_mode = DeviceMode::Paused;
        return MciError::None;
    }
    MciError resume() override {
        m_mode = DeviceMode::Playing;
        return MciError::None;
    }
    MciError stop() override {
        m_mode = DeviceMode::Stopped;
        return MciError::None;
    }
    MciError seek(qint64 to) override {
        FUZZ_CHECK(to >= 0 && to <= length());
        m_at = to;
        m_mode = DeviceMode::Stopped;
        return MciError::None;
    }
    MciError putWindow(const QRect& rect) override {
        FUZZ_CHECK(rect.width() > 0 && rect.height() > 0);
        FUZZ_CHECK(rect.width() <= 32767 && rect.height() <= 32767);
        return MciError::None;
    }
    MciError setTimeFormat(TimeFormat format) override {
        if (format != m_format)
            m_at = format == TimeFormat::Frames ? m_at / 40 : m_at * 40;
        m_format = format;
        return MciError::None;
    }
    MciError length(qint64* value) override {
        *value = length();
        return MciError::None;
    }
    MciError position(qint64* value) override {
        *value = m_at;
        return MciError::None;
    }
    QString mode() override { return modeText(m_mode); }

private:
    qint64 length() const { return m_format == TimeFormat::Frames ? 75 : 3000; }

    TimeFormat m_format = TimeFormat::Milliseconds;
    DeviceMode m_mode = DeviceMode::Stopped;
    qint64 m_at = 0;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               f.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QString dir = fuzz::scratchFolder(g_dir);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir + QStringLiteral("/config")));
    QDir().mkpath(dir + QStringLiteral("/config/kavelo"));
    writeFile(dir + QStringLiteral("/config/kavelo/system.ini"),
              "[MCI]\nMPEGVideo=mciqtz.drv\nAVIVideo=mciavi.drv\nSequencer=other.drv\n");
    g_clip = dir + QStringLiteral("/a clip.mpg");
    g_song = dir + QStringLiteral("/song.mid");
    writeFile(g_clip, "not really a clip");
    writeFile(g_song, "MThd");
    return 0;
}

// Lines of the input are commands; "$1" and "$2" stand for the two files' quoted names.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString input =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    int opened = 0;
    MciInterpreter mci([&opened](const OpenRequest& request, MciError* error) {
        FUZZ_CHECK(request.path == g_clip || request.path == g_song);
        FUZZ_CHECK(request.driver == QLatin1String("mciqtz.drv") ||
                   request.driver == QLatin1String("mciavi.drv"));
        ++opened;
        *error = MciError::None;
        return std::make_unique<CheckingDevice>();
    });
    const QString quotedClip = QLatin1Char('"') + g_clip + QLatin1Char('"');
    const QString quotedSong = QLatin1Char('"') + g_song + QLatin1Char('"');
    for (QString line : input.split(QLatin1Char('\n'))) {
        line.replace(QLatin1String("$1"), quotedClip).replace(QLatin1String("$2"), quotedSong);
        QString reply = QStringLiteral("unset");
        const int replyLength = static_cast<int>(line.size() % 300);
        const std::uint32_t code = mci.sendString(line, &reply, replyLength);
        if (code != 0) {
            FUZZ_CHECK(reply.isEmpty());
            QString text;
            FUZZ_CHECK(mci.getErrorString(code, &text, 256) && !text.isEmpty());
        } else {
            FUZZ_CHECK(replyLength > 0 ? reply.size() < replyLength : reply.isEmpty());
        }
        FUZZ_CHECK(mci.aliases().size() <= opened);
    }
    return 0;
}
