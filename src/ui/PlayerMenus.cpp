#include "PlayerMenus.h"

#include "Controls.h"
#include "KeyState.h"
#include "Logging.h"
#include "PlaybackCommands.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTimer>

namespace kavelo {
namespace {

using Command = void (PlaybackCommands::*)() noexcept;

struct ItemCommand {
    const char* item;
    Command command;
};

constexpr ItemCommand kItems[] = {
    {"mnuKavelo", &PlaybackCommands::dPlay},
    {"mnuStopDVD", &PlaybackCommands::dStop},
    {"mnuPause", &PlaybackCommands::dPause},
    {"mnuResume", &PlaybackCommands::dResume},
    {"mnuSelChap", &PlaybackCommands::dSelectChapter},
    {"mnuNext", &PlaybackCommands::dNextChapter},
    {"mnuPrevious", &PlaybackCommands::dPreviousChapter},
    {"mnuAddBookMark", &PlaybackCommands::dSaveBookmark},
    {"mnuRestoreBookMark", &PlaybackCommands::dRestoreBookmark},
    {"mnuPopPlay", &PlaybackCommands::dPlay},
    {"mnuPopStop", &PlaybackCommands::dStop},
    {"mnuPopPause", &PlaybackCommands::dPause},
    {"mnuPopResume", &PlaybackCommands::dResume},
    {"mnuPopSelectChapter", &PlaybackCommands::dSelectChapter},
    {"mnuPopNextChapter", &PlaybackCommands::dNextChapter},
    {"mnuPopPreviousChapter", &PlaybackCommands::dPreviousChapter},
    {"mnuPopMuteOn", &PlaybackCommands::dMuteOnOff},
    {"mnuPopBookMark", &PlaybackCommands::dSaveBookmark},
    {"mnuPopRestoreBookMark", &PlaybackCommands::dRestoreBookmark},
    {"mnuPopFull", &PlaybackCommands::dFullScreen},
    {"mnuPopExitFull", &PlaybackCommands::exitFullScreen},
    {"mnuZoom4x", &PlaybackCommands::zoom4x},
    {"mnuZoomOff", &PlaybackCommands::zoomOff},
};

} // namespace

void wirePlaybackControls(PlaybackCommands& commands,
                          const std::function<QAction*(const QString&)>& item,
                          const PictureButtons& buttons, QObject* context) {
    PlaybackCommands* target = &commands;
    for (const ItemCommand& ic : kItems) {
        if (QAction* a = item(QString::fromLatin1(ic.item))) {
            const Command command = ic.command;
            QObject::connect(a, &QAction::triggered, context,
                             [target, command] { (target->*command)(); });
        }
    }
    constexpr Command pictures[] = {
        &PlaybackCommands::dPlay,        &PlaybackCommands::dPause,
        &PlaybackCommands::dStop,        &PlaybackCommands::dPreviousChapter,
        &PlaybackCommands::dNextChapter, &PlaybackCommands::fastBackwards,
        &PlaybackCommands::fastForwards, &PlaybackCommands::dFullScreen,
    };
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (PictureBox* box = buttons[i]) {
            const Command c = pictures[i];
            QObject::connect(box, &PictureBox::clicked, context, [target, c] { (target->*c)(); });
        }
    }
}

PopUpTrigger::PopUpTrigger(QTimer* timMenu, QMenu* mnuPopUp, KeyStateLatch& keys, QObject* parent)
    : QObject(parent), m_menu(mnuPopUp), m_keys(keys),
      m_show([](QMenu* menu, QPoint pos) { menu->exec(pos); }) {
    connect(timMenu, &QTimer::timeout, this, &PopUpTrigger::timMenu_Timer);
}

void PopUpTrigger::timMenu_Timer() noexcept {
    // Timers keep ticking while a menu is open; the press waits for the menu to close.
    if (m_open || QApplication::activePopupWidget())
        return;
    try {
        if (!m_keys.query(KeyStateLatch::VK_RBUTTON) || !m_menu)
            return;
        m_open = true;
        m_show(m_menu, QCursor::pos());
    } catch (...) {
        logging::noteAbsorbed();
    }
    m_open = false;
}

} // namespace kavelo
