#include "ServiceNavSource.h"

#include "DiscProtocol.h"
#include "DiscService.h"

#include <QLoggingCategory>

#include <cstring>
#include <deque>
#include <set>
#include <vector>

namespace kavelo {

Q_DECLARE_LOGGING_CATEGORY(lcNav)

namespace {

using Kind = NavEvent::Kind;
using Outcome = DiscService::Outcome;
namespace proto = discproto;

constexpr double kTicksPerSecond = 90000.0;

// The machine's state as the service reports it after an event or a request.
struct MachineState {
    NavPlace place;
    double time = 0;
    NavStreams streams;
};

struct QueuedEvent {
    Kind kind = Kind::Nothing;
    int value = 0;
    std::vector<std::uint8_t> data;
    std::optional<MachineState> state;
};

// Reads an answer's payload strictly: every line whole, every number within its bounds.
class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}
    bool atEnd() const { return m_at == m_text.size(); }
    bool startsWith(const char* prefix) const {
        return m_text.compare(m_at, std::strlen(prefix), prefix) == 0;
    }
    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }

    // The next line's words; empty (and failed) when there is no whole line.
    std::vector<std::string> line() {
        const std::size_t end = m_text.find('\n', m_at);
        if (end == std::string::npos || end - m_at > 256) {
            m_ok = false;
            return {};
        }
        std::vector<std::string> words;
        std::size_t at = m_at;
        while (at <= end) {
            std::size_t space = m_text.find(' ', at);
            if (space == std::string::npos || space > end)
                space = end;
            words.push_back(m_text.substr(at, space - at));
            at = space + 1;
        }
        m_at = end + 1;
        return words;
    }
    std::vector<std::uint8_t> bytes(std::size_t count) {
        if (m_text.size() - m_at < count) {
            m_ok = false;
            return {};
        }
        std::vector<std::uint8_t> out(m_text.begin() + static_cast<std::ptrdiff_t>(m_at),
                                      m_text.begin() + static_cast<std::ptrdiff_t>(m_at + count));
        m_at += count;
        return out;
    }
    long long number(const std::string& text, long long low, long long high) {
        std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
        if (text.empty() || text.size() > 18 || at == text.size()) {
            m_ok = false;
            return low;
        }
        long long value = 0;
        for (; at < text.size(); ++at) {
            if (text[at] < '0' || text[at] > '9') {
                m_ok = false;
                return low;
            }
            value = value * 10 + (text[at] - '0');
        }
        if (text[0] == '-')
            value = -value;
        if (value < low || value > high) {
            m_ok = false;
            return low;
        }
        return value;
    }

    std::optional<MachineState> state() {
        const std::vector<std::string> w = line();
        if (w.size() != 10 || w[0] != "s" || w[1].size() != 1) {
            m_ok = false;
            return std::nullopt;
        }
        MachineState s;
        switch (w[1][0]) {
        case 'f':
            s.place.domain = NavDomain::FirstPlay;
            break;
        case 'm':
            s.place.domain = NavDomain::DiscMenu;
            break;
        case 'v':
            s.place.domain = NavDomain::TitleSetMenu;
            break;
        case 't':
            s.place.domain = NavDomain::Title;
            break;
        case 'x':
            s.place.domain = NavDomain::Stopped;
            break;
        default:
            m_ok = false;
        }
        s.place.titleSet = static_cast<int>(number(w[2], 0, 99));
        s.place.title = static_cast<int>(number(w[3], 0, 99));
        s.place.chapter = static_cast<int>(number(w[4], 0, 999));
        s.place.pgc = static_cast<int>(number(w[5], 0, 65535));
        s.time = static_cast<double>(number(w[6], 0, 24ll * 3600 * 90000)) / kTicksPerSecond;
        s.streams.audio = static_cast<int>(number(w[7], -1, 7));
        s.streams.subpicture = static_cast<int>(number(w[8], -1, 95));
        s.streams.angle = static_cast<int>(number(w[9], 1, 9));
        if (!m_ok)
            return std::nullopt;
        return s;
    }
    // "b BUTTONS SELECTED"
    bool buttons(int& count, int& selected) {
        const std::vector<std::string> w = line();
        if (w.size() != 3 || w[0] != "b") {
            m_ok = false;
            return false;
        }
        count = static_cast<int>(number(w[1], 0, 36));
        selected = static_cast<int>(number(w[2], 0, 36));
        return m_ok;
    }

