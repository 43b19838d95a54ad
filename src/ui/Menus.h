#pragma once

#include <QKeySequence>

#include <span>

namespace kavelo {

// One entry of the main window's menu tree. Top-level menus have depth 0, their items depth 1,
// the zoom submenu's items depth 2. A caption "-" is a separator line.
struct MenuEntry {
    const char* name;
    const char* caption;
    int depth;
    QKeyCombination shortcut; // empty when the item has none
};

// The whole tree in design order: "&File", "&Edit", "&Help", then the two menus that are
// only ever shown as pop-ups, "Pop Up" and "Time Pop Up".
std::span<const MenuEntry> menuTree();

namespace menu {
inline constexpr const char* kPopUp = "mnuPopUp";
inline constexpr const char* kTimePopUp = "mnuTimePopUp";
inline constexpr const char* kMuteOff = "Mute Off";
inline constexpr const char* kMuteOn = "Mute On";
} // namespace menu

} // namespace kavelo
