// Measures Kavelo beside the mpv player, A/B interleaved, and prints every figure with its
// target and PASS or FAIL. Run it through bench/run.sh (needs an X server and no window manager).
//
//   kavelo_dvd_bench KAVELO_PROGRAM BARE_WINDOW_PROGRAM SAMPLE_DISC REALISTIC_DISC FILM_DISC
//                    ANGLE_DISC [MPV_PROGRAM]
//
// Kavelo's start is the program file itself; every other figure is taken on Kavelo's main window
// built inside this process exactly as the program builds it (KaveloApp with the real engine),
// driven through its own playback commands. Pictures are counted from real picture events: the
// players' playback-restart events and the frame numbers that the realistic disc burns into every
// picture, read back from the screen. A wait that times out is a failure, never a figure.
#include "Dialogs.h"
#include "DiscSectors.h"
#include "EnginePeer.h"
#include "KaveloApp.h"
#include "MpvDvdEngine.h"
#include "MpvPlayer.h"
#include "ProcessTimes.h"
#include "TitleTimeline.h"
#include "XScreen.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace kavelo::bench {
namespace {

constexpr double kFps = 25;
constexpr int kPictureTimeoutMs = 5000;
constexpr int kMapTimeoutMs = 10000;
// How far before the asked picture Kavelo's DVD engine reads for an exact seek (seconds).
constexpr double kKaveloSeekOffset = 0.72;

// The report goes to the benchmark's own standard output; libraries that print by themselves
// (libdvdread, libmpv) write to standard error instead (main() swaps them).
FILE* g_report = stdout;

__attribute__((format(printf, 1, 2))) void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(g_report, format, args);
    va_end(args);
    std::fflush(g_report);
}

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// ---- samples and figures ----------------------------------------------------------------------

struct Samples {
    std::vector<double> values;
    int failures = 0;
    QString why; // the first failure

    void add(double v) { values.push_back(v); }
    void fail(const QString& reason) {
        if (!failures++)
            why = reason;
    }
    bool empty() const { return values.empty(); }
    double median() const {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const {
        return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
    }
    double max() const {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }
    QString text(int decimals) const {
        if (values.empty())
            return QStringLiteral("none");
        return QStringLiteral("%1 [%2..%3]")
            .arg(median(), 0, 'f', decimals)
            .arg(min(), 0, 'f', decimals)
            .arg(max(), 0, 'f', decimals);
    }
};

struct Row {
    QString what;
    QString ours;
    QString theirs;
    QString ratio;
    QString target;
    bool pass = false;
    QString note;
    bool info = false; // a figure shown for reference, without a target
};

std::vector<Row> g_rows;

QString failureNote(const Samples& s) {
    return s.failures ? QStringLiteral("%1 of %2 failed: %3")
                            .arg(s.failures)
                            .arg(s.failures + static_cast<int>(s.values.size()))
                            .arg(s.why)
                      : QString();
}

QString ratioText(double ours, double theirs) {
    return theirs > 0 ? QString::number(ours / theirs, 'f', 2) + QLatin1Char('x')
                      : QStringLiteral("-");
}

void addRow(Row row) {
    g_rows.push_back(std::move(row));
}

// ---- process figures --------------------------------------------------------------------------

double residentMiB(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed()
                                          : QString();
}

// ---- waiting with the event loop running -------------------------------------------------------

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds (checked every millisecond); false on timeout.
bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    bool ok = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done()) {
            ok = true;
            loop.quit();
        } else if (deadline.hasExpired()) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    return ok;
}

double msSince(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

QString timeText(double seconds) {
    const int whole = static_cast<int>(seconds);
    const int frames = static_cast<int>(std::lround((seconds - whole) * kFps));
    return QStringLiteral("%1:%2:%3:%4")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(frames, 2, 10, QLatin1Char('0'));
}

// ---- pictures from the screen ------------------------------------------------------------------

// The first frame number read at `picture` that differs from `before`, within timeoutMs.
std::optional<int> newFrame(XScreen& x, const QRect& picture, std::optional<int> before,
                            int timeoutMs) {
    std::optional<int> seen;
    spinUntil(
        [&] {
            const std::optional<int> f = x.frameNumber(picture);
            if (f && f != before)
                seen = f;
            return seen.has_value();
        },
        timeoutMs);
    return seen;
}

struct PictureCount {
    int pictures = 0;        // changes of the frame number read within the window
    double titleSeconds = 0; // last frame read minus first, in title seconds
    double seconds = 0;      // wall time between the first and the last read
    int reads = 0;
};

// Reads the frame number every 3 ms with the event loop running: after warmupMs, counts the
// distinct pictures shown for windowMs.
PictureCount countPictures(XScreen& x, const QRect& picture, int warmupMs, int windowMs) {
    PictureCount count;
    std::optional<int> first;
    std::optional<int> last;
    QElapsedTimer firstAt;
    double lastAt = 0;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(3);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= warmupMs + windowMs) {
            loop.quit();
            return;
        }
        if (clock.elapsed() < warmupMs)
            return;
        const std::optional<int> f = x.frameNumber(picture);
        if (!f)
            return;
        ++count.reads;
        if (!first) {
            first = f;
            firstAt.start();
        } else if (f != last) {
            ++count.pictures;
        }
        last = f;
        lastAt = msSince(firstAt);
    });
    tick.start();
    loop.exec();
    if (first && last) {
        count.titleSeconds = (*last - *first) / kFps;
        count.seconds = lastAt / 1000.0;
    }
    return count;
}

// ---- Kavelo's main window, built as the program builds it -------------------------------------

class QuietDialogs final : public IDialogs {
public:
    void message(QWidget*, const QString& text) override {
        std::fprintf(stderr, "kavelo message: %s\n", qPrintable(text));
        last = text;
    }
    std::optional<QString> input(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString openFile(QWidget*, const QString&) override { return {}; }
    QString last;
};

class Program {
public:
    explicit Program(const QString& folder) : m_app(m_dialogs, makeMpvDvdEngine, folder) {
        m_app.showMainWindow();
        spinUntil([this] { return window().isVisible(); }, kMapTimeoutMs);
        idle(500);
    }
    FrmPlay& window() { return *m_app.mainWindow(); }
    PlaybackCommands& commands() { return window().commands(); }
    // The engine behind the window; nullptr when it is not libmpv's.
    MpvDvdEngine* engine() { return dynamic_cast<MpvDvdEngine*>(&window().engine()); }
    QRect videoArea() {
        QWidget* video = engine()->widget();
        return {video->mapToGlobal(QPoint(0, 0)), video->size()};
    }
    QRect picture() { return fittedPicture(videoArea()); }

