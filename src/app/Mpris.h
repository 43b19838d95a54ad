#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace kavelo {

class FrmPlay;

// What the media controls reach in the program: the main window (none after it was closed),
// showing it, and ending the program as File > Exit does.
struct MprisHost {
    std::function<FrmPlay*()> mainWindow;
    std::function<void()> raise;
    std::function<void()> quit;
};

// The player as the desktop's media controls and media keys see it: an MPRIS 2 service named
// org.mpris.MediaPlayer2.kavelo on the session bus. The controls run the main window's own
// playback commands, with their usual messages; the properties follow the DVD engine and
// PropertiesChanged tells the desktop when they change (refresh() looks).
class Mpris final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.mpris.MediaPlayer2.kavelo";
    static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // Registers the service; registered() tells whether the bus took it.
    Mpris(QDBusConnection bus, MprisHost host, QObject* parent = nullptr);
    ~Mpris() override;

    bool registered() const { return m_registered; }

    // Compares the engine's state with what the desktop was last told and signals changes.
    void refresh() noexcept;

    // What the desktop sees, read from the engine now.
    struct State {
        QString status = QStringLiteral("Stopped"); // Playing, Paused or Stopped
        int title = 0;                              // 0: nothing loaded
        int chapter = 0;
        qint64 lengthUs = 0;
        bool operator==(const State&) const = default;
    };
    State state() const noexcept;
    qint64 positionUs() const noexcept;
    QVariantMap metadata() const noexcept;
    QString trackId() const noexcept;

    // The controls, as the bus calls them. Each runs from the event loop, after the call has
    // been answered, so that a message box it shows never holds up the caller.
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void seek(qint64 offsetUs);
    void setPosition(const QDBusObjectPath& track, qint64 positionUs);
    void raise();
    void quit();

private:
    void later(std::function<void()> step);
    void seekTo(qint64 positionUs) noexcept;
    void propertiesChanged(const QVariantMap& changed);
    void emitSeeked(qint64 positionUs);

    QDBusConnection m_bus;
    MprisHost m_host;
    QObject* m_object = nullptr; // carries the two adaptors at kPath
    bool m_registered = false;
    std::optional<State> m_told; // what the desktop was last told
    qint64 m_toldPosition = 0;
    QElapsedTimer m_toldClock;
    friend class MprisPlayerAdaptor;
};

// org.mpris.MediaPlayer2
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    MprisRootAdaptor(QObject* object, Mpris& mpris);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise() { m_mpris.raise(); }
    void Quit() { m_mpris.quit(); }

private:
    Mpris& m_mpris;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ loaded)
    Q_PROPERTY(bool CanGoPrevious READ loaded)
    Q_PROPERTY(bool CanPlay READ always)
    Q_PROPERTY(bool CanPause READ always)
    Q_PROPERTY(bool CanSeek READ loaded)
    Q_PROPERTY(bool CanControl READ always)
public:
    MprisPlayerAdaptor(QObject* object, Mpris& mpris);

    QString playbackStatus() const { return m_mpris.state().status; }
    double rate() const { return 1.0; }
    QVariantMap metadata() const { return m_mpris.metadata(); }
    double volume() const { return 1.0; }
    qlonglong position() const { return m_mpris.positionUs(); }
    bool loaded() const { return m_mpris.state().title > 0; }
    bool always() const { return true; }

public slots:
    void Play() { m_mpris.play(); }
    void Pause() { m_mpris.pause(); }
    void PlayPause() { m_mpris.playPause(); }
    void Stop() { m_mpris.stop(); }
    void Next() { m_mpris.next(); }
    void Previous() { m_mpris.previous(); }
    void Seek(qlonglong Offset) { m_mpris.seek(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        m_mpris.setPosition(TrackId, Position);
    }
    void OpenUri(const QString&) {} // Kavelo plays discs only; no address schemes

signals:
    void Seeked(qlonglong Position);

private:
    Mpris& m_mpris;
};

} // namespace kavelo
