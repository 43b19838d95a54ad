#include "FrameWatch.h"

#include "Logging.h"

#include <QEvent>
#include <QTimer>
#include <QWindow>

namespace kavelo {

FrameWatch::FrameWatch(QWidget* window, std::function<void()> framed)
    : QObject(window), m_window(window), m_framed(std::move(framed)) {
    if (window)
        window->installEventFilter(this);
}

QMargins FrameWatch::frame() const {
    if (!m_window)
        return {};
    // The window's own answer is fresher than the widget's, which follows only moves.
    const QWindow* handle = m_window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

QRect FrameWatch::outerGeometry() const {
    if (!m_window)
        return {};
    return m_window->geometry().marginsAdded(frame());
}

bool FrameWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
        case QEvent::WindowActivate:
        case QEvent::WindowStateChange:
            // The window manager's reply comes after the event that caused it: look afterwards.
            if (!m_checkPending) {
                m_checkPending = true;
                QTimer::singleShot(0, this, [this] {
                    m_checkPending = false;
                    check();
                });
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void FrameWatch::check() {
    const QMargins now = frame();
    if (now == m_reported)
        return;
    m_reported = now;
    qCDebug(logging::platform) << m_window << "framed:" << now;
    if (m_framed) {
        try {
            m_framed();
        } catch (...) {
            logging::noteAbsorbed();
        }
    }
}

} // namespace kavelo
