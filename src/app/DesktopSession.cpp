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
        if (w->engine().PlayState() == DvdPlayState::Playing)
            return true;
    }
    if (auto* media = qobject_cast<FrmSingle*>(m_app.multimedia().get()))
        return media->videoPlaying();
    return false;
}

void DesktopSession::followMediaWindow() {
    auto* window = qobject_cast<FrmSingle*>(m_app.multimedia().get());
    if (window == m_mediaWindow && (m_mediaMpris || !window))
        return;
    m_mediaMpris.reset();
    m_media.reset();
    m_mediaWindow = window;
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
    m_screenSaver->setInhibited(videoPlaying());
    if (m_mpris)
        m_mpris->refresh();
    try {
        followMediaWindow();
    } catch (...) {
        logging::noteAbsorbed();
    }
    if (m_mediaMpris)
        m_mediaMpris->refresh();
}

} // namespace kavelo
