#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace kavelo {

// A window's frame (title bar and borders) is known only once the window manager has framed
// the window, some time after it was first shown. FrameWatch calls `framed` whenever the frame
// the windowing system reports differs from the one last reported, so that sizes and places
// that count the frame in can be set again. Without a window manager the frame stays empty and
// `framed` never runs.
class FrameWatch : public QObject {
    Q_OBJECT
public:
    FrameWatch(QWidget* window, std::function<void()> framed);

    // The frame as the windowing system reports it now (empty before the window is created).
    QMargins frame() const;
    // The window's outer rectangle on the screen, frame included.
    QRect outerGeometry() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();

    QPointer<QWidget> m_window;
    std::function<void()> m_framed;
    QMargins m_reported;
    bool m_checkPending = false;
};

} // namespace kavelo
