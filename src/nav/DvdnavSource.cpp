#include "DvdnavSource.h"

#include <QLoggingCategory>

#include <dvdnav/dvdnav.h>

#include <array>
#include <cstdarg>
#include <cstring>

namespace kavelo {

Q_DECLARE_LOGGING_CATEGORY(lcNav)

namespace {

constexpr double kTicksPerSecond = 90000.0;

void discardLog(void*, dvdnav_logger_level_t, const char*, va_list) {}

struct NavCloser {
    void operator()(dvdnav_t* nav) const { dvdnav_close(nav); }
};

class DvdnavSource final : public NavSource {
public:
    explicit DvdnavSource(dvdnav_t* nav) : m_nav(nav) {}

    NavEvent next() override {
        NavEvent ev;
        int32_t event = 0;
        int32_t length = 0;
        if (dvdnav_get_next_block(m_nav.get(), m_buf.data(), &event, &length) != DVDNAV_STATUS_OK) {
            qCDebug(lcNav) << "libdvdnav:" << dvdnav_err_to_string(m_nav.get());
            ev.kind = NavEvent::Kind::Error;
            return ev;
        }
        switch (event) {
        case DVDNAV_BLOCK_OK:
        case DVDNAV_NAV_PACKET:
            ev.kind = event == DVDNAV_BLOCK_OK ? NavEvent::Kind::Block : NavEvent::Kind::NavPacket;
            ev.block = std::span<const std::uint8_t>(
                m_buf.data(), static_cast<std::size_t>(std::clamp<int32_t>(length, 0, 2048)));
            break;
        case DVDNAV_STILL_FRAME:
            ev.kind = NavEvent::Kind::Still;
            ev.value = reinterpret_cast<const dvdnav_still_event_t*>(m_buf.data())->length;
            break;
        case DVDNAV_WAIT:
            ev.kind = NavEvent::Kind::Wait;
            break;
        case DVDNAV_CELL_CHANGE:
            ev.kind = NavEvent::Kind::CellChange;
            ev.value = reinterpret_cast<const dvdnav_cell_change_event_t*>(m_buf.data())->cellN;
            break;
        case DVDNAV_VTS_CHANGE: {
            const auto* change = reinterpret_cast<const dvdnav_vts_change_event_t*>(m_buf.data());
            m_titleSet = change->new_vtsN;
            ev.kind = NavEvent::Kind::DomainChange;
            break;
        }
        case DVDNAV_SPU_CLUT_CHANGE:
            ev.kind = NavEvent::Kind::Palette;
            std::memcpy(ev.palette.data(), m_buf.data(), sizeof(ev.palette));
            break;
        case DVDNAV_SPU_STREAM_CHANGE:
            ev.kind = NavEvent::Kind::SubpictureStream;
            ev.value = reinterpret_cast<const dvdnav_spu_stream_change_event_t*>(m_buf.data())
                           ->physical_wide;
            break;
        case DVDNAV_HOP_CHANNEL:
            ev.kind = NavEvent::Kind::Jump;
            break;
        case DVDNAV_STOP:
            ev.kind = NavEvent::Kind::Stop;
            break;
        default: // NOP, highlight (its fields are not filled), audio stream changes
            ev.kind = NavEvent::Kind::Nothing;
            break;
        }
        return ev;
    }

    void skipStill() override { dvdnav_still_skip(m_nav.get()); }
    void skipWait() override { dvdnav_wait_skip(m_nav.get()); }

    NavPlace place() override {
        NavPlace p;
        dvdnav_t* nav = m_nav.get();
        if (dvdnav_is_domain_vts(nav))
            p.domain = NavDomain::Title;
        else if (dvdnav_is_domain_vtsm(nav))
            p.domain = NavDomain::TitleSetMenu;
        else if (dvdnav_is_domain_vmgm(nav))
            p.domain = NavDomain::DiscMenu;
        else if (dvdnav_is_domain_fp(nav))
            p.domain = NavDomain::FirstPlay;
        p.titleSet =
            (p.domain == NavDomain::Title || p.domain == NavDomain::TitleSetMenu) ? m_titleSet : 0;
        int32_t title = 0, pgcn = 0, pgn = 0;
        if (dvdnav_current_title_program(nav, &title, &pgcn, &pgn) == DVDNAV_STATUS_OK)
            p.pgc = pgcn;
        int32_t part = 0;
        if (p.domain == NavDomain::Title &&
            dvdnav_current_title_info(nav, &title, &part) == DVDNAV_STATUS_OK) {
            p.title = title;
            p.chapter = part;
        }
        return p;
    }

    double chainTime() override {
        return static_cast<double>(dvdnav_get_current_time(m_nav.get())) / kTicksPerSecond;
    }

