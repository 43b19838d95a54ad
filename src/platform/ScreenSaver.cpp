#include "ScreenSaver.h"

#include "SessionBus.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace kavelo {

namespace {

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(ScreenSaverInhibitor::kService),
                                          QString::fromLatin1(ScreenSaverInhibitor::kPath),
                                          QString::fromLatin1(ScreenSaverInhibitor::kInterface),
                                          QString::fromLatin1(method));
}
} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(std::optional<QDBusConnection> bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    m_wanted = false;
    m_closing = true;
    if (m_pending) {
        // The answer decides whether there is something to release.
        m_pending->waitForFinished();
        if (m_pending)
            onInhibitReply(m_pending);
    }
    if (m_cookie)
        unInhibit(true);
    m_x.setSuspended(false);
}

void ScreenSaverInhibitor::setInhibited(bool on) noexcept {
    if (on == m_wanted)
        return;
    m_wanted = on;
    m_x.setSuspended(on);
    if (!on)
        m_refused = false;
    try {
        update();
    } catch (const std::exception& e) {
        qCDebug(lcDesktop) << "screensaver:" << e.what();
    }
}

void ScreenSaverInhibitor::update() {
    if (!m_bus || m_pending)
        return; // a request on its way is settled when its answer comes
    if (m_wanted && !m_cookie && !m_refused)
        inhibit();
    else if (!m_wanted && m_cookie)
        unInhibit(false);
}

void ScreenSaverInhibitor::inhibit() {
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QStringLiteral("Kavelo") << QStringLiteral("Playing a video");
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, kCallTimeoutMs), this);
    m_pending = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { onInhibitReply(w); });
}

void ScreenSaverInhibitor::onInhibitReply(QDBusPendingCallWatcher* call) {
    if (call != m_pending)
        return;
    m_pending = nullptr;
    call->deleteLater();
    const QDBusPendingReply<std::uint32_t> reply = *call;
    if (reply.isError()) {
        m_refused = true;
        qCDebug(lcDesktop) << "screensaver not inhibited:" << reply.error().message();
        return;
    }
    m_cookie = reply.value();
    qCDebug(lcDesktop) << "screensaver inhibited, cookie" << *m_cookie;
    if (!m_closing)
        update(); // no longer wanted meanwhile: give it back
}

void ScreenSaverInhibitor::unInhibit(bool wait) {
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << *m_cookie;
    m_cookie.reset();
    if (wait) {
        // Going away: make sure the release has left before the program ends.
        const QDBusMessage reply = m_bus->call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage)
            qCDebug(lcDesktop) << "screensaver release failed:" << reply.errorMessage();
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            qCDebug(lcDesktop) << "screensaver release failed:" << w->error().message();
    });
}

} // namespace kavelo
