// The mutant walk over every damaged disc (scripts/make-disc-mutants.py --all): each is walked
// through the real engine in a real window (Play, keys and a click in the menus, the menu key, a
// title jump, the next chapter, Stop) and the counts are printed by disc and kind of damage.
//
//   kavelo_mutant_walk_bench MUTANTS
//
// The walk runs in a child process (this program with --child): should the player die on a
// mutant, the death is counted and a new child goes on from the next one.
#include "MutantWalk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>
#include <QWidget>

#include <cstdio>

using namespace kavelo::test;

namespace {

// Walks the mutants from `from` on, a line on standard output before and after each.
int child(const QString& folder, int from) {
    const std::vector<Mutant> mutants = listMutants(folder);
    QWidget window;
    window.setGeometry(0, 0, 384, 288);
    MutantWalk walk(window);
    walk.engine().widget()->setGeometry(0, 0, 384, 288);
    window.show();
    QTextStream out(stdout);
    for (std::size_t i = static_cast<std::size_t>(from); i < mutants.size(); ++i) {
        out << "start\t" << i << Qt::endl;
        const WalkOutcome o = walk.walk(folder + QLatin1Char('/') + mutants[i].name,
                                        buttonsOf(mutants[i].disc), mutants[i].number / 5);
        if (qEnvironmentVariableIsSet("KAVELO_WALK_TRAIL"))
            std::fprintf(
                stderr, "%s: %s%s\n", qPrintable(mutants[i].name),
                qPrintable(o.trail.join(QStringLiteral(", "))),
                qPrintable(o.hang.isEmpty() ? QString() : QStringLiteral(" HANG ") + o.hang));
        out << "done\t" << i << '\t' << int(o.refused) << '\t' << int(o.played) << '\t'
            << int(o.menu) << '\t' << o.serviceRestarts << '\t' << o.longestStepMs << '\t'
            << o.cpuSeconds << '\t' << o.wallMs << '\t' << o.hang << '\t'
            << o.faults.join(QStringLiteral("; ")) << Qt::endl;
    }
    return 0;
}

int supervise(const QString& folder, const QString& self) {
    const std::vector<Mutant> mutants = listMutants(folder);
    if (mutants.empty()) {
        std::fprintf(stderr, "no mutants listed in %s/MUTANTS\n", qPrintable(folder));
        return 2;
    }
    WalkTally tally;
    QStringList deaths;
    QElapsedTimer clock;
    clock.start();
    int next = 0;
    while (next < static_cast<int>(mutants.size())) {
        QProcess walker;
        walker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        walker.start(self, {QStringLiteral("--child"), folder, QString::number(next)});
        int started = -1;
        QByteArray pending;
        const auto readLines = [&] {
            pending += walker.readAllStandardOutput();
            int end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QStringList w = QString::fromUtf8(pending.left(end)).split(QLatin1Char('\t'));
                pending.remove(0, end + 1);
                if (w.size() == 2 && w[0] == QLatin1String("start")) {
                    started = w[1].toInt();
                } else if (w.size() == 11 && w[0] == QLatin1String("done")) {
                    const int i = w[1].toInt();
                    WalkOutcome o;
                    o.refused = w[2] == QLatin1String("1");
                    o.played = w[3] == QLatin1String("1");
                    o.menu = w[4] == QLatin1String("1");
                    o.serviceRestarts = w[5].toInt();
                    o.longestStepMs = w[6].toLongLong();
                    o.cpuSeconds = w[7].toDouble();
                    o.wallMs = w[8].toLongLong();
                    o.hang = w[9];
                    if (!w[10].isEmpty())
                        o.faults << w[10];
                    tally.add(mutants[static_cast<std::size_t>(i)], o);
                    next = i + 1;
                    started = -1;
                }
            }
        };
        while (!walker.waitForFinished(200))
            readLines();
        readLines();
        if (started >= 0) {
            // The player died (or froze and ended itself) on this mutant.
            const Mutant& m = mutants[static_cast<std::size_t>(started)];
            deaths << QStringLiteral("%1 (%2, exit %3)")
                          .arg(m.name, walker.exitStatus() == QProcess::CrashExit
                                           ? QStringLiteral("crashed")
                                           : QStringLiteral("ended"))
                          .arg(walker.exitCode());
            next = started + 1;
        } else if (next < static_cast<int>(mutants.size())) {
            std::fprintf(stderr, "the walker ended before it began a mutant\n");
            return 1;
        }
    }
    std::printf("%s", qPrintable(tally.report()));
    std::printf("Kavelo deaths %lld, hangs %d, faults %lld, walk %.1f s\n",
                static_cast<long long>(deaths.size()), tally.all.hangs,
                static_cast<long long>(tally.faults.size()),
                static_cast<double>(clock.elapsed()) / 1000);
    for (const QString& line : deaths + tally.hangs + tally.faults)
        std::printf("  %s\n", qPrintable(line));
    return deaths.isEmpty() && tally.all.hangs == 0 && tally.faults.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        setlocale(LC_NUMERIC, "C");
        return child(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MUTANTS\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    return supervise(QString::fromLocal8Bit(argv[1]), QCoreApplication::applicationFilePath());
}
