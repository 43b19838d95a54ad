// Damaged copies of the menu disc, the film-shaped disc and the sample disc (their programs,
// buttons, navigation packs, subpictures and control files; scripts/make-disc-mutants.py --all)
// walked through the real engine in a real window: Play, keys and a click in the menus, the
// menu key, a title jump, the next chapter, Stop. The disc service may die on them; this
// process may not, and its window must answer after every step. (bench/ walks the same
// mutants in a child process it restarts, to count deaths rather than stop at the first.)
#include "MutantWalk.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>

using namespace kavelo::test;

namespace {

const QString kMutants = QStringLiteral(KAVELO_WALK_MUTANTS);

TEST(MutantWalk, NoDamagedDiscKillsFreezesOrSpinsThePlayer) {
    const std::vector<Mutant> mutants = listMutants(kMutants);
    ASSERT_GE(mutants.size(), 300u) << "the dvd_walk_mutants test makes them";
    QWidget window;
    window.setGeometry(0, 0, 384, 288);
    // A thread that spins does so for good; on a machine busy with other work, a damaged menu's
    // two seconds of reading can keep the window's thread ready to run for more than five, so
    // the test gives a spin twelve (bench/ keeps five, on a machine left to it).
    MutantWalk::Limits limits;
    limits.spinWindow = std::chrono::seconds(12);
    MutantWalk walk(window, limits);
    walk.engine().widget()->setGeometry(0, 0, 384, 288);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    WalkTally tally;
    for (const Mutant& mutant : mutants) {
        const WalkOutcome outcome = walk.walk(kMutants + QLatin1Char('/') + mutant.name,
                                              buttonsOf(mutant.disc), mutant.number / 5);
        tally.add(mutant, outcome);
        EXPECT_TRUE(outcome.hang.isEmpty() && outcome.faults.isEmpty())
            << mutant.name.toStdString() << ": " << outcome.hang.toStdString() << " "
            << outcome.faults.join(", ").toStdString()
            << "\n  steps: " << outcome.trail.join(", ").toStdString()
            << "\n  log: " << outcome.warnings.join("\n    ").toStdString();
    }
    std::printf("%s", qPrintable(tally.report()));
    std::printf("this process lived through all %zu walks\n", mutants.size());
    // Some of each disc play: the damage is not all of the refusing kind.
    for (const auto& [disc, row] : tally.byDisc)
        EXPECT_GT(row.played, 0) << disc.toStdString();

    // The engine is whole afterwards: the undamaged menu disc shows its menu.
    walk.engine().SetDVDDirectory(QStringLiteral(KAVELO_MENU_DVD));
    walk.engine().Play();
    EXPECT_TRUE(walk.engine().menuShowing());
}

} // namespace
