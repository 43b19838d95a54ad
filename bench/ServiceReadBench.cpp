// Titles read through the disc service beside the same titles read from the plain files and the
// mpv player's own DVD reading, interleaved sample by sample, on the sample disc's title 2
// (80 s of colour bars) in the folder the disc is authored to. Run under an X server:
//
//   scripts/with-xvfb.sh build/bench/kavelo_service_read_bench SAMPLE_DISC MPV_PROGRAM
//
// Figures: reading the title set's sectors as libmpv reads them (32 at a time), open to the
// first picture (the engine stopped, then the title played; mpv: loadfile), and CPU over 1x
// play (the whole process, with the service's when it reads). KAVELO_BENCH_SAMPLES (default
// 15) sets the samples of each; KAVELO_BENCH_ONLY=read stops after the reading, =open after the
// opening.
#include "DiscProtocol.h"
#include "DiscSectors.h"
#include "DvdStructure.h"
#include "EnginePeer.h"
#include "MpvDvdEngine.h"
#include "MpvPlayer.h"
#include "ProcessTimes.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>
#include <vector>

namespace kavelo::bench {
namespace {

constexpr int kTitle = 2;
constexpr int kCpuWindowMs = 3000;

struct Samples {
    std::vector<double> values;
    int failures = 0;

    double median() const {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    QString text(int decimals) const {
        if (values.empty())
            return QStringLiteral("none");
        return QStringLiteral("%1 [%2..%3]%4")
            .arg(median(), 0, 'f', decimals)
            .arg(*std::min_element(values.begin(), values.end()), 0, 'f', decimals)
            .arg(*std::max_element(values.begin(), values.end()), 0, 'f', decimals)
            .arg(failures ? QStringLiteral(" (%1 failed)").arg(failures) : QString());
    }
};

// The disc services of this process that read titles' sectors.
std::vector<qint64> sectorReaders() {
    std::vector<qint64> readers;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (fields.size() > 1 && fields[1].toLongLong() == getpid() && args.size() > 1 &&
            args[1] == kSectorReaderRole)
            readers.push_back(pid);
    }
    return readers;
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(500);
    }
    return true;
}

double msSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void forceService(bool service) {
    if (service)
        qputenv(kTitleSectorsVariable, "service");
    else
        qunsetenv(kTitleSectorsVariable);
}

// Runs `samples` rounds of `ways`, each round in another order.
void interleave(int samples, const std::vector<std::function<void()>>& ways) {
    for (int i = 0; i < samples; ++i) {
        for (std::size_t k = 0; k < ways.size(); ++k)
            ways[(k + static_cast<std::size_t>(i)) % ways.size()]();
    }
}

void row(const char* what, const Samples& plain, const Samples& service, const Samples* mpv,
         int decimals) {
    const double base = plain.median();
    std::printf("%-34s plain %-24s service %-24s service/plain %.2fx", what,
                qPrintable(plain.text(decimals)), qPrintable(service.text(decimals)),
                base > 0 ? service.median() / base : 0.0);
    if (mpv)
        std::printf("  mpv %-24s service/mpv %.2fx plain/mpv %.2fx",
                    qPrintable(mpv->text(decimals)),
                    mpv->median() > 0 ? service.median() / mpv->median() : 0.0,
                    mpv->median() > 0 ? plain.median() / mpv->median() : 0.0);
    std::printf("\n");
    std::fflush(stdout);
}

// The title set's sectors read through, 32 at a time, as libmpv's reader asks for them.
void measureReading(const QString& disc, int samples) {
    DvdStructureReader reader;
    const DvdTitleInfo title = *reader.read(disc).title(kTitle);
    Samples plain;
    Samples service;
    Samples plainOpen;
    Samples serviceOpen;
    std::vector<std::uint8_t> buffer(32 * discproto::kBlockBytes);
    const auto once = [&](bool throughService, Samples& into) {
        forceService(throughService);
        QElapsedTimer clock;
        clock.start();
        const auto source = openTitleSetSectors(disc, title);
        (throughService ? serviceOpen : plainOpen).values.push_back(msSince(clock));
        std::uint32_t at = 0;
        int got = 0;
        while (source && (got = source->read(at, 32, buffer.data())) > 0)
            at += static_cast<std::uint32_t>(got);
        if (!source || got < 0 || at == 0)
            ++into.failures;
        else
            into.values.push_back(msSince(clock));
    };
    interleave(samples, {[&] { once(false, plain); }, [&] { once(true, service); }});
    forceService(false);
    row("title set's sectors opened (ms)", plainOpen, serviceOpen, nullptr, 1);
    row("title set opened, read through (ms)", plain, service, nullptr, 1);
}

struct Players {
    QWidget& window;
    MpvDvdEngine& engine;
    MpvPlayer& mpv;
};

void measureOpen(Players& p, int samples) {
    Samples plain;
    Samples service;
    Samples mpv;
    const auto ours = [&](bool throughService, Samples& into) {
        forceService(throughService);
        p.engine.Stop();
        idle(150);
        const int before = test::peer(p.engine).pictureUpdates();
        QElapsedTimer clock;
        clock.start();
        try {
            test::peer(p.engine).PlayTitle(kTitle);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "open: %s\n", e.what());
            ++into.failures;
            return;
        }
        if (spinUntil([&] { return test::peer(p.engine).pictureUpdates() != before; }, 5000))
            into.values.push_back(msSince(clock));
        else
            ++into.failures;
        idle(100);
        p.engine.Pause();
    };
    const auto theirs = [&] {
        p.mpv.command({QStringLiteral("stop")});
        idle(150);
        p.mpv.set(QStringLiteral("pause"), false);
        p.mpv.clearEvents();
        QElapsedTimer clock;
        clock.start();
        if (p.mpv.command(
                {QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(kTitle - 1)}) &&
            p.mpv.waitForEvent(QStringLiteral("playback-restart"), 5000))
            mpv.values.push_back(msSince(clock));
        else
            ++mpv.failures;
        idle(100);
        p.mpv.set(QStringLiteral("pause"), true);
    };
    interleave(samples, {[&] { ours(false, plain); }, [&] { ours(true, service); }, theirs});
    forceService(false);
    p.engine.Stop();
    p.mpv.command({QStringLiteral("stop")});
    row("open to first picture (ms)", plain, service, &mpv, 1);
}