private:
    const std::string& m_text;
    std::size_t m_at = 0;
    bool m_ok = true;
};

struct EventName {
    const char* name;
    Kind kind;
    std::size_t bytes; // the payload it carries
};
constexpr EventName kEvents[] = {
    {"blk", Kind::Block, proto::kBlockBytes},
    {"nav", Kind::NavPacket, proto::kBlockBytes},
    {"still", Kind::Still, 0},
    {"wait", Kind::Wait, 0},
    {"cell", Kind::CellChange, 0},
    {"vts", Kind::DomainChange, 0},
    {"pal", Kind::Palette, 64},
    {"spu", Kind::SubpictureStream, 0},
    {"jump", Kind::Jump, 0},
    {"stop", Kind::Stop, 0},
    {"err", Kind::Error, 0},
};

constexpr const char* kDirections[] = {"up", "down", "left", "right"};

class ServiceNavSource final : public NavSource {
public:
    explicit ServiceNavSource(std::unique_ptr<DiscService> service)
        : m_service(std::move(service)) {}

    bool startMachine() { return machineRequest("vm-start", m_service->deadlines().open, true); }

    NavEvent next() override {
        NavEvent ev;
        if (m_queue.empty() && !fetch()) {
            ev.kind = Kind::Error;
            return ev;
        }
        if (m_queue.empty()) {
            ev.kind = Kind::Nothing;
            return ev;
        }
        m_current = std::move(m_queue.front());
        m_queue.pop_front();
        if (m_current.state)
            m_state = *m_current.state;
        ev.kind = m_current.kind;
        ev.value = m_current.value;
        if (ev.kind == Kind::Block || ev.kind == Kind::NavPacket)
            ev.block = std::span<const std::uint8_t>(m_current.data);
        if (ev.kind == Kind::Palette) {
            for (std::size_t i = 0; i < ev.palette.size(); ++i) {
                std::uint32_t entry = 0;
                for (int b = 3; b >= 0; --b)
                    entry = (entry << 8) | m_current.data[i * 4 + static_cast<std::size_t>(b)];
                ev.palette[i] = entry;
            }
        }
        return ev;
    }

    void skipStill() override { step("still-skip", false); }
    void skipWait() override { step("wait-skip", false); }

    NavPlace place() override { return m_state.place; }
    double chainTime() override { return m_state.time; }
    NavStreams streams() override { return m_state.streams; }

    int buttonCount() override { return m_buttons; }
    int selectedButton() override { return m_selected; }
    bool selectButton(int button) override {
        return button >= 1 && button <= 36 && step("select " + std::to_string(button), true);
    }
    bool moveSelection(NavDirection direction) override {
        return step(std::string("move ") + kDirections[static_cast<int>(direction)], true);
    }
    bool activate() override { return step("activate", false); }
    bool selectAt(int x, int y) override {
        if (x < 0 || y < 0 || x > 4095 || y > 4095)
            return false;
        return step("point " + std::to_string(x) + ' ' + std::to_string(y), true);
    }
    std::optional<ButtonHighlight> highlight(int button, bool activated) override {
        if (button < 1 || button > 36 || m_lost)
            return std::nullopt;
        std::string payload;
        const std::string request =
            "highlight " + std::to_string(button) + (activated ? " 1" : " 0");
        const Outcome outcome = m_service->request(request, m_service->deadlines().step, payload);
        if (outcome == Outcome::Failed)
            recover();
        if (outcome != Outcome::Done)
            return std::nullopt;
        Reader r(payload);
        const std::vector<std::string> w = r.line();
        if (w.size() != 6 || w[0] != "area") {
            brokenAnswer(request);
            return std::nullopt;
        }
        ButtonHighlight h{};
        h.sx = static_cast<int>(r.number(w[1], 0, 4095));
        h.sy = static_cast<int>(r.number(w[2], 0, 4095));
        h.ex = static_cast<int>(r.number(w[3], 0, 4095));
        h.ey = static_cast<int>(r.number(w[4], 0, 4095));
        h.colours = static_cast<std::uint32_t>(r.number(w[5], 0, 0xffffffffll));
        if (!r.ok() || !r.atEnd()) {
            brokenAnswer(request);
            return std::nullopt;
        }
        return h;
    }