    // Runs a step and waits for the picture it brings (a playback restart); nullopt on failure.
    std::optional<double> timeToPicture(const std::function<void()>& step, QString& why) {
        MpvDvdEngine* e = engine();
        const int before = kavelo::test::peer(e).pictureUpdates();
        const QString message = m_dialogs.last;
        QElapsedTimer clock;
        clock.start();
        try {
            step();
        } catch (const std::exception& error) {
            why = QString::fromLocal8Bit(error.what());
            return std::nullopt;
        }
        if (!spinUntil([&] { return kavelo::test::peer(e).pictureUpdates() != before; },
                       kPictureTimeoutMs)) {
            why = m_dialogs.last != message ? m_dialogs.last
                                            : QStringLiteral("no picture within 5 s");
            return std::nullopt;
        }
        return msSince(clock);
    }

private:
    QuietDialogs m_dialogs;
    KaveloApp m_app;
};

// ---- the figures
// ---------------------------------------------------------------------------------

// Runs `ours` and `theirs` for rounds 0..count-1, A/B interleaved: ours first in even rounds,
// theirs first in odd ones, so that neither always runs on what the other left behind.
void interleaved(int count, const std::function<void(int)>& ours,
                 const std::function<void(int)>& theirs) {
    for (int i = 0; i < count; ++i) {
        if (i % 2) {
            theirs(i);
            ours(i);
        } else {
            ours(i);
            theirs(i);
        }
    }
}

// Processes that keep a processor busy, each a shell loop, for as long as the object lives.
class BusyLoops {
public:
    explicit BusyLoops(int count) {
        for (int i = 0; i < count; ++i) {
            auto& loop = m_loops.emplace_back(std::make_unique<QProcess>());
            loop->start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            loop->waitForStarted(5000);
        }
    }
    ~BusyLoops() {
        for (auto& loop : m_loops) {
            loop->kill();
            loop->waitForFinished(5000);
        }
    }
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;
    int running() const {
        return static_cast<int>(std::count_if(m_loops.begin(), m_loops.end(), [](const auto& l) {
            return l->state() == QProcess::Running;
        }));
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_loops;
};

// Window mapped: Kavelo's program file beside a bare Qt 6 window program, interleaved; with
// `busyLoops` processes of the benchmark's own keeping the processors busy meanwhile.
void measureStart(XScreen& x, const QString& kavelo, const QString& bare, int samples,
                  int busyLoops = 0) {
    Samples ours;
    Samples theirs;
    QTemporaryDir home;
    std::optional<BusyLoops> load;
    QString loadNote;
    if (busyLoops > 0) {
        load.emplace(busyLoops);
        idle(2000); // the loops are under way
        loadNote = QStringLiteral("%1 busy loops of the bench's own ran during this row only; "
                                  "load average at its start %2")
                       .arg(load->running())
                       .arg(loadAverage());
    }
    auto once = [&](const QString& program, Samples& into) {
        QProcess process;
        process.setProgram(program);
        process.setWorkingDirectory(home.path());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        x.watchMaps(true);
        QElapsedTimer clock;
        clock.start();
        process.start();
        if (!process.waitForStarted(kMapTimeoutMs)) {
            into.fail(QStringLiteral("did not start"));
        } else if (x.waitForMap(process.processId(), kMapTimeoutMs)) {
            into.add(msSince(clock));
        } else {
            into.fail(QStringLiteral("no window within 10 s"));
        }
        x.watchMaps(false);
        process.kill();
        process.waitForFinished(5000);
        QThread::msleep(300);
    };
    interleaved(
        samples, [&](int) { once(kavelo, ours); }, [&](int) { once(bare, theirs); });
    if (load)
        loadNote += QStringLiteral(", at its end %1").arg(loadAverage());
    load.reset();
    const bool pass = !ours.failures && !theirs.failures && !ours.empty() && !theirs.empty() &&
                      ours.median() <= 1.5 * theirs.median();
    addRow(
        {busyLoops ? QStringLiteral("window mapped at start, load %1 (ms)").arg(busyLoops)
                   : QStringLiteral("window mapped at start (ms)"),
         ours.text(0), theirs.text(0), ratioText(ours.median(), theirs.median()),
         QStringLiteral("<= 1.5x bare Qt"), pass,
         (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs) + QLatin1Char(' ') + loadNote)
             .simplified()});
}

struct Players {
    Program& kavelo;
    MpvPlayer& mpv;
    XScreen& x;
    QRect mpvPicture;
};

// Open to first picture with both players already running (Stop, then Play), interleaved.
void measureOpen(Players& p, const QString& disc, int samples) {
    Samples ours;
    Samples theirs;
    MpvDvdEngine* engine = p.kavelo.engine();
    engine->SetDVDDirectory(disc);
    p.mpv.set(QStringLiteral("dvd-device"), disc);
    QString titles;
    int title = 1; // the title Kavelo's Play chose, played by mpv too

    auto kavelo = [&](int i) {
        p.kavelo.commands().dStop();
        idle(150);
        QString why;
        const auto ms = p.kavelo.timeToPicture([&] { p.kavelo.window().dPlay(); }, why);
        ms ? ours.add(*ms) : ours.fail(why);
        idle(100);
        p.kavelo.commands().dPause();
        if (i == 0 && ms) {
            title = engine->CurrentTitle();
            titles = QStringLiteral("title %1: Kavelo's lasts %2")
                         .arg(title)
                         .arg(engine->TotalTitleTime());
        }
    };
    auto mpv = [&](int i) {
        p.mpv.command({QStringLiteral("stop")});
        idle(150);
        p.mpv.set(QStringLiteral("pause"), false);
        p.mpv.clearEvents();
        QElapsedTimer clock;
        clock.start();
        if (!p.mpv.command({QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(title - 1)}))
            theirs.fail(QStringLiteral("loadfile refused"));
        else if (p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs))
            theirs.add(msSince(clock));
        else
            theirs.fail(QStringLiteral("no picture within 5 s"));
        idle(100);
        p.mpv.set(QStringLiteral("pause"), true);
        if (i == 0) {
            titles +=
                QStringLiteral(", mpv's %1 s")
                    .arg(p.mpv.get(QStringLiteral("duration")).value_or(0).toDouble(), 0, 'f', 1);
        }
    };
    interleaved(samples, kavelo, mpv);
    p.kavelo.commands().dStop();
    p.mpv.command({QStringLiteral("stop")});
    say("sample disc, %s\n", qPrintable(titles));

