#include "MprisSources.h"

#include "DvdEngine.h"
#include "DvdTime.h"
#include "FrmPlay.h"
#include "FrmSingle.h"
#include "SessionBus.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>

namespace kavelo {

namespace {

constexpr qint64 kMicro = 1000000;
// A position further than this from where playing on would have brought it was a seek.
constexpr qint64 kJumpUs = 1500000;

QString statusText(DvdPlayState state) {
    switch (state) {
    case DvdPlayState::Playing:
        return QStringLiteral("Playing");
    case DvdPlayState::Paused:
        return QStringLiteral("Paused");
    case DvdPlayState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

// Runs an engine step; a refusal is passed over with a debug line.
template <class F> void quietly(const char* what, F&& step) noexcept {
    try {
        step();
    } catch (const std::exception& e) {
        qCDebug(lcDesktop) << "media controls:" << what << "refused:" << e.what();
    } catch (...) {
        qCDebug(lcDesktop) << "media controls:" << what << "refused";
    }
}

} // namespace

DiscMprisSource::DiscMprisSource(std::function<FrmPlay*()> window, std::function<void()> raise)
    : m_window(std::move(window)), m_raise(std::move(raise)) {}

MprisState DiscMprisSource::state() noexcept {
    MprisState s;
    FrmPlay* w = m_window ? m_window() : nullptr;
    s.canPlay = w != nullptr;
    s.canPause = w != nullptr;
    if (!w)
        return s;
    const DvdSnapshot& now = w->engine().snapshot();
    s.status = statusText(now.state);
    s.volume = now.volume;
    s.jumps = now.jumps;
    // A disc menu plays no title: no track, nothing to seek or step through.
    if (now.state == DvdPlayState::Stopped || now.inMenu || now.title <= 0)
        return s;
    s.trackId = QStringLiteral("/org/example/kavelo/title/%1").arg(now.title);
    s.title = QStringLiteral("Title %1, Chapter %2").arg(now.title).arg(now.chapter);
    s.lengthUs = std::llround(std::max(0.0, now.length) * kMicro);
    s.canSeek = true;
    s.canGoNext = now.chapter < now.chapters;
    s.canGoPrevious = now.chapter > 1;
    return s;
}

qint64 DiscMprisSource::positionUs() noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (!w)
        return 0;
    const DvdSnapshot& now = w->engine().snapshot();
    if (now.state == DvdPlayState::Stopped || now.inMenu || now.title <= 0)
        return 0;
    return std::llround(std::max(0.0, now.seconds) * kMicro);
}

void DiscMprisSource::play() noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (!w)
        return;
    // The window's own commands: Play after a stop shows what it always shows without a disc.
    switch (w->engine().PlayState()) {
    case DvdPlayState::Playing:
        break;
    case DvdPlayState::Paused:
        w->commands().dResume();
        break;
    case DvdPlayState::Stopped:
        w->commands().dPlay();
        break;
    }
}

void DiscMprisSource::pause() noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (w && w->engine().PlayState() == DvdPlayState::Playing)
        w->commands().dPause();
}

void DiscMprisSource::playPause() noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (w && w->engine().PlayState() == DvdPlayState::Playing)
        pause();
    else
        play();
}

void DiscMprisSource::stop() noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (w && w->engine().PlayState() != DvdPlayState::Stopped)
        w->commands().dStop();
}

void DiscMprisSource::next() noexcept {
    if (FrmPlay* w = m_window ? m_window() : nullptr)
        quietly("next chapter", [&] { w->engine().PlayNextChapter(); });
}

void DiscMprisSource::previous() noexcept {
    if (FrmPlay* w = m_window ? m_window() : nullptr)
        quietly("previous chapter", [&] { w->engine().PlayPrevChapter(); });
}

