#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace kavelo {

// One player as the desktop's media controls see it, read now.
struct MprisState {
    QString status = QStringLiteral("Stopped"); // Playing, Paused or Stopped
    QString trackId;                            // empty: no track
    QString title;
    QString url;
    qint64 lengthUs = 0;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    bool canGoNext = false;
    bool canGoPrevious = false;
    double volume = 1.0;
    // Grows on every jump that is not the clock running on: a seek, a chapter, a title, a menu.
    quint64 jumps = 0;
    bool operator==(const MprisState&) const = default;
};

// What a player offers the media controls. The controls run from the event loop, after the
// bus call has been answered; none of them throws.
class MprisSource {
public:
    virtual ~MprisSource() = default;
    virtual MprisState state() noexcept = 0;
    virtual qint64 positionUs() noexcept = 0;
    virtual void play() noexcept = 0;
    virtual void pause() noexcept = 0;
    virtual void playPause() noexcept = 0;
    virtual void stop() noexcept = 0;
    virtual void next() noexcept = 0;
    virtual void previous() noexcept = 0;
    // A place in the current track, 0 to its length.
    virtual void seekTo(qint64 positionUs) noexcept = 0;
    // 0 to 1.
    virtual void setVolume(double volume) noexcept = 0;
    virtual void raise() noexcept = 0;
};

// A player on the session bus as an MPRIS 2 service (org.mpris.MediaPlayer2.<name>). The
// properties follow the source; PropertiesChanged and Seeked tell the desktop when they change
// (refresh() looks).
class Mpris final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.mpris.MediaPlayer2.kavelo";
    // The media file window's player.
    static constexpr const char* kMediaService = "org.mpris.MediaPlayer2.kavelo.media";
    static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // Registers the service under `service`; registered() tells whether the bus took it.
    // `quit` ends the program as File > Exit does.
    Mpris(QDBusConnection bus, QString service, QString identity, MprisSource& source,
          std::function<void()> quit, QObject* parent = nullptr);
    ~Mpris() override;

    bool registered() const { return m_registered; }

    // Compares the source's state with what the desktop was last told and signals changes.
    void refresh() noexcept;

    MprisState state() const noexcept { return m_source.state(); }
    qint64 positionUs() const noexcept { return m_source.positionUs(); }
    QVariantMap metadata() const noexcept;
    QString identity() const { return m_identity; }

    // The controls, as the bus calls them.
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void seek(qint64 offsetUs);
    void setPosition(const QDBusObjectPath& track, qint64 positionUs);
    void setVolume(double volume);
    void raise();
    void quit();

private:
    void later(std::function<void()> step);
    void propertiesChanged(const QVariantMap& changed);
    void emitSeeked(qint64 positionUs);

    QDBusConnection m_bus;
    QString m_service;
    QString m_identity;
    MprisSource& m_source;
    std::function<void()> m_quit;
    QObject* m_object = nullptr; // carries the two adaptors at kPath
    bool m_registered = false;
    std::optional<MprisState> m_told; // what the desktop was last told
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
    QString identity() const { return m_mpris.identity(); }
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
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ always)
public:
    MprisPlayerAdaptor(QObject* object, Mpris& mpris);

    QString playbackStatus() const { return m_mpris.state().status; }
    double rate() const { return 1.0; }
    void setRate(double) {} // one rate only
    QVariantMap metadata() const { return m_mpris.metadata(); }
    double volume() const { return m_mpris.state().volume; }
    void setVolume(double volume) { m_mpris.setVolume(volume); }
    qlonglong position() const { return m_mpris.positionUs(); }
    bool canGoNext() const { return m_mpris.state().canGoNext; }
    bool canGoPrevious() const { return m_mpris.state().canGoPrevious; }
    bool canPlay() const { return m_mpris.state().canPlay; }
    bool canPause() const { return m_mpris.state().canPause; }
    bool canSeek() const { return m_mpris.state().canSeek; }
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
    void OpenUri(const QString&) {} // no address schemes

signals:
    void Seeked(qlonglong Position);

private:
    Mpris& m_mpris;
};

} // namespace kavelo
