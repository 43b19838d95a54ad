#pragma once

#include "Subpicture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace kavelo {

// A still time that lasts until the viewer goes on (the disc's own value for it).
inline constexpr int kInfiniteStill = 255;

// Where a disc's program is: its first-play program, one of its menus, a title, or nowhere.
enum class NavDomain { FirstPlay, DiscMenu, TitleSetMenu, Title, Stopped };

// What the disc's virtual machine reports while it reads, one event per call.
struct NavEvent {
    enum class Kind {
        Block,            // a 2048-byte pack of the program stream in `block`
        NavPacket,        // a navigation pack in `block` (buttons and highlights may have changed)
        Still,            // the picture holds: `value` seconds, 255 for ever, until skipStill()
        Wait,             // the machine waits for the output to drain; skipWait() goes on
        CellChange,       // a new cell starts: `value` is its number in the program chain
        DomainChange,     // the machine moved to another domain or title set
        Palette,          // the program chain's colour table, in `palette`
        SubpictureStream, // the subpicture stream to show: `value` (0..31)
        Jump,             // the machine jumped (a button, a command, a search)
        Stop,             // the program ended: nothing more plays
        Nothing,          // nothing happened this time
        Error,            // the disc could not be read here
    };
    Kind kind = Kind::Nothing;
    std::span<const std::uint8_t> block;
    int value = 0;
    std::array<std::uint32_t, 16> palette{};
};

// Where the machine stands now.
struct NavPlace {
    NavDomain domain = NavDomain::Stopped;
    int titleSet = 0; // 0 for the disc's own menus and the first-play program
    int title = 0;    // 1-based disc title in the Title domain, else 0
    int chapter = 0;  // 1-based chapter in the Title domain, else 0
    int pgc = 0;      // program chain number within its domain, 0 when unknown
};

// The machine's stream and angle registers as a title would play them.
struct NavStreams {
    int audio = 0;       // logical audio stream, -1 for none
    int subpicture = -1; // the subpicture register: logical stream, +64 shown; -1 for none
    int angle = 1;
};

// The disc's registers a bookmark keeps: the raw audio, subpicture and angle registers and the
// sixteen general registers its program keeps its choices in.
struct NavRegisters {
    int audio = 0;
    int subpicture = 0;
    int angle = 1;
    std::array<std::uint16_t, 16> general{};
    bool operator==(const NavRegisters&) const = default;
};

enum class NavDirection { Up, Down, Left, Right };
enum class NavMenu { Root, Title };

// A disc's virtual machine, read one block at a time: the disc service's on a real disc, a
// scripted machine in tests. Every call returns within a deadline; nothing here waits for time
// to pass.
class NavSource {
public:
    virtual ~NavSource() = default;

    virtual NavEvent next() = 0;
    virtual void skipStill() = 0;
    virtual void skipWait() = 0;

    virtual NavPlace place() = 0;
    // Seconds from the start of the playing program chain, as of the last navigation pack.
    virtual double chainTime() = 0;
    virtual NavStreams streams() = 0;

    // Buttons of the menu on screen, as of the last navigation pack (0 when none).
    virtual int buttonCount() = 0;
    virtual int selectedButton() = 0;
    virtual bool selectButton(int button) = 0;
    virtual bool moveSelection(NavDirection direction) = 0;
    // Runs the selected button's command; false when the machine refused it.
    virtual bool activate() = 0;
    // Selects the button under a point of the frame; false when there is none.
    virtual bool selectAt(int x, int y) = 0;
    virtual std::optional<ButtonHighlight> highlight(int button, bool activated) = 0;

    // Moves to the last sector of the playing program chain.
    virtual bool toChainEnd() = 0;
    // Moves to `seconds` into the playing program chain.
    virtual bool toTime(double seconds) = 0;
    virtual bool callMenu(NavMenu menu) = 0;
    // Jumps to the start of the 1-based disc title `title`, as a title key of a remote would.
    virtual bool toTitle(int title) = 0;

    // From a menu, back into the title at the point the menu was called from; false when the
    // machine has no such point.
    virtual bool resume() { return false; }
    // The registers, readable while a title plays; nullopt elsewhere or when they cannot be.
    virtual std::optional<NavRegisters> registers() { return std::nullopt; }
    virtual bool setRegisters(const NavRegisters&) { return false; }

    // The machine was lost (its service broke where it could not be taken up again): nothing
    // more can be asked of it.
    virtual bool lost() const { return false; }
};

} // namespace kavelo
