#include "DesktopSession.h"

#include "FrmPlay.h"
#include "FrmSingle.h"
#include "KaveloApp.h"
#include "Mpris.h"
#include "ScreenSaver.h"
#include "SessionBus.h"

namespace kavelo {

DesktopSession::DesktopSession(KaveloApp& app, std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent), m_app(app), m_screenSaver(std::make_unique<ScreenSaverInhibitor>(bus)) {
    if (bus) {
        MprisHost host;
        host.mainWindow = [this] { return m_app.existingMainWindow(); };
        host.raise = [this] { m_app.showMainWindow(); };
        host.quit = [this] { m_app.exitNow(); };
        m_mpris = std::make_unique<Mpris>(*bus, std::move(host));
        m_timer.setInterval(kTickMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.start();
    }
}

DesktopSession::~DesktopSession() {
    m_timer.stop();
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

void DesktopSession::tick() noexcept {
    m_screenSaver->setInhibited(videoPlaying());
    if (m_mpris)
        m_mpris->refresh();
}

} // namespace kavelo
