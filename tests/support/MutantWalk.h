#pragma once

#include "LogCapture.h"
#include "MpvDvdEngine.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kavelo::test {

// One damaged disc as the mutant generator lists it.
struct Mutant {
    QString name;   // its folder under the mutants' folder
    QString disc;   // the disc it was made from
    QString kind;   // the kind of damage
    int number = 0; // among the mutants of its disc
};

// The mutants listed in `folder`/MUTANTS.
std::vector<Mutant> listMutants(const QString& folder);
// Points on the buttons of the test disc `disc` ("menu", "film"; none for the others).
std::vector<QPoint> buttonsOf(const QString& disc);

// What one walk through a damaged disc came to.
struct WalkOutcome {
    bool refused = false; // SetDVDDirectory or Play failed with the usual error
    bool played = false;  // a title or a menu played
    bool menu = false;    // a menu of the disc showed at some point
    int serviceRestarts = 0;
    // Empty when the window answered throughout; else what froze or spun, and where.
    QString hang;
    QStringList faults;   // anything raised other than the usual error
    QStringList trail;    // each step and where it left the engine ("Enter: T1", "Play: menu")
    QStringList warnings; // what Kavelo logged meanwhile
    qint64 longestStepMs = 0;
    double cpuSeconds = 0; // this process's own, over the walk
    qint64 wallMs = 0;
};

// Walks damaged discs through the real DVD engine as a viewer would: set the place and Play;
// in a menu the arrow keys, Enter, a click on a button; the menu key, a title of the disc's
// own choosing, the next chapter; Stop. After every step the window's event loop must answer a
// queued call within a second, no step may take longer than `stepLimit`, and this process may
// not keep a core busy (running or ready to run, whatever the machine's load) for five seconds. A
// step that never returns ends the process after `freezeLimit` with the mutant and the step on
// standard error.
class MutantWalk {
public:
    struct Limits {
        std::chrono::milliseconds answer{1000};
        std::chrono::milliseconds stepLimit{8000};
        std::chrono::milliseconds freezeLimit{60000};
        std::chrono::milliseconds spinWindow{5000};
    };

    // `window` holds the engine's video.
    explicit MutantWalk(QWidget& window, Limits limits);
    MutantWalk(QWidget& window) : MutantWalk(window, Limits()) {}
    ~MutantWalk();
    MutantWalk(const MutantWalk&) = delete;
    MutantWalk& operator=(const MutantWalk&) = delete;

    // Walks the disc at `place`. `buttons` are points on the buttons of the disc the mutant
    // came from (in the 720 x 576 frame); `variant` picks the button the keys choose and the
    // one clicked.
    WalkOutcome walk(const QString& place, const std::vector<QPoint>& buttons, int variant);
    MpvDvdEngine& engine() { return *m_engine; }

private:
    bool step(const char* what, const std::function<void()>& run);
    bool answers();
    bool inMenu();
    QPoint onWidget(QPoint frame) const;
    void watch();

    QWidget& m_window;
    Limits m_limits;
    std::unique_ptr<MpvDvdEngine> m_engine;
    LogCapture m_log;

    WalkOutcome m_now;
    QString m_place;

    // The watchdog: the step running and when it began (ms of the steady clock, 0 for none).
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_ending = false;
    std::string m_stepName;
    std::atomic<qint64> m_stepStart{0};
    QString m_spinning; // the thread that kept a core busy, empty when none did
    std::thread m_watchdog;
};

// Counts over many walks, by disc and kind of damage.
struct WalkTally {
    struct Row {
        int mutants = 0, refused = 0, played = 0, menus = 0, restarts = 0, hangs = 0;
    };
    std::map<QString, Row> byDisc, byKind;
    Row all;
    QStringList hangs, faults;
    qint64 longestStepMs = 0;
    double cpuSeconds = 0;

    void add(const Mutant& mutant, const WalkOutcome& outcome);
    // The table, one line per disc and kind and one for all.
    QString report() const;
};

} // namespace kavelo::test
