#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace kavelo {

// A secondary window that exists at most once: created when first shown, modeless, with no
// owner, brought forward when shown again, destroyed when closed.
template <class W> class SingleWindow {
public:
    using Factory = std::function<W*()>;

    explicit SingleWindow(Factory factory) : m_factory(std::move(factory)) {}

    W* show() {
        if (!m_window) {
            m_window = m_factory();
            if (!m_window)
                return nullptr;
            m_window->setAttribute(Qt::WA_DeleteOnClose, true);
        }
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return m_window;
    }

    // Closes (and so destroys) the window when it is open; nothing otherwise.
    void close() {
        if (m_window)
            m_window->close();
    }

    W* get() const { return m_window; }
    bool isOpen() const { return !m_window.isNull(); }

private:
    Factory m_factory;
    QPointer<W> m_window;
};

} // namespace kavelo