    addRow({QStringLiteral("open to first picture, running (ms)"), ours.text(0), theirs.text(0),
            ratioText(ours.median(), theirs.median()), QStringLiteral("<= 60 ms"),
            !ours.failures && !ours.empty() && ours.median() <= 60,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs)).trimmed()});
}

// Kavelo as the CPU and memory figures drive it: Play and Stop, and where its picture shows.
struct Subject {
    QString name;
    XScreen* x = nullptr;
    qint64 pid = 0;
    QRect picture;
    std::function<void()> play;
    std::function<void()> stop;

    // Plays and waits until a picture of the disc shows; false after 10 s.
    bool playToPicture() {
        play();
        return spinUntil([&] { return x->frameNumber(picture).has_value(); }, 10000);
    }
    // Stops and waits until the disc's picture has gone (the logo shows); false after 3 s.
    bool stopToLogo() {
        stop();
        return spinUntil([&] { return !x->frameNumber(picture).has_value(); }, 3000);
    }
};

// CPU over 1x play: the whole process of each player, interleaved windows of 3 s, each checked
// to play at 1x from the frame numbers on the screen.
// The processor time `pid` spends over `ms` of 1x play, as a share of one core, added to `into`,
// and its main thread's to `mainThread` when given; false (a failure in `into`) when the picture
// did not play at 1x meanwhile.
bool cpuWindow(Players& p, qint64 pid, const QRect& picture, int ms, Samples& into,
               Samples* mainThread = nullptr) {
    const auto f0 = p.x.frameNumber(picture);
    const double c0 = cpuSeconds(pid);
    const double m0 = cpuSeconds(pid, pid);
    QElapsedTimer clock;
    clock.start();
    idle(ms);
    const double m1 = cpuSeconds(pid, pid);
    const double c1 = cpuSeconds(pid);
    const double seconds = msSince(clock) / 1000.0;
    const auto f1 = p.x.frameNumber(picture);
    const double speed = f0 && f1 ? (*f1 - *f0) / kFps / seconds : 0;
    if (speed < 0.8 || speed > 1.2) {
        into.fail(QStringLiteral("played at %1x, not 1x").arg(speed, 0, 'f', 2));
        return false;
    }
    into.add(100.0 * (c1 - c0) / seconds);
    if (mainThread)
        mainThread->add(100.0 * (m1 - m0) / seconds);
    return true;
}

void measureCpu(Players& p, Subject& kavelo, int samples) {
    constexpr int kWindowMs = 3000;
    Samples ours;
    Samples theirs;
    Samples oursPictures; // read after each CPU window, so the reading costs no CPU figure
    Samples theirsPictures;
    auto window = [&](qint64 pid, const QRect& picture, Samples& into, Samples& pictures) {
        if (!cpuWindow(p, pid, picture, kWindowMs, into))
            return;
        const PictureCount count = countPictures(p.x, picture, 0, 1000);
        if (count.reads < 10 || count.seconds <= 0.5)
            pictures.fail(QStringLiteral("picture not readable"));
        else
            pictures.add(count.pictures / count.seconds);
    };
    auto oursOnce = [&] {
        if (!kavelo.playToPicture()) {
            ours.fail(QStringLiteral("no picture within 10 s of Play"));
        } else {
            idle(500);
            window(kavelo.pid, kavelo.picture, ours, oursPictures);
        }
        kavelo.stopToLogo();
        idle(300);
    };
    auto theirsOnce = [&] {
        p.mpv.set(QStringLiteral("pause"), false);
        idle(500);
        window(p.mpv.pid(), p.mpvPicture, theirs, theirsPictures);
        p.mpv.set(QStringLiteral("pause"), true);
    };
    p.mpv.command({QStringLiteral("seek"), 0, QStringLiteral("absolute+exact")});
    interleaved(
        samples, [&](int) { oursOnce(); }, [&](int) { theirsOnce(); });
    const bool pass = !ours.failures && !ours.empty() && !theirs.empty() &&
                      ours.median() <= 1.15 * theirs.median();
    addRow({QStringLiteral("CPU over 1x play (% of a core)"), ours.text(1), theirs.text(1),
            ratioText(ours.median(), theirs.median()), QStringLiteral("<= 1.15x mpv"), pass,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs) +
             QStringLiteral(" Kavelo: %1").arg(kavelo.name))
                .simplified()});
    // Every picture of the disc shows at 1x unless the machine is too busy: the check that the
    // screen reading counts pictures right, shown for both players without a target.
    addRow({QStringLiteral("pictures shown at 1x (pictures/s)"), oursPictures.text(1),
            theirsPictures.text(1), ratioText(oursPictures.median(), theirsPictures.median()),
            QStringLiteral("25 (a check)"), true,
            (failureNote(oursPictures) + QLatin1Char(' ') + failureNote(theirsPictures)).trimmed(),
            true});
}

