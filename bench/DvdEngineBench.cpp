// Measures Kavelo's DVD engine beside the mpv player on the same disc with the same video and
// audio outputs: open to first picture, seek latency, CPU and peak memory over 20 s of
// playback, and the 16x scan rates. Run it through bench/run.sh (needs an X server).
//
//   kavelo_dvd_bench DISC_FOLDER [MPV_PROGRAM]
#include "MpvDvdEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using kavelo::MpvDvdEngine;

constexpr int kOpens = 3;
constexpr int kPlaySeconds = 20;
const std::vector<double> kSeekTargets = {37, 12, 64, 5,  71, 28, 50, 19, 77, 2,
                                          44, 58, 9,  66, 33, 24, 70, 15, 53, 40};

struct Figures {
    double openMs = 0; // median
    double seekMs = 0; // median
    double cpuPercent = 0;
    double peakMiB = 0;
    double forwardRate = 0;
    std::optional<double> backwardRate;
    std::optional<double> backwardPictures;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// User plus system CPU seconds of a process, from /proc.
double cpuSeconds(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Peak resident memory of a process in MiB.
double peakMiB(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

QString timeText(double seconds) {
    const int whole = static_cast<int>(seconds);
    return QStringLiteral("%1:%2:%3:00")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

Figures measureEngine(const QString& disc) {
    Figures f;
    QWidget window;
    window.setGeometry(0, 0, 768, 576);
    auto engine = std::make_unique<MpvDvdEngine>(&window);
    engine->widget()->setGeometry(0, 0, 768, 576);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    engine->SetDVDDirectory(disc);

    std::vector<double> opens;
    for (int i = 0; i < kOpens; ++i) {
        engine->Stop();
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        engine->Play(); // returns once the first picture is up
        opens.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    f.openMs = median(opens);

    QTest::qWait(500);
    std::vector<double> seeks;
    for (const double target : kSeekTargets) {
        QElapsedTimer clock;
        clock.start();
        engine->PlayAtTime(timeText(target));
        seeks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        QTest::qWait(150);
    }
    f.seekMs = median(seeks);

    engine->PlayAtTime(timeText(1));
    const qint64 self = QCoreApplication::applicationPid();
    const double cpuBefore = cpuSeconds(self);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(kPlaySeconds * 1000);
    f.cpuPercent = 100.0 * (cpuSeconds(self) - cpuBefore) / (clock.elapsed() / 1000.0);

    engine->PlayAtTime(timeText(10));
    engine->PlayForwards(16);
    QTest::qWait(500);
    double from = engine->positionSeconds();
    clock.restart();
    QTest::qWait(1500);
    f.forwardRate = (engine->positionSeconds() - from) / (clock.elapsed() / 1000.0);

    engine->PlayAtTime(timeText(76));
    from = engine->positionSeconds();
    const int pictures = engine->pictureUpdates();
    clock.restart();
    engine->PlayBackwards(16);
    QTest::qWait(3000);
    const double elapsed = clock.elapsed() / 1000.0;
    f.backwardRate = (from - engine->positionSeconds()) / elapsed;
    f.backwardPictures = (engine->pictureUpdates() - pictures) / elapsed;
    engine->Stop();
    f.peakMiB = peakMiB(self);
    return f;
}

// The mpv player driven through its JSON IPC socket.
class MpvPlayer {
public:
    MpvPlayer(const QString& program, const QString& disc, const QString& socketPath) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program,
                        {QStringLiteral("--no-config"), QStringLiteral("--idle=yes"),
                         QStringLiteral("--input-ipc-server=") + socketPath,
                         QStringLiteral("--dvd-device=") + disc, QStringLiteral("--vo=gpu,x11"),
                         QStringLiteral("--gpu-sw=yes"), QStringLiteral("--hwdec=no"),
                         QStringLiteral("--ao=pulse,alsa,null"),
                         QStringLiteral("--audio-fallback-to-null=yes"),
                         QStringLiteral("--keep-open=yes"), QStringLiteral("--osc=no"),
                         QStringLiteral("--geometry=768x576+0+0"),
                         QStringLiteral("--hr-seek-demuxer-offset=1")});
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            m_socket.connectToServer(socketPath);
            if (m_socket.waitForConnected(200))
                break;
            QTest::qWait(50);
        }
    }
    ~MpvPlayer() {
        send({QStringLiteral("quit")});
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    bool connected() const { return m_socket.state() == QLocalSocket::ConnectedState; }
    qint64 pid() const { return m_process.processId(); }

    void send(const QJsonArray& command, int requestId = 0) {
        QJsonObject object{{QStringLiteral("command"), command}};
        if (requestId)
            object.insert(QStringLiteral("request_id"), requestId);
        m_socket.write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
    }

    // Waits for a message that `match` accepts; false on timeout.
    bool waitFor(const std::function<bool(const QJsonObject&)>& match, int timeoutMs = 5000) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            while (m_socket.canReadLine()) {
                const QJsonObject message = QJsonDocument::fromJson(m_socket.readLine()).object();
                if (match(message)) {
                    m_last = message;
                    return true;
                }
            }
            m_socket.waitForReadyRead(20);
        }
        return false;
    }
    bool waitForEvent(const QString& name, int timeoutMs = 5000) {
        return waitFor(
            [&](const QJsonObject& m) {
                return m.value(QStringLiteral("event")).toString() == name;
            },
            timeoutMs);
    }
    double position() {
        const int id = ++m_requests;
        send({QStringLiteral("get_property"), QStringLiteral("time-pos")}, id);
        waitFor([&](const QJsonObject& m) {
            return m.value(QStringLiteral("request_id")).toInt() == id;
        });
        return m_last.value(QStringLiteral("data")).toDouble();
    }
    void drain() {
        while (m_socket.waitForReadyRead(10))
            m_socket.readAll();
        m_socket.readAll();
    }

private:
    QProcess m_process;
    QLocalSocket m_socket;
    QJsonObject m_last;
    int m_requests = 100;
};

std::optional<Figures> measureMpv(const QString& program, const QString& disc) {
    QTemporaryDir dir;
    MpvPlayer mpv(program, disc, dir.filePath(QStringLiteral("ipc")));
    if (!mpv.connected())
        return std::nullopt;
    Figures f;
    std::vector<double> opens;
    for (int i = 0; i < kOpens; ++i) {
        mpv.send({QStringLiteral("stop")});
        QTest::qWait(300);
        mpv.drain();
        QElapsedTimer clock;
        clock.start();
        mpv.send({QStringLiteral("loadfile"), QStringLiteral("dvd://1")});
        if (!mpv.waitForEvent(QStringLiteral("playback-restart")))
            return std::nullopt;
        opens.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    f.openMs = median(opens);

    QTest::qWait(500);
    std::vector<double> seeks;
    for (const double target : kSeekTargets) {
        mpv.drain();
        QElapsedTimer clock;
        clock.start();
        mpv.send({QStringLiteral("seek"), target, QStringLiteral("absolute+exact")});
        mpv.waitForEvent(QStringLiteral("playback-restart"));
        seeks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        QTest::qWait(150);
    }
    f.seekMs = median(seeks);

    mpv.send({QStringLiteral("seek"), 1, QStringLiteral("absolute+exact")});
    mpv.waitForEvent(QStringLiteral("playback-restart"));
    const double cpuBefore = cpuSeconds(mpv.pid());
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(kPlaySeconds * 1000);
    f.cpuPercent = 100.0 * (cpuSeconds(mpv.pid()) - cpuBefore) / (clock.elapsed() / 1000.0);

    mpv.send({QStringLiteral("seek"), 10, QStringLiteral("absolute+exact")});
    mpv.waitForEvent(QStringLiteral("playback-restart"));
    mpv.send({QStringLiteral("set_property"), QStringLiteral("speed"), 16});
    QTest::qWait(500);
    const double from = mpv.position();
    clock.restart();
    QTest::qWait(1500);
    f.forwardRate = (mpv.position() - from) / (clock.elapsed() / 1000.0);
    f.peakMiB = peakMiB(mpv.pid());
    return f;
}

QString ratio(double ours, double theirs) {
    return theirs > 0 ? QString::number(ours / theirs, 'f', 2) + QLatin1Char('x')
                      : QStringLiteral("-");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DISC_FOLDER [MPV_PROGRAM]\n", argv[0]);
        return 2;
    }
    const QString disc = QString::fromLocal8Bit(argv[1]);
    const QString program = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("mpv");

    const Figures ours = measureEngine(disc);
    const std::optional<Figures> mpv = measureMpv(program, disc);
    const Figures theirs = mpv.value_or(Figures{});

    auto row = [](const char* what, const QString& a, const QString& b, const QString& c,
                  const char* target) {
        std::printf("%-34s %12s %12s %8s   %s\n", what, qPrintable(a), qPrintable(b), qPrintable(c),
                    target);
    };
    auto num = [](double v, int decimals = 1) { return QString::number(v, 'f', decimals); };
    std::printf("\n");
    row("measure", QStringLiteral("Kavelo"), QStringLiteral("mpv"), QStringLiteral("ratio"),
        "target");
    row("open to first picture (ms, median)", num(ours.openMs), num(theirs.openMs),
        ratio(ours.openMs, theirs.openMs), "<= 1.2x mpv");
    row("seek latency (ms, median of 20)", num(ours.seekMs), num(theirs.seekMs),
        ratio(ours.seekMs, theirs.seekMs), "< 100 ms");
    row("CPU over 20 s playback (%)", num(ours.cpuPercent), num(theirs.cpuPercent),
        ratio(ours.cpuPercent, theirs.cpuPercent), "<= 1.15x mpv");
    row("peak memory (MiB, whole process)", num(ours.peakMiB), num(theirs.peakMiB),
        ratio(ours.peakMiB, theirs.peakMiB), "");
    row("scan forwards 16x (s of title/s)", num(ours.forwardRate, 2), num(theirs.forwardRate, 2),
        QString(), "16");
    row("scan backwards 16x (s of title/s)", num(ours.backwardRate.value_or(0), 2),
        QStringLiteral("n/a"), QString(), "16 +- 3");
    row("backward scan pictures per second", num(ours.backwardPictures.value_or(0)),
        QStringLiteral("n/a"), QString(), ">= 8");
    if (!mpv)
        std::printf("\nmpv could not be measured (program \"%s\")\n", qPrintable(program));
    return 0;
}
