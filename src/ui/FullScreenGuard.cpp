#include "FullScreenGuard.h"

#include "DvdEngine.h"
#include "Logging.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

namespace kavelo {

FullScreenGuard::FullScreenGuard(IDvdEngine& engine, QWidget* mainWindow,
                                 std::function<void()> leave, QObject* parent)
    : QObject(parent), m_engine(engine), m_main(mainWindow), m_leave(std::move(leave)) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

FullScreenGuard::~FullScreenGuard() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

QWidget* FullScreenGuard::fullScreenWindow() const {
    try {
        // Only in full screen does the video stand in a window of its own; that is asked
        // first, since this runs for many events.
        QWidget* video = m_engine.widget();
        QWidget* window = video ? video->window() : nullptr;
        if (!window || window == m_main)
            return nullptr;
        return m_engine.FullScreenMode() ? window : nullptr;
    } catch (...) {
        logging::noteAbsorbed();
        return nullptr;
    }
}

bool FullScreenGuard::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::Close && type != QEvent::KeyPress && type != QEvent::MouseButtonDblClick &&
         type != QEvent::Hide) ||
        !watched->isWidgetType())
        return false;
    QWidget* full = fullScreenWindow();
    if (!full)
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (type) {
    case QEvent::Close:
        if (widget == full) {
            // Closing the picture's window would leave the video nowhere: go back instead.
            event->ignore();
            leaveLater();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (widget->window() == full && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            leaveLater();
            return true;
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (widget->window() == full) {
            leaveLater();
            return true;
        }
        break;
    case QEvent::Hide:
        // A dialog or window of ours went away: the window manager may have raised the main
        // window with it.
        if (widget->isWindow() && widget != full && widget->windowType() != Qt::Popup &&
            widget->windowType() != Qt::ToolTip)
            raiseLater();
        break;
    default:
        break;
    }
    return false;
}

void FullScreenGuard::leaveLater() {
    // Not inside the event: leaving moves the video out of the window that is handling it.
    if (m_leavePending)
        return;
    m_leavePending = true;
    QTimer::singleShot(0, this, [this] {
        m_leavePending = false;
        qCDebug(logging::dvd) << "leaving full screen at the user's request";
        if (m_leave)
            m_leave();
    });
}

void FullScreenGuard::raiseLater() {
    if (m_raisePending)
        return;
    m_raisePending = true;
    QTimer::singleShot(0, this, [this] {
        m_raisePending = false;
        QWidget* full = fullScreenWindow();
        if (!full || QApplication::activeModalWidget())
            return;
        full->raise();
        full->activateWindow();
    });
}

} // namespace kavelo