// Resident memory after the first Play and after the last of `cycles` Stop/Play cycles; mpv does
// the same with stop and loadfile, interleaved. Both are read a second after the picture shows,
// with the title playing.
void measureMemory(Players& p, Subject& kavelo, int cycles, int title) {
    constexpr int kMemoryAfterPictureMs = 1000;
    double oursFirst = 0;
    double oursLast = 0;
    double theirsFirst = 0;
    double theirsLast = 0;
    Samples ours;
    Samples theirs;
    auto oursOnce = [&](int i) {
        if (!kavelo.stopToLogo())
            ours.fail(QStringLiteral("the picture stayed 3 s after Stop"));
        else if (!kavelo.playToPicture())
            ours.fail(QStringLiteral("no picture within 10 s of Play"));
        else
            ours.add(0);
        if (i == 0 || i == cycles - 1) {
            idle(kMemoryAfterPictureMs);
            (i == 0 ? oursFirst : oursLast) = residentMiB(kavelo.pid);
        }
    };
    auto theirsOnce = [&](int i) {
        p.mpv.command({QStringLiteral("stop")});
        idle(150);
        p.mpv.clearEvents();
        p.mpv.command({QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(title - 1)});
        if (p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs))
            theirs.add(0);
        else
            theirs.fail(QStringLiteral("no picture within 5 s"));
        if (i == 0 || i == cycles - 1) {
            idle(kMemoryAfterPictureMs);
            (i == 0 ? theirsFirst : theirsLast) = residentMiB(p.mpv.pid());
        }
    };
    p.mpv.set(QStringLiteral("pause"), false);
    interleaved(cycles, oursOnce, theirsOnce);
    kavelo.stop();
    p.mpv.command({QStringLiteral("stop")});
    addRow({QStringLiteral("memory after first Play (MiB RSS)"), QString::number(oursFirst, 'f', 1),
            QString::number(theirsFirst, 'f', 1), ratioText(oursFirst, theirsFirst),
            QStringLiteral("<= 1.1x mpv"),
            !ours.failures && oursFirst > 0 && theirsFirst > 0 && oursFirst <= 1.1 * theirsFirst,
            QStringLiteral("Kavelo: %1").arg(kavelo.name)});
    const double growth = oursLast - oursFirst;
    addRow({QStringLiteral("memory growth over %1 Stop/Play (MiB)").arg(cycles),
            QString::number(growth, 'f', 1), QString::number(theirsLast - theirsFirst, 'f', 1),
            QString(), QStringLiteral("<= 10 MiB"), !ours.failures && growth <= 10,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs)).trimmed()});
}

// Kavelo's program file started in the realistic disc's folder, driven with its keys
// (Ctrl+P plays, Ctrl+S stops) through xdotool.
class ExternalProgram {
public:
    ExternalProgram(XScreen& x, const QString& program, const QString& folder) {
        m_process.setProgram(program);
        m_process.setWorkingDirectory(folder);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        x.watchMaps(true);
        m_process.start();
        if (m_process.waitForStarted(kMapTimeoutMs) &&
            x.waitForMap(m_process.processId(), kMapTimeoutMs)) {
            spinUntil([&] { return !x.windowOf(m_process.processId(), &m_window).isEmpty(); },
                      kMapTimeoutMs);
            m_rect = x.windowOf(m_process.processId(), &m_window);
        }
        x.watchMaps(false);
        idle(1000); // the engine comes up after the window shows
    }
    ~ExternalProgram() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool running() const { return m_window != 0 && m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QRect rect() const { return m_rect; }
    void key(const char* keys) {
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                           QString::number(m_window), QStringLiteral("key"),
                           QStringLiteral("--clearmodifiers"), QString::fromLatin1(keys)});
    }

private:
    QProcess m_process;
    std::uint32_t m_window = 0;
    QRect m_rect;
};

// Opens the realistic disc in both players and checks they show the same title.
bool openRealistic(Players& p, const QString& disc) {
    MpvDvdEngine* engine = p.kavelo.engine();
    engine->SetDVDDirectory(disc);
    QString why;
    if (!p.kavelo.timeToPicture([&] { p.kavelo.window().dPlay(); }, why)) {
        say("Kavelo could not play the realistic disc: %s\n", qPrintable(why));
        return false;
    }
    p.kavelo.commands().dPause();
    p.mpv.set(QStringLiteral("dvd-device"), disc);
    p.mpv.set(QStringLiteral("pause"), false);
    p.mpv.clearEvents();
    const int title = engine->CurrentTitle();
    p.mpv.command({QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(title - 1)});
    if (!p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs)) {
        say("mpv could not play the realistic disc\n");
        return false;
    }
    p.mpv.set(QStringLiteral("pause"), true);
    idle(300);
    const auto ours = p.x.frameNumber(p.kavelo.picture());
    const auto theirs = p.x.frameNumber(p.mpvPicture);
    say("realistic disc, title %d: Kavelo's lasts %s, mpv's %.1f s; frames on screen: "
        "Kavelo %d, mpv %d\n",
        title, qPrintable(engine->TotalTitleTime()),
        p.mpv.get(QStringLiteral("duration")).value_or(0).toDouble(), ours.value_or(-1),
        theirs.value_or(-1));
    if (!ours || !theirs) {
        say("the frame-number strip cannot be read from the screen\n");
        return false;
    }
    return true;
}

// The title's stream exactly as Kavelo hands it to libmpv (its cells' sectors in playing order,
// in an angle block the chosen angle's only, the timestamps moved into one timeline), written to
// `path` for mpv to play as a plain file; false when it could not be made.
bool writeTitleFile(const QString& disc, int title, int angle, const QString& path) {
    try {
        DvdStructureReader reader;
        const DvdTitleInfo* info = reader.read(disc).title(title);
        if (!info)
            return false;
        auto sectors = openTitleSetSectors(disc, *info);
        if (!sectors)
            return false;
        auto stream = std::make_shared<mpv::TitleStreams::Title>();
        stream->runs = titleTimeline(*info, *sectors, angle);
        stream->source = std::move(sectors);
        mpv::TitleReader bytes(stream, nullptr);
        QFile file(path);
        if (stream->runs.empty() || !file.open(QIODevice::WriteOnly))
            return false;
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const std::int64_t n = bytes.read(buffer.data(), buffer.size());
            if (n < 0)
                return false;
            if (n == 0)
                break;
            if (file.write(buffer.data(), n) != n)
                return false;
        }
        return file.size() == static_cast<qint64>(bytes.size());
    } catch (const std::exception& error) {
        say("the title's stream could not be written: %s\n", error.what());
        return false;
    }
}

