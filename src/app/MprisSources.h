#pragma once

#include "Mpris.h"

#include <QElapsedTimer>
#include <QPointer>

#include <functional>

namespace kavelo {

class FrmPlay;
class FrmSingle;

// The main window's disc as the media controls see it. The controls run the engine directly:
// a control that cannot be carried out is passed over with a debug line and opens no window
// (media keys arrive while the user looks elsewhere).
class DiscMprisSource final : public MprisSource {
public:
    // `window` gives the main window, none after it was closed; `raise` shows it.
    DiscMprisSource(std::function<FrmPlay*()> window, std::function<void()> raise);

    MprisState state() noexcept override;
    qint64 positionUs() noexcept override;
    void play() noexcept override;
    void pause() noexcept override;
    void playPause() noexcept override;
    void stop() noexcept override;
    void next() noexcept override;
    void previous() noexcept override;
    void seekTo(qint64 positionUs) noexcept override;
    void setVolume(double volume) noexcept override;
    void raise() noexcept override;

private:
    std::function<FrmPlay*()> m_window;
    std::function<void()> m_raise;
};

// The media file window's file as the media controls see it: the window's own buttons' steps
// (Play, Pause, Resume, Stop) and its slider's seek. Once the window has gone it is stopped.
class MediaMprisSource final : public MprisSource {
public:
    explicit MediaMprisSource(FrmSingle& window);

    MprisState state() noexcept override;
    qint64 positionUs() noexcept override;
    void play() noexcept override;
    void pause() noexcept override;
    void playPause() noexcept override;
    void stop() noexcept override;
    void next() noexcept override {}
    void previous() noexcept override {}
    void seekTo(qint64 positionUs) noexcept override;
    void setVolume(double) noexcept override {} // the media commands have no volume
    void raise() noexcept override;

private:
    QPointer<FrmSingle> m_window; // none once the window has gone
    // A position away from where playing on leads was a seek (the window's slider too).
    quint64 m_jumps = 0;
    qint64 m_lastPosition = -1;
    QElapsedTimer m_lastClock;
};

} // namespace kavelo
