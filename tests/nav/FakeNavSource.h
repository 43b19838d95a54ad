#pragma once

#include "NavSource.h"

#include <deque>
#include <vector>

namespace kavelo::test {

// A scripted disc machine: program chains of cells, each cell a number of packs; buttons and
// closing commands that jump between chains. It reports events in the order libdvdnav does
// (domain change, cell change, navigation pack, packs, still, next cell or closing command).
struct FakeJump {
    enum class Kind { None, Chain, Stop, Nowhere } kind = Kind::None;
    int chain = 0; // index into FakeDisc::chains
    int cell = 1;  // 1-based
    static FakeJump to(int chain, int cell = 1) { return {Kind::Chain, chain, cell}; }
    static FakeJump stop() { return {Kind::Stop, 0, 1}; }
    static FakeJump nowhere() { return {Kind::Nowhere, 0, 1}; }
};

struct FakeCell {
    int packs = 4;
    int still = 0;   // seconds the cell's last picture holds; 255 for ever
    int failAt = -1; // reading its pack number `failAt` fails
    double seconds = 2.0;
    int chapter = 1; // in titles
};

struct FakeChain {
    NavDomain domain = NavDomain::DiscMenu;
    int titleSet = 0;
    int pgc = 1;
    int title = 0; // in titles
    std::vector<FakeCell> cells;
    FakeJump post;                 // the closing command
    std::vector<FakeJump> buttons; // menus
};

class FakeNavSource final : public NavSource {
public:
    std::vector<FakeChain> chains;
    FakeJump firstPlay;
    int reads = 0; // next() calls, to prove bounds

    NavEvent next() override {
        ++reads;
        if (!m_queue.empty()) {
            NavEvent ev = m_queue.front();
            m_queue.pop_front();
            return ev;
        }
        if (m_stopped)
            return event(NavEvent::Kind::Stop);
        if (m_chain < 0) { // the first-play program: commands only
            follow(firstPlay);
            return event(NavEvent::Kind::Nothing);
        }
        FakeChain& c = chains[static_cast<std::size_t>(m_chain)];
        if (c.cells.empty()) {
            follow(c.post);
            return event(NavEvent::Kind::Jump);
        }
        if (!m_announced) {
            m_announced = true;
            NavEvent ev = event(NavEvent::Kind::CellChange);
            ev.value = m_cell + 1;
            return ev;
        }
        const FakeCell& cell = c.cells[static_cast<std::size_t>(m_cell)];
        if (m_pack < cell.packs) {
            if (m_pack == cell.failAt)
                return event(NavEvent::Kind::Error);
            NavEvent ev = event(m_pack == 0 ? NavEvent::Kind::NavPacket : NavEvent::Kind::Block);
            m_lastNavCell = m_cell;
            m_lastNavPack = m_pack;
            m_data.assign(2048, static_cast<std::uint8_t>(m_pack));
            ev.block = m_data;
            ++m_pack;
            return ev;
        }
        if (cell.still && !m_stillSkipped) {
            NavEvent ev = event(NavEvent::Kind::Still);
            ev.value = cell.still;
            return ev;
        }
        if (m_cell + 1 < static_cast<int>(c.cells.size())) {
            ++m_cell;
            m_pack = 0;
            m_announced = false;
            m_stillSkipped = false;
            return event(NavEvent::Kind::Nothing);
        }
        follow(c.post);
        return event(NavEvent::Kind::Nothing);
    }

    void skipStill() override { m_stillSkipped = true; }
    void skipWait() override {}

    NavPlace place() override {
        NavPlace p;
        if (m_stopped)
            return p;
        if (m_chain < 0) {
            p.domain = NavDomain::FirstPlay;
            return p;
        }
        const FakeChain& c = chains[static_cast<std::size_t>(m_chain)];
        p.domain = c.domain;
        p.titleSet = c.titleSet;
        p.pgc = c.pgc;
        if (c.domain == NavDomain::Title) {
            p.title = c.title;
            p.chapter = c.cells.empty() ? 1 : c.cells[static_cast<std::size_t>(m_cell)].chapter;
        }
        return p;
    }
    double chainTime() override {
        if (m_chain < 0)
            return 0;
        const FakeChain& c = chains[static_cast<std::size_t>(m_chain)];
        double t = 0;
        for (int i = 0; i < m_lastNavCell && i < static_cast<int>(c.cells.size()); ++i)
            t += c.cells[static_cast<std::size_t>(i)].seconds;
        if (m_lastNavCell < static_cast<int>(c.cells.size())) {
            const FakeCell& cell = c.cells[static_cast<std::size_t>(m_lastNavCell)];
            t += cell.seconds * m_lastNavPack / std::max(1, cell.packs);
        }
        return t;
    }
    NavStreams streams() override { return {}; }