// Exact seeks while playing: time to the new picture and the frame it shows. `what` names the
// title in the rows. A `reference` time has no target of its own: it shows what the same seeks
// cost libmpv itself (its row fails only when a seek fails).
void measureSeeks(Players& p, int samples, const std::vector<int>& targets, const QString& what,
                  bool reference = false) {
    static_assert(kFps == 25);
    Samples ours;
    Samples theirs;
    int oursExact = 0;
    int theirsExact = 0;
    QString oursMisses;
    QString theirsMisses;
    auto landing = [](int frame, int target, int& exact, QString& misses) {
        const int off = frame - target * static_cast<int>(kFps);
        if (off == 0)
            ++exact;
        else if (misses.size() < 60)
            misses += QStringLiteral(" %1@%2s").arg(off).arg(target);
    };
    // Both players seek from a paused picture, so the first other picture read is the one the
    // seek landed on (a picture read while playing may still be the old one on the screen).
    auto kavelo = [&](int target) {
        const QRect picture = p.kavelo.picture();
        const auto before = p.x.frameNumber(picture);
        QString why;
        const auto ms =
            p.kavelo.timeToPicture([&] { p.kavelo.engine()->PlayAtTime(timeText(target)); }, why);
        const auto frame = newFrame(p.x, picture, before, 500);
        p.kavelo.engine()->Pause();
        // The seek played on: the picture after it is on its way to the screen, and libmpv's
        // video output waits for its time (up to a picture's length) before it takes the next
        // seek's. The next seek starts from a settled paused picture, as mpv's do.
        idle(100);
        if (!ms) {
            ours.fail(why);
            return;
        }
        ours.add(*ms);
        frame ? landing(*frame, target, oursExact, oursMisses)
              : (void)(oursMisses += QStringLiteral(" ?@%1s").arg(target));
    };
    auto mpv = [&](int target) {
        const auto before = p.x.frameNumber(p.mpvPicture);
        p.mpv.clearEvents();
        QElapsedTimer clock;
        clock.start();
        p.mpv.command({QStringLiteral("seek"), target, QStringLiteral("absolute+exact")});
        const bool ok = p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs);
        const double ms = msSince(clock);
        if (!ok) {
            theirs.fail(QStringLiteral("no picture within 5 s"));
            return;
        }
        theirs.add(ms);
        const auto frame = newFrame(p.x, p.mpvPicture, before, 500);
        frame ? landing(*frame, target, theirsExact, theirsMisses)
              : (void)(theirsMisses += QStringLiteral(" ?@%1s").arg(target));
    };
    p.kavelo.engine()->Pause();
    p.mpv.set(QStringLiteral("pause"), true);
    idle(300);
    auto target = [&](int i) { return targets[static_cast<std::size_t>(i) % targets.size()]; };
    interleaved(
        samples, [&](int i) { kavelo(target(i)); }, [&](int i) { mpv(target(i)); });
    const bool timePass = !ours.failures && !ours.empty() && !theirs.empty() &&
                          (reference ? !theirs.failures : ours.median() <= 0.8 * theirs.median());
    addRow({QStringLiteral("exact seek to a picture%1 (ms)").arg(what), ours.text(0),
            theirs.text(0), ratioText(ours.median(), theirs.median()),
            reference ? QStringLiteral("reference") : QStringLiteral("<= 0.8x mpv"), timePass,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs)).trimmed()});
    const int oursCount = static_cast<int>(ours.values.size());
    addRow(
        {QStringLiteral("seek lands on the second's 1st frame%1").arg(what),
         QStringLiteral("%1 of %2").arg(oursExact).arg(samples),
         QStringLiteral("%1 of %2").arg(theirsExact).arg(samples), QString(), QStringLiteral("all"),
         oursCount == samples && oursExact == samples,
         (oursMisses.isEmpty() ? QString() : QStringLiteral("Kavelo off by frames:") + oursMisses) +
             (theirsMisses.isEmpty() ? QString()
                                     : QStringLiteral("  mpv off by:") + theirsMisses)});
}

void scanRows(const QString& direction, const Samples& oursRate, const Samples& oursPictures,
              const Samples* theirsRate, const Samples* theirsPictures) {
    const bool ratePass =
        !oursRate.failures && !oursRate.empty() && std::abs(oursRate.median() - 16) <= 2;
    const bool picturesPass =
        !oursPictures.failures && !oursPictures.empty() && oursPictures.median() >= 25;
    addRow({QStringLiteral("scan %1 16x (title s/s)").arg(direction), oursRate.text(1),
            theirsRate ? theirsRate->text(1) : QStringLiteral("n/a"),
            theirsRate ? ratioText(oursRate.median(), theirsRate->median()) : QString(),
            QStringLiteral("16 +- 2"), ratePass,
            failureNote(oursRate) + (theirsRate ? failureNote(*theirsRate) : QString())});
    addRow({QStringLiteral("scan %1 16x (pictures/s)").arg(direction), oursPictures.text(1),
            theirsPictures ? theirsPictures->text(1) : QStringLiteral("n/a"),
            theirsPictures ? ratioText(oursPictures.median(), theirsPictures->median()) : QString(),
            QStringLiteral(">= 25"), picturesPass, QString()});
}

void addScan(const PictureCount& c, double sign, Samples& rate, Samples& pictures,
             double shortest = 0.5) {
    if (c.reads < 10 || c.seconds <= shortest) {
        rate.fail(QStringLiteral("picture not readable"));
        pictures.fail(QStringLiteral("picture not readable"));
        return;
    }
    rate.add(sign * c.titleSeconds / c.seconds);
    pictures.add(c.pictures / c.seconds);
}

// Forward scans in both players (mpv: its own speed 16), interleaved; 1 s windows after 0.5 s.
void measureForwardScan(Players& p, int samples) {
    Samples oursRate;
    Samples oursPictures;
    Samples theirsRate;
    Samples theirsPictures;
    auto kavelo = [&](int start) {
        QString why;
        if (!p.kavelo.timeToPicture([&] { p.kavelo.engine()->PlayAtTime(timeText(start)); }, why)) {
            oursRate.fail(why);
            oursPictures.fail(why);
            return;
        }
        p.kavelo.engine()->PlayForwards(16);
        addScan(countPictures(p.x, p.kavelo.picture(), 500, 1000), 1, oursRate, oursPictures);
        p.kavelo.commands().dPause();
    };
    auto mpv = [&](int start) {
        p.mpv.clearEvents();
        p.mpv.command({QStringLiteral("seek"), start, QStringLiteral("absolute")});
        p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs);
        p.mpv.set(QStringLiteral("speed"), 16);
        p.mpv.set(QStringLiteral("pause"), false);
        addScan(countPictures(p.x, p.mpvPicture, 500, 1000), 1, theirsRate, theirsPictures);
        p.mpv.set(QStringLiteral("pause"), true);
        p.mpv.set(QStringLiteral("speed"), 1);
    };
    auto start = [](int i) { return 20 + (i * 25) % 540; };
    interleaved(
        samples, [&](int i) { kavelo(start(i)); }, [&](int i) { mpv(start(i)); });
    scanRows(QStringLiteral("forwards"), oursRate, oursPictures, &theirsRate, &theirsPictures);
}

