#pragma once

#include <QDBusConnection>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThread>

namespace kavelo::test {

// The object behind the fake screensaver's bus name; it lives in the service's thread.
class ScreenSaverObject final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    mutable QMutex mutex;
    QStringList calls;
    QSet<uint> held;
    int mostHeld = 0;

public slots:
    uint Inhibit(const QString& application, const QString& reason);
    void UnInhibit(uint cookie);

private:
    uint m_nextCookie = 41;
};

// The session's screensaver as the tests see it: answers org.freedesktop.ScreenSaver on the
// session bus from a thread of its own (so that a caller that blocks is still answered) and
// records every call as "Inhibit(<application>)" or "UnInhibit(<cookie>)".
class FakeScreenSaver {
public:
    FakeScreenSaver();
    ~FakeScreenSaver();

    bool registered() const { return m_registered; }
    QStringList calls() const;
    int held() const;     // inhibitions held now
    int mostHeld() const; // the most ever held at once
    int count(const QString& prefix) const;

private:
    QThread m_thread;
    ScreenSaverObject* m_object;
    bool m_registered = false;
};

} // namespace kavelo::test
