#include "VideoSurface.h"

#include "DvdEngine.h"
#include "EngineColour.h"

#include <QGuiApplication>
#include <QPalette>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kavelo {

namespace {

// The widget that shows the video. It tells the engine when its top-level window is first on the
// screen (the logo may cover the video itself, which is then never drawn) and before its native
// window goes, so that libmpv never draws into a window that no longer exists.
class VideoWidget final : public QWidget {
public:
    VideoWidget(QWidget* parent, std::function<void()> firstDrawn, std::function<void()> goingAway)
        : QWidget(parent), m_firstDrawn(std::move(firstDrawn)), m_goingAway(std::move(goingAway)) {}
    ~VideoWidget() override {
        if (m_goingAway)
            m_goingAway();
    }
    void forget() {
        m_firstDrawn = nullptr;
        m_goingAway = nullptr;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (auto firstDrawn = std::exchange(m_firstDrawn, nullptr))
            firstDrawn();
    }
    bool event(QEvent* event) override {
        // The native window may go before the widget does: Qt destroys a top-level's windows,
        // children first, as soon as the window manager's close is accepted. libmpv's video
        // output lives inside this window and must end first, or its own X calls fail.
        if (event->type() == QEvent::WinIdChange) {
            if (QWindow* window = windowHandle())
                window->installEventFilter(this);
        }
        if (event->type() == QEvent::Show && m_firstDrawn) {
            if (QWindow* top = window()->windowHandle(); top && top != windowHandle())
                top->installEventFilter(this);
        }
        return QWidget::event(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched != windowHandle() && m_firstDrawn &&
            static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            std::exchange(m_firstDrawn, nullptr)();
        }
        if (watched == windowHandle() && event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed &&
            m_goingAway)
            m_goingAway();
        return QWidget::eventFilter(watched, event);
    }

private:
    std::function<void()> m_firstDrawn;
    std::function<void()> m_goingAway;
};

void paint(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

} // namespace

ZoomView zoomView(int x, int y, double ratio, int frameWidth, int frameHeight) {
    if (ratio == 0 || ratio == 1 || frameWidth <= 0 || frameHeight <= 0)
        return {};
    // With the zoomed picture's top-left corner at the window's, a pan of p moves it by p of its
    // own size: the point u (a part of the frame's size) stays put when p = u * (1 / ratio - 1).
    const double u = std::clamp(static_cast<double>(x) / frameWidth, 0.0, 1.0);
    const double v = std::clamp(static_cast<double>(y) / frameHeight, 0.0, 1.0);
    return {std::log2(ratio), -1, -1, u * (1 / ratio - 1), v * (1 / ratio - 1)};
}

VideoSurface::VideoSurface(QWidget* parent, std::function<void()> firstShown,
                           std::function<void()> goingAway) {
    auto* video = new VideoWidget(parent, std::move(firstShown), std::move(goingAway));
    m_video = video;
    video->setObjectName(QStringLiteral("dvdMain"));
    video->setAttribute(Qt::WA_NativeWindow);
    video->setAttribute(Qt::WA_DontCreateNativeAncestors);
    video->setAutoFillBackground(true);
    paint(video, Qt::black);
}

VideoSurface::~VideoSurface() {
    if (auto* video = static_cast<VideoWidget*>(m_video.data())) {
        video->forget();
        if (m_fullScreen) {
            if (m_savedParent) {
                video->setParent(m_savedParent);
                video->setGeometry(m_savedGeometry);
            } else {
                delete video;
            }
        }
    }
    delete m_fullWindow.data();
}

std::optional<std::int64_t> VideoSurface::nativeWindow() const {
    if (!m_video)
        return std::nullopt;
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return 0;
    return static_cast<std::int64_t>(m_video->winId());
}

void VideoSurface::setFullScreen(bool on) {
    QWidget* video = m_video;
    if (!video)
        throw EngineError("the video window is gone");
    if (on == m_fullScreen)
        return;
    if (!on) {
        video->setParent(m_savedParent);
        video->setGeometry(m_savedGeometry);
        video->show();
        if (m_fullWindow)
            m_fullWindow->hide();
        if (m_savedParent)
            m_savedParent->window()->activateWindow();
        m_fullScreen = false;
        return;
    }
    QScreen* screen = video->screen() ? video->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        throw EngineError("there is no screen");
    if (!m_fullWindow) {
        m_fullWindow = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
        m_fullWindow->setObjectName(QStringLiteral("dvdFullScreen"));
        m_fullWindow->setAutoFillBackground(true);
        m_fullWindow->setFocusPolicy(Qt::StrongFocus);
    }
    m_fullWindow->setPalette(video->palette());
    m_savedParent = video->parentWidget();
    m_savedGeometry = video->geometry();
    const QRect area = screen->geometry();
    m_fullWindow->setGeometry(area);
    video->setParent(m_fullWindow);
    video->setGeometry(0, 0, area.width(), area.height());
    video->show();
    m_fullWindow->showFullScreen();
    // Without a window manager showFullScreen() leaves the size alone.
    m_fullWindow->setGeometry(area);
    m_fullWindow->raise();
    m_fullWindow->activateWindow();
    m_fullWindow->setFocus(Qt::OtherFocusReason);
    m_fullScreen = true;
}

void VideoSurface::setBackground(std::uint32_t engineColour) {
    const QColor colour = colourFromEngine(engineColour);
    if (m_video)
        paint(m_video, colour);
    if (m_fullWindow)
        paint(m_fullWindow, colour);
    if (!m_video)
        throw EngineError("the video window is gone");
    m_background = colour.name(QColor::HexRgb).toLatin1();
}

} // namespace kavelo
