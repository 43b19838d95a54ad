// Disc menus measured beside the mpv player: Play to the menu's first picture, hover to the
// highlight on screen, a click to the title's first picture, a title's end to the menu, and the
// memory a menu takes. Run by bench/run.sh:
//   kavelo_menu_bench MENU_DISC MPV_PROGRAM
#include "EnginePeer.h"
#include "MenuInput.h"
#include "MpvDvdEngine.h"
#include "MpvPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kavelo;
using kavelo::bench::MpvPlayer;

namespace {

struct Samples {
    std::vector<double> values;
    int failures = 0;
    void add(double v) { values.push_back(v); }
    double median() const {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    QString text() const {
        if (values.empty())
            return QStringLiteral("none");
        return QStringLiteral("%1 [%2..%3]")
            .arg(median(), 0, 'f', 1)
            .arg(*std::min_element(values.begin(), values.end()), 0, 'f', 1)
            .arg(*std::max_element(values.begin(), values.end()), 0, 'f', 1);
    }
};

void idle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool spinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

double residentMiB() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return 0;
}

QImage grab(QWidget* w, const QRect& r) {
    const QPoint o = w->mapToGlobal(r.topLeft());
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, o.x(), o.y(), r.width(), r.height())
        .toImage();
}

void send(QWidget* video, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, at, video->mapToGlobal(at),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(video, &e);
}

int g_failures = 0;