    int buttonCount() override { return static_cast<int>(buttons().size()); }
    int selectedButton() override { return buttons().empty() ? 0 : m_selected; }
    bool selectButton(int button) override {
        if (button < 1 || button > buttonCount())
            return false;
        m_selected = button;
        return true;
    }
    bool moveSelection(NavDirection d) override {
        const int n = buttonCount();
        if (n == 0)
            return false;
        if (d == NavDirection::Down || d == NavDirection::Right)
            m_selected = m_selected % n + 1;
        else
            m_selected = (m_selected + n - 2) % n + 1;
        return true;
    }
    bool activate() override {
        if (buttons().empty())
            return false;
        const FakeJump jump = buttons()[static_cast<std::size_t>(m_selected - 1)];
        if (jump.kind == FakeJump::Kind::Nowhere)
            return true; // the machine accepts the command, which goes nowhere
        m_queue.push_back(event(NavEvent::Kind::Jump));
        follow(jump);
        return true;
    }
    // Where the buttons lie is the real discs' to test.
    bool selectAt(int, int) override { return false; }
    std::optional<ButtonHighlight> highlight(int, bool) override { return std::nullopt; }

    bool toChainEnd() override {
        if (m_chain < 0 || chains[static_cast<std::size_t>(m_chain)].cells.empty())
            return false;
        const FakeChain& c = chains[static_cast<std::size_t>(m_chain)];
        m_cell = static_cast<int>(c.cells.size()) - 1;
        m_pack = std::max(0, c.cells.back().packs - 1);
        m_announced = false;
        m_stillSkipped = false;
        m_queue.push_back(event(NavEvent::Kind::Jump));
        return true;
    }
    // Menu calls, times and titles chosen by the player are the real discs' to test.
    bool toTime(double) override { return false; }
    bool callMenu(NavMenu) override { return false; }
    bool toTitle(int) override { return false; }

private:
    NavEvent event(NavEvent::Kind kind) {
        NavEvent ev;
        ev.kind = kind;
        return ev;
    }
    const std::vector<FakeJump>& buttons() {
        if (m_chain < 0 || m_stopped)
            return m_none;
        return chains[static_cast<std::size_t>(m_chain)].buttons;
    }
    void enter(int chain, int cell) {
        const int before = m_chain;
        const bool otherPlace = before < 0 ||
                                chains[static_cast<std::size_t>(before)].domain !=
                                    chains[static_cast<std::size_t>(chain)].domain ||
                                chains[static_cast<std::size_t>(before)].titleSet !=
                                    chains[static_cast<std::size_t>(chain)].titleSet;
        m_chain = chain;
        m_cell = cell - 1;
        m_pack = 0;
        m_announced = false;
        m_stillSkipped = false;
        m_selected = 1;
        if (otherPlace)
            m_queue.push_back(event(NavEvent::Kind::DomainChange));
        m_queue.push_back(event(NavEvent::Kind::Palette));
    }
    void follow(const FakeJump& jump) {
        switch (jump.kind) {
        case FakeJump::Kind::Chain:
            if (jump.chain >= 0 && jump.chain < static_cast<int>(chains.size()))
                enter(jump.chain, jump.cell);
            else
                m_stopped = true;
            break;
        case FakeJump::Kind::Nowhere:
            break;
        case FakeJump::Kind::None:
        case FakeJump::Kind::Stop:
            m_stopped = true;
            break;
        }
    }

    std::deque<NavEvent> m_queue;
    std::vector<FakeJump> m_none;
    std::vector<std::uint8_t> m_data;
    int m_chain = -1;
    int m_cell = 0;
    int m_pack = 0;
    int m_lastNavCell = 0;
    int m_lastNavPack = 0;
    bool m_announced = false;
    bool m_stillSkipped = false;
    bool m_stopped = false;
    int m_selected = 1;
};

} // namespace kavelo::test
