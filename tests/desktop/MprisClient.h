#pragma once

// Calls to Kavelo's media controls (MPRIS) as a desktop makes them, and the signals it sends,
// over a connection of the test's own.
#include "Mpris.h"
#include "Waiting.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <chrono>
#include <future>

namespace kavelo::test {

inline const QString kClient = QStringLiteral("mpris-client");
inline const QString kRoot = QString::fromLatin1(Mpris::kRootInterface);
inline const QString kPlayer = QString::fromLatin1(Mpris::kPlayerInterface);
inline constexpr qint64 kSecond = 1000000;

// Runs a blocking bus call on a thread of its own while this thread's event loop turns, so
// that a service living here can answer it.
template <class F> auto offThread(F call) {
    auto future = std::async(std::launch::async, std::move(call));
    waitUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              30000);
    return future.get();
}

inline QDBusConnection client() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, kClient);
}

inline QVariant property(const QString& interface, const char* name) {
    return offThread([=] {
        QDBusInterface mpris(QString::fromLatin1(Mpris::kService),
                             QString::fromLatin1(Mpris::kPath), interface,
                             QDBusConnection(kClient));
        return mpris.property(name);
    });
}

inline QDBusMessage call(const QString& method, const QVariantList& args = {}) {
    return offThread([=] {
        QDBusInterface mpris(
            QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
            method == QLatin1String("Raise") || method == QLatin1String("Quit") ? kRoot : kPlayer,
            QDBusConnection(kClient));
        return mpris.callWithArgumentList(QDBus::Block, method, args);
    });
}

inline QVariantMap metadata() {
    const QVariant v = property(kPlayer, "Metadata");
    if (v.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

inline QString trackTitle() {
    return metadata().value(QStringLiteral("xesam:title")).toString();
}

// What the service told the desktop by signal.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changed;
    QList<qlonglong> seeked;

    void listen(QDBusConnection bus) {
        bus.connect(QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
                    QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(onChanged(QString, QVariantMap, QStringList)));
        bus.connect(QString::fromLatin1(Mpris::kService), QString::fromLatin1(Mpris::kPath),
                    kPlayer, QStringLiteral("Seeked"), this, SLOT(onSeeked(qlonglong)));
    }
    // Whether a change of `name` to a value `matches` was signalled.
    template <class Pred> bool told(const QString& name, Pred matches) const {
        for (const QVariantMap& c : changed) {
            if (c.contains(name) && matches(c.value(name)))
                return true;
        }
        return false;
    }

public slots:
    void onChanged(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer)
            changed << properties;
    }
    void onSeeked(qlonglong position) { seeked << position; }
};

inline QString titleIn(const QVariant& v) {
    const QVariantMap map = v.canConvert<QDBusArgument>()
                                ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
                                : v.toMap();
    return map.value(QStringLiteral("xesam:title")).toString();
}

} // namespace kavelo::test
