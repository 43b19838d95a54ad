#include "BusyPointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

namespace kavelo {

BusyPointer::~BusyPointer() {
    hide();
}

void BusyPointer::show() {
    if (m_shown || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    // The X server is told at once: the window shows nothing else until the step is over.
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    m_shown = true;
    QTimer::singleShot(0, &m_timers, [this] { hide(); });
}

void BusyPointer::hide() {
    if (!m_shown)
        return;
    m_shown = false;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace kavelo
