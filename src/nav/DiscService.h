#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kavelo {

// The disc service program: beside the running program, else the one of the build tree.
std::string discServiceProgram();

// One running disc service (`kavelo-dvdnav`), a child process that owns a disc's libdvdnav and
// libdvdread calls, and the protocol that talks to it (DiscProtocol.h). Every request has a
// deadline; a service that overruns it, dies or answers out of bounds is reported in kavelo.nav
// with the request and the disc's place, and killed: the next request starts a new one.
class DiscService {
public:
    // How long requests may take: a drive spins up and fetches keys, a folder answers at once.
    // On a drive each is how long it may go without progress (the service says "busy" while it
    // reads), up to `longest` in all.
    struct Deadlines {
        std::chrono::milliseconds start{3000}; // the program starting
        std::chrono::milliseconds open{2000};  // opening the disc, its tables
        std::chrono::milliseconds read{1000};  // reading on in the machine
        std::chrono::milliseconds step{400};   // a button, a jump, a menu call
        std::chrono::milliseconds longest{0};  // 0: no extension for progress
        bool drive = false;
        static Deadlines forPlace(const std::string& place);
    };

    // `role` is the service's one argument, which names it among Kavelo's processes.
    explicit DiscService(std::string program = {}, std::string role = {});
    ~DiscService();
    DiscService(const DiscService&) = delete;
    DiscService& operator=(const DiscService&) = delete;

    struct Opened {
        int titles = 0;
        std::string discId; // hex; "-" when the disc gives none
    };
    enum class Outcome { Done, Refused, Failed };

    // Starts the program now, without waiting for it: the first request finds it ready.
    void prestart();
    // Starts the service when none runs and opens the disc at `place` in it. Refused when the
    // place holds no readable DVD video, Failed when the service could not answer.
    Outcome open(const std::string& place, Opened* opened = nullptr);
    // Sends `request` (a verb and its arguments) and waits for the answer's payload at most
    // `deadline`. Refused when the service said no; Failed when it broke (it is killed then).
    Outcome request(const std::string& request, std::chrono::milliseconds deadline,
                    std::string& payload);

    // The answer to `request` made no sense: the service is reported and killed.
    void discard(const std::string& request, const char* reason) { fail(request, reason); }

    // `handler` is called while a request runs long and the service reports that it reads on
    // (a drive spinning up, its keys fetched): the user can be shown that work is under way.
    void onBusy(std::function<void()> handler) { m_busy = std::move(handler); }

    // The deadline of opening a folder or an image and reading its tables (a drive keeps its
    // own).
    void limitFolderDeadlines(std::chrono::milliseconds open) { m_folderOpen = open; }

    const Deadlines& deadlines() const { return m_deadlines; }
    const std::string& place() const { return m_place; }
    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Services killed after a failure (for tests and the log).
    int failures() const { return m_failures; }

private:
    bool start();
    bool spawn();
    bool greet();
    bool sendLine(const std::string& line);
    void stop();
    Outcome fail(const std::string& request, const char* reason);
    bool readAnswer(std::uint64_t seq, std::chrono::milliseconds deadline, bool& ok,
                    std::string& payload, const char*& reason);

    std::string m_program;
    std::string m_role;
    std::string m_place;
    Deadlines m_deadlines;
    std::chrono::milliseconds m_folderOpen{2000};
    pid_t m_pid = -1;
    int m_fd = -1;
    std::uint64_t m_seq = 0;
    std::uint64_t m_helloSeq = 0; // the greeting not read yet
    std::string m_buffer;
    std::vector<char> m_scratch; // what one receive takes in
    int m_failures = 0;
    std::function<void()> m_busy;
};

} // namespace kavelo
