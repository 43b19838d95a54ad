#include "LoadTracker.h"

namespace kavelo::mpv {

int LoadTracker::start(const QByteArray& url, const QByteArray& options) {
    // Events of what played before must not be taken for this entry's.
    m_session.drain();
    m_entry = -1;
    m_awaitStart = true;
    m_loaded = false;
    m_ended = false;
    m_endError = 0;
    std::int64_t entry = -1;
    const int rc = m_session.loadFile(url, options, &entry);
    if (rc < 0) {
        m_awaitStart = false;
        m_ended = true;
        m_endError = rc;
        return rc;
    }
    if (entry >= 0) {
        m_entry = entry;
        m_awaitStart = false;
    }
    return rc;
}

void LoadTracker::observe(const Event& event) {
    switch (event.type) {
    case Event::Type::StartFile:
        if (m_awaitStart) {
            m_entry = event.entry;
            m_awaitStart = false;
        }
        break;
    case Event::Type::FileLoaded:
        if (!m_awaitStart && m_entry >= 0)
            m_loaded = true;
        break;
    case Event::Type::EndFile:
        if (!m_awaitStart && event.entry == m_entry) {
            m_ended = true;
            m_endError = event.failed ? event.error : 0;
        }
        break;
    case Event::Type::PlaybackRestart:
        ++m_pictures;
        break;
    case Event::Type::Shutdown:
        m_ended = true;
        m_gone = true;
        break;
    default:
        break;
    }
}

LoadTracker::Outcome LoadTracker::waitLoaded(qint64 ms) {
    m_session.waitUntil([this] { return m_loaded || m_ended; }, ms);
    if (m_ended)
        return m_gone ? Outcome::Gone : Outcome::Ended;
    return m_loaded ? Outcome::Done : Outcome::TimedOut;
}

LoadTracker::Outcome LoadTracker::waitPicture(qint64 ms) {
    const int before = m_pictures;
    m_session.waitUntil([this, before] { return m_pictures != before || m_ended; }, ms);
    if (m_ended)
        return m_gone ? Outcome::Gone : Outcome::Ended;
    return m_pictures != before ? Outcome::Done : Outcome::TimedOut;
}

} // namespace kavelo::mpv
