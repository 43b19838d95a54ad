#pragma once

#include "DvdStructure.h"
#include "TitleClock.h"
#include "TitleSubtitles.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace kavelo {

class MpvDriver;

// One title of a disc in libmpv, read from its sectors as one stream: opening it at a time and
// an angle, exact seeks, the title's cells and chapters, where libmpv is to stop (a cell's still,
// the title's end), and the holding of cell stills. What the title's position means for the engine
// (a still held, the end reached) it tells through the values observe() returns; it changes no
// engine state.
class TitlePlayback {
public:
    explicit TitlePlayback(MpvDriver& driver);

    // Opens `title` of the disc at `place`, `start` seconds in, at `angle`, and waits for its
    // first picture within `budgetMs`. Throws EngineError when it cannot; nothing is loaded then.
    void load(const QString& place, DvdStructure structure, int title, double start, int angle,
              qint64 budgetMs);
    // Nothing is loaded any more (the player stopped, the disc went).
    void unload();
    bool loaded() const { return m_loaded; }

    // Seeks to `seconds` of the loaded title (clamped into it) and waits up to a second for the
    // picture there.
    void seek(double seconds);
    // A seek was asked of libmpv and its picture has not come yet.
    bool seekPending() const { return m_seekPending; }
    void setSeekPending(bool pending) {
        m_seekPending = pending;
        m_toldAgrees = m_toldAgrees && !pending;
    }
    // libmpv showed the picture of a seek or a load.
    void pictureShown();

    enum class Reached { Nothing, Still, End };
    // Takes libmpv's time into the title clock: `told`, the time a position event carried, once
    // an event has agreed with libmpv since the last load, seek or command and while it moves the
    // clock on; else read afresh, since an event handed on after a seek may carry a picture from
    // before it. With `watchStops`, says when the picture is on a still's or the title's last
    // pictures.
    Reached observe(bool watchStops, std::optional<double> told = std::nullopt);
    // libmpv stopped at its end: true when the title can go no further (its end is reached);
    // else libmpv plays on to the next stop.
    bool atLibmpvEnd();

    // A cell still is held: libmpv pauses and, unless it is for ever, the still ends after its
    // time through `onStillOver`.
    void holdStill();
    // The still is over (its time ran out, or the viewer went on): libmpv plays on.
    void endStill();
    // The still's time no longer runs (the viewer paused or scans); it stays remembered.
    void stopStillTime() { m_stillTimer.stop(); }
    // No still is held or remembered (a seek, a load, a scan backwards).
    void forgetStill();
    void onStillOver(std::function<void()> handler) { m_stillOver = std::move(handler); }

    // libmpv is told where to stop next (a stop passed already, as when a still is cut short).
    void setStopPoint();

    // The loaded title; these need loaded().
    const DvdTitleInfo& info() const;
    const QString& place() const { return m_place; }
    const DvdStructure& structure() const { return m_structure; }
    int title() const { return m_title; }
    int angle() const { return m_angle; }
    double fps() const { return m_fps; }
    // libmpv's address of the title's own stream.
    const QByteArray& streamAddress() const { return m_address; }
    // libmpv's track of the title's audio stream `stream` (0-based as the disc counts them),
    // found by its MPEG stream id; nullopt when the title or libmpv has no such stream.
    std::optional<std::int64_t> audioTrack(int stream) const;
    // Seconds into the title of the picture on screen, as of the last observe().
    double position() const;
    // The 1-based chapter at `seconds`.
    int chapterAt(double seconds) const;
    TitleClock& clock() { return m_clock; }
    // The subtitles Kavelo shows over the title.
    TitleSubtitles& subtitles() { return m_subtitles; }

private:
    double nextStop();

    MpvDriver& m_driver;
    bool m_loaded = false;
    QString m_place;
    DvdStructure m_structure;
    int m_title = 0;
    int m_angle = 1;
    QByteArray m_address; // libmpv's address of that stream
    double m_fps = 25;
    bool m_seekPending = false;
    bool m_toldAgrees = false; // position events' times may be taken as they come
    // The title's time from its cell table, and where libmpv is to stop next: the end of a cell
    // with a still, or the title's end.
    TitleClock m_clock;
    std::optional<TitleClock::Still> m_stopStill;
    std::optional<std::size_t> m_stopCell;  // the cell playing when the stop was set
    std::optional<std::size_t> m_heldStill; // the cell whose still was held last
    double m_stopSet = 0;                   // the end libmpv was given last, in its time
    QTimer m_stillTimer;
    std::function<void()> m_stillOver;
    TitleSubtitles m_subtitles;
};

} // namespace kavelo
