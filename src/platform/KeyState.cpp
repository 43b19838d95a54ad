#include "KeyState.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kavelo {
namespace {

int virtualKeyOfButton(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return KeyStateLatch::VK_RBUTTON;
    case Qt::MiddleButton:
        return 4;
    default:
        return -1;
    }
}

int virtualKeyOfKey(int key) {
    if (key == Qt::Key_Space)
        return KeyStateLatch::VK_SPACE;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    if (key == Qt::Key_Escape)
        return 27;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return 13;
    return -1;
}

bool validKey(int vk) {
    return vk >= 0 && vk < 256;
}

} // namespace

KeyStateLatch::KeyStateLatch(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

KeyStateLatch::~KeyStateLatch() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool KeyStateLatch::query(int virtualKey) {
    if (!validKey(virtualKey))
        return false;
    Key& k = m_keys[static_cast<std::size_t>(virtualKey)];
    const bool result = k.down || k.pressedSinceQuery;
    k.pressedSinceQuery = false;
    return result;
}

void KeyStateLatch::press(int virtualKey) {
    if (!validKey(virtualKey))
        return;
    Key& k = m_keys[static_cast<std::size_t>(virtualKey)];
    k.down = true;
    k.pressedSinceQuery = true;
}

void KeyStateLatch::discard(int virtualKey) {
    if (validKey(virtualKey))
        m_keys[static_cast<std::size_t>(virtualKey)] = Key{};
}

void KeyStateLatch::release(int virtualKey) {
    if (validKey(virtualKey))
        m_keys[static_cast<std::size_t>(virtualKey)].down = false;
}

bool KeyStateLatch::eventFilter(QObject* watched, QEvent* event) {
    // A press that a child ignores reaches its parent too; counting it twice is harmless.
    if (!watched->isWidgetType())
        return false;
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease && type != QEvent::KeyPress &&
        type != QEvent::KeyRelease)
        return false;
    if (m_inScope && !m_inScope(static_cast<QWidget*>(watched)))
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        // A press inside an open pop-up menu chooses from that menu; it is not a press for
        // the program to react to once the menu has closed.
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window()->windowType() == Qt::Popup &&
            widget->window()->rect().contains(
                widget->window()->mapFromGlobal(me->globalPosition().toPoint())))
            break;
        press(virtualKeyOfButton(me->button()));
        break;
    }
    case QEvent::MouseButtonRelease:
        release(virtualKeyOfButton(static_cast<QMouseEvent*>(event)->button()));
        break;
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (!ke->isAutoRepeat())
            press(virtualKeyOfKey(ke->key()));
        break;
    }
    case QEvent::KeyRelease: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (!ke->isAutoRepeat())
            release(virtualKeyOfKey(ke->key()));
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace kavelo
