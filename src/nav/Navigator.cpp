#include "Navigator.h"

#include <QLoggingCategory>

namespace kavelo {

Q_LOGGING_CATEGORY(lcNav, "kavelo.nav", QtInfoMsg)

namespace {

using Clock = std::chrono::steady_clock;
using Kind = NavEvent::Kind;

constexpr int kMaxEventsToFirstPack = 4096;  // events read into a title for its time
constexpr int kMaxEventsAfterActivate = 256; // events read to see whether a button jumped

struct CellKey {
    NavDomain domain = NavDomain::Stopped;
    int titleSet = 0;
    int pgc = 0;
    int cell = 0;
    bool sameChain(const CellKey& o) const {
        return domain == o.domain && titleSet == o.titleSet && pgc == o.pgc;
    }
    bool operator==(const CellKey&) const = default;
};

bool isMenuDomain(NavDomain d) {
    return d == NavDomain::DiscMenu || d == NavDomain::TitleSetMenu || d == NavDomain::FirstPlay;
}

} // namespace

Navigator::Navigator(std::unique_ptr<NavSource> source, NavLimits limits)
    : m_source(std::move(source)), m_limits(limits) {}

NavDecision Navigator::fail(std::string reason) {
    qCDebug(lcNav) << "navigation failed:" << reason.c_str();
    m_inMenu = false;
    NavDecision d;
    d.kind = NavDecision::Kind::Failed;
    d.reason = std::move(reason);
    return d;
}

NavDecision Navigator::start() {
    return run(Mode::Follow);
}

NavDecision Navigator::continueAfterPiece() {
    if (m_inMenu && m_menu.end == MenuPiece::End::Still)
        m_source->skipStill();
    return run(Mode::Follow);
}

NavDecision Navigator::titleEnded() {
    m_inMenu = false;
    m_pushedBack.reset();
    if (!m_source->toChainEnd())
        return fail("the title's end cannot be reached");
    return run(Mode::LeaveTitle);
}

NavDecision Navigator::openMenu(double seconds) {
    if (!m_inMenu && !m_source->toTime(seconds))
        qCDebug(lcNav) << "menu call: could not move to" << seconds << "s of the title";
    if (!m_source->callMenu(NavMenu::Root) && !m_source->callMenu(NavMenu::Title)) {
        if (m_source->lost())
            return fail("the disc's program was lost on a menu call");
        qCDebug(lcNav) << "menu call: the disc has no menu here";
        NavDecision d;
        d.kind = NavDecision::Kind::Stay;
        d.reason = "the disc has no menu here";
        return d;
    }
    m_pushedBack.reset();
    m_inMenu = false;
    return run(Mode::Follow);
}

NavDecision Navigator::playTitle(int title) {
    m_pushedBack.reset();
    m_inMenu = false;
    if (!m_source->toTitle(title))
        return fail("the disc refuses to play title " + std::to_string(title));
    NavDecision d = run(Mode::Follow);
    if (d.kind == NavDecision::Kind::Title && d.title.title != title)
        return fail("the disc went to title " + std::to_string(d.title.title) + ", not " +
                    std::to_string(title));
    return d;
}

NavDecision Navigator::resume() {
    if (!m_inMenu || !m_source->resume()) {
        if (m_source->lost())
            return fail("the disc's program was lost on a resume");
        NavDecision d;
        d.kind = NavDecision::Kind::Stay;
        d.reason = "the menu has no title to go back to";
        return d;
    }
    m_pushedBack.reset();
    m_inMenu = false;
    return run(Mode::Follow);
}

int Navigator::buttonCount() const {
    return m_inMenu ? m_source->buttonCount() : 0;
}

int Navigator::selectedButton() const {
    return m_inMenu ? m_source->selectedButton() : 0;
}

bool Navigator::move(NavDirection direction) {
    if (!m_inMenu)
        return false;
    const int before = m_source->selectedButton();
    return m_source->moveSelection(direction) && m_source->selectedButton() != before;
}

bool Navigator::pointAt(int x, int y) {
    if (!m_inMenu)
        return false;
    const int before = m_source->selectedButton();
    return m_source->selectAt(x, y) && m_source->selectedButton() != before;
}

NavDecision Navigator::clickAt(int x, int y) {
    if (!m_inMenu || !m_source->selectAt(x, y)) {
        NavDecision d;
        d.kind = NavDecision::Kind::Stay;
        return d;
    }
    return activate();
}

NavDecision Navigator::activate() {
    NavDecision stay;
    stay.kind = NavDecision::Kind::Stay;
    if (!m_inMenu)
        return stay;
    if (!m_source->activate()) {
        if (m_source->lost())
            return fail("the disc's program was lost on a button");
        qCDebug(lcNav) << "button" << m_source->selectedButton() << "refused by the disc";
        return stay;
    }
    // A command that does not jump leaves the menu reading on (or holding its still); one that
    // jumps announces itself before anything of the new place is read.
    const Clock::time_point deadline = Clock::now() + m_limits.budget;
    for (int n = 0; n < kMaxEventsAfterActivate && Clock::now() < deadline; ++n) {
        const NavEvent ev = m_source->next();
        switch (ev.kind) {
        case Kind::Jump:
        case Kind::DomainChange:
            return run(Mode::Follow);
        case Kind::CellChange:
        case Kind::Stop:
            m_pushedBack = ev;
            return run(Mode::Follow);
        case Kind::Still:
        case Kind::Block:
        case Kind::NavPacket:
            qCDebug(lcNav) << "button" << m_source->selectedButton() << "leads nowhere";
            return stay;
        case Kind::Error:
            return fail("read error after a button");
        case Kind::Wait:
            m_source->skipWait();
            break;
        case Kind::Palette:
            m_palette = ev.palette;
            break;
        case Kind::SubpictureStream:
            m_subpictureStream = ev.value & 0x1f;
            break;
        case Kind::Nothing:
            break;
        }
    }
    return stay;
}

std::optional<ButtonHighlight> Navigator::highlightArea(bool activated) const {
    if (!m_inMenu)
        return std::nullopt;
    const int button = m_source->selectedButton();
    if (button <= 0)
        return std::nullopt;
    return m_source->highlight(button, activated);
}

OverlayPicture Navigator::highlightPicture(bool activated) {
    if (!m_inMenu)
        return {};
    if (!m_subpictureLoaded) {
        m_subpictureLoaded = true;
        SubpictureCollector collector(m_subpictureStream);
        const std::span<const std::uint8_t> data(m_menu.data);
        for (std::size_t at = 0; at + 2048 <= data.size(); at += 2048)
            collector.addPack(data.subspan(at, 2048));
        for (const SubpictureUnit& unit : collector.units()) {
            m_menuSubpicture = decodeSubpicture(unit.data);
            if (m_menuSubpicture)
                break;
        }
        if (!m_menuSubpicture)
            qCDebug(lcNav) << "menu has no readable subpicture on stream" << m_subpictureStream;
    }
    if (!m_menuSubpicture)
        return {};
    return renderSubpicture(*m_menuSubpicture, m_palette, highlightArea(activated));
}

NavDecision Navigator::finishPiece(MenuPiece::End end, int stillSeconds, bool cut) {
    m_menu.end = end;
    m_menu.stillSeconds = end == MenuPiece::End::Still ? stillSeconds : 0;
    m_menu.cut = cut;
    m_inMenu = true;
    m_menuSubpicture.reset();
    m_subpictureLoaded = false;
    NavDecision d;
    d.kind = NavDecision::Kind::Menu;
    d.menu = m_menu;
    return d;
}

NavDecision Navigator::enterTitle(Clock::time_point deadline, int& events) {
    // The title's time is known from its first navigation pack.
    for (int n = 0; n < kMaxEventsToFirstPack && Clock::now() < deadline; ++n, ++events) {
        const NavEvent ev = m_source->next();
        if (ev.kind == Kind::NavPacket || ev.kind == Kind::Still || ev.kind == Kind::Error ||
            ev.kind == Kind::Stop || ev.kind == Kind::CellChange)
            break;
        if (ev.kind == Kind::Wait)
            m_source->skipWait();
    }
    const NavPlace place = m_source->place();
    m_inMenu = false;
    NavDecision d;
    d.kind = NavDecision::Kind::Title;
    d.title.title = std::max(1, place.title);
    d.title.chapter = std::max(1, place.chapter);
    d.title.start = std::max(0.0, m_source->chainTime());
    d.title.streams = m_source->streams();
    return d;
}

NavDecision Navigator::run(Mode mode) {
    const Clock::time_point deadline = Clock::now() + m_limits.budget;
    int events = 0;
    bool collecting = false;
    bool leaving = mode == Mode::LeaveTitle;
    bool readSinceSearch = false;
    CellKey first;
    m_inMenu = false;

    auto startPiece = [&](const CellKey& key) {
        collecting = true;
        first = key;
        m_menu = MenuPiece{};
        m_menu.domain = key.domain;
        m_menu.titleSet = key.titleSet;
        m_menu.pgc = key.pgc;
    };
    auto hasPicture = [&] { return collecting && !m_menu.data.empty(); };

    while (true) {
        if (++events > m_limits.maxEvents || Clock::now() > deadline) {
            if (hasPicture())
                return finishPiece(MenuPiece::End::Still, kInfiniteStill, true);
            return fail("the disc's program reached no decision within its bounds");
        }
        NavEvent ev;
        if (m_pushedBack) {
            ev = *m_pushedBack;
            m_pushedBack.reset();
        } else {
            ev = m_source->next();
        }

        switch (ev.kind) {
        case Kind::Error:
            if (hasPicture())
                return finishPiece(MenuPiece::End::Still, kInfiniteStill, true);
            return fail("the disc could not be read");
        case Kind::Stop:
            if (hasPicture()) {
                m_pushedBack = ev;
                return finishPiece(MenuPiece::End::Continue, 0, false);
            }
            {
                m_inMenu = false;
                NavDecision d;
                d.kind = NavDecision::Kind::End;
                return d;
            }
        case Kind::Wait:
            m_source->skipWait();
            break;
        case Kind::Palette:
            m_palette = ev.palette;
            break;
        case Kind::SubpictureStream:
            m_subpictureStream = ev.value & 0x1f;
            break;
        case Kind::Still:
            if (!leaving && hasPicture())
                return finishPiece(MenuPiece::End::Still, ev.value, false);
            // A still with nothing to show (or the title's own, already held by the player).
            m_source->skipStill();
            break;
        case Kind::Block:
        case Kind::NavPacket:
            readSinceSearch = true;
            if (collecting) {
                if (m_menu.data.size() + ev.block.size() > m_limits.maxPieceBytes) {
                    qCDebug(lcNav) << "menu piece cut at" << m_menu.data.size() << "bytes";
                    return finishPiece(MenuPiece::End::Still, kInfiniteStill, true);
                }
                m_menu.data.insert(m_menu.data.end(), ev.block.begin(), ev.block.end());
            }
            break;
        case Kind::CellChange: {
            const NavPlace place = m_source->place();
            const CellKey key{place.domain, place.titleSet, place.pgc, ev.value};
            if (leaving) {
                // The cell the search landed in is the ended title's own.
                if (place.domain == NavDomain::Title && !readSinceSearch)
                    break;
                leaving = false;
            }
            if (place.domain == NavDomain::Title) {
                if (hasPicture()) {
                    m_pushedBack = ev;
                    return finishPiece(MenuPiece::End::Continue, 0, false);
                }
                return enterTitle(deadline, events);
            }
            if (!isMenuDomain(place.domain))
                break;
            if (!collecting) {
                startPiece(key);
                break;
            }
            if (key == first && hasPicture())
                return finishPiece(MenuPiece::End::Loop, 0, false);
            if (!key.sameChain(first)) {
                if (!hasPicture()) {
                    startPiece(key); // the chain before showed nothing
                    break;
                }
                m_pushedBack = ev;
                return finishPiece(MenuPiece::End::Continue, 0, false);
            }
            break; // the next cell of the same chain: the piece goes on
        }
        case Kind::DomainChange:
            if (leaving && readSinceSearch)
                leaving = false;
            break;
        case Kind::Jump:
        case Kind::Nothing:
            break;
        }
    }
}

} // namespace kavelo