    bool toChainEnd() override { return step("chain-end", false); }
    bool toTime(double seconds) override {
        if (!(seconds >= 0) || seconds > 24 * 3600)
            return false;
        return step("time " + std::to_string(static_cast<long long>(seconds * kTicksPerSecond)),
                    false);
    }
    bool callMenu(NavMenu menu) override {
        // A menu whose call looped once is not called again on this disc.
        if (m_unreachableMenus.count(menu))
            return false;
        const int failures = m_service->failures();
        const bool done = step(menu == NavMenu::Root ? "menu root" : "menu title", false);
        if (!done && m_service->failures() != failures) {
            qCWarning(lcNav) << "disc menu" << (menu == NavMenu::Root ? "root" : "title") << "of"
                             << m_service->place().c_str() << "cannot be reached; it is left out";
            m_unreachableMenus.insert(menu);
        }
        return done;
    }
    bool toTitle(int title) override {
        return title >= 1 && title <= 99 && step("play-title " + std::to_string(title), false);
    }

    bool resume() override { return step("resume", false); }

    std::optional<NavRegisters> registers() override {
        if (m_lost)
            return std::nullopt;
        std::string payload;
        const Outcome outcome = m_service->request("regs", m_service->deadlines().step, payload);
        if (outcome == Outcome::Failed)
            recover();
        if (outcome != Outcome::Done)
            return std::nullopt;
        Reader r(payload);
        const std::vector<std::string> w = r.line();
        NavRegisters regs;
        if (w.size() != 20 || w[0] != "r" || !r.atEnd()) {
            brokenAnswer("regs");
            return std::nullopt;
        }
        regs.audio = static_cast<int>(r.number(w[1], 0, 0x7f));
        regs.subpicture = static_cast<int>(r.number(w[2], 0, 0x7f));
        regs.angle = static_cast<int>(r.number(w[3], 1, 9));
        for (std::size_t g = 0; g < regs.general.size(); ++g)
            regs.general[g] = static_cast<std::uint16_t>(r.number(w[4 + g], 0, 0xffff));
        if (!r.ok()) {
            brokenAnswer("regs");
            return std::nullopt;
        }
        return regs;
    }

    bool setRegisters(const NavRegisters& regs) override {
        if (regs.audio < 0 || regs.audio > 0x7f || regs.subpicture < 0 || regs.subpicture > 0x7f ||
            regs.angle < 1 || regs.angle > 9)
            return false;
        std::string request = "set-regs " + std::to_string(regs.audio) + ' ' +
                              std::to_string(regs.subpicture) + ' ' + std::to_string(regs.angle);
        for (const std::uint16_t g : regs.general)
            request += ' ' + std::to_string(g);
        return step(request, true);
    }

    bool lost() const override { return m_lost; }

private:
    // One request that moves or asks the machine. `keepQueue` for those that only change the
    // selection: what was read ahead still holds.
    bool step(const std::string& request, bool keepQueue) {
        const bool done = machineRequest(request, m_service->deadlines().step, !keepQueue);
        if (!keepQueue)
            m_queue.clear();
        return done;
    }

    bool machineRequest(const std::string& request, std::chrono::milliseconds deadline,
                        bool takePlace) {
        if (m_lost)
            return false;
        std::string payload;
        const Outcome outcome = m_service->request(request, deadline, payload);
        if (outcome == Outcome::Failed) {
            recover();
            return false;
        }
        if (outcome == Outcome::Refused)
            return false;
        Reader r(payload);
        const std::optional<MachineState> s = r.state();
        int buttons = 0, selected = 0;
        if (!r.buttons(buttons, selected) || !s || !r.atEnd()) {
            brokenAnswer(request);
            return false;
        }
        if (takePlace)
            m_state = *s;
        m_buttons = buttons;
        m_selected = selected;
        return true;
    }

