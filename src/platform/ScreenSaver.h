#pragma once

#include "XScreenSaver.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <optional>

class QDBusPendingCallWatcher;

namespace kavelo {

// Keeps the session's screensaver and idle blanking off through org.freedesktop.ScreenSaver
// while asked to, and the X server's own screen saver and DPMS with it (desktops without that
// service, plain window managers). At most one inhibition is held at a time; both are
// released together when no longer wanted and when this object goes. Without a bus, or when
// the bus has no screensaver, the X server's is still held; where neither can be, nothing
// happens and nothing is shown (a kavelo.desktop debug line says why).
class ScreenSaverInhibitor final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.ScreenSaver";
    static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
    static constexpr const char* kInterface = "org.freedesktop.ScreenSaver";
    // How long a call to the screensaver may take before it counts as failed.
    static constexpr int kCallTimeoutMs = 2000;

    explicit ScreenSaverInhibitor(std::optional<QDBusConnection> bus, QObject* parent = nullptr);
    ~ScreenSaverInhibitor() override;

    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Asks for the screensaver to be kept off (true) or allowed again (false).
    void setInhibited(bool on) noexcept;
    bool wanted() const { return m_wanted; }
    // Whether an inhibition is held now.
    bool held() const { return m_cookie.has_value(); }
    // Whether the X server's screen saver is held off now.
    bool xSuspended() const { return m_x.suspended(); }

private:
    void update();
    void inhibit();
    void onInhibitReply(QDBusPendingCallWatcher* call);
    void unInhibit(bool wait);

    std::optional<QDBusConnection> m_bus;
    XScreenSaverSuspend m_x;
    bool m_wanted = false;
    bool m_closing = false;
    bool m_refused = false; // the last request failed; not asked again until wanted anew
    std::optional<std::uint32_t> m_cookie;
    QPointer<QDBusPendingCallWatcher> m_pending;
};

} // namespace kavelo