// Backward scans (the mpv player has none to compare with); 1 s windows after 0.5 s.
void measureBackwardScan(Players& p, int samples) {
    Samples rate;
    Samples pictures;
    Samples engineRestarts; // the engine's own count of playback restarts, for comparison
    for (int i = 0; i < samples; ++i) {
        const int start = 590 - (i * 14) % 540;
        QString why;
        if (!p.kavelo.timeToPicture([&] { p.kavelo.engine()->PlayAtTime(timeText(start)); }, why)) {
            rate.fail(why);
            pictures.fail(why);
            continue;
        }
        const int restarts = kavelo::test::peer(p.kavelo.engine()).pictureUpdates();
        QElapsedTimer clock;
        clock.start();
        p.kavelo.engine()->PlayBackwards(16);
        addScan(countPictures(p.x, p.kavelo.picture(), 500, 1000), -1, rate, pictures);
        engineRestarts.add((kavelo::test::peer(p.kavelo.engine()).pictureUpdates() - restarts) /
                           (msSince(clock) / 1000.0));
        p.kavelo.commands().dPause();
        idle(200);
    }
    scanRows(QStringLiteral("backwards"), rate, pictures, nullptr, nullptr);
    g_rows.back().note = QStringLiteral("the engine counted %1 playback restarts a second")
                             .arg(engineRestarts.text(1));
}

// A title of one kind played on its own, outside the disc's program, in both players: its
// disc, its number, the subtitles shown (a subpicture register value, -1 for none) and the angle.
// Seeks go to `seekTargets`; 16x scans run forwards from `forwardFrom` and backwards from
// `backwardFrom`, counted for `scanMs` after `scanWarmupMs`, so that they stay in the title.
struct TitleKind {
    QString disc;
    int title = 1;
    QString what; // names the title in the rows
    int subpicture = -1;
    int angle = 1;
    std::vector<int> seekTargets;
    double forwardFrom = 0;
    double backwardFrom = 0;
    int scanWarmupMs = 80;
    int scanMs = 560;
};

// mpv plays the same title with the same subtitles and angle through its own DVD reading.
bool mpvLoad(Players& p, const TitleKind& kind) {
    p.mpv.set(QStringLiteral("sid"), kind.subpicture >= 0 ? QJsonValue((kind.subpicture & 0x1f) + 1)
                                                          : QJsonValue(QStringLiteral("no")));
    p.mpv.set(QStringLiteral("dvd-angle"), kind.angle);
    return p.mpv.command(
        {QStringLiteral("loadfile"), QStringLiteral("dvd://%1").arg(kind.title - 1)});
}

// Open to the title's first picture and exact seeks in it beside mpv, then 16x scans both ways.
void measureTitle(Players& p, const TitleKind& kind, int samples) {
    MpvDvdEngine* engine = p.kavelo.engine();
    engine->SetDVDDirectory(kind.disc);
    p.mpv.set(QStringLiteral("dvd-device"), kind.disc);
    p.x.readSampleStrip(true);
    Samples ours;
    Samples theirs;
    auto kavelo = [&] {
        p.kavelo.commands().dStop();
        idle(150);
        QString why;
        const auto ms = p.kavelo.timeToPicture(
            [&] { kavelo::test::peer(engine).PlayTitle(kind.title, kind.subpicture, kind.angle); },
            why);
        ms ? ours.add(*ms) : ours.fail(why);
        idle(100);
        p.kavelo.commands().dPause();
    };
    auto mpv = [&] {
        p.mpv.command({QStringLiteral("stop")});
        idle(150);
        p.mpv.set(QStringLiteral("pause"), false);
        p.mpv.clearEvents();
        QElapsedTimer clock;
        clock.start();
        if (!mpvLoad(p, kind))
            theirs.fail(QStringLiteral("loadfile refused"));
        else if (p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs))
            theirs.add(msSince(clock));
        else
            theirs.fail(QStringLiteral("no picture within 5 s"));
        idle(100);
        p.mpv.set(QStringLiteral("pause"), true);
    };
    interleaved(
        samples, [&](int) { kavelo(); }, [&](int) { mpv(); });
    addRow({QStringLiteral("open to first picture%1 (ms)").arg(kind.what), ours.text(0),
            theirs.text(0), ratioText(ours.median(), theirs.median()), QStringLiteral("<= 60 ms"),
            !ours.failures && !ours.empty() && ours.median() <= 60,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs)).trimmed()});
    const DvdSnapshot& now = engine->snapshot();
    say("%s: angle %d of %d, subtitle stream %d\n", qPrintable(kind.what.mid(2)), now.angle,
        now.angles, now.subpicture + 1);

    measureSeeks(p, samples, kind.seekTargets, kind.what);
    // mpv's own DVD reading seeks to the wrong picture on some titles (in an angle block, by up
    // to seconds), which costs it less than an exact seek: mpv also seeks on the very stream
    // Kavelo plays, as a file, reading from as far before the picture as Kavelo does so that
    // its exact seeks land (from the picture itself they land up to a group of pictures late).
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("title.mpg"));
    p.mpv.command({QStringLiteral("stop")});
    p.mpv.set(QStringLiteral("pause"), true);
    p.mpv.set(QStringLiteral("hr-seek-demuxer-offset"), kKaveloSeekOffset);
    p.mpv.clearEvents();
    if (!writeTitleFile(kind.disc, kind.title, kind.angle, file) ||
        !p.mpv.command({QStringLiteral("loadfile"), file}) ||
        !p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs))
        say("mpv could not play the title's stream as a file\n");
    else
        measureSeeks(p, samples, kind.seekTargets,
                     kind.what + QStringLiteral(", mpv on its stream as a file"), true);

    Samples forwardRate;
    Samples forwardPictures;
    Samples backwardRate;
    Samples backwardPictures;
    for (int i = 0; i < samples; ++i) {
        QString why;
        if (p.kavelo.timeToPicture([&] { engine->PlayAtTime(timeText(kind.forwardFrom)); }, why)) {
            engine->PlayForwards(16);
            addScan(countPictures(p.x, p.kavelo.picture(), kind.scanWarmupMs, kind.scanMs), 1,
                    forwardRate, forwardPictures, 0.4);
        } else {
            forwardRate.fail(why);
            forwardPictures.fail(why);
        }
        p.kavelo.commands().dPause();
        if (p.kavelo.timeToPicture([&] { engine->PlayAtTime(timeText(kind.backwardFrom)); }, why)) {
            engine->PlayBackwards(16);
            addScan(countPictures(p.x, p.kavelo.picture(), kind.scanWarmupMs, kind.scanMs), -1,
                    backwardRate, backwardPictures, 0.4);
        } else {
            backwardRate.fail(why);
            backwardPictures.fail(why);
        }
        p.kavelo.commands().dPause();
        idle(200);
    }
    scanRows(QStringLiteral("forwards") + kind.what, forwardRate, forwardPictures, nullptr,
             nullptr);
    scanRows(QStringLiteral("backwards") + kind.what, backwardRate, backwardPictures, nullptr,
             nullptr);
    p.kavelo.commands().dStop();
    p.mpv.command({QStringLiteral("stop")});
    p.mpv.set(QStringLiteral("hr-seek-demuxer-offset"), 0);
    p.mpv.set(QStringLiteral("sid"), QStringLiteral("no"));
    p.mpv.set(QStringLiteral("dvd-angle"), 1);
    p.x.readSampleStrip(false);
}

