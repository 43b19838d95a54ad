#include "Machine.h"

#include "DiscProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace kavelo::discservice {

namespace {

void discardLog(void*, dvdnav_logger_level_t, const char*, va_list) {}

std::string eventLine(const char* kind, int value, std::size_t length) {
    return std::string("e ") + kind + ' ' + std::to_string(value) + ' ' + std::to_string(length) +
           '\n';
}

} // namespace

std::unique_ptr<Machine> Machine::open(const std::string& place) {
    const dvdnav_logger_cb logger{&discardLog};
    dvdnav_t* raw = nullptr;
    if (dvdnav_open2(&raw, nullptr, &logger, place.c_str()) != DVDNAV_STATUS_OK || !raw) {
        if (raw)
            dvdnav_close(raw);
        return nullptr;
    }
    dvdnav_set_readahead_flag(raw, 1);
    dvdnav_set_PGC_positioning_flag(raw, 1);
    dvdnav_menu_language_select(raw, const_cast<char*>("en"));
    dvdnav_audio_language_select(raw, const_cast<char*>("en"));
    dvdnav_spu_language_select(raw, const_cast<char*>("en"));
    return std::unique_ptr<Machine>(new Machine(raw));
}

Machine::~Machine() {
    dvdnav_close(m_nav);
}

// The subpicture register as the title plays it: the logical stream, plus 64 when it is shown
// (otherwise only its forced subpictures show); -1 when the title has no stream. libdvdnav
// gives the physical stream, with the top bit set when it is hidden.
int Machine::subpictureRegister() {
    const int active = dvdnav_get_active_spu_stream(m_nav);
    if (active == -1)
        return -1;
    const int physical = active & 0x1f;
    for (std::uint8_t logical = 0; logical < 32; ++logical) {
        if (dvdnav_get_spu_logical_stream(m_nav, logical) == physical)
            return logical | (active < 0 ? 0 : 0x40);
    }
    return -1;
}

std::string Machine::placeLine() {
    char domain = 'x';
    if (dvdnav_is_domain_vts(m_nav))
        domain = 't';
    else if (dvdnav_is_domain_vtsm(m_nav))
        domain = 'v';
    else if (dvdnav_is_domain_vmgm(m_nav))
        domain = 'm';
    else if (dvdnav_is_domain_fp(m_nav))
        domain = 'f';
    const int titleSet = domain == 't' || domain == 'v' ? m_titleSet : 0;
    int32_t title = 0, pgcn = 0, pgn = 0;
    int pgc = 0;
    if (dvdnav_current_title_program(m_nav, &title, &pgcn, &pgn) == DVDNAV_STATUS_OK)
        pgc = pgcn;
    int32_t part = 0;
    title = 0;
    if (domain != 't' || dvdnav_current_title_info(m_nav, &title, &part) != DVDNAV_STATUS_OK) {
        title = 0;
        part = 0;
    }
    const int audio = std::clamp<int>(dvdnav_get_active_audio_stream(m_nav), -1, 7);
    const int subpicture = domain == 't' ? subpictureRegister() : -1;
    int32_t angle = 1, angles = 1;
    if (dvdnav_get_angle_info(m_nav, &angle, &angles) != DVDNAV_STATUS_OK || angle < 1 || angle > 9)
        angle = 1;
    const int64_t time = std::max<int64_t>(0, dvdnav_get_current_time(m_nav));
    return std::string("s ") + domain + ' ' + std::to_string(std::clamp(titleSet, 0, 99)) + ' ' +
           std::to_string(std::clamp<int>(title, 0, 99)) + ' ' +
           std::to_string(std::clamp<int>(part, 0, 999)) + ' ' +
           std::to_string(std::clamp(pgc, 0, 65535)) + ' ' + std::to_string(time) + ' ' +
           std::to_string(audio) + ' ' + std::to_string(subpicture) + ' ' + std::to_string(angle) +
           '\n';
}

std::string Machine::state() {
    const pci_t* current = pci();
    const int buttons = current && current->hli.hl_gi.hli_ss ? current->hli.hl_gi.btn_ns : 0;
    int32_t selected = 0;
    if (dvdnav_get_current_highlight(m_nav, &selected) != DVDNAV_STATUS_OK)
        selected = 0;
    return placeLine() + "b " + std::to_string(std::clamp(buttons, 0, 36)) + ' ' +
           std::to_string(std::clamp<int>(selected, 0, 36)) + '\n';
}

