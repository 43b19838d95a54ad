#include "Mpris.h"

#include "DesktopSession.h"
#include "SessionBus.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <exception>

namespace kavelo {

Mpris::Mpris(QDBusConnection bus, QString service, QString identity, MprisSource& source,
             std::function<void()> quit, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_service(std::move(service)),
      m_identity(std::move(identity)), m_source(source), m_quit(std::move(quit)),
      m_object(new QObject(this)) {
    new MprisRootAdaptor(m_object, *this);
    new MprisPlayerAdaptor(m_object, *this);
    if (!m_bus.registerObject(QString::fromLatin1(kPath), m_object,
                              QDBusConnection::ExportAdaptors)) {
        qCDebug(lcDesktop) << "media controls: the object path is taken";
        return;
    }
    if (!m_bus.registerService(m_service)) {
        qCDebug(lcDesktop) << "media controls: the name is taken:" << m_service
                           << m_bus.lastError().message();
        m_bus.unregisterObject(QString::fromLatin1(kPath));
        return;
    }
    m_registered = true;
    m_told = m_source.state();
}

Mpris::~Mpris() {
    if (m_registered) {
        m_bus.unregisterService(m_service);
        m_bus.unregisterObject(QString::fromLatin1(kPath));
    }
}

QVariantMap Mpris::metadata() const noexcept {
    QVariantMap map;
    try {
        const MprisState s = m_source.state();
        if (s.trackId.isEmpty()) {
            map.insert(QStringLiteral("mpris:trackid"),
                       QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
            return map;
        }
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(s.trackId)));
        map.insert(QStringLiteral("xesam:title"), s.title);
        if (!s.url.isEmpty())
            map.insert(QStringLiteral("xesam:url"), s.url);
        map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qint64>(s.lengthUs));
    } catch (const std::exception& e) {
        qCDebug(lcDesktop) << "media controls:" << e.what();
    }
    return map;
}

void Mpris::refresh() noexcept {
    if (!m_registered)
        return;
    try {
        const MprisState now = m_source.state();
        if (m_told && now == *m_told)
            return;
        const MprisState was = m_told.value_or(MprisState{});
        const bool first = !m_told;
        m_told = now;
        QVariantMap changed;
        if (first || now.status != was.status)
            changed.insert(QStringLiteral("PlaybackStatus"), now.status);
        if (first || now.trackId != was.trackId || now.title != was.title || now.url != was.url ||
            now.lengthUs != was.lengthUs)
            changed.insert(QStringLiteral("Metadata"), metadata());
        const auto flag = [&](const char* name, bool MprisState::*member) {
            if (first || now.*member != was.*member)
                changed.insert(QString::fromLatin1(name), now.*member);
        };
        flag("CanPlay", &MprisState::canPlay);
        flag("CanPause", &MprisState::canPause);
        flag("CanSeek", &MprisState::canSeek);
        flag("CanGoNext", &MprisState::canGoNext);
        flag("CanGoPrevious", &MprisState::canGoPrevious);
        if (first || now.volume != was.volume)
            changed.insert(QStringLiteral("Volume"), now.volume);
        if (!changed.isEmpty())
            propertiesChanged(changed);
        if (!first && now.jumps != was.jumps)
            emitSeeked(m_source.positionUs());
    } catch (const std::exception& e) {
        qCDebug(lcDesktop) << "media controls:" << e.what();
    }
}

void Mpris::propertiesChanged(const QVariantMap& changed) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void Mpris::emitSeeked(qint64 positionUs) {
    if (auto* player = m_object->findChild<MprisPlayerAdaptor*>())
        emit player->Seeked(positionUs);
}

void Mpris::later(std::function<void()> step) {
    QMetaObject::invokeMethod(
        this,
        [this, step = std::move(step)] {
            step();
            refresh();
        },
        Qt::QueuedConnection);
}

void Mpris::play() {
    later([this] { m_source.play(); });
}

void Mpris::pause() {
    later([this] { m_source.pause(); });
}

void Mpris::playPause() {
    later([this] { m_source.playPause(); });
}

void Mpris::stop() {
    later([this] { m_source.stop(); });
}

void Mpris::next() {
    // When the desktop is told there is no next chapter, Next does nothing.
    later([this] {
        if (m_source.state().canGoNext)
            m_source.next();
    });
}

void Mpris::previous() {
    later([this] {
        if (m_source.state().canGoPrevious)
            m_source.previous();
    });
}

void Mpris::seek(qint64 offsetUs) {
    later([this, offsetUs] {
        const MprisState s = m_source.state();
        if (!s.canSeek)
            return;
        // Past the end is the next track's start in MPRIS; a disc title has none, so its end.
        const qint64 to = std::clamp<qint64>(m_source.positionUs() + offsetUs, 0, s.lengthUs);
        m_source.seekTo(to);
    });
}

void Mpris::setPosition(const QDBusObjectPath& track, qint64 positionUs) {
    later([this, track, positionUs] {
        const MprisState s = m_source.state();
        // A position for another track, or outside this one, is ignored.
        if (!s.canSeek || s.trackId.isEmpty() || track.path() != s.trackId || positionUs < 0 ||
            positionUs > s.lengthUs)
            return;
        m_source.seekTo(positionUs);
    });
}

void Mpris::setVolume(double volume) {
    if (!std::isfinite(volume))
        return;
    later([this, volume] { m_source.setVolume(std::clamp(volume, 0.0, 1.0)); });
}

void Mpris::raise() {
    later([this] { m_source.raise(); });
}

void Mpris::quit() {
    QMetaObject::invokeMethod(
        this, [this] { m_quit ? m_quit() : void(); }, Qt::QueuedConnection);
}

MprisRootAdaptor::MprisRootAdaptor(QObject* object, Mpris& mpris)
    : QDBusAbstractAdaptor(object), m_mpris(mpris) {}

QString MprisRootAdaptor::desktopEntry() const {
    return QString::fromLatin1(kDesktopId);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* object, Mpris& mpris)
    : QDBusAbstractAdaptor(object), m_mpris(mpris) {}

} // namespace kavelo
