#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace kavelo {

class KaveloApp;
class Mpris;
class ScreenSaverInhibitor;

// The name Kavelo goes by on the desktop: its desktop entry, icon and AppStream component.
inline constexpr const char* kDesktopId = "org.example.kavelo";

// Kavelo's place in the desktop session: keeps the screensaver off while a disc or a media
// file's video plays, and offers the media controls (MPRIS) for the main window. Looks at
// the players every kTickMs. Without a session bus it does nothing.
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

    // Looks at the players now (the timer does this every kTickMs).
    void tick() noexcept;

private:
    KaveloApp& m_app;
    std::unique_ptr<ScreenSaverInhibitor> m_screenSaver;
    std::unique_ptr<Mpris> m_mpris;
    QTimer m_timer;
};

} // namespace kavelo
