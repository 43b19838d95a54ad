#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace kavelo {

class MpvDriver;
class TitlePlayback;

// Fast scans through the loaded title. Forwards, libmpv plays faster. Backwards, which libmpv
// cannot do on a DVD, the scan is a chain of keyframe seeks: each picture shown starts the next
// step. A step aims a little before the picture on screen, so that it lands on the keyframe
// before it, and waits until the scan's clock has reached that point; when the seeks fall
// behind the clock, a step goes straight to where the clock is, skipping keyframes to keep the
// speed. A DVD lands a keyframe seek on the start of the next video unit after the aim, so a
// step that shows the same picture again aims twice as far back from then on.
class FastScan {
public:
    // `atStart` runs when a backward scan has come back to the title's start and plays on.
    FastScan(MpvDriver& driver, TitlePlayback& title, std::function<void()> atStart);

    // Throw EngineError for a speed libmpv cannot play.
    void startForwards(double speed);
    void startBackwards(double speed);
    // Ends either scan: libmpv plays at its own speed again.
    void stop();
    double speed() const { return m_speed; }

    // libmpv showed a picture during a backward scan: the next step is due.
    void pictureShown();

private:
    double clockTarget() const;
    void step();

    MpvDriver& m_driver;
    TitlePlayback& m_title;
    std::function<void()> m_atStart;
    bool m_backwards = false;
    double m_speed = 16;
    double m_origin = 0;
    QElapsedTimer m_clock;
    double m_shown = 0;   // where the picture on screen lies
    double m_backOff = 0; // how far before it the next step aims
    QTimer m_timer;
};

// Whether libmpv can play at `speed` (a positive, finite speed up to its most).
bool validScanSpeed(double speed);

} // namespace kavelo
