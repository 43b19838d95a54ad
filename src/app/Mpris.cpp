#include "Mpris.h"

#include "DvdEngine.h"
#include "DvdTime.h"
#include "DvdTimeText.h"
#include "FrmPlay.h"
#include "SessionBus.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QMetaObject>

#include <cmath>
#include <exception>

namespace kavelo {

namespace {

constexpr qint64 kMicro = 1000000;
// A position further than this from where playing on would have brought it was a seek.
constexpr qint64 kJumpUs = 1500000;

QString statusText(DvdPlayState state) {
    switch (state) {
    case DvdPlayState::Playing:
        return QStringLiteral("Playing");
    case DvdPlayState::Paused:
        return QStringLiteral("Paused");
    case DvdPlayState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

} // namespace

Mpris::Mpris(QDBusConnection bus, MprisHost host, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_host(std::move(host)), m_object(new QObject(this)) {
    new MprisRootAdaptor(m_object, *this);
    new MprisPlayerAdaptor(m_object, *this);
    if (!m_bus.registerObject(QString::fromLatin1(kPath), m_object,
                              QDBusConnection::ExportAdaptors)) {
        qCDebug(lcDesktop) << "media controls: the object path is taken";
        return;
    }
    if (!m_bus.registerService(QString::fromLatin1(kService))) {
        qCDebug(lcDesktop) << "media controls: the name is taken:" << m_bus.lastError().message();
        m_bus.unregisterObject(QString::fromLatin1(kPath));
        return;
    }
    m_registered = true;
    m_told = state();
}

Mpris::~Mpris() {
    if (m_registered) {
        m_bus.unregisterService(QString::fromLatin1(kService));
        m_bus.unregisterObject(QString::fromLatin1(kPath));
    }
}

Mpris::State Mpris::state() const noexcept {
    State s;
    FrmPlay* w = m_host.mainWindow ? m_host.mainWindow() : nullptr;
    if (!w)
        return s;
    try {
        IDvdEngine& engine = w->engine();
        const DvdPlayState play = engine.PlayState();
        s.status = statusText(play);
        if (play == DvdPlayState::Stopped)
            return s;
        s.title = engine.CurrentTitle();
        s.chapter = engine.CurrentChapter();
        s.lengthUs = dvdTimeSeconds(engine.TotalTitleTime()).value_or(0) * kMicro;
    } catch (const std::exception&) {
        // A disc the engine cannot describe shows as nothing loaded.
        s.title = 0;
        s.chapter = 0;
        s.lengthUs = 0;
    }
    return s;
}

qint64 Mpris::positionUs() const noexcept {
    FrmPlay* w = m_host.mainWindow ? m_host.mainWindow() : nullptr;
    if (!w)
        return 0;
    try {
        if (w->engine().PlayState() == DvdPlayState::Stopped)
            return 0;
        return dvdTimeSeconds(w->engine().CurrentTime()).value_or(0) * kMicro;
    } catch (const std::exception&) {
        return 0;
    }
}

QString Mpris::trackId() const noexcept {
    const State s = state();
    if (s.title <= 0)
        return QString::fromLatin1(kNoTrack);
    return QStringLiteral("/org/example/kavelo/title/%1").arg(s.title);
}

QVariantMap Mpris::metadata() const noexcept {
    QVariantMap map;
    const State s = state();
    if (s.title <= 0) {
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(
                   QDBusObjectPath(QStringLiteral("/org/example/kavelo/title/%1").arg(s.title))));
    map.insert(QStringLiteral("xesam:title"),
               QStringLiteral("Title %1, Chapter %2").arg(s.title).arg(s.chapter));
    map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qint64>(s.lengthUs));
    return map;
}

void Mpris::refresh() noexcept {
    if (!m_registered)
        return;
    try {
        const State now = state();
        const qint64 position = positionUs();
        if (m_told && now == *m_told) {
            // Unchanged otherwise: a position away from where playing on leads was a seek.
            const qint64 expected =
                m_toldPosition +
                (now.status == QLatin1String("Playing") ? m_toldClock.elapsed() * 1000 : 0);
            if (now.title > 0 && std::llabs(position - expected) > kJumpUs)
                emitSeeked(position);
        } else {
            QVariantMap changed;
            if (!m_told || now.status != m_told->status)
                changed.insert(QStringLiteral("PlaybackStatus"), now.status);
            if (!m_told || now.title != m_told->title || now.chapter != m_told->chapter ||
                now.lengthUs != m_told->lengthUs)
                changed.insert(QStringLiteral("Metadata"), metadata());
            if (!m_told || (now.title > 0) != (m_told->title > 0)) {
                const bool loaded = now.title > 0;
                changed.insert(QStringLiteral("CanSeek"), loaded);
                changed.insert(QStringLiteral("CanGoNext"), loaded);
                changed.insert(QStringLiteral("CanGoPrevious"), loaded);
            }
            m_told = now;
            if (!changed.isEmpty())
                propertiesChanged(changed);
        }
        m_toldPosition = position;
        m_toldClock.start();
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
            FrmPlay* w = m_host.mainWindow ? m_host.mainWindow() : nullptr;
            if (!w)
                return; // no main window: nothing to control
            step();
            refresh();
        },
        Qt::QueuedConnection);
}

void Mpris::play() {
    later([this] {
        FrmPlay* w = m_host.mainWindow();
        switch (w->engine().PlayState()) {
        case DvdPlayState::Playing:
            break;
        case DvdPlayState::Paused:
            w->commands().dResume();
            break;
        case DvdPlayState::Stopped:
            w->commands().dPlay();
            break;
        }
    });
}

void Mpris::pause() {
    later([this] {
        FrmPlay* w = m_host.mainWindow();
        if (w->engine().PlayState() == DvdPlayState::Playing)
            w->commands().dPause();
    });
}

void Mpris::playPause() {
    later([this] {
        FrmPlay* w = m_host.mainWindow();
        switch (w->engine().PlayState()) {
        case DvdPlayState::Playing:
            w->commands().dPause();
            break;
        case DvdPlayState::Paused:
            w->commands().dResume();
            break;
        case DvdPlayState::Stopped:
            w->commands().dPlay();
            break;
        }
    });
}

void Mpris::stop() {
    later([this] { m_host.mainWindow()->commands().dStop(); });
}

void Mpris::next() {
    later([this] { m_host.mainWindow()->commands().dNextChapter(); });
}

void Mpris::previous() {
    later([this] { m_host.mainWindow()->commands().dPreviousChapter(); });
}

void Mpris::seek(qint64 offsetUs) {
    later([this, offsetUs] {
        if (state().title <= 0)
            return;
        seekTo(std::max<qint64>(0, positionUs() + offsetUs));
    });
}

void Mpris::setPosition(const QDBusObjectPath& track, qint64 positionUs) {
    later([this, track, positionUs] {
        const State s = state();
        // A position for another track, or outside this one, is ignored.
        if (s.title <= 0 || track.path() != trackId() || positionUs < 0 || positionUs > s.lengthUs)
            return;
        seekTo(positionUs);
    });
}

void Mpris::seekTo(qint64 positionUs) noexcept {
    FrmPlay* w = m_host.mainWindow ? m_host.mainWindow() : nullptr;
    if (!w)
        return;
    try {
        const double seconds = std::floor(static_cast<double>(positionUs) / kMicro);
        w->engine().PlayAtTime(dvdTimeText(seconds, 25));
        emitSeeked(this->positionUs());
    } catch (const std::exception& e) {
        qCDebug(lcDesktop) << "media controls: seek refused:" << e.what();
    }
}

void Mpris::raise() {
    QMetaObject::invokeMethod(
        this, [this] { m_host.raise ? m_host.raise() : void(); }, Qt::QueuedConnection);
}

void Mpris::quit() {
    QMetaObject::invokeMethod(
        this, [this] { m_host.quit ? m_host.quit() : void(); }, Qt::QueuedConnection);
}

MprisRootAdaptor::MprisRootAdaptor(QObject* object, Mpris& mpris)
    : QDBusAbstractAdaptor(object), m_mpris(mpris) {}

QString MprisRootAdaptor::identity() const {
    return QStringLiteral("Kavelo");
}

QString MprisRootAdaptor::desktopEntry() const {
    return QStringLiteral("org.example.kavelo");
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* object, Mpris& mpris)
    : QDBusAbstractAdaptor(object), m_mpris(mpris) {}

} // namespace kavelo
