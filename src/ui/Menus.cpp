#include "Menus.h"

#include <array>

namespace kavelo {
namespace {

constexpr QKeyCombination none{};
constexpr QKeyCombination ctrl(Qt::Key key) {
    return QKeyCombination(Qt::ControlModifier, key);
}

constexpr std::array kTree = {
    MenuEntry{"mnuFile", "&File", 0, none},
    MenuEntry{"mnuKavelo", "Kavelo ROM", 1, ctrl(Qt::Key_P)},
    MenuEntry{"mnuDifferent", "Choose Different Drive/Directory", 1, ctrl(Qt::Key_D)},
    MenuEntry{"mnuMultimediaFiles", "Play Multimedia Files", 1, none},
    MenuEntry{"mnuline3", "-", 1, none},
    MenuEntry{"mnuStopDVD", "Stop Playing", 1, ctrl(Qt::Key_S)},
    MenuEntry{"mnuPause", "Pause", 1, none},
    MenuEntry{"mnuResume", "Resume", 1, none},
    MenuEntry{"mnuSelChap", "Select Chapters", 1, none},
    MenuEntry{"mnuNext", "Next Chapter", 1, none},
    MenuEntry{"mnuPrevious", "Previous Chapter", 1, none},
    MenuEntry{"mnuLine2", "-", 1, none},
    MenuEntry{"mnuExit", "Exit", 1, none},
    MenuEntry{"mnuEdit", "&Edit", 0, none},
    MenuEntry{"mnuAngles", "Angles", 1, none},
    MenuEntry{"mnuline", "-", 1, none},
    MenuEntry{"mnuAddBookMark", "Add BookMark", 1, ctrl(Qt::Key_A)},
    MenuEntry{"mnuRestoreBookMark", "Restore BookMark", 1, ctrl(Qt::Key_R)},
    MenuEntry{"mnuHelp", "&Help", 0, none},
    MenuEntry{"mnuAbout", "About", 1, none},
    MenuEntry{"mnuPopUp", "Pop Up", 0, none},
    MenuEntry{"mnuPopPlay", "Kavelo ROMs", 1, none},
    MenuEntry{"mnuPopDifferent", "Choose Different Drive/Directory", 1, none},
    MenuEntry{"mnuMultimedia2", "Play Multimedia Files", 1, none},
    MenuEntry{"mnuPopLine6", "-", 1, none},
    MenuEntry{"mnuPopStop", "Stop Playing", 1, none},
    MenuEntry{"mnuPopPause", "Pause", 1, none},
    MenuEntry{"mnuPopResume", "Resume", 1, none},
    MenuEntry{"mnuPopSelectChapter", "Select Chapter", 1, none},
    MenuEntry{"mnuPopNextChapter", "Next Chapter", 1, none},
    MenuEntry{"mnuPopPreviousChapter", "Previous Chapter", 1, none},
    MenuEntry{"mnuline7", "-", 1, none},
    MenuEntry{"mnuPopMuteOn", "Mute Off", 1, none},
    MenuEntry{"mnuPopLine2", "-", 1, none},
    MenuEntry{"mnuPopBookMark", "Add BookMark", 1, none},
    MenuEntry{"mnuPopRestoreBookMark", "Restore BookMark", 1, none},
    MenuEntry{"mnuPopLine3", "-", 1, none},
    MenuEntry{"mnuPopFull", "FullScreen Mode", 1, none},
    MenuEntry{"mnuPopExitFull", "Exit FullScreen Mode", 1, none},
    MenuEntry{"mnuPopLine1234", "-", 1, none},
    MenuEntry{"mnuZoom", "Zoom", 1, none},
    MenuEntry{"mnuZoom4x", "Zoom 4x", 2, none},
    MenuEntry{"mnuZoomOff", "Zoom Off", 2, none},
    MenuEntry{"mnuPopLine4", "-", 1, none},
    MenuEntry{"mnuPopAbout", "About", 1, none},
    MenuEntry{"mnuPopLine5", "-", 1, none},
    MenuEntry{"mnuPopExit", "Exit", 1, none},
    MenuEntry{"mnuTimePopUp", "Time Pop Up", 0, none},
    MenuEntry{"mnuPopUpCurrentTitle", "Current Title", 1, none},
    MenuEntry{"mnuPopUpTitle", "Title", 1, none},
    MenuEntry{"mnuLinePopUp1", "-", 1, none},
    MenuEntry{"mnuPopUpCurrentChapter", "Current Chapter", 1, none},
    MenuEntry{"mnuPopUpChapter", "Chapter", 1, none},
    MenuEntry{"mnuLinePopUp2", "-", 1, none},
    MenuEntry{"mnuPopUpCurrentTime", "Current Time", 1, none},
    MenuEntry{"mnuPopUpTime", "Time", 1, none},
    MenuEntry{"mnuLinePopUp3", "-", 1, none},
    MenuEntry{"mnuPopUpTotalTime", "Total Time", 1, none},
    MenuEntry{"mnuPopUpTotal", "Total", 1, none},
};

} // namespace

std::span<const MenuEntry> menuTree() {
    return kTree;
}

} // namespace kavelo
