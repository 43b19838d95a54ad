#include "FastScan.h"

#include "DvdEngine.h"
#include "MpvDriver.h"
#include "MpvSession.h"
#include "TitlePlayback.h"

#include <algorithm>
#include <cmath>

namespace kavelo {

namespace {

namespace prop = mpv::name;

constexpr int kStallMs = 400; // a backward step with no picture after this is redone
// First aim of a backward step before the picture: libmpv lands a keyframe seek on the first
// keyframe at or after its aim, and a DVD's groups of pictures last up to 0.6 s.
constexpr double kBackOff = 0.65;
constexpr double kMaxBackOff = 4.0; // the furthest a step aims before it
constexpr double kMaxSpeed = 100;   // the most libmpv accepts

} // namespace

bool validScanSpeed(double speed) {
    return std::isfinite(speed) && speed > 0 && speed <= kMaxSpeed;
}

FastScan::FastScan(MpvDriver& driver, TitlePlayback& title, std::function<void()> atStart)
    : m_driver(driver), m_title(title), m_atStart(std::move(atStart)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        try {
            step();
        } catch (const std::exception& e) {
            qCWarning(lcDvd) << "the backward scan stopped:" << e.what();
            m_timer.stop();
        }
    });
}

void FastScan::startForwards(double speed) {
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    m_driver.setDouble(prop::kSpeed, speed);
    // The sound already queued for the device would play out at the old speed first, and the
    // picture keeps time with it: a seek where the picture stands lets the scan start at once.
    if (m_title.loaded())
        m_driver.command({"seek", "0", "relative+exact"});
    m_driver.setFlag(prop::kPause, false);
    m_backwards = false;
    m_speed = speed;
}

void FastScan::startBackwards(double speed) {
    if (!validScanSpeed(speed))
        throw EngineError("no such speed");
    m_driver.setDouble(prop::kSpeed, 1.0);
    m_driver.setFlag(prop::kPause, true);
    m_backwards = true;
    m_speed = speed;
    m_origin = m_title.position();
    m_shown = m_origin;
    m_backOff = kBackOff;
    m_clock.start();
    m_title.setSeekPending(false);
    step();
}

void FastScan::stop() {
    m_timer.stop();
    if (!m_backwards && m_driver.running() && m_driver.session().setDouble(prop::kSpeed, 1.0) < 0)
        qCDebug(lcDvd) << "the speed stayed as the scan left it";
    m_backwards = false;
}

double FastScan::clockTarget() const {
    return m_origin - m_speed * static_cast<double>(m_clock.elapsed()) / 1000.0;
}

void FastScan::pictureShown() {
    if (!m_backwards)
        return;
    const double shown = m_driver.getDouble(prop::kTimePos).value_or(clockTarget());
    if (shown < m_shown - 0.01)
        m_shown = shown;
    else
        m_backOff = std::min(m_backOff * 2, kMaxBackOff);
    const double aim = m_shown - m_backOff;
    const double due = (m_origin - aim) / m_speed * 1000.0;
    const auto wait =
        static_cast<int>(std::clamp(due - static_cast<double>(m_clock.elapsed()), 0.0, 1000.0));
    m_timer.start(wait);
}

void FastScan::step() {
    if (!m_backwards || !m_title.loaded())
        return;
    const double target = std::min(clockTarget(), m_shown - m_backOff);
    TitleClock& clock = m_title.clock();
    if (target <= 0) {
        // Back at the start of the title: play on from there.
        m_timer.stop();
        m_backwards = false;
        clock.observe(0);
        m_title.setStopPoint();
        m_driver.command({"seek", "0", "absolute+exact"});
        m_driver.setFlag(prop::kPause, false);
        if (m_atStart)
            m_atStart();
        return;
    }
    m_title.setSeekPending(true);
    m_driver.command({"seek", QByteArray::number(target, 'f', 3), "absolute+keyframes"});
    // Should no picture come of it, the step is made again.
    m_timer.start(kStallMs);
}

} // namespace kavelo