    // Reads the next batch of events into the queue; false when the machine cannot go on.
    bool fetch() {
        if (m_lost)
            return false;
        std::string payload;
        const std::string request = "next " + std::to_string(proto::kBatchBytes);
        const Outcome outcome = m_service->request(request, m_service->deadlines().read, payload);
        if (outcome == Outcome::Failed)
            recover();
        if (outcome != Outcome::Done)
            return false;
        Reader r(payload);
        std::deque<QueuedEvent> batch;
        while (r.ok() && !r.atEnd() && !r.startsWith("s ")) {
            const std::vector<std::string> w = r.line();
            const EventName* name = nullptr;
            for (const EventName& e : kEvents) {
                if (w.size() == 4 && w[0] == "e" && w[1] == e.name)
                    name = &e;
            }
            if (!name) {
                r.fail();
                break;
            }
            QueuedEvent ev;
            ev.kind = name->kind;
            ev.value = static_cast<int>(r.number(w[2], 0, 65535));
            const auto length =
                static_cast<std::size_t>(r.number(w[3], 0, static_cast<long long>(name->bytes)));
            if (name->kind != Kind::Block && name->kind != Kind::NavPacket && length != name->bytes)
                r.fail();
            ev.data = r.bytes(length);
            if (name->kind != Kind::Block)
                ev.state = r.state();
            batch.push_back(std::move(ev));
        }
        // The machine after the batch, and its buttons, close the answer.
        const std::optional<MachineState> after = r.ok() ? r.state() : std::nullopt;
        int buttons = 0, selected = 0;
        if (!after || !r.buttons(buttons, selected) || !r.atEnd()) {
            brokenAnswer(request);
            return false;
        }
        m_buttons = buttons;
        m_selected = selected;
        if (batch.empty())
            m_state = *after;
        m_queue = std::move(batch);
        return true;
    }

    void brokenAnswer(const std::string& request) {
        // The service counts as dead: it is killed and started again.
        m_service->discard(request, "a malformed answer");
        recover();
    }

    // After the service broke: a new one at the same disc, back in the title that played
    // (the machine's registers of a menu cannot be rebuilt: the program is lost then).
    void recover() {
        m_queue.clear();
        if (m_recovering) {
            m_lost = true;
            return;
        }
        const MachineState before = m_state;
        if (m_service->open(m_service->place()) != Outcome::Done ||
            !machineRequest("vm-start", m_service->deadlines().open, true)) {
            m_lost = true;
            return;
        }
        if (before.place.domain != NavDomain::Title || before.place.title < 1 ||
            !machineRequest("play-title " + std::to_string(before.place.title),
                            m_service->deadlines().step, true)) {
            qCWarning(lcNav) << "disc service: the disc's program of" << m_service->place().c_str()
                             << "cannot be taken up again";
            m_lost = true;
            return;
        }
        // The machine knows where it is in the title once it has read into it.
        m_recovering = true;
        const bool read = fetch();
        m_recovering = false;
        m_queue.clear();
        if (!read || !machineRequest("time " + std::to_string(static_cast<long long>(
                                                   before.time * kTicksPerSecond)),
                                     m_service->deadlines().step, true))
            qCDebug(lcNav) << "disc service: the title was taken up from its start";
    }

    std::unique_ptr<DiscService> m_service;
    std::deque<QueuedEvent> m_queue;
    QueuedEvent m_current;
    MachineState m_state;
    int m_buttons = 0;
    int m_selected = 0;
    bool m_lost = false;
    bool m_recovering = false;
    std::set<NavMenu> m_unreachableMenus;
};

} // namespace

std::unique_ptr<NavSource> openServiceNavSource(const std::string& place,
                                                const std::string& program) {
    auto service = std::make_unique<DiscService>(program);
    if (service->open(place) != DiscService::Outcome::Done)
        return nullptr;
    return openServiceNavSource(std::move(service));
}

std::unique_ptr<NavSource> openServiceNavSource(std::unique_ptr<DiscService> service) {
    if (!service || service->place().empty())
        return nullptr;
    auto source = std::make_unique<ServiceNavSource>(std::move(service));
    if (!source->startMachine())
        return nullptr;
    return source;
}

} // namespace kavelo
