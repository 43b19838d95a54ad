#pragma once

#include <QObject>
#include <QPoint>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QTimer;

namespace kavelo {

class KeyStateLatch;
class PictureBox;
class PlaybackCommands;

// The eight picture buttons in their row's order: play, pause, stop, previous chapter,
// next chapter, rewind, fast forward, full screen.
using PictureButtons = std::array<PictureBox*, 8>;

// Connects every menu item and picture button that drives the disc to its command.
// `item` finds a menu item by name. The connections live as long as `context`.
void wirePlaybackControls(PlaybackCommands& commands,
                          const std::function<QAction*(const QString&)>& item,
                          const PictureButtons& buttons, QObject* context);

// Opens the pop-up menu at the pointer on the first tick of `timMenu` after the right mouse
// button went down in one of Kavelo's windows. While the menu is open no second one opens.
class PopUpTrigger : public QObject {
    Q_OBJECT
public:
    using ShowMenu = std::function<void(QMenu* menu, QPoint globalPos)>;

    PopUpTrigger(QTimer* timMenu, QMenu* mnuPopUp, KeyStateLatch& keys, QObject* parent = nullptr);

    // How the menu is shown (by default: QMenu::exec at the position, waiting for it to close).
    void setShowMenu(ShowMenu show) { m_show = std::move(show); }
    bool menuOpen() const { return m_open; }

    void timMenu_Timer() noexcept;

private:
    QMenu* m_menu;
    KeyStateLatch& m_keys;
    ShowMenu m_show;
    bool m_open = false;
};

} // namespace kavelo
