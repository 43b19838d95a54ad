#pragma once

#include "Controls.h"
#include "DvdEngine.h"
#include "KeyState.h"

#include <QObject>
#include <QPointer>
#include <QProperty>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QTimer;

namespace kavelo {

// The main window's position display: the status bar and slider that follow playback
// (`timTime`), the time pop-up menu of full-screen mode (`timTimeMenu`) and seeking with the
// slider. It holds no state of its own beyond the controls it is given; every handler reads the
// engine afresh and drops whatever fails, one step at a time.
class PositionDisplay : public QObject {
    Q_OBJECT
public:
    // `menuItem` answers a menu item by name ("mnuPopUpTitle"...), nullptr when unknown;
    // `client` is the window's client area, whose top-left corner the time pop-up opens at.
    PositionDisplay(IDvdEngine& engine, PanelBar* staMain, SeekSlider* sliMain, QTimer* timTime,
                    QTimer* timTimeMenu, QMenu* mnuTimePopUp,
                    std::function<QAction*(const QString&)> menuItem, KeyStateLatch& keys,
                    QWidget* client, QObject* parent = nullptr);
    ~PositionDisplay() override;

    PositionDisplay(const PositionDisplay&) = delete;
    PositionDisplay& operator=(const PositionDisplay&) = delete;

    // The handlers, public so that tests can drive them without timers or a mouse.
    void timTime_Timer() noexcept;
    void timTimeMenu_Timer() noexcept;
    void sliMain_MouseDown() noexcept;
    void sliMain_MouseUp() noexcept;

private:
    IDvdEngine& m_engine;
    QPointer<PanelBar> staMain;
    QPointer<SeekSlider> sliMain;
    QPointer<QTimer> timTime;
    QPointer<QTimer> timTimeMenu;
    QPointer<QMenu> mnuTimePopUp;
    std::function<QAction*(const QString&)> m_menuItem;
    KeyStateLatch& m_keys;
    QPointer<QWidget> m_client;
    // Qt keeps running timers while a pop-up menu is open; a tick must not start inside itself.
    bool m_inTimeTick = false;
    bool m_inMenuTick = false;
    QPropertyNotifier m_timeMenuStarted;
};

} // namespace kavelo
