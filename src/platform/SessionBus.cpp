#include "SessionBus.h"

#include <QDBusError>
#include <QFileInfo>

namespace kavelo {

Q_LOGGING_CATEGORY(lcDesktop, "kavelo.desktop", QtInfoMsg)

namespace {

QString userBusSocket() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    const QString socket = runtime + QStringLiteral("/bus");
    return QFileInfo::exists(socket) ? socket : QString();
}

// An address libdbus refuses at once, without starting anything.
constexpr char kNoBus[] = "disabled:";

} // namespace

bool sessionBusExists() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || !userBusSocket().isEmpty();
}

NoSessionBusStarted::NoSessionBusStarted() {
    if (sessionBusExists())
        return;
    m_marked = qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray(kNoBus));
    qCDebug(lcDesktop) << "no session bus: none is started either";
}

NoSessionBusStarted::~NoSessionBusStarted() {
    if (m_marked && qgetenv("DBUS_SESSION_BUS_ADDRESS") == kNoBus)
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

std::optional<QDBusConnection> sessionBus(const QString& connectionName) {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == kNoBus) {
        qCDebug(lcDesktop) << "no session bus";
        return std::nullopt;
    }
    if (!address.isEmpty()) {
        QDBusConnection bus =
            connectionName.isEmpty()
                ? QDBusConnection::sessionBus()
                : QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        if (bus.isConnected())
            return bus;
        qCDebug(lcDesktop) << "session bus not reachable:" << bus.lastError().message();
        return std::nullopt;
    }
    // Without an address libdbus would try to start a bus of its own; only the user's
    // standing bus is used.
    const QString socket = userBusSocket();
    if (socket.isEmpty()) {
        qCDebug(lcDesktop) << "no session bus";
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + socket,
        connectionName.isEmpty() ? QStringLiteral("kavelo-session") : connectionName);
    if (bus.isConnected())
        return bus;
    qCDebug(lcDesktop) << "session bus not reachable:" << bus.lastError().message();
    return std::nullopt;
}

} // namespace kavelo
