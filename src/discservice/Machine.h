#pragma once

// The disc's virtual machine (libdvdnav), answering the service's machine requests.

#include <dvdnav/dvdnav.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kavelo::discservice {

class Machine {
public:
    // Opens the machine at the disc's first-play program; nullptr when libdvdnav cannot.
    static std::unique_ptr<Machine> open(const std::string& place);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Events read on until a still, a wait, the end, an error, `maxBytes` of blocks or the
    // batch's time; then the state.
    std::string next(std::size_t maxBytes);
    // The state lines after a request ("s" and "b").
    std::string state();

    bool skipStill();
    bool skipWait();
    bool select(int button);
    bool move(const std::string& direction);
    bool point(int x, int y);
    bool activate();
    bool toChainEnd();
    bool toTime(std::uint64_t ticks);
    bool callMenu(bool root);
    bool playTitle(int title);
    // From a menu: back into the title at the point the menu was called from (the disc's own
    // resume). False when the machine has no such point.
    bool resume();
    // "r AUDIO SUBPICTURE ANGLE G0 .. G15": the stream and angle registers and the general
    // registers, as they stand; empty outside a title, the only place they can be read.
    std::string registers();
    // Sets the stream and angle registers and the general registers.
    bool setRegisters(const std::array<std::uint16_t, 19>& values);
    // "area SX SY EX EY PALETTE" of `button`, empty when it has none.
    std::string highlight(int button, bool activated);

private:
    explicit Machine(dvdnav_t* nav) : m_nav(nav) {}
    pci_t* pci() { return dvdnav_get_current_nav_pci(m_nav); }
    std::string placeLine();
    // Runs one command of the machine's language, as a button would.
    bool run(const std::array<std::uint8_t, 8>& command);
    std::optional<std::uint16_t> readRegister(std::uint8_t reg);
    int subpictureRegister();

    dvdnav_t* m_nav;
    std::array<std::uint8_t, 2048> m_buf{};
    int m_titleSet = 0;
};

} // namespace kavelo::discservice
