#include "MutantWalk.h"

#include "EnginePeer.h"
#include "Waiting.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>

#include <cstdio>
#include <ctime>
#include <deque>

namespace kavelo::test {

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// How long each thread of this process has been running or ready to run (ns), by thread id:
// a thread that spins is always one or the other, however busy the machine is.
std::map<QString, std::pair<QString, double>> threadRunnableNs() {
    std::map<QString, std::pair<QString, double>> out;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(id + QStringLiteral("/schedstat")));
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
        if (fields.size() < 2)
            continue;
        const QString name =
            comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : id;
        out[id] = {name, fields[0].toDouble() + fields[1].toDouble()};
    }
    return out;
}

// This process's CPU time, every thread of it, children not counted.
double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace

std::vector<Mutant> listMutants(const QString& folder) {
    std::vector<Mutant> out;
    QFile list(folder + QStringLiteral("/MUTANTS"));
    if (!list.open(QIODevice::ReadOnly))
        return out;
    while (!list.atEnd()) {
        const QStringList words =
            QString::fromUtf8(list.readLine()).trimmed().split(QLatin1Char(' '));
        if (words.size() == 3)
            out.push_back(
                {words[0], words[1], words[2], words[0].section(QLatin1Char('-'), -1).toInt()});
    }
    return out;
}

std::vector<QPoint> buttonsOf(const QString& disc) {
    // The rectangles the disc scripts give their buttons.
    if (disc == QLatin1String("menu"))
        return {{330, 228}, {330, 328}, {330, 428}};
    if (disc == QLatin1String("film"))
        return {{360, 122}, {360, 194}, {360, 266}, {360, 338}, {360, 410}, {360, 482}};
    return {};
}

MutantWalk::MutantWalk(QWidget& window, Limits limits)
    : m_window(window), m_limits(limits), m_engine(std::make_unique<MpvDvdEngine>(&window)) {
    // Warnings are what the walk reads of the log; the debug lines would only cost time.
    QLoggingCategory::setFilterRules(QStringLiteral("kavelo.*.debug=false"));
    m_watchdog = std::thread([this] { watch(); });
}

MutantWalk::~MutantWalk() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    m_watchdog.join();
}

// Runs on a thread of its own: ends the process when a step never returns, and notes a thread
// of this process that kept a core (running, or ready to run) for the spin window.
void MutantWalk::watch() {
    // (ms, runnable ns by thread) samples over the spin window
    std::deque<std::pair<qint64, std::map<QString, std::pair<QString, double>>>> samples;
    std::unique_lock lock(m_mutex);
    while (!m_ending) {
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
        const qint64 now = nowMs();
        const qint64 began = m_stepStart.load();
        if (began > 0 && now - began > m_limits.freezeLimit.count()) {
            std::fprintf(stderr, "FROZEN: %s did not return within %lld ms on %s\n",
                         m_stepName.c_str(), static_cast<long long>(m_limits.freezeLimit.count()),
                         qPrintable(m_place));
            std::fflush(stderr);
            std::_Exit(3);
        }
        samples.emplace_back(now, threadRunnableNs());
        while (samples.size() > 2 && now - samples[1].first >= m_limits.spinWindow.count())
            samples.pop_front();
        const qint64 span = now - samples.front().first;
        if (span < m_limits.spinWindow.count())
            continue;
        for (const auto& [id, latest] : samples.back().second) {
            const auto first = samples.front().second.find(id);
            if (first != samples.front().second.end() &&
                latest.second - first->second.second >= 0.95 * static_cast<double>(span) * 1e6)
                m_spinning = latest.first;
        }
    }
}

QPoint MutantWalk::onWidget(QPoint frame) const {
    // The video widget shows the 4:3 frame filling it.
    const QWidget* video = m_engine->widget();
    const qreal ratio = video->devicePixelRatioF();
    return {static_cast<int>(frame.x() * video->width() * ratio / 720),
            static_cast<int>(frame.y() * video->height() * ratio / 576)};
}

bool MutantWalk::inMenu() {
    const bool showing = m_engine->menuShowing();
    m_now.menu = m_now.menu || showing;
    return showing;
}

bool MutantWalk::answers() {
    // Shared: a call that comes after the wait gave up still has its flag.
    const auto answered = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        qApp, [answered] { *answered = true; }, Qt::QueuedConnection);
    return waitUntil([&] { return *answered; }, static_cast<int>(m_limits.answer.count()));
}

bool MutantWalk::step(const char* what, const std::function<void()>& run) {
    {
        const std::lock_guard lock(m_mutex);
        m_stepName = what;
    }
    QElapsedTimer clock;
    clock.start();
    m_stepStart = nowMs();
    bool worked = false;
    try {
        run();
        worked = true;
    } catch (const EngineError&) {
    } catch (const std::exception& e) {
        m_now.faults << QStringLiteral("%1 raised %2").arg(QLatin1String(what), e.what());
    }
    m_stepStart = 0;
    const qint64 took = clock.elapsed();
    const DvdSnapshot& now = m_engine->snapshot();
    m_now.trail << QStringLiteral("%1 (%2 ms): %3")
                       .arg(QLatin1String(what))
                       .arg(took)
                       .arg(now.inMenu      ? QStringLiteral("menu")
                            : now.title > 0 ? QStringLiteral("T%1").arg(now.title)
                                            : QStringLiteral("-"));
    m_now.longestStepMs = std::max(m_now.longestStepMs, took);
    if (m_now.hang.isEmpty() && took > m_limits.stepLimit.count())
        m_now.hang = QStringLiteral("%1 took %2 ms").arg(QLatin1String(what)).arg(took);
    if (!answers() && m_now.hang.isEmpty())
        m_now.hang = QStringLiteral("the window did not answer within %1 ms after %2")
                         .arg(m_limits.answer.count())
                         .arg(QLatin1String(what));
    QString spinning;
    {
        const std::lock_guard lock(m_mutex);
        spinning.swap(m_spinning);
    }
    if (!spinning.isEmpty() && m_now.hang.isEmpty())
        m_now.hang = QStringLiteral("thread %1 kept a core for %2 ms, up to %3")
                         .arg(spinning)
                         .arg(m_limits.spinWindow.count())
                         .arg(QLatin1String(what));
    return worked;
}