void row(const char* what, const Samples& ours, const QString& theirs, const QString& ratio,
         const char* target, bool pass) {
    if (!pass)
        ++g_failures;
    std::printf("%-44s %-24s %-24s %-7s %-10s %s%s\n", what, qPrintable(ours.text()),
                qPrintable(theirs), qPrintable(ratio), target, pass ? "PASS" : "FAIL",
                ours.failures ? qPrintable(QStringLiteral(" (%1 timed out)").arg(ours.failures))
                              : "");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    setlocale(LC_NUMERIC, "C");
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MENU_DISC MPV_PROGRAM\n", argv[0]);
        return 2;
    }
    const QString disc = QString::fromLocal8Bit(argv[1]);
    const int samples = std::max(3, qEnvironmentVariableIntValue("KAVELO_BENCH_SAMPLES") > 0
                                        ? qEnvironmentVariableIntValue("KAVELO_BENCH_SAMPLES")
                                        : 15);

    // The frame shown 1:1 (768 x 576 is PAL's 4:3 shape): frame point = window point * 768/720.
    QWidget window;
    window.setGeometry(0, 0, 768, 576);
    MpvDvdEngine engine(&window);
    engine.widget()->setGeometry(0, 0, 768, 576);
    // The main window's keys and pointer for the disc's menus.
    const MenuInput input(engine.widget(), engine);
    window.show();
    idle(500);
    QWidget* video = engine.widget();
    MpvPlayer mpv(QString::fromLocal8Bit(argv[2]), QRect(800, 0, 768, 576));
    mpv.set(QStringLiteral("dvd-device"), disc);
    engine.SetDVDDirectory(disc);
    const QPoint button1(300 * 768 / 720, 228), button2(300 * 768 / 720, 328);
    // Button 2 of the main menu, on screen: lit when the pointer is over it.
    const QRect button2Rect(107, 302, 490, 52);

    Samples playOurs, playTheirs, hover, clickOurs, clickTheirs, titleEnd, titleEndPolled, menuKey,
        resume;
    // The first open of the folder: its tables read by a disc service started beside the
    // window, as the engine's is.
    Samples firstOpen;
    for (int i = 0; i < samples; ++i) {
        kavelo::DvdStructureReader reader;
        idle(800);
        QElapsedTimer c;
        c.start();
        try {
            reader.read(disc);
            firstOpen.add(static_cast<double>(c.nsecsElapsed()) / 1e6);
        } catch (const EngineError&) {
            ++firstOpen.failures;
        }
    }
    double menuMemory = 0, titleMemory = 0;
    auto mpvLoad = [&](Samples& into, const QString& url, const QString& options) {
        mpv.command({QStringLiteral("stop")});
        idle(100);
        mpv.set(QStringLiteral("pause"), false);
        mpv.clearEvents();
        QElapsedTimer clock;
        clock.start();
        if (mpv.command({QStringLiteral("loadfile"), url, QStringLiteral("replace"), options}) &&
            mpv.waitForEvent(QStringLiteral("playback-restart"), 5000))
            into.add(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        else
            ++into.failures;
        mpv.set(QStringLiteral("pause"), true);
    };

    for (int i = 0; i < samples; ++i) {
        // Play to the menu's first picture (Play returns when it is up) / mpv's title load.
        auto ours = [&] {
            engine.Stop();
            idle(100);
            QElapsedTimer clock;
            clock.start();
            try {
                engine.Play();
                playOurs.add(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            } catch (const EngineError&) {
                ++playOurs.failures;
            }
        };
        if (i % 2) {
            mpvLoad(playTheirs, QStringLiteral("dvd://0"), QString());
            ours();
        } else {
            ours();
            mpvLoad(playTheirs, QStringLiteral("dvd://0"), QString());
        }
        idle(300);
        if (i == 0)
            menuMemory = residentMiB();

        // Hover to the highlight on screen.
        send(video, QEvent::MouseMove, button1);
        idle(200);
        const QImage before = grab(video, button2Rect);
        QElapsedTimer clock;
        clock.start();
        send(video, QEvent::MouseMove, button2);
        if (spinUntil([&] { return grab(video, button2Rect) != before; }, 1000))
            hover.add(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        else
            ++hover.failures;

        // A click to the title's first picture (the engine returns when it is up) / mpv's load
        // of the same title at the same place (title 2, chapter 3 at 4 s).
        auto click = [&] {
            QElapsedTimer c;
            c.start();
            send(video, QEvent::MouseButtonPress, button2);
            if (engine.CurrentTitle() == 2)
                clickOurs.add(static_cast<double>(c.nsecsElapsed()) / 1e6);
            else
                ++clickOurs.failures;
        };
        if (i % 2) {
            mpvLoad(clickTheirs, QStringLiteral("dvd://1"), QStringLiteral("start=4"));
            click();
        } else {
            click();
            mpvLoad(clickTheirs, QStringLiteral("dvd://1"), QStringLiteral("start=4"));
        }
        idle(300);
        if (i == 0)
            titleMemory = residentMiB();

        // The menu key in the title to the menu's picture, and Resume from there back to the
        // title's picture where it was left (each returns when its picture is up).
        {
            QElapsedTimer c;
            c.start();
            try {
                engine.callMenu();
                if (engine.CurrentTitle() == 0)
                    menuKey.add(static_cast<double>(c.nsecsElapsed()) / 1e6);
                else
                    ++menuKey.failures;
                idle(300);
                c.restart();
                engine.Resume();
                if (engine.CurrentTitle() == 2)
                    resume.add(static_cast<double>(c.nsecsElapsed()) / 1e6);
                else
                    ++resume.failures;
            } catch (const EngineError&) {
                ++menuKey.failures;
            }
            idle(200);
        }

        // The title's end to the menu's picture: played from 1 s before the end, timed from the
        // title's last picture (the last advance of its position) to the menu's first picture.
        // Each picture is timed as the engine takes it (its snapshot): the title's end and the
        // menu's load may follow the last picture within one pass of the event loop, and a look
        // between passes would time from the picture before. That look is kept as a figure of
        // its own.
        try {
            engine.PlayAtTime(QStringLiteral("00:00:07:00"));
            double lastPosition = -1, lastPolled = -1;
            QElapsedTimer sinceLastPicture, sinceLastPolled;
            sinceLastPicture.start();
            sinceLastPolled.start();
            double ms = -1, polledMs = -1;
            int titlePictures = kavelo::test::peer(engine).pictureUpdates();
            const QMetaObject::Connection pictures = QObject::connect(
                &engine.events(), &DvdEngineEvents::snapshotChanged, [&](const DvdSnapshot& now) {
                    if (now.inMenu || now.title == 0 || now.seconds == lastPosition)
                        return;
                    lastPosition = now.seconds;
                    titlePictures = kavelo::test::peer(engine).pictureUpdates();
                    sinceLastPicture.restart();
                });
            spinUntil(
                [&] {
                    try {
                        if (engine.CurrentTitle() == 0) {
                            // In the menu: timed once its first picture is up.
                            if (kavelo::test::peer(engine).pictureUpdates() != titlePictures) {
                                ms = static_cast<double>(sinceLastPicture.nsecsElapsed()) / 1e6;
                                polledMs =
                                    static_cast<double>(sinceLastPolled.nsecsElapsed()) / 1e6;
                            }
                            return ms >= 0;
                        }
                        if (const double at = kavelo::test::peer(engine).positionSeconds();
                            at != lastPolled) {
                            lastPolled = at;
                            sinceLastPolled.restart();
                        }
                        return false;
                    } catch (const EngineError&) {
                        return true;
                    }
                },
                5000);
            QObject::disconnect(pictures);
            if (ms >= 0 && lastPosition >= 7) {
                titleEnd.add(ms);
                titleEndPolled.add(polledMs);
            } else {
                ++titleEnd.failures;
            }
        } catch (const EngineError&) {
            ++titleEnd.failures;
        }
    }

    std::printf("\nDisc menus (menu disc, %d samples, A/B interleaved; load %s)\n", samples,
                qPrintable(QString::fromLatin1([] {
                    QFile f(QStringLiteral("/proc/loadavg"));
                    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
                }())));
    std::printf("%-44s %-24s %-24s %-7s %-10s %s\n", "figure", "Kavelo median [min..max]",
                "mpv median [min..max]", "ratio", "target", "result");
    const double playRatio = playTheirs.median() > 0 ? playOurs.median() / playTheirs.median() : 0;
    row("Play to the menu's first picture (ms)", playOurs, playTheirs.text() + " (title)",
        QString::number(playRatio, 'f', 2) + "x", "<= 1.2x",
        !playOurs.failures && playRatio > 0 && playRatio <= 1.2);
    row("hover to the highlight on screen (ms)", hover, QStringLiteral("-"), QStringLiteral("-"),
        "< 20 ms", !hover.failures && !hover.values.empty() && hover.median() < 20);
    const double clickRatio =
        clickTheirs.median() > 0 ? clickOurs.median() / clickTheirs.median() : 0;
    row("click to the title's first picture (ms)", clickOurs, clickTheirs.text() + " (load)",
        QString::number(clickRatio, 'f', 2) + "x", "<= 1.2x",
        !clickOurs.failures && clickRatio > 0 && clickRatio <= 1.2);
    row("title end to the menu's picture (ms)", titleEnd, QStringLiteral("-"), QStringLiteral("-"),
        "< 500 ms", !titleEnd.failures && !titleEnd.values.empty() && titleEnd.median() < 500);
    row("  the same, its pictures seen between passes", titleEndPolled, QStringLiteral("-"),
        QStringLiteral("-"), "-", true);
    row("first open of the folder (ms)", firstOpen, QStringLiteral("-"), QStringLiteral("-"),
        "< 50 ms", !firstOpen.failures && !firstOpen.values.empty() && firstOpen.median() < 50);
    row("menu key to the menu's picture (ms)", menuKey, QStringLiteral("-"), QStringLiteral("-"),
        "< 100 ms", !menuKey.failures && !menuKey.values.empty() && menuKey.median() < 100);
    row("Resume from the menu to the title (ms)", resume, clickTheirs.text() + " (load)",
        QString::number(clickTheirs.median() > 0 ? resume.median() / clickTheirs.median() : 0, 'f',
                        2) +
            "x",
        "<= 1.2x",
        !resume.failures && clickTheirs.median() > 0 &&
            resume.median() <= 1.2 * clickTheirs.median());
    Samples memory;
    memory.add(menuMemory);
    const double memRatio = titleMemory > 0 ? menuMemory / titleMemory : 0;
    row("memory while a menu shows (MiB)", memory,
        QStringLiteral("%1 (title playing)").arg(titleMemory, 0, 'f', 1),
        QString::number(memRatio, 'f', 2) + "x", "<= 1.1x", memRatio > 0 && memRatio <= 1.1);
    return g_failures ? 1 : 0;
}
