#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kavelo {

// One DVD subpicture unit decoded to two-bit pixel indices. The indices select one of four
// entries, each with a colour (an index into the program chain's 16-entry colour table) and a
// contrast (0 transparent .. 15 opaque).
struct SubpictureImage {
    int x = 0; // display area on the 720-wide frame
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;       // width * height indices 0..3, row by row
    std::array<std::uint8_t, 4> colour{};   // colour-table index per pixel index
    std::array<std::uint8_t, 4> contrast{}; // contrast per pixel index
    // When it shows, after its presentation time (90 kHz ticks): from `start` until `stop`, or
    // until the next unit of its stream when `stop` is -1.
    std::int64_t start = 0;
    std::int64_t stop = -1;
    bool forced = false; // shown even while the stream's subpictures are turned off
};

// Decodes a whole subpicture unit (its two size bytes included). Returns nothing for a unit
// that is truncated, names an area outside the frame or has no pixel data; pixel rows that run
// short of data are left transparent.
std::optional<SubpictureImage> decodeSubpicture(std::span<const std::uint8_t> unit);

// A button's highlight: the rectangle (inclusive, frame coordinates) and the colour word the
// menu's navigation packet gives for the selected or activated state: the four high nibbles are
// the colours of pixel indices 3..0, the four low nibbles their contrasts.
struct ButtonHighlight {
    int sx = 0;
    int sy = 0;
    int ex = 0;
    int ey = 0;
    std::uint32_t colours = 0;
};

// A picture ready to be laid over the video: premultiplied B, G, R, A bytes per pixel.
struct OverlayPicture {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;
    bool empty() const { return width <= 0 || height <= 0; }
};

// Colours the subpicture with `clut` (16 entries 0x00YYCrCb): pixels inside the highlight's
// rectangle take its colours and contrasts, the rest the subpicture's own. The result is cropped
// to the pixels that are not fully transparent; it is empty when none are.
OverlayPicture renderSubpicture(const SubpictureImage& image,
                                const std::array<std::uint32_t, 16>& clut,
                                const std::optional<ButtonHighlight>& highlight);

// One subpicture unit reassembled from a program stream, with the presentation time of the
// packet that started it (90 kHz ticks; -1 when it had none).
struct SubpictureUnit {
    std::int64_t pts = -1;
    std::vector<std::uint8_t> data;
};

// Joins the packets of one subpicture stream into whole units.
class SubpictureAssembler {
public:
    // A packet's payload and its presentation time (-1 without one); a unit it completes.
    std::optional<SubpictureUnit> add(std::span<const std::uint8_t> payload, std::int64_t pts);
    // The packets before and after do not follow on: a unit begun is dropped.
    void reset() { m_partial.reset(); }

private:
    std::optional<SubpictureUnit> m_partial; // a unit still waiting for its later packets
    std::size_t m_partialSize = 0;
};

// Calls `packet(stream, payload, pts)` for each subpicture packet (stream 0..31) in a 2048-byte
// program-stream pack; a damaged pack ends the walk.
void forEachSubpicturePacket(
    std::span<const std::uint8_t> pack,
    const std::function<void(int, std::span<const std::uint8_t>, std::int64_t)>& packet);

// Collects the subpicture units of stream `stream` (0..31) from 2048-byte program-stream packs.
// Damaged packs and units are skipped; at most `maxUnits` are kept.
class SubpictureCollector {
public:
    explicit SubpictureCollector(int stream, std::size_t maxUnits = 64)
        : m_stream(stream), m_maxUnits(maxUnits) {}

    void addPack(std::span<const std::uint8_t> pack);
    const std::vector<SubpictureUnit>& units() const { return m_units; }

private:
    int m_stream;
    std::size_t m_maxUnits;
    std::vector<SubpictureUnit> m_units;
    SubpictureAssembler m_assembler;
};

} // namespace kavelo