void DiscMprisSource::seekTo(qint64 positionUs) noexcept {
    FrmPlay* w = m_window ? m_window() : nullptr;
    if (!w)
        return;
    quietly("seek", [&] {
        const double fps = w->engine().snapshot().fps > 0 ? w->engine().snapshot().fps : 25;
        w->engine().PlayAtTime(dvdTimeText(static_cast<double>(positionUs) / kMicro, fps));
    });
}

void DiscMprisSource::setVolume(double volume) noexcept {
    if (FrmPlay* w = m_window ? m_window() : nullptr)
        quietly("volume", [&] { w->engine().SetVolume(volume); });
}

void DiscMprisSource::raise() noexcept {
    if (m_raise)
        quietly("raise", m_raise);
}

MediaMprisSource::MediaMprisSource(FrmSingle& window) : m_window(&window) {}

MprisState MediaMprisSource::state() noexcept {
    MprisState s;
    const QString name = m_window ? m_window->openFileName() : QString();
    if (name.isEmpty()) {
        m_lastPosition = -1;
        return s;
    }
    const QString mode = m_window->mode();
    if (mode == QLatin1String("playing"))
        s.status = QStringLiteral("Playing");
    else if (mode == QLatin1String("paused"))
        s.status = QStringLiteral("Paused");
    s.canPlay = true;
    s.canPause = true;
    s.trackId = QStringLiteral("/org/example/kavelo/media/1");
    s.title = QFileInfo(name).fileName();
    s.url = QUrl::fromLocalFile(name).toString();
    const auto times = m_window->times();
    if (times) {
        s.lengthUs = times->lengthMs * 1000;
        s.canSeek = times->lengthMs > 0 && times->lengthFrames > 0;
        // Playing on moves the position by the time that passed; anything else was a jump.
        const qint64 position = times->positionMs * 1000;
        if (m_lastPosition >= 0) {
            const qint64 expected =
                m_lastPosition +
                (s.status == QLatin1String("Playing") ? m_lastClock.elapsed() * 1000 : 0);
            if (std::llabs(position - expected) > kJumpUs)
                ++m_jumps;
        }
        m_lastPosition = position;
        m_lastClock.start();
    }
    s.jumps = m_jumps;
    return s;
}

qint64 MediaMprisSource::positionUs() noexcept {
    if (!m_window)
        return 0;
    const auto times = m_window->times();
    return times ? times->positionMs * 1000 : 0;
}

void MediaMprisSource::play() noexcept {
    if (!m_window || m_window->openFileName().isEmpty())
        return;
    const QString mode = m_window->mode();
    if (mode == QLatin1String("paused"))
        m_window->cmdResume_Click();
    else if (mode != QLatin1String("playing"))
        m_window->cmdPlay_Click();
}

void MediaMprisSource::pause() noexcept {
    if (m_window && m_window->mode() == QLatin1String("playing"))
        m_window->cmdPause_Click();
}

void MediaMprisSource::playPause() noexcept {
    if (m_window && m_window->mode() == QLatin1String("playing"))
        pause();
    else
        play();
}

void MediaMprisSource::stop() noexcept {
    if (m_window && !m_window->openFileName().isEmpty())
        m_window->cmdStop_Click();
}

void MediaMprisSource::seekTo(qint64 positionUs) noexcept {
    if (!m_window)
        return;
    const auto times = m_window->times();
    if (!times || times->lengthMs <= 0)
        return;
    // The window seeks by frame, as its slider does.
    const double frame = static_cast<double>(positionUs) / 1000.0 *
                         static_cast<double>(times->lengthFrames) /
                         static_cast<double>(times->lengthMs);
    quietly("seek", [&] {
        m_window->module().mSeekPlay(static_cast<std::int32_t>(std::llround(frame)));
        ++m_jumps;
        m_lastPosition = -1;
    });
}

void MediaMprisSource::raise() noexcept {
    if (!m_window)
        return;
    quietly("raise", [&] {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    });
}

} // namespace kavelo
