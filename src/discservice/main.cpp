// kavelo-dvdnav: the disc service.
//
// Kavelo starts this program beside itself and asks it, over its standard input and output,
// for everything libdvdnav and libdvdread know of a disc: its tables and its virtual machine
// (DiscProtocol.h says how). Those libraries loop or crash inside single calls on discs that
// exist; here that costs Kavelo a restart of this program, never its window.
#include "DiscProtocol.h"
#include "DiscTables.h"
#include "Machine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kavelo;
using namespace kavelo::discservice;

namespace {

struct Answer {
    bool ok = false;
    std::string payload;
};

Answer yes(std::string payload = {}) {
    return {true, std::move(payload)};
}
Answer no() {
    return {false, {}};
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads one request line; false at the end of input or on a line out of bounds.
bool readLine(std::string& pending, std::string& line) {
    while (true) {
        const std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line.size() <= discproto::kMaxRequestBytes;
        }
        if (pending.size() > discproto::kMaxRequestBytes)
            return false;
        char buffer[1024];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t space = line.find(' ', at);
        out.push_back(line.substr(at, space == std::string::npos ? std::string::npos : space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    return out;
}

// A decimal number within [low, high].
std::optional<long long> number(const std::string& text, long long low, long long high) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    long long value = 0;
    std::size_t at = 0;
    const bool negative = text[0] == '-';
    if (negative)
        at = 1;
    if (at >= text.size())
        return std::nullopt;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9')
            return std::nullopt;
        value = value * 10 + (text[at] - '0');
    }
    if (negative)
        value = -value;
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<std::string> unhex(const std::string& text) {
    if (text.empty() || text.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            return -1;
        };
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
    }
    if (out.find('\0') != std::string::npos)
        return std::nullopt;
    return out;
}

class Service {
public:
    Answer handle(const std::vector<std::string>& w) {
        const std::string& verb = w[1];
        const std::size_t args = w.size() - 2;
        if (verb == "hello" && args == 0)
            return yes("kavelo-dvdnav " + std::to_string(discproto::kVersion) + '\n');
        if (verb == "open" && args == 1)
            return open(w[2]);
        if (verb == "title" && args == 1 && m_tables) {
            const auto t = number(w[2], 1, 99);
            if (!t)
                return no();
            auto records = m_tables->titleRecords(static_cast<int>(*t));
            return records ? yes(std::move(*records)) : no();
        }
        if (verb == "menus" && args == 0 && m_tables)
            return yes(m_tables->menuRecords());
        if (verb == "vob-open" && args == 1 && m_tables)
            return openVobs(w[2]);
        if (verb == "read" && args == 2 && m_vobs)
            return readVobs(w[2], w[3]);
        if (verb == "vm-start" && args == 0 && !m_place.empty()) {
            m_machine = Machine::open(m_place);
            return m_machine ? yes(m_machine->state()) : no();
        }
        if (!m_machine)
            return no();
        return machine(verb, w, args);
    }

private:
    Answer open(const std::string& hexPlace) {
        const auto place = unhex(hexPlace);
        m_machine.reset();
        m_vobs.reset();
        m_vobSectors = 0;
        m_tables.reset();
        m_place.clear();
        if (!place)
            return no();
        m_tables = DiscTables::open(*place);
        if (!m_tables)
            return no();
        m_place = *place;
        const std::string id = m_tables->discId();
        return yes("disc " + std::to_string(m_tables->titleCount()) + ' ' +
                   (id.empty() ? std::string("-") : id) + '\n');
    }

    Answer openVobs(const std::string& titleSet) {
        m_vobs.reset();
        m_vobSectors = 0;
        const auto vts = number(titleSet, 1, 99);
        if (!vts)
            return no();
        DvdFile vobs = m_tables->openTitleVobs(static_cast<int>(*vts));
        const ssize_t sectors = vobs ? DVDFileSize(vobs.get()) : -1;
        if (sectors <= 0)
            return no();
        m_vobs = std::move(vobs);
        m_vobSectors = static_cast<std::uint32_t>(std::min<ssize_t>(sectors, INT32_MAX));
        return yes("vob " + std::to_string(m_vobSectors) + '\n');
    }

    Answer readVobs(const std::string& firstText, const std::string& countText) {
        const auto first = number(firstText, 0, UINT32_MAX);
        const auto count = number(countText, 1, static_cast<long long>(discproto::kMaxReadSectors));
        if (!first || !count)
            return no();
        // Only the title set's own sectors: libdvdread would read on into the files after them.
        const auto take = static_cast<std::size_t>(
            std::clamp<long long>(static_cast<long long>(m_vobSectors) - *first, 0, *count));
        std::string data(take * discproto::kBlockBytes, '\0');
        if (take == 0)
            return yes();
        const ssize_t got = DVDReadBlocks(m_vobs.get(), static_cast<int>(*first), take,
                                          reinterpret_cast<unsigned char*>(data.data()));
        if (got <= 0)
            return no();
        data.resize(std::min(take, static_cast<std::size_t>(got)) * discproto::kBlockBytes);
        return yes(std::move(data));
    }

    Answer machine(const std::string& verb, const std::vector<std::string>& w, std::size_t args) {
        Machine& m = *m_machine;
        bool done = false;
        if (verb == "next" && args == 1) {
            const auto bytes = number(w[2], 2048, discproto::kBatchBytes);
            if (!bytes)
                return no();
            return yes(m.next(static_cast<std::size_t>(*bytes)));
        } else if (verb == "still-skip" && args == 0) {
            done = m.skipStill();
        } else if (verb == "wait-skip" && args == 0) {
            done = m.skipWait();
        } else if (verb == "select" && args == 1) {
            const auto b = number(w[2], 1, 36);
            done = b && m.select(static_cast<int>(*b));
        } else if (verb == "move" && args == 1) {
            done = m.move(w[2]);
        } else if (verb == "point" && args == 2) {
            const auto x = number(w[2], 0, 4095);
            const auto y = number(w[3], 0, 4095);
            done = x && y && m.point(static_cast<int>(*x), static_cast<int>(*y));
        } else if (verb == "activate" && args == 0) {
            done = m.activate();
        } else if (verb == "chain-end" && args == 0) {
            done = m.toChainEnd();
        } else if (verb == "time" && args == 1) {
            const auto ticks = number(w[2], 0, 24ll * 3600 * 90000);
            done = ticks && m.toTime(static_cast<std::uint64_t>(*ticks));
        } else if (verb == "menu" && args == 1 && (w[2] == "root" || w[2] == "title")) {
            done = m.callMenu(w[2] == "root");
        } else if (verb == "play-title" && args == 1) {
            const auto t = number(w[2], 1, 99);
            done = t && m.playTitle(static_cast<int>(*t));
        } else if (verb == "resume" && args == 0) {
            done = m.resume();
        } else if (verb == "regs" && args == 0) {
            std::string regs = m.registers();
            return regs.empty() ? no() : yes(std::move(regs));
        } else if (verb == "set-regs" && args == 19) {
            std::array<std::uint16_t, 19> values{};
            for (std::size_t i = 0; i < values.size(); ++i) {
                const auto v = number(w[2 + i], 0, 0xffff);
                if (!v)
                    return no();
                values[i] = static_cast<std::uint16_t>(*v);
            }
            done = m.setRegisters(values);
        } else if (verb == "highlight" && args == 2) {
            const auto b = number(w[2], 1, 36);
            const auto lit = number(w[3], 0, 1);
            if (!b || !lit)
                return no();
            std::string area = m.highlight(static_cast<int>(*b), *lit == 1);
            return area.empty() ? no() : yes(std::move(area));
        }
        return done ? yes(m.state()) : no();
    }

    std::string m_place;
    std::unique_ptr<DiscTables> m_tables;
    std::unique_ptr<Machine> m_machine;
    DvdFile m_vobs; // closed before the tables it was opened from
    std::uint32_t m_vobSectors = 0;
};

// Writes the answers, and "busy" lines while a long request reads the disc: a drive that spins
// up and fetches keys makes progress the client can see, and it waits on while it does.
class Answers {
public:
    explicit Answers(int fd) : m_fd(fd) {}

    void begin() {
        const std::lock_guard lock(m_mutex);
        m_inRequest = true;
        m_started = std::chrono::steady_clock::now();
        m_lastRead = bytesRead();
    }
    // A line that says the request reads on (the test hook's slow drive).
    bool busy() {
        const std::lock_guard lock(m_mutex);
        return writeAll(m_fd, "busy\n", 5);
    }
    bool answer(const std::string& text) {
        const std::lock_guard lock(m_mutex);
        m_inRequest = false;
        return writeAll(m_fd, text.data(), text.size());
    }
    // Runs on a thread of its own for the program's life.
    void watch() {
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const std::lock_guard lock(m_mutex);
            if (!m_inRequest ||
                std::chrono::steady_clock::now() - m_started < std::chrono::milliseconds(500))
                continue;
            const long long read = bytesRead();
            if (read > m_lastRead && !writeAll(m_fd, "busy\n", 5))
                return;
            m_lastRead = read;
        }
    }

private:
    // What this process has read so far (from the system's count).
    static long long bytesRead() {
        std::ifstream io("/proc/self/io");
        std::string key;
        long long value = 0;
        while (io >> key >> value) {
            if (key == "rchar:")
                return value;
        }
        return 0;
    }

    int m_fd;
    std::mutex m_mutex;
    bool m_inRequest = false;
    std::chrono::steady_clock::time_point m_started;
    long long m_lastRead = 0;
};

// The test hook's fault for `verb`, empty for none.
std::string faultFor(const std::string& rule, const std::string& verb) {
    const std::size_t colon = rule.find(':');
    if (colon == std::string::npos || rule.substr(0, colon) != verb)
        return {};
    return rule.substr(colon + 1);
}

} // namespace