std::string Machine::next(std::size_t maxBytes) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(discproto::kBatchMs);
    std::string out;
    std::size_t blocks = 0;
    for (int n = 0; n < discproto::kBatchEvents; ++n) {
        int32_t event = 0;
        int32_t length = 0;
        if (dvdnav_get_next_block(m_nav, m_buf.data(), &event, &length) != DVDNAV_STATUS_OK) {
            out += eventLine("err", 0, 0) + placeLine();
            break;
        }
        bool last = false;
        switch (event) {
        case DVDNAV_BLOCK_OK:
        case DVDNAV_NAV_PACKET: {
            const bool nav = event == DVDNAV_NAV_PACKET;
            const auto size = static_cast<std::size_t>(std::clamp<int32_t>(length, 0, 2048));
            out += eventLine(nav ? "nav" : "blk", 0, size);
            out.append(reinterpret_cast<const char*>(m_buf.data()), size);
            if (nav)
                out += placeLine();
            blocks += size;
            break;
        }
        case DVDNAV_STILL_FRAME:
            out +=
                eventLine("still",
                          reinterpret_cast<const dvdnav_still_event_t*>(m_buf.data())->length, 0) +
                placeLine();
            last = true;
            break;
        case DVDNAV_WAIT:
            out += eventLine("wait", 0, 0) + placeLine();
            last = true;
            break;
        case DVDNAV_CELL_CHANGE:
            out +=
                eventLine("cell",
                          reinterpret_cast<const dvdnav_cell_change_event_t*>(m_buf.data())->cellN,
                          0) +
                placeLine();
            break;
        case DVDNAV_VTS_CHANGE:
            m_titleSet = reinterpret_cast<const dvdnav_vts_change_event_t*>(m_buf.data())->new_vtsN;
            out += eventLine("vts", 0, 0) + placeLine();
            break;
        case DVDNAV_SPU_CLUT_CHANGE:
            out += eventLine("pal", 0, 64);
            out.append(reinterpret_cast<const char*>(m_buf.data()), 64);
            out += placeLine();
            break;
        case DVDNAV_SPU_STREAM_CHANGE:
            out += eventLine("spu",
                             reinterpret_cast<const dvdnav_spu_stream_change_event_t*>(m_buf.data())
                                     ->physical_wide &
                                 0x1f,
                             0) +
                   placeLine();
            break;
        case DVDNAV_HOP_CHANNEL:
            out += eventLine("jump", 0, 0) + placeLine();
            break;
        case DVDNAV_STOP:
            out += eventLine("stop", 0, 0) + placeLine();
            last = true;
            break;
        default: // nothing, highlight (its fields are not filled), audio stream changes
            break;
        }
        if (last || blocks + discproto::kBlockBytes > maxBytes || Clock::now() > end)
            break;
    }
    return out + state();
}

bool Machine::skipStill() {
    return dvdnav_still_skip(m_nav) == DVDNAV_STATUS_OK;
}
bool Machine::skipWait() {
    return dvdnav_wait_skip(m_nav) == DVDNAV_STATUS_OK;
}
bool Machine::select(int button) {
    return pci() && dvdnav_button_select(m_nav, pci(), button) == DVDNAV_STATUS_OK;
}
bool Machine::move(const std::string& direction) {
    if (!pci())
        return false;
    if (direction == "up")
        return dvdnav_upper_button_select(m_nav, pci()) == DVDNAV_STATUS_OK;
    if (direction == "down")
        return dvdnav_lower_button_select(m_nav, pci()) == DVDNAV_STATUS_OK;
    if (direction == "left")
        return dvdnav_left_button_select(m_nav, pci()) == DVDNAV_STATUS_OK;
    if (direction == "right")
        return dvdnav_right_button_select(m_nav, pci()) == DVDNAV_STATUS_OK;
    return false;
}
bool Machine::point(int x, int y) {
    return pci() && dvdnav_mouse_select(m_nav, pci(), x, y) == DVDNAV_STATUS_OK;
}
bool Machine::activate() {
    return pci() && dvdnav_button_activate(m_nav, pci()) == DVDNAV_STATUS_OK;
}
bool Machine::toChainEnd() {
    uint32_t pos = 0, length = 0;
    // Right after a search the machine knows its place only once it has read there.
    for (int n = 0; n < 64 && dvdnav_get_position(m_nav, &pos, &length) != DVDNAV_STATUS_OK; ++n) {
        int32_t event = 0, size = 0;
        if (dvdnav_get_next_block(m_nav, m_buf.data(), &event, &size) != DVDNAV_STATUS_OK ||
            event == DVDNAV_STOP)
            return false;
        if (event == DVDNAV_STILL_FRAME)
            dvdnav_still_skip(m_nav);
        if (event == DVDNAV_WAIT)
            dvdnav_wait_skip(m_nav);
        if (event == DVDNAV_VTS_CHANGE)
            m_titleSet = reinterpret_cast<const dvdnav_vts_change_event_t*>(m_buf.data())->new_vtsN;
    }
    if (dvdnav_get_position(m_nav, &pos, &length) != DVDNAV_STATUS_OK || length == 0)
        return false;
    return dvdnav_sector_search(m_nav, static_cast<int64_t>(length) - 1, SEEK_SET) ==
           DVDNAV_STATUS_OK;
}
bool Machine::toTime(std::uint64_t ticks) {
    return dvdnav_time_search(m_nav, ticks) == DVDNAV_STATUS_OK;
}
bool Machine::callMenu(bool root) {
    return dvdnav_menu_call(m_nav, root ? DVD_MENU_Root : DVD_MENU_Title) == DVDNAV_STATUS_OK;
}
bool Machine::playTitle(int title) {
    return title >= 1 && dvdnav_title_play(m_nav, title) == DVDNAV_STATUS_OK;
}

