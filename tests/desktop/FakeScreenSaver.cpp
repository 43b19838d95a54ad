#include "FakeScreenSaver.h"

#include <QMutexLocker>

#include <algorithm>

namespace kavelo::test {

namespace {
const QString kConnection = QStringLiteral("fake-screensaver");
const QString kName = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
} // namespace

uint ScreenSaverObject::Inhibit(const QString& application, const QString& reason) {
    Q_UNUSED(reason);
    QMutexLocker lock(&mutex);
    const uint cookie = m_nextCookie++;
    calls << QStringLiteral("Inhibit(%1)").arg(application);
    held.insert(cookie);
    mostHeld = std::max(mostHeld, static_cast<int>(held.size()));
    return cookie;
}

void ScreenSaverObject::UnInhibit(uint cookie) {
    QMutexLocker lock(&mutex);
    calls << QStringLiteral("UnInhibit(%1)").arg(cookie);
    held.remove(cookie);
}

FakeScreenSaver::FakeScreenSaver() : m_object(new ScreenSaverObject) {
    m_object->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_object, &QObject::deleteLater);
    m_thread.start();
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection);
    m_registered = bus.registerObject(kPath, m_object, QDBusConnection::ExportAllSlots) &&
                   bus.registerService(kName);
}

FakeScreenSaver::~FakeScreenSaver() {
    {
        QDBusConnection bus(kConnection);
        bus.unregisterService(kName);
        bus.unregisterObject(kPath);
    }
    QDBusConnection::disconnectFromBus(kConnection);
    m_thread.quit();
    m_thread.wait();
}

QStringList FakeScreenSaver::calls() const {
    QMutexLocker lock(&m_object->mutex);
    return m_object->calls;
}

int FakeScreenSaver::held() const {
    QMutexLocker lock(&m_object->mutex);
    return static_cast<int>(m_object->held.size());
}

int FakeScreenSaver::mostHeld() const {
    QMutexLocker lock(&m_object->mutex);
    return m_object->mostHeld;
}

int FakeScreenSaver::count(const QString& prefix) const {
    const QStringList all = calls();
    return static_cast<int>(std::count_if(all.begin(), all.end(),
                                          [&](const QString& c) { return c.startsWith(prefix); }));
}

} // namespace kavelo::test
