#pragma once

#include <QRect>
#include <QtGlobal>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace kavelo::bench {

// A connection of its own to the X server, for what the benchmark reads from the screen:
// when a program's first window is mapped, and which frame a player shows (read from the
// frame-number strip that the realistic disc, or the sample disc, burns into every picture).
class XScreen {
public:
    XScreen();
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool connected() const;

    // Reports map events of top-level windows from now on (call before starting a program).
    void watchMaps(bool on);
    // Waits until a top-level window of process `pid` is mapped; false when timeoutMs passes.
    bool waitForMap(qint64 pid, int timeoutMs);

    // The viewable top-level window of process `pid`, in screen coordinates (empty if none),
    // and its window id.
    QRect windowOf(qint64 pid, std::uint32_t* id = nullptr);

    // The frame number a picture shown at `picture` (screen coordinates of the displayed
    // video, not of its window) carries in its strip; nullopt when the strip is not readable.
    std::optional<int> frameNumber(const QRect& picture);
    // Reads the sample disc's code strip from now on instead of the realistic disc's.
    void readSampleStrip(bool on) { m_sampleStrip = on; }

private:
    std::optional<qint64> windowPid(std::uint32_t window);
    void dropEvents();

    xcb_connection_t* m_c = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_pidAtom = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_sampleStrip = false;
};

// Where a 4:3 picture sits inside a video area of `area` when it is fitted with bars.
QRect fittedPicture(const QRect& area);

} // namespace kavelo::bench