// CPU over a window of 1x play, in % of a core; nullopt when the title did not play at 1x.
std::optional<double> cpuWindow(const std::vector<qint64>& pids,
                                const std::function<double()>& position) {
    const auto cpu = [&] {
        double sum = 0;
        for (const qint64 pid : pids)
            sum += cpuSeconds(pid);
        return sum;
    };
    const double p0 = position();
    const double c0 = cpu();
    QElapsedTimer clock;
    clock.start();
    idle(kCpuWindowMs);
    const double c1 = cpu();
    const double seconds = msSince(clock) / 1000;
    const double speed = (position() - p0) / seconds;
    if (speed < 0.8 || speed > 1.2) {
        std::fprintf(stderr, "cpu: played at %.2fx\n", speed);
        return std::nullopt;
    }
    return 100 * (c1 - c0) / seconds;
}

void measureCpu(Players& p, int samples) {
    Samples plain;
    Samples service;
    Samples mpv;
    const auto ours = [&](bool throughService, Samples& into) {
        forceService(throughService);
        p.engine.Stop();
        try {
            test::peer(p.engine).PlayTitle(kTitle);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "cpu: %s\n", e.what());
            ++into.failures;
            return;
        }
        idle(500);
        std::vector<qint64> pids = sectorReaders();
        if (pids.size() != (throughService ? 1u : 0u)) {
            ++into.failures;
            return;
        }
        pids.push_back(getpid());
        const auto cpu = cpuWindow(pids, [&] { return test::peer(p.engine).positionSeconds(); });
        cpu ? into.values.push_back(*cpu) : void(++into.failures);
        p.engine.Stop();
    };
    const auto theirs = [&] {
        p.mpv.command({QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(kTitle - 1)});
        p.mpv.set(QStringLiteral("pause"), false);
        if (!p.mpv.waitForEvent(QStringLiteral("playback-restart"), 5000)) {
            ++mpv.failures;
            return;
        }
        idle(500);
        const auto cpu = cpuWindow({p.mpv.pid()}, [&] {
            return p.mpv.get(QStringLiteral("time-pos")).value_or(0).toDouble();
        });
        cpu ? mpv.values.push_back(*cpu) : void(++mpv.failures);
        p.mpv.command({QStringLiteral("stop")});
    };
    interleave(samples, {[&] { ours(false, plain); }, [&] { ours(true, service); }, theirs});
    forceService(false);
    row("CPU over 1x play (% of a core)", plain, service, &mpv, 1);
}

int run(const QStringList& args) {
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s SAMPLE_DISC MPV_PROGRAM\n", qPrintable(args.value(0)));
        return 2;
    }
    const QString disc = args[1];
    bool ok = false;
    int samples = qEnvironmentVariableIntValue("KAVELO_BENCH_SAMPLES", &ok);
    if (!ok || samples < 1)
        samples = 15;
    QFile load(QStringLiteral("/proc/loadavg"));
    std::printf("titles read through the disc service, sample disc title %d, %d samples, load %s\n",
                kTitle, samples,
                load.open(QIODevice::ReadOnly) ? load.readAll().trimmed().constData() : "?");

    measureReading(disc, samples);
    if (qEnvironmentVariable("KAVELO_BENCH_ONLY") == QLatin1String("read"))
        return 0;

    QWidget window;
    window.setGeometry(0, 0, 640, 360);
    MpvDvdEngine engine(&window);
    engine.widget()->setGeometry(0, 0, 640, 360);
    window.show();
    MpvPlayer mpv(args[2], QRect(660, 0, 640, 360));
    if (!mpv.connected() || !mpv.set(QStringLiteral("dvd-device"), disc)) {
        std::fprintf(stderr, "the mpv player did not start\n");
        return 1;
    }
    engine.SetDVDDirectory(disc);
    idle(1000);
    Players players{window, engine, mpv};
    measureOpen(players, samples);
    if (qEnvironmentVariable("KAVELO_BENCH_ONLY") == QLatin1String("open"))
        return 0;
    measureCpu(players, samples);
    return 0;
}

} // namespace
} // namespace kavelo::bench

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return kavelo::bench::run(app.arguments());
}