// The sample disc's title 3: 12 s in three cells whose timestamps each start again. Seeks into
// every cell, onto cell starts (4 s, 8 s) and the title's first second.
TitleKind restartingTitle(const QString& disc) {
    return {disc, 3,   QStringLiteral(", title 3"),
            -1,   1,   {9, 2, 5, 11, 4, 7, 1, 10, 3, 8, 6, 0, 5, 9, 2, 8, 4, 11, 7, 1},
            0.4,  11.6};
}

// The film disc's film: 60 s, two audio and two subtitle streams, shown here with the second
// subtitle stream (a cue every 3 s). Seeks onto chapter starts (15, 30, 45 s), into cues and
// between them; scans of 1.3 s (21 title seconds) each way.
TitleKind subtitleTitle(const QString& disc) {
    return {disc, 1,  QStringLiteral(", subtitle title"),
            0x41, 1,  {37, 12, 51, 4, 30, 46, 19, 8, 33, 56, 23, 2, 41, 15, 28, 45, 10, 53, 26, 0},
            3,    57, 300,
            1000};
}

// The angle disc's title: 14 s, an interleaved block of two angles from 4 to 10 s, played in
// angle 2. Seeks into the block, onto its edges and outside it.
TitleKind angleTitle(const QString& disc) {
    return {disc, 1,   QStringLiteral(", angle title"),
            -1,   2,   {6, 2, 9, 11, 5, 4, 12, 7, 10, 1, 8, 13, 3, 6, 9, 0},
            0.4,  13.6};
}

// CPU over 1x play of the film disc's subtitle title with its second subtitle stream shown, in
// both players, interleaved windows of 3 s from places spread over the film. Kavelo is its main
// window inside this process (the program file plays the disc's program, not one title). The
// subtitles are gathered on libmpv's reading thread and decoded and shown on the main thread:
// that thread's share is shown beside, all of Kavelo's own work over libmpv's.
void measureSubtitleCpu(Players& p, const TitleKind& kind, int samples) {
    constexpr int kWindowMs = 3000;
    MpvDvdEngine* engine = p.kavelo.engine();
    engine->SetDVDDirectory(kind.disc);
    p.mpv.set(QStringLiteral("dvd-device"), kind.disc);
    p.x.readSampleStrip(true);
    Samples ours;
    Samples theirs;
    Samples mainThread;
    QString why;
    int shown = 0; // samples in which Kavelo said the stream shows
    if (!p.kavelo.timeToPicture(
            [&] { kavelo::test::peer(engine).PlayTitle(kind.title, kind.subpicture, kind.angle); },
            why))
        ours.fail(why);
    engine->Pause();
    p.mpv.set(QStringLiteral("pause"), false);
    p.mpv.clearEvents();
    if (!mpvLoad(p, kind) ||
        !p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs))
        theirs.fail(QStringLiteral("no picture within 5 s"));
    p.mpv.set(QStringLiteral("pause"), true);
    auto at = [](int i) { return 1 + (i * 17) % 50; };
    auto oursOnce = [&](int i) {
        if (!p.kavelo.timeToPicture([&] { engine->PlayAtTime(timeText(at(i))); }, why)) {
            ours.fail(why);
            return;
        }
        idle(500);
        shown += engine->snapshot().subpicture == (kind.subpicture & 0x1f) ? 1 : 0;
        cpuWindow(p, QCoreApplication::applicationPid(), p.kavelo.picture(), kWindowMs, ours,
                  &mainThread);
        engine->Pause();
    };
    auto theirsOnce = [&](int i) {
        p.mpv.clearEvents();
        p.mpv.command({QStringLiteral("seek"), at(i), QStringLiteral("absolute")});
        p.mpv.waitForEvent(QStringLiteral("playback-restart"), kPictureTimeoutMs);
        p.mpv.set(QStringLiteral("pause"), false);
        idle(500);
        cpuWindow(p, p.mpv.pid(), p.mpvPicture, kWindowMs, theirs);
        p.mpv.set(QStringLiteral("pause"), true);
    };
    interleaved(samples, oursOnce, theirsOnce);
    const bool pass = !ours.failures && !ours.empty() && !theirs.empty() &&
                      shown == static_cast<int>(ours.values.size()) &&
                      ours.median() <= 1.0 * theirs.median();
    addRow({QStringLiteral("CPU over 1x play%1 (% of a core)").arg(kind.what), ours.text(1),
            theirs.text(1), ratioText(ours.median(), theirs.median()),
            QStringLiteral("<= 1.0x mpv"), pass,
            (failureNote(ours) + QLatin1Char(' ') + failureNote(theirs) +
             QStringLiteral(" subtitle stream %1 shown in %2 of %3; Kavelo: the main window in "
                            "the benchmark's process")
                 .arg(kind.subpicture >= 0 ? (kind.subpicture & 0x1f) + 1 : 0)
                 .arg(shown)
                 .arg(ours.values.size()))
                .simplified()});
    addRow({QStringLiteral("of it Kavelo's main thread (subtitles, window)"), mainThread.text(1),
            QString(), QString(), QString(), true, QString(), true});
    p.kavelo.commands().dStop();
    p.mpv.command({QStringLiteral("stop")});
    p.mpv.set(QStringLiteral("sid"), QStringLiteral("no"));
    p.x.readSampleStrip(false);
}

