#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <optional>

class QDBusPendingCallWatcher;

namespace kavelo {

// Keeps the session's screensaver and idle blanking off through org.freedesktop.ScreenSaver
// while asked to. At most one inhibition is held at a time; it is released when no longer
// wanted and when this object goes. Without a bus, or when the bus has no screensaver,
// nothing happens and nothing is shown (a kavelo.desktop debug line says why).
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

private:
    void update();
    void inhibit();
    void onInhibitReply(QDBusPendingCallWatcher* call);
    void unInhibit(bool wait);

    std::optional<QDBusConnection> m_bus;
    bool m_wanted = false;
    bool m_closing = false;
    bool m_refused = false; // the last request failed; not asked again until wanted anew
    std::optional<std::uint32_t> m_cookie;
    QPointer<QDBusPendingCallWatcher> m_pending;
};

} // namespace kavelo
