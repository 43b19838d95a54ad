#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace kavelo {

class IDvdEngine;

// Keeps the engine's full-screen picture usable while the main window lies behind it:
// - the window manager's close (Alt+F4), Esc and a double click on the picture leave full
//   screen through `leave`, the same steps as the pop-up's "Exit FullScreen Mode";
// - when a dialog or another window of the program closes, the picture comes back on top, so
//   the main window does not end up over it.
class FullScreenGuard : public QObject {
    Q_OBJECT
public:
    FullScreenGuard(IDvdEngine& engine, QWidget* mainWindow, std::function<void()> leave,
                    QObject* parent = nullptr);
    ~FullScreenGuard() override;

    // The top-level window that shows the picture full screen, nullptr while windowed.
    QWidget* fullScreenWindow() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void leaveLater();
    void raiseLater();

    IDvdEngine& m_engine;
    QPointer<QWidget> m_main;
    std::function<void()> m_leave;
    bool m_leavePending = false;
    bool m_raisePending = false;
};

} // namespace kavelo
