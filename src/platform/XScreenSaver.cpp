#include "XScreenSaver.h"

#include "SessionBus.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <memory>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace kavelo {

namespace {

xcb_connection_t* qtConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return nullptr;
    if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>())
        return x11->connection();
    return nullptr;
}

} // namespace

XScreenSaverSuspend::XScreenSaverSuspend() : XScreenSaverSuspend(qtConnection()) {}

XScreenSaverSuspend::XScreenSaverSuspend(xcb_connection_t* connection) : m_connection(connection) {
    if (!m_connection) {
        m_support = Support::No;
        qCDebug(lcDesktop) << "X screen saver: no X connection, left alone";
    }
}

XScreenSaverSuspend::~XScreenSaverSuspend() {
    setSuspended(false);
}

bool XScreenSaverSuspend::usable() {
    if (m_support != Support::Unknown)
        return m_support == Support::Yes;
    m_support = Support::No;
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_connection, &xcb_screensaver_id);
    if (!extension || !extension->present) {
        qCDebug(lcDesktop) << "X screen saver: the server has no MIT-SCREEN-SAVER extension";
        return false;
    }
    // Suspend came with version 1.1.
    const std::unique_ptr<xcb_screensaver_query_version_reply_t, decltype(&std::free)> version(
        xcb_screensaver_query_version_reply(
            m_connection, xcb_screensaver_query_version(m_connection, 1, 1), nullptr),
        &std::free);
    if (!version || version->server_major_version < 1 ||
        (version->server_major_version == 1 && version->server_minor_version < 1)) {
        qCDebug(lcDesktop) << "X screen saver: the server's extension cannot suspend";
        return false;
    }
    m_support = Support::Yes;
    return true;
}

void XScreenSaverSuspend::setSuspended(bool on) noexcept {
    if (on == m_suspended || !m_connection || xcb_connection_has_error(m_connection))
        return;
    if (!usable())
        return;
    // A saver already on stays on through a suspension: a video starting plays on a woken
    // screen, as after a key press.
    if (on)
        xcb_force_screen_saver(m_connection, XCB_SCREEN_SAVER_RESET);
    // Suspensions count up per client: one request each way keeps the count at one or none.
    xcb_screensaver_suspend(m_connection, on ? 1 : 0);
    xcb_flush(m_connection);
    m_suspended = on;
    qCDebug(lcDesktop) << (on ? "X screen saver suspended" : "X screen saver released");
}

} // namespace kavelo
