#include "MenuInput.h"

#include "DvdEngine.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>

#include <optional>

namespace kavelo {

namespace {

Q_LOGGING_CATEGORY(lcMenuInput, "kavelo.menus.input", QtInfoMsg)

std::optional<MenuMove> moveFor(int key) {
    switch (key) {
    case Qt::Key_Up:
        return MenuMove::Up;
    case Qt::Key_Down:
        return MenuMove::Down;
    case Qt::Key_Left:
        return MenuMove::Left;
    case Qt::Key_Right:
        return MenuMove::Right;
    default:
        return std::nullopt;
    }
}

} // namespace

MenuInput::MenuInput(QWidget* video, IDvdMenus& menus, QObject* parent)
    : QObject(parent), m_video(video), m_menus(menus) {
    if (video)
        video->setMouseTracking(true);
    qApp->installEventFilter(this);
}

MenuInput::~MenuInput() {
    qApp->removeEventFilter(this);
}

bool MenuInput::key(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_video->window())
        return false;
    const auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() == Qt::Key_M && (press->modifiers() & Qt::ControlModifier)) {
        m_menus.callMenu();
        return true;
    }
    if (!m_menus.menuShowing() || press->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    // Escape leaves a menu called in a title back into it; else it does what it does elsewhere.
    if (press->key() == Qt::Key_Escape)
        return m_menus.resumeTitle();
    if (press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter) {
        m_menus.activateSelection();
        return true;
    }
    const std::optional<MenuMove> move = moveFor(press->key());
    if (!move)
        return false;
    m_menus.moveSelection(*move);
    return true;
}

bool MenuInput::eventFilter(QObject* watched, QEvent* event) {
    if (!m_video || !m_menus.menuFollowed())
        return false;
    try {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress)
            return key(watched, event);
        if (watched != m_video || !m_menus.menuShowing())
            return false;
        if (type == QEvent::Resize) {
            m_menus.videoResized();
            return false;
        }
        if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress && mouse->button() != Qt::LeftButton)
            return false; // the right button keeps opening the pop-up menu
        // libmpv measures its window in device pixels.
        const QPointF at = mouse->position() * m_video->devicePixelRatioF();
        m_menus.pointerAt(QPoint(static_cast<int>(at.x()), static_cast<int>(at.y())),
                          type == QEvent::MouseButtonPress);
    } catch (const std::exception& e) {
        qCWarning(lcMenuInput) << "menu input dropped:" << e.what();
    }
    return false;
}

} // namespace kavelo
