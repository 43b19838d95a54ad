#include "DiscService.h"

#include "DiscProtocol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kavelo {

Q_DECLARE_LOGGING_CATEGORY(lcNav)

namespace {

using Clock = std::chrono::steady_clock;
namespace proto = discproto;

constexpr char kDigits[] = "0123456789abcdef";
constexpr std::size_t kScratchBytes = 64 * 1024;

std::string hex(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0f];
    }
    return out;
}

// A decimal number of at most 18 digits; nullopt on anything else.
std::optional<std::uint64_t> decimal(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoull(text);
}

} // namespace

std::string discServiceProgram() {
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                               QLatin1String(proto::kProgramName);
        if (QFileInfo(beside).isExecutable())
            return QFile::encodeName(beside).toStdString();
    }
#ifdef KAVELO_DVDNAV_BUILD_PATH
    return KAVELO_DVDNAV_BUILD_PATH;
#else
    return {};
#endif
}

DiscService::Deadlines DiscService::Deadlines::forPlace(const std::string& place) {
    Deadlines d;
    struct stat st {};
    if (::stat(place.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        // A drive spins up and its keys are fetched on the first open.
        d.drive = true;
        d.open = std::chrono::seconds(5);
        d.read = std::chrono::seconds(5);
        d.step = std::chrono::seconds(3);
        d.longest = std::chrono::seconds(20);
    }
    return d;
}

DiscService::DiscService(std::string program, std::string role)
    : m_program(std::move(program)), m_role(std::move(role)) {
    if (m_program.empty())
        m_program = discServiceProgram();
}

DiscService::~DiscService() {
    stop();
}

bool DiscService::start() {
    return spawn() && greet();
}

void DiscService::prestart() {
    if (!running())
        spawn();
}

bool DiscService::spawn() {
    if (m_program.empty() || access(m_program.c_str(), X_OK) != 0) {
        qCWarning(lcNav) << "disc service: the program is missing:" << m_program.c_str();
        return false;
    }
    int fds[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    // An answer of a whole batch goes across in one piece, not in a round of wake-ups.
    const int bufferBytes = static_cast<int>(proto::kMaxPayloadBytes);
    for (const int fd : fds) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(m_program.c_str()),
                    m_role.empty() ? nullptr : const_cast<char*>(m_role.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, m_program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        qCWarning(lcNav) << "disc service: cannot start" << m_program.c_str() << strerror(spawned);
        return false;
    }
    m_pid = pid;
    m_fd = fds[0];
    m_buffer.clear();
    // The greeting is read with the first request: the program starts meanwhile.
    m_helloSeq = ++m_seq;
    if (!sendLine(std::to_string(m_helloSeq) + " hello\n")) {
        stop();
        return false;
    }
    return true;
}

bool DiscService::greet() {
    if (m_helloSeq == 0)
        return true;
    bool ok = false;
    const char* reason = "a malformed answer";
    std::string payload;
    const bool answered = readAnswer(m_helloSeq, m_deadlines.start, ok, payload, reason);
    m_helloSeq = 0;
    if (!answered || !ok ||
        payload !=
            std::string(proto::kProgramName) + ' ' + std::to_string(proto::kVersion) + '\n') {
        fail("hello", reason);
        return false;
    }
    return true;
}

bool DiscService::sendLine(const std::string& line) {
    for (std::size_t sent = 0; sent < line.size();) {
        const ssize_t n = send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void DiscService::stop() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
    m_helloSeq = 0;
    m_buffer.clear();
}

DiscService::Outcome DiscService::fail(const std::string& request, const char* reason) {
    ++m_failures;
    const std::string verb = request.substr(0, request.find(' '));
    qCWarning(lcNav) << "disc service:" << reason << "on" << verb.c_str() << "for"
                     << m_place.c_str() << "- the service is restarted";
    stop();
    return Outcome::Failed;
}

DiscService::Outcome DiscService::open(const std::string& place, Opened* opened) {
    if (place.empty() || place.find('\0') != std::string::npos)
        return Outcome::Refused;
    if (m_place != place) {
        m_deadlines = Deadlines::forPlace(place);
        if (!m_deadlines.drive)
            m_deadlines.open = m_folderOpen;
    }
    m_place = place;
    if (!running() && !start())
        return Outcome::Failed;
    std::string payload;
    const Outcome outcome = request("open " + hex(place), m_deadlines.open, payload);
    if (outcome != Outcome::Done)
        return outcome;
    // "disc TITLES ID\n"
    const std::size_t first = payload.find(' ');
    const std::size_t second = payload.find(' ', first == std::string::npos ? 0 : first + 1);
    std::optional<std::uint64_t> titles;
    if (payload.rfind("disc ", 0) == 0 && second != std::string::npos && payload.back() == '\n')
        titles = decimal(payload.substr(first + 1, second - first - 1));
    const std::string id = second == std::string::npos
                               ? std::string()
                               : payload.substr(second + 1, payload.size() - second - 2);
    const bool idOk =
        id == "-" || (id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) {
                          return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                      }));
    if (!titles || *titles < 1 || *titles > 99 || !idOk)
        return fail("open", "a malformed answer");
    if (opened) {
        opened->titles = static_cast<int>(*titles);
        opened->discId = id;
    }
    return Outcome::Done;
}

DiscService::Outcome DiscService::request(const std::string& request,
                                          std::chrono::milliseconds deadline,
                                          std::string& payload) {
    payload.clear();
    if (!running()) {
        if (m_place.empty())
            return Outcome::Failed;
        // A service killed after a failure starts again at the place it had open.
        if (!start())
            return Outcome::Failed;
        std::string opened;
        if (this->request("open " + hex(m_place), m_deadlines.open, opened) != Outcome::Done)
            return Outcome::Failed;
    }
    if (!greet())
        return Outcome::Failed;
    const std::uint64_t seq = ++m_seq;
    const std::string line = std::to_string(seq) + ' ' + request + '\n';
    if (line.size() > proto::kMaxRequestBytes)
        return Outcome::Refused;
    if (!sendLine(line))
        return fail(request, "the service is gone");
    bool ok = false;
    const char* reason = nullptr;
    if (!readAnswer(seq, deadline, ok, payload, reason))
        return fail(request, reason);
    return ok ? Outcome::Done : Outcome::Refused;
}

bool DiscService::readAnswer(std::uint64_t seq, std::chrono::milliseconds quiet, bool& ok,
                             std::string& payload, const char*& reason) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point cap = start + std::max(quiet, m_deadlines.longest);
    Clock::time_point deadline = start + quiet;
    std::size_t payloadBytes = 0;
    bool haveHeader = false;
    while (true) {
        while (!haveHeader && m_buffer.rfind("busy\n", 0) == 0) {
            // The service reads on: a drive is given more time, up to its longest.
            m_buffer.erase(0, 5);
            deadline = std::min(cap, std::max(deadline, Clock::now() + quiet));
            if (m_busy)
                m_busy();
        }
        if (!haveHeader) {
            const std::size_t newline = m_buffer.find('\n');
            if (newline == std::string::npos && m_buffer.size() > proto::kMaxHeaderBytes) {
                reason = "an answer out of bounds";
                return false;
            }
            if (newline != std::string::npos) {
                const std::string header = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                const std::size_t a = header.find(' ');
                const std::size_t b = a == std::string::npos ? a : header.find(' ', a + 1);
                if (newline > proto::kMaxHeaderBytes || b == std::string::npos) {
                    reason = "a malformed answer";
                    return false;
                }
                const auto answered = decimal(header.substr(0, a));
                const std::string status = header.substr(a + 1, b - a - 1);
                const auto bytes = decimal(header.substr(b + 1));
                if (!answered || *answered != seq || (status != "ok" && status != "no") || !bytes ||
                    *bytes > proto::kMaxPayloadBytes) {
                    reason = "a malformed answer";
                    return false;
                }
                ok = status == "ok";
                payloadBytes = static_cast<std::size_t>(*bytes);
                haveHeader = true;
            }
        }
        if (haveHeader && m_buffer.size() >= payloadBytes) {
            payload.assign(m_buffer, 0, payloadBytes); // into the room the caller kept
            m_buffer.erase(0, payloadBytes);
            if (!m_buffer.empty()) {
                reason = "more than was asked";
                return false;
            }
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            reason = "no answer within its deadline";
            return false;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue; // the deadline is checked above
        // As much as has come, up to what the answer may hold. Through a scratch buffer: a
        // large answer comes in many pieces, and making room for all of it in the buffer at
        // every piece costs more than the copy.
        const std::size_t room =
            haveHeader
                ? std::max<std::size_t>(payloadBytes - std::min(payloadBytes, m_buffer.size()), 1)
                : proto::kMaxHeaderBytes + 1;
        m_scratch.resize(kScratchBytes);
        const ssize_t got = recv(m_fd, m_scratch.data(), std::min(room, m_scratch.size()), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            reason = "the service died";
            return false;
        }
        m_buffer.append(m_scratch.data(), static_cast<std::size_t>(got));
    }
}

} // namespace kavelo