bool Machine::resume() {
    if (!dvdnav_is_domain_vmgm(m_nav) && !dvdnav_is_domain_vtsm(m_nav))
        return false;
    // Without a resume point the machine goes to the root menu instead.
    return dvdnav_menu_call(m_nav, DVD_MENU_Escape) == DVDNAV_STATUS_OK &&
           dvdnav_is_domain_vts(m_nav);
}

// libdvdnav reads out no register but the angle register, and that one only in a title, as
// it stands, unmasked. A register is read by copying it there for a moment.
bool Machine::run(const std::array<std::uint8_t, 8>& command) {
    vm_cmd_t cmd{};
    std::memcpy(cmd.bytes, command.data(), command.size());
    return dvdnav_button_activate_cmd(m_nav, 1, &cmd) == DVDNAV_STATUS_OK;
}

std::optional<std::uint16_t> Machine::readRegister(std::uint8_t reg) {
    // Set the angle register from a general register (the system-set command, register form).
    if (!run({0x41, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(0x80 | (reg & 0x0f)), 0x00,
              0x00}))
        return std::nullopt;
    int32_t value = 0, angles = 0;
    if (dvdnav_get_angle_info(m_nav, &value, &angles) != DVDNAV_STATUS_OK || value < 0 ||
        value > 0xffff)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string Machine::registers() {
    if (!dvdnav_is_domain_vts(m_nav))
        return {};
    int32_t angle = 0, angles = 0;
    int32_t button = 0;
    if (dvdnav_get_angle_info(m_nav, &angle, &angles) != DVDNAV_STATUS_OK ||
        dvdnav_get_current_highlight(m_nav, &button) != DVDNAV_STATUS_OK)
        return {};
    const int32_t angleBefore = angle;
    // Where the machine's title does not match its title table the angle register reads as 1
    // whatever it holds: a value set and read back tells.
    if (!run({0x51, 0x00, 0x00, 0x00, 0x00, 0xd5, 0x00, 0x00}) ||
        dvdnav_get_angle_info(m_nav, &angle, &angles) != DVDNAV_STATUS_OK || angle != 0x55) {
        return {};
    }
    std::array<std::uint16_t, 19> values{};
    bool ok = true;
    for (std::uint8_t g = 0; g < 16 && ok; ++g) {
        const auto v = readRegister(g);
        ok = v.has_value();
        values[3 + g] = v.value_or(0);
    }
    // The audio and subpicture registers go through general register 0 (put back after).
    for (std::uint8_t s = 1; s <= 2 && ok; ++s) {
        ok = run({0x61, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(0x80 | s), 0x00, 0x00});
        const auto v = ok ? readRegister(0) : std::nullopt;
        ok = v.has_value();
        values[s - 1] = v.value_or(0);
    }
    values[2] = static_cast<std::uint16_t>(std::clamp<int32_t>(angleBefore, 1, 9));
    // What was changed on the way is put back: register 0, the angle, the highlighted button.
    ok = ok && setRegisters(values);
    run({0x56, 0x00, 0x00, 0x00, static_cast<std::uint8_t>((std::clamp(button, 0, 36) << 2) & 0xff),
         0x00, 0x00, 0x00});
    if (!ok)
        return {};
    std::string out = "r";
    for (const std::uint16_t v : values)
        out += ' ' + std::to_string(v);
    return out + '\n';
}

bool Machine::setRegisters(const std::array<std::uint16_t, 19>& values) {
    // The stream and angle registers hold 7 bits each in the command that sets them.
    if (values[0] > 0x7f || values[1] > 0x7f || values[2] < 1 || values[2] > 9)
        return false;
    for (std::uint8_t g = 0; g < 16; ++g) {
        const std::uint16_t v = values[3 + g];
        if (!run({0x71, 0x00, 0x00, g, static_cast<std::uint8_t>(v >> 8),
                  static_cast<std::uint8_t>(v & 0xff), 0x00, 0x00}))
            return false;
    }
    return run({0x51, 0x00, 0x00, static_cast<std::uint8_t>(0x80 | values[0]),
                static_cast<std::uint8_t>(0x80 | values[1]),
                static_cast<std::uint8_t>(0x80 | values[2]), 0x00, 0x00});
}

std::string Machine::highlight(int button, bool activated) {
    dvdnav_highlight_area_t area{};
    if (!pci() ||
        dvdnav_get_highlight_area(pci(), button, activated ? 1 : 0, &area) != DVDNAV_STATUS_OK)
        return {};
    return "area " + std::to_string(area.sx) + ' ' + std::to_string(area.sy) + ' ' +
           std::to_string(area.ex) + ' ' + std::to_string(area.ey) + ' ' +
           std::to_string(area.palette) + '\n';
}

} // namespace kavelo::discservice