WalkOutcome MutantWalk::walk(const QString& place, const std::vector<QPoint>& buttons,
                             int variant) {
    m_now = WalkOutcome{};
    m_place = place;
    m_log.lines.clear();
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    MpvDvdEngine& engine = *m_engine;
    IDvdMenus& menus = engine;
    // Which button the keys choose and which one is clicked differ from walk to walk, so that
    // the menus behind every button are reached.
    const int downs = variant % 4;
    const QPoint click = buttons.empty()
                             ? QPoint(360, 288)
                             : buttons[static_cast<std::size_t>(variant / 4) % buttons.size()];

    if (!step("SetDVDDirectory", [&] { engine.SetDVDDirectory(place); }) ||
        !step("Play", [&] { engine.Play(); })) {
        m_now.refused = true;
    } else {
        m_now.played = true;
        // A disc that starts with a title (a warning, say) is taken to its menu first.
        if (!inMenu())
            step("menu key", [&] { menus.callMenu(); });
        if (inMenu()) {
            step("Up", [&] { menus.moveSelection(MenuMove::Up); });
            step("Left", [&] { menus.moveSelection(MenuMove::Left); });
            step("Right", [&] { menus.moveSelection(MenuMove::Right); });
            for (int n = 0; n < downs; ++n)
                step("Down", [&] { menus.moveSelection(MenuMove::Down); });
            step("Enter", [&] { menus.activateSelection(); });
        }
        if (inMenu()) {
            step("pointer over a button", [&] { menus.pointerAt(onWidget(click), false); });
            step("click on a button", [&] { menus.pointerAt(onWidget(click), true); });
        }
        step("menu key after the menu", [&] { menus.callMenu(); });
        if (inMenu()) {
            step("Down in the menu", [&] { menus.moveSelection(MenuMove::Down); });
            step("Enter in the menu", [&] { menus.activateSelection(); });
        }
        step("title jump", [&] { peer(engine).PlayTitle(2); });
        step("next chapter", [&] { engine.PlayNextChapter(); });
        step("menu key after the jump", [&] { menus.callMenu(); });
        inMenu();
    }
    step("Stop", [&] { engine.Stop(); });

    m_now.warnings = m_log.lines;
    m_now.serviceRestarts = static_cast<int>(
        m_log.find(QStringLiteral("kavelo.nav"), QStringLiteral("the service is restarted"))
            .size());
    m_now.cpuSeconds = processCpuSeconds() - cpuBefore;
    m_now.wallMs = clock.elapsed();
    return m_now;
}

void WalkTally::add(const Mutant& mutant, const WalkOutcome& outcome) {
    for (Row* row : {&byDisc[mutant.disc], &byKind[mutant.kind], &all}) {
        ++row->mutants;
        row->refused += outcome.refused;
        row->played += outcome.played;
        row->menus += outcome.menu;
        row->restarts += outcome.serviceRestarts;
        row->hangs += !outcome.hang.isEmpty();
    }
    if (!outcome.hang.isEmpty())
        hangs << mutant.name + QStringLiteral(": ") + outcome.hang;
    for (const QString& fault : outcome.faults)
        faults << mutant.name + QStringLiteral(": ") + fault;
    longestStepMs = std::max(longestStepMs, outcome.longestStepMs);
    cpuSeconds += outcome.cpuSeconds;
}

QString WalkTally::report() const {
    QString out = QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                      .arg(QStringLiteral("damaged discs"), -24)
                      .arg(QStringLiteral("mutants"), 8)
                      .arg(QStringLiteral("refused"), 8)
                      .arg(QStringLiteral("played"), 8)
                      .arg(QStringLiteral("menus"), 8)
                      .arg(QStringLiteral("restarts"), 9)
                      .arg(QStringLiteral("hangs"), 6);
    const auto line = [&](const QString& name, const Row& r) {
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(name, -24)
                   .arg(r.mutants, 8)
                   .arg(r.refused, 8)
                   .arg(r.played, 8)
                   .arg(r.menus, 8)
                   .arg(r.restarts, 9)
                   .arg(r.hangs, 6);
    };
    for (const auto& [disc, row] : byDisc)
        line(QStringLiteral("disc ") + disc, row);
    for (const auto& [kind, row] : byKind)
        line(QStringLiteral("damage ") + kind, row);
    line(QStringLiteral("all"), all);
    out += QStringLiteral("longest step %1 ms, CPU of this process %2 s\n")
               .arg(longestStepMs)
               .arg(cpuSeconds, 0, 'f', 1);
    return out;
}

} // namespace kavelo::test
