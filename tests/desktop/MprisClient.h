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
#include <QDBusVariant>
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

inline const QString kDiscPlayer = QString::fromLatin1(Mpris::kService);
inline const QString kMediaPlayer = QString::fromLatin1(Mpris::kMediaService);

inline QVariant property(const QString& interface, const char* name,
                         const QString& service = kDiscPlayer) {
    return offThread([=] {
        QDBusInterface mpris(service, QString::fromLatin1(Mpris::kPath), interface,
                             QDBusConnection(kClient));
        return mpris.property(name);
    });
}

// Writes a property as `playerctl volume 0.5` does (org.freedesktop.DBus.Properties.Set);
// the reply's error name, empty on success.
inline QString setProperty(const QString& interface, const char* name, const QVariant& value,
                           const QString& service = kDiscPlayer) {
    return offThread([=] {
        QDBusMessage set = QDBusMessage::createMethodCall(
            service, QString::fromLatin1(Mpris::kPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << interface << QString::fromLatin1(name) << QVariant::fromValue(QDBusVariant(value));
        const QDBusMessage reply = QDBusConnection(kClient).call(set, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
    });
}

inline QDBusMessage call(const QString& method, const QVariantList& args = {},
                         const QString& service = kDiscPlayer) {
    return offThread([=] {
        QDBusInterface mpris(
            service, QString::fromLatin1(Mpris::kPath),
            method == QLatin1String("Raise") || method == QLatin1String("Quit") ? kRoot : kPlayer,
            QDBusConnection(kClient));
        return mpris.callWithArgumentList(QDBus::Block, method, args);
    });
}

inline QVariantMap metadata(const QString& service = kDiscPlayer) {
    const QVariant v = property(kPlayer, "Metadata", service);
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

    void listen(QDBusConnection bus, const QString& service = kDiscPlayer) {
        bus.connect(service, QString::fromLatin1(Mpris::kPath),
                    QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(onChanged(QString, QVariantMap, QStringList)));
        bus.connect(service, QString::fromLatin1(Mpris::kPath), kPlayer, QStringLiteral("Seeked"),
                    this, SLOT(onSeeked(qlonglong)));
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