int main() {
    // Should Kavelo die, this program goes with it, even from inside a call that loops.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1)
        return 0;
    std::signal(SIGPIPE, SIG_IGN);
    // Answers of up to a megabyte are made for every read of a title's sectors: kept in the heap,
    // their memory is used again, where a fresh mapping for each costs a page fault a page.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
    // The libraries print on standard output: only answers go to the real one.
    const int answerFd = dup(STDOUT_FILENO);
    if (answerFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 2;
    const char* faultVariable = std::getenv(discproto::kFaultVariable);
    const std::string fault = faultVariable ? faultVariable : "";

    Answers answers(answerFd);
    std::thread([&answers] { answers.watch(); }).detach();
    Service service;
    std::string pending;
    std::string line;
    while (readLine(pending, line)) {
        if (std::any_of(line.begin(), line.end(), [](char c) { return c < 0x20 || c > 0x7e; }))
            return 2;
        const std::vector<std::string> w = words(line);
        if (w.size() < 2 || !number(w[0], 1, 1ll << 60))
            return 2;
        if (w[1] == "quit")
            return 0;
        answers.begin();
        const std::string mode = faultFor(fault, w[1]);
        if (mode == "hang")
            pause();
        if (mode == "crash")
            std::abort();
        if (mode == "slow") {
            // A drive spinning up: reading on, and saying so, for a second and a half.
            for (int n = 0; n < 6; ++n) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                if (!answers.busy())
                    return 1;
            }
        }
        if (mode == "garbage") {
            if (!answers.answer(w[0] + " ok 5\n\x01\x02zz\n"))
                return 1;
            continue;
        }
        const Answer answer = service.handle(w);
        std::string out = w[0] + (answer.ok ? " ok " : " no ") +
                          std::to_string(answer.payload.size()) + '\n' + answer.payload;
        if (!answers.answer(out))
            return 1;
    }
    return 0;
}
