#pragma once

#include "NavSource.h"
#include "Subpicture.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavelo {

// A finite piece of a menu, ready to be played as a file of its own.
struct MenuPiece {
    NavDomain domain = NavDomain::DiscMenu;
    int titleSet = 0;
    int pgc = 0;
    std::vector<std::uint8_t> data; // whole 2048-byte packs of the program stream
    // How the piece ends: held for `stillSeconds` (255 for ever), looping back to its start,
    // or going on to whatever the disc's program does next (continueAfterPiece()).
    enum class End { Still, Loop, Continue } end = End::Continue;
    int stillSeconds = 0;
    bool cut = false; // the piece was cut short by a read error or a bound
};

// A title to play, with the registers the disc's program has set.
struct TitleStart {
    int title = 1;    // 1-based
    int chapter = 1;  // 1-based
    double start = 0; // seconds from the title's start
    NavStreams streams;
};

// What the navigator decided the player should do next.
struct NavDecision {
    enum class Kind {
        Menu,  // show `menu`
        Title, // play `title`
        End,   // the disc's program ended
        Stay,  // nothing changes (a button whose command leads nowhere)
        Failed // the disc's program could not be followed within the bounds; see `reason`
    };
    Kind kind = Kind::Failed;
    MenuPiece menu;
    TitleStart title;
    std::string reason;
};

// Bounds on every run of the machine: a broken disc must never keep the player waiting.
struct NavLimits {
    int maxEvents = 200000;
    std::size_t maxPieceBytes = std::size_t(64) << 20;
    std::chrono::milliseconds budget{3000};
};

// Follows a disc's program on its virtual machine and decides where playback goes: a menu piece
// to show, a title to play, or the end of the disc. It stops reading when a title starts (the
// player plays titles itself) and goes on when the player reports the title's end.
class Navigator {
public:
    explicit Navigator(std::unique_ptr<NavSource> source, NavLimits limits = {});

    // Runs the disc from where its machine stands (its first-play program when fresh).
    NavDecision start();
    // The menu piece on screen ended without a still or a loop: the program goes on.
    NavDecision continueAfterPiece();
    // The playing title reached its end: its program chain's closing commands run.
    NavDecision titleEnded();
    // The user asks for the disc's menu `seconds` into the playing title (or from a menu).
    NavDecision openMenu(double seconds);
    // The player goes to title `title` on its own (a bookmark): the machine follows it there, so
    // that the title's closing commands run at its end. Title when the machine entered it.
    NavDecision playTitle(int title);
    // From a menu back into the title at the point the menu was called from, as the disc's own
    // resume command goes: Title, or Stay when the machine has no such point.
    NavDecision resume();
    // The disc's registers while a title plays (nullopt elsewhere), and setting them.
    std::optional<NavRegisters> registers() { return m_source->registers(); }
    bool setRegisters(const NavRegisters& registers) { return m_source->setRegisters(registers); }

    // Menu interaction while a menu piece is on screen.
    bool inMenu() const { return m_inMenu; }
    int buttonCount() const;
    int selectedButton() const;
    bool move(NavDirection direction); // true when the selection changed
    bool pointAt(int x, int y);        // frame coordinates; true when the selection changed
    NavDecision activate();            // the selected button
    NavDecision clickAt(int x, int y); // Stay when there is no button under the point
    std::optional<ButtonHighlight> highlightArea(bool activated) const;
    // The highlight of the selected button drawn over the menu's subpicture; empty when the menu
    // has no subpicture or nothing of it shows.
    OverlayPicture highlightPicture(bool activated);

    const MenuPiece* currentMenu() const { return m_inMenu ? &m_menu : nullptr; }

private:
    enum class Mode { Follow, LeaveTitle };
    NavDecision run(Mode mode);
    NavDecision enterTitle(std::chrono::steady_clock::time_point deadline, int& events);
    NavDecision finishPiece(MenuPiece::End end, int stillSeconds, bool cut);
    NavDecision fail(std::string reason);

    std::unique_ptr<NavSource> m_source;
    NavLimits m_limits;

    bool m_inMenu = false;
    MenuPiece m_menu;
    std::array<std::uint32_t, 16> m_palette{};
    int m_subpictureStream = 0;
    std::optional<SubpictureImage> m_menuSubpicture; // decoded on first use per piece
    bool m_subpictureLoaded = false;

    // An event that ended a run and belongs to the next one (the first cell of a jump, the
    // start of a title, the end of the program).
    std::optional<NavEvent> m_pushedBack;
};

} // namespace kavelo