void printTable() {
    say("\n%-48s %-22s %-22s %-7s %-16s %s\n", "figure (median [min..max])", "Kavelo",
        "mpv / bare Qt", "ratio", "target", "result");
    int failed = 0;
    int judged = 0;
    for (const Row& r : g_rows) {
        say("%-48s %-22s %-22s %-7s %-16s %s\n", qPrintable(r.what), qPrintable(r.ours),
            qPrintable(r.theirs), qPrintable(r.ratio), qPrintable(r.target),
            r.info   ? "info"
            : r.pass ? "PASS"
                     : "FAIL");
        if (!r.note.isEmpty())
            say("    %s\n", qPrintable(r.note));
        if (r.info)
            continue;
        ++judged;
        failed += r.pass ? 0 : 1;
    }
    say("\n%d of %d figures pass\n", judged - failed, judged);
}

int run(const QStringList& args) {
    const QString kavelo = QFileInfo(args.at(1)).absoluteFilePath();
    const QString bare = QFileInfo(args.at(2)).absoluteFilePath();
    const QString sample = QFileInfo(args.at(3)).absoluteFilePath();
    const QString realistic = QFileInfo(args.at(4)).absoluteFilePath();
    const QString film = QFileInfo(args.at(5)).absoluteFilePath();
    const QString angle = QFileInfo(args.at(6)).absoluteFilePath();
    const QString mpvProgram = args.size() > 7 ? args.at(7) : QStringLiteral("mpv");
    const int samples = envNumber("KAVELO_BENCH_SAMPLES", 15);
    const int cycles = envNumber("KAVELO_BENCH_CYCLES", 50);

    say("load at start: %s\n", qPrintable(loadAverage()));
    say("%d samples a figure, %d Stop/Play cycles\n", samples, cycles);

    XScreen x;
    if (!x.connected()) {
        say("no X server\n");
        return 1;
    }
    measureStart(x, kavelo, bare, samples);
    measureStart(x, kavelo, bare, samples, 4);
    if (qgetenv("KAVELO_BENCH_ONLY") == "start") {
        printTable();
        return 0;
    }

    Program program(QFileInfo(kavelo).absolutePath());
    if (!program.engine()) {
        say("the main window's engine is not libmpv's\n");
        return 1;
    }
    const QRect ours = program.videoArea();
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    const QRect mpvArea(
        std::max(program.window().frameGeometry().right() + 10, screenWidth - ours.width()), 0,
        ours.width(), ours.height());
    MpvPlayer mpv(mpvProgram, mpvArea);
    if (!mpv.connected()) {
        say("the mpv player (%s) did not start\n", qPrintable(mpvProgram));
        return 1;
    }
    spinUntil([&] { return !x.windowOf(mpv.pid()).isEmpty(); }, kMapTimeoutMs);
    const QRect mpvWindow = x.windowOf(mpv.pid());
    say("video areas: Kavelo %dx%d at %d,%d; mpv %dx%d at %d,%d\n", ours.width(), ours.height(),
        ours.x(), ours.y(), mpvWindow.width(), mpvWindow.height(), mpvWindow.x(), mpvWindow.y());
    Players players{program, mpv, x, fittedPicture(mpvWindow)};

    measureOpen(players, sample, samples);
    measureTitle(players, restartingTitle(sample), samples);
    if (qgetenv("KAVELO_BENCH_ONLY") == "title3") {
        printTable();
        return 0;
    }
    measureTitle(players, subtitleTitle(film), samples);
    measureSubtitleCpu(players, subtitleTitle(film), samples);
    measureTitle(players, angleTitle(angle), samples);
    if (qgetenv("KAVELO_BENCH_ONLY") == "kinds") {
        printTable();
        return 0;
    }
    if (!openRealistic(players, realistic)) {
        addRow({QStringLiteral("realistic-disc figures"), QStringLiteral("not measured"), QString(),
                QString(), QString(), false, QString()});
        printTable();
        return 1;
    }
    measureSeeks(players, samples, {37, 412, 125, 581, 263, 74,  499, 318, 190, 547,
                                    9,  441, 236, 362, 158, 523, 281, 96,  470, 205},
                 QString());
    measureForwardScan(players, samples);
    measureBackwardScan(players, samples);

    // CPU and memory are the program's: its own file, started in the realistic disc's folder.
    // Where it cannot play that disc, the main window above stands in (the row says so).
    const int title = program.engine()->CurrentTitle();
    program.commands().dStop();
    const QPoint videoOffset = ours.topLeft() - program.window().geometry().topLeft();
    program.window().hide();
    std::optional<ExternalProgram> external;
    external.emplace(x, kavelo, realistic);
    Subject subject;
    subject.x = &x;
    if (external->running()) {
        subject.name = QStringLiteral("the program file, its own process");
        subject.pid = external->pid();
        subject.picture =
            fittedPicture(QRect(external->rect().topLeft() + videoOffset, ours.size()));
        subject.play = [&] { external->key("ctrl+p"); };
        subject.stop = [&] { external->key("ctrl+s"); };
    }
    if (!external->running() || !subject.playToPicture()) {
        say("the program file did not play the disc of its working folder\n");
        external.reset();
        program.window().show();
        spinUntil([&] { return program.window().isVisible(); }, kMapTimeoutMs);
        idle(500);
        program.engine()->SetDVDDirectory(realistic);
        subject.name = QStringLiteral("the main window inside the benchmark's process");
        subject.pid = QCoreApplication::applicationPid();
        subject.picture = program.picture();
        subject.play = [&] { program.window().dPlay(); };
        subject.stop = [&] { program.commands().dStop(); };
    }
    say("CPU and memory of Kavelo: %s\n", qPrintable(subject.name));
    measureCpu(players, subject, samples);
    measureMemory(players, subject, cycles, title);

    say("load at end: %s\n", qPrintable(loadAverage()));
    printTable();
    return 0;
}

} // namespace
} // namespace kavelo::bench

int main(int argc, char** argv) {
    // Kavelo's main window runs in this process as in its own program file, with one heap.
    mallopt(M_ARENA_MAX, 1);
    if (FILE* report = fdopen(dup(STDOUT_FILENO), "w")) {
        kavelo::bench::g_report = report;
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 7) {
        std::fprintf(stderr,
                     "usage: %s KAVELO_PROGRAM BARE_WINDOW_PROGRAM SAMPLE_DISC REALISTIC_DISC "
                     "FILM_DISC ANGLE_DISC [MPV_PROGRAM]\n",
                     argv[0]);
        return 2;
    }
    try {
        return kavelo::bench::run(args);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "benchmark stopped: %s\n", error.what());
        return 1;
    }
}
