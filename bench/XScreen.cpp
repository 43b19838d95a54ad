#include "XScreen.h"

#include <QDeadlineTimer>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace kavelo::bench {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The realistic disc's strip: 17 blocks 40 pixels wide from x = 24, rows 528..559 of the
// 720x576 picture; block 0 is white, block 1 black, blocks 2..16 bits 0..14 of the frame number.
// The sample disc's: 18 boxes 40 pixels wide from x = 0, rows 536..567; boxes 0..12 bits 0..12
// of the frame number, box 13 white, boxes 14..16 the title, box 17 black.
struct Strip {
    int left;
    int row;
    int white;
    int black;
    int firstBit;
    int bits;
};
constexpr Strip kRealisticStrip{24, 544, 0, 1, 2, 15};
constexpr Strip kSampleStrip{0, 552, 13, 17, 0, 13};
constexpr int kSourceWidth = 720;
constexpr int kSourceHeight = 576;
constexpr int kWhite = 160; // above: white
constexpr int kBlack = 96;  // below: black

} // namespace

QRect fittedPicture(const QRect& area) {
    if (area.width() * 3 > area.height() * 4) {
        const int w = area.height() * 4 / 3;
        return {area.x() + (area.width() - w) / 2, area.y(), w, area.height()};
    }
    const int h = area.width() * 3 / 4;
    return {area.x(), area.y() + (area.height() - h) / 2, area.width(), h};
}

XScreen::XScreen() {
    m_c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_c))
        return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    m_root = screen->root;
    m_width = screen->width_in_pixels;
    m_height = screen->height_in_pixels;
    const char* name = "_NET_WM_PID";
    const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    if (atom)
        m_pidAtom = atom->atom;
}

XScreen::~XScreen() {
    if (m_c)
        xcb_disconnect(m_c);
}

bool XScreen::connected() const {
    return m_c && !xcb_connection_has_error(m_c) && m_pidAtom != 0;
}

void XScreen::dropEvents() {
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
        std::free(e);
}

void XScreen::watchMaps(bool on) {
    const std::uint32_t mask = on ? XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY : 0;
    xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
    std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); // round trip
    dropEvents();
}

std::optional<qint64> XScreen::windowPid(std::uint32_t window) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

bool XScreen::waitForMap(qint64 pid, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_c)) {
            const Reply<xcb_generic_event_t> event(raw);
            if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
                continue;
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(raw);
            if (windowPid(map->window) == pid)
                return true;
        }
        if (deadline.hasExpired() || xcb_connection_has_error(m_c))
            return false;
        pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

QRect XScreen::windowOf(qint64 pid, std::uint32_t* id) {
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = count - 1; i >= 0; --i) { // topmost first
        if (windowPid(children[i]) != pid)
            continue;
        const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            m_c, xcb_get_window_attributes(m_c, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const Reply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, children[i]), nullptr));
        if (g && g->width > 100) {
            if (id)
                *id = children[i];
            return {g->x, g->y, g->width, g->height};
        }
    }
    return {};
}

std::optional<int> XScreen::frameNumber(const QRect& picture) {
    const Strip& strip = m_sampleStrip ? kSampleStrip : kRealisticStrip;
    if (picture.isEmpty())
        return std::nullopt;
    const double sx = picture.width() / double(kSourceWidth);
    const double sy = picture.height() / double(kSourceHeight);
    const int row = picture.y() + static_cast<int>(strip.row * sy) - 1;
    const int left = std::max(0, picture.x());
    const int width = std::min(picture.x() + picture.width(), m_width) - left;
    if (row < 0 || row + 3 > m_height || width <= 0)
        return std::nullopt;
    const Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        m_c,
        xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, static_cast<std::int16_t>(left),
                      static_cast<std::int16_t>(row), static_cast<std::uint16_t>(width), 3, ~0u),
        nullptr));
    if (!image)
        return std::nullopt;
    const std::uint8_t* data = xcb_get_image_data(image.get());
    const int length = xcb_get_image_data_length(image.get());
    const int stride = length / 3;
    if (stride < width * 4)
        return std::nullopt;
    auto luma = [&](int block) {
        const int centre =
            picture.x() + static_cast<int>((strip.left + 40 * block + 20) * sx) - left;
        int sum = 0;
        int n = 0;
        for (int y = 0; y < 3; ++y) {
            for (int x = centre - 2; x <= centre + 2; ++x) {
                if (x < 0 || x >= width)
                    continue;
                const std::uint8_t* p = data + y * stride + x * 4;
                sum += (p[0] + p[1] + p[2]) / 3;
                ++n;
            }
        }
        return n ? sum / n : 128;
    };
    if (luma(strip.white) < kWhite || luma(strip.black) > kBlack)
        return std::nullopt;
    int frame = 0;
    for (int bit = 0; bit < strip.bits; ++bit) {
        const int value = luma(bit + strip.firstBit);
        if (value >= kWhite)
            frame |= 1 << bit;
        else if (value > kBlack)
            return std::nullopt;
    }
    return frame;
}

} // namespace kavelo::bench
