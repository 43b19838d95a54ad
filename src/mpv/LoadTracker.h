#pragma once

#include "MpvSession.h"

#include <QByteArray>

#include <cstdint>

namespace kavelo::mpv {

// Follows one `loadfile` of a session from the request to its first picture: which playlist
// entry it became, whether it loaded or ended, and how many pictures libmpv has shown since.
// The session's event handler hands every event to observe(); the waits drain the session's
// events until they are answered or their time is up.
class LoadTracker {
public:
    enum class Outcome {
        Done,     // what was waited for happened
        Ended,    // the entry ended first: it could not be played
        Gone,     // the player shut down first
        TimedOut, // neither within the time
    };

    explicit LoadTracker(Session& session) : m_session(session) {}

    // Replaces what plays with `url`; libmpv's code (negative when it refused the request).
    int start(const QByteArray& url, const QByteArray& options);
    // Every event of the session, in order.
    void observe(const Event& event);

    // Until the entry has loaded (its streams are known) or ended.
    Outcome waitLoaded(qint64 ms);
    // Until libmpv shows a picture after the ones counted so far, or the entry ends.
    Outcome waitPicture(qint64 ms);

    bool ended() const { return m_ended; }
    bool gone() const { return m_gone; }
    // libmpv's error code when the entry ended by an error, else 0.
    int endError() const { return m_endError; }
    // Pictures shown after a load or a seek since the session started.
    int pictures() const { return m_pictures; }

private:
    Session& m_session;
    std::int64_t m_entry = -1;
    bool m_awaitStart = false; // the entry's id comes with its START_FILE event
    bool m_loaded = false;
    bool m_ended = false;
    bool m_gone = false;
    int m_endError = 0;
    int m_pictures = 0;
};

} // namespace kavelo::mpv
