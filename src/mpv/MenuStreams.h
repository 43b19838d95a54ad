#pragma once

#include <QByteArray>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kavelo::mpv {

class Session;

// Hands finite pieces of a disc's menus to libmpv as files of their own, without copying them:
// each published piece is readable as "kavelomenu://<n>" until it is withdrawn. libmpv reads on
// its own threads; a piece being read stays alive until libmpv closes it.
class MenuStreams {
public:
    MenuStreams() = default;
    MenuStreams(const MenuStreams&) = delete;
    MenuStreams& operator=(const MenuStreams&) = delete;

    // Registers the protocol with `player`, before it is initialised. The player must be
    // destroyed before this object.
    bool install(Session& player);

    // The address under which libmpv reads `data`; earlier pieces are withdrawn.
    QByteArray publish(std::shared_ptr<const std::vector<std::uint8_t>> data);
    void withdrawAll();

    std::shared_ptr<const std::vector<std::uint8_t>> find(const char* uri);

private:
    std::mutex m_mutex;
    std::map<std::uint64_t, std::shared_ptr<const std::vector<std::uint8_t>>> m_pieces;
    std::uint64_t m_next = 1;
};

} // namespace kavelo::mpv
