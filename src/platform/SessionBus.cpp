#include "SessionBus.h"

#include <QDBusError>
#include <QFileInfo>

namespace kavelo {

Q_LOGGING_CATEGORY(lcDesktop, "kavelo.desktop")

std::optional<QDBusConnection> sessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected())
            return bus;
        qCDebug(lcDesktop) << "session bus not reachable:" << bus.lastError().message();
        return std::nullopt;
    }
    // Without an address libdbus would try to start a bus of its own; only the user's
    // standing bus is used.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    if (runtime.isEmpty() || !QFileInfo::exists(socket)) {
        qCDebug(lcDesktop) << "no session bus";
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QStringLiteral("unix:path=") + socket,
                                                        QStringLiteral("kavelo-session"));
    if (bus.isConnected())
        return bus;
    qCDebug(lcDesktop) << "session bus not reachable:" << bus.lastError().message();
    return std::nullopt;
}

} // namespace kavelo