    NavStreams streams() override {
        NavStreams s;
        s.audio = dvdnav_get_active_audio_stream(m_nav.get());
        s.subpicture = dvdnav_get_active_spu_stream(m_nav.get());
        int32_t current = 1, count = 1;
        if (dvdnav_get_angle_info(m_nav.get(), &current, &count) == DVDNAV_STATUS_OK &&
            current >= 1)
            s.angle = current;
        return s;
    }

    int buttonCount() override {
        const pci_t* pci = dvdnav_get_current_nav_pci(m_nav.get());
        return pci && pci->hli.hl_gi.hli_ss ? pci->hli.hl_gi.btn_ns : 0;
    }
    int selectedButton() override {
        int32_t button = 0;
        if (dvdnav_get_current_highlight(m_nav.get(), &button) != DVDNAV_STATUS_OK)
            return 0;
        return button;
    }
    bool selectButton(int button) override {
        return dvdnav_button_select(m_nav.get(), pci(), button) == DVDNAV_STATUS_OK;
    }
    bool moveSelection(NavDirection direction) override {
        dvdnav_t* nav = m_nav.get();
        switch (direction) {
        case NavDirection::Up:
            return dvdnav_upper_button_select(nav, pci()) == DVDNAV_STATUS_OK;
        case NavDirection::Down:
            return dvdnav_lower_button_select(nav, pci()) == DVDNAV_STATUS_OK;
        case NavDirection::Left:
            return dvdnav_left_button_select(nav, pci()) == DVDNAV_STATUS_OK;
        case NavDirection::Right:
            return dvdnav_right_button_select(nav, pci()) == DVDNAV_STATUS_OK;
        }
        return false;
    }
    bool activate() override {
        return dvdnav_button_activate(m_nav.get(), pci()) == DVDNAV_STATUS_OK;
    }
    bool selectAt(int x, int y) override {
        return dvdnav_mouse_select(m_nav.get(), pci(), x, y) == DVDNAV_STATUS_OK;
    }
    std::optional<ButtonHighlight> highlight(int button, bool activated) override {
        dvdnav_highlight_area_t area{};
        if (dvdnav_get_highlight_area(pci(), button, activated ? 1 : 0, &area) != DVDNAV_STATUS_OK)
            return std::nullopt;
        return ButtonHighlight{area.sx, area.sy, area.ex, area.ey, area.palette};
    }

    bool toChainEnd() override {
        uint32_t pos = 0, length = 0;
        if (dvdnav_get_position(m_nav.get(), &pos, &length) != DVDNAV_STATUS_OK || length == 0)
            return false;
        return dvdnav_sector_search(m_nav.get(), static_cast<int64_t>(length) - 1, SEEK_SET) ==
               DVDNAV_STATUS_OK;
    }
    bool toTime(double seconds) override {
        if (!(seconds >= 0))
            return false;
        return dvdnav_time_search(m_nav.get(), static_cast<uint64_t>(seconds * kTicksPerSecond)) ==
               DVDNAV_STATUS_OK;
    }
    bool callMenu(NavMenu menu) override {
        return dvdnav_menu_call(m_nav.get(),
                                menu == NavMenu::Root ? DVD_MENU_Root : DVD_MENU_Title) ==
               DVDNAV_STATUS_OK;
    }

    bool toTitle(int title) override {
        return title >= 1 && dvdnav_title_play(m_nav.get(), title) == DVDNAV_STATUS_OK;
    }

private:
    pci_t* pci() { return dvdnav_get_current_nav_pci(m_nav.get()); }

    std::unique_ptr<dvdnav_t, NavCloser> m_nav;
    std::array<std::uint8_t, 2048> m_buf{};
    int m_titleSet = 0;
};

} // namespace

std::unique_ptr<NavSource> openDvdnavSource(const std::string& place) {
    const dvdnav_logger_cb logger{&discardLog};
    dvdnav_t* raw = nullptr;
    if (dvdnav_open2(&raw, nullptr, &logger, place.c_str()) != DVDNAV_STATUS_OK || !raw) {
        if (raw)
            dvdnav_close(raw);
        qCDebug(lcNav) << "libdvdnav cannot open" << place.c_str();
        return nullptr;
    }
    dvdnav_set_readahead_flag(raw, 1);
    dvdnav_set_PGC_positioning_flag(raw, 1);
    dvdnav_menu_language_select(raw, const_cast<char*>("en"));
    dvdnav_audio_language_select(raw, const_cast<char*>("en"));
    dvdnav_spu_language_select(raw, const_cast<char*>("en"));
    return std::make_unique<DvdnavSource>(raw);
}

} // namespace kavelo
