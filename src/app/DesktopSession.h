#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

namespace kavelo {

class DiscMprisSource;
class FrmPlay;
class FrmSingle;
class KaveloApp;
class MediaMprisSource;
class Mpris;
class ScreenSaverInhibitor;

// The name Kavelo goes by on the desktop: its desktop entry, icon and AppStream component.
inline constexpr const char* kDesktopId = "org.example.kavelo";

// Kavelo's place in the desktop session: keeps the screensaver off while a disc or a media
// file's video plays, and offers the media controls (MPRIS): the main window's disc as
// org.mpris.MediaPlayer2.kavelo, and, while the media file window is open, its file as
// org.mpris.MediaPlayer2.kavelo.media. Follows the disc engine's changes as they come, and
// looks at the media file window every kTickMs. Without a session bus only the X server's
// screen saver is held.
class DesktopSession final : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 250;

    DesktopSession(KaveloApp& app, std::optional<QDBusConnection> bus, QObject* parent = nullptr);
    ~DesktopSession() override;

    // Whether a video plays now: the main window's disc, or a media file with pictures.
    bool videoPlaying() const noexcept;

    ScreenSaverInhibitor& screenSaver() { return *m_screenSaver; }
    Mpris* mpris() { return m_mpris.get(); }
    // The media file window's player; none while that window is closed.
    Mpris* mediaMpris() { return m_mediaMpris.get(); }

    // Looks at the players now (the timer does this every kTickMs).
    void tick() noexcept;

private:
    void followMainWindow();
    void followMediaWindow();
    void discChanged() noexcept;

    KaveloApp& m_app;
    std::optional<QDBusConnection> m_bus;
    std::unique_ptr<ScreenSaverInhibitor> m_screenSaver;
    std::unique_ptr<DiscMprisSource> m_disc;
    std::unique_ptr<Mpris> m_mpris;
    QPointer<FrmPlay> m_mainWindow; // whose engine is followed
    QMetaObject::Connection m_engineChanges;
    bool m_following = false;
    QPointer<FrmSingle> m_mediaWindow;
    bool m_followingMedia = false;
    std::unique_ptr<MediaMprisSource> m_media;
    std::unique_ptr<Mpris> m_mediaMpris;
    QTimer m_timer;
};

} // namespace kavelo
