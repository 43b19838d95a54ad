#include "DvdPlayback.h"
#include "LoadTracker.h"
#include "MpvSession.h"

#include <QTimer>

namespace kavelo {

using mpv::Event;

// ---- libmpv's events: the picture moving on, a still or the title's end reached, a disc gone --

void DvdPlayback::handleEvent(const Event& event) {
    switch (event.type) {
    case Event::Type::EndFile:
        // The entry playing now ended under the title: the disc went away or could not be read.
        if (m_driver.loads().ended() && titleLoaded(m_state)) {
            if (event.failed)
                qCWarning(lcDvd) << "the title ended with an error:"
                                 << mpv::Session::errorText(event.error);
            discGone("the title ended");
        }
        break;
    case Event::Type::PlaybackRestart:
        m_title.pictureShown();
        if (m_state == EngineState::ScanBackwards)
            m_scan.pictureShown();
        break;
    case Event::Type::PropertyChange:
        if (!event.value)
            break;
        if (event.observer == kObserveTimePos) {
            onPosition(event.value);
        } else if (event.observer == kObservePause && *event.value != 0) {
            if (m_state == EngineState::Menu)
                QTimer::singleShot(0, this, [this] {
                    if (m_state == EngineState::Menu)
                        m_program.pictureHeld();
                });
        } else if (event.observer == kObserveEof && *event.value != 0) {
            // A menu piece's end goes to the disc's program; a title's end is the clock's.
            if (m_state == EngineState::Menu)
                QTimer::singleShot(0, this, [this] {
                    if (m_state == EngineState::Menu)
                        m_program.pieceEnded();
                });
            else
                onEndReached();
        }
        break;
    case Event::Type::Shutdown:
        enter(EngineState::Idle, "libmpv shut down");
        break;
    case Event::Type::StartFile:
    case Event::Type::FileLoaded:
    case Event::Type::Other:
        break;
    }
}

// The disc was taken out or its files cut short under the title: it is gone, and the commands
// that need it fail instead of acting on a frozen picture.
void DvdPlayback::discGone(const char* why) {
    if (!titleLoaded(m_state))
        return;
    qCWarning(lcDvd) << "the disc cannot be read any more:" << why;
    enter(EngineState::Idle, why);
}

// The picture on screen moved on: the title clock follows it, and a still or the title's end
// that it reaches is held.
void DvdPlayback::onPosition(std::optional<double> told) {
    if (!titleLoaded(m_state))
        return;
    // While a step of a backward scan seeks, libmpv answers with the step's aim, not with a
    // picture: the time stays on the picture shown until the step's own shows.
    if (m_state == EngineState::ScanBackwards && m_title.seekPending())
        return;
    const bool watch = m_state == EngineState::Playing || m_state == EngineState::Paused ||
                       m_state == EngineState::ScanForwards;
    // A time told while the title plays on; paused or scanning back, libmpv is asked.
    if (m_state != EngineState::Playing && m_state != EngineState::ScanForwards)
        told.reset();
    try {
        switch (m_title.observe(watch, told)) {
        case TitlePlayback::Reached::Still:
            enter(EngineState::Still, "a cell's still");
            return;
        case TitlePlayback::Reached::End:
            enter(EngineState::TitleEnd, "the title's last picture");
            return;
        case TitlePlayback::Reached::Nothing:
            break;
        }
    } catch (const std::exception& e) {
        qCWarning(lcDvd) << "the title's stop could not be set:" << e.what();
    }
    publish();
}

// libmpv stopped at its `end`: the title's end, or a stop the clock has moved since (then it
// plays on).
void DvdPlayback::onEndReached() {
    if (!titleLoaded(m_state))
        return;
    onPosition();
    if (m_state == EngineState::ScanForwards)
        enter(EngineState::Playing, "the scan reached the end");
    if (m_state != EngineState::Playing && m_state != EngineState::Paused)
        return;
    try {
        if (m_title.atLibmpvEnd())
            enter(EngineState::TitleEnd, "libmpv can go no further");
    } catch (const std::exception& e) {
        qCWarning(lcDvd) << "the title could not play on:" << e.what();
    }
}

void DvdPlayback::readFailed(const QByteArray& address) {
    // A title read before the present one may still fail while it closes.
    if (titleLoaded(m_state) && address == m_title.streamAddress())
        discGone("the title's sectors cannot be read");
}

} // namespace kavelo
