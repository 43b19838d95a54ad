#pragma once

#include <QDBusConnection>
#include <QLoggingCategory>

#include <optional>

namespace kavelo {

// Debug lines of Kavelo's place on the desktop: session bus, screensaver, media controls.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

// The desktop session's message bus: the one DBUS_SESSION_BUS_ADDRESS names, or else the
// user's bus socket in XDG_RUNTIME_DIR. Nothing when there is none; no bus is ever started
// and nothing is printed for a missing one (a kavelo.desktop debug line says why).
std::optional<QDBusConnection> sessionBus();

} // namespace kavelo
