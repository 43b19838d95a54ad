#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace kavelo {

// Holds the X server's own screen saver and its display power saving (DPMS) off while asked,
// through the MIT-SCREEN-SAVER extension's suspend request on the program's own X connection.
// The server ends a suspension when the connection goes, so a program that dies leaves
// nothing held. Without an X connection (another windowing platform), or on a server without
// the extension (version 1.1), nothing happens and a kavelo.desktop debug line says why.
class XScreenSaverSuspend {
public:
    // The connection Qt's windowing platform uses, when that is X11.
    XScreenSaverSuspend();
    // On this connection (tests); nullptr: none.
    explicit XScreenSaverSuspend(xcb_connection_t* connection);
    ~XScreenSaverSuspend();

    XScreenSaverSuspend(const XScreenSaverSuspend&) = delete;
    XScreenSaverSuspend& operator=(const XScreenSaverSuspend&) = delete;

    void setSuspended(bool on) noexcept;
    // Whether the server has been asked to hold the screen saver off now.
    bool suspended() const { return m_suspended; }

private:
    bool usable();

    xcb_connection_t* m_connection = nullptr;
    enum class Support : std::uint8_t { Unknown, Yes, No };
    Support m_support = Support::Unknown;
    bool m_suspended = false;
};

} // namespace kavelo
