#pragma once

#include <QDBusConnection>
#include <QLoggingCategory>

#include <optional>

namespace kavelo {

// Debug lines of Kavelo's place on the desktop: session bus, screensaver, media controls.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

// The desktop session's message bus: the one DBUS_SESSION_BUS_ADDRESS names, or else the
// user's bus socket in XDG_RUNTIME_DIR. Nothing when there is none; no bus is ever started
// and nothing is printed for a missing one (a kavelo.desktop debug line says why). With a
// connection name, a connection of its own to that bus (a second name with its own objects).
std::optional<QDBusConnection> sessionBus(const QString& connectionName = QString());

// Whether the user has a session bus: DBUS_SESSION_BUS_ADDRESS names one, or the user's bus
// socket is in XDG_RUNTIME_DIR.
bool sessionBusExists();

// While it lives, libraries that reach for the session bus find none when the user has none,
// instead of having libdbus start one and waiting for it (Qt's accessibility support reaches
// for it when the first widget changes). Programs started meanwhile inherit the mark.
class NoSessionBusStarted {
public:
    NoSessionBusStarted();
    ~NoSessionBusStarted();
    NoSessionBusStarted(const NoSessionBusStarted&) = delete;
    NoSessionBusStarted& operator=(const NoSessionBusStarted&) = delete;

private:
    bool m_marked = false;
};

} // namespace kavelo
