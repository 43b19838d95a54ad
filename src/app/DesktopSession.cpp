#include "DesktopSession.h"

#include "FrmPlay.h"
#include "FrmSingle.h"
#include "KaveloApp.h"
#include "Logging.h"
#include "Mpris.h"
#include "MprisSources.h"
#include "ScreenSaver.h"
#include "SessionBus.h"

namespace kavelo {

DesktopSession::DesktopSession(KaveloApp& app, std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent), m_app(app), m_bus(std::move(bus)),
      m_screenSaver(std::make_unique<ScreenSaverInhibitor>(m_bus)) {
    if (m_bus) {
        m_disc = std::make_unique<DiscMprisSource>([this] { return m_app.existingMainWindow(); },
                                                   [this] { m_app.showMainWindow(); });
        m_mpris =
            std::make_unique<Mpris>(*m_bus, QString::fromLatin1(Mpris::kService),
                                    QStringLiteral("Kavelo"), *m_disc, [this] { m_app.exitNow(); });
    }
    followMainWindow();
    // Without a bus the X server's own screen saver is still held off while a video plays.
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    m_timer.start();
}

DesktopSession::~DesktopSession() {
    m_timer.stop();
    m_mediaMpris.reset();
    m_mpris.reset();
    m_screenSaver.reset(); // releases the screensaver
}

bool DesktopSession::videoPlaying() const noexcept {
    if (FrmPlay* w = m_app.existingMainWindow()) {
        if (w->engine().snapshot().state == DvdPlayState::Playing)
            return true;
    }
    if (auto* media = qobject_cast<FrmSingle*>(m_app.multimedia().get()))
        return media->videoPlaying();
    return false;
}

void DesktopSession::followMainWindow() {
    FrmPlay* window = m_app.existingMainWindow();
    // The same window, or still none (a closed window's pointer has gone to none).
    if (window == m_mainWindow && m_following == (window != nullptr))
        return;
    disconnect(m_engineChanges);
    m_mainWindow = window;
    m_following = window != nullptr;
    if (window) {
        m_engineChanges = connect(&window->engine().events(), &DvdEngineEvents::snapshotChanged,
                                  this, [this] { discChanged(); });
    }
    discChanged(); // a new window, or none
}

void DesktopSession::discChanged() noexcept {
    m_screenSaver->setInhibited(videoPlaying());
    if (m_mpris)
        m_mpris->refresh();
}

void DesktopSession::followMediaWindow() {
    // A player while the window is open; a closed window has let go of its file.
    auto* window = qobject_cast<FrmSingle*>(m_app.multimedia().get());
    if (window && !window->isVisible())
        window = nullptr;
    // The same window, or still none (a deleted window's pointer has gone to none).
    if (window == m_mediaWindow && m_followingMedia == (window != nullptr))
        return;
    m_mediaMpris.reset();
    m_media.reset();
    m_mediaWindow = window;
    m_followingMedia = window != nullptr;
    if (!window || !m_bus)
        return;
    // A name of its own needs a connection of its own: both players live at the same path.
    const auto mediaBus = sessionBus(QStringLiteral("kavelo-media"));
    if (!mediaBus)
        return;
    m_media = std::make_unique<MediaMprisSource>(*window);
    m_mediaMpris = std::make_unique<Mpris>(*mediaBus, QString::fromLatin1(Mpris::kMediaService),
                                           QStringLiteral("Kavelo Multimedia Files"), *m_media,
                                           [this] { m_app.exitNow(); });
}

void DesktopSession::tick() noexcept {
    try {
        followMainWindow();
        followMediaWindow();
    } catch (...) {
        logging::noteAbsorbed();
    }
    // The media window has no announcements of its own: it is looked at on every tick.
    m_screenSaver->setInhibited(videoPlaying());
    if (m_mediaMpris)
        m_mediaMpris->refresh();
}

} // namespace kavelo
