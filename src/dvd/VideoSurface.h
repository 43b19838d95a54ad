#pragma once

#include <QByteArray>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

namespace kavelo {

// How libmpv is to zoom a picture of `frameWidth` x `frameHeight` by `ratio` so that the frame
// point (x, y) stays where it is on the screen: video-zoom in powers of two, the picture aligned
// to its top-left corner, and a pan in parts of the zoomed picture's size. A ratio of 0 or 1 is
// the whole picture.
struct ZoomView {
    double zoom = 0;
    double alignX = 0;
    double alignY = 0;
    double panX = 0;
    double panY = 0;
};
ZoomView zoomView(int x, int y, double ratio, int frameWidth, int frameHeight);

// The native window libmpv draws into (`dvdMain`), on the main window or, in full screen, on a
// frameless window of its own that covers the screen; and the colour around the picture.
class VideoSurface {
public:
    // `firstShown` runs once the top-level window is first on the screen; `goingAway` before the
    // native window goes (libmpv must stop drawing into it first).
    VideoSurface(QWidget* parent, std::function<void()> firstShown,
                 std::function<void()> goingAway);
    ~VideoSurface();

    VideoSurface(const VideoSurface&) = delete;
    VideoSurface& operator=(const VideoSurface&) = delete;

    // Null once the application has deleted the widget.
    QWidget* widget() const { return m_video; }
    // The native window for libmpv; 0 when the video has no window of its own (offscreen),
    // nullopt once the widget is gone.
    std::optional<std::int64_t> nativeWindow() const;

    bool fullScreen() const { return m_fullScreen; }
    // Throws EngineError when the widget or the screen is gone.
    void setFullScreen(bool on);
    // The native window is going: full screen is over without moving anything.
    void forgetFullScreen() { m_fullScreen = false; }

    // Throws EngineError when the widget is gone (the full-screen window takes the colour all
    // the same). The colour's name for libmpv stays in background().
    void setBackground(std::uint32_t engineColour);
    const QByteArray& background() const { return m_background; }

private:
    QPointer<QWidget> m_video;      // dvdMain
    QPointer<QWidget> m_fullWindow; // ours; the application may delete it at exit first
    QPointer<QWidget> m_savedParent;
    QRect m_savedGeometry;
    bool m_fullScreen = false;
    QByteArray m_background = "#000000";
};

} // namespace kavelo
